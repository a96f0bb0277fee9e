// The registry on Windows: the system's registry, read through the 64-bit
// view with query-value access, or the registry store file when
// BASTIONEL_REGISTRY names one.
#include <windows.h>

#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/registry_file.h"
#include "platform/status.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr wchar_t kStoreVariable[] = L"BASTIONEL_REGISTRY";

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The store file BASTIONEL_REGISTRY names, or empty for the system's
// registry.
std::u16string StoreFile() {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD n =
        ::GetEnvironmentVariableW(kStoreVariable, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::u16string();
    if (n < buffer.size())
      return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), n);
    buffer.resize(n);
  }
}

HKEY RootHandle(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
  }
  return nullptr;
}

}  // namespace

const int kErrorRegistryValueType = ERROR_UNSUPPORTED_TYPE;
const int kErrorRegistryMoreData = ERROR_MORE_DATA;

RegistryStoreInfo DescribeRegistryStore() {
  RegistryStoreInfo info;
  info.path = StoreFile();
  if (!info.path.empty()) info.exists = PathExists(std::u16string_view(info.path));
  info.variable = FromSystemCodePage("BASTIONEL_REGISTRY");
  return info;
}

// An open key of the system's registry, or the values of a key of the store
// file, copied when it was opened.
struct RegistryKey::State {
  HKEY key = nullptr;
  RegistryValues values;

  ~State() {
    if (key != nullptr) ::RegCloseKey(key);
  }
};

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&& other) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept = default;

bool RegistryKey::Open(RegistryRoot root, std::u16string_view subkey) {
  Close();
  auto state = std::make_unique<State>();
  const std::u16string store = StoreFile();
  if (!store.empty()) {
    if (!OpenRegistryFileKey(NativePath(std::u16string_view(store)),
                             RegistryFileKeyPath(root, subkey), &state->values)) {
      return false;
    }
  } else {
    const std::u16string name(subkey);
    const LONG result = ::RegOpenKeyExW(RootHandle(root), Wide(name), 0,
                                        KEY_QUERY_VALUE | KEY_WOW64_64KEY, &state->key);
    if (result != ERROR_SUCCESS) {
      state->key = nullptr;
      ::SetLastError(static_cast<DWORD>(result));
      return false;
    }
  }
  state_ = std::move(state);
  return true;
}

bool RegistryKey::is_open() const { return state_ != nullptr; }

void RegistryKey::Close() { state_.reset(); }

bool RegistryKey::QueryString(std::u16string_view name, size_t capacity_units,
                              std::u16string* value) const {
  if (state_ == nullptr || state_->key == nullptr) {
    return QueryRegistryFileString(state_ ? &state_->values : nullptr, name, capacity_units, value);
  }
  // The caller's buffer, as the registry fills it: the value's bytes, with
  // or without a terminator.
  std::vector<char16_t> buffer(capacity_units);
  DWORD type = 0;
  DWORD size = static_cast<DWORD>(buffer.size() * sizeof(char16_t));
  const std::u16string value_name(name);
  const LONG result = ::RegQueryValueExW(state_->key, Wide(value_name), nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer.data()), &size);
  if (result != ERROR_SUCCESS) {
    ::SetLastError(static_cast<DWORD>(result));
    return false;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    ::SetLastError(ERROR_UNSUPPORTED_TYPE);
    return false;
  }
  // A value stored without its terminator still needs room for one in the
  // caller's buffer; the text ends at its first NUL.
  size_t length = size / sizeof(char16_t);
  for (size_t i = 0; i < length; ++i) {
    if (buffer[i] == u'\0') {
      length = i;
      break;
    }
  }
  if (length >= capacity_units) {
    ::SetLastError(ERROR_MORE_DATA);
    return false;
  }
  value->assign(buffer.data(), length);
  return true;
}

bool RegistryKey::QueryDword(std::u16string_view name, uint32_t* value) const {
  if (state_ == nullptr || state_->key == nullptr) {
    return QueryRegistryFileDword(state_ ? &state_->values : nullptr, name, value);
  }
  const std::u16string value_name(name);
  DWORD type = 0;
  DWORD size = 0;
  LONG result = ::RegQueryValueExW(state_->key, Wide(value_name), nullptr, &type, nullptr, &size);
  if (result != ERROR_SUCCESS) {
    ::SetLastError(static_cast<DWORD>(result));
    return false;
  }
  if (type != REG_DWORD || size != sizeof(DWORD)) {
    ::SetLastError(ERROR_UNSUPPORTED_TYPE);
    return false;
  }
  DWORD number = 0;
  result = ::RegQueryValueExW(state_->key, Wide(value_name), nullptr, &type,
                              reinterpret_cast<BYTE*>(&number), &size);
  if (result != ERROR_SUCCESS || type != REG_DWORD) {
    ::SetLastError(result != ERROR_SUCCESS ? static_cast<DWORD>(result) : ERROR_UNSUPPORTED_TYPE);
    return false;
  }
  *value = number;
  return true;
}

}  // namespace platform
