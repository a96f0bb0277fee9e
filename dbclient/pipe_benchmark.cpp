// One text command and its reply against a database service in the same
// process that answers at once, beside the bare socket round trip it is
// built from: connect, write the request, read the reply to end-of-file,
// close, with a peer that answers on the same connection. The pipes live in
// a temporary folder under $TMPDIR: every reply pipe is a socket file, whose
// creation and removal cost far more on a disk file system than on tmpfs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "dbclient/CmdProtocol.h"
#include "dbclient/dbcl_Command.h"
#include "platform/named_pipe.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace {

constexpr int kPollMs = 100;
const std::string kReply(64, 'r');

std::string ReadAll(platform::PipeStream& stream, size_t limit) {
  std::string bytes;
  char buffer[4096];
  size_t n = 0;
  while (bytes.size() < limit && stream.Read(buffer, sizeof buffer, &n, 1000).ok() && n > 0) {
    bytes.append(buffer, n);
  }
  return bytes;
}

// The pipes of one run and the two peers: a database service that answers on
// the reply pipe the request names, and an echo peer that answers on the
// request's own connection.
class Peers {
 public:
  static constexpr char16_t kBareName[] = u"BareRoundTrip";
  static constexpr size_t kBareRequestBytes = 64;

  Peers() : pipes_("BASTIONEL_PIPE_DIR", dir_.path() + "p") {
    service_.Listen(kDbServerPipeName);
    bare_.Listen(kBareName);
    threads_.emplace_back([this] { ServeDatabase(); });
    threads_.emplace_back([this] { ServeBare(); });
  }
  ~Peers() {
    stop_ = true;
    for (std::thread& t : threads_) t.join();
  }

 private:
  void ServeDatabase() {
    while (!stop_) {
      platform::PipeStream request;
      if (!service_.Accept(&request, kPollMs).ok()) continue;
      const std::string bytes = ReadAll(request, SIZE_MAX);
      if (bytes.size() < sizeof(char16_t)) continue;  // not a command
      CCmdProtocol command(std::string_view(bytes).substr(0, bytes.size() - 2));
      std::u16string word, txn;
      command.NextToken(word).NextToken(txn);
      platform::PipeStream reply;
      if (reply.Connect(u"DbCln_" + txn).ok()) reply.Write(kReply.data(), kReply.size());
    }
  }

  void ServeBare() {
    while (!stop_) {
      platform::PipeStream stream;
      if (!bare_.Accept(&stream, kPollMs).ok()) continue;
      ReadAll(stream, kBareRequestBytes);
      stream.Write(kReply.data(), kReply.size());
    }
  }

  testing_support::TempFolder dir_;
  testing_support::ScopedEnvironmentVariable pipes_;
  platform::PipeListener service_;
  platform::PipeListener bare_;
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

Peers& RunningPeers() {
  static Peers peers;
  return peers;
}

void TextExchange() {
  const int32_t txn = NewTransactionNumber();
  CCmdProtocol cmd;
  cmd.AppendToken(u"DB_GET_STATUS")
      .AppendInt(txn)
      .AppendToken(u"0a1b2c3d-0000-4000-8000-00000000000e");
  std::string reply;
  if (!DbClientQuery(cmd.GetString(), txn, &reply, kDbReplyTimeoutSeconds) || reply != kReply) {
    std::abort();
  }
}

void BareRoundTrip() {
  static const std::string request(Peers::kBareRequestBytes, 'q');
  platform::PipeStream stream;
  if (!stream.Connect(Peers::kBareName).ok() ||
      !stream.Write(request.data(), request.size()).ok() || ReadAll(stream, SIZE_MAX) != kReply) {
    std::abort();
  }
}

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples.empty() ? 0 : samples[samples.size() / 2];
}

void BM_TextExchange(benchmark::State& state) {
  RunningPeers();
  for (auto _ : state) TextExchange();
}
BENCHMARK(BM_TextExchange)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_BareRoundTrip(benchmark::State& state) {
  RunningPeers();
  for (auto _ : state) BareRoundTrip();
}
BENCHMARK(BM_BareRoundTrip)->Repetitions(5)->ReportAggregatesOnly(true);

// Both, one after the other in every iteration, so that the machine's load
// weighs on them alike: the medians and their ratio.
void BM_TextExchangeAgainstBare(benchmark::State& state) {
  RunningPeers();
  std::vector<double> exchange;
  std::vector<double> bare;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    TextExchange();
    const auto t1 = std::chrono::steady_clock::now();
    BareRoundTrip();
    const auto t2 = std::chrono::steady_clock::now();
    exchange.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    bare.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
  }
  const double exchange_us = Median(exchange);
  const double bare_us = Median(bare);
  state.counters["exchange_median_us"] = exchange_us;
  state.counters["bare_median_us"] = bare_us;
  state.counters["ratio"] = bare_us > 0 ? exchange_us / bare_us : 0;
}
BENCHMARK(BM_TextExchangeAgainstBare);

}  // namespace
