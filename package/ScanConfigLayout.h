// The current layout of a scan-configuration string: the token order in which
// every settings package carries a domain's scan configuration, whatever
// server version exported it. The version migraters write it and the import
// engine reads it, both from these tables.
//
//   62 fixed tokens        kFixedFields, positions 1 to 62
//   N                      position 63, the number of spyware white-list entries
//   N entries              positions 64 to 63 + N, one decimal number each
//   47 tail tokens         kTailFields, T1 to T47
//
// Tokens are separated by one TAB (CCmdProtocol). Scan-type groups come in the
// order Manual (MS), Real-time (RT), Scheduled (PS), Scan Now (SN). The names
// are the fields' names in the log lines of the migraters and the import.
// The layout is stored in packages: it is frozen.
#ifndef PORTELLE_PACKAGE_SCANCONFIGLAYOUT_H_
#define PORTELLE_PACKAGE_SCANCONFIGLAYOUT_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace scan_config_layout {

enum class FieldKind : uint8_t {
  kDword,  // unsigned 32-bit decimal
  kText,   // a string
  kWord,   // 16-bit value
};

struct Field {
  std::u16string_view name;
  FieldKind kind;
};

inline constexpr size_t kFixedCount = 62;
inline constexpr size_t kTailCount = 47;
// Position of the list count. The list itself has no capacity: a string
// carries as many entries as its count says.
inline constexpr size_t kListCountPosition = 63;
// The most entries the spyware white-list container holds when it is filled
// from the database service's reply, as the migraters of the versions before
// 10.6 fill it. It does not bound lists carried inside a configuration.
inline constexpr int32_t kMaxListEntries = 1024;

// First positions of the groups (1-based, as in the table below).
inline constexpr size_t kExtListPosition = 39;
inline constexpr size_t kMoveDirPosition = 43;
inline constexpr size_t kMoveDirCount = 4;
inline constexpr size_t kExcludePosition = 47;
inline constexpr size_t kExExtendPosition = 51;
inline constexpr size_t kExFolderPosition = 59;
// The first text position; every fixed position before it is a dword.
inline constexpr size_t kFirstTextPosition = kExtListPosition;

namespace internal {
constexpr Field D(std::u16string_view name) { return {name, FieldKind::kDword}; }
constexpr Field S(std::u16string_view name) { return {name, FieldKind::kText}; }
constexpr Field W(std::u16string_view name) { return {name, FieldKind::kWord}; }
}  // namespace internal

// Positions 1 to 62; kFixedFields[p - 1] is position p.
inline constexpr std::array<Field, kFixedCount> kFixedFields = {{
    internal::D(u"m_dwHeader1"),
    internal::D(u"m_dwHeader2"),
    internal::D(u"m_dwHeader3"),
    internal::D(u"m_dwHeader4"),
    internal::D(u"m_dwHeader5"),
    internal::D(u"m_dwServiceSwitch"),
    internal::D(u"m_dwDestScanType"),
    internal::D(u"m_dwMSCfgFlag"),
    internal::D(u"m_nMSCompressLayer"),
    internal::D(u"m_nMSOleLayer"),
    internal::D(u"m_nMSPossibleVirusCustActInActiveAct"),
    internal::D(u"m_dwRTCfgFlag"),
    internal::D(u"m_nRTCompressLayer"),
    internal::D(u"m_nRTOleLayer"),
    internal::D(u"m_nRTPossibleVirusCustActInActiveAct"),
    internal::D(u"m_dwPSCfgFlag"),
    internal::D(u"m_nPSCompressLayer"),
    internal::D(u"m_nPSOleLayer"),
    internal::D(u"m_nPSPossibleVirusCustActInActiveAct"),
    internal::D(u"m_nPSFrequency"),
    internal::D(u"m_nPSHour"),
    internal::D(u"m_nPSMinute"),
    internal::D(u"m_nPSAmPm"),
    internal::D(u"m_nPSDayOfMonth"),
    internal::D(u"m_nPSDay2"),
    internal::D(u"m_dwAux1"),
    internal::D(u"m_dwAux2"),
    internal::D(u"m_dwSNCfgFlag"),
    internal::D(u"m_nSNCompressLayer"),
    internal::D(u"m_nSNOleLayer"),
    internal::D(u"m_nSNPossibleVirusCustActInActiveAct"),
    internal::D(u"m_dwSpywareMSCfgFlag"),
    internal::D(u"m_dwSpywareRTCfgFlag"),
    internal::D(u"m_dwSpywarePSCfgFlag"),
    internal::D(u"m_dwSpywareSNCfgFlag"),
    internal::D(u"m_nGCLCacheRebuildDays"),
    internal::D(u"m_nODSCacheCriteriaDays"),
    internal::D(u"m_nODSCacheMaxExpiredDays"),
    internal::S(u"m_strMSExtList"),
    internal::S(u"m_strRTExtList"),
    internal::S(u"m_strPSExtList"),
    internal::S(u"m_strSNExtList"),
    internal::S(u"m_strMSMoveDir"),
    internal::S(u"m_strRTMoveDir"),
    internal::S(u"m_strPSMoveDir"),
    internal::S(u"m_strSNMoveDir"),
    internal::S(u"m_strMSExclude"),
    internal::S(u"m_strRTExclude"),
    internal::S(u"m_strPSExclude"),
    internal::S(u"m_strSNExclude"),
    internal::S(u"m_strMSExExtend"),
    internal::S(u"m_strRTExExtend"),
    internal::S(u"m_strPSExExtend"),
    internal::S(u"m_strSNExExtend"),
    internal::S(u"m_strMSExExtendEx"),
    internal::S(u"m_strRTExExtendEx"),
    internal::S(u"m_strPSExExtendEx"),
    internal::S(u"m_strSNExExtendEx"),
    internal::S(u"m_strMSExFolder"),
    internal::S(u"m_strRTExFolder"),
    internal::S(u"m_strPSExFolder"),
    internal::S(u"m_strSNExFolder"),
}};

