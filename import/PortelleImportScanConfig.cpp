// The import of one domain's scan configuration and DLP settings. The
// package's Config_String is not sent as it came: it is read token by token
// in the current layout and written anew, so that the target server's own
// move directories take the place of the source's and every number is in
// its normal form; the DLP settings are picked out of the same tokens.
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "dbclient/CmdProtocol.h"
#include "dbclient/dbcl_Command.h"
#include "dbclient/ipc_records.h"
#include "import/PortelleImport.h"
#include "import/ScanConfigStream.h"
#include "log/DebugLog.h"
#include "package/ScanConfigLayout.h"
#include "platform/profile.h"

namespace {

using scan_config_layout::FieldKind;
using scan_config_layout::FixedField;
using scan_config_layout::TailField;

constexpr char16_t kLogSource[] = u"PortelleImport";
constexpr char16_t kFunc[] = u"CImportSkvaSettings::ImportScanConfigs";

// The target's move directories are read into buffers of this many units.
constexpr uint32_t kMoveDirBufferSize = 1024;
constexpr std::array<const char16_t*, scan_config_layout::kMoveDirCount> kMoveDirSections = {
    u"Manual Scan Configuration", u"Real Time Scan Configuration",
    u"Prescheduled Scan Configuration", u"Scan Now Configuration"};

// Fixed positions whose values are logged.
constexpr bool IsLoggedFixedPosition(size_t position) {
  return position == 6 || position == 7 || position == 36 || position == 37 || position == 38 ||
         position == scan_config_layout::kExtListPosition ||
         position == scan_config_layout::kExcludePosition ||
         position == scan_config_layout::kExExtendPosition ||
         position == scan_config_layout::kExFolderPosition;
}

// The tail position of the field `name`; a name the layout lacks does not
// compile.
consteval size_t Tail(std::u16string_view name) {
  for (size_t t = 1; t <= scan_config_layout::kTailCount; ++t) {
    if (TailField(t).name == name) return t;
  }
  throw "no such tail field";
}

// The tail tokens as they were copied, by tail position.
struct TailValues {
  std::array<uint32_t, scan_config_layout::kTailCount + 1> numbers{};
  std::array<std::u16string, scan_config_layout::kTailCount + 1> texts;
};

// The configuration's whole characters, for the log.
std::u16string ConfigText(const std::string& bytes) {
  std::u16string text(bytes.size() / sizeof(char16_t), u'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * sizeof(char16_t));
  return text;
}

// Copies T1 to T47 by kind, logging each; 16-bit values are sent as signed
// numbers, so that 65535 arrives as -1.
void CopyTail(CCmdProtocol& reader, CCmdProtocol& writer, TailValues* values) {
  for (size_t t = 1; t <= scan_config_layout::kTailCount; ++t) {
    const scan_config_layout::Field& field = TailField(t);
    switch (field.kind) {
      case FieldKind::kText: {
        std::u16string& text = values->texts[t];
        reader.NextToken(text);
        writer.AppendToken(text);
        if (t >= scan_config_layout::kTailDlpListFirst) {
          DEBUG_LOG(68, u"%s - %s = (%s)", kFunc, field.name, text);
        } else {
          DEBUG_LOG(68, u"%s - %s = %s", kFunc, field.name, text);
        }
        break;
      }
      case FieldKind::kDword: {
        uint32_t& number = values->numbers[t];
        reader.ReadDword(number);
        writer.AppendDword(number);
        if (t == scan_config_layout::kTailVigilEnable) {
          DEBUG_LOG(68, u"%s - VIGIL m_dwEnable = %d", kFunc, number);
        } else {
          DEBUG_LOG(68, u"%s - %s = %d", kFunc, field.name, number);
        }
        break;
      }
      case FieldKind::kWord: {
        uint16_t word = 0;
        reader.ReadWord(word);
        const auto value = static_cast<int16_t>(word);
        values->numbers[t] = static_cast<uint32_t>(static_cast<int32_t>(value));
        writer.AppendInt(value);
        DEBUG_LOG(68, u"%s - %s = %d", kFunc, field.name, value);
        break;
      }
    }
  }
}

void FillDlpRecords(const TailValues& v, tagCln_DlpDCCfg* dc, tagCln_DlpClcCfg* clc) {
  const auto& n = v.numbers;
  const auto& t = v.texts;
  dc->m_dwDCFlagIn = n[Tail(u"m_dwDCFlagIn")];
  dc->m_dwDCFlagOut = n[Tail(u"m_dwDCFlagOut")];
  dc->m_dwDeviceIn = n[Tail(u"m_dwDeviceIn")];
  dc->m_dwDeviceOut = n[Tail(u"m_dwDeviceOut")];
  dc->m_strDevExceptionListIn = t[Tail(u"m_strDevExceptionListIn")];
  dc->m_strDevExceptionListOut = t[Tail(u"m_strDevExceptionListOut")];

  clc->m_dwClcFlagIn = n[Tail(u"m_dwClcFlagIn")];
  clc->m_dwClcFlagOut = n[Tail(u"m_dwClcFlagOut")];
  clc->m_strChannelListIn = t[Tail(u"m_strChannelListIn")];
  clc->m_strChannelListOut = t[Tail(u"m_strChannelListOut")];
  clc->m_dwActionIn = n[Tail(u"m_dwActionIn")];
  clc->m_dwActionOut = n[Tail(u"m_dwActionOut")];
  clc->m_dwCompressFileSizeIn = n[Tail(u"m_dwCompressFileSizeIn")];
  clc->m_dwCompressFileSizeOut = n[Tail(u"m_dwCompressFileSizeOut")];
  clc->m_sCompressLayerIn = static_cast<int16_t>(n[Tail(u"m_sCompressLayerIn")]);
  clc->m_sCompressLayerOut = static_cast<int16_t>(n[Tail(u"m_sCompressLayerOut")]);
  clc->m_dwCompressFileCountIn = n[Tail(u"m_dwCompressFileCountIn")];
  clc->m_dwCompressFileCountOut = n[Tail(u"m_dwCompressFileCountOut")];
  clc->m_strIpBlIn = t[Tail(u"m_strIpBlIn")];
  clc->m_strIpBlOut = t[Tail(u"m_strIpBlOut")];
  clc->m_strIpWlIn = t[Tail(u"m_strIpWlIn")];
  clc->m_strIpWlOut = t[Tail(u"m_strIpWlOut")];
  clc->m_strEmailBlIn = t[Tail(u"m_strEmailBlIn")];
  clc->m_strEmailBlOut = t[Tail(u"m_strEmailBlOut")];
  clc->m_strEmailWlIn = t[Tail(u"m_strEmailWlIn")];
  clc->m_strEmailWlOut = t[Tail(u"m_strEmailWlOut")];
  clc->m_strUsbBlIn = t[Tail(u"m_strUsbBlIn")];
  clc->m_strUsbBlOut = t[Tail(u"m_strUsbBlOut")];
  clc->m_strUsbWlIn = t[Tail(u"m_strUsbWlIn")];
  clc->m_strUsbWlOut = t[Tail(u"m_strUsbWlOut")];
  clc->m_strTemplateIn = t[Tail(u"m_strTemplateIn")];
  clc->m_strTemplateOut = t[Tail(u"m_strTemplateOut")];
}

}  // namespace

NormalizedScanConfig NormalizeScanConfig(
    const std::string& config,
    const std::array<std::u16string, scan_config_layout::kMoveDirCount>& move_dirs) {
  CCmdProtocol reader(config);
  CCmdProtocol writer;
  for (size_t p = 1; p < scan_config_layout::kFirstTextPosition; ++p) {
    uint32_t number = 0;
    reader.ReadDword(number);
    writer.AppendDword(number);
    if (IsLoggedFixedPosition(p)) DEBUG_LOG(68, u"%s - %s = %d", kFunc, FixedField(p).name, number);
  }
  for (size_t p = scan_config_layout::kFirstTextPosition; p <= scan_config_layout::kFixedCount;
       ++p) {
    std::u16string text;
    reader.NextToken(text);
    const size_t move_dir = p - scan_config_layout::kMoveDirPosition;
    if (move_dir < move_dirs.size()) {
      if (move_dir == 0) {
        DEBUG_LOG(68, u"%s - get %s = %s", kFunc, FixedField(p).name, text);
        DEBUG_LOG(68, u"%s - set %s = %s", kFunc, FixedField(p).name, move_dirs[0]);
      }
      writer.AppendToken(move_dirs[move_dir]);
      continue;
    }
    writer.AppendToken(text);
    if (IsLoggedFixedPosition(p)) DEBUG_LOG(68, u"%s - %s = %s", kFunc, FixedField(p).name, text);
  }

  uint32_t count = 0;
  reader.ReadDword(count);
  DEBUG_LOG(68, u"%s - number of spyware white list = %d", kFunc, count);
  // The list has no capacity: every entry is sent. A count larger than the
  // tokens that follow it cannot be true, and then the tail cannot be found
  // either: the DLP settings would come from the same misplaced tokens. Such
  // a record is damaged and nothing of it is sent; the entries are never
  // read or allocated by the count.
  const size_t present = scan_config_layout::TokensAfterListCount(
      std::u16string_view(reader.GetString(), reader.GetLength()));
  NormalizedScanConfig result;
  result.list_count = count;
  result.tokens_after_count = present;
  if (count > present) {
    result.damaged = true;
    return result;
  }
  writer.AppendDword(count);
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t entry = 0;
    reader.ReadDword(entry);
    writer.AppendDword(entry);
  }
  TailValues tail;
  CopyTail(reader, writer, &tail);
  result.stream.assign(reinterpret_cast<const char*>(writer.GetString()),
                       writer.GetLength() * sizeof(char16_t));
  FillDlpRecords(tail, &result.dc, &result.clc);
  return result;
}

