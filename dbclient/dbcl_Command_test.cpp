#include "dbclient/dbcl_Command.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "dbclient/CmdProtocol.h"
#include "dbclient/DecimalText.h"
#include "dbclient/dbcl_CommandWords.h"
#include "dbclient/testing/ipc_test_bytes.h"
#include "dbclient/testing/pipe_test_peer.h"
#include "platform/format.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

using dbclient_testing::Answer;
using dbclient_testing::DbServicePeer;
using dbclient_testing::LogRecorder;
using ipc_test::DwordItem;
using ipc_test::Le16;
using ipc_test::Le32;
using ipc_test::StringItem;
using ipc_test::Utf16Le;
using ipc_test::WordItem;

TEST(TransactionNumberTest, ThreadIdAboveTickCountAsSignedNumber) {
  EXPECT_EQ(MakeTransactionNumber(0x1234, 0xABCD5678u), 0x12345678);
  // The thread id's high bits fall off; bit 15 becomes the sign.
  EXPECT_EQ(MakeTransactionNumber(0x38001, 0xFFFF), -2147352577);
  EXPECT_EQ(DbReplyPipeName(-2147352577), u"DbCln_-2147352577");
  EXPECT_EQ(DbReplyPipeName(0), u"DbCln_0");
  const auto txn = static_cast<uint32_t>(NewTransactionNumber());
  EXPECT_EQ(txn >> 16, platform::GetCurrentThreadId() & 0xFFFF);
}

class DbClientTest : public dbclient_testing::PipeFolderTest {
 protected:
  std::u16string Command(int32_t txn) {
    CCmdProtocol cmd;
    cmd.AppendToken(u"DB_EXPORT").AppendInt(txn).AppendToken(kUid).AppendDword(0);
    return cmd.GetString();
  }

  static constexpr char16_t kUid[] = u"0a1b2c3d-0000-4000-8000-00000000000e";
  LogRecorder log_;
};

TEST_F(DbClientTest, SendWritesTheCommandWithItsNul) {
  platform::PipeListener service;
  ASSERT_TRUE(service.Listen(u"DbServerNamePipe").ok());
  EXPECT_TRUE(DbClientSend(u"DB_X\tu"));
  platform::PipeStream request;
  ASSERT_TRUE(service.Accept(&request, 0).ok());
  char bytes[32];
  size_t n = 0;
  ASSERT_TRUE(request.Read(bytes, sizeof bytes, &n, dbclient_testing::kPeerDeadlineMs).ok());
  EXPECT_EQ(std::string(bytes, n), std::string("D\0B\0_\0X\0\t\0u\0\0\0", 14));
  EXPECT_TRUE(log_.Has(8, u"dbcl_Command", u"[DbClient] Send DB_X\tu"));

  // A pipe lives while any of its instances is open, the accepted one too.
  request.Close();
  service.Close();
  EXPECT_FALSE(DbClientSend(u"DB_X\tu"));
  EXPECT_TRUE(log_.Has(5, u"dbcl_Command", u"Initial pipe client failed! err=2"));
}

TEST_F(DbClientTest, QueryCollectsTheReplyOnThePipeOfItsTransaction) {
  const int32_t txn = NewTransactionNumber();
  const std::u16string command = Command(txn);
  DbServicePeer peer(Answer::kReply, {"a", "bc", "def"});
  std::string reply;
  ASSERT_TRUE(DbClientQuery(command.c_str(), txn, &reply, kDbReplyTimeoutSeconds));
  peer.Join();
  EXPECT_EQ(reply, "abcdef");
  EXPECT_EQ(peer.request_text(), command);
  EXPECT_EQ(peer.reply_pipe(), DbReplyPipeName(txn));
  platform::PipeStream gone;  // the reply pipe went with its server
  EXPECT_EQ(gone.Connect(DbReplyPipeName(txn), 0).code(), platform::kErrorFileNotFound);
  EXPECT_TRUE(log_.Has(8, u"dbcl_Command", u"[DbClient] SendAndRecv " + command));
}

TEST_F(DbClientTest, AServiceThatConnectsAndClosesGivesAnEmptyReply) {
  DbServicePeer peer(Answer::kConnectAndClose);
  std::string reply = "stale";
  EXPECT_TRUE(DbClientQuery(Command(77).c_str(), 77, &reply, kDbReplyTimeoutSeconds));
  EXPECT_EQ(reply, "");
}

