// A socket file as a crashed program leaves it: bound, never unlinked, with
// nobody listening on it.
#ifndef PORTELLE_TESTS_SUPPORT_STALE_SOCKET_H_
#define PORTELLE_TESTS_SUPPORT_STALE_SOCKET_H_

#include <string>

namespace testing_support {

// Creates the stale socket file `path`; false when that failed. On Windows,
// where a pipe ends with its last handle and a crashed server leaves nothing,
// there is nothing to create: true.
bool LeaveStaleSocket(const std::string& path);

}  // namespace testing_support

#endif  // PORTELLE_TESTS_SUPPORT_STALE_SOCKET_H_
