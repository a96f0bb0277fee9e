// The real bastionel-dbservice process, seeded with fixtures written here,
// asked over the real sockets with requests built as the client builds them.
#include "server/dbservice/db_service.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dbclient/CmdProtocol.h"
#include "dbclient/MsgSerializer.h"
#include "dbclient/dbcl_Command.h"
#include "dbclient/ipc_records.h"
#include "dbclient/pipe_Server.h"
#include "dbclient/pipe_Util.h"
#include "platform/format.h"
#include "platform/named_pipe.h"
#include "platform/text.h"
#include "server/dbservice/wire_text.h"
#include "tests/support/db_service_stand_in.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_folder.h"

namespace dbservice {
namespace {

using json = nlohmann::json;
using testing_support::ServiceProcess;

constexpr char16_t kRoot[] = u"00000000-0000-0000-0000-000000000000";
// A reply that has not come by then will not come: the test fails instead
// of waiting the client's 600 s.
constexpr std::chrono::milliseconds kReplyWait{10000};

std::string Text(const std::string& reply) {
  return platform::Utf16ToUtf8(platform::Utf16LeToText(reply));
}

std::string Hex(std::string_view bytes) {
  std::string hex;
  for (unsigned char b : bytes) hex += platform::FormatA("%02x", b);
  return hex;
}

// Nobody has connected to `listener` (its requests were all handled, so
// nobody will).
bool NeverConnected(platform::PipeListener* listener) {
  platform::PipeStream stream;
  return listener->Accept(&stream, 0).code() == ETIMEDOUT;
}

class DbServiceTest : public ::testing::Test {
 protected:
  static std::string Program() { return testing_support::DbServiceStandIn::Program(); }
  std::vector<std::string> Environment() const { return stand_in_.Environment(); }

  // Starts the service on the database, seeded with `fixture` unless empty.
  bool Start(ServiceProcess* service, const std::string& fixture,
             const std::vector<std::string>& options = {}) {
    return stand_in_.Start(service, fixture, options);
  }

  json Dump() const { return stand_in_.Dump(); }

  // A text command with a reply: the word, a fresh transaction number, the
  // arguments. Fails the test when no reply comes.
  std::string Ask(std::u16string_view word, const std::vector<std::u16string_view>& arguments) {
    const int32_t transaction = ++transaction_;
    CCmdProtocol command;
    command.AppendToken(word).AppendInt(transaction);
    for (std::u16string_view a : arguments) command.AppendToken(a);
    CPipeServer server;
    server.SetTimeoutUnitForTesting(kReplyWait);
    std::string reply;
    EXPECT_TRUE(DbClientSendAndRecv(command.GetString(), transaction, &server, 1) &&
                DbClientFetch(&server, &reply))
        << platform::Utf16ToUtf8(command.GetString());
    return reply;
  }

  // A one-way text command.
  static void Tell(std::u16string_view word, const std::vector<std::u16string_view>& arguments) {
    CCmdProtocol command;
    command.AppendToken(word);
    for (std::u16string_view a : arguments) command.AppendToken(a);
    EXPECT_TRUE(DbClientSend(command.GetString()));
  }

  static void SendRaw(std::string_view bytes) {
    platform::PipeStream stream;
    ASSERT_TRUE(stream.Connect(kDbServerPipeName).ok());
    ASSERT_TRUE(stream.Write(bytes.data(), bytes.size()).ok());
  }

  // A message exchange; the status of the reply, or none without one.
  static std::optional<int32_t> Exchange(CMsgSerializer* message) {
    CPipeServer server;
    server.SetTimeoutUnitForTesting(kReplyWait);
    std::string reply;
    if (!message->FinishForSend() ||
        !PipeSendAndRecvW(message->GetBytes(), message->GetByteLength(), message->GetMessageId(),
                          kDbServerPipeName, &server, 1) ||
        !server.FetchCmd(&reply)) {
      return std::nullopt;
    }
    CMsgSerializer answer(nullptr);
    answer.Load(reply.data(), static_cast<uint32_t>(reply.size()));
    EXPECT_EQ(answer.GetCommandName(), message->GetCommandName());
    int32_t status = 0;
    answer >> status;
    return status;
  }

