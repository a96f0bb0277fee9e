#include "ini/Portelle_Ini_Util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbclient/testing/pipe_test_peer.h"
#include "platform/profile.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace util_HelperFunctions {
namespace {

// Real INI files in a fresh folder; the log lines go to a pipe folder of the
// test's own, where no log service listens.
class IniUtilTest : public ::testing::Test {
 protected:
  IniUtilTest() : pipes_("BASTIONEL_PIPE_DIR", dir_.path() + "pipes") {}

  std::u16string Path(std::string_view name) const { return dir_.Wide(name); }

  // The value as the server would read it, "<missing>" when absent.
  static std::u16string Value(const std::u16string& file, const char16_t* section,
                              const char16_t* key) {
    std::vector<char16_t> buffer(4096);
    const uint32_t n =
        platform::GetPrivateProfileStringW(section, key, u"<missing>", buffer.data(),
                                           static_cast<uint32_t>(buffer.size()), file.c_str());
    return std::u16string(buffer.data(), n);
  }

  static std::vector<std::u16string> KeyNames(const std::u16string& file, const char16_t* section) {
    std::vector<char16_t> buffer(65536);
    const uint32_t n = platform::GetPrivateProfileStringW(
        section, nullptr, u"", buffer.data(), static_cast<uint32_t>(buffer.size()), file.c_str());
    std::vector<std::u16string> names;
    for (size_t pos = 0; pos < n;) {
      names.emplace_back(&buffer[pos]);
      pos += names.back().size() + 1;
    }
    return names;
  }

