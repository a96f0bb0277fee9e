#include "server/dbservice/db_store.h"

#include <unordered_set>

#include "dbclient/DecimalText.h"
#include "platform/text.h"
#include "server/dbservice/fixture.h"

namespace dbservice {
namespace {

// Stored in the file's user_version; a file with another value is not ours.
constexpr int64_t kSchemaVersion = 1;

constexpr char kSchema[] = R"(
CREATE TABLE domains (
  id INTEGER PRIMARY KEY,
  uid TEXT NOT NULL UNIQUE,
  parent TEXT NOT NULL,
  entry TEXT NOT NULL,
  entry_folded TEXT NOT NULL,
  name TEXT NOT NULL,
  third TEXT NOT NULL,
  config BLOB,
  status INTEGER NOT NULL,
  spyware TEXT NOT NULL,
  uninstall_password TEXT NOT NULL,
  unload_password TEXT NOT NULL,
  dest_scan_type INTEGER NOT NULL,
  switch_first INTEGER NOT NULL,
  switch_second INTEGER NOT NULL,
  switch_third INTEGER NOT NULL);
CREATE INDEX domains_by_parent ON domains (parent, id);
CREATE INDEX domains_by_entry ON domains (entry_folded, id);
CREATE TABLE dlp (
  id INTEGER PRIMARY KEY,
  uid TEXT NOT NULL UNIQUE,
  value INTEGER NOT NULL,
  records TEXT NOT NULL);
CREATE TABLE journal (
  id INTEGER PRIMARY KEY,
  received TEXT NOT NULL,
  kind TEXT NOT NULL,
  command TEXT NOT NULL,
  reply_pipe TEXT NOT NULL,
  arguments TEXT NOT NULL,
  bytes INTEGER NOT NULL,
  outcome TEXT NOT NULL,
  reply TEXT NOT NULL DEFAULT '',
  error TEXT NOT NULL,
  raw BLOB NOT NULL,
  service_us INTEGER);
)";

constexpr char kDomainColumns[] =
    "uid, parent, entry, name, third, config, status, spyware, uninstall_password, "
    "unload_password, dest_scan_type, switch_first, switch_second, switch_third";

std::string Folded(const std::string& entry) {
  return platform::Utf16ToUtf8(platform::FoldCaseCopy(platform::Utf8ToUtf16(entry)));
}

std::vector<int32_t> SpywareList(const std::string& text) {
  std::vector<int32_t> list;
  for (size_t start = 0; start < text.size();) {
    size_t tab = text.find('\t', start);
    if (tab == std::string::npos) tab = text.size();
    list.push_back(
        dbclient::DecimalToInt32(platform::Utf8ToUtf16(text.substr(start, tab - start))));
    start = tab + 1;
  }
  return list;
}

}  // namespace