TEST_F(DbClientTest, AServiceThatNeverAnswersTimesOut) {
  DbServicePeer peer(Answer::kNeverConnect);
  CPipeServer server;
  server.SetTimeoutUnitForTesting(std::chrono::milliseconds(1));
  ASSERT_TRUE(DbClientSendAndRecv(Command(78).c_str(), 78, &server, 20));
  peer.Join();
  EXPECT_TRUE(peer.served());
  std::string reply;
  EXPECT_FALSE(DbClientFetch(&server, &reply));
  EXPECT_TRUE(
      log_.Has(5, u"pipe_Server", u"[CPipeServer::FetchCmd] User define object is not signaled!"));
  EXPECT_TRUE(log_.Has(5, u"dbcl_Command", u"PipeServer.FetchCmd Failed!"));
}

TEST_F(DbClientTest, AQueryThatCannotBeDeliveredLeavesTheReplyAlone) {
  std::string reply = "untouched";
  const std::u16string command = Command(79);
  EXPECT_FALSE(DbClientQuery(command.c_str(), 79, &reply, kDbReplyTimeoutSeconds));
  EXPECT_EQ(reply, "untouched");
  EXPECT_TRUE(log_.Has(5, u"dbcl_Command", u"PipeSendAndRecv Failed! err=2"));
  // The command is logged whether or not it went out.
  EXPECT_TRUE(log_.Has(8, u"dbcl_Command", u"[DbClient] SendAndRecv " + command));
}

// ---- The commands ----

const std::u16string kUid = u"3f2504e0-4f89-11d3-9a0c-0305e82c3301";
const std::u16string kParent = u"9a8b7c6d-0000-4000-8000-00000000000f";
const std::string kNul(2, '\0');

// A message start as the service writes it: version, header, name, id.
std::string MessageStart(std::u16string_view name, std::u16string_view id) {
  return ipc_test::kVersionItem + Le32(16) + std::string("\x20\xAC", 2) + std::string(14, '\0') +
         StringItem(name) + StringItem(id);
}

class DbCommandTest : public dbclient_testing::PipeFolderTest {
 protected:
  // A fault shows as a failure after 6 s, not as a hang of 600 s.
  DbCommandTest() { SetDbReplyTimeoutUnitForTesting(std::chrono::milliseconds(10)); }
  ~DbCommandTest() override { SetDbReplyTimeoutUnitForTesting(CPipeServer::kSecond); }

  // Time-outs of 600 s take 600 ms.
  static void ShortenTimeouts() { SetDbReplyTimeoutUnitForTesting(std::chrono::milliseconds(1)); }

  // The transaction number a text request carried, checked to be this
  // thread's; the peer found the reply pipe by it.
  static std::u16string Transaction(const DbServicePeer& peer) {
    const std::u16string txn = peer.reply_pipe().substr(6);
    const auto number = static_cast<uint32_t>(dbclient::DecimalToInt32(txn));
    EXPECT_EQ(number >> 16, platform::GetCurrentThreadId() & 0xFFFF);
    EXPECT_EQ(platform::Format(u"%d", static_cast<int32_t>(number)), txn);
    return txn;
  }

  // The bytes of a text request with a reply.
  static std::string TextRequest(std::u16string_view word, std::u16string_view txn,
                                 std::u16string_view args) {
    return Utf16Le(word) + Utf16Le(u"\t") + Utf16Le(txn) + Utf16Le(u"\t") + Utf16Le(args) + kNul;
  }

  // Whether a line of this level and source starts with `prefix`.
  bool Logged(int level, std::u16string_view prefix) {
    for (const dbclient_testing::LogRecord& record : log_.records()) {
      if (record.level == level && record.source == u"dbcl_Command" &&
          record.message.starts_with(prefix)) {
        return true;
      }
    }
    return false;
  }

  LogRecorder log_;
};