  testing_support::TempFolder dir_;
  testing_support::ScopedEnvironmentVariable pipes_;
};

TEST_F(IniUtilTest, SectionCopyReplacesWhileValueCopyMerges) {
  dir_.Write("bsnscan.ini", "[S]\r\na=1\r\nb=2\r\n");
  const std::string dest = "[S]\r\na=0\r\nextra=x\r\n\r\n[T]\r\nt=1\r\n";
  dir_.Write("section.ini", dest);
  dir_.Write("values.ini", dest);

  EXPECT_TRUE(DuplicateIniSection(Path("bsnscan.ini"), u"S", Path("section.ini")));
  EXPECT_EQ(dir_.Read("section.ini"), "[S]\r\na=1\r\nb=2\r\n\r\n[T]\r\nt=1\r\n");

  DuplicateIniValues(Path("bsnscan.ini"), u"s", Path("values.ini"));
  EXPECT_EQ(dir_.Read("values.ini"), "[S]\r\na=1\r\nextra=x\r\nb=2\r\n\r\n[T]\r\nt=1\r\n");

  EXPECT_TRUE(DuplicateIniSection(Path("bsnscan.ini"), u"S", Path("new.ini")));
  EXPECT_EQ(dir_.Read("new.ini"), "[S]\r\na=1\r\nb=2\r\n");
}

TEST_F(IniUtilTest, MissingOrEmptySourceSectionLeavesTheDestinationAlone) {
  dir_.Write("bsnscan.ini", "[Other]\r\nk=v\r\n[Empty]\r\n");
  const std::string dest = "[Empty]\r\nkeep=1\r\n[Gone]\r\nkeep=2\r\n";
  dir_.Write("tmp.ini", dest);
  for (const char16_t* section : {u"Gone", u"Empty"}) {
    EXPECT_TRUE(DuplicateIniSection(Path("bsnscan.ini"), section, Path("tmp.ini")));
    DuplicateIniValues(Path("bsnscan.ini"), section, Path("tmp.ini"));
    EXPECT_TRUE(DuplicateIniSection(Path("absent.ini"), section, Path("tmp.ini")));
  }
  EXPECT_EQ(dir_.Read("tmp.ini"), dest);
  DuplicateIniValues(Path("bsnscan.ini"), u"Gone", Path("new.ini"));
  EXPECT_FALSE(dir_.Exists("new.ini"));
}

TEST_F(IniUtilTest, FailedSectionWriteIsReported) {
  dir_.Write("bsnscan.ini", "[S]\r\na=1\r\n");
  EXPECT_FALSE(DuplicateIniSection(Path("bsnscan.ini"), u"S", Path("missing\\tmp.ini")));
}

// 40 keys of 1,000-character names: the section and its name list both
// overflow the 32,767-unit buffers; the name list holds 32 whole names and
// a broken-off 33rd.
TEST_F(IniUtilTest, SectionLargerThanTheBuffers) {
  std::string big = "[Big]\r\n";
  std::vector<std::u16string> names;
  for (int i = 0; i < 40; ++i) {
    const std::string number = (i < 10 ? "0" : "") + std::to_string(i);
    const std::string name = "key" + number + std::string(995, 'x');
    big += name + "=v" + number + "\r\n";
    names.emplace_back(name.begin(), name.end());
  }
  dir_.Write("bsnscan.ini", big);
  const std::string dest = "[Big]\r\nold=1\r\n";
  dir_.Write("tmp.ini", dest);

  EXPECT_FALSE(DuplicateIniSection(Path("bsnscan.ini"), u"Big", Path("tmp.ini")));
  EXPECT_EQ(dir_.Read("tmp.ini"), dest);
  EXPECT_FALSE(DuplicateIniSection(Path("bsnscan.ini"), u"Big", Path("new.ini")));
  EXPECT_FALSE(dir_.Exists("new.ini"));

  // The whole names arrive with their values; the broken-off one is not
  // turned into a key of its own.
  DuplicateIniValues(Path("bsnscan.ini"), u"Big", Path("tmp.ini"));
  std::vector<std::u16string> expected = {u"old"};
  expected.insert(expected.end(), names.begin(), names.begin() + 32);
  EXPECT_EQ(KeyNames(Path("tmp.ini"), u"Big"), expected);
  EXPECT_EQ(Value(Path("tmp.ini"), u"Big", names[31].c_str()), u"v31");
}

TEST_F(IniUtilTest, LongValuesAreCutTo1023Characters) {
  const std::string value(1500, 'x');
  dir_.Write("bsnscan.ini", "[S]\r\nlong=" + value + "\r\n");
  const std::string expected = "[S]\r\nlong=" + value.substr(0, 1023) + "\r\n";

  DuplicateIniValues(Path("bsnscan.ini"), u"S", Path("values.ini"));
  EXPECT_EQ(dir_.Read("values.ini"), expected);
  DuplicateIniKeyValue(Path("bsnscan.ini"), u"S", u"long", u"", Path("key.ini"));
  EXPECT_EQ(dir_.Read("key.ini"), expected);
}

TEST_F(IniUtilTest, KeyValueIsAlwaysWritten) {
  dir_.Write("bsnscan.ini", "[Global Setting]\r\nECSP=0\r\n");
  const std::u16string src = Path("bsnscan.ini");
  const std::u16string dest = Path("tmp.ini");

  DuplicateIniKeyValue(src, u"Global Setting", u"Missing", u"1", dest);
  DuplicateIniKeyValue(src, u"Global Setting", u"NoDefault", u"", dest);
  EXPECT_TRUE(
      DuplicateIniKeyValue(src, u"Global Setting", u"ECSP", u"1", dest, u"INI_CLIENT_SECTION"));
  DuplicateIniKeyValue(src, u"Global Setting", u"SP_EnableFileProtection", u"1", dest,
                       u"INI_CLIENT_SECTION");
  WriteIniInt(u"INI_CLIENT_SECTION", u"Negative", -1, dest);
  EXPECT_EQ(dir_.Read("tmp.ini"),
            "[Global Setting]\r\nMissing=1\r\nNoDefault=\r\n"
            "[INI_CLIENT_SECTION]\r\nECSP=0\r\nSP_EnableFileProtection=1\r\nNegative=-1\r\n");
}

TEST(NewGuidTextTest, LowerCaseVersion4TextThatDiffersEachTime) {
  const std::u16string first = NewGuidText();
  ASSERT_EQ(first.size(), 36u);
  for (size_t i = 0; i < first.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      EXPECT_EQ(first[i], u'-') << i;
    } else {
      EXPECT_TRUE((first[i] >= u'0' && first[i] <= u'9') || (first[i] >= u'a' && first[i] <= u'f'))
          << i;
    }
  }
  EXPECT_EQ(first[14], u'4');
  EXPECT_NE(NewGuidText(), first);
}

