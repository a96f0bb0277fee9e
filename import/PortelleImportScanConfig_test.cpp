#include <gtest/gtest.h>

#include <string>

#include "dbclient/dbcl_CommandWords.h"
#include "import/PortelleImport.h"
#include "import/testing/ImportTestSupport.h"
#include "platform/format.h"
#include "platform/text.h"

namespace import_testing {
namespace {

constexpr char16_t kUid[] = u"3f2504e0-4f89-41d3-9a0c-0305e82c3301";
constexpr char16_t kFunc[] = u"CImportSkvaSettings::ImportScanConfigs";

std::u16string Line(std::u16string_view message) { return EngineLine(kFunc, message); }

std::u16string Number(int n) { return platform::Format(u"%d", n); }

// The kinds of T1 to T47: d a dword, s a text, w a 16-bit value.
constexpr std::u16string_view kTailKinds = u"ssdsssdddddssssddddssddssddddwwddssssssssssssss";

// A configuration in the current layout with every value told apart: the
// source's own move directories, numbers in forms that need normalising, the
// spyware list `list` (its count first) and two tokens past the tail.
Tokens SourceConfig(const Tokens& list = {u"3", u"7", u"-2", u"x"}) {
  Tokens tokens;
  for (int p = 1; p <= 38; ++p) tokens.push_back(Number(1000 + p));
  tokens[0] = u"-1";    // sent as 4294967295
  tokens[1] = u"abc";   // sent as 0
  tokens[2] = u"0042";  // sent as 42
  for (int p = 39; p <= 62; ++p) tokens.push_back(u"s" + Number(p));
  tokens[42] = u"C:\\Source\\Quarantine";
  tokens.insert(tokens.end(), list.begin(), list.end());
  const size_t tail = tokens.size();
  for (size_t t = 1; t <= 47; ++t) {
    tokens.push_back(kTailKinds[t - 1] == u's' ? u"T" + Number(static_cast<int>(t))
                                               : Number(static_cast<int>(100 + t)));
  }
  tokens[tail + 29] = u"65535";  // T30: sent as -1
  tokens[tail + 30] = u"70000";  // T31: its low 16 bits, 4464
  tokens.insert(tokens.end(), {u"past", u"the end"});
  return tokens;
}

// What the service receives for SourceConfig() with the list sent as `list`.
Tokens ExpectedConfig(const Tokens& list = {u"3", u"7", u"4294967294", u"0"}) {
  Tokens expected;
  for (int p = 1; p <= 38; ++p) expected.push_back(Number(1000 + p));
  expected[0] = u"4294967295";
  expected[1] = u"0";
  expected[2] = u"42";
  for (int p = 39; p <= 42; ++p) expected.push_back(u"s" + Number(p));
  expected.insert(expected.end(),
                  {u"/var/q/manual", u"/var/q/real time", u"/var/q/scheduled", u""});
  for (int p = 47; p <= 62; ++p) expected.push_back(u"s" + Number(p));
  expected.insert(expected.end(), list.begin(), list.end());
  const size_t tail = expected.size();
  for (size_t t = 1; t <= 47; ++t) {
    expected.push_back(kTailKinds[t - 1] == u's' ? u"T" + Number(static_cast<int>(t))
                                                 : Number(static_cast<int>(100 + t)));
  }
  expected[tail + 29] = u"-1";
  expected[tail + 30] = u"4464";
  return expected;
}

class ImportScanConfigsTest : public ImportTest {
 protected:
  ImportScanConfigsTest() {
    WriteServerFile("bsnscan.ini",
                    "[Manual Scan Configuration]\r\nMoveDir=/var/q/manual\r\n"
                    "[Real Time Scan Configuration]\r\nMoveDir=/var/q/real time\r\n"
                    "[Prescheduled Scan Configuration]\r\nMoveDir=/var/q/scheduled\r\n"
                    "[Scan Now Configuration]\r\nMoveDir=\r\n");
  }

