// The client's database commands run against the real bastionel-dbservice
// over the real sockets. What the service received is read back from its
// journal (--dump) and compared with requests written out here by hand;
// what it answered, faults included, goes through the client's own parsing.
#include <gtest/gtest.h>
#include <signal.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "dbclient/CmdProtocol.h"
#include "dbclient/SettingContainer.h"
#include "dbclient/dbcl_Command.h"
#include "dbclient/dbcl_CommandWords.h"
#include "dbclient/ipc_records.h"
#include "dbclient/pipe_Server.h"
#include "platform/format.h"
#include "platform/system.h"
#include "platform/text.h"
#include "server/dbservice/wire_text.h"
#include "tests/support/db_service_stand_in.h"
#include "tests/support/service_process.h"

namespace {

using json = nlohmann::json;
using testing_support::DomainRecord;

constexpr char kRoot[] = "00000000-0000-0000-0000-000000000000";
constexpr char kSales[] = "3f2504e0-4f89-11d3-9a0c-0305e82c3301";
constexpr char kPc7[] = "9a8b7c6d-0000-4000-8000-00000000000f";
constexpr char16_t kSalesW[] = u"3f2504e0-4f89-11d3-9a0c-0305e82c3301";
constexpr char16_t kPc7W[] = u"9a8b7c6d-0000-4000-8000-00000000000f";

std::string Text(const std::string& reply) {
  return platform::Utf16ToUtf8(platform::Utf16LeToText(reply));
}

// The request of a journal entry as text: the command word and the tokens
// after it, joined by TAB.
std::string RequestText(const json& entry) {
  std::string text = entry["command"];
  for (const json& token : entry["arguments"]) text += "\t" + token.get<std::string>();
  return text;
}

class DbClientServiceTest : public ::testing::Test {
 protected:
  // A reply that does not come fails the test after 6 s, not 600 s.
  DbClientServiceTest() { SetDbReplyTimeoutUnitForTesting(std::chrono::milliseconds(10)); }
  ~DbClientServiceTest() override { SetDbReplyTimeoutUnitForTesting(CPipeServer::kSecond); }

  void Start(const std::string& fixture) {
    ASSERT_TRUE(stand_in_.Start(fixture)) << stand_in_.service().standard_error();
  }

  // Checks that the journal holds exactly `requests`, in order. In a
  // request "<txn>" stands for the transaction number, which must be the
  // second token, name the reply pipe and carry this thread's id in its
  // high 16 bits; a request without it must name no reply pipe. The service
  // takes a text request only when it ends with its one NUL, so the text
  // and the byte count together are the request byte for byte.
  void ExpectTextRequests(const std::vector<std::string>& requests) {
    const json journal = stand_in_.Dump()["journal"];
    ASSERT_EQ(journal.size(), requests.size()) << journal.dump(1);
    const uint32_t thread = platform::GetCurrentThreadId() & 0xFFFF;
    for (size_t i = 0; i < requests.size(); ++i) {
      const json& entry = journal[i];
      SCOPED_TRACE(entry.dump());
      EXPECT_EQ(entry["kind"], "text");
      std::string expected = requests[i];
      const size_t marker = expected.find("<txn>");
      if (marker == std::string::npos) {
        EXPECT_FALSE(entry.contains("reply_pipe"));
      } else {
        const std::string txn = entry["arguments"].at(0);
        EXPECT_EQ(entry.value("reply_pipe", ""), "DbCln_" + txn);
        const int32_t number = std::stoi(txn);
        EXPECT_EQ(platform::FormatA("%d", number), txn);
        EXPECT_EQ(static_cast<uint32_t>(number) >> 16, thread);
        expected.replace(marker, 5, txn);
      }
      EXPECT_EQ(RequestText(entry), expected);
      EXPECT_EQ(entry["bytes"], 2 * (expected.size() + 1));  // ASCII: one unit a character
    }
  }