TEST_F(IniUtilTest, WtpMigrationBuildsTheFlagWords) {
  struct Case {
    const char* src;
    const char* in_flag;
    const char* out_flag;
  };
  const Case cases[] = {
      {"URLFilterEnable_InOffice=1\r\nURLFilterLogEnable_InOffice=0\r\n", "9", "8"},
      {"URLFilterEnable_InOffice=1\r\nURLFilterLogEnable_InOffice=1\r\n"
       "URLFilterEnable_OutOffice=0\r\nURLFilterLogEnable_OutOffice=2\r\n",
       "25", "24"},
  };
  for (const Case& c : cases) {
    // The source's own flag words are not what the conversion writes.
    dir_.Write("bsnscan.ini", std::string("[URL_FILTER_INI_SECTION]\r\n") + c.src +
                                  "URLFilterCfgFlag_InOffice=77\r\n");
    dir_.Write("tmp.ini", "");
    DuplicateWtpValues(Path("bsnscan.ini"), Path("tmp.ini"), true);
    EXPECT_EQ(dir_.Read("tmp.ini"),
              std::string("[URL_FILTER_INI_SECTION]\r\nURLFilterCfgFlag_InOffice=") + c.in_flag +
                  "\r\nURLFilterCfgFlag_OutOffice=" + c.out_flag +
                  "\r\nURLFilterRatingLevel_InOffice=1\r\nURLFilterRatingLevel_OutOffice=1\r\n"
                  "URLFilterQueryMode_InOffice=0\r\n");
  }
}

TEST_F(IniUtilTest, WtpWithoutMigrationCopiesTheFlagWords) {
  dir_.Write("bsnscan.ini",
             "[URL_FILTER_INI_SECTION]\r\nURLFilterEnable_InOffice=1\r\n"
             "URLFilterCfgFlag_InOffice=25\r\nURLFilterRatingLevel_InOffice=3\r\n"
             "URLFilterQueryMode_InOffice=2\r\nURLFilterQueryMode_OutOffice=5\r\n");
  DuplicateWtpValues(Path("bsnscan.ini"), Path("tmp.ini"), false);
  EXPECT_EQ(dir_.Read("tmp.ini"),
            "[URL_FILTER_INI_SECTION]\r\nURLFilterCfgFlag_InOffice=25\r\n"
            "URLFilterCfgFlag_OutOffice=0\r\nURLFilterRatingLevel_InOffice=3\r\n"
            "URLFilterRatingLevel_OutOffice=1\r\nURLFilterQueryMode_InOffice=2\r\n");
}

TEST_F(IniUtilTest, WtpListsCopyTheirCountedEntries) {
  std::string src = "[URL_FILTER_INI_SECTION]\r\nURLFilterAWSLCount_InOffice=12\r\n";
  for (int i = 0; i <= 12; ++i) {
    if (i == 5) continue;  // a gap in the numbering arrives as an empty entry
    const std::string number = (i < 10 ? "00" : "0") + std::to_string(i);
    src += "URLFilterAWSL_InOffice" + number + "=site" + std::to_string(i) + "\r\n";
  }
  src += "URLFilterBlackListCount_OutOffice=1\r\nURLFilterBlackList_OutOffice000=bad\r\n";
  dir_.Write("bsnscan.ini", src);
  DuplicateWtpValues(Path("bsnscan.ini"), Path("tmp.ini"), false);

  const std::u16string dest = Path("tmp.ini");
  const char16_t* section = u"URL_FILTER_INI_SECTION";
  std::vector<std::u16string> expected = {
      u"URLFilterCfgFlag_InOffice",     u"URLFilterCfgFlag_OutOffice",
      u"URLFilterRatingLevel_InOffice", u"URLFilterRatingLevel_OutOffice",
      u"URLFilterQueryMode_InOffice",   u"URLFilterAWSLCount_InOffice"};
  for (const char16_t* number : {u"000", u"001", u"002", u"003", u"004", u"005", u"006", u"007",
                                 u"008", u"009", u"010", u"011"}) {
    expected.push_back(std::u16string(u"URLFilterAWSL_InOffice") + number);
  }
  expected.push_back(u"URLFilterBlackListCount_OutOffice");
  expected.push_back(u"URLFilterBlackList_OutOffice000");
  EXPECT_EQ(KeyNames(dest, section), expected);
  EXPECT_EQ(Value(dest, section, u"URLFilterAWSLCount_InOffice"), u"12");
  EXPECT_EQ(Value(dest, section, u"URLFilterAWSL_InOffice011"), u"site11");
  EXPECT_EQ(Value(dest, section, u"URLFilterAWSL_InOffice005"), u"");
  EXPECT_EQ(Value(dest, section, u"URLFilterBlackList_OutOffice000"), u"bad");
}