  FakeDatabaseService service_;
};

TEST_F(ImportScanConfigsTest, CopiesTheLayoutByKindWithTheTargetsMoveDirectories) {
  service_.Start();
  EXPECT_TRUE(importer_->ImportScanConfigs(Record(kUid, u"e", u"n", kRoot, SourceConfig()), kUid));
  service_.Stop();

  ASSERT_EQ(service_.requests().size(), 2u);
  ASSERT_EQ(service_.requests()[0].command, u"DB_IMPORT");
  const ImportRequest sent = ReadImportRequest(service_.requests()[0]);
  EXPECT_EQ(sent.uid, kUid);
  EXPECT_EQ(sent.number, u"0");
  EXPECT_EQ(sent.config, ExpectedConfig());

  ASSERT_EQ(service_.requests()[1].command, kDbv2SetDlpCfg);
  const DlpRequest dlp = ReadDlpRequest(service_.requests()[1]);
  EXPECT_EQ(dlp.uids, std::vector<std::u16string>{kUid});
  EXPECT_EQ(dlp.value, 2);
  EXPECT_EQ(dlp.dc.m_dwDCFlagIn, 116u);
  EXPECT_EQ(dlp.dc.m_dwDCFlagOut, 117u);
  EXPECT_EQ(dlp.dc.m_dwDeviceIn, 118u);
  EXPECT_EQ(dlp.dc.m_dwDeviceOut, 119u);
  EXPECT_EQ(dlp.dc.m_strDevExceptionListIn, u"T20");
  EXPECT_EQ(dlp.dc.m_strDevExceptionListOut, u"T21");
  EXPECT_EQ(dlp.clc.m_dwClcFlagIn, 122u);
  EXPECT_EQ(dlp.clc.m_dwClcFlagOut, 123u);
  EXPECT_EQ(dlp.clc.m_strChannelListIn, u"T24");
  EXPECT_EQ(dlp.clc.m_strChannelListOut, u"T25");
  EXPECT_EQ(dlp.clc.m_dwActionIn, 126u);
  EXPECT_EQ(dlp.clc.m_dwActionOut, 127u);
  EXPECT_EQ(dlp.clc.m_dwCompressFileSizeIn, 128u);
  EXPECT_EQ(dlp.clc.m_dwCompressFileSizeOut, 129u);
  EXPECT_EQ(dlp.clc.m_sCompressLayerIn, -1);
  EXPECT_EQ(dlp.clc.m_sCompressLayerOut, 4464);
  EXPECT_EQ(dlp.clc.m_dwCompressFileCountIn, 132u);
  EXPECT_EQ(dlp.clc.m_dwCompressFileCountOut, 133u);
  EXPECT_EQ(dlp.clc.m_strIpBlIn, u"T34");
  EXPECT_EQ(dlp.clc.m_strIpBlOut, u"T35");
  EXPECT_EQ(dlp.clc.m_strIpWlIn, u"T36");
  EXPECT_EQ(dlp.clc.m_strIpWlOut, u"T37");
  EXPECT_EQ(dlp.clc.m_strEmailBlIn, u"T38");
  EXPECT_EQ(dlp.clc.m_strEmailBlOut, u"T39");
  EXPECT_EQ(dlp.clc.m_strEmailWlIn, u"T40");
  EXPECT_EQ(dlp.clc.m_strEmailWlOut, u"T41");
  EXPECT_EQ(dlp.clc.m_strUsbBlIn, u"T42");
  EXPECT_EQ(dlp.clc.m_strUsbBlOut, u"T43");
  EXPECT_EQ(dlp.clc.m_strUsbWlIn, u"T44");
  EXPECT_EQ(dlp.clc.m_strUsbWlOut, u"T45");
  EXPECT_EQ(dlp.clc.m_strTemplateIn, u"T46");
  EXPECT_EQ(dlp.clc.m_strTemplateOut, u"T47");

  const std::u16string_view kLines[] = {
      u"=>ImportScanConfigs()",
      u"m_dwServiceSwitch = 1006",
      u"m_dwDestScanType = 1007",
      u"m_nGCLCacheRebuildDays = 1036",
      u"m_nODSCacheMaxExpiredDays = 1038",
      u"m_strMSExtList = s39",
      u"get m_strMSMoveDir = C:\\Source\\Quarantine",
      u"set m_strMSMoveDir = /var/q/manual",
      u"m_strMSExclude = s47",
      u"m_strMSExExtend = s51",
      u"m_strMSExFolder = s59",
      u"number of spyware white list = 3",
      u"m_strVIGILDAC = T1",
      u"VIGIL m_dwEnable = 103",
      u"m_dwIntWCSCfg = 107",
      u"m_strExtBlackList = T15",
      u"m_dwDCFlagIn = 116",
      u"m_sCompressLayerIn = -1",
      u"m_sCompressLayerOut = 4464",
      u"m_strIpBlIn = (T34)",
      u"m_strTemplateOut = (T47)",
      u"<=ImportScanConfigs()",
  };
  for (const std::u16string_view line : kLines) {
    EXPECT_TRUE(Logged(68, Line(line))) << platform::Utf16ToUtf8(line);
  }
  EXPECT_TRUE(Logged(68, Line(u"strConfigs =\n" + Join(SourceConfig()))));
  // Positions that are not logged.
  EXPECT_EQ(Logged(Line(u"m_dwHeader1 = -1")), 0u);
  EXPECT_EQ(Logged(Line(u"m_strRTExtList = s40")), 0u);
}

TEST_F(ImportScanConfigsTest, AnEmptyConfigurationSendsTheWholeLayoutWithTheMoveDirectories) {
  service_.Start();
  SKVA_Server_Settings::ScanConfigs record = Record(kUid, u"e", u"n", kRoot);
  record.clear_config_string();
  EXPECT_TRUE(importer_->ImportScanConfigs(record, kUid));
  service_.Stop();

  Tokens expected(38, u"0");
  expected.insert(expected.end(), 4, u"");
  expected.insert(expected.end(),
                  {u"/var/q/manual", u"/var/q/real time", u"/var/q/scheduled", u""});
  expected.insert(expected.end(), 16, u"");
  expected.push_back(u"0");
  for (const char16_t kind : kTailKinds) expected.push_back(kind == u's' ? u"" : u"0");
  ASSERT_EQ(expected.size(), 110u);
  ASSERT_EQ(service_.RequestsFor(u"DB_IMPORT").size(), 1u);
  EXPECT_EQ(ReadImportRequest(service_.RequestsFor(u"DB_IMPORT")[0]).config, expected);
  const DlpRequest dlp = ReadDlpRequest(service_.RequestsFor(kDbv2SetDlpCfg).at(0));
  EXPECT_EQ(dlp.dc.m_dwDCFlagIn, 0u);
  EXPECT_EQ(dlp.clc.m_sCompressLayerIn, 0);
  EXPECT_EQ(dlp.clc.m_strTemplateOut, u"");
}

TEST_F(ImportScanConfigsTest, NoDlpSettingsGoOutWhenTheConfigurationCouldNotBeSent) {
  // No service: the one-way send fails and the DLP exchange is not tried.
  EXPECT_FALSE(importer_->ImportScanConfigs(Record(kUid, u"e", u"n", kRoot, SourceConfig()), kUid));
  EXPECT_TRUE(Logged(2, u"error occured when calling dbImport()"));
  EXPECT_EQ(Logged(Line(u"Fail to send DB command")), 0u);
  EXPECT_FALSE(log_.Has(2, u"dbcl_Command", u"[dbSendAndRecv] PipeSendAndRecv Failed! err=2"));
  EXPECT_TRUE(Logged(68, Line(u"<=ImportScanConfigs()")));
}

TEST_F(ImportScanConfigsTest, AFailedDlpExchangeIsLogged) {
  service_.dlp_fails = true;
  service_.Start();
  EXPECT_FALSE(importer_->ImportScanConfigs(Record(kUid, u"e", u"n", kRoot, SourceConfig()), kUid));
  service_.Stop();
  EXPECT_EQ(service_.requests().size(), 2u);
  EXPECT_TRUE(Logged(70, Line(u"Fail to send DB command")));
}

TEST_F(ImportScanConfigsTest, ListsLongerThanTheDatabaseContainerAreSentWhole) {
  // 1,100 entries, more than the 1,024 of the older versions' database
  // query; written with leading zeros, so that each is seen to be sent as a
  // number of its own.
  Tokens source_list = {u"1100"};
  Tokens sent_list = {u"1100"};
  for (int n = 1; n <= 1100; ++n) {
    source_list.push_back(u"0" + Number(70000 + n));
    sent_list.push_back(Number(70000 + n));
  }
  service_.Start();
  const SKVA_Server_Settings::ScanConfigs record =
      Record(kUid, u"e", u"n", kRoot, SourceConfig(source_list));
  EXPECT_TRUE(importer_->ImportScanConfigs(record, kUid));
  service_.Stop();

  const auto imports = service_.RequestsFor(u"DB_IMPORT");
  ASSERT_EQ(imports.size(), 1u);
  const Tokens sent = ReadImportRequest(imports[0]).config;
  ASSERT_EQ(sent.size(), 110u + 1100u);
  EXPECT_EQ(sent[62], u"1100");
  EXPECT_EQ(sent[63], u"70001");
  EXPECT_EQ(sent[63 + 1099], u"71100");
  EXPECT_EQ(sent[63 + 1100], u"T1");
  EXPECT_EQ(sent, ExpectedConfig(sent_list));
  // The tail after the list is found: the DLP settings come from it.
  const DlpRequest dlp = ReadDlpRequest(service_.RequestsFor(kDbv2SetDlpCfg).at(0));
  EXPECT_EQ(dlp.dc.m_dwDCFlagIn, 116u);
  EXPECT_EQ(dlp.clc.m_sCompressLayerIn, -1);
  EXPECT_EQ(dlp.clc.m_strTemplateOut, u"T47");
  EXPECT_EQ(importer_->summary().domains_without_config, 0);
}

TEST_F(ImportScanConfigsTest, AListCountAboveTheTokensThatFollowIsADamagedRecord) {
  // Three entries and the 47 tail tokens follow the count, so 52 tokens
  // follow with the two past the tail: a count of 52 can be read, 53 cannot.
  Tokens largest = {u"52", u"7", u"-2", u"x"};
  Tokens one_more = {u"53", u"7", u"-2", u"x"};
  Tokens fixed_only(62, u"0");
  fixed_only.push_back(u"2000000000");
  Tokens all_ones(62, u"0");
  all_ones.insert(all_ones.end(), {u"-1", u"1", u"2"});  // 4294967295 entries

  service_.Start();
  EXPECT_TRUE(
      importer_->ImportScanConfigs(Record(kUid, u"e", u"n", kRoot, SourceConfig(largest)), kUid));
  EXPECT_FALSE(importer_->ImportScanConfigs(
      Record(kUid, u"Sales", u"n", kRoot, SourceConfig(one_more)), kUid));
  EXPECT_FALSE(importer_->ImportScanConfigs(Record(kUid, u"Ops", u"n", kRoot, fixed_only), kUid));
  EXPECT_FALSE(importer_->ImportScanConfigs(Record(kUid, u"Hr", u"n", kRoot, all_ones), kUid));
  service_.Stop();

  // Only the readable record was sent, its DLP settings with it.
  const auto imports = service_.RequestsFor(u"DB_IMPORT");
  ASSERT_EQ(imports.size(), 1u);
  EXPECT_EQ(ReadImportRequest(imports[0]).config.size(), 62u + 1 + 52 + 47);
  EXPECT_EQ(service_.RequestsFor(kDbv2SetDlpCfg).size(), 1u);
  EXPECT_EQ(service_.requests().size(), 2u);

  EXPECT_EQ(importer_->summary().domains_without_config, 3);
  EXPECT_EQ(importer_->summary().domains_not_imported, 0);
  EXPECT_TRUE(importer_->summary().anything_left_out());
  const std::u16string tail =
      u"; the record is damaged and neither its scan configuration nor its DLP settings are "
      u"imported";
  EXPECT_TRUE(Logged(69, Line(std::u16string(u"domain Sales (") + kUid +
                              u"): the spyware white list count 53 is above the 52 tokens that "
                              u"follow it" +
                              tail)));
  EXPECT_TRUE(Logged(69, Line(std::u16string(u"domain Ops (") + kUid +
                              u"): the spyware white list count 2000000000 is above the 0 tokens "
                              u"that follow it" +
                              tail)));
  EXPECT_TRUE(Logged(69, Line(std::u16string(u"domain Hr (") + kUid +
                              u"): the spyware white list count 4294967295 is above the 2 tokens "
                              u"that follow it" +
                              tail)));
  EXPECT_EQ(Logged(Line(u"<=ImportScanConfigs()")), 4u);
}

TEST_F(ImportScanConfigsTest, ADamagedRecordStillCreatesItsDomain) {
  Tokens damaged(62, u"0");
  damaged.push_back(u"5");
  service_.Start();
  EXPECT_TRUE(importer_->ImportToDB(Record(kUid, u"Sales", u"Sales", kRoot, damaged)));
  service_.Stop();
  EXPECT_EQ(service_.RequestsFor(kDbv2ClientOnStart).size(), 1u);
  EXPECT_EQ(service_.RequestsFor(kDbSetDomainUid).size(), 1u);
  EXPECT_TRUE(service_.RequestsFor(u"DB_IMPORT").empty());
  EXPECT_TRUE(service_.RequestsFor(kDbv2SetDlpCfg).empty());
  EXPECT_EQ(importer_->summary().domains_without_config, 1);
}

}  // namespace
}  // namespace import_testing
