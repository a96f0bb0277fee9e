// SvcCfgRunner: stand-in for the server's setup executable. It migrates
// nothing; it records how it was called into SvcCfgRunner.calls.txt in its
// current folder (the install folder when the import starts it) and exits 0.
// One call appends, each line's fields separated by TABs:
//   call      the current folder
//   arg       index, text                          for argv[0] onwards
//   file      index, size in bytes                 for each argument naming
//                                                  an existing file
// and each such file is copied to SvcCfgRunner.given.<index>, so that a test
// can look at what the program was given after the caller has removed it.
// Arguments name files as on Windows: backslashes and any letter case.
#include <cstdio>
#include <string>

#include "platform/file_system.h"
#include "platform/text.h"

namespace {

constexpr char kCallsFile[] = "SvcCfgRunner.calls.txt";

}  // namespace

int main(int argc, char** argv) {
  std::u16string folder;
  if (!platform::GetCurrentFolder(&folder).ok()) folder.clear();
  std::string record = "call\t" + platform::Utf16ToUtf8(folder) + "\n";
  for (int i = 0; i < argc; ++i) {
    record += "arg\t" + std::to_string(i) + "\t" + argv[i] + "\n";
  }
  for (int i = 1; i < argc; ++i) {
    const std::u16string name = platform::Utf8ToUtf16(argv[i]);
    platform::FileInfo info;
    if (!platform::GetFileInfo(name, &info).ok() || info.is_folder) continue;
    record += "file\t" + std::to_string(i) + "\t" + std::to_string(info.size) + "\n";
    platform::CopyFile(name, platform::Utf8ToUtf16("SvcCfgRunner.given." + std::to_string(i)),
                       false);
  }
  // Binary, so that the lines end in "\n" on every system.
  std::FILE* calls = std::fopen(kCallsFile, "ab");
  if (calls == nullptr) return 1;
  std::fputs(record.c_str(), calls);
  return std::fclose(calls) == 0 ? 0 : 1;
}