  // DBV2_CLIENT_ON_START with the record the domain import fills.
  static std::optional<int32_t> Create(std::u16string_view uid, std::u16string_view entry,
                                       std::u16string_view name, std::u16string_view parent) {
    CMsgSerializer message(u"DBV2_CLIENT_ON_START");
    message.WriteObject(testing_support::DomainRecord(uid, entry, name, parent));
    return Exchange(&message);
  }

  static std::optional<int32_t> SetDlp(std::u16string_view uid) {
    tagCln_DlpDCCfg dc;
    dc.m_dwDCFlagIn = 3;
    dc.m_strDevExceptionListOut = u"usb\\1";
    tagCln_DlpClcCfg clc;
    clc.m_sCompressLayerOut = -2;
    clc.m_strUsbBlOut = u"blocked";
    CMsgSerializer message(u"DBV2_SET_DLP_CFG");
    message << std::vector<std::u16string>{std::u16string(uid)} << uint32_t{2};
    message.WriteObject(dc);
    message.WriteObject(clc);
    return Exchange(&message);
  }

  testing_support::DbServiceStandIn stand_in_;
  const testing_support::TempFolder& dir_ = stand_in_.folder();
  const std::string& db_ = stand_in_.database();
  const std::string& socket_ = stand_in_.socket();
  ServiceProcess& service_ = stand_in_.service();
  int32_t transaction_ = 100;
};

constexpr char kSalesFixture[] = R"({"domains": [
  {"uid": "a", "entry": "Sales", "name": "root\\Sales", "third": "t-a", "config": ["1", "", "C:\\Q"],
   "status": 1024, "spyware": [12, -40], "uninstall_password": "un", "unload_password": "ul",
   "dest_scan_type": 3, "service_switch": [4294967295, -1, 7]},
  {"uid": "b", "parent": "a", "entry": "PC-B"},
  {"uid": "c", "parent": "a", "entry": "pc-c", "third": "t-c"}]})";