// An empty source list keeps the destination's web-threat list, but the
// device-control counts are written whatever they are.
TEST_F(IniUtilTest, ZeroCountsKeepUrlListsButResetDeviceControlCounts) {
  dir_.Write("bsnscan.ini",
             "[URL_FILTER_INI_SECTION]\r\nURLFilterAWSLCount_InOffice=0\r\n"
             "URLFilterBlackListCount_InOffice=-1\r\n"
             "[VIGIL_DACPolicy]\r\nCount=0\r\n");
  std::string list = "[URL_FILTER_INI_SECTION]\r\n";
  for (const std::string& kind : {std::string("AWSL"), std::string("BlackList")}) {
    list += "URLFilter" + kind + "Count_InOffice=5\r\n";
    for (int i = 0; i < 5; ++i) {
      list += "URLFilter" + kind + "_InOffice00" + std::to_string(i) + "=e" + std::to_string(i) +
              "\r\n";
    }
  }
  dir_.Write("tmp.ini", list + "[VIGIL_DACPolicy]\r\nCount=5\r\nCountOut=5\r\n");

  DuplicateWtpValues(Path("bsnscan.ini"), Path("tmp.ini"), false);
  DuplicateDeviceControlValues(Path("bsnscan.ini"), Path("tmp.ini"));
  const std::string after = dir_.Read("tmp.ini");
  EXPECT_EQ(after.substr(0, list.size()), list);
  const std::u16string dest = Path("tmp.ini");
  EXPECT_EQ(Value(dest, u"VIGIL_DACPolicy", u"Count"), u"0");
  EXPECT_EQ(Value(dest, u"VIGIL_DACPolicy", u"CountOut"), u"0");
  EXPECT_EQ(Value(dest, u"DAC_APPROVED_LIST", u"CountOut"), u"0");
}

TEST_F(IniUtilTest, DeviceControlWritesEveryValueAlsoAsItsOutForm) {
  dir_.Write("bsnscan.ini",
             "[VIGIL_DACPolicy]\r\nCount=2\r\nPopAlert=0\r\nPolicyId0=p0\r\nAction0=a0\r\n"
             "Enable0=1\r\nPolicyId1=p1\r\nAction1=a1\r\nPolicyId2=not counted\r\n"
             "[DAC_EXECUTABLE_LIST]\r\nCount=1\r\nItem0=C:\\run.exe\r\nType0=3\r\n");
  DuplicateDeviceControlValues(Path("bsnscan.ini"), Path("tmp.ini"));
  EXPECT_EQ(dir_.Read("tmp.ini"),
            "[VIGIL_DACPolicy]\r\nCount=2\r\nCountOut=2\r\nEnable=1\r\nEnableOut=1\r\n"
            "PopAlert=0\r\nPopAlertOut=0\r\n"
            "PolicyId0=p0\r\nPolicyIdOut0=p0\r\nAction0=a0\r\nActionOut0=a0\r\n"
            "Enable0=1\r\nEnableOut0=1\r\n"
            "PolicyId1=p1\r\nPolicyIdOut1=p1\r\nAction1=a1\r\nActionOut1=a1\r\n"
            "Enable1=\r\nEnableOut1=\r\n"
            "[DAC_EXECUTABLE_LIST]\r\nCount=1\r\nCountOut=1\r\n"
            "Item0=C:\\run.exe\r\nItemOut0=C:\\run.exe\r\nType0=3\r\nTypeOut0=3\r\n"
            "[DAC_APPROVED_LIST]\r\nCount=0\r\nCountOut=0\r\n");
}

