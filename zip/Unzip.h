// CUnzip reads and extracts a zip archive through minizip's reading
// functions (unzOpen and its family), called by name in zlibwapi beside the
// program, or on server core in the server's own zip library.
//
// Results: 0 for success; kZipResultNoLibrary (-1) without a library or an
// open archive; kZipResultNullName (-102) for a null name;
// kUnzipResultUnsafeMember for a member that would land outside the
// destination; otherwise minizip's own code. File-system failures are thrown
// as CWinFileException. Archives are outside input: nothing they hold is
// written anywhere but below the destination folder.
#ifndef PORTELLE_ZIP_UNZIP_H_
#define PORTELLE_ZIP_UNZIP_H_

#include <minizip/unzip.h>

#include <string>
#include <string_view>

#include "platform/dynamic_library.h"
#include "zip/ZipCommon.h"

// A member whose name climbs out of the destination folder (a ".."
// component, a leading separator, a drive prefix) or is longer than
// kMaxZipPath bytes. The same value as minizip's UNZ_BADZIPFILE, so callers
// treat it as a damaged archive.
inline constexpr int kUnzipResultUnsafeMember = UNZ_BADZIPFILE;

// Whether `name` (separators already backslashes) stays below the folder it
// is extracted into.
bool IsSafeMemberName(std::string_view name);

class CUnzip {
 public:
  // Called with the member's name before it is extracted, with the target
  // path after.
  using ProgressCallback = ZipProgressCallback;

  CUnzip();
  // Closes an open archive and unloads the library.
  virtual ~CUnzip();
  CUnzip(const CUnzip&) = delete;
  CUnzip& operator=(const CUnzip&) = delete;

  // Opens the archive NormalizeArchiveName(name). An archive still open is
  // closed first.
  int Open(const char* name);

  // Extracts every member, in archive order, below `destination`: members of
  // size 0 (folder entries, empty files) are skipped; '/' in a name becomes
  // '\'; with `keep_paths` the member's folders are created below the
  // destination, otherwise only its last name part is used; an existing file
  // is replaced only with `overwrite` (otherwise CWinFileException). Each
  // file gets the member's DOS time as last-write time. The first member
  // that fails ends the extraction with its result; members already
  // extracted stay. Once per Open: the walk starts where unzOpen left the
  // archive, at its first member.
  int ExtractAll(const char* destination, bool keep_paths, bool overwrite,
                 ProgressCallback callback = nullptr, void* context = nullptr);

  int Close();

 private:
  using UnzOpenFunction = decltype(&::unzOpen);
  using UnzCloseFunction = decltype(&::unzClose);
  using UnzGetGlobalInfoFunction = decltype(&::unzGetGlobalInfo);
  using UnzGoToNextFileFunction = decltype(&::unzGoToNextFile);
  using UnzGetCurrentFileInfoFunction = decltype(&::unzGetCurrentFileInfo);
  using UnzOpenCurrentFileFunction = decltype(&::unzOpenCurrentFile);
  using UnzReadCurrentFileFunction = decltype(&::unzReadCurrentFile);
  using UnzCloseCurrentFileFunction = decltype(&::unzCloseCurrentFile);

  bool IsReady() const { return m_library.is_loaded() && m_hUnzip != nullptr; }
  int ExtractCurrentFile(const std::string& destination, bool keep_paths, bool overwrite,
                         ProgressCallback callback, void* context);
  // Writes the open member into the open target; the result of the last read.
  int CopyCurrentFile(const std::string& target, bool overwrite, uLong dos_date);

  platform::DynamicLibrary m_library;
  UnzOpenFunction m_pfnUnzOpen = nullptr;
  UnzCloseFunction m_pfnUnzClose = nullptr;
  UnzGetGlobalInfoFunction m_pfnUnzGetGlobalInfo = nullptr;
  UnzGoToNextFileFunction m_pfnUnzGoToNextFile = nullptr;
  UnzGetCurrentFileInfoFunction m_pfnUnzGetCurrentFileInfo = nullptr;
  UnzOpenCurrentFileFunction m_pfnUnzOpenCurrentFile = nullptr;
  UnzReadCurrentFileFunction m_pfnUnzReadCurrentFile = nullptr;
  UnzCloseCurrentFileFunction m_pfnUnzCloseCurrentFile = nullptr;
  unzFile m_hUnzip = nullptr;
};

#endif  // PORTELLE_ZIP_UNZIP_H_