  testing_support::DbServiceStandIn stand_in_;
};

TEST_F(DbClientServiceTest, EveryTextCommandGoesOutAsTheServiceExpectsIt) {
  Start(json{{"domains",
              {{{"uid", kSales},
                {"entry", "Sales"},
                {"name", "root\\Sales"},
                {"third", "1"},
                {"config", {"1", "", "C:\\Q"}},
                {"status", 1024},
                {"spyware", {12, -40, 7}},
                {"uninstall_password", "un"},
                {"unload_password", "ul"},
                {"dest_scan_type", 3},
                {"service_switch", {4294967295u, -1, 7}}},
               {{"uid", kPc7}, {"parent", kSales}, {"entry", "PC-7"}}}}}
            .dump());

  std::string reply;
  ASSERT_TRUE(dbGetDomain(kDbDomainListType, kDbRootDomainUid, &reply));
  EXPECT_EQ(Text(reply), std::string(kSales) + "\tSales\t1\n");
  ASSERT_TRUE(dbGetDomain(kDbDomainListType, kPc7W, &reply));
  EXPECT_EQ(reply, "");  // a leaf: the first UID read from it is empty
  std::u16string first_uid = u"stale";
  CCmdProtocol(platform::Utf16LeToText(reply)).NextToken(first_uid);
  EXPECT_EQ(first_uid, u"");
  ASSERT_TRUE(dbGetClnDomainName(kSalesW, &reply));
  EXPECT_EQ(Text(reply), std::string("root\\Sales\t") + kSales);
  ASSERT_TRUE(dbExport(kSalesW, &reply));
  EXPECT_EQ(Text(reply), "1\t\tC:\\Q");
  int32_t status = 0;
  ASSERT_TRUE(dbGetStatus(kSalesW, &status));
  EXPECT_EQ(status, 1024);
  ASSERT_TRUE(dbFindDomainUid(u"pc-7", kDbDomainListType, kDbRootDomainUid, &reply));
  EXPECT_EQ(Text(reply), kPc7);
  ASSERT_TRUE(dbFindDomainUid(u"Nobody", kDbDomainListType, kDbRootDomainUid, &reply));
  EXPECT_EQ(reply, "");
  CSettingContainerSpywareWhiteList list;
  int32_t count = 2;  // fewer than the service holds
  ASSERT_TRUE(dbGetSpywareWhiteList(kSalesW, &list, &count));
  EXPECT_EQ(list.GetList(), (std::vector<int32_t>{12, -40}));
  EXPECT_EQ(count, 2);
  tagDbClientPassword passwords;
  passwords.SetDomainUid(kSalesW);
  ASSERT_TRUE(dbGetClientPassword(&passwords));
  EXPECT_EQ(passwords.GetUninstallPwd(), u"un");
  EXPECT_EQ(passwords.GetUnloadPwd(), u"ul");
  uint32_t scan_type = 0;
  ASSERT_TRUE(dbGetKsrcDestScanType(kSalesW, &scan_type));
  EXPECT_EQ(scan_type, 3u);
  uint32_t service_switch = 0;
  int32_t second = 0;
  int32_t third = 0;
  ASSERT_TRUE(dbGetServiceSwitch(kSalesW, &service_switch, &second, &third));
  EXPECT_EQ(service_switch, 4294967295u);
  EXPECT_EQ(second, -1);
  EXPECT_EQ(third, 7);
  EXPECT_TRUE(dbImport(kPc7W, "", 0));
  EXPECT_TRUE(dbImport(kPc7W, platform::TextToUtf16Le(u"1\t\t5"), 0));
  EXPECT_TRUE(dbSetDomainUid(kPc7W, kDbRootDomainUid));
  // A command with a reply last: once it is answered, every earlier request
  // has been handled.
  ASSERT_TRUE(dbExport(kPc7W, &reply));
  EXPECT_EQ(Text(reply), "1\t\t5");

  const std::string sales = kSales;
  const std::string pc7 = kPc7;
  ExpectTextRequests({
      std::string("DB_GET_DOMAIN\t<txn>\t2\t") + kRoot,
      "DB_GET_DOMAIN\t<txn>\t2\t" + pc7,
      "DB_GET_CLN_DOMAIN_NAME_AND_UID\t<txn>\t" + sales + "\t0",
      "DB_EXPORT\t<txn>\t" + sales + "\t0",
      "DB_GET_STATUS\t<txn>\t" + sales + "\t0",
      std::string("DB_FIND_DOMAIN_UID\t<txn>\tpc-7\t2\t") + kRoot,
      std::string("DB_FIND_DOMAIN_UID\t<txn>\tNobody\t2\t") + kRoot,
      "DB_GET_SPYWARE_WHITE_LIST\t<txn>\t" + sales,
      "DB_GET_CLIENT_PASSWORD\t<txn>\t" + sales,
      "DB_GET_KSRC_DEST_SCAN_TYPE\t<txn>\t" + sales,
      "DB_GET_SERVICE_SWITCH\t<txn>\t" + sales,
      "DB_IMPORT\t" + pc7 + "\t0\t",  // an empty stream: the TAB after the number ends it
      "DB_IMPORT\t" + pc7 + "\t0\t1\t\t5",
      "DB_SET_DOMAIN_UID\t" + pc7 + "\t0\t" + kRoot,
      "DB_EXPORT\t<txn>\t" + pc7 + "\t0",
  });
  const json dump = stand_in_.Dump();
  ASSERT_EQ(dump["domains"].size(), 2u);
  EXPECT_EQ(dump["domains"][1]["parent"], kRoot);
  EXPECT_EQ(dump["domains"][1]["config"], json({"1", "", "5"}));
}

TEST_F(DbClientServiceTest, OddRepliesAreReadAsTheClientReadsThem) {
  json domains = json::array();
  for (const char* uid : {"abc", "big", "late", "lf", "list", "minus", "one", "pieces", "short"})
    domains.push_back({{"uid", uid}, {"entry", uid}});
  domains.push_back({{"uid", "child"}, {"parent", "pieces"}, {"entry", "Child"}, {"third", "3"}});
  json spyware = json::array();
  for (int i = 1; i <= 1030; ++i) spyware.push_back(i);
  domains.push_back({{"uid", "long"}, {"entry", "long"}, {"spyware", spyware}});
  // More than one receive buffer of configuration.
  const std::string big(300000, 'x');
  domains.push_back({{"uid", "huge"}, {"entry", "huge"}, {"config", "1\t" + big + "\t2"}});
  Start(json{
      {"domains", domains},
      {"faults",
       {{{"command", "DB_GET_STATUS"}, {"match", "abc"}, {"reply", "abc"}},
        {{"command", "DB_GET_STATUS"}, {"match", "minus"}, {"reply", " -42xyz"}},
        {{"command", "DB_GET_CLIENT_PASSWORD"}, {"match", "one"}, {"reply", "only"}},
        {{"command", "DB_GET_CLIENT_PASSWORD"}, {"match", "lf"}, {"reply", "un\nul\tmore"}},
        {{"command", "DB_GET_SPYWARE_WHITE_LIST"}, {"match", "list"}, {"reply", "5\t\t6"}},
        {{"command", "DB_GET_KSRC_DEST_SCAN_TYPE"}, {"match", "minus"}, {"reply", "-1"}},
        {{"command", "DB_GET_SERVICE_SWITCH"}, {"match", "short"}, {"reply", "7"}},
        {{"command", "DB_GET_DOMAIN"}, {"match", "pieces"}, {"pieces", 5}},
        {{"command", "DB_EXPORT"}, {"match", "huge"}, {"pieces", 3}, {"pause_ms", 5}},
        {{"command", "DB_GET_CLN_DOMAIN_NAME_AND_UID"}, {"match", "late"}, {"delay_ms", 200}}}}}
            .dump());

  int32_t status = 99;
  EXPECT_TRUE(dbGetStatus(u"abc", &status));  // no number: 0
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(dbGetStatus(u"minus", &status));
  EXPECT_EQ(status, -42);

  tagDbClientPassword single;
  single.SetDomainUid(u"one");
  ASSERT_TRUE(dbGetClientPassword(&single));
  EXPECT_EQ(single.GetUninstallPwd(), u"only");
  EXPECT_EQ(single.GetUnloadPwd(), u"");
  tagDbClientPassword lines;
  lines.SetDomainUid(u"lf");
  ASSERT_TRUE(dbGetClientPassword(&lines));
  EXPECT_EQ(lines.GetUninstallPwd(), u"un");
  EXPECT_EQ(lines.GetUnloadPwd(), u"ul");

  CSettingContainerSpywareWhiteList list;
  int32_t count = 1024;
  ASSERT_TRUE(dbGetSpywareWhiteList(u"list", &list, &count));
  EXPECT_EQ(list.GetList(), (std::vector<int32_t>{5}));  // an empty token ends the list
  EXPECT_EQ(count, 1);
  count = 1024;
  ASSERT_TRUE(dbGetSpywareWhiteList(u"long", &list, &count));
  EXPECT_EQ(count, 1024);
  ASSERT_EQ(list.GetList().size(), 1024u);
  EXPECT_EQ(list.GetList().back(), 1024);

  uint32_t scan_type = 0;
  EXPECT_TRUE(dbGetKsrcDestScanType(u"minus", &scan_type));
  EXPECT_EQ(scan_type, 4294967295u);
  uint32_t service_switch = 99;
  int32_t second = 99;
  int32_t third = 99;
  EXPECT_TRUE(dbGetServiceSwitch(u"short", &service_switch, &second, &third));
  EXPECT_EQ(service_switch, 7u);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(third, 0);

  // Replies in several writes, cut at odd byte counts, come out whole.
  std::string reply;
  ASSERT_TRUE(dbGetDomain(kDbDomainListType, u"pieces", &reply));
  EXPECT_EQ(Text(reply), "child\tChild\t3\n");
  ASSERT_TRUE(dbExport(u"huge", &reply));
  EXPECT_EQ(reply,
            platform::TextToUtf16Le(u"1\t" + std::u16string(big.begin(), big.end()) + u"\t2"));
  // A late reply within the time-out is waited for.
  ASSERT_TRUE(dbGetClnDomainName(u"late", &reply));
  EXPECT_EQ(Text(reply), "late\tlate");

  const json journal = stand_in_.Dump()["journal"];
  ASSERT_EQ(journal.size(), 11u);
  EXPECT_EQ(journal[8]["reply"], "sent 28 bytes in 5 writes");
  EXPECT_EQ(journal[9]["reply"], "sent 600008 bytes in 3 writes");
  EXPECT_EQ(journal[10]["reply"], "sent 18 bytes after 200 ms");
}

// The client gives up on a reply that does not come within the time-out and
// reads what the command defines for that case.
TEST_F(DbClientServiceTest, RepliesThatNeverComeTimeOut) {
  Start(R"({"domains": [{"uid": "a", "entry": "A", "status": 5, "spyware": [1, 2],
                          "service_switch": [1, 2, 3]}],
            "faults": [{"command": "DB_GET_SERVICE_SWITCH", "drop_reply": true},
                       {"command": "DB_GET_SPYWARE_WHITE_LIST", "drop_reply": true}]})");
  SetDbReplyTimeoutUnitForTesting(std::chrono::milliseconds(1));  // 600 s last 600 ms

  uint32_t service_switch = 99;
  int32_t second = 99;
  int32_t third = 99;
  EXPECT_FALSE(dbGetServiceSwitch(u"a", &service_switch, &second, &third));
  EXPECT_EQ(service_switch, 0u);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(third, 0);
  // The spyware list was delivered: true, with the empty list.
  CSettingContainerSpywareWhiteList list;
  list.GetList() = {9};
  int32_t count = 1024;
  EXPECT_TRUE(dbGetSpywareWhiteList(u"a", &list, &count));
  EXPECT_TRUE(list.GetList().empty());
  EXPECT_EQ(count, 0);
  // The service goes on with the next request.
  int32_t status = 0;
  ASSERT_TRUE(dbGetStatus(u"a", &status));
  EXPECT_EQ(status, 5);

  const json journal = stand_in_.Dump()["journal"];
  ASSERT_EQ(journal.size(), 3u);
  EXPECT_EQ(journal[0]["reply"], "dropped by fault");
  EXPECT_EQ(journal[1]["reply"], "dropped by fault");
}

