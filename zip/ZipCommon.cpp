#include "zip/ZipCommon.h"

#include "platform/text.h"

namespace {

constexpr size_t kMaxNameBeforeSuffix = 256;
constexpr std::string_view kArchiveSuffix = ".Zip";

}  // namespace

std::string NormalizeArchiveName(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && platform::EqualsIgnoreCase(name.substr(dot + 1), "zip")) {
    return std::string(name.substr(0, kMaxZipPath));
  }
  std::string normalized(name.substr(0, kMaxNameBeforeSuffix));
  normalized += kArchiveSuffix;
  return normalized;
}

std::string JoinZipPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '\\';
  path += name;
  return path;
}