TEST_F(IniUtilTest, DeviceControlNumbersAreNotZeroFilled) {
  std::string src = "[DAC_APPROVED_LIST]\r\nCount=11\r\n";
  for (int i = 0; i < 11; ++i)
    src += "Item" + std::to_string(i) + "=app" + std::to_string(i) + "\r\n";
  dir_.Write("bsnscan.ini", src);
  DuplicateDeviceControlValues(Path("bsnscan.ini"), Path("tmp.ini"));
  const std::u16string dest = Path("tmp.ini");
  EXPECT_EQ(Value(dest, u"DAC_APPROVED_LIST", u"Item10"), u"app10");
  EXPECT_EQ(Value(dest, u"DAC_APPROVED_LIST", u"ItemOut10"), u"app10");
  EXPECT_EQ(Value(dest, u"DAC_APPROVED_LIST", u"ItemOut3"), u"app3");
  EXPECT_EQ(KeyNames(dest, u"DAC_APPROVED_LIST").size(), 2u + 22);
}

// A count far beyond the entries its section holds, as a damaged or crafted
// file has it, copies the entries up to the highest one present (the gaps
// below it as empty values) and writes that number as the count.
TEST_F(IniUtilTest, WtpCountsStopAtTheHighestEntryPresent) {
  dir_.Write("bsnscan.ini",
             "[URL_FILTER_INI_SECTION]\r\nURLFilterBlackListCount_InOffice=2000000000\r\n"
             "URLFilterBlackList_InOffice000=a\r\nURLFilterBlackList_InOffice002=c\r\n"
             "urlfilterblacklist_inoffice004=e\r\n"
             // Names the copy never reads: a fourth digit, another list.
             "URLFilterBlackList_InOffice0100=x\r\nURLFilterBlackList_OutOffice009=y\r\n");
  DuplicateWtpValues(Path("bsnscan.ini"), Path("tmp.ini"), false);
  EXPECT_EQ(dir_.Read("tmp.ini"),
            "[URL_FILTER_INI_SECTION]\r\nURLFilterCfgFlag_InOffice=0\r\n"
            "URLFilterCfgFlag_OutOffice=0\r\nURLFilterRatingLevel_InOffice=1\r\n"
            "URLFilterRatingLevel_OutOffice=1\r\nURLFilterQueryMode_InOffice=0\r\n"
            "URLFilterBlackListCount_InOffice=5\r\n"
            "URLFilterBlackList_InOffice000=a\r\nURLFilterBlackList_InOffice001=\r\n"
            "URLFilterBlackList_InOffice002=c\r\nURLFilterBlackList_InOffice003=\r\n"
            "URLFilterBlackList_InOffice004=e\r\n");
}

TEST_F(IniUtilTest, DeviceControlCountsStopAtTheHighestEntryPresent) {
  dir_.Write("bsnscan.ini",
             "[VIGIL_DACPolicy]\r\nCount=2000000000\r\nEnable=0\r\n"
             "[DAC_EXECUTABLE_LIST]\r\nCount=2000000000\r\nItem0=a.exe\r\ntype2=1\r\n"
             "ItemOut9=out form\r\nItem05=filled\r\nType=plain\r\n"
             "[DAC_APPROVED_LIST]\r\nCount=-3\r\nItem4=negative counts stay\r\n");
  DuplicateDeviceControlValues(Path("bsnscan.ini"), Path("tmp.ini"));
  EXPECT_EQ(dir_.Read("tmp.ini"),
            "[VIGIL_DACPolicy]\r\nCount=0\r\nCountOut=0\r\nEnable=0\r\nEnableOut=0\r\n"
            "PopAlert=1\r\nPopAlertOut=1\r\n"
            "[DAC_EXECUTABLE_LIST]\r\nCount=3\r\nCountOut=3\r\n"
            "Item0=a.exe\r\nItemOut0=a.exe\r\nType0=\r\nTypeOut0=\r\n"
            "Item1=\r\nItemOut1=\r\nType1=\r\nTypeOut1=\r\n"
            "Item2=\r\nItemOut2=\r\nType2=1\r\nTypeOut2=1\r\n"
            "[DAC_APPROVED_LIST]\r\nCount=-3\r\nCountOut=-3\r\n");
}

