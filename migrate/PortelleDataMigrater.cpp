#include "migrate/PortelleDataMigrater.h"

#include <algorithm>
#include <new>
#include <utility>

#include "log/DebugLog.h"
#include "migrate/PortelleDataMigraterV10.h"
#include "migrate/PortelleDataMigraterV105.h"
#include "migrate/PortelleDataMigraterV105_P1.h"
#include "migrate/PortelleDataMigraterV106.h"
#include "migrate/PortelleDataMigraterV106_SP1.h"
#include "migrate/PortelleDataMigraterV10SP1.h"
#include "migrate/PortelleDataMigraterV8.h"
#include "package/ScanConfigLayout.h"
#include "package/ServerVersions.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace {

constexpr char16_t kGlobalSetting[] = u"Global Setting";

void LogGroupFirst(std::u16string_view log_source, std::u16string_view function,
                   std::u16string_view name, const std::u16string& value, bool parenthesised) {
  if (parenthesised) {
    DebugLog(8, log_source, __LINE__, u"%s - %s = (%s)", function, name, value);
  } else {
    DebugLog(8, log_source, __LINE__, u"%s - %s = %s", function, name, value);
  }
}

// Null when the allocation fails, so that the export can report it.
template <typename Migrater>
std::unique_ptr<CDataMigrater> Make(const std::u16string& install_path,
                                    IMigraterDatabase& database) {
  return std::unique_ptr<CDataMigrater>(new (std::nothrow) Migrater(install_path, database));
}

}  // namespace

CDataMigrater::CDataMigrater(std::u16string install_path, IMigraterDatabase& database)
    : m_wstrInstallPath(std::move(install_path)), m_database(database) {}

CDataMigrater::~CDataMigrater() = default;

bool CDataMigrater::NeedExportClientPwd() const { return true; }

bool CDataMigrater::NeedMigrateWatchDogSettings() const { return false; }

std::u16string CDataMigrater::MainIniPath() const { return m_wstrInstallPath + u"bsnscan.ini"; }

std::u16string CDataMigrater::PrivateIniPath() const {
  return m_wstrInstallPath + u"private\\bsnserver.ini";
}

int32_t CDataMigrater::ReadMainIniInt(const char16_t* section, const char16_t* key,
                                      int32_t default_value) const {
  return static_cast<int32_t>(
      platform::GetPrivateProfileIntW(section, key, default_value, MainIniPath().c_str()));
}

int32_t CDataMigrater::ReadOleLayer() const {
  return ReadMainIniInt(kGlobalSetting, u"OleLayer", 1);
}

uint32_t CDataMigrater::ReadProtectionBits(bool with_ecsp) const {
  struct ProtectionKey {
    const char16_t* key;
    uint32_t bit;
  };
  static constexpr ProtectionKey kKeys[] = {
      {u"ECSP", 0x1000u},
      {u"SP_EnableFileProtection", 0x2000u},
      {u"SP_EnableRegistryKeyProtection", 0x4000u},
      {u"SP_EnableProcessProtection", 0x8000u},
  };
  uint32_t bits = 0;
  for (const ProtectionKey& k : kKeys) {
    if (!with_ecsp && k.bit == 0x1000u) continue;
    if (ReadMainIniInt(kGlobalSetting, k.key, 1) != 0) bits |= k.bit;
  }
  return bits;
}

uint32_t CDataMigrater::QueryStatus(const std::u16string& domain_uid) const {
  int32_t status = 0;
  if (!m_database.GetStatus(domain_uid, &status)) status = 0;
  return MoveBit400(static_cast<uint32_t>(status));
}

uint32_t CDataMigrater::QueryDestScanType(const std::u16string& domain_uid) const {
  uint32_t type = 0;
  if (!m_database.GetDestScanType(domain_uid, &type)) type = 0;
  return type;
}

uint32_t CDataMigrater::QueryServiceSwitch(const std::u16string& domain_uid) const {
  uint32_t first = 0;
  int32_t second = 0;
  int32_t third = 0;
  if (!m_database.GetServiceSwitch(domain_uid, &first, &second, &third)) first = 0;
  return first;
}

std::vector<int32_t> CDataMigrater::QuerySpywareWhiteList(const std::u16string& domain_uid) const {
  std::vector<int32_t> entries;
  int32_t count = scan_config_layout::kMaxListEntries;
  if (!m_database.GetSpywareWhiteList(domain_uid, &entries, &count)) return {};
  // The count decides how many entries are written, and with V10 how many
  // source tokens are taken as entries; it never exceeds what the list holds.
  const size_t reported = count > 0 ? static_cast<size_t>(count) : 0;
  entries.resize(std::min(
      {reported, entries.size(), static_cast<size_t>(scan_config_layout::kMaxListEntries)}));
  return entries;
}

CCmdProtocol CDataMigrater::SourceReader(const std::string& source) {
  return CCmdProtocol(std::string_view(source));
}

