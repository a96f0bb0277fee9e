// The console's streams on Windows: a stream the caller redirected to a file
// or a pipe keeps it, also after ConsoleOpen, so that captured output
// arrives; a file or pipe gets UTF-8.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/console.h"
#include "platform/file_system.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

const wchar_t* W(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// Points one standard handle at a file while it lives.
class RedirectedStream {
 public:
  RedirectedStream(DWORD std_id, const std::u16string& path, DWORD disposition)
      : std_id_(std_id), saved_(::GetStdHandle(std_id)) {
    file_ = ::CreateFileW(W(NativeWidePath(path)), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition, 0, nullptr);
    ::SetStdHandle(std_id_, file_);
  }
  ~RedirectedStream() {
    ::SetStdHandle(std_id_, saved_);
    ::CloseHandle(file_);
  }
  RedirectedStream(const RedirectedStream&) = delete;
  RedirectedStream& operator=(const RedirectedStream&) = delete;

  bool ok() const { return file_ != INVALID_HANDLE_VALUE; }

 private:
  DWORD std_id_;
  HANDLE saved_;
  HANDLE file_;
};

TEST(ConsoleWinTest, RedirectedStreamsKeepTheirFilesAndGetUtf8) {
  testing_support::TempFolder dir;
  dir.Write("in.txt", "y");
  {
    RedirectedStream out(STD_OUTPUT_HANDLE, dir.Wide("out.txt"), CREATE_ALWAYS);
    RedirectedStream error(STD_ERROR_HANDLE, dir.Wide("err.txt"), CREATE_ALWAYS);
    RedirectedStream in(STD_INPUT_HANDLE, dir.Wide("in.txt"), OPEN_EXISTING);
    ASSERT_TRUE(out.ok() && error.ok() && in.ok());
    // Every stream has somewhere to go: no console is attached or made, and
    // none of them is moved.
    ConsoleOpen(false);
    EXPECT_FALSE(ConsoleErrorIsTerminal());
    ConsoleWrite(u"Export to C:\\Donn\u00e9es\\a.zip\n");
    ConsoleWriteError(u"failed\n");
    EXPECT_EQ(ConsoleReadKey(true), 'y');  // echoed to the output
    EXPECT_EQ(ConsoleReadKey(false), -1);  // the end of the input counts as a key
    ConsoleClose();
  }
  EXPECT_EQ(dir.Read("out.txt"),
            "Export to C:\\Donn\xC3\xA9"
            "es\\a.zip\ny");
  EXPECT_EQ(dir.Read("err.txt"), "failed\n");
}

}  // namespace
}  // namespace platform
