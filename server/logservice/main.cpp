// bastionel-logservice: the stand-in for the server's log service.
// command_line.h describes its command line.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "log/DebugLog.h"
#include "platform/named_pipe.h"
#include "platform/status.h"
#include "platform/text.h"
#include "server/common/service_host.h"
#include "server/logservice/command_line.h"
#include "server/logservice/log_service.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "bastionel-logservice: %s\n", message.c_str());
  return 1;
}

int Serve(const logservice::CommandLine& command_line) {
  std::string error;
  stand_in::CServiceHost host;
  if (!host.CatchStopSignals(&error)) return Fail(error);
  const int log_fd =
      ::open(command_line.log_file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (log_fd < 0) {
    return Fail(platform::Status::Error(errno, "open log file",
                                        platform::Utf8ToUtf16(command_line.log_file))
                    .message());
  }
  platform::PipeListener listener;
  const platform::Status status =
      listener.Listen(debug_log::kLogPipeName, logservice::CLogService::kBacklog);
  if (status.code() == EADDRINUSE) {
    return Fail("the pipe " + platform::Utf16ToUtf8(debug_log::kLogPipeName) +
                " is already served by another process (" +
                platform::PipeSystemPath(debug_log::kLogPipeName) + ")");
  }
  if (!status.ok()) return Fail(status.message());
  if (!host.Announce(listener.path(), command_line.host, &error)) return Fail(error);
  logservice::CLogService service(&listener, log_fd, host.stop_fd(), command_line.idle_timeout_ms);
  const bool ok = service.Run(&error);
  ::close(log_fd);
  return ok ? 0 : Fail(error);
}

}  // namespace

int main(int argc, char** argv) {
  logservice::CommandLine command_line;
  std::string error;
  if (!logservice::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), &command_line,
                                    &error)) {
    std::fprintf(stderr, "bastionel-logservice: %s\n%s", error.c_str(), logservice::kUsage);
    return 2;
  }
  if (command_line.help) {
    std::fputs(logservice::kUsage, stdout);
    return 0;
  }
  return Serve(command_line);
}
