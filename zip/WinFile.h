// File handles and folder searches for the zip wrappers, named by narrow
// paths in the system code page (backslashes allowed, see
// platform/file_system.h). Every failure is thrown as CWinFileException with
// the system error code.
#ifndef PORTELLE_ZIP_WINFILE_H_
#define PORTELLE_ZIP_WINFILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_system.h"

class CWinFile {
 public:
  CWinFile() = default;
  virtual ~CWinFile() = default;  // closes the file
  CWinFile(const CWinFile&) = delete;
  CWinFile& operator=(const CWinFile&) = delete;

  // Opens `name`: kRead for an existing file; kCreateAlways creates or
  // replaces it; kCreateNew fails on an existing file. A null name throws
  // kErrorInvalidParameter. An open file is closed first.
  void Open(const char* name, platform::File::Mode mode);

  // Reads up to `size` bytes; 0 at the end of the file.
  size_t Read(void* buffer, size_t size);
  // Writes all `size` bytes or throws.
  void Write(const void* data, size_t size);
  void Flush();
  // Last-access and last-write times, nanoseconds since 1970-01-01 UTC.
  void SetTimes(int64_t accessed, int64_t modified);
  void Close();

  bool IsOpen() const { return m_file.is_open(); }

 private:
  // Throws -1 unless a file is open.
  void RequireOpen() const;

  platform::File m_file;
};

// A search of one folder for the names that match a pattern, like Windows'
// FindFirstFile: "folder\*.*" lists every entry of the folder. The folder's
// own entries "." and ".." are never listed.
class CWinFileFind {
 public:
  CWinFileFind() = default;
  virtual ~CWinFileFind() = default;
  CWinFileFind(const CWinFileFind&) = delete;
  CWinFileFind& operator=(const CWinFileFind&) = delete;

  // Starts a search for `pattern`: a folder and a last component in which '*'
  // stands for any run of characters and '?' for one, letter case ignored
  // ("*.*" matches names without a dot too). A previous search is closed.
  // Returns true positioned on the first match, false when the folder holds
  // no match; a folder that cannot be listed throws its system error.
  bool FindFirst(const char* pattern);

  // Moves to the next match; false when there is none. Throws
  // kErrorInvalidHandle when no search is open.
  bool FindNext();

  // The current entry's name (without folder) and kind.
  const std::string& GetFileName() const;
  bool IsDirectory() const;
  // A folder whose name does not begin with '.'.
  bool IsSubfolder() const;

  void Close();

 private:
  struct Entry {
    std::string name;
    bool is_folder;
  };

  const Entry& Current() const;

  std::vector<Entry> m_entries;
  size_t m_nCurrent = 0;
  bool m_bOpen = false;
};

#endif  // PORTELLE_ZIP_WINFILE_H_
