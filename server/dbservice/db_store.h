// CDbStore: the service's state in one SQLite file: the domain tree with
// every domain's fields and configuration, the DLP records and the journal of
// requests. Every operation raises StoreError when the database fails.
//
// The tree is kept as each domain's parent UID. A parent need not exist yet
// (a package creates children before their parents), but no chain of parents
// ever comes back to where it started: the operations that set a parent
// refuse that.
#ifndef PORTELLE_SERVER_DBSERVICE_DB_STORE_H_
#define PORTELLE_SERVER_DBSERVICE_DB_STORE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "server/dbservice/domain.h"
#include "server/dbservice/sqlite_db.h"

namespace dbservice {

struct Fixture;

struct DlpRow {
  std::string uid;
  uint32_t value = 0;
  std::string records;  // JSON: {"dc": {...}, "clc": {...}}
};

struct JournalEntry {
  int64_t id = 0;
  std::string received;  // UTC, "2026-01-02T03:04:05.678Z"
  std::string kind;      // "text", "message" or "unparseable"
  std::string command;
  std::string reply_pipe;  // empty when nothing is to be answered
  std::string arguments;   // JSON
  int64_t bytes = 0;
  std::string outcome;                // what the request did to the state
  std::string reply;                  // how the reply went; empty until the request is finished
  std::string error;                  // why an unparseable request could not be parsed
  std::string raw;                    // the first bytes of an unparseable request
  std::optional<int64_t> service_us;  // the service's own time for the request
};

class CDbStore {
 public:
  // How long an operation waits for a lock that another process (a --dump)
  // holds.
  static constexpr int kBusyTimeoutMs = 5000;

  // Opens the database `path`, creating it with its tables when `create` is
  // set and it does not exist. Refuses a file that is not a database of this
  // service.
  void Open(const std::string& path, bool create);
  SqliteDb& db() { return m_db; }

  // Replaces the whole content, the journal included, by the fixture's
  // domains.
  void Seed(const Fixture& fixture);

  std::optional<Domain> GetDomain(const std::string& uid);
  // The domains whose parent is `uid`, in the order they were created.
  std::vector<Domain> Children(const std::string& uid);
  // The UID of the first-created domain whose entry name equals `entry`,
  // letter case ignored.
  std::optional<std::string> FindByEntry(const std::string& entry);
  // Whether `uid` is `ancestor` or lies below it.
  bool IsWithin(const std::string& uid, const std::string& ancestor);
  std::vector<Domain> AllDomains();

  void CreateDomain(const Domain& domain);
  void SetParent(const std::string& uid, const std::string& parent);
  void SetConfig(const std::string& uid, const std::string& config);

  // Stores the DLP records of `row.uid`, replacing earlier ones.
  void SetDlp(const DlpRow& row);
  std::vector<DlpRow> AllDlp();

  // Appends an entry (its id, reply and service time are ignored) and
  // returns its id.
  int64_t AddJournal(const JournalEntry& entry);
  // Records how the reply went and the service's time for entry `id`, in the
  // transaction that added it.
  void FinishJournal(int64_t id, const std::string& reply, int64_t service_us);
  std::vector<JournalEntry> Journal();

 private:
  void CreateTables();
  void InsertDomain(const Domain& domain);
  static Domain ReadDomain(const SqliteStatement& row);

  SqliteDb m_db;
  // The statements every request runs, prepared once.
  SqliteStatement m_getDomain;
  SqliteStatement m_children;
  SqliteStatement m_addJournal;
  SqliteStatement m_finishJournal;
};

}  // namespace dbservice

#endif  // PORTELLE_SERVER_DBSERVICE_DB_STORE_H_
