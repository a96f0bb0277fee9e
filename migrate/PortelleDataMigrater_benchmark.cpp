// MigrateDBData of every migrater on a configuration of the size a server
// holds (a few hundred characters of extension and exclusion lists, ten
// spyware white-list entries), with fixed database answers and an unchanged
// bsnscan.ini whose approved lists hold five enciphered entries per side.
// No log service runs, so the log lines are dropped as on a server without
// debug logging.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "migrate/IMigraterDatabase.h"
#include "migrate/PortelleDataMigrater.h"
#include "migrate/StoredValueCipher.h"
#include "platform/format.h"
#include "platform/text.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace {

class FixedDatabase : public IMigraterDatabase {
 public:
  bool GetStatus(const std::u16string&, int32_t* status) override {
    *status = 0x401;
    return true;
  }
  bool GetSpywareWhiteList(const std::u16string&, std::vector<int32_t>* entries,
                           int32_t* count) override {
    entries->assign({11, 12, 13, 14, 15, 16, 17, 18, 19, 20});
    *count = 10;
    return true;
  }
  bool GetDestScanType(const std::u16string&, uint32_t* type) override {
    *type = 2;
    return true;
  }
  bool GetServiceSwitch(const std::u16string&, uint32_t* first, int32_t* second,
                        int32_t* third) override {
    *first = 7;
    *second = 1;
    *third = 0;
    return true;
  }
};

std::string MainIni() {
  std::string ini =
      "[INI_PROGRAM_VERSION_SECTION]\r\nServicePack_Version=1\r\n"
      "[Global Setting]\r\nOleLayer=3\r\nWatchDogOnOff=1\r\nECSP=1\r\n"
      "[URL_FILTER_INI_SECTION]\r\nURLFilterEnable_InOffice=1\r\nURLFilterRatingLevel_InOffice="
      "2\r\n"
      "URLFilterAWSLCount_InOffice=5\r\nURLFilterAWSLCount_OutOffice=5\r\n";
  for (int i = 0; i < 5; ++i) {
    const std::string site = platform::FormatA("site%d.example.com", i);
    ini += platform::FormatA("URLFilterAWSL_InOffice%03d=%s\r\n", i,
                             stored_value::EncipherStoredValue(site).c_str());
    ini += platform::FormatA("URLFilterAWSL_OutOffice%03d=%s\r\n", i,
                             stored_value::EncipherStoredValue(site).c_str());
  }
  return ini;
}

// A configuration of `numbers` numeric tokens, the string groups, `list`
// entries and `tail` tokens, joined by TAB, as UTF-16LE bytes.
std::string Source(int numbers, int list, int tail) {
  const std::u16string extensions =
      u"EXE,COM,DLL,SYS,DRV,OCX,SCR,CPL,BAT,CMD,VBS,JS,WSF,HTA,"
      u"MSI,MSP,DOC,DOCX,XLS,XLSX,PPT,PPTX,PDF,RTF,ZIP,RAR,7Z,CAB";
  std::u16string text;
  for (int i = 0; i < numbers; ++i) text += platform::Format(u"%d\t", 16384 + i);
  for (int i = 0; i < 24; ++i) {
    text += i < 4 ? extensions : platform::Format(u"C:\\Program Files\\App%d\\;D:\\Data%d\\", i, i);
    text += u'\t';
  }
  if (list >= 0) text += platform::Format(u"%d\t", list);
  for (int i = 0; i < list; ++i) text += platform::Format(u"%d\t", 100 + i);
  for (int i = 0; i < tail; ++i) text += platform::Format(u"%d\t", i);
  text.pop_back();
  return platform::TextToUtf16Le(text);
}

struct Version {
  double version;
  int32_t service_pack;
  int32_t patch;
  std::string source;
};

void BM_MigrateDBData(benchmark::State& state, Version v) {
  testing_support::TempFolder dir;
  testing_support::ScopedEnvironmentVariable pipes("BASTIONEL_PIPE_DIR", dir.path() + "pipes");
  dir.Write("bsnscan.ini", MainIni());
  FixedDatabase database;
  const std::unique_ptr<CDataMigrater> migrater =
      CreateDataMigrater(v.version, v.service_pack, v.patch, dir.wpath(), database);
  const std::u16string uid = u"6f1d2c3b-0a9e-4d7c-8b6a-5e4f3d2c1b0a";
  std::string result;
  for (auto _ : state) {
    migrater->MigrateDBData(v.source, &result, uid);
    benchmark::DoNotOptimize(result.data());
  }
}

// Source sizes of each version: the numeric tokens before the string
// groups (skipped ones included), the list (-1: none in the source) and the
// tokens after the string groups.
BENCHMARK_CAPTURE(BM_MigrateDBData, V8, Version{8.0, 0, 0, Source(32, -1, 11)})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MigrateDBData, V10, Version{10.0, 0, 0, Source(37, -1, 11 + 10 + 6)})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MigrateDBData, V10SP1, Version{10.0, 1, 0, Source(37, -1, 11 + 10 + 10)})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MigrateDBData, V105, Version{10.5, 0, 0, Source(31, -1, 14)})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MigrateDBData, V105_P1, Version{10.5, 0, 1, Source(33, -1, 14)})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MigrateDBData, V106, Version{10.6, 0, 0, Source(38, 10, 47)})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MigrateDBData, V106_SP1, Version{10.6, 1, 0, Source(38, 10, 47)})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
