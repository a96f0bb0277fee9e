// The exceptions of the zip layer. File-system failures inside the zip
// wrappers are thrown (by value) as CWinFileException and pass through the
// wrappers to the caller, which catches CZipCommonException& and shows or
// logs its text. The error code is a system error code (errno here, a
// Windows error code there), or -1 for a file handle that is not open.
#ifndef PORTELLE_ZIP_ZIPEXCEPTION_H_
#define PORTELLE_ZIP_ZIPEXCEPTION_H_

#include <string>
#include <utility>

class CZipCommonException {
 public:
  explicit CZipCommonException(int error) : m_nError(error) {}

  // Writes "Error : %d, Description : %s" (the code and the system's text for
  // it) into `buffer`, cut to `size` - 1 bytes and terminated. Returns 1, or
  // 0 when there is no buffer to write to. `help_context` is left alone.
  virtual int GetErrorText(char* buffer, unsigned int size, unsigned int* help_context = nullptr);

  virtual ~CZipCommonException() = default;

  int GetError() const { return m_nError; }

 protected:
  // Copies `text` into the caller's buffer as GetErrorText promises.
  static int CopyErrorText(const char* text, char* buffer, unsigned int size);

 private:
  int m_nError;
};

// A failure of a file or folder operation. The path of the file or folder,
// when the thrower knows it, lets the caller say which one failed.
class CWinFileException : public CZipCommonException {
 public:
  explicit CWinFileException(int error, std::string path = {})
      : CZipCommonException(error), m_strPath(std::move(path)) {}

  // The file or folder the operation failed on (system code page), or empty.
  const std::string& GetPath() const { return m_strPath; }

  // "CWinFileException: " followed by the base class's text.
  int GetErrorText(char* buffer, unsigned int size, unsigned int* help_context = nullptr) override;

 private:
  std::string m_strPath;
};

#endif  // PORTELLE_ZIP_ZIPEXCEPTION_H_