TEST_F(DbClientServiceTest, ClientOnStartCreatesTheDomainAndReadsTheStatus) {
  Start(R"({"domains": [{"uid": "old", "entry": "Old"}],
            "faults": [{"command": "DBV2_CLIENT_ON_START", "match": "Refused", "status": -1},
                       {"command": "DBV2_CLIENT_ON_START", "match": "Lab", "status": 5}]})");
  const struct {
    tagCln_CgiOnStart record;
    int32_t status;
  } cases[] = {
      {DomainRecord(kSalesW, u"Sales", u"root\\Sales", u"00000000-0000-0000-0000-000000000000"), 0},
      {DomainRecord(kSalesW, u"Again", u"root\\Again", u"00000000-0000-0000-0000-000000000000"),
       -1},  // the UID exists already
      {DomainRecord(u"r", u"Refused", u"root\\Refused", kSalesW), -1},
      {DomainRecord(kPc7W, u"Lab", u"root\\Sales\\Lab", kSalesW), 5},  // created all the same
  };
  for (const auto& c : cases) {
    int32_t status = 1234;
    EXPECT_TRUE(dbClientOnStart(c.record, &status));
    EXPECT_EQ(status, c.status) << platform::Utf16ToUtf8(c.record.GetEntryName());
  }
  std::string reply;
  ASSERT_TRUE(dbFindDomainUid(u"LAB", kDbDomainListType, kDbRootDomainUid, &reply));
  EXPECT_EQ(Text(reply), kPc7);

  const json dump = stand_in_.Dump();
  ASSERT_EQ(dump["domains"].size(), 3u);
  EXPECT_EQ(dump["domains"][1], (json{{"uid", kSales},
                                      {"parent", kRoot},
                                      {"entry", "Sales"},
                                      {"name", "root\\Sales"},
                                      {"third", ""},
                                      {"config", nullptr},
                                      {"status", 0},
                                      {"spyware", json::array()},
                                      {"uninstall_password", ""},
                                      {"unload_password", ""},
                                      {"dest_scan_type", 0},
                                      {"service_switch", {0, 0, 0}}}));
  const json no_children = json::array();
  EXPECT_EQ(dump["tree"],
            (json{{{"uid", "old"}, {"entry", "Old"}, {"children", no_children}},
                  {{"uid", kSales},
                   {"entry", "Sales"},
                   {"children", {{{"uid", kPc7}, {"entry", "Lab"}, {"children", no_children}}}}}}));
  const json& journal = dump["journal"];
  ASSERT_EQ(journal.size(), 5u);
  const std::string thread =
      platform::FormatA("%d", static_cast<int32_t>(platform::GetCurrentThreadId()));
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(journal[i].dump());
    EXPECT_EQ(journal[i]["kind"], "message");
    EXPECT_EQ(journal[i]["command"], "DBV2_CLIENT_ON_START");
    const std::string pipe = journal[i].value("reply_pipe", "");
    EXPECT_TRUE(pipe.starts_with("0105DBV2_CLIENT_ON_START") && pipe.ends_with(thread));
  }
  EXPECT_EQ(journal[3]["arguments"], (json{{"uid", kPc7},
                                           {"entry", "Lab"},
                                           {"name", "root\\Sales\\Lab"},
                                           {"parent", kSales},
                                           {"record_type", 2},
                                           {"version", "0.0"},
                                           {"initial_value", -1},
                                           {"other_nonzero_bytes", 0}}));
  EXPECT_EQ(journal[0]["outcome"], "created");
  EXPECT_EQ(journal[1]["outcome"], "refused: the UID exists already");
  EXPECT_EQ(journal[2]["outcome"], "refused: fault injected");
  EXPECT_EQ(journal[3]["outcome"], "created; answered 5");
}

