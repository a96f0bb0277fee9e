// The server versions that decide what an export reads and writes and where
// an import may run. A version is the number of the server's "Server_Version"
// registry text (8.0 ... 10.6); the lines of servers between them are told
// apart by thresholds that lie between two released numbers, so that a
// version read as, say, 10.499999 still counts as 10.5.
#ifndef PORTELLE_PACKAGE_SERVERVERSIONS_H_
#define PORTELLE_PACKAGE_SERVERVERSIONS_H_

#include <cstdint>

namespace server_versions {

// The oldest server the tool exports from.
inline constexpr double kOldest = 8.0;
// Versions below this are the 8.x line; at or above it, 10 and later.
inline constexpr double k10Threshold = 9.99;
// Versions above this are later than 10 (10.5, 10.6): they keep a domain
// tree, and keep ssnotify.ini under "admin\".
inline constexpr double kAfter10Threshold = 10.01;
// Versions at or above this are 10.5 and later: alert files under "Admin\",
// no separate OLE-layer settings.
inline constexpr double k105Threshold = 10.49;
// Versions at or above this are 10.6 and later.
inline constexpr double k106Threshold = 10.59;

// The newest server, compared exactly, and its newest service pack: exports
// run on it up to that service pack without a patch, and imports only into
// exactly that service pack without a patch.
inline constexpr double kNewest = 10.6;
inline constexpr int32_t kNewestServicePack = 2;

}  // namespace server_versions

#endif  // PORTELLE_PACKAGE_SERVERVERSIONS_H_
