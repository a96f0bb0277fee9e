// The registry store's text form: a registry export file as the system's
// registry editor writes it, parsed into keys and values.
//
// Accepted form:
//   - bytes in UTF-8 (with or without byte-order mark) or UTF-16LE with a
//     byte-order mark; lines end in LF or CR LF;
//   - the first non-blank line is `Windows Registry Editor Version 5.00` or
//     `REGEDIT4`; text without that header holds no keys;
//   - `[ROOT\path]` starts a key (its parent keys exist with it);
//     `[-ROOT\path]` deletes a key with all its subkeys;
//   - `"Name"="text"` is a string, `"Name"=dword:0000000a` a 32-bit number
//     (1 to 8 hex digits), `"Name"=-` deletes the value, `@=` sets the default
//     value (empty name); in quoted text a backslash followed by a backslash
//     or a quote stands for that character, any other backslash for itself;
//   - `hex:...` and `hex(n):...` data, continued over lines that end in a
//     backslash, gives a value of another type, kept but not decoded;
//   - ';' starts a comment line, or a comment after a complete value.
// Later lines override earlier ones, as an import in file order would.
// Any other line is skipped.
#ifndef PORTELLE_PLATFORM_REGISTRY_FILE_H_
#define PORTELLE_PLATFORM_REGISTRY_FILE_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace platform {

enum class RegistryRoot;

struct RegistryValue {
  enum class Type { kString, kDword, kOther };
  Type type = Type::kOther;
  std::u16string text;  // kString
  uint32_t dword = 0;   // kDword
};

// The values of one key, by case-folded name (FoldCaseCopy); "" is the
// default value.
using RegistryValues = std::map<std::u16string, RegistryValue>;

class RegistryFile {
 public:
  static RegistryFile Parse(std::string_view bytes);

  // The key with the full path `path` ("HKEY_LOCAL_MACHINE\\SOFTWARE\\..."),
  // compared ignoring case; nullptr when the file does not hold it.
  const RegistryValues* FindKey(std::u16string_view path) const;

 private:
  std::map<std::u16string, RegistryValues> keys_;  // by case-folded path
};

// The registry store file's side of RegistryKey, the same on every system.
// Each sets GetLastError() on failure, with the codes registry.h lists.

// "HKEY_LOCAL_MACHINE\\subkey": the full path of a key as the file names it.
std::u16string RegistryFileKeyPath(RegistryRoot root, std::u16string_view subkey);

// The values of the key `path` (root included) in the store file at
// `native_store_path`, read now; a file that cannot be read holds no keys
// and gives its reading error.
bool OpenRegistryFileKey(const std::string& native_store_path, std::u16string_view path,
                         RegistryValues* values);

// Queries in the values of an open key (`values` null for a closed key),
// with RegistryKey's rules.
bool QueryRegistryFileString(const RegistryValues* values, std::u16string_view name,
                             size_t capacity_units, std::u16string* value);
bool QueryRegistryFileDword(const RegistryValues* values, std::u16string_view name,
                            uint32_t* value);

}  // namespace platform

#endif  // PORTELLE_PLATFORM_REGISTRY_FILE_H_
