// DB_EXPORT of a 3 KB configuration answered by the real bastionel-dbservice,
// beside the same exchange with a service in this process that answers at
// once from memory: what the stand-in's process, database and journal add
// to a request-and-reply exchange. The stand-in's own time per request comes
// from its journal (--dump).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "dbclient/CmdProtocol.h"
#include "dbclient/dbcl_Command.h"
#include "dbclient/pipe_Server.h"
#include "dbclient/pipe_Util.h"
#include "platform/named_pipe.h"
#include "platform/text.h"
#include "server/dbservice/wire_text.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr char16_t kUid[] = u"0a1b2c3d-0000-4000-8000-00000000000e";
constexpr char16_t kInProcessName[] = u"InProcessDbService";
constexpr int kPollMs = 100;
constexpr int kConfigTokens = 384;  // tokens of three digits with TABs: 3070 bytes

// A configuration of about 3 KB on the wire.
std::vector<std::string> ConfigTokens() {
  std::vector<std::string> tokens;
  for (int i = 0; i < kConfigTokens; ++i) tokens.push_back(std::to_string(100 + i % 900));
  return tokens;
}

std::string ConfigBytes() {
  std::string text;
  for (const std::string& t : ConfigTokens()) text += (text.empty() ? "" : "\t") + t;
  return dbservice::Utf8ToUtf16Le(text);
}

// The pipe folder, the stand-in seeded with one domain, and a service in this
// process that answers every request with the same configuration.
class Services {
 public:
  Services() : pipes_("BASTIONEL_PIPE_DIR", dir_.path() + "p"), config_(ConfigBytes()) {
    nlohmann::json fixture = {
        {"domains",
         {{{"uid", platform::Utf16ToUtf8(kUid)}, {"entry", "Bench"}, {"config", ConfigTokens()}}}}};
    dir_.Write("fixture.json", fixture.dump());
    // Benchmarks are built into bench/, beside the bin/ folder of the programs.
    program_ = testing_support::ProgramInBinFolder("../bin/bastionel-dbservice");
    if (!stand_in_.Start(program_, {"--db", dir_.path() + "bench.db", "--fixture",
                                    dir_.path() + "fixture.json"})) {
      std::fprintf(stderr, "cannot start %s: %s\n", program_.c_str(),
                   stand_in_.standard_error().c_str());
      std::abort();
    }
    in_process_.Listen(kInProcessName, 255);
    thread_ = std::thread([this] { Serve(); });
  }
  ~Services() {
    stop_ = true;
    thread_.join();
  }

  const std::string& config() const { return config_; }

  // The stand-in's own median time per request, from its journal.
  double StandInMedianUs() {
    testing_support::ServiceProcess dump;
    if (!dump.Spawn(program_, {"--db", dir_.path() + "bench.db", "--dump"}) || dump.Wait() != 0) {
      return 0;
    }
    return nlohmann::json::parse(dump.standard_output())["timing"].value("median_us", 0.0);
  }

 private:
  void Serve() {
    while (!stop_) {
      platform::PipeStream request;
      if (!in_process_.Accept(&request, kPollMs).ok()) continue;
      std::string bytes;
      char buffer[4096];
      size_t n = 0;
      while (request.Read(buffer, sizeof buffer, &n, 1000).ok() && n > 0) bytes.append(buffer, n);
      if (bytes.size() < 2) continue;
      CCmdProtocol command(std::string_view(bytes).substr(0, bytes.size() - 2));
      std::u16string word, txn;
      command.NextToken(word).NextToken(txn);
      platform::PipeStream reply;
      if (reply.Connect(u"DbCln_" + txn).ok()) reply.Write(config_.data(), config_.size());
    }
  }

  testing_support::TempFolder dir_;
  testing_support::ScopedEnvironmentVariable pipes_;
  std::string config_;
  std::string program_;
  testing_support::ServiceProcess stand_in_;
  platform::PipeListener in_process_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

Services& RunningServices() {
  static Services services;
  return services;
}

// One DB_EXPORT through its own reply pipe to `service_pipe`.
void Export(std::u16string_view service_pipe) {
  const int32_t txn = NewTransactionNumber();
  CCmdProtocol cmd;
  cmd.AppendToken(u"DB_EXPORT").AppendInt(txn).AppendToken(kUid).AppendDword(0);
  CPipeServer server;
  std::string reply;
  if (!PipeSendAndRecvW(cmd.GetString(), static_cast<uint32_t>((cmd.GetLength() + 1) * 2),
                        DbReplyPipeName(txn), service_pipe, &server, kDbReplyTimeoutSeconds) ||
      !server.FetchCmd(&reply) || reply != RunningServices().config()) {
    std::abort();
  }
}

double Percentile(std::vector<double> samples, double p) {
  std::sort(samples.begin(), samples.end());
  return samples.empty() ? 0 : samples[static_cast<size_t>(p * (samples.size() - 1))];
}

// Both exchanges in every iteration, so that the machine's load weighs on
// them alike: their medians, the ratio, and the stand-in's own share.
void BM_ExportFromStandInAgainstInProcess(benchmark::State& state) {
  Services& services = RunningServices();
  std::vector<double> stand_in;
  std::vector<double> in_process;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    Export(kDbServerPipeName);
    const auto t1 = std::chrono::steady_clock::now();
    Export(kInProcessName);
    const auto t2 = std::chrono::steady_clock::now();
    stand_in.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    in_process.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
  }
  const double stand_in_us = Percentile(stand_in, 0.5);
  const double in_process_us = Percentile(in_process, 0.5);
  state.counters["stand_in_p99_us"] = Percentile(stand_in, 0.99);
  state.counters["in_process_p99_us"] = Percentile(in_process, 0.99);
  state.counters["stand_in_median_us"] = stand_in_us;
  state.counters["in_process_median_us"] = in_process_us;
  state.counters["ratio"] = in_process_us > 0 ? stand_in_us / in_process_us : 0;
  state.counters["stand_in_own_median_us"] = services.StandInMedianUs();
  state.counters["reply_bytes"] = static_cast<double>(services.config().size());
}
BENCHMARK(BM_ExportFromStandInAgainstInProcess)->Iterations(10000);

}  // namespace

BENCHMARK_MAIN();
