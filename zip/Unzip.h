// CUnzip reads and extracts a zip archive through minizip's reading
// functions (unzOpen and its family), called by name in zlibwapi beside the
// program, or on server core in the server's own zip library.
//
// Results: 0 for success; kZipResultNoLibrary (-1) without a library or an
// open archive; kZipResultNullName (-102) for a null name;
// kUnzipResultUnsafeMember for a member that would land outside the
// destination or that Verify refuses; otherwise minizip's own code.
// File-system failures are thrown as CWinFileException, with the path of the
// file or folder. Archives are outside input: nothing they hold is written
// anywhere but below the destination folder, and Verify lets a caller check
// a whole archive before anything of it is written.
#ifndef PORTELLE_ZIP_UNZIP_H_
#define PORTELLE_ZIP_UNZIP_H_

#include <minizip/unzip.h>

#include <string>
#include <string_view>

#include "platform/dynamic_library.h"
#include "zip/ZipCommon.h"

// A member whose name climbs out of the destination folder (a ".."
// component, a leading separator, a drive prefix), holds a control
// character or is too long, or that Verify refuses for what it holds. The
// same value as minizip's UNZ_BADZIPFILE, so callers treat it as a damaged
// archive.
inline constexpr int kUnzipResultUnsafeMember = UNZ_BADZIPFILE;

// What can be wrong with a member's name.
enum class MemberNameFault {
  kNone,
  kLeavesFolder,      // a ".." component, a leading separator or a drive prefix
  kControlCharacter,  // a byte below 0x20, or 0x7F
  kTooLong,           // joined to the destination longer than kMaxExtractedPath
};

// What is wrong with `name` (separators already backslashes) as the name of
// a file extracted below `destination`.
MemberNameFault CheckMemberName(std::string_view name, std::string_view destination);

// Whether `name` (separators already backslashes) stays below the folder it
// is extracted into and holds no control character.
bool IsSafeMemberName(std::string_view name);

// Why Verify refused an archive.
struct UnzipProblem {
  std::string member;  // the member's name as extracted (backslashes), or empty
  std::string reason;  // a short phrase in plain English that names the member
};

// A member whose data Verify hands back, so that the caller can check it
// before anything is extracted.
struct UnzipWantedMember {
  std::string name;     // backslashes as separators; letter case is ignored
  size_t max_size = 0;  // a member holding more refuses the archive
  bool found = false;
  std::string data;
};

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

  // Checks the whole archive as extraction below `destination` with its
  // paths kept would see it, without writing anything: every member's name
  // (CheckMemberName), and every member's data, read to the end, against its
  // size and CRC (an encrypted member, one that cannot be opened and one
  // whose data cannot be decompressed fail too). When `wanted` is given, the
  // data of the member of that name comes back in it (found stays false
  // when the archive holds none; a second member of that name or one larger
  // than its max_size is refused). 0 when every member passed; otherwise
  // the first failure's code, with *problem naming the member and the
  // reason. Afterwards the archive stands on its first member again, as
  // after Open, so that ExtractAll can follow.
  int Verify(const char* destination, UnzipWantedMember* wanted, UnzipProblem* problem);

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
  // Writes the open member to `target` under a temporary name and closes
  // the member; only when all of it was read and its CRC matched is the
  // file renamed into place. The first failing read's or the close's code.
  int CopyCurrentFile(const std::string& target, bool overwrite, uLong dos_date);
  // Checks the current member; `problem` gets the reason of a failure.
  int VerifyCurrentFile(const std::string& destination, UnzipWantedMember* wanted,
                        UnzipProblem* problem);
  // Opens the archive again, at its first member.
  int Rewind();

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
  std::string m_strArchiveName;  // the normalised name, for Rewind
};

#endif  // PORTELLE_ZIP_UNZIP_H_
