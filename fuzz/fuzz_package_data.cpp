// skva.dat as the import reads it: the length prefix, the zlib stream and the
// SettingAggregation inside, then every record's fields as the import and
// portelle-examine walk them.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "package/PackageDataFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  SKVA_Server_Settings::SettingAggregation package;
  const package::PackageStatus status = package::DecodePackageData(bytes, u"fuzz", &package);
  // The import's decoding, with the records left serialised, accepts exactly
  // the same packages and yields the same records.
  SKVA_Server_Settings::SettingAggregation fields;
  package::PackageRecords records;
  const package::PackageStatus split =
      package::DecodePackageData(bytes, u"fuzz", &fields, &records);
  if (split.kind() != status.kind()) __builtin_trap();
  if (!status.ok()) return 0;
  if (records.size() != static_cast<size_t>(package.scanconfigs_size())) __builtin_trap();
  SKVA_Server_Settings::ScanConfigs record;
  for (size_t i = 0; i < records.size(); ++i) {
    records.Parse(i, &record);
    if (record.SerializeAsString() !=
        package.scanconfigs(static_cast<int>(i)).SerializeAsString()) {
      __builtin_trap();
    }
  }
  fields.mutable_scanconfigs()->CopyFrom(package.scanconfigs());
  if (fields.SerializeAsString() != package.SerializeAsString()) __builtin_trap();
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