void CDataMigrater::AssignResult(const CCmdProtocol& writer, std::string* result) {
  *result = platform::TextToUtf16Le(std::u16string_view(writer.GetString(), writer.GetLength()));
}

void CDataMigrater::CopyStringGroups(CCmdProtocol& reader, CCmdProtocol& writer,
                                     std::u16string_view log_source, std::u16string_view function,
                                     bool parenthesised, bool log_last_folder) {
  using namespace scan_config_layout;
  std::u16string value;
  for (size_t position = kFirstTextPosition; position <= kFixedCount; ++position) {
    reader.NextToken(value);
    const bool group_first = position == kExtListPosition || position == kMoveDirPosition ||
                             position == kExcludePosition || position == kExExtendPosition ||
                             position == kExFolderPosition;
    if (group_first || (log_last_folder && position == kFixedCount)) {
      LogGroupFirst(log_source, function, FixedField(position).name, value, parenthesised);
    }
    const bool move_dir =
        position >= kMoveDirPosition && position < kMoveDirPosition + kMoveDirCount;
    writer.AppendToken(move_dir ? std::u16string_view() : std::u16string_view(value));
  }
}

uint32_t CDataMigrater::CopyScanGroup(CCmdProtocol& reader, CCmdProtocol& writer,
                                      bool move_bit_4000, int32_t ole_layer) {
  uint32_t flag = 0;
  uint32_t layer = 0;
  reader.ReadDword(flag).ReadDword(layer);
  if (move_bit_4000) flag = MoveBit4000(flag);
  writer.AppendDword(ApplyOleMark(flag, ole_layer)).AppendDword(layer);
  writer.AppendInt(ole_layer).AppendInt(4);
  return layer;
}

void CDataMigrater::CopyDwords(CCmdProtocol& reader, CCmdProtocol& writer, size_t count) {
  uint32_t value = 0;
  for (size_t i = 0; i < count; ++i) {
    reader.ReadDword(value);
    writer.AppendDword(value);
  }
}

void CDataMigrater::CopyTailFields(CCmdProtocol& reader, CCmdProtocol& writer, size_t first_tail,
                                   size_t last_tail, std::u16string_view log_source,
                                   std::u16string_view function) {
  using namespace scan_config_layout;
  std::u16string text;
  uint32_t number = 0;
  for (size_t tail = first_tail; tail <= last_tail; ++tail) {
    const Field& field = TailField(tail);
    if (field.kind == FieldKind::kText) {
      reader.NextToken(text);
      if (tail >= kTailDlpListFirst) {
        DebugLog(8, log_source, __LINE__, u"%s - %s = (%s)", function, field.name, text);
      } else {
        DebugLog(8, log_source, __LINE__, u"%s - %s = %s", function, field.name, text);
      }
      writer.AppendToken(text);
    } else {
      reader.ReadDword(number);
      if (tail == kTailVigilEnable) {
        DebugLog(8, log_source, __LINE__, u"%s - VIGIL %s = %d", function, field.name, number);
      } else {
        DebugLog(8, log_source, __LINE__, u"%s - %s = %d", function, field.name, number);
      }
      writer.AppendDword(number);
    }
  }
}

void CDataMigrater::AppendCacheDays(CCmdProtocol& writer) {
  writer.AppendInt(28).AppendInt(60).AppendInt(30);
}

void CDataMigrater::AppendList(CCmdProtocol& writer, const std::vector<int32_t>& entries) {
  writer.AppendInt(static_cast<int32_t>(entries.size()));
  for (const int32_t entry : entries) writer.AppendInt(entry);
}

void CDataMigrater::AppendTailDefaults(CCmdProtocol& writer, size_t first_tail) {
  using namespace scan_config_layout;
  for (size_t tail = first_tail; tail <= kTailCount; ++tail) {
    if (TailField(tail).kind == FieldKind::kText) {
      writer.AppendToken(std::u16string_view());
    } else {
      writer.AppendInt(0);
    }
  }
}

std::unique_ptr<CDataMigrater> CreateDataMigrater(double version, int32_t service_pack,
                                                  int32_t patch, const std::u16string& install_path,
                                                  IMigraterDatabase& database) {
  if (version < server_versions::k10Threshold) return Make<CDataMigraterV8>(install_path, database);
  if (version < server_versions::k105Threshold) {
    return service_pack != 0 ? Make<CDataMigraterV10SP1>(install_path, database)
                             : Make<CDataMigraterV10>(install_path, database);
  }
  if (version < server_versions::k106Threshold) {
    return patch != 0 ? Make<CDataMigraterV105_P1>(install_path, database)
                      : Make<CDataMigraterV105>(install_path, database);
  }
  return service_pack != 0 ? Make<CDataMigraterV106_SP1>(install_path, database)
                           : Make<CDataMigraterV106>(install_path, database);
}