TEST_F(DbClientServiceTest, SetDlpCfgStoresBothRecordsFieldByField) {
  Start(R"({"domains": [{"uid": "a", "entry": "A"}]})");
  tagCln_DlpDCCfg dc;
  dc.m_dwDCFlagIn = 1;
  dc.m_dwDCFlagOut = 2;
  dc.m_dwDeviceIn = 3;
  dc.m_dwDeviceOut = 4294967295u;
  dc.m_strDevExceptionListIn = u"usb\\in";
  dc.m_strDevExceptionListOut = u"usb\\out";
  tagCln_DlpClcCfg clc;
  clc.m_dwClcFlagIn = 11;
  clc.m_dwClcFlagOut = 12;
  clc.m_strChannelListIn = u"ch-in";
  clc.m_strChannelListOut = u"ch-out";
  clc.m_dwActionIn = 13;
  clc.m_dwActionOut = 14;
  clc.m_dwCompressFileSizeIn = 15;
  clc.m_dwCompressFileSizeOut = 16;
  clc.m_sCompressLayerIn = 17;
  clc.m_sCompressLayerOut = -18;
  clc.m_dwCompressFileCountIn = 19;
  clc.m_dwCompressFileCountOut = 20;
  clc.m_strTemplateIn = u"tpl-in";
  clc.m_strTemplateOut = u"tpl-out";
  clc.m_strIpWlIn = u"ipw-in";
  clc.m_strIpWlOut = u"ipw-out";
  clc.m_strIpBlIn = u"ipb-in";
  clc.m_strIpBlOut = u"ipb-out";
  clc.m_strEmailWlIn = u"mw-in";
  clc.m_strEmailWlOut = u"mw-out";
  clc.m_strEmailBlIn = u"mb-in";
  clc.m_strEmailBlOut = u"mb-out";
  clc.m_strUsbWlIn = u"uw-in";
  clc.m_strUsbWlOut = u"uw-out";
  clc.m_strUsbBlIn = u"ub-in";
  clc.m_strUsbBlOut = u"ub-out";
  EXPECT_TRUE(dbSetDlpCfg(u"a", dc, clc));
  // The reply is not read: a service that stored nothing is no failure.
  EXPECT_TRUE(dbSetDlpCfg(u"nobody", dc, clc));

  const json dump = stand_in_.Dump();
  ASSERT_EQ(dump["dlp"].size(), 1u);
  EXPECT_EQ(dump["dlp"][0], json::parse(R"({"uid": "a", "value": 2,
      "dc": {"m_strReserved": "", "m_dwDCFlagIn": 1, "m_dwDCFlagOut": 2, "m_dwDeviceIn": 3,
             "m_dwDeviceOut": 4294967295, "m_strDevExceptionListIn": "usb\\in",
             "m_strDevExceptionListOut": "usb\\out"},
      "clc": {"m_strReserved": "", "m_dwClcFlagIn": 11, "m_dwClcFlagOut": 12,
              "m_strChannelListIn": "ch-in", "m_strChannelListOut": "ch-out",
              "m_dwActionIn": 13, "m_dwActionOut": 14,
              "m_dwCompressFileSizeIn": 15, "m_dwCompressFileSizeOut": 16,
              "m_sCompressLayerIn": 17, "m_sCompressLayerOut": -18,
              "m_dwCompressFileCountIn": 19, "m_dwCompressFileCountOut": 20,
              "m_strTemplateIn": "tpl-in", "m_strTemplateOut": "tpl-out",
              "m_strIpWlIn": "ipw-in", "m_strIpWlOut": "ipw-out",
              "m_strIpBlIn": "ipb-in", "m_strIpBlOut": "ipb-out",
              "m_strEmailWlIn": "mw-in", "m_strEmailWlOut": "mw-out",
              "m_strEmailBlIn": "mb-in", "m_strEmailBlOut": "mb-out",
              "m_strUsbWlIn": "uw-in", "m_strUsbWlOut": "uw-out",
              "m_strUsbBlIn": "ub-in", "m_strUsbBlOut": "ub-out"}})"));
  const json& journal = dump["journal"];
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(journal[0]["arguments"]["uids"], json({"a"}));
  EXPECT_EQ(journal[0]["arguments"]["value"], 2);
  EXPECT_EQ(journal[1]["outcome"], "no such domain 'nobody'; nothing stored");
}

