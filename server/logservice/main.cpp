// bastionel-logservice: the stand-in for the server's log service.
// command_line.h describes its command line.
#include <cstdio>
#include <string>
#include <vector>

#include "log/DebugLog.h"
#include "platform/file_system.h"
#include "platform/named_pipe.h"
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
  if (!host.CatchStopRequests(&error)) return Fail(error);
  platform::File log_file;
  const platform::Status opened =
      log_file.Open(platform::Utf8ToUtf16(command_line.log_file), platform::File::Mode::kAppend);
  if (!opened.ok()) return Fail(opened.message());
  platform::PipeListener listener;
  if (!stand_in::ListenOnServicePipe(&listener, debug_log::kLogPipeName,
                                     logservice::CLogService::kBacklog, &error) ||
      !host.Announce(listener.path(), command_line.host, &error)) {
    return Fail(error);
  }
  logservice::CLogService service(&listener, &log_file, host.stop_handle(),
                                  command_line.idle_timeout_ms);
  return service.Run(&error) ? 0 : Fail(error);
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
