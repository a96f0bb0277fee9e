// Starting programs on Windows: the program is looked for as process.h
// says, then started with CreateProcessW under its full path, with the
// command line exactly as given, no handle inheritance, a new console and a
// hidden window; the wait has no time limit.
#include <windows.h>

#include <optional>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"

namespace platform {

const int kErrorNoProcess = ERROR_INVALID_HANDLE;

namespace {

std::optional<std::vector<std::string>>& SearchFoldersOverride() {
  static std::optional<std::vector<std::string>> folders;
  return folders;
}

std::wstring WideOf(std::string_view system_text) {
  const std::u16string text = FromSystemCodePage(system_text);
  return std::wstring(text.begin(), text.end());
}

bool IsProgramFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WideOf(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The spelling a program name is tried under: as written, with ".exe" added
// when its last component has no extension, as CreateProcess does.
std::string Spelling(std::string_view name) {
  const size_t last_separator = name.find_last_of("\\/");
  const std::string_view file =
      last_separator == std::string_view::npos ? name : name.substr(last_separator + 1);
  std::string spelling(name);
  if (file.find('.') == std::string_view::npos) spelling += ".exe";
  return spelling;
}

std::string JoinFolder(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  return last == '\\' || last == '/' ? folder + name : folder + "\\" + name;
}

Status Failed(int code, std::string_view operation, std::string_view name) {
  ::SetLastError(static_cast<DWORD>(code));
  return Status::Error(code, operation, FromSystemCodePage(name));
}

std::string EnvironmentVariable(const wchar_t* name) {
  std::vector<wchar_t> buffer(1024);
  for (;;) {
    const DWORD n =
        ::GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) {
      return ToSystemCodePage(
          std::u16string_view(reinterpret_cast<const char16_t*>(buffer.data()), n));
    }
    buffer.resize(n);
  }
}

}  // namespace

std::vector<std::string> ProgramSearchFolders() {
  if (SearchFoldersOverride().has_value()) return *SearchFoldersOverride();
  std::vector<std::string> folders;
  std::u16string folder;
  if (GetProgramFolder(&folder).ok()) folders.push_back(ToSystemCodePage(folder));
  if (GetCurrentFolder(&folder).ok()) folders.push_back(ToSystemCodePage(folder));
  const std::string entries = EnvironmentVariable(L"PATH");
  if (!entries.empty()) {
    for (size_t start = 0; start <= entries.size();) {
      const size_t semicolon = (std::min)(entries.find(';', start), entries.size());
      const std::string entry = entries.substr(start, semicolon - start);
      folders.push_back(entry.empty() ? "." : entry);
      start = semicolon + 1;
    }
  }
  return folders;
}

Status FindProgram(std::string_view name, const std::vector<std::string>& folders,
                   std::string* path) {
  if (name.empty()) return Failed(ERROR_INVALID_PARAMETER, "find program", name);
  const std::string spelling = Spelling(name);
  if (name.find_first_of("\\/:") != std::string_view::npos) {
    if (!IsProgramFile(spelling)) return Failed(ERROR_FILE_NOT_FOUND, "find program", name);
    *path = spelling;
    return Status();
  }
  for (const std::string& folder : folders) {
    const std::string candidate = JoinFolder(folder, spelling);
    if (IsProgramFile(candidate)) {
      *path = candidate;
      return Status();
    }
  }
  return Failed(ERROR_FILE_NOT_FOUND, "find program", name);
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
  // A program still running is left alone; only our handle to it goes.
  if (child_ != 0) ::CloseHandle(reinterpret_cast<HANDLE>(child_));
}

Status Process::Start(std::string_view command_line) {
  if (child_ != 0) return Failed(ERROR_BUSY, "start process", command_line);
  const std::vector<std::string> words = SplitCommandLine(command_line);
  std::string program;
  const Status found = FindProgram(words[0], ProgramSearchFolders(), &program);
  if (!found.ok()) return found;

  const std::wstring application = WideOf(program);
  // CreateProcessW may write into the command line: a copy of our own.
  std::wstring line = WideOf(command_line);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE, nullptr, nullptr, &startup, &started)) {
    return Failed(static_cast<int>(::GetLastError()), "CreateProcessW", program);
  }
  ::CloseHandle(started.hThread);
  child_ = reinterpret_cast<intptr_t>(started.hProcess);
  return Status();
}

Status Process::Wait(int* exit_code) {
  if (child_ == 0) return Failed(ERROR_INVALID_HANDLE, "wait for process", "");
  const HANDLE process = reinterpret_cast<HANDLE>(child_);
  if (::WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0) {
    return Failed(static_cast<int>(::GetLastError()), "WaitForSingleObject", "");
  }
  DWORD code = 0;
  const bool have_code = ::GetExitCodeProcess(process, &code) != 0;
  const DWORD error = ::GetLastError();
  ::CloseHandle(process);
  child_ = 0;
  if (!have_code) return Failed(static_cast<int>(error), "GetExitCodeProcess", "");
  if (exit_code != nullptr) *exit_code = static_cast<int>(code);
  return Status();
}

}  // namespace platform
