#include "zip/Unzip.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "log/DebugLog.h"
#include "platform/dos_time.h"
#include "platform/file_system.h"
#include "platform/status.h"
#include "platform/system.h"
#include "platform/text.h"
#include "zip/ZipCommon.h"
#include "zip/ZipException.h"
#include "zip/ZipLibrary.h"

namespace {

constexpr char kLogSourceA[] = "Zip";
constexpr std::string_view kSeparators = "\\/";

// Windows drops trailing dots and spaces from a path component, so there any
// component made of dots and spaces that begins with ".." names the parent
// (or worse); all of them are refused, not only "..".
bool IsParentReference(std::string_view component) {
  return component.starts_with("..") && component.find_first_not_of(". ") == std::string_view::npos;
}

// Creates `folder` level by level from the top; levels that exist already
// are no error.
void CreateFolders(const std::string& folder) {
  if (folder.size() > kMaxZipPath) throw CWinFileException(platform::kErrorNotEnoughMemory, folder);
  if (folder.empty() || platform::PathExists(std::string_view(folder))) return;
  for (size_t start = 0;;) {
    const size_t separator = folder.find_first_of(kSeparators, start);
    const std::string level = folder.substr(0, separator);
    // The root and doubled separators give no level of their own.
    if (!level.empty() && kSeparators.find(level.back()) == std::string_view::npos) {
      const platform::Status status = platform::CreateFolder(platform::FromSystemCodePage(level));
      if (!status.ok() && status.code() != platform::kErrorAlreadyExists) {
        throw CWinFileException(status.code(), level);
      }
    }
    if (separator == std::string::npos) break;
    start = separator + 1;
  }
}

bool IsControlCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

bool LeavesFolder(std::string_view name) {
  if (name.starts_with('\\')) return true;              // the root of the drive, or a share
  if (name.size() >= 2 && name[1] == ':') return true;  // a drive
  for (size_t start = 0; start <= name.size();) {
    const size_t separator = std::min(name.find('\\', start), name.size());
    if (IsParentReference(name.substr(start, separator - start))) return true;
    start = separator + 1;
  }
  return false;
}

// A member's name as it may be shown to the user and logged: control
// characters become '?', and a very long name is cut (at a character
// boundary) and marked with "...".
std::string Printable(std::string_view name) {
  constexpr size_t kShownBytes = 80;
  std::string shown;
  for (const char c : name) shown += IsControlCharacter(c) ? '?' : c;
  if (shown.size() <= kShownBytes) return shown;
  size_t cut = kShownBytes;
  while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;
  return shown.substr(0, cut) + "...";
}

std::string MemberText(std::string_view name) { return "member \"" + Printable(name) + "\""; }

}  // namespace

MemberNameFault CheckMemberName(std::string_view name, std::string_view destination) {
  if (std::any_of(name.begin(), name.end(), IsControlCharacter)) {
    return MemberNameFault::kControlCharacter;
  }
  if (LeavesFolder(name)) return MemberNameFault::kLeavesFolder;
  if (JoinZipPath(destination, name).size() > kMaxExtractedPath) return MemberNameFault::kTooLong;
  return MemberNameFault::kNone;
}

bool IsSafeMemberName(std::string_view name) {
  return !LeavesFolder(name) && std::none_of(name.begin(), name.end(), IsControlCharacter);
}

