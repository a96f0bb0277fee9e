#include "server/dbservice/sqlite_db.h"

#include <sqlite3.h>

#include <utility>

namespace dbservice {

SqliteStatement::~SqliteStatement() { sqlite3_finalize(m_pStatement); }

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : m_pStatement(std::exchange(other.m_pStatement, nullptr)), m_pDb(other.m_pDb) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(m_pStatement);
    m_pStatement = std::exchange(other.m_pStatement, nullptr);
    m_pDb = other.m_pDb;
  }
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, int64_t value) {
  if (sqlite3_bind_int64(m_pStatement, index, value) != SQLITE_OK) Fail("bind");
  return *this;
}

SqliteStatement& SqliteStatement::BindText(int index, std::string_view text) {
  if (sqlite3_bind_text64(m_pStatement, index, text.data(), text.size(), SQLITE_TRANSIENT,
                          SQLITE_UTF8) != SQLITE_OK) {
    Fail("bind");
  }
  return *this;
}

SqliteStatement& SqliteStatement::BindBlob(int index, std::string_view bytes) {
  // A zero-length blob is still a blob, not NULL: the pointer must not be null.
  static const char kNothing = 0;
  const char* data = bytes.empty() ? &kNothing : bytes.data();
  if (sqlite3_bind_blob64(m_pStatement, index, data, bytes.size(), SQLITE_TRANSIENT) != SQLITE_OK) {
    Fail("bind");
  }
  return *this;
}

SqliteStatement& SqliteStatement::BindNull(int index) {
  if (sqlite3_bind_null(m_pStatement, index) != SQLITE_OK) Fail("bind");
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, const std::optional<std::string>& text) {
  return text ? BindText(index, *text) : BindNull(index);
}

bool SqliteStatement::Step() {
  const int result = sqlite3_step(m_pStatement);
  if (result == SQLITE_ROW) return true;
  if (result == SQLITE_DONE) return false;
  Fail("run");
}

void SqliteStatement::Run() {
  while (Step()) {
  }
  Reset();
}

void SqliteStatement::Reset() {
  sqlite3_reset(m_pStatement);
  sqlite3_clear_bindings(m_pStatement);
}

int64_t SqliteStatement::ColumnInt(int index) const {
  return sqlite3_column_int64(m_pStatement, index);
}

std::string SqliteStatement::ColumnText(int index) const {
  const auto* text = sqlite3_column_text(m_pStatement, index);
  if (text == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<size_t>(sqlite3_column_bytes(m_pStatement, index)));
}

std::string SqliteStatement::ColumnBlob(int index) const {
  const void* bytes = sqlite3_column_blob(m_pStatement, index);
  if (bytes == nullptr) return {};
  return std::string(static_cast<const char*>(bytes),
                     static_cast<size_t>(sqlite3_column_bytes(m_pStatement, index)));
}

bool SqliteStatement::ColumnIsNull(int index) const {
  return sqlite3_column_type(m_pStatement, index) == SQLITE_NULL;
}

void SqliteStatement::Fail(std::string_view what) const {
  std::string message(what);
  message += " '";
  message += sqlite3_sql(m_pStatement);
  message += "' in '";
  message += sqlite3_db_filename(m_pDb, "main");
  message += "': ";
  message += sqlite3_errmsg(m_pDb);
  throw StoreError(message);
}

SqliteDb::~SqliteDb() { Close(); }

void SqliteDb::Open(const std::string& path, bool create, int busy_timeout_ms) {
  Close();
  m_strPath = path;
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
  const int result = sqlite3_open_v2(path.c_str(), &m_pDb, flags, nullptr);
  if (result != SQLITE_OK) {
    std::string message = "open database '" + path + "': ";
    message += m_pDb != nullptr ? sqlite3_errmsg(m_pDb) : sqlite3_errstr(result);
    Close();
    throw StoreError(message);
  }
  sqlite3_busy_timeout(m_pDb, busy_timeout_ms);
  sqlite3_extended_result_codes(m_pDb, 1);
}

void SqliteDb::Close() {
  sqlite3_close_v2(m_pDb);
  m_pDb = nullptr;
}

void SqliteDb::Exec(const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(m_pDb, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = "database '" + m_strPath + "': ";
    message += error != nullptr ? error : sqlite3_errmsg(m_pDb);
    sqlite3_free(error);
    throw StoreError(message);
  }
}

SqliteStatement SqliteDb::Prepare(std::string_view sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v3(m_pDb, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                         &statement, nullptr) != SQLITE_OK) {
    Fail("prepare '" + std::string(sql) + "'");
  }
  return SqliteStatement(statement, m_pDb);
}

int64_t SqliteDb::LastInsertRowId() const { return sqlite3_last_insert_rowid(m_pDb); }

int SqliteDb::Changes() const { return sqlite3_changes(m_pDb); }

void SqliteDb::Fail(std::string_view what) const {
  throw StoreError(std::string(what) + " in '" + m_strPath + "': " + sqlite3_errmsg(m_pDb));
}

SqliteTransaction::SqliteTransaction(SqliteDb* db) : m_pDb(db) { m_pDb->Exec("BEGIN IMMEDIATE"); }

SqliteTransaction::~SqliteTransaction() {
  if (!m_bOpen) return;
  try {
    m_pDb->Exec("ROLLBACK");
  } catch (const StoreError&) {
    // A failed statement may already have rolled the transaction back.
  }
}

void SqliteTransaction::Commit() {
  m_pDb->Exec("COMMIT");
  m_bOpen = false;
}

}  // namespace dbservice
