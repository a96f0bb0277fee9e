#include "tests/support/service_process.h"

#include <cstdlib>

#include "platform/system.h"
#include "platform/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "server/common/service_host.h"

#endif

namespace testing_support {

std::string ProgramInBinFolder(std::string_view name) {
  std::string path;
  if (const char* folder = std::getenv("PORTELLE_BIN_DIR")) {
    path = std::string(folder) + "/";
  } else {
    // Test programs are built into the bin folder too.
    std::u16string own;
    if (platform::GetProgramFolder(&own).ok()) path = platform::Utf16ToUtf8(own);
  }
  path += name;
  return path;
}

}  // namespace testing_support

#ifdef _WIN32

// The stand-in services are Linux programs for now (they are built around
// Unix sockets and signals): on Windows starting one fails, saying so.
namespace testing_support {

ServiceProcess::~ServiceProcess() = default;

bool ServiceProcess::Spawn(const std::string& program, const std::vector<std::string>&,
                           const std::vector<std::string>&) {
  errors_ = "cannot start " + program + ": the stand-in services run on Linux only";
  return false;
}

bool ServiceProcess::WaitUntilListening(int) { return false; }

bool ServiceProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment) {
  return Spawn(program, arguments, environment) && WaitUntilListening();
}

int ServiceProcess::Stop(int timeout_ms) { return Wait(timeout_ms); }

int ServiceProcess::Wait(int) { return exit_code_; }

bool ServiceProcess::Pump(int) { return false; }

void ServiceProcess::CloseFds() {}

bool WaitForProcessEnd(pid_t pid, int timeout_ms) {
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
  const bool ended =
      ::WaitForSingleObject(process, static_cast<DWORD>(timeout_ms)) == WAIT_OBJECT_0;
  ::CloseHandle(process);
  return ended;
}

}  // namespace testing_support

#else

extern char** environ;

namespace testing_support {
namespace {

using Clock = std::chrono::steady_clock;

// A descriptor that becomes readable when the process `pid` ends. Called
// through syscall: this C library's header lacks C++ linkage for it.
int OpenPidFd(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// The test's environment with `overrides` ("NAME=value") put in.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& overrides) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const std::string_view name = text.substr(0, text.find('=') + 1);
    bool replaced = false;
    for (const std::string& o : overrides) replaced = replaced || o.starts_with(name);
    if (!replaced) result.emplace_back(text);
  }
  result.insert(result.end(), overrides.begin(), overrides.end());
  return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& t : texts) pointers.push_back(t.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Reads what `*fd` holds without waiting; closes it at end of file.
void Drain(int* fd, std::string* into) {
  char buffer[4096];
  while (*fd >= 0) {
    const ssize_t n = ::read(*fd, buffer, sizeof buffer);
    if (n > 0) {
      into->append(buffer, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      if (n == 0 || errno != EAGAIN) {
        ::close(*fd);
        *fd = -1;
      }
      return;
    }
  }
}

}  // namespace

ServiceProcess::~ServiceProcess() {
  if (running()) Stop();
  CloseFds();
}

bool ServiceProcess::Spawn(const std::string& program, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment) {
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return false;
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  // The program starts with the signal state of a fresh process, whatever
  // the test runner blocks or ignores.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int s : {SIGPIPE, SIGTERM, SIGINT}) sigaddset(&defaults, s);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> argv_texts{program};
  argv_texts.insert(argv_texts.end(), arguments.begin(), arguments.end());
  std::vector<std::string> env_texts = MergedEnvironment(environment);
  std::vector<char*> argv = Pointers(argv_texts);
  std::vector<char*> envp = Pointers(env_texts);
  pid_t pid = -1;
  const int result =
      ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(out[1]);
  ::close(err[1]);
  if (result != 0) {
    ::close(out[0]);
    ::close(err[0]);
    errors_ = "cannot start " + program + ": " + std::strerror(result);
    return false;
  }
  pid_ = pid;
  pidfd_ = OpenPidFd(pid);
  out_fd_ = out[0];
  err_fd_ = err[0];
  ::fcntl(out_fd_, F_SETFL, O_NONBLOCK);
  ::fcntl(err_fd_, F_SETFL, O_NONBLOCK);
  output_.clear();
  errors_.clear();
  scanned_ = 0;
  socket_path_.clear();
  return pidfd_ >= 0;
}

bool ServiceProcess::WaitUntilListening(int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  bool ended = false;
  for (;;) {
    for (size_t end; (end = output_.find('\n', scanned_)) != std::string::npos;
         scanned_ = end + 1) {
      const std::string_view line(output_.data() + scanned_, end - scanned_);
      if (line.starts_with(stand_in::kListeningPrefix)) {
        socket_path_ = line.substr(std::strlen(stand_in::kListeningPrefix));
        scanned_ = end + 1;
        return true;
      }
    }
    // Once the program has ended, what it wrote has been read: the line
    // will not come.
    if (ended || out_fd_ < 0 || pid_ <= 0 || Clock::now() >= deadline) return false;
    ended = Pump(RemainingMs(deadline));
  }
}

bool ServiceProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment) {
  return Spawn(program, arguments, environment) && WaitUntilListening();
}

int ServiceProcess::Stop(int timeout_ms) {
  if (running()) ::kill(pid_, SIGTERM);
  return Wait(timeout_ms);
}

int ServiceProcess::Wait(int timeout_ms) {
  if (!running()) return exit_code_;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  pollfd ended{pidfd_, POLLIN, 0};
  while (::poll(&ended, 1, 0) == 0 && Clock::now() < deadline) Pump(RemainingMs(deadline));
  const bool in_time = ended.revents != 0;
  if (!in_time) ::kill(pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  Drain(&out_fd_, &output_);
  Drain(&err_fd_, &errors_);
  pid_ = -1;
  CloseFds();
  if (!in_time) {
    exit_code_ = -1;
  } else if (WIFEXITED(status)) {
    exit_code_ = WEXITSTATUS(status);
  } else {
    exit_code_ = 128 + WTERMSIG(status);
  }
  return exit_code_;
}

bool ServiceProcess::Pump(int timeout_ms) {
  pollfd fds[3] = {{pidfd_, POLLIN, 0}, {out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
  // A closed pipe (-1) is left out by poll itself.
  if (::poll(fds, 3, timeout_ms) <= 0) return false;
  Drain(&out_fd_, &output_);
  Drain(&err_fd_, &errors_);
  return fds[0].revents != 0;
}

void ServiceProcess::CloseFds() {
  for (int* fd : {&pidfd_, &out_fd_, &err_fd_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

bool WaitForProcessEnd(pid_t pid, int timeout_ms) {
  const int fd = OpenPidFd(pid);
  if (fd < 0) return errno == ESRCH;
  pollfd ended{fd, POLLIN, 0};
  int n;
  while ((n = ::poll(&ended, 1, timeout_ms)) < 0 && errno == EINTR) {
  }
  ::close(fd);
  return n > 0;
}

}  // namespace testing_support

#endif  // _WIN32