TEST_F(DbServiceTest, EveryQueryAnswersFromTheFixture) {
  ASSERT_TRUE(Start(&service_, kSalesFixture)) << service_.standard_error();
  EXPECT_EQ(service_.socket_path(), socket_);
  const struct {
    std::u16string_view word;
    std::vector<std::u16string_view> arguments;
    std::string reply;
  } cases[] = {
      {u"DB_GET_DOMAIN", {u"2", kRoot}, "a\tSales\tt-a\n"},
      {u"DB_GET_DOMAIN", {u"2", u"a"}, "b\tPC-B\t\nc\tpc-c\tt-c\n"},
      {u"DB_GET_DOMAIN", {u"2", u"b"}, ""},
      {u"DB_GET_CLN_DOMAIN_NAME_AND_UID", {u"a", u"0"}, "root\\Sales\ta"},
      {u"DB_EXPORT", {u"a", u"0"}, "1\t\tC:\\Q"},
      {u"DB_EXPORT", {u"b", u"0"}, ""},
      {u"DB_GET_STATUS", {u"a", u"0"}, "1024"},
      {u"DB_GET_STATUS", {u"b", u"0"}, "0"},
      {u"DB_FIND_DOMAIN_UID", {u"PC-C", u"2", kRoot}, "c"},
      {u"DB_FIND_DOMAIN_UID", {u"sALES", u"2", kRoot}, "a"},
      {u"DB_FIND_DOMAIN_UID", {u"PC", u"2", kRoot}, ""},
      {u"DB_GET_SPYWARE_WHITE_LIST", {u"a"}, "12\t-40"},
      {u"DB_GET_SPYWARE_WHITE_LIST", {u"b"}, ""},
      {u"DB_GET_CLIENT_PASSWORD", {u"a"}, "un\tul"},
      {u"DB_GET_CLIENT_PASSWORD", {u"b"}, "\t"},
      {u"DB_GET_KSRC_DEST_SCAN_TYPE", {u"a"}, "3"},
      {u"DB_GET_SERVICE_SWITCH", {u"a"}, "4294967295\t-1\t7"},
      {u"DB_GET_SERVICE_SWITCH", {u"c"}, "0\t0\t0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text(Ask(c.word, c.arguments)), c.reply) << platform::Utf16ToUtf8(c.word);
  }
  // A domain the service does not hold gets the empty reply from every query.
  const std::pair<std::u16string_view, std::vector<std::u16string_view>> unknown[] = {
      {u"DB_GET_DOMAIN", {u"2", u"zz"}},
      {u"DB_GET_CLN_DOMAIN_NAME_AND_UID", {u"zz", u"0"}},
      {u"DB_EXPORT", {u"zz", u"0"}},
      {u"DB_GET_STATUS", {u"zz", u"0"}},
      {u"DB_GET_SPYWARE_WHITE_LIST", {u"zz"}},
      {u"DB_GET_CLIENT_PASSWORD", {u"zz"}},
      {u"DB_GET_KSRC_DEST_SCAN_TYPE", {u"zz"}},
      {u"DB_GET_SERVICE_SWITCH", {u"zz"}},
  };
  for (const auto& [word, arguments] : unknown) {
    EXPECT_EQ(Ask(word, arguments), "") << platform::Utf16ToUtf8(word);
  }

  const json journal = Dump()["journal"];
  ASSERT_EQ(journal.size(), std::size(cases) + std::size(unknown));
  const json& first = journal[0];
  EXPECT_EQ(first["kind"], "text");
  EXPECT_EQ(first["command"], "DB_GET_DOMAIN");
  EXPECT_EQ(first["arguments"], json({"101", "2", "00000000-0000-0000-0000-000000000000"}));
  EXPECT_EQ(first["reply_pipe"], "DbCln_101");
  EXPECT_EQ(first["bytes"], 2 * (std::string("DB_GET_DOMAIN\t101\t2\t").size() + 36 + 1));
  EXPECT_EQ(first["outcome"], "1 children");
  EXPECT_EQ(first["reply"], "sent 24 bytes");
  for (const json& e : journal) EXPECT_TRUE(e["service_us"].is_number()) << e;
}

TEST_F(DbServiceTest, AnImportCreatesLinksAndStoresWhatTheDumpShows) {
  ASSERT_TRUE(Start(&service_, R"({"domains": [{"uid": "old", "entry": "Old"}]})"))
      << service_.standard_error();
  // A package lists children before their parents: a parent need not exist yet.
  EXPECT_EQ(Create(u"kid", u"Kid", u"root\\Top\\Kid", u"top"), 0);
  EXPECT_EQ(Create(u"top", u"Top", u"root\\Top", kRoot), 0);
  Tell(u"DB_SET_DOMAIN_UID", {u"kid", u"0", u"top"});
  Tell(u"DB_IMPORT", {u"kid", u"0", u"1\t\t5"});
  Tell(u"DB_IMPORT", {u"top", u"0", u""});
  EXPECT_EQ(SetDlp(u"kid"), 0);
  EXPECT_EQ(Create(u"kid", u"Other", u"x", kRoot), -1);  // the UID exists already
  // Parents never come back in a loop.
  EXPECT_EQ(Create(u"p", u"P", u"p", u"q"), 0);
  EXPECT_EQ(Create(u"q", u"Q", u"q", u"p"), -1);
  Tell(u"DB_SET_DOMAIN_UID", {u"top", u"0", u"kid"});
  EXPECT_EQ(SetDlp(u"nobody"), -1);
  EXPECT_EQ(Text(Ask(u"DB_EXPORT", {u"kid", u"0"})), "1\t\t5");
  EXPECT_EQ(Text(Ask(u"DB_GET_DOMAIN", {u"2", u"top"})), "kid\tKid\t\n");
  EXPECT_EQ(Text(Ask(u"DB_FIND_DOMAIN_UID", {u"KID", u"2", kRoot})), "kid");

  const json dump = Dump();  // while the service runs
  EXPECT_EQ(dump["tree"], json::parse(R"([
      {"uid": "old", "entry": "Old", "children": []},
      {"uid": "top", "entry": "Top", "children": [{"uid": "kid", "entry": "Kid", "children": []}]}
    ])"));
  EXPECT_EQ(dump["detached"],
            json::parse(R"([{"uid": "p", "entry": "P", "parent": "q", "children": []}])"));
  const json& kid = dump["domains"][1];
  EXPECT_EQ(kid["uid"], "kid");
  EXPECT_EQ(kid["name"], "root\\Top\\Kid");
  EXPECT_EQ(kid["parent"], "top");
  EXPECT_EQ(kid["config"], json({"1", "", "5"}));
  EXPECT_EQ(dump["domains"][2]["config"], json::array());  // an empty stream is a configuration
  EXPECT_EQ(dump["domains"][0]["config"], nullptr);
  ASSERT_EQ(dump["dlp"].size(), 1u);
  EXPECT_EQ(dump["dlp"][0]["uid"], "kid");
  EXPECT_EQ(dump["dlp"][0]["value"], 2);
  EXPECT_EQ(dump["dlp"][0]["dc"]["m_dwDCFlagIn"], 3);
  EXPECT_EQ(dump["dlp"][0]["dc"]["m_strDevExceptionListOut"], "usb\\1");
  EXPECT_EQ(dump["dlp"][0]["clc"]["m_sCompressLayerOut"], -2);
  EXPECT_EQ(dump["dlp"][0]["clc"]["m_strUsbBlOut"], "blocked");

  const json& journal = dump["journal"];
  ASSERT_EQ(journal.size(), 14u);
  EXPECT_EQ(journal[0]["kind"], "message");
  EXPECT_EQ(journal[0]["arguments"], json::parse(R"({"uid": "kid", "entry": "Kid",
      "name": "root\\Top\\Kid", "parent": "top", "record_type": 2, "version": "0.0",
      "initial_value": -1, "other_nonzero_bytes": 0})"));
  EXPECT_EQ(journal[0]["outcome"], "created");
  EXPECT_TRUE(journal[0]["reply_pipe"].get<std::string>().starts_with("0105DBV2_CLIENT_ON_START"));
  EXPECT_EQ(journal[2]["command"], "DB_SET_DOMAIN_UID");
  EXPECT_EQ(journal[2]["arguments"], json({"kid", "0", "top"}));
  EXPECT_FALSE(journal[2].contains("reply_pipe"));
  EXPECT_EQ(journal[2]["outcome"], "linked to top");
  EXPECT_EQ(journal[2]["reply"], "none: one-way command");
  EXPECT_EQ(journal[3]["arguments"], json({"kid", "0", "1", "", "5"}));
  EXPECT_EQ(journal[3]["outcome"], "configuration of 4 characters stored");
  EXPECT_EQ(journal[4]["arguments"], json({"top", "0", ""}));  // ends with a TAB after the number
  EXPECT_EQ(journal[4]["bytes"], 2 * (std::string("DB_IMPORT\ttop\t0\t").size() + 1));
  EXPECT_EQ(journal[5]["arguments"]["uids"], json({"kid"}));
  EXPECT_EQ(journal[6]["outcome"], "refused: the UID exists already");
  EXPECT_EQ(journal[8]["outcome"], "refused: the parent lies below the domain");
  EXPECT_EQ(journal[9]["outcome"], "the parent lies within the domain; nothing changed");
  EXPECT_EQ(journal[10]["outcome"], "no such domain 'nobody'; nothing stored");
  EXPECT_EQ(dump["timing"]["requests"], 14);
}

TEST_F(DbServiceTest, FaultsChangeOnlyTheRequestsTheyMatch) {
  ASSERT_TRUE(Start(&service_, R"({
    "domains": [{"uid": "a", "entry": "A", "config": ["x", "y"]},
                {"uid": "b", "entry": "B", "config": ["z"]}],
    "faults": [
      {"command": "DBV2_CLIENT_ON_START", "match": "Refused", "status": -1},
      {"command": "DBV2_CLIENT_ON_START", "match": "Odd", "status": 5},
      {"command": "DB_EXPORT", "match": "b", "drop_reply": true},
      {"command": "DB_EXPORT", "delay_ms": 300, "pieces": 3, "pause_ms": 10},
      {"command": "DB_GET_STATUS", "reply": "abc"},
      {"command": "DB_GET_CLIENT_PASSWORD", "reply_hex": "6100"}]})"))
      << service_.standard_error();
  EXPECT_EQ(Create(u"r", u"Refused", u"r", kRoot), -1);
  EXPECT_EQ(Create(u"o", u"Odd", u"o", kRoot), 5);
  EXPECT_EQ(Create(u"n", u"Normal", u"n", kRoot), 0);

  platform::PipeListener dropped;
  ASSERT_TRUE(dropped.Listen(u"DbCln_77").ok());
  Tell(u"DB_EXPORT", {u"77", u"b", u"0"});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Text(Ask(u"DB_EXPORT", {u"a", u"0"})), "x\ty");  // whole, though in three writes
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_TRUE(NeverConnected(&dropped));
  EXPECT_EQ(Text(Ask(u"DB_GET_STATUS", {u"a", u"0"})), "abc");
  EXPECT_EQ(Text(Ask(u"DB_GET_CLIENT_PASSWORD", {u"a"})), "a");

  const json dump = Dump();
  std::vector<std::string> uids;
  for (const json& d : dump["domains"]) uids.push_back(d["uid"]);
  EXPECT_EQ(uids, (std::vector<std::string>{"a", "b", "o", "n"}));  // "Refused" was not created
  const json& journal = dump["journal"];
  ASSERT_EQ(journal.size(), 7u);
  EXPECT_EQ(journal[0]["outcome"], "refused: fault injected");
  EXPECT_EQ(journal[1]["outcome"], "created; answered 5");
  EXPECT_EQ(journal[3]["reply"], "dropped by fault");
  EXPECT_EQ(journal[4]["reply"], "sent 6 bytes in 3 writes after 300 ms");
  EXPECT_LT(journal[4]["service_us"], 300000);  // the injected waits are not the service's
  EXPECT_EQ(journal[5]["reply"], "sent 6 bytes");
}

