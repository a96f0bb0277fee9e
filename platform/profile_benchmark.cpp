// Costs of the private-profile functions on a 5,000-line file: a value read
// from an unchanged file (the cache's hit path), a key written (parse-free
// edit, serialisation and atomic replace), a list of keys written in one
// write batch, and a full parse.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/format.h"
#include "platform/ini_document.h"
#include "platform/profile.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

// 100 sections of 49 keys each: 5,000 lines.
std::string FiveThousandLines() {
  std::string text;
  for (int s = 0; s < 100; ++s) {
    text += FormatA("[Section%d]\r\n", s);
    for (int k = 0; k < 49; ++k)
      text += FormatA("Key%d=value of key %d in section %d\r\n", k, k, s);
  }
  return text;
}

void BM_ReadValueFromUnchangedFile(benchmark::State& state) {
  testing_support::TempFolder dir;
  dir.Write("big.ini", FiveThousandLines());
  const std::u16string file = dir.Wide("big.ini");
  char16_t buffer[1024];
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        GetPrivateProfileStringW(u"Section57", u"Key31", u"", buffer, 1024, file.c_str()));
  }
}
BENCHMARK(BM_ReadValueFromUnchangedFile);

void BM_WriteKeyIntoFile(benchmark::State& state) {
  testing_support::TempFolder dir;
  dir.Write("big.ini", FiveThousandLines());
  const std::u16string file = dir.Wide("big.ini");
  int i = 0;
  for (auto _ : state) {
    const std::u16string value = Format(u"%d", ++i);  // a new value every time
    benchmark::DoNotOptimize(
        WritePrivateProfileStringW(u"Section57", u"Key31", value.c_str(), file.c_str()));
  }
}
BENCHMARK(BM_WriteKeyIntoFile)->Unit(benchmark::kMicrosecond);

// A counted list of range(0) keys written into a new section of the file in
// one write batch: the cost per key stays flat as the list grows.
void BM_WriteListInOneBatch(benchmark::State& state) {
  testing_support::TempFolder dir;
  const std::u16string file = dir.Wide("big.ini");
  const int keys = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    dir.Write("big.ini", FiveThousandLines());
    state.ResumeTiming();
    ProfileWriteBatch batch(file);
    for (int i = 0; i < keys; ++i) {
      const std::u16string key = Format(u"URLFilterAWSL_InOffice%03d", i);
      WritePrivateProfileStringW(u"URL_FILTER_INI_SECTION", key.c_str(), u"!CRYPT!0123456789ABCDEF",
                                 file.c_str());
    }
    benchmark::DoNotOptimize(batch.Commit());
  }
  state.SetItemsProcessed(state.iterations() * keys);
}
BENCHMARK(BM_WriteListInOneBatch)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ParseFile(benchmark::State& state) {
  const std::string bytes = FiveThousandLines();
  for (auto _ : state) {
    IniDocument document(bytes);
    benchmark::DoNotOptimize(&document);
  }
}
BENCHMARK(BM_ParseFile)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace platform

BENCHMARK_MAIN();