// Every command fails at once, its outputs untouched (scan type and service
// switch: zeros), when nobody serves the pipe.
void ExpectEveryCommandFails() {
  std::string reply = "keep";
  EXPECT_FALSE(dbGetDomain(kDbDomainListType, u"a", &reply));
  EXPECT_FALSE(dbGetClnDomainName(u"a", &reply));
  EXPECT_FALSE(dbExport(u"a", &reply));
  EXPECT_FALSE(dbFindDomainUid(u"A", kDbDomainListType, kDbRootDomainUid, &reply));
  EXPECT_EQ(reply, "keep");
  int32_t status = 42;
  EXPECT_FALSE(dbGetStatus(u"a", &status));
  EXPECT_EQ(status, 42);
  CSettingContainerSpywareWhiteList list;
  list.GetList() = {9};
  int32_t count = 1024;
  EXPECT_FALSE(dbGetSpywareWhiteList(u"a", &list, &count));
  EXPECT_EQ(list.GetList(), (std::vector<int32_t>{9}));
  EXPECT_EQ(count, 1024);
  tagDbClientPassword passwords;
  passwords.SetDomainUid(u"a");
  passwords.m_szUninstallPwd[0] = u'p';
  EXPECT_FALSE(dbGetClientPassword(&passwords));
  EXPECT_EQ(passwords.GetUninstallPwd(), u"p");
  uint32_t scan_type = 99;
  EXPECT_FALSE(dbGetKsrcDestScanType(u"a", &scan_type));
  EXPECT_EQ(scan_type, 0u);
  uint32_t service_switch = 99;
  int32_t second = 99;
  int32_t third = 99;
  EXPECT_FALSE(dbGetServiceSwitch(u"a", &service_switch, &second, &third));
  EXPECT_EQ(service_switch + static_cast<uint32_t>(second) + static_cast<uint32_t>(third), 0u);
  EXPECT_FALSE(dbImport(u"a", "", 0));
  EXPECT_FALSE(dbSetDomainUid(u"a", kDbRootDomainUid));
  EXPECT_FALSE(dbClientOnStart(DomainRecord(u"n", u"N", u"N", kDbRootDomainUid), &status));
  EXPECT_EQ(status, 42);
  EXPECT_FALSE(dbSetDlpCfg(u"a", tagCln_DlpDCCfg(), tagCln_DlpClcCfg()));
}

