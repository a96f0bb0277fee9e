// The import's rewrite of a package's Config_String with the target's move
// directories: any bytes in, a stream that reads back to the same stream.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "import/ScanConfigStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::array<std::u16string, scan_config_layout::kMoveDirCount> kMoveDirs = {
      u"C:\\Program Files\\Bastionel\\Move", u"", u"D:\\Quarantine", u"Move Dir 4"};
  const std::string config(reinterpret_cast<const char*>(data), size);
  const NormalizedScanConfig normalized = NormalizeScanConfig(config, kMoveDirs);
  if (normalized.damaged) {
    if (normalized.list_count <= normalized.tokens_after_count) __builtin_trap();
    return 0;
  }
  // The rewritten stream is in normal form: rewriting it again changes
  // nothing.
  const NormalizedScanConfig again = NormalizeScanConfig(normalized.stream, kMoveDirs);
  if (again.damaged || again.stream != normalized.stream) __builtin_trap();
  return 0;
}
