// The cost of one DebugLog line while the log service is absent (the gate
// drops it) and while the stand-in service runs (one connection per line).
#include <benchmark/benchmark.h>

#include <string>

#include "log/DebugLog.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr char16_t kLogSource[] = u"PortelleImport";
constexpr char16_t kFunc[] = u"CImportSkvaSettings::ImportToIni";

void BM_LineDroppedWhileServiceAbsent(benchmark::State& state) {
  testing_support::TempFolder dir;
  testing_support::ScopedEnvironmentVariable pipes("BASTIONEL_PIPE_DIR", dir.path() + "pipes");
  debug_log::ProcessGate() = CLogGate(&platform::GetTickCount);
  DEBUG_LOG(68, u"%s - =>ImportToIni()", kFunc);  // tries, fails, starts the back-off
  for (auto _ : state) DEBUG_LOG(68, u"%s - =>ImportToIni()", kFunc);
}
BENCHMARK(BM_LineDroppedWhileServiceAbsent);

// The stand-in lies in bin/ beside bench/, where this program is.
std::string ServiceProgram() {
  std::u16string folder;
  if (!platform::GetProgramFolder(&folder).ok()) return {};
  return platform::Utf16ToUtf8(folder) + "../bin/bastionel-logservice";
}

void BM_LineDeliveredToRunningService(benchmark::State& state) {
  testing_support::TempFolder dir;
  const std::string pipes = dir.path() + "pipes";
  testing_support::ScopedEnvironmentVariable pipe_dir("BASTIONEL_PIPE_DIR", pipes);
  testing_support::ServiceProcess service;
  if (!service.Start(ServiceProgram(), {dir.path() + "service.log"},
                     {"BASTIONEL_PIPE_DIR=" + pipes})) {
    state.SkipWithError(("cannot start the log service: " + service.standard_error()).c_str());
    return;
  }
  debug_log::ProcessGate() = CLogGate(&platform::GetTickCount);
  for (auto _ : state) DEBUG_LOG(68, u"%s - =>ImportToIni()", kFunc);
  if (!debug_log::ProcessGate().reachable()) state.SkipWithError("a line was not delivered");
  service.Stop();
}
BENCHMARK(BM_LineDeliveredToRunningService);

}  // namespace

BENCHMARK_MAIN();