TEST_F(DbServiceTest, AStreamedReplyArrivesWholeAndAReaderThatGivesUpCostsOnlyItsRequest) {
  ASSERT_TRUE(Start(&service_, R"({
    "domains": [{"uid": "a", "entry": "A"}, {"uid": "b", "entry": "B", "status": 4}],
    "faults": [{"command": "DB_EXPORT", "match": "a", "reply_bytes": 200001},
               {"command": "DB_EXPORT", "match": "b", "reply_bytes": 1073741824}]})"))
      << service_.standard_error();
  const std::string streamed = Ask(u"DB_EXPORT", {u"a", u"0"});
  ASSERT_EQ(streamed.size(), 200001u);
  EXPECT_EQ(streamed.find_first_not_of(std::string("x\0", 2)), std::string::npos);
  EXPECT_EQ(streamed.substr(0, 4), std::string("x\0x\0", 4));

  // A client that takes no more than 1 MiB of the 1 GiB: the service's
  // writes fail once it has gone, and the next request is served.
  CCmdProtocol command;
  command.AppendToken(u"DB_EXPORT").AppendInt(501).AppendToken(u"b").AppendToken(u"0");
  {
    CPipeServer server;
    server.SetTimeoutUnitForTesting(kReplyWait);
    server.SetMaxReplyBytes(size_t{1} << 20);
    std::string reply;
    ASSERT_TRUE(DbClientSendAndRecv(command.GetString(), 501, &server, 1));
    EXPECT_FALSE(DbClientFetch(&server, &reply));
  }
  EXPECT_EQ(Text(Ask(u"DB_GET_STATUS", {u"b", u"0"})), "4");
  const json journal = Dump()["journal"];
  ASSERT_EQ(journal.size(), 3u);
  EXPECT_EQ(journal[0]["reply"], "sent 200001 bytes streamed");
  EXPECT_TRUE(journal[1]["reply"].get<std::string>().starts_with("failed after ")) << journal[1];
}

