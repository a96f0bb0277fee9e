#include "server/common/service_host.h"

#include <charconv>
#include <cstdio>

#include "platform/file_system.h"
#include "platform/format.h"
#include "platform/status.h"
#include "platform/system.h"
#include "platform/text.h"

namespace stand_in {

bool ParseIdleTimeout(const std::string& value, int* milliseconds, std::string* error) {
  const char* end = value.data() + value.size();
  const auto [stop, failure] = std::from_chars(value.data(), end, *milliseconds);
  if (failure != std::errc() || stop != end || *milliseconds <= 0) {
    *error = "--idle-timeout needs a positive number of milliseconds, not '" + value + "'";
    return false;
  }
  return true;
}

bool CheckHostOptions(const HostOptions& options, std::string* error) {
  if (options.background && !kCanRunInBackground) {
    *error = "--background is not available on this system: start the service in the "
             "background yourself (start /b)";
    return false;
  }
  if (options.background && options.pid_file.empty()) {
    *error = "--background needs --pid-file";
    return false;
  }
  return true;
}

bool ListenOnServicePipe(platform::PipeListener* listener, std::u16string_view name, int backlog,
                         std::string* error) {
  const platform::Status status = listener->Listen(name, backlog);
  if (status.code() == platform::kErrorPipeNameTaken) {
    *error = "the pipe " + platform::Utf16ToUtf8(name) + " is already served by another process (" +
             platform::PipeSystemPath(name) + ")";
    return false;
  }
  if (!status.ok()) *error = status.message();
  return status.ok();
}

void PrintListening(const std::string& pipe_path) {
  std::fputs(kListeningPrefix, stdout);
  std::fputs(pipe_path.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

CServiceHost::~CServiceHost() {
  if (!m_strPidFile.empty()) platform::DeleteFile(platform::Utf8ToUtf16(m_strPidFile));
  ReleaseStopRequests();
}

bool CServiceHost::WritePidFile(const std::string& path, std::string* error) {
  const std::string text = platform::FormatA("%u\n", platform::GetCurrentProcessId());
  platform::File file;
  platform::Status status = file.Open(platform::Utf8ToUtf16(path), platform::File::Mode::kCreateAlways);
  if (status.ok()) {
    m_strPidFile = path;
    status = file.Write(text.data(), text.size());
  }
  if (status.ok()) status = file.Close();
  if (!status.ok()) *error = status.message();
  return status.ok();
}

bool CServiceHost::Announce(const std::string& pipe_path, const HostOptions& options,
                            std::string* error) {
  if (options.background) return AnnounceInBackground(pipe_path, options, error);
  if (!options.pid_file.empty() && !WritePidFile(options.pid_file, error)) return false;
  PrintListening(pipe_path);
  return true;
}

}  // namespace stand_in
