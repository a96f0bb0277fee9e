#include "import/TextModeFile.h"

#include "platform/file_system.h"
#include "platform/text.h"

namespace text_mode {
namespace {

constexpr char kByteOrderMark[] = "\xFF\xFE";

}  // namespace

std::string NarrowBytes(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 16);
  for (const char c : bytes) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

std::string UnicodeBytes(std::u16string_view text) {
  std::u16string lines;
  lines.reserve(text.size() + text.size() / 16);
  for (const char16_t unit : text) {
    if (unit == u'\n') lines.push_back(u'\r');
    lines.push_back(unit);
  }
  return platform::TextToUtf16Le(lines);
}

platform::Status CreateUnicodeFile(std::u16string_view name) {
  // A new file replaces whatever is at the name, a link included, by a
  // rename: the file a planted link points to is never written.
  return platform::WriteFileAtomically(name, std::string_view(kByteOrderMark, 2));
}

platform::Status AppendUnicodeText(std::u16string_view name, std::u16string_view text) {
  platform::FileInfo info;
  const bool empty = !platform::GetFileInfo(name, &info).ok() || info.size == 0;
  std::string bytes = empty ? std::string(kByteOrderMark, 2) : std::string();
  bytes += UnicodeBytes(text);
  platform::File file;
  platform::Status status = file.Open(name, platform::File::Mode::kAppend);
  if (!status.ok()) return status;
  status = file.Write(bytes.data(), bytes.size());
  const platform::Status closed = file.Close();
  return status.ok() ? closed : status;
}

}  // namespace text_mode
