// The database as JSON, for tests and users to see what requests did:
//
//   {
//     "domains":  [ {...}, ... ],   in creation order, each with the keys of
//                                   a fixture's domain (README.md), the
//                                   configuration as its list of tokens
//     "tree":     [ {"uid", "entry", "children": [...]}, ... ]  below the root
//     "detached": [ ... ]   subtrees whose parent chain does not reach the
//                           root (their top's parent does not exist)
//     "dlp":      [ {"uid", "value", "dc": {...}, "clc": {...}}, ... ]
//     "journal":  [ {"id", "time", "kind", "command", "reply_pipe",
//                    "arguments", "bytes", "outcome", "reply", "error",
//                    "raw_hex", "service_us"}, ... ]
//     "timing":   {"requests", "total_us", "median_us", "max_us"}
//   }
// "service_us" is the service's own time for a request, from accepting the
// connection to the last write of the reply, injected delays left out.
// "timing" sums it up over the journal.
#ifndef PORTELLE_SERVER_DBSERVICE_DUMP_H_
#define PORTELLE_SERVER_DBSERVICE_DUMP_H_

#include <string>

#include "server/dbservice/db_store.h"

namespace dbservice {

// The dump, indented, with a final line feed. Reads in one transaction, so
// that a running service's requests are seen whole or not at all.
std::string DumpDatabase(CDbStore* store);

}  // namespace dbservice

#endif  // PORTELLE_SERVER_DBSERVICE_DUMP_H_
