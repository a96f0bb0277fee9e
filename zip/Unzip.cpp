#include "zip/Unzip.h"

#include <algorithm>

#include "log/DebugLog.h"
#include "platform/dos_time.h"
#include "platform/file_system.h"
#include "platform/status.h"
#include "platform/system.h"
#include "platform/text.h"
#include "zip/WinFile.h"
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
  if (folder.size() > kMaxZipPath) throw CWinFileException(platform::kErrorNotEnoughMemory);
  if (folder.empty() || platform::PathExists(std::string_view(folder))) return;
  for (size_t start = 0;;) {
    const size_t separator = folder.find_first_of(kSeparators, start);
    const std::string level = folder.substr(0, separator);
    // The root and doubled separators give no level of their own.
    if (!level.empty() && kSeparators.find(level.back()) == std::string_view::npos) {
      const platform::Status status = platform::CreateFolder(platform::FromSystemCodePage(level));
      if (!status.ok() && status.code() != platform::kErrorAlreadyExists) {
        throw CWinFileException(status.code());
      }
    }
    if (separator == std::string::npos) break;
    start = separator + 1;
  }
}

}  // namespace

bool IsSafeMemberName(std::string_view name) {
  if (name.starts_with('\\')) return false;              // the root of the drive, or a share
  if (name.size() >= 2 && name[1] == ':') return false;  // a drive
  for (size_t start = 0; start <= name.size();) {
    const size_t separator = std::min(name.find('\\', start), name.size());
    if (IsParentReference(name.substr(start, separator - start))) return false;
    start = separator + 1;
  }
  return true;
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
  m_hUnzip = m_pfnUnzOpen(platform::NativePath(NormalizeArchiveName(name)).c_str());
  return m_hUnzip != nullptr ? 0 : kZipResultNoLibrary;
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

  const std::string target = JoinZipPath(destination, name);
  CreateFolders(target.substr(0, target.find_last_of(kSeparators)));
  const int opened = m_pfnUnzOpenCurrentFile(m_hUnzip);
  if (opened != UNZ_OK) return opened;
  const int copied = CopyCurrentFile(target, overwrite, info.dosDate);
  const int closed = m_pfnUnzCloseCurrentFile(m_hUnzip);
  if (copied < 0) {
    // unzCloseCurrentFile checks the CRC only after the last byte was read,
    // so a member that broke off half-way must fail by the read's own code.
    DEBUG_LOG_A(5, "[CUnzip::ExtractAll] Reading member [%s] failed[%d]", name, copied);
    return copied;
  }
  if (closed == UNZ_OK && callback != nullptr) callback(context, target.c_str(), 1);
  return closed;
}

int CUnzip::CopyCurrentFile(const std::string& target, bool overwrite, uLong dos_date) {
  CWinFile file;
  file.Open(target.c_str(),
            overwrite ? platform::File::Mode::kCreateAlways : platform::File::Mode::kCreateNew);
  char buffer[kZipStreamPieceSize];
  int read = 0;
  while ((read = m_pfnUnzReadCurrentFile(m_hUnzip, buffer, sizeof buffer)) > 0) {
    file.Write(buffer, static_cast<size_t>(read));
  }
  file.Flush();
  if (read < 0) return read;
  int64_t modified = 0;
  if (!platform::DosDateTimeToFileTime(static_cast<uint16_t>(dos_date >> 16),
                                       static_cast<uint16_t>(dos_date & 0xFFFF), &modified)) {
    throw CWinFileException(platform::kErrorInvalidParameter);
  }
  file.SetTimes(platform::CurrentFileTime(), modified);
  file.Close();
  return UNZ_OK;
}

int CUnzip::Close() {
  if (!IsReady()) return kZipResultNoLibrary;
  const int result = m_pfnUnzClose(m_hUnzip);
  m_hUnzip = nullptr;
  return result;
}
