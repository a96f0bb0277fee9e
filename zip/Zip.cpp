#include "zip/Zip.h"

#include <new>

#include "platform/dos_time.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "platform/text.h"
#include "zip/WinFile.h"
#include "zip/ZipAU.h"
#include "zip/ZipCommon.h"
#include "zip/ZipException.h"
#include "zip/ZipLibrary.h"

namespace {

// minizip's mode for an archive placed after a file's existing content.
constexpr int kAppendAfterContent = APPEND_STATUS_CREATEAFTER;

}  // namespace

// The archive file minizip writes a created archive to, through the file
// layer, and the first failure on the way.
struct ZipArchiveFile {
  platform::File file;
  platform::Status status;

  void Keep(const platform::Status& failed) {
    if (status.ok() && !failed.ok()) status = failed;
  }
};

namespace {

const platform::Status kNoFailure;

ZipArchiveFile* ArchiveOf(voidpf opaque) { return static_cast<ZipArchiveFile*>(opaque); }

voidpf ZCALLBACK OpenArchiveFile(voidpf opaque, const char* filename, int mode) {
  ZipArchiveFile* archive = ArchiveOf(opaque);
  if (filename == nullptr || (mode & ZLIB_FILEFUNC_MODE_CREATE) == 0) return nullptr;
  archive->Keep(archive->file.Open(platform::FromSystemCodePage(filename),
                                   platform::File::Mode::kCreateAlways,
                                   platform::Access::kOwnerOnly));
  return archive->file.is_open() ? &archive->file : nullptr;
}

uLong ZCALLBACK ReadArchiveFile(voidpf opaque, voidpf, void* buffer, uLong size) {
  ZipArchiveFile* archive = ArchiveOf(opaque);
  size_t read = 0;
  const platform::Status status = archive->file.Read(buffer, size, &read);
  archive->Keep(status);
  return status.ok() ? static_cast<uLong>(read) : 0;
}

uLong ZCALLBACK WriteArchiveFile(voidpf opaque, voidpf, const void* buffer, uLong size) {
  ZipArchiveFile* archive = ArchiveOf(opaque);
  const platform::Status status = archive->file.Write(buffer, size);
  archive->Keep(status);
  return status.ok() ? size : 0;
}

long ZCALLBACK TellArchiveFile(voidpf opaque, voidpf) {
  ZipArchiveFile* archive = ArchiveOf(opaque);
  int64_t position = 0;
  const platform::Status status =
      archive->file.Seek(0, platform::File::Origin::kCurrent, &position);
  archive->Keep(status);
  return status.ok() ? static_cast<long>(position) : -1;
}

long ZCALLBACK SeekArchiveFile(voidpf opaque, voidpf, uLong offset, int origin) {
  ZipArchiveFile* archive = ArchiveOf(opaque);
  platform::File::Origin from = platform::File::Origin::kBegin;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) from = platform::File::Origin::kCurrent;
  if (origin == ZLIB_FILEFUNC_SEEK_END) from = platform::File::Origin::kEnd;
  const platform::Status status = archive->file.Seek(static_cast<int64_t>(offset), from);
  archive->Keep(status);
  return status.ok() ? 0 : -1;
}

int ZCALLBACK CloseArchiveFile(voidpf opaque, voidpf) {
  ZipArchiveFile* archive = ArchiveOf(opaque);
  const platform::Status status = archive->file.Close();
  archive->Keep(status);
  return status.ok() ? 0 : -1;
}

int ZCALLBACK TestArchiveFileError(voidpf opaque, voidpf) {
  return ArchiveOf(opaque)->status.ok() ? 0 : 1;
}

}  // namespace

CZip::CZip() {
  if (platform::IsServerCore()) {
    m_pZipAU.reset(new (std::nothrow) CZipAU());
    if (m_pZipAU != nullptr) return;
  }
  LoadMinizip();
}

CZip::~CZip() { Close(); }

