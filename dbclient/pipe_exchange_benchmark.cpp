// Prints what one text command and its reply cost over real pipes, beside the
// bare exchange it is built from, measured in the same run: the reply pipe is
// created, the request written to the service pipe on a connection of its
// own, and the reply read to its end, with the platform's pipe calls and
// nothing else. The ratio is what the client adds (the reply-pipe server and
// its waits, the command text, the log gate). A plain program rather than a
// Google Benchmark one, so that it runs on both systems (under Wine too).
//
//   pipe_exchange_benchmark [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
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

const std::string kReply(64, 'r');
constexpr char16_t kBareService[] = u"BareService";

std::string ReadAll(platform::PipeStream& stream) {
  std::string bytes;
  char buffer[4096];
  size_t n = 0;
  while (stream.Read(buffer, sizeof buffer, &n, 10000).ok() && n > 0) bytes.append(buffer, n);
  return bytes;
}

// Serves `rounds` requests on `service`: reads each, then writes the reply
// on "DbCln_" + its second token (a text command) or on "BareReply" (any
// other request).
void Serve(platform::PipeListener* service, int rounds) {
  for (int i = 0; i < rounds; ++i) {
    platform::PipeStream request;
    if (!service->Accept(&request, 10000).ok()) std::abort();
    const std::string bytes = ReadAll(request);
    std::u16string reply_pipe = u"BareReply";
    if (bytes.size() >= 2 && bytes[0] == 'D') {
      CCmdProtocol command(std::string_view(bytes).substr(0, bytes.size() - 2));
      std::u16string word, txn;
      command.NextToken(word).NextToken(txn);
      reply_pipe = u"DbCln_" + txn;
    }
    platform::PipeStream reply;
    if (!reply.Connect(reply_pipe).ok() || !reply.Write(kReply.data(), kReply.size()).ok()) {
      std::abort();
    }
  }
}

void TextExchange() {
  const int32_t txn = NewTransactionNumber();
  CCmdProtocol cmd;
  cmd.AppendToken(u"DB_GET_STATUS").AppendInt(txn).AppendToken(u"0a1b2c3d-0000-4000-8000-00000000000e");
  std::string reply;
  if (!DbClientQuery(cmd.GetString(), txn, &reply, kDbReplyTimeoutSeconds) || reply != kReply) {
    std::abort();
  }
}

void BareExchange() {
  static const std::string request(84, 'q');
  platform::PipeListener reply_pipe;
  platform::PipeStream client;
  platform::PipeStream reply;
  if (!reply_pipe.Listen(u"BareReply", 1).ok() || !client.Connect(kBareService).ok() ||
      !client.Write(request.data(), request.size()).ok()) {
    std::abort();
  }
  client.Close();
  if (!reply_pipe.Accept(&reply, 10000).ok() || ReadAll(reply) != kReply) std::abort();
}

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples.empty() ? 0 : samples[samples.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 500;
  testing_support::TempFolder dir;
  dir.MakeFolder("p");
  testing_support::ScopedEnvironmentVariable pipes("BASTIONEL_PIPE_DIR", dir.path() + "p");
  platform::PipeListener db_service;
  platform::PipeListener bare_service;
  if (!db_service.Listen(kDbServerPipeName).ok() || !bare_service.Listen(kBareService).ok()) {
    std::fputs("cannot create the service pipes\n", stderr);
    return 1;
  }
  std::thread db([&] { Serve(&db_service, rounds); });
  std::thread bare([&] { Serve(&bare_service, rounds); });
  // Both, one after the other in every round, so that the machine's load
  // weighs on them alike.
  std::vector<double> exchange;
  std::vector<double> bare_us;
  for (int i = 0; i < rounds; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    TextExchange();
    const auto t1 = std::chrono::steady_clock::now();
    BareExchange();
    const auto t2 = std::chrono::steady_clock::now();
    exchange.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    bare_us.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
  }
  db.join();
  bare.join();
  const double e = Median(exchange);
  const double b = Median(bare_us);
  std::printf("rounds %d\ntext exchange median %.1f us\nbare exchange median %.1f us\nratio %.2f\n",
              rounds, e, b, b > 0 ? e / b : 0.0);
  return 0;
}
