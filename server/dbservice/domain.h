// One domain of the service's tree with everything the service answers
// about it. Texts are UTF-8; the configuration is the bytes DB_EXPORT sends
// (UTF-16LE token text without terminator).
#ifndef PORTELLE_SERVER_DBSERVICE_DOMAIN_H_
#define PORTELLE_SERVER_DBSERVICE_DOMAIN_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dbclient/dbcl_CommandWords.h"
#include "platform/text.h"

namespace dbservice {

// The root of the tree. It is not a stored domain: it has no fields of its
// own, only the domains whose parent it is.
inline const std::string kRootUid = platform::Utf16ToUtf8(kDbRootDomainUid);

struct Domain {
  std::string uid;
  std::string parent = kRootUid;
  std::string entry;                  // the entry name, looked up without regard to letter case
  std::string name;                   // the domain name text
  std::string third;                  // the third field of each child record of DB_GET_DOMAIN
  std::optional<std::string> config;  // none: DB_EXPORT answers nothing
  int32_t status = 0;
  std::vector<int32_t> spyware;
  std::string uninstall_password;
  std::string unload_password;
  uint32_t dest_scan_type = 0;
  uint32_t switch_first = 0;  // the service switch: read as one unsigned
  int32_t switch_second = 0;  // and two signed values
  int32_t switch_third = 0;
};

// A spyware list as DB_GET_SPYWARE_WHITE_LIST answers it: TAB-separated
// decimals.
std::string SpywareText(const std::vector<int32_t>& list);

}  // namespace dbservice

#endif  // PORTELLE_SERVER_DBSERVICE_DOMAIN_H_
