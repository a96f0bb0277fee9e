// Writing and reading back a stream shaped like a domain's scan-configuration
// string, as every migrater and the import do once per domain: 38 numbers,
// 24 texts, an empty counted list, then the 47 tail tokens.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "dbclient/CmdProtocol.h"

namespace {

enum class Kind { kDword, kText, kWord };

// The tail after the counted list, in order.
constexpr struct {
  Kind kind;
  int count;
} kTail[] = {
    {Kind::kText, 2},  {Kind::kDword, 1}, {Kind::kText, 3},  {Kind::kDword, 5}, {Kind::kText, 4},
    {Kind::kDword, 4}, {Kind::kText, 2},  {Kind::kDword, 2}, {Kind::kText, 2},  {Kind::kDword, 4},
    {Kind::kWord, 2},  {Kind::kDword, 2}, {Kind::kText, 14},
};

const std::u16string kText = u"*.exe;*.dll;*.com;*.";  // 20 characters

void BM_ScanConfigurationRoundTrip(benchmark::State& state) {
  for (auto _ : state) {
    CCmdProtocol writer;
    for (uint32_t i = 0; i < 38; ++i) writer.AppendDword(i * 40503u);
    for (int i = 0; i < 24; ++i) writer.AppendToken(kText);
    writer.AppendInt(0);
    for (const auto& run : kTail) {
      for (int i = 0; i < run.count; ++i) {
        if (run.kind == Kind::kText) writer.AppendToken(kText);
        if (run.kind == Kind::kDword) writer.AppendDword(4294967295u);
        if (run.kind == Kind::kWord) writer.AppendWord(3);
      }
    }

    CCmdProtocol reader(writer.GetString(), static_cast<uint32_t>(writer.GetLength() * 2));
    uint32_t dword = 0;
    uint16_t word = 0;
    int32_t count = 0;
    std::u16string text;
    for (int i = 0; i < 38; ++i) reader.ReadDword(dword);
    for (int i = 0; i < 24; ++i) reader.NextToken(text);
    reader.ReadInt(count);
    for (const auto& run : kTail) {
      for (int i = 0; i < run.count; ++i) {
        if (run.kind == Kind::kText) reader.NextToken(text);
        if (run.kind == Kind::kDword) reader.ReadDword(dword);
        if (run.kind == Kind::kWord) reader.ReadWord(word);
      }
    }
    benchmark::DoNotOptimize(dword);
    benchmark::DoNotOptimize(word);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_ScanConfigurationRoundTrip);

}  // namespace

BENCHMARK_MAIN();
