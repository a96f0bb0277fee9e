// The file name a test writes or copies for a library the program loads by
// its Windows name: "zlibwapi.dll" is zlibwapi.so on POSIX systems and
// zlibwapi.dll on Windows (platform::LibraryFileName), as narrow text.
#ifndef PORTELLE_TESTS_SUPPORT_LIBRARY_NAME_H_
#define PORTELLE_TESTS_SUPPORT_LIBRARY_NAME_H_

#include <string>
#include <string_view>

#include "platform/dynamic_library.h"
#include "platform/text.h"

namespace testing_support {

inline std::string LibraryFile(std::string_view windows_name) {
  return platform::ToSystemCodePage(
      platform::LibraryFileName(platform::FromSystemCodePage(windows_name)));
}

inline std::u16string WideLibraryFile(std::u16string_view windows_name) {
  return platform::LibraryFileName(windows_name);
}

}  // namespace testing_support

#endif  // PORTELLE_TESTS_SUPPORT_LIBRARY_NAME_H_
