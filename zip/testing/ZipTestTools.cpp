#include "zip/testing/ZipTestTools.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "log/DebugLog.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "platform/text.h"

namespace zip_testing {

bool PythonCanStart() {
#ifdef _WIN32
  static const bool started = std::system("python3 --version > NUL 2>&1") == 0;
  return started;
#else
  return true;
#endif
}

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

namespace {

uint32_t Crc32(std::string_view bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Put16(std::string* out, uint32_t value) {
  out->push_back(static_cast<char>(value & 0xFF));
  out->push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string* out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

}  // namespace

bool WriteStoredArchive(const std::string& archive,
                        const std::vector<std::pair<std::string, std::string>>& members) {
  constexpr uint32_t kDosDate = (0 << 9) | (1 << 5) | 1;  // 1980-01-01
  std::string bytes;
  std::string directory;
  for (const auto& [name, data] : members) {
    const auto offset = static_cast<uint32_t>(bytes.size());
    const uint32_t crc = Crc32(data);
    const auto size = static_cast<uint32_t>(data.size());
    // Local header: signature, version needed, flags, method, time, date,
    // CRC, sizes, name length, extra length.
    Put32(&bytes, 0x04034b50);
    for (const uint32_t field : {20u, 0u, 0u, 0u, kDosDate}) Put16(&bytes, field);
    for (const uint32_t field : {crc, size, size}) Put32(&bytes, field);
    Put16(&bytes, static_cast<uint32_t>(name.size()));
    Put16(&bytes, 0);
    bytes += name;
    bytes += data;
    // Central directory entry: the same, with the version made by, comment
    // length, disk, attributes and the local header's offset.
    Put32(&directory, 0x02014b50);
    for (const uint32_t field : {20u, 20u, 0u, 0u, 0u, kDosDate}) Put16(&directory, field);
    for (const uint32_t field : {crc, size, size}) Put32(&directory, field);
    Put16(&directory, static_cast<uint32_t>(name.size()));
    for (const uint32_t field : {0u, 0u, 0u, 0u}) Put16(&directory, field);
    Put32(&directory, 0);
    Put32(&directory, offset);
    directory += name;
  }
  const auto directory_offset = static_cast<uint32_t>(bytes.size());
  bytes += directory;
  // End of central directory: signature, disks, entry counts, directory
  // size and offset, comment length.
  Put32(&bytes, 0x06054b50);
  const auto count = static_cast<uint32_t>(members.size());
  for (const uint32_t field : {0u, 0u, count, count}) Put16(&bytes, field);
  Put32(&bytes, static_cast<uint32_t>(directory.size()));
  Put32(&bytes, directory_offset);
  Put16(&bytes, 0);
  std::ofstream out(std::filesystem::path(platform::NativePath(archive)),
                    std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
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