// The same lists with the log service listening.
class ListCountTest : public dbclient_testing::PipeFolderTest {
 protected:
  std::u16string Write(const std::string& text) {
    dir_.Write("list.ini", text);
    return dir_.Wide("list.ini");
  }
  bool Logged(const std::u16string& message) {
    return log_.Has(69, u"Portelle_Ini_Util",
                    u"util_HelperFunctions::BoundedListCount - " + message);
  }

  dbclient_testing::LogRecorder log_;
};

TEST_F(ListCountTest, NoListIsCopiedBeyondTheCeiling) {
  const NumberedKeys items[] = {{u"Item", 0}};
  const std::u16string file = Write("[L]\r\nItem1500000=far\r\nItem999999=near\r\n");
  EXPECT_EQ(BoundedListCount(file, u"L", u"Count", 2000000000, 0, items), 1000000);
  EXPECT_TRUE(Logged(u"[L] Count = 2000000000 in " + file +
                     u": no server holds more than 1000000 entries, only these are copied"));
  // A count the entries bear out is taken up to the ceiling itself.
  EXPECT_EQ(BoundedListCount(file, u"L", u"Count", 1000000, 0, items), 1000000);
  EXPECT_EQ(BoundedListCount(file, u"L", u"Count", 1000001, 0, items), 1000000);
  EXPECT_FALSE(Logged(u"[L] Count = 1000000 in " + file +
                      u": no server holds more than 1000000 entries, only these are copied"));
  EXPECT_TRUE(Logged(u"[L] Count = 1000001 in " + file +
                     u": no server holds more than 1000000 entries, only these are copied"));
}

TEST_F(ListCountTest, ACountAboveTheEntriesIsCutAndLogged) {
  const NumberedKeys keys[] = {{u"PolicyId", 0}, {u"Action", 0}};
  const std::u16string file = Write("[L]\r\nPolicyId0=a\r\nAction6=b\r\nPolicyId10=\r\n");
  EXPECT_EQ(BoundedListCount(file, u"L", u"Count", 2000000000, 0, keys), 11);
  EXPECT_TRUE(Logged(u"[L] Count = 2000000000 in " + file +
                     u", but no entry is numbered above 10: 11 entries are copied"));
  // Counts the entries bear out, and counts of none, stay as they are.
  EXPECT_EQ(BoundedListCount(file, u"L", u"Count", 11, 0, keys), 11);
  EXPECT_EQ(BoundedListCount(file, u"L", u"Count", 4, 0, keys), 4);
  EXPECT_EQ(BoundedListCount(file, u"L", u"Count", 0, 0, keys), 0);
  EXPECT_EQ(BoundedListCount(file, u"L", u"Count", -7, 0, keys), -7);
  EXPECT_EQ(log_.records().size(), 1u);
  // A list without entries keeps the count of a file without the key.
  EXPECT_EQ(BoundedListCount(file, u"Missing", u"Count", 2000000000, 1, keys), 1);
  EXPECT_TRUE(Logged(u"[Missing] Count = 2000000000 in " + file +
                     u", but the section holds no entry: 1 entries are copied"));
  EXPECT_EQ(BoundedListCount(file, u"Missing", u"Count", 1, 1, keys), 1);
}

// The entries are found however many keys the section holds: a list of
// 3,000 keys does not fit the 32,767-unit name list of the value copy.
TEST_F(ListCountTest, EntriesBeyondOneNameListAreFound) {
  const NumberedKeys keys[] = {{u"URLFilterBlackList_InOffice", 3}};
  std::string text = "[L]\r\n";
  for (int i = 1000; i < 4000; ++i) {
    text += "URLFilterBlackList_InOffice" + std::to_string(i) + "=\r\n";
  }
  const std::u16string file = Write(text);
  EXPECT_EQ(BoundedListCount(file, u"L", u"Count", 2000000000, 0, keys), 4000);
}

}  // namespace
}  // namespace util_HelperFunctions
