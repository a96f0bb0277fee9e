#include "tests/support/scoped_environment.h"

#include <cstdlib>
#include <utility>

#ifdef _WIN32
#include <windows.h>

#include "platform/text.h"
#endif

namespace testing_support {
namespace {

// Sets (or, for nothing, removes) a variable where every reader looks: on
// Windows both the C runtime's copy (getenv) and the process's own block
// (GetEnvironmentVariableW, and what a started program inherits).
void Set(const std::string& name, const std::string* value) {
#ifdef _WIN32
  // _putenv_s cannot hold an empty value: an empty value removes the
  // variable, which every reader here treats alike.
  ::_putenv_s(name.c_str(), value != nullptr ? value->c_str() : "");
  const std::u16string wide_name = platform::Utf8ToUtf16(name);
  const std::u16string wide_value = value != nullptr ? platform::Utf8ToUtf16(*value) : u"";
  ::SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(wide_name.c_str()),
                            value != nullptr && !value->empty()
                                ? reinterpret_cast<const wchar_t*>(wide_value.c_str())
                                : nullptr);
#else
  if (value != nullptr) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
#endif
}

}  // namespace

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name, const std::string& value)
    : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) saved_ = old;
  Set(name_, &value);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() { Set(name_, saved_ ? &*saved_ : nullptr); }

ScopedTemporaryFolder::ScopedTemporaryFolder(const std::string& path) {
#ifdef _WIN32
  for (const char* name : {"TMP", "TEMP"}) {
#else
  for (const char* name : {"TMPDIR"}) {
#endif
    variables_.push_back(std::make_unique<ScopedEnvironmentVariable>(name, path));
  }
}

}  // namespace testing_support