CUnzip::CUnzip() {
  const std::u16string_view library =
      platform::IsServerCore() ? zip_library::kPackLibrary : zip_library::kMinizipLibrary;
  if (!zip_library::Load(library, &m_library)) return;
  // unzLocateFile is never called, but a library without it is refused like
  // one without any other of the nine names.
  decltype(&::unzLocateFile) locate_file = nullptr;
  if (!zip_library::Resolve(m_library, "unzOpen", &m_pfnUnzOpen) ||
      !zip_library::Resolve(m_library, "unzClose", &m_pfnUnzClose) ||
      !zip_library::Resolve(m_library, "unzGetGlobalInfo", &m_pfnUnzGetGlobalInfo) ||
      !zip_library::Resolve(m_library, "unzGoToNextFile", &m_pfnUnzGoToNextFile) ||
      !zip_library::Resolve(m_library, "unzLocateFile", &locate_file) ||
      !zip_library::Resolve(m_library, "unzGetCurrentFileInfo", &m_pfnUnzGetCurrentFileInfo) ||
      !zip_library::Resolve(m_library, "unzOpenCurrentFile", &m_pfnUnzOpenCurrentFile) ||
      !zip_library::Resolve(m_library, "unzReadCurrentFile", &m_pfnUnzReadCurrentFile) ||
      !zip_library::Resolve(m_library, "unzCloseCurrentFile", &m_pfnUnzCloseCurrentFile)) {
    m_library.Unload();
  }
}

CUnzip::~CUnzip() { Close(); }

int CUnzip::Open(const char* name) {
  if (!m_library.is_loaded()) return kZipResultNoLibrary;
  if (name == nullptr) return kZipResultNullName;
  Close();
  m_strArchiveName = NormalizeArchiveName(name);
  m_hUnzip = m_pfnUnzOpen(platform::NativePath(m_strArchiveName).c_str());
  return m_hUnzip != nullptr ? 0 : kZipResultNoLibrary;
}

int CUnzip::Rewind() {
  m_pfnUnzClose(m_hUnzip);
  m_hUnzip = m_pfnUnzOpen(platform::NativePath(m_strArchiveName).c_str());
  return m_hUnzip != nullptr ? 0 : kZipResultNoLibrary;
}

int CUnzip::Verify(const char* destination, UnzipWantedMember* wanted, UnzipProblem* problem) {
  if (!IsReady()) return kZipResultNoLibrary;
  if (destination == nullptr || problem == nullptr) return kZipResultNullName;
  *problem = {};
  if (wanted != nullptr) {
    wanted->found = false;
    wanted->data.clear();
  }
  unz_global_info global_info = {};
  int result = m_pfnUnzGetGlobalInfo(m_hUnzip, &global_info);
  for (uLong i = 0; result == UNZ_OK && i < global_info.number_entry; ++i) {
    if (i > 0) result = m_pfnUnzGoToNextFile(m_hUnzip);
    if (result == UNZ_OK) result = VerifyCurrentFile(destination, wanted, problem);
  }
  if (result != UNZ_OK && problem->reason.empty()) {
    problem->reason = "its list of members is damaged";
  }
  if (result != UNZ_OK) {
    DEBUG_LOG_A(5, "[CUnzip::Verify] Refused archive [%s]: %s[%d]", m_strArchiveName,
                problem->reason, result);
  }
  const int rewound = Rewind();
  return result != UNZ_OK ? result : rewound;
}

