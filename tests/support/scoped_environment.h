// Sets an environment variable for the lifetime of this object and restores
// its earlier value (or its absence) afterwards.
#ifndef PORTELLE_TESTS_SUPPORT_SCOPED_ENVIRONMENT_H_
#define PORTELLE_TESTS_SUPPORT_SCOPED_ENVIRONMENT_H_

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(std::string name, const std::string& value);
  ~ScopedEnvironmentVariable();
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// Points the folder for temporary files (platform::TemporaryFolder) at
// `path` for the lifetime of this object: $TMPDIR on POSIX systems, %TMP% and
// %TEMP% on Windows.
class ScopedTemporaryFolder {
 public:
  explicit ScopedTemporaryFolder(const std::string& path);

 private:
  std::vector<std::unique_ptr<ScopedEnvironmentVariable>> variables_;
};

}  // namespace testing_support

#endif  // PORTELLE_TESTS_SUPPORT_SCOPED_ENVIRONMENT_H_
