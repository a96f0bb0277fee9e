#include "tests/support/temp_folder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/system.h"
#include "platform/text.h"

namespace testing_support {
namespace fs = std::filesystem;
namespace {

// A narrow path of ours (system code page) as the library takes it: wide, so
// that nothing depends on how the library reads narrow text.
fs::path Path(const std::string& narrow) { return fs::path(platform::FromSystemCodePage(narrow)); }

}  // namespace

TempFolder::TempFolder() {
  // $TMPDIR or /tmp here, the user's temporary folder (GetTempPathW) on
  // Windows; generic separators either way, so that paths join with '/'.
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) throw std::runtime_error("no temporary folder: " + ec.message());
  for (int attempt = 0; attempt < 100; ++attempt) {
    platform::Guid guid;
    if (!platform::CreateGuid(&guid)) throw std::runtime_error("CreateGuid failed");
    char name[32];
    std::snprintf(name, sizeof name, "portelle-%08x%04x", static_cast<unsigned>(guid.data1),
                  static_cast<unsigned>(guid.data2));
    const fs::path folder = base / name;
    if (fs::create_directory(folder, ec)) {
      // Owner-only, as mkdtemp makes it (Windows keeps only the read-only bit).
      fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
      path_ = platform::ToSystemCodePage(folder.generic_u16string()) + "/";
      return;
    }
    if (ec) throw std::runtime_error("cannot create " + folder.string() + ": " + ec.message());
  }
  throw std::runtime_error("no free temporary folder name");
}

TempFolder::~TempFolder() {
  std::error_code ec;
  const fs::path root = Path(path_);
  fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
  for (const auto& entry : fs::recursive_directory_iterator(root, ec)) {
    if (entry.is_directory(ec)) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
  }
  fs::remove_all(root, ec);
}

std::u16string TempFolder::wpath() const { return platform::FromSystemCodePage(path_); }

std::string TempFolder::Native(std::string_view relative) const {
  std::string r(relative);
  std::replace(r.begin(), r.end(), '\\', '/');
  return path_ + r;
}

std::u16string TempFolder::Wide(std::string_view relative) const {
  return platform::FromSystemCodePage(Native(relative));
}

void TempFolder::Write(std::string_view relative, std::string_view bytes) const {
  const fs::path p = Path(Native(relative));
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

std::string TempFolder::Read(std::string_view relative) const {
  std::ifstream in(Path(Native(relative)), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TempFolder::Exists(std::string_view relative) const {
  std::error_code ec;
  return fs::exists(Path(Native(relative)), ec);
}

void TempFolder::MakeFolder(std::string_view relative) const {
  fs::create_directories(Path(Native(relative)));
}

}  // namespace testing_support
