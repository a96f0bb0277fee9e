// Copying settings between INI files, and the generator of new domain UIDs.
//
// Export collects sections and keys of the server's INI files into a staging
// file, import merges the staging file back into the server's files, and the
// version migraters move values to their newer places; all of them do it
// through these functions. Files are named by full path (the install path
// with the file name appended). All access goes through the private-profile
// functions of platform/profile.h, so their rules apply: names compare
// ignoring case, a write creates a missing file and section, and a value that
// would not read back (a line break, say) is not written.
#ifndef PORTELLE_INI_PORTELLE_INI_UTIL_H_
#define PORTELLE_INI_PORTELLE_INI_UTIL_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace util_HelperFunctions {

// Replaces `section` of `dest_file` by the section of `src_file`: keys the
// source lacks disappear from the destination, the others take the source's
// values. A source section that is missing or empty leaves the destination
// untouched and counts as success. A source section too large for the
// 32,767-unit section buffer is not copied at all (false), nor is one whose
// write fails (false).
bool DuplicateIniSection(std::u16string_view src_file, std::u16string_view section,
                         std::u16string_view dest_file);

// Writes every key of `section` of `src_file` into the same section of
// `dest_file`, in the source's order; destination keys the source lacks stay.
// Values are cut at 1,023 units; key names beyond the 32,767-unit name list
// are not seen. Always true: a failing write is not detected.
bool DuplicateIniValues(std::u16string_view src_file, std::u16string_view section,
                        std::u16string_view dest_file);

// Writes `key` into `dest_section` of `dest_file` with the value it has in
// `src_section` of `src_file`, or `default_value` when the source lacks it,
// so the key is always present afterwards. The value is cut at 1,023 units.
// Always true: the write's result is not looked at.
bool DuplicateIniKeyValue(std::u16string_view src_file, std::u16string_view src_section,
                          std::u16string_view key, std::u16string_view default_value,
                          std::u16string_view dest_file, std::u16string_view dest_section);

// The same, into the section of the same name.
bool DuplicateIniKeyValue(std::u16string_view src_file, std::u16string_view section,
                          std::u16string_view key, std::u16string_view default_value,
                          std::u16string_view dest_file);

// Writes `number` as signed decimal text into `key` of `section` of `file`.
void WriteIniInt(std::u16string_view section, std::u16string_view key, int32_t number,
                 std::u16string_view file);

// A new random GUID as 36 lower-case characters,
// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx"; empty when none can be made.
std::u16string NewGuidText();

// No server holds a counted INI list this long; a count beyond it comes
// from a damaged or crafted file.
inline constexpr int32_t kMaxListEntries = 1000000;

// The numbered keys of a counted list: `prefix` followed by the entry's
// number, zero-filled to `digits` digits ("URLFilterAWSL_InOffice007" has
// the prefix "URLFilterAWSL_InOffice" and 3 digits, "Item7" has 0).
struct NumberedKeys {
  std::u16string_view prefix;
  int digits = 0;
};

// How many entries of a counted list of `section` in `file` are copied when
// its count key (`count_key`, for the log) says `count`: the count itself,
// but never past the highest entry the section holds under one of `keys`,
// nor past kMaxListEntries. Entries missing below the highest one still
// count, so a sound file's count comes back unchanged; a count that is not
// above `floor` (the count a file without the key gets) is taken as it is,
// and a count is never cut below it. Cutting a count is logged at level 69.
int32_t BoundedListCount(std::u16string_view file, std::u16string_view section,
                         std::u16string_view count_key, int32_t count, int32_t floor,
                         std::span<const NumberedKeys> keys);

// Copies the web-threat (URL filter) settings of "URL_FILTER_INI_SECTION".
// With `bMigrateIniKeyName` the older enable and log switches of each side
// (in office, out of office) become the newer flag word
// (0x1 enabled | 0x10 logging | 0x8); without it the flag words are copied
// (default 0). The rating levels (default 1) and the in-office query mode
// (default 0) are copied in both cases, then the four counted URL lists: a
// list whose source count is above 0 gets that count and the entries
// numbered 000 to count - 1; a list whose source count is 0 or less is left
// as the destination has it. Counts are bounded by BoundedListCount: the
// bounded count is the one written and copied. Always true.
bool DuplicateWtpValues(std::u16string_view src_file, std::u16string_view dest_file,
                        bool bMigrateIniKeyName);

// Copies the device-access-control settings of "VIGIL_DACPolicy",
// "DAC_EXECUTABLE_LIST" and "DAC_APPROVED_LIST", every value both under its
// own key and under its "Out" form ("Count" and "CountOut", "Item3" and
// "ItemOut3"), so that the out-of-office policy starts as a copy of the
// in-office one. Counts are always written, also 0; numbered values missing
// in the source are written empty. Counts above 0 are bounded by
// BoundedListCount, and the bounded count is the one written. Always true.
bool DuplicateDeviceControlValues(std::u16string_view src_file, std::u16string_view dest_file);

}  // namespace util_HelperFunctions

#endif  // PORTELLE_INI_PORTELLE_INI_UTIL_H_