TEST_F(DbCommandTest, TextRequestsCarryTheTransactionAndTheArgumentsInOrder) {
  std::string bytes;
  int32_t status = 0;
  CSettingContainerSpywareWhiteList list;
  int32_t count = 1024;
  tagDbClientPassword password;
  password.SetDomainUid(kUid);
  uint32_t dword = 0;
  int32_t a = 0;
  int32_t b = 0;
  struct Case {
    std::u16string word;
    std::u16string args;
    std::function<bool()> run;
  };
  const std::vector<Case> cases = {
      {u"DB_GET_DOMAIN", u"2\t" + kUid, [&] { return dbGetDomain(2, kUid, &bytes); }},
      // The list type goes out zero-extended.
      {u"DB_GET_DOMAIN", u"65535\t" + kUid, [&] { return dbGetDomain(0xFFFF, kUid, &bytes); }},
      {u"DB_GET_CLN_DOMAIN_NAME_AND_UID", kUid + u"\t0",
       [&] { return dbGetClnDomainName(kUid, &bytes); }},
      {u"DB_EXPORT", kUid + u"\t0", [&] { return dbExport(kUid, &bytes); }},
      {u"DB_GET_STATUS", kUid + u"\t0", [&] { return dbGetStatus(kUid, &status); }},
      {u"DB_FIND_DOMAIN_UID", u"Sales\t2\t00000000-0000-0000-0000-000000000000",
       [&] { return dbFindDomainUid(u"Sales", kDbDomainListType, kDbRootDomainUid, &bytes); }},
      {u"DB_GET_SPYWARE_WHITE_LIST", kUid,
       [&] { return dbGetSpywareWhiteList(kUid, &list, &count); }},
      {u"DB_GET_CLIENT_PASSWORD", kUid, [&] { return dbGetClientPassword(&password); }},
      {u"DB_GET_KSRC_DEST_SCAN_TYPE", kUid, [&] { return dbGetKsrcDestScanType(kUid, &dword); }},
      {u"DB_GET_SERVICE_SWITCH", kUid, [&] { return dbGetServiceSwitch(kUid, &dword, &a, &b); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::Utf16ToUtf8(c.word + u" " + c.args));
    DbServicePeer peer(Answer::kReply);
    EXPECT_TRUE(c.run());
    peer.Join();
    EXPECT_EQ(peer.request(), TextRequest(c.word, Transaction(peer), c.args));
  }
}

TEST_F(DbCommandTest, OneWayRequestsCarryNoTransaction) {
  const auto sent = [](Answer answer, const std::function<bool()>& run) {
    DbServicePeer peer(answer);
    EXPECT_TRUE(run());
    peer.Join();
    return peer.request();
  };
  EXPECT_EQ(sent(Answer::kNeverConnect, [] { return dbSetDomainUid(kUid, kParent); }),
            Utf16Le(u"DB_SET_DOMAIN_UID\t" + kUid + u"\t0\t" + kParent) + kNul);
  // An empty configuration: the request ends with the TAB after the number.
  EXPECT_EQ(sent(Answer::kNeverConnect, [] { return dbImport(kUid, "", 0); }),
            Utf16Le(u"DB_IMPORT\t" + kUid + u"\t0\t") + kNul);
  // The configuration goes in as it is, TABs and all; its text ends at its
  // first NUL, and an odd last byte is no character.
  const std::string config = Utf16Le(u"1\t\tx") + kNul + Utf16Le(u"lost");
  EXPECT_EQ(sent(Answer::kNeverConnect, [&] { return dbImport(kUid, config, -2147483647 - 1); }),
            Utf16Le(u"DB_IMPORT\t" + kUid + u"\t-2147483648\t1\t\tx") + kNul);
  EXPECT_EQ(sent(Answer::kNeverConnect, [&] { return dbImport(kUid, Utf16Le(u"ab") + "c", 7); }),
            Utf16Le(u"DB_IMPORT\t" + kUid + u"\t7\tab") + kNul);
}

TEST_F(DbCommandTest, ReplyBytesAreHandedOverAsTheyCame) {
  // An odd byte count and an embedded NUL are not the client's affair.
  const std::string reply = Utf16Le(u"u1\tA\t0\nu2\tB\t1") + kNul + "x";
  const std::vector<std::function<bool(std::string*)>> commands = {
      [](std::string* out) { return dbGetDomain(2, kUid, out); },
      [](std::string* out) { return dbGetClnDomainName(kUid, out); },
      [](std::string* out) { return dbExport(kUid, out); },
      [](std::string* out) { return dbFindDomainUid(u"Sales", 2, kDbRootDomainUid, out); },
  };
  for (const auto& command : commands) {
    std::string out = "stale";
    {
      DbServicePeer peer(Answer::kReply, {reply.substr(0, 5), reply.substr(5)});
      EXPECT_TRUE(command(&out));
      EXPECT_EQ(out, reply);
    }
    // A leaf, or no domain of that name: an empty reply.
    DbServicePeer empty(Answer::kConnectAndClose);
    EXPECT_TRUE(command(&out));
    EXPECT_EQ(out, "");
  }
}

TEST_F(DbCommandTest, FailedExchangesLeaveTheOutputsAlone) {
  // No service at all: nothing goes out, nothing is waited for.
  std::string bytes = "keep";
  EXPECT_FALSE(dbGetDomain(2, kUid, &bytes));
  EXPECT_FALSE(dbExport(kUid, &bytes));
  EXPECT_FALSE(dbFindDomainUid(u"Sales", 2, kDbRootDomainUid, &bytes));
  EXPECT_EQ(bytes, "keep");
  int32_t status = 42;
  EXPECT_FALSE(dbGetStatus(kUid, &status));
  EXPECT_EQ(status, 42);
  tagDbClientPassword password;
  password.SetDomainUid(kUid);
  password.m_szUninstallPwd[0] = u'p';
  EXPECT_FALSE(dbGetClientPassword(&password));
  EXPECT_EQ(password.GetUninstallPwd(), u"p");
  EXPECT_FALSE(dbSetDomainUid(kUid, kParent));
  EXPECT_FALSE(dbImport(kUid, "", 0));
  EXPECT_TRUE(log_.Has(5, u"dbcl_Command", u"Initial pipe client failed! err=2"));

  // A service that never answers: a reply that did not come is no reply.
  ShortenTimeouts();
  {
    DbServicePeer peer(Answer::kNeverConnect);
    EXPECT_FALSE(dbExport(kUid, &bytes));
    EXPECT_EQ(bytes, "keep");
  }
  {
    DbServicePeer peer(Answer::kNeverConnect);
    EXPECT_FALSE(dbGetStatus(kUid, &status));
    EXPECT_EQ(status, 42);
  }
}

TEST_F(DbCommandTest, StatusIsTheDecimalValueOfTheWholeReplyText) {
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {Utf16Le(u"1234"), 1234},
      {Utf16Le(u"abc"), 0},
      {Utf16Le(u" -42xyz"), -42},
      {Utf16Le(u"99999999999"), 2147483647},
      {"", 0},
      // The text ends at its first NUL, or with its last whole character.
      {Utf16Le(u"12") + kNul + Utf16Le(u"34"), 12},
      {Utf16Le(u"56") + "7", 56},
  };
  for (const auto& [reply, value] : cases) {
    DbServicePeer peer(Answer::kReply, {reply});
    int32_t status = -7;
    EXPECT_TRUE(dbGetStatus(kUid, &status));
    EXPECT_EQ(status, value) << reply.size();
  }
}

