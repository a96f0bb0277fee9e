// CZip writes a zip archive through minizip's writing functions (zipOpen and
// its family), called by name in zlibwapi beside the program. On server core
// it hands every operation to a CZipAU, which writes through the server's own
// zip library instead.
//
// Results: 0 for success; kZipResultNoLibrary (-1) without a library or an
// open archive; kZipResultNullName (-102) for a null name; otherwise
// minizip's own code. File-system failures are thrown as CWinFileException.
// Paths are narrow strings in the system code page; member names are stored
// exactly as given, backslashes included.
#ifndef PORTELLE_ZIP_ZIP_H_
#define PORTELLE_ZIP_ZIP_H_

#include <minizip/zip.h>

#include <memory>
#include <string>

#include "platform/dynamic_library.h"
#include "platform/status.h"
#include "zip/ZipCommon.h"

class CZipAU;
struct ZipArchiveFile;

class CZip {
 public:
  // Called with each file's member name; a false answer before a file skips
  // it and also ends the walk.
  using ProgressCallback = ZipProgressCallback;

  CZip();
  // Closes an open archive and unloads the library.
  virtual ~CZip();
  CZip(const CZip&) = delete;
  CZip& operator=(const CZip&) = delete;

  // Creates the archive NormalizeArchiveName(name), or with `append` adds it
  // after the file's existing content. An archive still open is closed first.
  // A created archive is a new owner-only file: it holds clear-text
  // passwords. It is written through the file layer, which never follows a
  // link at the name.
  // When it fails, open_status() says why in the system's terms.
  int Open(const char* name, bool append);
  // The reason the last Open failed (its operation, the archive's path and
  // the system's error); success after an Open that succeeded.
  const platform::Status& open_status() const { return m_openStatus; }
  // The first failure of the file layer while a created archive was
  // written or closed (the system's reason and the path); success otherwise.
  const platform::Status& write_status() const;

  // Adds the file `base_folder` + '\' + `name` (just `name`, relative to the
  // current folder, when `base_folder` is null) as the member `name`, with
  // the file's last-write time. Level 0 stores the data, 1-9 deflate it.
  // Returns the first write error, else the result of closing the member.
  int AddFile(const char* base_folder, const char* name, int level);

  // Adds each file directly in `folder` whose name does not begin with '.',
  // as the member `folder` + '\' + name. With `recursive` the subfolders
  // (not those beginning with '.') follow the same way, their members named
  // below `folder`. The walk stops at the first file that fails; the result
  // is that of the last file added (0 when there was none).
  int AddFolder(const char* folder, bool recursive, int level, ProgressCallback callback = nullptr,
                void* context = nullptr);

  // Writes the archive's directory with `global_comment` and closes it.
  int Close(const char* global_comment = nullptr);

 private:
  using ZipOpenFunction = decltype(&::zipOpen);
  using ZipCloseFunction = decltype(&::zipClose);
  using ZipOpenNewFileInZipFunction = decltype(&::zipOpenNewFileInZip);
  using ZipWriteInFileInZipFunction = decltype(&::zipWriteInFileInZip);
  using ZipCloseFileInZipFunction = decltype(&::zipCloseFileInZip);

  void LoadMinizip();
  int OpenArchive(const char* name, bool append);
  bool IsReady() const { return m_library.is_loaded() && m_hZip != nullptr; }
  // The folder walk; *stop is set when a file failed or the callback said no.
  int AddFolderFiles(const std::string& folder, bool recursive, int level,
                     ProgressCallback callback, void* context, bool* stop);

  platform::DynamicLibrary m_library;
  ZipOpenFunction m_pfnZipOpen = nullptr;
  ZipCloseFunction m_pfnZipClose = nullptr;
  ZipOpenNewFileInZipFunction m_pfnZipOpenNewFileInZip = nullptr;
  ZipWriteInFileInZipFunction m_pfnZipWriteInFileInZip = nullptr;
  ZipCloseFileInZipFunction m_pfnZipCloseFileInZip = nullptr;
  using ZipOpen2Function = decltype(&::zipOpen2);
  ZipOpen2Function m_pfnZipOpen2 = nullptr;  // optional: zipOpen serves without it
  std::unique_ptr<ZipArchiveFile> m_archiveFile;
  zipFile m_hZip = nullptr;
  std::unique_ptr<CZipAU> m_pZipAU;  // only on server core
  platform::Status m_openStatus;
};

#endif  // PORTELLE_ZIP_ZIP_H_
