// The registry on POSIX systems: the registry store file alone.
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

std::string StorePath() {
  const char* path = std::getenv(kStoreVariable);
  return path != nullptr && *path != '\0' ? path : kDefaultStorePath;
}

}  // namespace

const int kErrorRegistryValueType = EINVAL;
const int kErrorRegistryMoreData = ERANGE;

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
  RegistryValues values;
  if (!OpenRegistryFileKey(StorePath(), RegistryFileKeyPath(root, subkey), &values)) return false;
  state_ = std::make_unique<State>(State{std::move(values)});
  return true;
}

bool RegistryKey::is_open() const { return state_ != nullptr; }

void RegistryKey::Close() { state_.reset(); }

bool RegistryKey::QueryString(std::u16string_view name, size_t capacity_units,
                              std::u16string* value) const {
  return QueryRegistryFileString(state_ ? &state_->values : nullptr, name, capacity_units, value);
}

bool RegistryKey::QueryDword(std::u16string_view name, uint32_t* value) const {
  return QueryRegistryFileDword(state_ ? &state_->values : nullptr, name, value);
}

}  // namespace platform