TEST_F(DbCommandTest, SpywareListIsTrueOnceTheRequestWasDelivered) {
  CSettingContainerSpywareWhiteList list;
  int32_t count = 2;
  {
    DbServicePeer peer(Answer::kReply, {Utf16Le(u"10\t-20\t30")});
    EXPECT_TRUE(dbGetSpywareWhiteList(kUid, &list, &count));
    EXPECT_EQ(list.GetList(), (std::vector<int32_t>{10, -20}));  // the caller's maximum
    EXPECT_EQ(count, 2);
  }
  {
    count = 1024;
    DbServicePeer peer(Answer::kReply, {Utf16Le(u"5\t\t6")});
    EXPECT_TRUE(dbGetSpywareWhiteList(kUid, &list, &count));
    EXPECT_EQ(list.GetList(), (std::vector<int32_t>{5}));  // an empty token ends it
    EXPECT_EQ(count, 1);
  }
  // Not delivered: false, and the list and the count stay.
  count = 1024;
  EXPECT_FALSE(dbGetSpywareWhiteList(kUid, &list, &count));
  EXPECT_EQ(list.GetList(), (std::vector<int32_t>{5}));
  EXPECT_EQ(count, 1024);
  // Delivered but never answered: true, with the empty list.
  ShortenTimeouts();
  DbServicePeer peer(Answer::kNeverConnect);
  EXPECT_TRUE(dbGetSpywareWhiteList(kUid, &list, &count));
  EXPECT_TRUE(list.GetList().empty());
  EXPECT_EQ(count, 0);
}

