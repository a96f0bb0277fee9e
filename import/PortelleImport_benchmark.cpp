// The domain import (AddDomains and ImportScanConfigs for every record) of a
// package of many domains with a full configuration each, into a database
// service peer of this process that knows no domain yet and answers at once.
// Every domain takes three exchanges with a reply and two one-way sends over
// real sockets. No log service runs, so the log lines are dropped as on a
// server without debug logging. The peer's work is part of the time.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "import/PortelleImport.h"
#include "import/testing/ImportTestSupport.h"
#include "platform/file_system.h"
#include "platform/format.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace {

using import_testing::Tokens;

// A configuration of the size a server holds: lists of a few hundred
// characters, ten spyware white-list entries.
Tokens Configuration() {
  Tokens tokens(38, u"4294967295");
  tokens.emplace_back(u"*.exe;*.dll;*.com;*.bat;*.cmd;*.vbs;*.js;*.doc;*.docx;*.xls;*.xlsx");
  for (int p = 40; p <= 62; ++p) tokens.emplace_back(100, u'x');
  tokens.emplace_back(u"10");
  for (int i = 0; i < 10; ++i) tokens.push_back(platform::Format(u"%d", 1000 + i));
  for (int t = 1; t <= 47; ++t) tokens.push_back(platform::Format(u"%d", t));
  return tokens;
}

void BM_ImportDomains(benchmark::State& state) {
  const int domains = static_cast<int>(state.range(0));
  testing_support::TempFolder dir;
  dir.MakeFolder("server");
  dir.MakeFolder("pipes");
  dir.Write("server/bsnscan.ini",
            "[Manual Scan Configuration]\r\nMoveDir=/var/q/manual\r\n"
            "[Real Time Scan Configuration]\r\nMoveDir=/var/q/real\r\n");
  testing_support::ScopedEnvironmentVariable pipes("BASTIONEL_PIPE_DIR", dir.path() + "pipes");
  std::u16string previous;
  platform::GetCurrentFolder(&previous);
  platform::SetCurrentFolder(dir.wpath());

  std::vector<SKVA_Server_Settings::ScanConfigs> records;
  const Tokens config = Configuration();
  for (int i = 0; i < domains; ++i) {
    const std::u16string uid = platform::Format(u"3f2504e0-4f89-41d3-9a0c-%012d", i);
    records.push_back(import_testing::Record(uid, platform::Format(u"Domain %d", i),
                                             platform::Format(u"Company\\Domain %d", i),
                                             import_testing::kRoot, config));
  }

  for (auto _ : state) {
    import_testing::FakeDatabaseService service;
    service.keep_requests = false;
    service.Start();
    CImportSkvaSettings importer(dir.Wide("server/"));
    for (const auto& record : records) importer.ImportToDB(record);
    service.Stop();
    state.PauseTiming();
    if (service.received[u"DB_IMPORT"] != records.size()) {
      state.SkipWithError("not every domain was imported");
    }
    state.ResumeTiming();
  }
  platform::SetCurrentFolder(previous);

  state.counters["ms_per_domain"] = benchmark::Counter(
      static_cast<double>(domains) * 1e-3,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_mb"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_ImportDomains)
    ->Arg(1000)
    ->Arg(10000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