void CZip::LoadMinizip() {
  if (!zip_library::Load(zip_library::kMinizipLibrary, &m_library)) return;
  if (!zip_library::Resolve(m_library, "zipOpen", &m_pfnZipOpen) ||
      !zip_library::Resolve(m_library, "zipClose", &m_pfnZipClose) ||
      !zip_library::Resolve(m_library, "zipOpenNewFileInZip", &m_pfnZipOpenNewFileInZip) ||
      !zip_library::Resolve(m_library, "zipWriteInFileInZip", &m_pfnZipWriteInFileInZip) ||
      !zip_library::Resolve(m_library, "zipCloseFileInZip", &m_pfnZipCloseFileInZip)) {
    m_library.Unload();
    return;
  }
  zip_library::Resolve(m_library, "zipOpen2", &m_pfnZipOpen2);
}

const platform::Status& CZip::write_status() const {
  return m_archiveFile != nullptr ? m_archiveFile->status : kNoFailure;
}

namespace {

// Why an archive could not be opened: the zip libraries keep the system's
// error to themselves, so the file is opened the same way through the file
// layer, which reports it. A file created by that probe alone is removed.
platform::Status DiagnoseOpenFailure(const std::string& archive, bool append) {
  const std::u16string path = platform::FromSystemCodePage(archive);
  const bool existed = platform::PathExists(std::string_view(archive));
  platform::File file;
  platform::Status status =
      file.Open(path, append ? platform::File::Mode::kAppend : platform::File::Mode::kCreateAlways);
  if (!status.ok()) return status;
  file.Close();
  if (!existed) platform::DeleteFile(path);
  return platform::Status::Error(platform::kErrorWriteFault, "open archive", path);
}

}  // namespace

int CZip::Open(const char* name, bool append) {
  m_openStatus = {};
  const int result = OpenArchive(name, append);
  if (result == 0) return result;
  if (name == nullptr) {
    m_openStatus = platform::Status::Error(platform::kErrorInvalidParameter, "open archive");
  } else if (m_pZipAU == nullptr && !m_library.is_loaded()) {
    m_openStatus = platform::Status::Error(platform::kErrorFileNotFound, "load library",
                                           zip_library::kMinizipLibrary);
  } else {
    m_openStatus = DiagnoseOpenFailure(NormalizeArchiveName(name), append);
  }
  return result;
}

int CZip::OpenArchive(const char* name, bool append) {
  if (m_pZipAU != nullptr) return m_pZipAU->Open(name, append);
  if (!m_library.is_loaded()) return kZipResultNoLibrary;
  if (name == nullptr) return kZipResultNullName;
  Close();
  const std::string path = platform::NativePath(NormalizeArchiveName(name));
  if (append) {
    m_hZip = m_pfnZipOpen(path.c_str(), kAppendAfterContent);
    return m_hZip != nullptr ? 0 : kZipResultNoLibrary;
  }
  m_archiveFile = std::make_unique<ZipArchiveFile>();
  if (m_pfnZipOpen2 != nullptr) {
    zlib_filefunc_def functions = {};
    functions.zopen_file = OpenArchiveFile;
    functions.zread_file = ReadArchiveFile;
    functions.zwrite_file = WriteArchiveFile;
    functions.ztell_file = TellArchiveFile;
    functions.zseek_file = SeekArchiveFile;
    functions.zclose_file = CloseArchiveFile;
    functions.zerror_file = TestArchiveFileError;
    functions.opaque = m_archiveFile.get();
    m_hZip = m_pfnZipOpen2(path.c_str(), APPEND_STATUS_CREATE, nullptr, &functions);
    return m_hZip != nullptr ? 0 : kZipResultNoLibrary;
  }
  // Without zipOpen2 minizip opens the file itself, and would follow a link:
  // the file is first created here, new and owner-only, so that minizip
  // finds a plain file of ours.
  platform::File created;
  const std::u16string native = platform::FromSystemCodePage(path);
  if (platform::IsSymbolicLink(native)) platform::DeleteFile(native);
  m_archiveFile->Keep(
      created.Open(native, platform::File::Mode::kCreateAlways, platform::Access::kOwnerOnly));
  if (!created.is_open()) return kZipResultNoLibrary;
  created.Close();
  m_hZip = m_pfnZipOpen(path.c_str(), APPEND_STATUS_CREATE);
  return m_hZip != nullptr ? 0 : kZipResultNoLibrary;
}

