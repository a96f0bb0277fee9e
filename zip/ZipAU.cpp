#include "zip/ZipAU.h"

#include "log/DebugLog.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "zip/WinFile.h"
#include "zip/ZipCommon.h"
#include "zip/ZipException.h"
#include "zip/ZipLibrary.h"

namespace {

constexpr char kLogSourceA[] = "Zip";

// The current folder in the system code page, without a trailing separator.
std::string CurrentFolder() {
  std::u16string folder;
  if (!platform::GetCurrentFolder(&folder).ok()) return std::string();
  return platform::ToSystemCodePage(folder);
}

}  // namespace

CZipAU::CZipAU() {
  if (!zip_library::Load(zip_library::kPackLibrary, &m_library)) return;
  if (!zip_library::Resolve(m_library, "Zip_Open", &m_pfnZipOpen) ||
      !zip_library::Resolve(m_library, "Zip_Close", &m_pfnZipClose) ||
      !zip_library::Resolve(m_library, "Zip_Append", &m_pfnZipAppend) ||
      !zip_library::Resolve(m_library, "Zip_SetLevel", &m_pfnZipSetLevel)) {
    m_library.Unload();
  }
}

CZipAU::~CZipAU() { Close(); }

int CZipAU::Open(const char* name, bool append) {
  if (!m_library.is_loaded()) return kZipResultNoLibrary;
  if (name == nullptr) return kZipResultNullName;
  Close();
  const std::string archive = NormalizeArchiveName(name);
  if (!append || !platform::PathExists(std::string_view(archive))) {
    platform::File file;
    // The archive holds clear-text passwords: owner-only, and never created
    // through a link at its name.
    if (!file.Open(platform::FromSystemCodePage(archive), platform::File::Mode::kCreateAlways,
                   platform::Access::kOwnerOnly)
             .ok()) {
      DEBUG_LOG_A(5, "[CZipAU::Open] create ZIP file [%s] failed.", archive);
      return kZipResultNoLibrary;
    }
  }
  void* handle = nullptr;
  const int result = m_pfnZipOpen(&handle, platform::NativePath(archive).c_str(), 0, 1);
  if (result != 0) {
    DEBUG_LOG_A(5, "[CZipAU::Open] Zip_Open failed[%d]", result);
    return kZipResultNoLibrary;
  }
  m_hZip = handle;
  return 0;
}

int CZipAU::AddFile(const char* base_folder, const char* name, int level) {
  if (!IsReady()) return kZipResultNoLibrary;
  if (name == nullptr) return kZipResultNullName;
  const std::string base = base_folder != nullptr ? std::string(base_folder) : CurrentFolder();
  m_pfnZipSetLevel(m_hZip, level);
  const int result = m_pfnZipAppend(m_hZip, base.c_str(), name, 0);
  if (result != 0) {
    DEBUG_LOG_A(5,
                "[CZipAU::AddFile] Can not add [%s][%s] into zip file, Zip_Append returned with "
                "[%d]",
                base, name, result);
  }
  return result;
}

int CZipAU::ZipRecursive(const char* folder, bool recursive, int level) {
  if (!IsReady()) return kZipResultNoLibrary;
  if (folder == nullptr) return kZipResultNullName;
  m_pfnZipSetLevel(m_hZip, level);
  return AppendFolder(CurrentFolder() + '\\', folder, recursive);
}

int CZipAU::AppendFolder(const std::string& base_folder, const std::string& folder,
                         bool recursive) {
  int result = 0;
  CWinFileFind finder;
  bool found = false;
  try {
    found = finder.FindFirst((base_folder + JoinZipPath(folder, "*.*")).c_str());
  } catch (const CWinFileException&) {
    return 0;  // a folder that cannot be listed adds nothing and is no failure
  }
  for (; found; found = finder.FindNext()) {
    const std::string relative = JoinZipPath(folder, finder.GetFileName());
    if (finder.IsDirectory()) {
      if (!recursive || !finder.IsSubfolder()) continue;
      const int next = AppendFolder(base_folder, relative, recursive);
      if (next != 0) {
        DEBUG_LOG_A(5, "[CZipAU::ZipRecursive] next ZipRecursive=[%d][%s][%s]", next, base_folder,
                    relative);
        result = next;
      }
      continue;
    }
    const int appended = m_pfnZipAppend(m_hZip, base_folder.c_str(), relative.c_str(), 0);
    if (appended != 0) {
      DEBUG_LOG_A(5, "[CZipAU::ZipRecursive] Zip_Append=[%d][%s][%s]", appended, base_folder,
                  relative);
      result = appended;
    }
  }
  return result;
}

int CZipAU::Close() {
  if (!IsReady()) return kZipResultNoLibrary;
  const int result = m_pfnZipClose(m_hZip);
  m_hZip = nullptr;
  return result;
}
