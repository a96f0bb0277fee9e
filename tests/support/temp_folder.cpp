#include "tests/support/temp_folder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/text.h"

namespace testing_support {
namespace fs = std::filesystem;

TempFolder::TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/portelle-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
}

TempFolder::~TempFolder() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  for (const auto& entry : fs::recursive_directory_iterator(path_, ec)) {
    if (entry.is_directory(ec)) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
  }
  fs::remove_all(path_, ec);
}

std::u16string TempFolder::wpath() const { return platform::Utf8ToUtf16(path_); }

std::string TempFolder::Native(std::string_view relative) const {
  std::string r(relative);
  std::replace(r.begin(), r.end(), '\\', '/');
  return path_ + r;
}

std::u16string TempFolder::Wide(std::string_view relative) const {
  return platform::Utf8ToUtf16(Native(relative));
}

void TempFolder::Write(std::string_view relative, std::string_view bytes) const {
  const fs::path p = Native(relative);
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

std::string TempFolder::Read(std::string_view relative) const {
  std::ifstream in(Native(relative), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TempFolder::Exists(std::string_view relative) const {
  std::error_code ec;
  return fs::exists(Native(relative), ec);
}

void TempFolder::MakeFolder(std::string_view relative) const {
  fs::create_directories(Native(relative));
}

}  // namespace testing_support
