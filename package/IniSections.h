// The sections of the server's main INI file (bsnscan.ini) that every
// package carries whole: the export copies each into the staging INI file,
// and the import merges each back key by key, both in this order. Frozen
// with the package's INI text.
#ifndef PORTELLE_PACKAGE_INISECTIONS_H_
#define PORTELLE_PACKAGE_INISECTIONS_H_

#include <array>
#include <string_view>

namespace package {

inline constexpr std::array<std::u16string_view, 25> kWholeMainIniSections = {
    u"Manual Scan Configuration",
    u"Real Time Scan Configuration",
    u"Prescheduled Scan Configuration",
    u"Scan Now Configuration",
    u"Manual Scan Configuration Ex",
    u"Real Time Scan Configuration Ex",
    u"Prescheduled Scan Configuration Ex",
    u"Scan Now Configuration Ex",
    u"Spyware Manual Scan Configuration",
    u"Spyware Real Time Scan Configuration",
    u"Spyware Prescheduled Scan Configuration",
    u"Spyware Scan Now Configuration",
    u"LOCATION_AWARENESS_INI_SECTION",
    u"DefinedList",
    u"Global Setting",
    u"INI_SCHEDULED_UPDATE_SECTION",
    u"INI_STANDARD_ALERT_SECTION",
    u"INI_STANDARD_ALERT_SPYWARE_SECTION",
    u"INI_STANDARD_ALERT_DLP_SECTION",
    u"INI_OUTBREAK_ALERT_SECTION",
    u"INI_OUTBREAK_ALERT_SPYWARE_SECTION",
    u"INI_CLIENT_SECTION",
    u"CAV_INI_SESSION",
    u"INI_REESTABLISH_COMMUNICATION_SECTION",
    u"INI_SCHEDULED_DELETE_LOG_SECTION",
};

// The section both copy after the others, export and import alike.
inline constexpr std::u16string_view kUnreachableNetworkSection =
    u"INI_UNREACHABLE_NETWORK_SETTING_SECTION";

}  // namespace package

#endif  // PORTELLE_PACKAGE_INISECTIONS_H_