void CDbStore::Open(const std::string& path, bool create) {
  m_getDomain = {};
  m_children = {};
  m_addJournal = {};
  m_finishJournal = {};
  m_db.Open(path, create, kBusyTimeoutMs);
  int64_t found = 0;
  bool empty = false;
  {
    SqliteStatement version = m_db.Prepare("PRAGMA user_version");
    version.Step();
    found = version.ColumnInt(0);
    SqliteStatement tables = m_db.Prepare("SELECT count(*) FROM sqlite_master");
    tables.Step();
    empty = tables.ColumnInt(0) == 0;
  }
  if (found == 0 && empty && create) {
    CreateTables();
  } else if (found != kSchemaVersion) {
    throw StoreError(path + " is not a database of bastionel-dbservice");
  }
  // Each request is one small transaction, never synced to the disk: a crash
  // of the machine may lose the last ones, which a stand-in can afford, and
  // the commits of a large import do not wait for the disk. A tree of 100,000 domains
  // outgrows SQLite's default page cache of 2 MB, and every lookup and insert
  // would then read its pages again: the cache may grow to 256 MB, and the
  // file is read through a memory map.
  m_db.Exec(
      "PRAGMA journal_mode = WAL; PRAGMA synchronous = OFF; PRAGMA cache_size = -262144; "
      "PRAGMA mmap_size = 4294967296");
  m_getDomain =
      m_db.Prepare(std::string("SELECT ") + kDomainColumns + " FROM domains WHERE uid = ?1");
  m_children = m_db.Prepare(std::string("SELECT ") + kDomainColumns +
                            " FROM domains WHERE parent = ?1 ORDER BY id");
  m_addJournal = m_db.Prepare(
      "INSERT INTO journal (received, kind, command, reply_pipe, arguments, bytes, outcome, "
      "error, raw) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
  m_finishJournal = m_db.Prepare("UPDATE journal SET reply = ?2, service_us = ?3 WHERE id = ?1");
}

void CDbStore::CreateTables() {
  SqliteTransaction transaction(&m_db);
  m_db.Exec(kSchema);
  m_db.Exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
  transaction.Commit();
}

void CDbStore::Seed(const Fixture& fixture) {
  SqliteTransaction transaction(&m_db);
  m_db.Exec("DELETE FROM domains; DELETE FROM dlp; DELETE FROM journal");
  for (const Domain& domain : fixture.domains) InsertDomain(domain);
  transaction.Commit();
}

void CDbStore::InsertDomain(const Domain& d) {
  SqliteStatement insert =
      m_db.Prepare(std::string("INSERT INTO domains (entry_folded, ") + kDomainColumns +
                   ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)");
  insert.BindText(1, Folded(d.entry)).BindText(2, d.uid).BindText(3, d.parent);
  insert.BindText(4, d.entry).BindText(5, d.name).BindText(6, d.third);
  if (d.config) {
    insert.BindBlob(7, *d.config);
  } else {
    insert.BindNull(7);
  }
  insert.Bind(8, d.status).BindText(9, SpywareText(d.spyware));
  insert.BindText(10, d.uninstall_password).BindText(11, d.unload_password);
  insert.Bind(12, d.dest_scan_type).Bind(13, d.switch_first);
  insert.Bind(14, d.switch_second).Bind(15, d.switch_third);
  insert.Run();
}

Domain CDbStore::ReadDomain(const SqliteStatement& row) {
  Domain d;
  d.uid = row.ColumnText(0);
  d.parent = row.ColumnText(1);
  d.entry = row.ColumnText(2);
  d.name = row.ColumnText(3);
  d.third = row.ColumnText(4);
  if (!row.ColumnIsNull(5)) d.config = row.ColumnBlob(5);
  d.status = static_cast<int32_t>(row.ColumnInt(6));
  d.spyware = SpywareList(row.ColumnText(7));
  d.uninstall_password = row.ColumnText(8);
  d.unload_password = row.ColumnText(9);
  d.dest_scan_type = static_cast<uint32_t>(row.ColumnInt(10));
  d.switch_first = static_cast<uint32_t>(row.ColumnInt(11));
  d.switch_second = static_cast<int32_t>(row.ColumnInt(12));
  d.switch_third = static_cast<int32_t>(row.ColumnInt(13));
  return d;
}

std::optional<Domain> CDbStore::GetDomain(const std::string& uid) {
  m_getDomain.Reset();
  m_getDomain.BindText(1, uid);
  std::optional<Domain> domain;
  if (m_getDomain.Step()) domain = ReadDomain(m_getDomain);
  m_getDomain.Reset();
  return domain;
}

std::vector<Domain> CDbStore::Children(const std::string& uid) {
  m_children.Reset();
  m_children.BindText(1, uid);
  std::vector<Domain> children;
  while (m_children.Step()) children.push_back(ReadDomain(m_children));
  m_children.Reset();
  return children;
}

std::optional<std::string> CDbStore::FindByEntry(const std::string& entry) {
  SqliteStatement find =
      m_db.Prepare("SELECT uid FROM domains WHERE entry_folded = ?1 ORDER BY id LIMIT 1");
  find.BindText(1, Folded(entry));
  if (!find.Step()) return std::nullopt;
  return find.ColumnText(0);
}

bool CDbStore::IsWithin(const std::string& uid, const std::string& ancestor) {
  SqliteStatement parent_of = m_db.Prepare("SELECT parent FROM domains WHERE uid = ?1");
  // The chain of parents has no loop, so it ends; the set of UIDs passed only
  // guards a file changed behind the service's back. (Counting the domains
  // for a bound would read the whole table on every request.)
  std::unordered_set<std::string> passed;
  std::string current = uid;
  while (current != ancestor) {
    if (!passed.insert(current).second) {
      throw StoreError("the parents of '" + uid + "' form a loop");
    }
    parent_of.Reset();
    parent_of.BindText(1, current);
    if (!parent_of.Step()) return false;
    current = parent_of.ColumnText(0);
  }
  return true;
}

std::vector<Domain> CDbStore::AllDomains() {
  SqliteStatement all =
      m_db.Prepare(std::string("SELECT ") + kDomainColumns + " FROM domains ORDER BY id");
  std::vector<Domain> domains;
  while (all.Step()) domains.push_back(ReadDomain(all));
  return domains;
}

void CDbStore::CreateDomain(const Domain& domain) { InsertDomain(domain); }

void CDbStore::SetParent(const std::string& uid, const std::string& parent) {
  SqliteStatement update = m_db.Prepare("UPDATE domains SET parent = ?2 WHERE uid = ?1");
  update.BindText(1, uid).BindText(2, parent);
  update.Run();
}

void CDbStore::SetConfig(const std::string& uid, const std::string& config) {
  SqliteStatement update = m_db.Prepare("UPDATE domains SET config = ?2 WHERE uid = ?1");
  update.BindText(1, uid).BindBlob(2, config);
  update.Run();
}

void CDbStore::SetDlp(const DlpRow& row) {
  SqliteStatement upsert = m_db.Prepare(
      "INSERT INTO dlp (uid, value, records) VALUES (?1, ?2, ?3) "
      "ON CONFLICT (uid) DO UPDATE SET value = excluded.value, records = excluded.records");
  upsert.BindText(1, row.uid).Bind(2, row.value).BindText(3, row.records);
  upsert.Run();
}

std::vector<DlpRow> CDbStore::AllDlp() {
  SqliteStatement all = m_db.Prepare("SELECT uid, value, records FROM dlp ORDER BY id");
  std::vector<DlpRow> rows;
  while (all.Step()) {
    rows.push_back({all.ColumnText(0), static_cast<uint32_t>(all.ColumnInt(1)), all.ColumnText(2)});
  }
  return rows;
}

int64_t CDbStore::AddJournal(const JournalEntry& e) {
  m_addJournal.Reset();
  m_addJournal.BindText(1, e.received).BindText(2, e.kind).BindText(3, e.command);
  m_addJournal.BindText(4, e.reply_pipe).BindText(5, e.arguments).Bind(6, e.bytes);
  m_addJournal.BindText(7, e.outcome).BindText(8, e.error).BindBlob(9, e.raw);
  m_addJournal.Run();
  return m_db.LastInsertRowId();
}

void CDbStore::FinishJournal(int64_t id, const std::string& reply, int64_t service_us) {
  m_finishJournal.Reset();
  m_finishJournal.Bind(1, id).BindText(2, reply).Bind(3, service_us);
  m_finishJournal.Run();
}

std::vector<JournalEntry> CDbStore::Journal() {
  SqliteStatement all = m_db.Prepare(
      "SELECT id, received, kind, command, reply_pipe, arguments, bytes, outcome, reply, error, "
      "raw, service_us FROM journal ORDER BY id");
  std::vector<JournalEntry> entries;
  while (all.Step()) {
    JournalEntry e;
    e.id = all.ColumnInt(0);
    e.received = all.ColumnText(1);
    e.kind = all.ColumnText(2);
    e.command = all.ColumnText(3);
    e.reply_pipe = all.ColumnText(4);
    e.arguments = all.ColumnText(5);
    e.bytes = all.ColumnInt(6);
    e.outcome = all.ColumnText(7);
    e.reply = all.ColumnText(8);
    e.error = all.ColumnText(9);
    e.raw = all.ColumnBlob(10);
    if (!all.ColumnIsNull(11)) e.service_us = all.ColumnInt(11);
    entries.push_back(std::move(e));
  }
  return entries;
}

}  // namespace dbservice