TEST_F(DbServiceTest, ACrashFaultRemovesThePipeAnswersAndEndsTheService) {
  ASSERT_TRUE(Start(&service_, R"({"domains": [{"uid": "a", "entry": "A", "status": 7}],
    "faults": [{"command": "DB_GET_STATUS", "match": "a", "crash": true}]})"))
      << service_.standard_error();
  EXPECT_EQ(Text(Ask(u"DB_GET_STATUS", {u"a", u"0"})), "7");
  // Gone as soon as the reply is in, before the process has ended.
  platform::PipeStream stream;
  EXPECT_EQ(stream.Connect(kDbServerPipeName).code(), ENOENT);
  EXPECT_EQ(service_.Wait(), CDbService::kCrashExitCode);
  const json dump = Dump();
  ASSERT_EQ(dump["journal"].size(), 1u);
  EXPECT_EQ(dump["journal"][0]["reply"], "sent 2 bytes");
}

TEST_F(DbServiceTest, BadFixturesAreRefusedBeforeTheDatabaseIsTouched) {
  ASSERT_TRUE(Start(&service_, R"({"domains": [{"uid": "a", "entry": "A"}]})"))
      << service_.standard_error();
  ASSERT_EQ(service_.Stop(), 0);
  const struct {
    const char* fixture;
    const char* error;
  } cases[] = {
      {R"({"domains": [{"uid": "x", "entry": "X", "parent": "y"},
                       {"uid": "y", "entry": "Y", "parent": "x"}]})",
       "the parents of the domains form a loop: 'x' -> 'y' -> 'x'"},
      {R"({"domains": [{"uid": "x", "entry": "X", "parent": "gone"}]})",
       "domain 'x' (X) has the parent 'gone', which is neither the root nor a domain of the "
       "fixture"},
  };
  for (const auto& c : cases) {
    ServiceProcess refused;
    EXPECT_FALSE(Start(&refused, c.fixture));
    EXPECT_EQ(refused.Wait(), 1);
    EXPECT_EQ(refused.standard_error(),
              "bastionel-dbservice: fixture " + dir_.path() + "fixture.json: " + c.error + "\n");
    EXPECT_FALSE(dir_.Exists("pipes/DbServerNamePipe"));
  }
  const json dump = Dump();
  ASSERT_EQ(dump["domains"].size(), 1u);
  EXPECT_EQ(dump["domains"][0]["uid"], "a");
}

