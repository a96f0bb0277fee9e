#include "zip/testing/ZipTestTools.h"

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "log/DebugLog.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "platform/text.h"

namespace zip_testing {

std::string RunPython(const testing_support::TempFolder& dir, std::string_view script,
                      const std::string& args, int* exit_code) {
  dir.Write("script.py", script);
  const std::string command =
      "cd '" + dir.path() + "' && python3 script.py " + args + " > script.out";
  *exit_code = std::system(command.c_str());
  return dir.Read("script.out");
}

std::vector<std::string> ListWithPython(const testing_support::TempFolder& dir,
                                        const std::string& archive) {
  constexpr std::string_view kScript = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    for i, info in enumerate(z.infolist()):
        print("%s|%04d-%02d-%02d %02d:%02d:%02d|%d|%d" %
              ((info.filename,) + info.date_time + (info.compress_type, info.file_size)))
        with open("member%d" % i, "wb") as out:
            out.write(z.read(info))
    if z.testzip() is None:
        print("crc ok")
)";
  int exit_code = 0;
  const std::string out = RunPython(dir, kScript, "'" + archive + "'", &exit_code);
  std::vector<std::string> lines;
  if (exit_code != 0) return lines;
  std::istringstream stream(out);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

bool WriteWithPython(const testing_support::TempFolder& dir, const std::string& archive,
                     std::string_view statements) {
  std::string script =
      "import sys, zipfile\nwith zipfile.ZipFile(sys.argv[1], 'w') as z:\n    pass\n";
  std::istringstream lines{std::string(statements)};
  for (std::string line; std::getline(lines, line);) script += "    " + line + "\n";
  int exit_code = 0;
  RunPython(dir, script, "'" + archive + "'", &exit_code);
  return exit_code == 0;
}

ScopedCurrentFolder::ScopedCurrentFolder(const std::string& folder) {
  platform::GetCurrentFolder(&m_previous);
  platform::SetCurrentFolder(platform::Utf8ToUtf16(folder));
}

ScopedCurrentFolder::~ScopedCurrentFolder() { platform::SetCurrentFolder(m_previous); }

LogCapture::LogCapture() {
  m_listener.Listen(debug_log::kLogPipeName);
  debug_log::ProcessGate() = CLogGate(&platform::GetTickCount);
}

LogCapture::~LogCapture() { m_listener.Close(); }

std::vector<LogCapture::Line> LogCapture::Lines() {
  std::vector<Line> lines;
  // Each line is a connection of its own, queued until it is accepted.
  platform::PipeStream stream;
  while (m_listener.Accept(&stream, 0).ok()) {
    std::string bytes;
    char buffer[1024];
    size_t read = 0;
    while (stream.Read(buffer, sizeof buffer, &read, 1000).ok() && read > 0) {
      bytes.append(buffer, read);
    }
    std::u16string record(bytes.size() / 2, u'\0');
    std::memcpy(record.data(), bytes.data(), record.size() * 2);
    if (!record.empty() && record.back() == u'\0') record.pop_back();
    // LOG_WRITE, time, process, thread, level, source, line, text
    std::vector<std::string> fields;
    std::istringstream tokens(platform::Utf16ToUtf8(record));
    for (std::string field; fields.size() < 7 && std::getline(tokens, field, '\t');) {
      fields.push_back(field);
    }
    std::string text;
    std::getline(tokens, text, '\0');
    if (fields.size() < 7) continue;
    const size_t frame_end = text.find(']', text.find("[]") + 2);
    lines.push_back({std::atoi(fields[4].c_str()), fields[5],
                     frame_end == std::string::npos ? text : text.substr(frame_end + 1)});
    stream.Close();
  }
  return lines;
}

}  // namespace zip_testing
