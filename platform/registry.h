// Read-only access to one registry key, shaped after the Windows calls the
// program makes (open with query-value access, query a string or a 32-bit
// number, close).
//
// On Windows the key is read from the system's registry (its 64-bit view).
// Elsewhere the registry is a file in registry export form (registry_file.h)
// at $BASTIONEL_REGISTRY, or /etc/bastionel/registry.reg when that variable
// is unset or empty; Windows reads that file instead of its registry too when
// the variable names one, so that a test can hand the program a key of its
// own. The file is read at every Open; a file that is missing or cannot be
// read holds no keys. Key and value names compare ignoring case.
//
// Failures set platform::GetLastError(): kErrorFileNotFound for a missing
// key or value, kErrorRegistryValueType for a value of another type,
// kErrorRegistryMoreData for a string too long for the caller's buffer,
// kErrorInvalidHandle for a query on a closed key, or the error of reading
// the file or the registry.
#ifndef PORTELLE_PLATFORM_REGISTRY_H_
#define PORTELLE_PLATFORM_REGISTRY_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// The errors of a value of another type and of a string too long for the
// caller's buffer: EINVAL and ERANGE here, ERROR_UNSUPPORTED_TYPE (1630) and
// ERROR_MORE_DATA (234) on Windows.
extern const int kErrorRegistryValueType;
extern const int kErrorRegistryMoreData;

// Where the registry's values come from, for telling a user who finds none
// where to look: the registry file, whether it exists, and the environment
// variable that names it; `path` empty when the values come from the
// system's own registry.
struct RegistryStoreInfo {
  std::u16string path;  // the registry file
  bool exists = false;
  std::u16string variable;  // the environment variable that names another file
};
RegistryStoreInfo DescribeRegistryStore();

enum class RegistryRoot {
  kLocalMachine,  // HKEY_LOCAL_MACHINE
};

class RegistryKey {
 public:
  RegistryKey();
  ~RegistryKey();
  RegistryKey(RegistryKey&& other) noexcept;
  RegistryKey& operator=(RegistryKey&& other) noexcept;

  // Opens `subkey` ("SOFTWARE\\Korvane\\...") below `root` for querying
  // values, closing the key held before. False when the key does not exist.
  bool Open(RegistryRoot root, std::u16string_view subkey);
  bool is_open() const;
  void Close();

  // A string value, for a caller whose buffer holds `capacity_units` UTF-16
  // units including the terminator: fails when the value is absent, is not a
  // string, or needs more than capacity_units units with its terminator.
  // `name` empty is the key's default value. *value is unchanged on failure.
  bool QueryString(std::u16string_view name, size_t capacity_units, std::u16string* value) const;

  // A 32-bit number value; fails when absent or of another type. *value is
  // unchanged on failure.
  bool QueryDword(std::u16string_view name, uint32_t* value) const;

 private:
  struct State;
  std::unique_ptr<State> state_;  // null while closed
};

}  // namespace platform

#endif  // PORTELLE_PLATFORM_REGISTRY_H_