TEST_F(DbServiceTest, ARequestOverTheLimitIsNotReadOnAndCostsOnlyItself) {
  ASSERT_TRUE(Start(&service_, R"({"domains": [{"uid": "a", "entry": "A", "status": 6}]})"))
      << service_.standard_error();
  {
    // A command whose last token never ends: the service stops reading at
    // the limit, so this client's writes may fail; its request is refused.
    platform::PipeListener reply_pipe;
    ASSERT_TRUE(reply_pipe.Listen(u"DbCln_92").ok());
    std::string flood = platform::TextToUtf16Le(u"DB_GET_STATUS\t92\ta\t");
    flood.resize(CDbService::kMaxRequestBytes + 2, 'a');
    platform::PipeStream stream;
    ASSERT_TRUE(stream.Connect(kDbServerPipeName).ok());
    for (size_t at = 0; at < flood.size(); at += 65536) {
      if (!stream.Write(flood.data() + at, std::min<size_t>(65536, flood.size() - at)).ok()) break;
    }
    stream.Close();
    EXPECT_EQ(Text(Ask(u"DB_GET_STATUS", {u"a", u"0"})), "6");
    EXPECT_TRUE(NeverConnected(&reply_pipe));
  }
  const json journal = Dump()["journal"];
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(journal[0]["kind"], "unparseable");
  EXPECT_EQ(journal[0]["error"], "longer than 16777216 bytes");
  EXPECT_EQ(journal[1]["reply"], "sent 2 bytes");
}

TEST_F(DbServiceTest, UnparseableRequestsAreJournaledAndNeverAnswered) {
  ASSERT_TRUE(Start(&service_, R"({"domains": [{"uid": "a", "entry": "A"}]})"))
      << service_.standard_error();
  platform::PipeListener short_of_tokens, unknown, message_pipe;
  ASSERT_TRUE(short_of_tokens.Listen(u"DbCln_77").ok());
  ASSERT_TRUE(unknown.Listen(u"DbCln_78").ok());
  CMsgSerializer message(u"DBV2_GET_EVERYTHING");
  ASSERT_TRUE(message_pipe.Listen(message.GetMessageId()).ok());
  SendRaw("hello");
  Tell(u"DB_EXPORT", {u"77", u"a"});
  Tell(u"DB_EXPORTS", {u"78", u"a", u"0"});
  SendRaw(
      std::string_view(reinterpret_cast<const char*>(message.GetBytes()), message.GetByteLength()));
  EXPECT_EQ(Text(Ask(u"DB_GET_DOMAIN", {u"2", kRoot})), "a\tA\t\n");  // still serving
  EXPECT_TRUE(NeverConnected(&short_of_tokens));
  EXPECT_TRUE(NeverConnected(&unknown));
  EXPECT_TRUE(NeverConnected(&message_pipe));

  const json journal = Dump()["journal"];
  ASSERT_EQ(journal.size(), 5u);
  const char* errors[] = {
      "odd byte count", "DB_EXPORT takes 3 tokens after the command word, not 2",
      "unknown text command 'DB_EXPORTS'", "unknown message command 'DBV2_GET_EVERYTHING'"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(journal[i]["kind"], "unparseable");
    EXPECT_EQ(journal[i]["error"], errors[i]);
    EXPECT_EQ(journal[i]["reply"], "none: unparseable");
    EXPECT_FALSE(journal[i].contains("reply_pipe"));
  }
  EXPECT_EQ(journal[0]["raw_hex"], Hex("hello"));
  EXPECT_EQ(journal[1]["arguments"], json({"77", "a"}));
  EXPECT_EQ(journal[3]["command"], "DBV2_GET_EVERYTHING");
}

