#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <utility>

#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"

extern char** environ;

namespace platform {

const int kErrorNoProcess = ECHILD;

namespace {

constexpr std::string_view kWindowsProgramSuffix = ".exe";

std::optional<std::vector<std::string>>& SearchFoldersOverride() {
  static std::optional<std::vector<std::string>> folders;
  return folders;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The spellings a program name is tried under: as written, then without a
// final ".exe" (any letter case), which programs here do not carry.
std::vector<std::string> Spellings(std::string_view name) {
  std::vector<std::string> spellings{std::string(name)};
  if (name.size() > kWindowsProgramSuffix.size() &&
      EqualsIgnoreCase(name.substr(name.size() - kWindowsProgramSuffix.size()),
                       kWindowsProgramSuffix)) {
    spellings.emplace_back(name.substr(0, name.size() - kWindowsProgramSuffix.size()));
  }
  return spellings;
}

std::string JoinFolder(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

Status Failed(int code, std::string_view operation, std::string_view name) {
  SetLastError(code);
  return Status::Error(code, operation, Utf8ToUtf16(name));
}

}  // namespace

std::vector<std::string> ProgramSearchFolders() {
  if (SearchFoldersOverride().has_value()) return *SearchFoldersOverride();
  std::vector<std::string> folders;
  std::u16string folder;
  if (GetProgramFolder(&folder).ok()) folders.push_back(Utf16ToUtf8(folder));
  if (GetCurrentFolder(&folder).ok()) folders.push_back(Utf16ToUtf8(folder));
  if (const char* path = std::getenv("PATH")) {
    const std::string_view entries = path;
    for (size_t start = 0; start <= entries.size();) {
      const size_t colon = std::min(entries.find(':', start), entries.size());
      const std::string_view entry = entries.substr(start, colon - start);
      folders.emplace_back(entry.empty() ? "." : entry);
      start = colon + 1;
    }
  }
  return folders;
}

Status FindProgram(std::string_view name, const std::vector<std::string>& folders,
                   std::string* path) {
  if (name.empty()) return Failed(EINVAL, "find program", name);
  const std::vector<std::string> spellings = Spellings(name);
  if (name.find_first_of("\\/") != std::string_view::npos) {
    for (const std::string& spelling : spellings) {
      const std::string native = NativePath(std::string_view(spelling));
      if (IsExecutableFile(native)) {
        *path = native;
        return Status();
      }
    }
    return Failed(ENOENT, "find program", name);
  }
  for (const std::string& folder : folders) {
    for (const std::string& spelling : spellings) {
      const std::string native = NativePath(std::string_view(JoinFolder(folder, spelling)));
      if (IsExecutableFile(native)) {
        *path = native;
        return Status();
      }
    }
  }
  return Failed(ENOENT, "find program", name);
}

ScopedProgramSearchFoldersForTesting::ScopedProgramSearchFoldersForTesting(
    std::vector<std::string> folders)
    : had_previous_(SearchFoldersOverride().has_value()) {
  if (had_previous_) previous_ = *SearchFoldersOverride();
  SearchFoldersOverride() = std::move(folders);
}

ScopedProgramSearchFoldersForTesting::~ScopedProgramSearchFoldersForTesting() {
  if (had_previous_) {
    SearchFoldersOverride() = std::move(previous_);
  } else {
    SearchFoldersOverride().reset();
  }
}

Process::~Process() {
  // A child that has ended is reaped; one still running is left alone.
  if (child_ > 0) ::waitpid(static_cast<pid_t>(child_), nullptr, WNOHANG);
}

Status Process::Start(std::string_view command_line) {
  if (child_ > 0) return Failed(EBUSY, "start process", command_line);
  const std::vector<std::string> words = SplitCommandLine(command_line);
  std::string program;
  const Status found = FindProgram(words[0], ProgramSearchFolders(), &program);
  if (!found.ok()) return found;

  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);

  // No console of its own: the child's standard streams go nowhere. Nothing
  // else of this process is inherited either, whoever opened it.
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  pid_t pid = -1;
  const int result = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (result != 0) return Failed(result, "start process", program);
  child_ = pid;
  return Status();
}

Status Process::Wait(int* exit_code) {
  if (child_ <= 0) return Failed(ECHILD, "wait for process", "");
  const auto pid = static_cast<pid_t>(child_);
  int status = 0;
  pid_t ended;
  while ((ended = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  if (ended < 0) return Failed(errno, "wait for process", "");
  child_ = 0;
  if (exit_code != nullptr) {
    *exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return Status();
}

}  // namespace platform
