// The server's zip library (libPackDll) for this system, written over
// minizip. The call contract is zip/PackDll.h.
#include "zip/PackDll.h"

#include <minizip/zip.h>

#include <string>

#include "platform/dos_time.h"
#include "platform/file_system.h"
#include "platform/text.h"

// On Windows the .def file beside this one names the exports; elsewhere the
// module is built with hidden visibility and exports what is marked.
#if defined(_WIN32)
#define PACKDLL_EXPORT extern "C"
#else
#define PACKDLL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

constexpr size_t kCopyPieceSize = 64 * 1024;

struct PackArchive {
  zipFile zip;
  int level;
};

std::string JoinPath(const char* folder, const char* name) {
  std::string path = folder;
  if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '\\';
  return path + name;
}

}  // namespace

PACKDLL_EXPORT int Zip_Open(void** handle, const char* name, int append, int create) {
  if (handle == nullptr || name == nullptr) return ZIP_PARAMERROR;
  const bool exists = platform::PathExists(std::string_view(name));
  if (!exists && create == 0) return ZIP_ERRNO;
  const zipFile zip =
      zipOpen(platform::NativePath(std::string_view(name)).c_str(),
              append != 0 && exists ? APPEND_STATUS_ADDINZIP : APPEND_STATUS_CREATE);
  if (zip == nullptr) return ZIP_ERRNO;
  *handle = new PackArchive{zip, Z_DEFAULT_COMPRESSION};
  return ZIP_OK;
}

PACKDLL_EXPORT int Zip_Close(void* handle) {
  if (handle == nullptr) return ZIP_PARAMERROR;
  PackArchive* archive = static_cast<PackArchive*>(handle);
  const int result = zipClose(archive->zip, nullptr);
  delete archive;
  return result;
}

PACKDLL_EXPORT int Zip_SetLevel(void* handle, int level) {
  if (handle == nullptr || level < Z_DEFAULT_COMPRESSION || level > Z_BEST_COMPRESSION) {
    return ZIP_PARAMERROR;
  }
  static_cast<PackArchive*>(handle)->level = level;
  return ZIP_OK;
}

PACKDLL_EXPORT int Zip_Append(void* handle, const char* base_folder, const char* relative_name,
                              int flags) {
  if (handle == nullptr || base_folder == nullptr || relative_name == nullptr || flags != 0) {
    return ZIP_PARAMERROR;
  }
  const PackArchive* archive = static_cast<PackArchive*>(handle);
  const std::u16string path = platform::FromSystemCodePage(JoinPath(base_folder, relative_name));
  platform::FileInfo info;
  platform::File file;
  if (!platform::GetFileInfo(path, &info).ok() || info.is_folder ||
      !file.Open(path, platform::File::Mode::kRead).ok()) {
    return ZIP_ERRNO;
  }
  zip_fileinfo file_info = {};
  file_info.dosDate = platform::PackedDosDateTime(info.modified_ns);
  int result = zipOpenNewFileInZip(archive->zip, relative_name, &file_info, nullptr, 0, nullptr, 0,
                                   nullptr, archive->level != 0 ? Z_DEFLATED : 0, archive->level);
  if (result != ZIP_OK) return result;
  char buffer[kCopyPieceSize];
  for (;;) {
    size_t read = 0;
    if (!file.Read(buffer, sizeof buffer, &read).ok()) {
      result = ZIP_ERRNO;
      break;
    }
    if (read == 0) break;
    result = zipWriteInFileInZip(archive->zip, buffer, static_cast<unsigned>(read));
    if (result != ZIP_OK) break;
  }
  const int closed = zipCloseFileInZip(archive->zip);
  return result != ZIP_OK ? result : closed;
}
