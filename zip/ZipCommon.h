// Limits, result codes and name rules shared by the zip wrappers (CZip,
// CZipAU, CUnzip). Paths are narrow strings in the system code page.
#ifndef PORTELLE_ZIP_ZIPCOMMON_H_
#define PORTELLE_ZIP_ZIPCOMMON_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/text.h"

// Results of the wrappers' operations besides 0 (success) and the
// libraries' own codes.
inline constexpr int kZipResultNoLibrary = -1;   // no library, or no open archive
inline constexpr int kZipResultNullName = -102;  // a required name is null

// The longest narrow path the wrappers handle, in bytes, and the size of a
// name buffer that holds one with its terminator.
inline constexpr size_t kMaxZipPath = platform::kMaxSystemPathBytes + 1;
inline constexpr size_t kZipNameBufferSize = kMaxZipPath + 1;
// The longest path a member may be extracted to, in bytes: the system's path
// buffer of kMaxZipPath bytes less its terminator.
inline constexpr size_t kMaxExtractedPath = kMaxZipPath - 1;

// Data moves between disk and archive in pieces of this many bytes, in both
// directions; no file is ever held whole in memory.
inline constexpr size_t kZipStreamPieceSize = 16383;

// Told about each file of a folder walk or an extraction: with `phase` 0
// before the file is handled (false skips it), with 1 after it was written.
using ZipProgressCallback = bool (*)(void* context, const char* path, int phase);

// The archive name that Open uses for `name`: the name itself (at most
// kMaxZipPath bytes) when the text after its last dot is "zip" in any letter
// case; otherwise its first 256 bytes followed by ".Zip".
std::string NormalizeArchiveName(std::string_view name);

// `folder`, a backslash unless `folder` already ends in a separator ('\\' or
// '/'), and `name`.
std::string JoinZipPath(std::string_view folder, std::string_view name);

#endif  // PORTELLE_ZIP_ZIPCOMMON_H_
