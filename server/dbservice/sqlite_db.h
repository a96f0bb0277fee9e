// A thin owner of one SQLite connection and its prepared statements. Every
// failure raises StoreError with SQLite's own message and the statement or
// file it concerns, so that the store's code reads as the queries it runs.
#ifndef PORTELLE_SERVER_DBSERVICE_SQLITE_DB_H_
#define PORTELLE_SERVER_DBSERVICE_SQLITE_DB_H_

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace dbservice {

class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SqliteStatement {
 public:
  SqliteStatement() = default;
  ~SqliteStatement();
  SqliteStatement(SqliteStatement&& other) noexcept;
  SqliteStatement& operator=(SqliteStatement&& other) noexcept;
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  // Parameters count from 1. Text is UTF-8; blobs are bytes.
  SqliteStatement& Bind(int index, int64_t value);
  SqliteStatement& BindText(int index, std::string_view text);
  SqliteStatement& BindBlob(int index, std::string_view bytes);
  SqliteStatement& BindNull(int index);
  SqliteStatement& Bind(int index, const std::optional<std::string>& text);

  // Runs one step: true when a row is ready, false when the statement is
  // done. Raises StoreError on failure.
  bool Step();
  // Steps to the end, for statements that return no rows.
  void Run();
  // Makes the statement ready to be bound and run again.
  void Reset();

  // Columns count from 0.
  int64_t ColumnInt(int index) const;
  std::string ColumnText(int index) const;  // empty for NULL
  std::string ColumnBlob(int index) const;  // empty for NULL
  bool ColumnIsNull(int index) const;

 private:
  friend class SqliteDb;
  SqliteStatement(sqlite3_stmt* statement, sqlite3* db) : m_pStatement(statement), m_pDb(db) {}
  [[noreturn]] void Fail(std::string_view what) const;

  sqlite3_stmt* m_pStatement = nullptr;
  sqlite3* m_pDb = nullptr;
};

class SqliteDb {
 public:
  SqliteDb() = default;
  ~SqliteDb();
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  // Opens `path`, creating the file when `create` is set; a missing file
  // without `create` raises StoreError. Waits up to `busy_timeout_ms` for a
  // lock another process holds.
  void Open(const std::string& path, bool create, int busy_timeout_ms);
  void Close();

  // Runs one or more statements without parameters.
  void Exec(const char* sql);
  SqliteStatement Prepare(std::string_view sql);

  int64_t LastInsertRowId() const;
  // Rows changed by the last INSERT, UPDATE or DELETE.
  int Changes() const;

 private:
  [[noreturn]] void Fail(std::string_view what) const;

  sqlite3* m_pDb = nullptr;
  std::string m_strPath;
};

// BEGIN IMMEDIATE on construction; ROLLBACK on destruction unless Commit ran.
class SqliteTransaction {
 public:
  explicit SqliteTransaction(SqliteDb* db);
  ~SqliteTransaction();
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;

  void Commit();

 private:
  SqliteDb* m_pDb;
  bool m_bOpen = true;
};

}  // namespace dbservice

#endif  // PORTELLE_SERVER_DBSERVICE_SQLITE_DB_H_