TEST_F(DbClientServiceTest, AServiceThatIsNotRunningFailsEveryCommand) {
  {
    SCOPED_TRACE("never started");
    ExpectEveryCommandFails();
  }
  Start(R"({"domains": [{"uid": "a", "entry": "A", "status": 7}]})");
  {
    SCOPED_TRACE("stopped");
    ASSERT_EQ(stand_in_.service().Stop(), 0);
    ExpectEveryCommandFails();
  }
  // A service that crashed leaves its socket behind, with nobody on it.
  testing_support::ServiceProcess crashed;
  ASSERT_TRUE(stand_in_.Start(&crashed, "")) << crashed.standard_error();
  ASSERT_EQ(::kill(crashed.pid(), SIGKILL), 0);
  EXPECT_EQ(crashed.Wait(), 128 + SIGKILL);
  ASSERT_TRUE(stand_in_.folder().Exists("pipes/DbServerNamePipe"));
  {
    SCOPED_TRACE("crashed");
    ExpectEveryCommandFails();
  }
  // A new service takes the pipe over, with the state the others left.
  testing_support::ServiceProcess again;
  ASSERT_TRUE(stand_in_.Start(&again, "")) << again.standard_error();
  int32_t status = 0;
  ASSERT_TRUE(dbGetStatus(u"a", &status));
  EXPECT_EQ(status, 7);
}

}  // namespace