int CZip::AddFile(const char* base_folder, const char* name, int level) {
  if (m_pZipAU != nullptr) return m_pZipAU->AddFile(base_folder, name, level);
  if (!IsReady()) return kZipResultNoLibrary;
  if (name == nullptr) return kZipResultNullName;
  const std::string disk_path = base_folder != nullptr ? JoinZipPath(base_folder, name) : name;

  platform::FileInfo info;
  const platform::Status found =
      platform::GetFileInfo(platform::FromSystemCodePage(disk_path), &info);
  if (!found.ok()) throw CWinFileException(found.code());
  zip_fileinfo file_info = {};
  file_info.dosDate = platform::PackedDosDateTime(info.modified_ns);

  // The disk file is opened before the member, so that a file that cannot be
  // read leaves no empty member behind.
  CWinFile file;
  file.Open(disk_path.c_str(), platform::File::Mode::kRead);
  const int opened = m_pfnZipOpenNewFileInZip(m_hZip, name, &file_info, nullptr, 0, nullptr, 0,
                                              nullptr, level != 0 ? Z_DEFLATED : 0, level);
  if (opened != ZIP_OK) return opened;

  int write_error = ZIP_OK;
  char buffer[kZipStreamPieceSize];
  for (;;) {
    const size_t read = file.Read(buffer, sizeof buffer);
    if (read == 0) break;
    write_error = m_pfnZipWriteInFileInZip(m_hZip, buffer, static_cast<unsigned>(read));
    if (write_error != ZIP_OK) break;
  }
  const int closed = m_pfnZipCloseFileInZip(m_hZip);
  return write_error != ZIP_OK ? write_error : closed;
}

int CZip::AddFolder(const char* folder, bool recursive, int level, ProgressCallback callback,
                    void* context) {
  if (m_pZipAU != nullptr) return m_pZipAU->ZipRecursive(folder, recursive, level);
  if (!IsReady()) return kZipResultNoLibrary;
  if (folder == nullptr) return kZipResultNullName;
  bool stop = false;
  return AddFolderFiles(folder, recursive, level, callback, context, &stop);
}

int CZip::AddFolderFiles(const std::string& folder, bool recursive, int level,
                         ProgressCallback callback, void* context, bool* stop) {
  int result = 0;
  CWinFileFind finder;
  for (bool found = finder.FindFirst(JoinZipPath(folder, "*.*").c_str()); found;
       found = finder.FindNext()) {
    const std::string& name = finder.GetFileName();
    if (name.starts_with('.')) continue;
    const std::string member = JoinZipPath(folder, name);
    if (finder.IsDirectory()) {
      if (!recursive) continue;
      result = AddFolderFiles(member, recursive, level, callback, context, stop);
    } else {
      if (callback != nullptr && !callback(context, member.c_str(), 0)) {
        *stop = true;
        break;
      }
      result = AddFile(nullptr, member.c_str(), level);
      if (result != 0) {
        *stop = true;
        break;
      }
      if (callback != nullptr) callback(context, member.c_str(), 1);
    }
    if (*stop) break;
  }
  return result;
}

int CZip::Close(const char* global_comment) {
  if (m_pZipAU != nullptr) return m_pZipAU->Close();
  if (!IsReady()) return kZipResultNoLibrary;
  const int result = m_pfnZipClose(m_hZip, global_comment);
  m_hZip = nullptr;
  return result;
}