TEST_F(DbServiceTest, AClientThatLeavesStallsOrVanishesCostsOnlyItsRequest) {
  ASSERT_TRUE(Start(&service_, R"({"domains": [{"uid": "a", "entry": "A", "status": 9}]})",
                    {"--idle-timeout", "200"}))
      << service_.standard_error();
  const std::string whole =
      platform::TextToUtf16Le(u"DB_GET_STATUS\t90\ta\t0") + std::string(2, '\0');
  SendRaw(std::string_view(whole).substr(0, 20));  // leaves mid-request
  {
    // Stalls after a whole request: it is answered once the service gives the
    // connection up.
    platform::PipeListener reply_pipe;
    ASSERT_TRUE(reply_pipe.Listen(u"DbCln_90").ok());
    platform::PipeStream stalled;
    ASSERT_TRUE(stalled.Connect(kDbServerPipeName).ok());
    ASSERT_TRUE(stalled.Write(whole.data(), whole.size()).ok());
    platform::PipeStream reply;
    ASSERT_TRUE(reply_pipe.Accept(&reply, 10000).ok());
    char buffer[16];
    size_t n = 0;
    ASSERT_TRUE(reply.Read(buffer, sizeof buffer, &n, 10000).ok());
    EXPECT_EQ(std::string(buffer, n), platform::TextToUtf16Le(u"9"));
  }
  {
    platform::PipeStream stalled;
    ASSERT_TRUE(stalled.Connect(kDbServerPipeName).ok());
    ASSERT_TRUE(stalled.Write(whole.data(), 10).ok());
    EXPECT_EQ(Text(Ask(u"DB_GET_STATUS", {u"a", u"0"})), "9");  // waits behind the stalled one
  }
  Tell(u"DB_GET_STATUS", {u"91", u"a", u"0"});  // nobody listens on DbCln_91
  EXPECT_EQ(Text(Ask(u"DB_GET_STATUS", {u"a", u"0"})), "9");

  const json journal = Dump()["journal"];
  ASSERT_EQ(journal.size(), 6u);
  EXPECT_EQ(journal[0]["error"], "no terminating NUL");
  EXPECT_EQ(journal[1]["reply"], "sent 2 bytes");
  EXPECT_EQ(journal[2]["error"], "no terminating NUL, client silent for 200 ms");
  EXPECT_EQ(journal[3]["reply"], "sent 2 bytes");
  EXPECT_TRUE(journal[4]["reply"].get<std::string>().starts_with("failed: connect 'DbCln_91': "))
      << journal[4];
}

TEST_F(DbServiceTest, ASecondInstanceIsRefusedAndLeavesTheFirstAlone) {
  ASSERT_TRUE(Start(&service_, R"({"domains": [{"uid": "a", "entry": "A"}]})"))
      << service_.standard_error();
  ServiceProcess second;
  EXPECT_FALSE(Start(&second, R"({"domains": [{"uid": "z", "entry": "Z"}]})"));
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_EQ(
      second.standard_error(),
      "bastionel-dbservice: the pipe DbServerNamePipe is already served by another process (" +
          socket_ + ")\n");
  EXPECT_EQ(Text(Ask(u"DB_GET_DOMAIN", {u"2", kRoot})), "a\tA\t\n");
}