int CUnzip::VerifyCurrentFile(const std::string& destination, UnzipWantedMember* wanted,
                              UnzipProblem* problem) {
  unz_file_info info = {};
  int result = m_pfnUnzGetCurrentFileInfo(m_hUnzip, &info, nullptr, 0, nullptr, 0, nullptr, 0);
  if (result != UNZ_OK) return result;
  std::string name(info.size_filename + 1, '\0');
  result = m_pfnUnzGetCurrentFileInfo(m_hUnzip, &info, name.data(), static_cast<uLong>(name.size()),
                                      nullptr, 0, nullptr, 0);
  if (result != UNZ_OK) return result;
  name.resize(info.size_filename);
  std::replace(name.begin(), name.end(), '/', '\\');
  problem->member = name;
  const std::string member = MemberText(name);

  switch (CheckMemberName(name, destination)) {
    case MemberNameFault::kNone:
      break;
    case MemberNameFault::kLeavesFolder:
      problem->reason = member + " would land outside the destination folder";
      return kUnzipResultUnsafeMember;
    case MemberNameFault::kControlCharacter:
      problem->reason = member + " has a control character in its name";
      return kUnzipResultUnsafeMember;
    case MemberNameFault::kTooLong:
      problem->reason = member + " has a name too long for the destination folder (at most " +
                        std::to_string(kMaxExtractedPath) + " bytes with the folder)";
      return kUnzipResultUnsafeMember;
  }
  // A link already in the destination folder (the member's file, or a
  // folder on its way) would carry the member wherever the link points.
  if (platform::HasLinkBelow(destination, name)) {
    problem->reason =
        member + " would be written through a symbolic link in the destination folder";
    return kUnzipResultUnsafeMember;
  }
  // Bit 0 of the general-purpose flags: the data is encrypted, which no
  // export does and this reader cannot check.
  if ((info.flag & 1) != 0) {
    problem->reason = member + " is encrypted";
    return kUnzipResultUnsafeMember;
  }

  const bool is_wanted = wanted != nullptr && platform::EqualsIgnoreCase(name, wanted->name);
  if (is_wanted && wanted->found) {
    problem->reason = member + " is in the archive twice";
    return kUnzipResultUnsafeMember;
  }
  result = m_pfnUnzOpenCurrentFile(m_hUnzip);
  if (result != UNZ_OK) {
    problem->reason = member + " cannot be read (it is damaged or compressed in an unknown way)";
    return result;
  }
  std::string data;
  char buffer[kZipStreamPieceSize];
  uint64_t total = 0;
  int read = 0;
  while ((read = m_pfnUnzReadCurrentFile(m_hUnzip, buffer, sizeof buffer)) > 0) {
    total += static_cast<uint64_t>(read);
    if (!is_wanted) continue;
    if (total > wanted->max_size) {
      m_pfnUnzCloseCurrentFile(m_hUnzip);
      problem->reason =
          member + " is too large (more than " + std::to_string(wanted->max_size) + " bytes)";
      return kUnzipResultUnsafeMember;
    }
    data.append(buffer, static_cast<size_t>(read));
  }
  // unzCloseCurrentFile checks the CRC only when the data was read to its
  // end, so a read that failed, or data that ended before the size the
  // member declares, must fail on its own.
  const int closed = m_pfnUnzCloseCurrentFile(m_hUnzip);
  if (read < 0) {
    problem->reason = member + " is damaged (its data cannot be decompressed)";
    return read;
  }
  if (total != info.uncompressed_size) {
    problem->reason = member + " is damaged (its size does not match)";
    return UNZ_BADZIPFILE;
  }
  if (total != 0 && (name.empty() || name.back() == '\\')) {
    problem->reason = member + " holds data but names a folder";
    return kUnzipResultUnsafeMember;
  }
  if (closed != UNZ_OK) {
    problem->reason = closed == UNZ_CRCERROR ? member + " is damaged (its CRC does not match)"
                                             : member + " is damaged";
    return closed;
  }
  if (is_wanted) {
    wanted->found = true;
    wanted->data = std::move(data);
  }
  problem->member.clear();
  return UNZ_OK;
}

int CUnzip::ExtractAll(const char* destination, bool keep_paths, bool overwrite,
                       ProgressCallback callback, void* context) {
  if (!IsReady()) return kZipResultNoLibrary;
  if (destination == nullptr) return kZipResultNullName;
  unz_global_info global_info = {};
  int result = m_pfnUnzGetGlobalInfo(m_hUnzip, &global_info);
  if (result != UNZ_OK) return result;
  // unzOpen stands on the first member; moving on happens only between
  // members, since a move past the last one reports the end of the list.
  for (uLong i = 0; i < global_info.number_entry; ++i) {
    if (i > 0 && (result = m_pfnUnzGoToNextFile(m_hUnzip)) != UNZ_OK) return result;
    result = ExtractCurrentFile(destination, keep_paths, overwrite, callback, context);
    if (result != UNZ_OK) return result;
  }
  return UNZ_OK;
}

