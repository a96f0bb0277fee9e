// skva.dat as the import reads it: the length prefix, the zlib stream and the
// SettingAggregation inside, then every record's fields as the import and
// portelle-examine walk them.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "package/PackageDataFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SKVA_Server_Settings::SettingAggregation package;
  const package::PackageStatus status = package::DecodePackageData(
      std::string_view(reinterpret_cast<const char*>(data), size), u"fuzz", &package);
  if (!status.ok()) return 0;
  size_t total = package.global_config_string().size();
  for (const SKVA_Server_Settings::ScanConfigs& record : package.scanconfigs()) {
    total += record.domain_uid().size() + record.domain_name().size() +
             record.config_string().size() + record.parent_uid().size() +
             record.computer_name().size();
  }
  // Writing it again must give a message that reads back.
  const std::string again = package.SerializeAsString();
  SKVA_Server_Settings::SettingAggregation reread;
  if (!reread.ParseFromString(again)) __builtin_trap();
  return total == SIZE_MAX ? 1 : 0;
}
