// What the import tests share: a fixture with an install folder and a
// current folder of its own, a database service stand-in that answers the
// import's commands from a few fields, and the byte forms of records,
// configurations, packages and archives.
#ifndef PORTELLE_IMPORT_TESTING_IMPORTTESTSUPPORT_H_
#define PORTELLE_IMPORT_TESTING_IMPORTTESTSUPPORT_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "dbclient/ipc_records.h"
#include "dbclient/testing/pipe_test_peer.h"
#include "import/PortelleImport.h"
#include "package/ServerSettings.pb.h"
#include "platform/testing/recording_user_interface.h"
#include "platform/user_interface.h"

namespace import_testing {

using Tokens = std::vector<std::u16string>;

inline constexpr char16_t kRoot[] = u"00000000-0000-0000-0000-000000000000";
inline constexpr char16_t kSource[] = u"PortelleImport";

// A log line of the engine: the qualified operation name, " - ", the message.
std::u16string EngineLine(std::u16string_view function, std::u16string_view message);

// UTF-16LE bytes of `text`, low byte first.
std::string Bytes(std::u16string_view text);
// The whole characters of UTF-16LE bytes.
std::u16string Text(std::string_view bytes);
std::u16string Join(const Tokens& tokens);
Tokens Split(std::u16string_view text);

// A record as the export writes it.
SKVA_Server_Settings::ScanConfigs Record(std::u16string_view uid, std::u16string_view entry_name,
                                         std::u16string_view domain_name,
                                         std::u16string_view parent_uid, const Tokens& config = {});

// The database service as far as the import uses it. Entry names listed in
// `existing` (and those of the domains it creates) are found by
// DB_FIND_DOMAIN_UID; DBV2_CLIENT_ON_START answers `on_start_status`, or
// with a reply that is no message when `on_start_fails`; the one-way
// commands get no answer; DBV2_SET_DLP_CFG answers status 0, or no message
// when `dlp_fails`. Its answers are given on the peer's thread: set the
// fields before Start.
class FakeDatabaseService {
 public:
  void Start();
  // Ends the service; requests() is final afterwards.
  void Stop();
  const std::vector<dbclient_testing::DbRequest>& requests() const;
  std::vector<dbclient_testing::DbRequest> RequestsFor(std::u16string_view command) const;

  std::set<std::u16string> existing;
  int32_t on_start_status = 0;
  bool on_start_fails = false;
  bool dlp_fails = false;
  // Without it only `received` is kept, not the requests.
  bool keep_requests = true;
  // How many requests came for each command; read it after Stop.
  std::map<std::u16string, size_t> received;

 private:
  dbclient_testing::DbAnswer Answer(const dbclient_testing::DbRequest& request);

  std::unique_ptr<dbclient_testing::DbScriptedPeer> peer_;
};

// The record a DBV2_CLIENT_ON_START request carries: the 14,464-byte body.
std::string CreationBody(const dbclient_testing::DbRequest& request);

// What a DBV2_SET_DLP_CFG request carries.
struct DlpRequest {
  std::vector<std::u16string> uids;
  int32_t value = 0;
  tagCln_DlpDCCfg dc;
  tagCln_DlpClcCfg clc;
};
DlpRequest ReadDlpRequest(const dbclient_testing::DbRequest& request);

// A DB_IMPORT request's parts: the UID, the number and the configuration's
// tokens.
struct ImportRequest {
  std::u16string uid;
  std::u16string number;
  Tokens config;
};
ImportRequest ReadImportRequest(const dbclient_testing::DbRequest& request);

// A test with an install folder dir_/"server/" (with its Admin and private
// folders), the current folder dir_/"cwd/", its own pipes and log, and a
// recording user interface. The importer is made after the current folder
// was entered.
class ImportTest : public dbclient_testing::PipeFolderTest {
 protected:
  ImportTest();
  ~ImportTest() override;

  std::u16string install_path() const { return dir_.Wide("server/"); }
  // A file below the install folder, named as on Windows: any letter case
  // (the fixture's folder is "private", archives say "Private"). Empty when
  // it does not exist.
  std::string ServerFile(std::string_view relative) const;
  bool ServerFileExists(std::string_view relative) const;
  void WriteServerFile(std::string_view relative, std::string_view bytes) const {
    dir_.Write("server/" + std::string(relative), bytes);
  }
  // Copies the build's stand-in file `name` (testing_support::LibraryFile("BsnPfwCommon.dll"), ...) to
  // `relative` below the test's folder.
  void CopyStandIn(const std::string& name, std::string_view relative) const;
  // The report's bytes.
  std::string DuplicateList() const { return dir_.Read("cwd/DuplicateDomainList.txt"); }
  // The texts of the message boxes shown so far.
  std::vector<std::u16string> Messages() const;
  // How many log lines of the import have this text.
  size_t Logged(std::u16string_view message) { return log_.Count(kSource, message); }
  bool Logged(int level, std::u16string_view message) { return log_.Has(level, kSource, message); }

  platform::RecordingUserInterface ui_;
  platform::ScopedUserInterface scoped_ui_{&ui_};
  dbclient_testing::LogRecorder log_;
  std::u16string previous_folder_;
  std::unique_ptr<CImportSkvaSettings> importer_;
};

}  // namespace import_testing

#endif  // PORTELLE_IMPORT_TESTING_IMPORTTESTSUPPORT_H_