bool CImportSkvaSettings::ImportScanConfigs(const SKVA_Server_Settings::ScanConfigs& record,
                                            const std::u16string& domain_uid) {
  DEBUG_LOG(68, u"%s - =>ImportScanConfigs()", kFunc);
  const std::string& config = record.config_string();
  DEBUG_LOG(68, u"%s - strConfigs =\n%s", kFunc, ConfigText(config));

  const std::u16string main_ini = MainIniPath();
  std::array<std::u16string, scan_config_layout::kMoveDirCount> move_dirs;
  for (size_t i = 0; i < move_dirs.size(); ++i) {
    char16_t buffer[kMoveDirBufferSize] = {};
    const uint32_t length = platform::GetPrivateProfileStringW(
        kMoveDirSections[i], u"MoveDir", u"", buffer, kMoveDirBufferSize, main_ini.c_str());
    move_dirs[i].assign(buffer, length);
  }

  const NormalizedScanConfig normalized = NormalizeScanConfig(config, move_dirs);
  if (normalized.damaged) {
    ++m_summary.domains_without_config;
    DEBUG_LOG(69,
              u"%s - domain %s (%s): the spyware white list count %u is above the %u tokens "
              u"that follow it; the record is damaged and neither its scan configuration nor its "
              u"DLP settings are imported",
              kFunc, RecordText(record.computer_name(), record.computer_name_size()), domain_uid,
              normalized.list_count, static_cast<uint32_t>(normalized.tokens_after_count));
    DEBUG_LOG(68, u"%s - <=ImportScanConfigs()", kFunc);
    return false;
  }

  bool result = false;
  if (!dbImport(domain_uid, normalized.stream, 0)) {
    // The domain keeps the service's default configuration and gets no DLP
    // settings.
    DEBUG_LOG(2, u"error occured when calling dbImport()");
  } else {
    result = dbSetDlpCfg(domain_uid, normalized.dc, normalized.clc);
    if (!result) DEBUG_LOG(70, u"%s - Fail to send DB command", kFunc);
  }
  DEBUG_LOG(68, u"%s - <=ImportScanConfigs()", kFunc);
  return result;
}