TEST_F(DbServiceTest, StopSignalsEndCleanlyAndTheStateOutlivesTheProcess) {
  const std::string pid_file = dir_.path() + "service.pid";
  ASSERT_TRUE(
      Start(&service_, R"({"domains": [{"uid": "a", "entry": "A"}]})", {"--pid-file", pid_file}))
      << service_.standard_error();
  EXPECT_EQ(dir_.Read("service.pid"), std::to_string(service_.pid()) + "\n");
  EXPECT_EQ(Create(u"n", u"New", u"n", kRoot), 0);
  ASSERT_EQ(::kill(service_.pid(), SIGTERM), 0);
  EXPECT_EQ(service_.Wait(), 0);
  EXPECT_FALSE(dir_.Exists("pipes/DbServerNamePipe"));
  EXPECT_FALSE(dir_.Exists("service.pid"));
  EXPECT_EQ(service_.standard_output(), "listening on " + socket_ + "\n");

  ServiceProcess again;  // without a fixture: the database as it was left
  ASSERT_TRUE(Start(&again, "")) << again.standard_error();
  EXPECT_EQ(Text(Ask(u"DB_GET_DOMAIN", {u"2", kRoot})), "a\tA\t\nn\tNew\t\n");
  ASSERT_EQ(::kill(again.pid(), SIGINT), 0);
  EXPECT_EQ(again.Wait(), 0);
  EXPECT_EQ(Dump()["journal"].size(), 2u);
}

TEST_F(DbServiceTest, BackgroundServiceIsFoundThroughItsPidFile) {
  const std::string pid_file = dir_.path() + "service.pid";
  ASSERT_TRUE(Start(&service_, R"({"domains": [{"uid": "a", "entry": "A"}]})",
                    {"--background", "--pid-file", pid_file}))
      << service_.standard_error();
  EXPECT_EQ(service_.Wait(), 0);  // the starting process ends once the service listens
  const pid_t daemon = std::stoi(dir_.Read("service.pid"));
  EXPECT_EQ(::getsid(daemon), daemon);
  EXPECT_EQ(Text(Ask(u"DB_GET_DOMAIN", {u"2", kRoot})), "a\tA\t\n");
  ASSERT_EQ(::kill(daemon, SIGTERM), 0);
  ASSERT_TRUE(testing_support::WaitForProcessEnd(daemon, ServiceProcess::kStopTimeoutMs));
  EXPECT_FALSE(dir_.Exists("pipes/DbServerNamePipe"));
  EXPECT_FALSE(dir_.Exists("service.pid"));
  EXPECT_EQ(Dump()["journal"].size(), 1u);
}

TEST_F(DbServiceTest, CommandLineMistakesAndHelp) {
  const struct {
    std::vector<std::string> arguments;
    int exit_code;
    std::string output;
  } cases[] = {
      {{"--db", db_, "--background"}, 2, "bastionel-dbservice: --background needs --pid-file\n"},
      {{"--fixture", "f.json"}, 2, "bastionel-dbservice: no database given (--db FILE)\n"},
      {{"--db", db_, "extra"}, 2, "bastionel-dbservice: unexpected argument extra\n"},
      {{"--db", db_, "--dump", "--pid-file", "p"},
       2,
       "bastionel-dbservice: --dump does not serve: --background and --pid-file do not go with "
       "it\n"},
      {{"--db", db_, "--dump"}, 1, "bastionel-dbservice: open database '" + db_ + "': "},
      {{"--db", db_, "--fixture", dir_.path() + "none.json"},
       1,
       "bastionel-dbservice: cannot read the fixture " + dir_.path() + "none.json\n"},
  };
  for (const auto& c : cases) {
    ServiceProcess run;
    ASSERT_TRUE(run.Spawn(Program(), c.arguments, Environment()));
    EXPECT_EQ(run.Wait(), c.exit_code) << c.output;
    EXPECT_TRUE(run.standard_error().starts_with(c.output)) << run.standard_error();
  }
  dir_.Write("other.db", "not a database at all, but long enough to be looked at ...");
  ServiceProcess foreign;
  ASSERT_TRUE(foreign.Spawn(Program(), {"--db", dir_.path() + "other.db"}, Environment()));
  EXPECT_EQ(foreign.Wait(), 1);
  EXPECT_NE(foreign.standard_error().find("other.db"), std::string::npos);
  ServiceProcess help;
  ASSERT_TRUE(help.Spawn(Program(), {"--help"}, Environment()));
  EXPECT_EQ(help.Wait(), 0);
  EXPECT_TRUE(help.standard_output().starts_with("usage: bastionel-dbservice"));
  EXPECT_FALSE(dir_.Exists("state.db"));
}

}  // namespace
}  // namespace dbservice