TEST_F(DbCommandTest, PasswordTokensFillTheirFieldsUpTo255Characters) {
  const auto query = [](const std::string& reply, tagDbClientPassword* record) {
    DbServicePeer peer(Answer::kReply, {reply});
    return dbGetClientPassword(record);
  };
  tagDbClientPassword record;
  record.SetDomainUid(kUid);
  ASSERT_TRUE(query(Utf16Le(u"un\tul"), &record));
  EXPECT_EQ(record.GetUninstallPwd(), u"un");
  EXPECT_EQ(record.GetUnloadPwd(), u"ul");
  ASSERT_TRUE(query(Utf16Le(u"secret1\nsecret2\tmore"), &record));
  EXPECT_EQ(record.GetUninstallPwd(), u"secret1");
  EXPECT_EQ(record.GetUnloadPwd(), u"secret2");

  // A single token: the unload password comes out empty.
  tagDbClientPassword single;
  single.SetDomainUid(kUid);
  ASSERT_TRUE(query(Utf16Le(u"only"), &single));
  EXPECT_EQ(single.GetUninstallPwd(), u"only");
  EXPECT_EQ(single.GetUnloadPwd(), u"");

  // A token too long for its field is cut to 255 characters and its NUL;
  // the field is never written past, and a shorter one clears what a longer
  // one left.
  const std::u16string longest(300, u'k');
  ASSERT_TRUE(query(Utf16Le(longest + u"\tb"), &record));
  EXPECT_EQ(record.GetUninstallPwd(), longest.substr(0, 255));
  EXPECT_EQ(record.m_szUninstallPwd[255], u'\0');
  EXPECT_EQ(record.GetUnloadPwd(), u"b");
  EXPECT_EQ(record.GetDomainUid(), kUid);
  ASSERT_TRUE(query(Utf16Le(u"x\ty"), &record));
  EXPECT_EQ(std::u16string(record.m_szUninstallPwd, 256), u"x" + std::u16string(255, u'\0'));
}

TEST_F(DbCommandTest, PasswordRecordHoldsAtMost36UidCharacters) {
  tagDbClientPassword record;
  record.SetDomainUid(kUid + u"-extra");
  EXPECT_EQ(record.GetDomainUid(), kUid);
  EXPECT_EQ(sizeof record.m_szUninstallPwd, 512u);
  DbServicePeer peer(Answer::kReply);
  EXPECT_TRUE(dbGetClientPassword(&record));
  peer.Join();
  EXPECT_EQ(peer.request(), TextRequest(u"DB_GET_CLIENT_PASSWORD", Transaction(peer), kUid));
}

TEST_F(DbCommandTest, ScanTypeAndServiceSwitchAreReadInEveryCase) {
  uint32_t type = 99;
  uint32_t service_switch = 99;
  int32_t second = 99;
  int32_t third = 99;
  {
    DbServicePeer peer(Answer::kReply, {Utf16Le(u"-1\tignored")});
    EXPECT_TRUE(dbGetKsrcDestScanType(kUid, &type));
    EXPECT_EQ(type, 4294967295u);
  }
  {
    DbServicePeer peer(Answer::kReply, {Utf16Le(u"4294967295\t-2\t3\t9")});
    EXPECT_TRUE(dbGetServiceSwitch(kUid, &service_switch, &second, &third));
    EXPECT_EQ(service_switch, 4294967295u);
    EXPECT_EQ(second, -2);
    EXPECT_EQ(third, 3);
  }
  {
    DbServicePeer peer(Answer::kReply, {Utf16Le(u"7")});
    EXPECT_TRUE(dbGetServiceSwitch(kUid, &service_switch, &second, &third));
    EXPECT_EQ(service_switch, 7u);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(third, 0);
  }
  // A failed exchange reads as nothing: zeros.
  EXPECT_FALSE(dbGetKsrcDestScanType(kUid, &type));
  EXPECT_EQ(type, 0u);
  service_switch = second = third = 99;
  EXPECT_FALSE(dbGetServiceSwitch(kUid, &service_switch, &second, &third));
  EXPECT_EQ(service_switch, 0u);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(third, 0);
}

TEST_F(DbCommandTest, ClientOnStartSendsTheRecordAndReadsTheStatus) {
  tagCln_CgiOnStart record;
  record.SetRecordType(2);
  ASSERT_TRUE(record.SetDomainUid(kUid));
  ASSERT_TRUE(record.SetEntryName(u"Sales"));
  ASSERT_TRUE(record.SetParentUid(kParent));
  std::string body(14464, '\0');
  body.replace(4, 2, Le16(2));
  body.replace(6, 72, Utf16Le(kUid));
  body.replace(112, 10, Utf16Le(u"Sales"));
  body.replace(7158, 72, Utf16Le(kParent));

  for (const int32_t answered : {0, -1, 5}) {
    DbServicePeer peer(Answer::kReply, {MessageStart(u"DBV2_CLIENT_ON_START", u"r1") +
                                        DwordItem(static_cast<uint32_t>(answered))});
    int32_t status = 1234;
    EXPECT_TRUE(dbClientOnStart(record, &status));
    EXPECT_EQ(status, answered);
    peer.Join();
    const std::u16string id = peer.reply_pipe();
    EXPECT_TRUE(id.starts_with(u"0105DBV2_CLIENT_ON_START")) << platform::Utf16ToUtf8(id);
    EXPECT_EQ(peer.request(), MessageStart(u"DBV2_CLIENT_ON_START", id) + Le32(14464) + body);
    EXPECT_TRUE(log_.Has(8, u"dbcl_Command", u"[dbSendAndRecv] SendAndRecv " + id));
  }
}

