#include "import/SystemPath.h"

#include "platform/text.h"

namespace import_paths {

bool ToSystemPath(std::u16string_view path, std::string* narrow) {
  std::string converted = platform::ToSystemCodePage(path);
  if (converted.size() > platform::kMaxSystemPathBytes) return false;
  *narrow = std::move(converted);
  return true;
}

}  // namespace import_paths
