#include <cerrno>
#include <cstdlib>
#include <utility>

#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/registry_file.h"
#include "platform/status.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr char kStoreVariable[] = "BASTIONEL_REGISTRY";
constexpr char kDefaultStorePath[] = "/etc/bastionel/registry.reg";

std::u16string_view RootName(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kLocalMachine:
      return u"HKEY_LOCAL_MACHINE";
  }
  return {};
}

std::string StorePath() {
  const char* path = std::getenv(kStoreVariable);
  return path != nullptr && *path != '\0' ? path : kDefaultStorePath;
}

const RegistryValue* FindValue(const RegistryValues* values, std::u16string_view name,
                               RegistryValue::Type type) {
  if (values == nullptr) {
    SetLastError(EBADF);
    return nullptr;
  }
  const auto it = values->find(FoldCaseCopy(name));
  if (it == values->end()) {
    SetLastError(ENOENT);
    return nullptr;
  }
  if (it->second.type != type) {
    SetLastError(EINVAL);
    return nullptr;
  }
  return &it->second;
}

}  // namespace

RegistryStoreInfo DescribeRegistryStore() {
  RegistryStoreInfo info;
  const std::string path = StorePath();
  info.path = FromSystemCodePage(path);
  info.exists = PathExists(std::string_view(path));
  info.variable = FromSystemCodePage(kStoreVariable);
  return info;
}

// A copy of the open key's values, taken from the file when it was opened.
struct RegistryKey::State {
  RegistryValues values;
};

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&& other) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept = default;

bool RegistryKey::Open(RegistryRoot root, std::u16string_view subkey) {
  Close();
  std::string bytes;
  const Status read = ReadNativeFile(StorePath(), &bytes);
  if (!read.ok()) {
    SetLastError(read.code());
    return false;
  }
  std::u16string path(RootName(root));
  if (!subkey.empty()) {
    path += u'\\';
    path += subkey;
  }
  const RegistryFile file = RegistryFile::Parse(bytes);
  const RegistryValues* values = file.FindKey(path);
  if (values == nullptr) {
    SetLastError(ENOENT);
    return false;
  }
  state_ = std::make_unique<State>(State{*values});
  return true;
}

bool RegistryKey::is_open() const { return state_ != nullptr; }

void RegistryKey::Close() { state_.reset(); }

bool RegistryKey::QueryString(std::u16string_view name, size_t capacity_units,
                              std::u16string* value) const {
  const RegistryValue* found =
      FindValue(state_ ? &state_->values : nullptr, name, RegistryValue::Type::kString);
  if (found == nullptr) return false;
  if (found->text.size() >= capacity_units) {
    SetLastError(ERANGE);
    return false;
  }
  *value = found->text;
  return true;
}

bool RegistryKey::QueryDword(std::u16string_view name, uint32_t* value) const {
  const RegistryValue* found =
      FindValue(state_ ? &state_->values : nullptr, name, RegistryValue::Type::kDword);
  if (found == nullptr) return false;
  *value = found->dword;
  return true;
}

}  // namespace platform
