// A pipe peer in a process of its own, for the tests that cross a process
// boundary. The pipe namespace comes from the environment, as the test's.
//
//   portelle_pipe_peer reply NAME BYTES PIECE  connects to NAME, writes BYTES
//                                              pattern bytes in writes of PIECE
//   portelle_pipe_peer close NAME              connects to NAME and closes
//   portelle_pipe_peer hold NAME               connects to NAME and writes one
//                                              byte after another until a write
//                                              fails (the server has closed)
//   portelle_pipe_peer listen NAME READY       listens on NAME, connects to READY
//                                              and closes, then takes one client
//   portelle_pipe_peer service BYTES READY     listens on DbServerNamePipe,
//                                              connects to READY and closes,
//                                              reads one text request and
//                                              answers BYTES pattern bytes on
//                                              "DbCln_" + its second token
//
// Pattern byte i is i * 7 % 251. The exit code is 0 when every step went as
// described, else 1 (2 for a bad command line).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/named_pipe.h"
#include "platform/text.h"

namespace {

constexpr int kDeadlineMs = 30000;

std::u16string Wide(const char* text) { return platform::Utf8ToUtf16(text); }

bool WritePattern(platform::PipeStream* stream, size_t size, size_t piece) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 251);
  for (size_t at = 0; at < size; at += piece) {
    if (!stream->Write(bytes.data() + at, std::min(piece, size - at)).ok()) return false;
  }
  return true;
}

bool Reply(const char* name, size_t size, size_t piece) {
  platform::PipeStream stream;
  return stream.Connect(Wide(name), kDeadlineMs).ok() && WritePattern(&stream, size, piece);
}

bool SignalReady(const char* ready) {
  platform::PipeStream stream;
  return stream.Connect(Wide(ready), kDeadlineMs).ok();
}

// The reply pipe of a NUL-terminated UTF-16LE text request.
std::u16string ReplyPipeOf(const std::string& request) {
  std::u16string text = platform::Utf16LeToText(request);
  text = text.substr(0, text.find(u'\0'));
  const size_t first = text.find(u'\t');
  if (first == std::u16string::npos) return {};
  const size_t second = text.find(u'\t', first + 1);
  return u"DbCln_" + text.substr(first + 1, second == std::u16string::npos
                                                ? std::u16string::npos
                                                : second - first - 1);
}

bool Service(size_t size, const char* ready) {
  platform::PipeListener listener;
  if (!listener.Listen(u"DbServerNamePipe", 1).ok() || !SignalReady(ready)) return false;
  platform::PipeStream request;
  if (!listener.Accept(&request, kDeadlineMs).ok()) return false;
  std::string bytes;
  char buffer[4096];
  size_t n = 0;
  while (request.Read(buffer, sizeof buffer, &n, kDeadlineMs).ok() && n > 0) bytes.append(buffer, n);
  const std::u16string reply_pipe = ReplyPipeOf(bytes);
  if (reply_pipe.empty()) return false;
  platform::PipeStream reply;
  return reply.Connect(reply_pipe, kDeadlineMs).ok() && WritePattern(&reply, size, 65536);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  bool ok = false;
  if (command == "reply" && argc == 5) {
    ok = Reply(argv[2], std::strtoul(argv[3], nullptr, 10), std::strtoul(argv[4], nullptr, 10));
  } else if (command == "close" && argc == 3) {
    platform::PipeStream stream;
    ok = stream.Connect(Wide(argv[2]), kDeadlineMs).ok();
  } else if (command == "hold" && argc == 3) {
    platform::PipeStream stream;
    if (stream.Connect(Wide(argv[2]), kDeadlineMs).ok()) {
      platform::Status status;
      while (status.ok()) status = stream.Write("h", 1);
      ok = platform::IsPipeClosed(status.code());
    }
  } else if (command == "listen" && argc == 4) {
    platform::PipeListener listener;
    platform::PipeStream client;
    ok = listener.Listen(Wide(argv[2]), 1).ok() && SignalReady(argv[3]) &&
         listener.Accept(&client, kDeadlineMs).ok();
  } else if (command == "service" && argc == 4) {
    ok = Service(std::strtoul(argv[2], nullptr, 10), argv[3]);
  } else {
    std::fputs("usage: portelle_pipe_peer reply|close|hold|listen|service ...\n", stderr);
    return 2;
  }
  return ok ? 0 : 1;
}
