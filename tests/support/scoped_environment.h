// Sets an environment variable for the lifetime of this object and restores
// its earlier value (or its absence) afterwards.
#ifndef PORTELLE_TESTS_SUPPORT_SCOPED_ENVIRONMENT_H_
#define PORTELLE_TESTS_SUPPORT_SCOPED_ENVIRONMENT_H_

#include <optional>
#include <string>

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

}  // namespace testing_support

#endif  // PORTELLE_TESTS_SUPPORT_SCOPED_ENVIRONMENT_H_
