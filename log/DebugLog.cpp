#include "log/DebugLog.h"

#include <ctime>

#include "dbclient/CmdProtocol.h"
#include "dbclient/pipe_Client.h"
#include "platform/status.h"
#include "platform/system.h"
#include "platform/text.h"

namespace debug_log {
namespace {

uint32_t SystemTicks() { return platform::GetTickCount(); }

// Logging a failure must not change the error the caller is about to report;
// on Windows any system call a line makes (finding the program's name,
// opening the pipe) may set the thread's last error, so it is kept across
// the whole line.
class LastErrorKeeper {
 public:
  LastErrorKeeper() : saved_(platform::GetLastError()) {}
  ~LastErrorKeeper() { platform::SetLastError(saved_); }
  LastErrorKeeper(const LastErrorKeeper&) = delete;
  LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

 private:
  int saved_;
};

void Send(int level, std::u16string_view source_file, int line, std::u16string_view text) {
  // Asked again as the original client does; it says yes at once while the
  // service is marked reachable.
  CLogGate& gate = ProcessGate();
  if (!gate.Allow()) return;
  const std::u16string record =
      BuildRecord(static_cast<int32_t>(std::time(nullptr)), platform::GetCurrentProcessId(),
                  platform::GetCurrentThreadId(), level, source_file, line, text);
  // The record goes out with its terminating NUL.
  const auto bytes = static_cast<uint32_t>((record.size() + 1) * sizeof(char16_t));
  gate.OnSent(PipeSendOneWay(kLogPipeName, record.c_str(), bytes));
}

}  // namespace

CLogGate& ProcessGate() {
  static CLogGate gate(&SystemTicks);
  return gate;
}

const std::u16string& ModuleName() {
  static const std::u16string name = [] {
    std::u16string path;
    if (!platform::GetProgramPath(&path).ok()) path.clear();
    const size_t slash = path.find_last_of(u"\\/");
    if (slash != std::u16string::npos) path.erase(0, slash + 1);
    if (path.size() > platform::kMaxSystemPathBytes) path.resize(platform::kMaxSystemPathBytes);
    return path;
  }();
  return name;
}

std::u16string BuildText(std::u16string_view module, std::u16string_view message) {
  const size_t frame = 4 + module.size();  // "[]" "[" module "]"
  std::u16string text;
  text.reserve(frame + message.size());
  text += u"[][";
  text += module;
  text += u"]";
  if (frame < kMaxTextLength) text += message.substr(0, kMaxTextLength - frame);
  return text;
}

std::u16string BuildRecord(int32_t time, uint32_t process_id, uint32_t thread_id, int level,
                           std::u16string_view source_file, int line, std::u16string_view text) {
  CCmdProtocol record;
  record.AppendToken(u"LOG_WRITE")
      .AppendInt(time)
      .AppendDword(process_id)
      .AppendDword(thread_id)
      .AppendInt(level)
      .AppendToken(source_file)
      .AppendInt(line)
      .AppendToken(text);
  return std::u16string(record.GetString(), record.GetLength());
}

void WriteLine(int level, std::u16string_view source_file, int line, std::u16string_view message) {
  const LastErrorKeeper keeper;
  Send(level, source_file, line, BuildText(ModuleName(), message));
}

void WriteLineA(int level, std::string_view source_file, int line, std::string_view message) {
  const LastErrorKeeper keeper;
  // The narrow line is limited in bytes, as its 4096-byte buffer was; the cut
  // falls on a character boundary so the conversion sees whole characters.
  const std::string module = platform::ToSystemCodePage(ModuleName());
  std::string text = "[][" + module + "]";
  if (text.size() < kMaxTextLength) {
    size_t room = kMaxTextLength - text.size();
    if (message.size() > room) {
      while (room > 0 && (static_cast<unsigned char>(message[room]) & 0xC0) == 0x80) --room;
      message = message.substr(0, room);
    }
    text += message;
  }
  Send(level, platform::FromSystemCodePage(source_file), line, platform::FromSystemCodePage(text));
}

}  // namespace debug_log