TEST_F(DbCommandTest, SetDlpCfgSendsTheUidListTheValue2AndBothRecords) {
  tagCln_DlpDCCfg dc;
  dc.m_dwDCFlagIn = 1;
  dc.m_dwDeviceOut = 0x01020304;
  dc.m_strDevExceptionListIn = u"usb";
  tagCln_DlpClcCfg clc;
  clc.m_dwClcFlagOut = 3;
  clc.m_strChannelListIn = u"mail";
  clc.m_dwActionIn = 4;
  clc.m_sCompressLayerOut = -1;
  clc.m_dwCompressFileCountIn = 6;
  clc.m_strTemplateIn = u"tpl";
  clc.m_strUsbBlOut = u"last";

  std::string clcBytes = StringItem(u"") + DwordItem(0) + DwordItem(3) + StringItem(u"mail") +
                         StringItem(u"") + DwordItem(4) + DwordItem(0) + DwordItem(0) +
                         DwordItem(0) + WordItem(0) + WordItem(0xFFFF) + DwordItem(6) +
                         DwordItem(0) + StringItem(u"tpl");
  for (int i = 0; i < 12; ++i) clcBytes += StringItem(u"");
  clcBytes += StringItem(u"last");

  DbServicePeer peer(Answer::kReply, {MessageStart(u"DBV2_SET_DLP_CFG", u"r2")});
  EXPECT_TRUE(dbSetDlpCfg(kUid, dc, clc));  // the reply's body is not read
  peer.Join();
  EXPECT_EQ(peer.request(), MessageStart(u"DBV2_SET_DLP_CFG", peer.reply_pipe()) + Le32(1) +
                                StringItem(kUid) + DwordItem(2) + StringItem(u"") + DwordItem(1) +
                                DwordItem(0) + DwordItem(0) + DwordItem(0x01020304) +
                                StringItem(u"usb") + StringItem(u"") + clcBytes);
}

TEST_F(DbCommandTest, ARepliedMessageThatCannotBeReadIsAFailedExchange) {
  tagCln_CgiOnStart record;
  int32_t status = 1234;
  // Garbage, and an empty reply: the reply's start cannot be read.
  for (const std::string& reply : {std::string("garbage"), std::string()}) {
    DbServicePeer peer(Answer::kReply, {reply});
    EXPECT_FALSE(dbClientOnStart(record, &status));
  }
  EXPECT_TRUE(Logged(2, u"[dbSendAndRecv] Load reply Failed! Out of range"));
  EXPECT_TRUE(Logged(2, u"[dbSendAndRecv] Load reply Failed! Invalid buffer"));
  // A message without the status item.
  {
    DbServicePeer peer(Answer::kReply, {MessageStart(u"DBV2_CLIENT_ON_START", u"r3")});
    EXPECT_FALSE(dbClientOnStart(record, &status));
  }
  EXPECT_TRUE(Logged(2, u"[dbClientOnStart] No status in the reply!"));
  EXPECT_EQ(status, 1234);
}

TEST_F(DbCommandTest, SerializedCommandsFailWithoutAServiceOrAReply) {
  tagCln_CgiOnStart record;
  int32_t status = 1234;
  EXPECT_FALSE(dbClientOnStart(record, &status));
  EXPECT_FALSE(dbSetDlpCfg(kUid, tagCln_DlpDCCfg(), tagCln_DlpClcCfg()));
  EXPECT_TRUE(log_.Has(2, u"dbcl_Command", u"[dbSendAndRecv] PipeSendAndRecv Failed! err=2"));
  ShortenTimeouts();
  DbServicePeer peer(Answer::kNeverConnect);
  EXPECT_FALSE(dbClientOnStart(record, &status));
  EXPECT_TRUE(log_.Has(2, u"dbcl_Command", u"[dbSendAndRecv] PipeServer.FetchCmd Failed!"));
  EXPECT_EQ(status, 1234);
}

}  // namespace
