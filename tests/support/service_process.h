// Runs a stand-in service program (bastionel-logservice and its kind) for a
// test: starts it from the build's bin folder, waits until it prints
// "listening on <socket path>", and stops it with SIGTERM at the end.
//
//   testing_support::ServiceProcess service;
//   ASSERT_TRUE(service.Start(testing_support::ProgramInBinFolder("bastionel-logservice"),
//                             {log_path}, {"BASTIONEL_PIPE_DIR=" + pipes}))
//       << service.standard_error();
//   ...
//   EXPECT_EQ(service.Stop(), 0);
//
// Every wait is a blocking wait with a deadline, never a sleep.
//
// The stand-in services are Linux programs for now: on Windows Spawn and
// Start fail with standard_error() saying so; ProgramInBinFolder and
// WaitForProcessEnd work on both systems.
#ifndef PORTELLE_TESTS_SUPPORT_SERVICE_PROCESS_H_
#define PORTELLE_TESTS_SUPPORT_SERVICE_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// $PORTELLE_BIN_DIR/name: a program of the build (CTest sets the variable for
// every test); without the variable, the named file beside the running
// program.
std::string ProgramInBinFolder(std::string_view name);

class ServiceProcess {
 public:
  static constexpr int kStartTimeoutMs = 30000;
  static constexpr int kStopTimeoutMs = 30000;

  ServiceProcess() = default;
  ~ServiceProcess();  // stops the program if it still runs
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  // Starts `program` with `arguments`. `environment` holds "NAME=value"
  // entries that are added to the test's environment or replace its own.
  // Standard input is /dev/null; standard output and error are collected
  // here. False when the program cannot be started (standard_error() says
  // why).
  bool Spawn(const std::string& program, const std::vector<std::string>& arguments,
             const std::vector<std::string>& environment = {});

  // Reads standard output until the line "listening on PATH" and keeps PATH
  // as socket_path(). False when the output ended first or the time ran out.
  bool WaitUntilListening(int timeout_ms = kStartTimeoutMs);

  // Spawn, then WaitUntilListening.
  bool Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::vector<std::string>& environment = {});

  // Sends SIGTERM and waits for the end: see Wait.
  int Stop(int timeout_ms = kStopTimeoutMs);

  // Waits for the program to end and returns its exit code, 128 + the signal
  // number when a signal ended it, or -1 when it did not end in time (it is
  // then killed). Output written before the end is collected. Once the
  // program has ended, later calls return the same code.
  int Wait(int timeout_ms = kStopTimeoutMs);

  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  const std::string& socket_path() const { return socket_path_; }
  const std::string& standard_output() const { return output_; }
  const std::string& standard_error() const { return errors_; }

 private:
  // Reads what the output pipes hold, waiting up to `timeout_ms` for
  // something to happen (output, end of output, end of the program). True
  // once the program has ended.
  bool Pump(int timeout_ms);
  void CloseFds();

  pid_t pid_ = -1;
  int pidfd_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  int exit_code_ = -1;
  std::string output_;
  std::string errors_;
  size_t scanned_ = 0;  // output_ before this offset holds no listening line
  std::string socket_path_;
};

// Waits up to `timeout_ms` for the process `pid` to end, also when it is not
// a child of this one (a service that went to the background). True when it
// has ended (or never existed).
bool WaitForProcessEnd(pid_t pid, int timeout_ms);

}  // namespace testing_support

#endif  // PORTELLE_TESTS_SUPPORT_SERVICE_PROCESS_H_