inline constexpr std::u16string_view kListCountName = u"m_nSpywareWhiteListCount";

// T1 to T47; kTailFields[t - 1] is Tt.
inline constexpr std::array<Field, kTailCount> kTailFields = {{
    internal::S(u"m_strVIGILDAC"),
    internal::S(u"m_strVIGILDACOut"),
    internal::D(u"m_dwEnable"),
    internal::S(u"m_strPolicyList"),
    internal::S(u"m_strBlockList"),
    internal::S(u"m_strTrustList"),
    internal::D(u"m_dwIntWCSCfg"),
    internal::D(u"m_dwExtWCSCfg"),
    internal::D(u"m_dwQueryMode"),
    internal::D(u"m_dwIntSecLevel"),
    internal::D(u"m_dwExtSecLevel"),
    internal::S(u"m_strIntWhiteList"),
    internal::S(u"m_strExtWhiteList"),
    internal::S(u"m_strIntBlackList"),
    internal::S(u"m_strExtBlackList"),
    internal::D(u"m_dwDCFlagIn"),
    internal::D(u"m_dwDCFlagOut"),
    internal::D(u"m_dwDeviceIn"),
    internal::D(u"m_dwDeviceOut"),
    internal::S(u"m_strDevExceptionListIn"),
    internal::S(u"m_strDevExceptionListOut"),
    internal::D(u"m_dwClcFlagIn"),
    internal::D(u"m_dwClcFlagOut"),
    internal::S(u"m_strChannelListIn"),
    internal::S(u"m_strChannelListOut"),
    internal::D(u"m_dwActionIn"),
    internal::D(u"m_dwActionOut"),
    internal::D(u"m_dwCompressFileSizeIn"),
    internal::D(u"m_dwCompressFileSizeOut"),
    internal::W(u"m_sCompressLayerIn"),
    internal::W(u"m_sCompressLayerOut"),
    internal::D(u"m_dwCompressFileCountIn"),
    internal::D(u"m_dwCompressFileCountOut"),
    internal::S(u"m_strIpBlIn"),
    internal::S(u"m_strIpBlOut"),
    internal::S(u"m_strIpWlIn"),
    internal::S(u"m_strIpWlOut"),
    internal::S(u"m_strEmailBlIn"),
    internal::S(u"m_strEmailBlOut"),
    internal::S(u"m_strEmailWlIn"),
    internal::S(u"m_strEmailWlOut"),
    internal::S(u"m_strUsbBlIn"),
    internal::S(u"m_strUsbBlOut"),
    internal::S(u"m_strUsbWlIn"),
    internal::S(u"m_strUsbWlOut"),
    internal::S(u"m_strTemplateIn"),
    internal::S(u"m_strTemplateOut"),
}};

// Tail positions treated by number: the behaviour-monitoring switch, logged
// as "VIGIL m_dwEnable", and the first of the DLP lists, logged with their
// values in parentheses.
inline constexpr size_t kTailVigilEnable = 3;
inline constexpr size_t kTailDlpListFirst = 34;

constexpr const Field& FixedField(size_t position) { return kFixedFields[position - 1]; }
constexpr const Field& TailField(size_t tail) { return kTailFields[tail - 1]; }

// How many tokens of the whole configuration string `text` follow the list
// count: the entries and the tail, and whatever lies beyond. A count larger
// than this cannot be true (the string is damaged); readers compare against
// it rather than loop by a count they cannot trust. Tokens are TAB-separated
// and an empty token counts, so a string ending in a TAB ends in an empty
// token.
constexpr size_t TokensAfterListCount(std::u16string_view text) {
  if (text.empty()) return 0;
  size_t tokens = 1;
  for (const char16_t c : text) {
    if (c == u'\t') ++tokens;
  }
  return tokens > kListCountPosition ? tokens - kListCountPosition : 0;
}

// Every fixed position before the first text position is a dword, every one
// from it on a text; the import and the migraters rely on that split.
static_assert([] {
  for (size_t p = 1; p <= kFixedCount; ++p) {
    const bool text = FixedField(p).kind == FieldKind::kText;
    if (text != (p >= kFirstTextPosition)) return false;
  }
  return true;
}());

}  // namespace scan_config_layout

#endif  // PORTELLE_PACKAGE_SCANCONFIGLAYOUT_H_
