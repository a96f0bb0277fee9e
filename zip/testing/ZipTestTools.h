// Helpers for the zip tests and benchmark: an independent zip reader and
// writer (Python's zipfile), the current folder for one scope, and the lines
// the zip layer logs.
#ifndef PORTELLE_ZIP_TESTING_ZIPTESTTOOLS_H_
#define PORTELLE_ZIP_TESTING_ZIPTESTTOOLS_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/named_pipe.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/temp_folder.h"

namespace zip_testing {

// True where python3 can be started: always on POSIX systems, whose test
// runs need it; on Windows only when one is installed (Wine starts none).
bool PythonCanStart();

// Ends the test as skipped, from here on, where python3 cannot be started.
#define ZIP_TESTING_SKIP_WITHOUT_PYTHON() \
  if (!::zip_testing::PythonCanStart())   \
  GTEST_SKIP() << "python3 cannot be started here to write or read archives independently"

// Runs `script` with python3 in `dir` (the current folder of the script) and
// the arguments `args` (already quoted for the shell). Returns what it wrote
// to standard output; *exit_code gets its exit status.
std::string RunPython(const testing_support::TempFolder& dir, std::string_view script,
                      const std::string& args, int* exit_code);

// The archive's members as Python's zipfile sees them, one line each:
// "name|YYYY-MM-DD hh:mm:ss|compression method|size", followed by the line
// "crc ok" when every member's data matches its CRC. The data of member i is
// written to dir/"member<i>".
std::vector<std::string> ListWithPython(const testing_support::TempFolder& dir,
                                        const std::string& archive);

// Writes the archive `archive` with Python's zipfile: `statements` (one per
// line) run with `z` the ZipFile open for writing, `zipfile` imported and the
// current folder `dir`. False when Python failed.
bool WriteWithPython(const testing_support::TempFolder& dir, const std::string& archive,
                     std::string_view statements);

// Writes the archive `archive` (a path) with `members`, pairs of name and
// data, stored uncompressed in this order: the zip format's plainest form
// (no extra fields, no data descriptors, the time 1980-01-01 00:00), written
// without the zip layer and without Python. False when the file could not
// be written.
bool WriteStoredArchive(const std::string& archive,
                        const std::vector<std::pair<std::string, std::string>>& members);

// Makes `folder` the current folder for the lifetime of this object.
class ScopedCurrentFolder {
 public:
  explicit ScopedCurrentFolder(const std::string& folder);
  ~ScopedCurrentFolder();
  ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
  ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

 private:
  std::u16string m_previous;
};

// Receives the debug-log lines sent while it exists: it listens on the log
// pipe in a pipe folder of its own and lets every line through the log gate.
class LogCapture {
 public:
  struct Line {
    int level;
    std::string source;
    std::string text;  // the message, without the "[][module]" frame
  };

  LogCapture();
  ~LogCapture();
  // The lines logged so far (each is received once).
  std::vector<Line> Lines();

 private:
  testing_support::TempFolder m_dir;
  testing_support::ScopedEnvironmentVariable m_pipe_dir{"BASTIONEL_PIPE_DIR",
                                                        m_dir.path() + "pipes"};
  platform::PipeListener m_listener;
};

}  // namespace zip_testing

#endif  // PORTELLE_ZIP_TESTING_ZIPTESTTOOLS_H_
