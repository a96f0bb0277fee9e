// A socket file as a crashed program leaves it: bound, never unlinked, with
// nobody listening on it.
#ifndef PORTELLE_TESTS_SUPPORT_STALE_SOCKET_H_
#define PORTELLE_TESTS_SUPPORT_STALE_SOCKET_H_

#include <string>

namespace testing_support {

// Creates the stale socket file `path`; false when that failed.
bool LeaveStaleSocket(const std::string& path);

}  // namespace testing_support

#endif  // PORTELLE_TESTS_SUPPORT_STALE_SOCKET_H_
