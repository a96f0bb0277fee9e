// The registry-file parser: any bytes, then the look-ups of the keys the
// program reads.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/registry_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const platform::RegistryFile file =
      platform::RegistryFile::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const char16_t* key :
       {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Bastionel\\Bastionel Security Server",
        u"HKEY_LOCAL_MACHINE\\SOFTWARE", u"HKEY_CURRENT_USER\\Software\\A", u""}) {
    if (const platform::RegistryValues* values = file.FindKey(key)) {
      for (const auto& [name, value] : *values) {
        if (value.type == platform::RegistryValue::Type::kString && value.text.size() == SIZE_MAX) {
          __builtin_trap();
        }
      }
    }
  }
  return 0;
}
