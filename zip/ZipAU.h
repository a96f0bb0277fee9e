// CZipAU writes a zip archive through the server's own zip library,
// libPackDll beside the program (see PackDll.h). CZip uses it on server
// core. Results as for CZip: 0 for success, kZipResultNoLibrary (-1) without
// a library or an open archive, kZipResultNullName (-102) for a null name,
// otherwise the library's own code. Failures are logged at level 5.
#ifndef PORTELLE_ZIP_ZIPAU_H_
#define PORTELLE_ZIP_ZIPAU_H_

#include <string>

#include "platform/dynamic_library.h"
#include "zip/PackDll.h"

class CZipAU {
 public:
  CZipAU();
  // Closes an open archive and unloads the library.
  virtual ~CZipAU();
  CZipAU(const CZipAU&) = delete;
  CZipAU& operator=(const CZipAU&) = delete;

  // Opens NormalizeArchiveName(name) as a new archive. Unless `append` is set
  // and the file exists, the file is first created empty.
  int Open(const char* name, bool append);

  // Adds `base_folder` + '\' + `name` as the member `name`; a null
  // `base_folder` means the current folder.
  int AddFile(const char* base_folder, const char* name, int level);

  // Adds every file in `folder` (relative to the current folder), dot files
  // included, as the member `folder` + '\' + name; with `recursive` the
  // subfolders not beginning with '.' follow. Files that fail are logged and
  // skipped; the result is the last failure's code, or 0. A folder that
  // cannot be listed gives 0.
  int ZipRecursive(const char* folder, bool recursive, int level);

  int Close();

 private:
  using ZipOpenFunction = decltype(&::Zip_Open);
  using ZipCloseFunction = decltype(&::Zip_Close);
  using ZipAppendFunction = decltype(&::Zip_Append);
  using ZipSetLevelFunction = decltype(&::Zip_SetLevel);

  bool IsReady() const { return m_library.is_loaded() && m_hZip != nullptr; }
  int AppendFolder(const std::string& base_folder, const std::string& folder, bool recursive);

  platform::DynamicLibrary m_library;
  ZipOpenFunction m_pfnZipOpen = nullptr;
  ZipCloseFunction m_pfnZipClose = nullptr;
  ZipAppendFunction m_pfnZipAppend = nullptr;
  ZipSetLevelFunction m_pfnZipSetLevel = nullptr;
  void* m_hZip = nullptr;
};

#endif  // PORTELLE_ZIP_ZIPAU_H_