int CUnzip::ExtractCurrentFile(const std::string& destination, bool keep_paths, bool overwrite,
                               ProgressCallback callback, void* context) {
  char name_buffer[kZipNameBufferSize] = {};
  unz_file_info info = {};
  // One byte of the buffer is kept back: minizip leaves a name that fills the
  // buffer unterminated.
  const int got =
      m_pfnUnzGetCurrentFileInfo(m_hUnzip, &info, name_buffer, kMaxZipPath, nullptr, 0, nullptr, 0);
  if (got != UNZ_OK) return got;
  if (info.uncompressed_size == 0) return UNZ_OK;
  if (info.size_filename > kMaxZipPath) {
    DEBUG_LOG_A(5, "[CUnzip::ExtractAll] Refused member [%s...]: its name is longer than %u bytes",
                name_buffer, static_cast<unsigned>(kMaxZipPath));
    return kUnzipResultUnsafeMember;
  }

  std::string name = name_buffer;
  std::replace(name.begin(), name.end(), '/', '\\');
  if (callback != nullptr && !callback(context, name.c_str(), 0)) return UNZ_OK;
  if (!keep_paths) name.erase(0, name.rfind('\\') + 1);
  if (!IsSafeMemberName(name)) {
    DEBUG_LOG_A(5, "[CUnzip::ExtractAll] Refused member [%s]: its path leaves the folder [%s]",
                name, destination);
    return kUnzipResultUnsafeMember;
  }

  if (platform::HasLinkBelow(destination, name)) {
    DEBUG_LOG_A(5,
                "[CUnzip::ExtractAll] Refused member [%s]: a symbolic link in [%s] is on its way",
                name, destination);
    return kUnzipResultUnsafeMember;
  }
  const std::string target = JoinZipPath(destination, name);
  CreateFolders(target.substr(0, target.find_last_of(kSeparators)));
  const int opened = m_pfnUnzOpenCurrentFile(m_hUnzip);
  if (opened != UNZ_OK) return opened;
  const int copied = CopyCurrentFile(target, overwrite, info.dosDate);
  if (copied < 0) {
    DEBUG_LOG_A(5, "[CUnzip::ExtractAll] Reading member [%s] failed[%d]", name, copied);
    return copied;
  }
  if (copied == UNZ_OK && callback != nullptr) callback(context, target.c_str(), 1);
  return copied;
}

int CUnzip::CopyCurrentFile(const std::string& target, bool overwrite, uLong dos_date) {
  const auto throw_if_failed = [&target](const platform::Status& status) {
    if (!status.ok()) throw CWinFileException(status.code(), target);
  };
  // Until the commit the data lives under a temporary name beside the
  // target: a failed write, a damaged member or a full disk leave the
  // existing file as it was, and the replacement's destructor removes the
  // temporary file on every way out.
  platform::FileReplacement file;
  throw_if_failed(file.Begin(platform::FromSystemCodePage(target)));
  char buffer[kZipStreamPieceSize];
  int read = 0;
  while ((read = m_pfnUnzReadCurrentFile(m_hUnzip, buffer, sizeof buffer)) > 0) {
    throw_if_failed(file.Write(buffer, static_cast<size_t>(read)));
  }
  // unzCloseCurrentFile checks the CRC only after the last byte was read,
  // so a member that broke off half-way must fail by the read's own code.
  const int closed = m_pfnUnzCloseCurrentFile(m_hUnzip);
  if (read < 0) return read;
  if (closed != UNZ_OK) return closed;
  int64_t modified = 0;
  if (!platform::DosDateTimeToFileTime(static_cast<uint16_t>(dos_date >> 16),
                                       static_cast<uint16_t>(dos_date & 0xFFFF), &modified)) {
    throw CWinFileException(platform::kErrorInvalidParameter, target);
  }
  throw_if_failed(file.SetTimes(platform::CurrentFileTime(), modified));
  throw_if_failed(file.Commit(overwrite));
  return UNZ_OK;
}

int CUnzip::Close() {
  if (!IsReady()) return kZipResultNoLibrary;
  const int result = m_pfnUnzClose(m_hUnzip);
  m_hUnzip = nullptr;
  return result;
}
