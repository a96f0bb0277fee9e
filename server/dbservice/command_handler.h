// What the service does for each command: the state it changes and the reply
// it answers with. The caller runs Handle inside a transaction of the store.
//
// Replies to text commands are UTF-16LE text without terminator; a domain
// the service does not hold gets the empty reply from every query:
//   DB_GET_DOMAIN                   "uid\tentry\tthird\n" per child, in
//                                   creation order; empty for a leaf
//   DB_GET_CLN_DOMAIN_NAME_AND_UID  "name\tuid"
//   DB_EXPORT                       the configuration bytes; empty when none
//   DB_GET_STATUS                   the status word in decimal
//   DB_FIND_DOMAIN_UID              the UID of the first-created domain with
//                                   that entry name, letter case ignored
//   DB_GET_SPYWARE_WHITE_LIST       the list, TAB-separated decimals
//   DB_GET_CLIENT_PASSWORD          "uninstall\tunload"
//   DB_GET_KSRC_DEST_SCAN_TYPE      one decimal
//   DB_GET_SERVICE_SWITCH           three decimals, TAB-separated
// One-way commands store what they carry: DB_IMPORT the stream as the
// domain's configuration, DB_SET_DOMAIN_UID the domain's parent.
// Serialized commands are answered with a message of the same command name
// whose body is one 32-bit status: DBV2_CLIENT_ON_START creates the domain
// of its record (0) or refuses (-1) one whose UID exists already, a record
// without UID or with texts that replies could not carry (TAB, line feed), and
// a parent that lies below the new domain; DBV2_SET_DLP_CFG stores both
// records for every UID of its list (0) or, when one of them is not a
// domain, nothing (-1).
#ifndef PORTELLE_SERVER_DBSERVICE_COMMAND_HANDLER_H_
#define PORTELLE_SERVER_DBSERVICE_COMMAND_HANDLER_H_

#include <optional>
#include <string>

#include "server/dbservice/db_store.h"
#include "server/dbservice/fixture.h"
#include "server/dbservice/request.h"

namespace dbservice {

struct Outcome {
  std::optional<std::string> reply;  // the bytes to answer with; none for one-way commands
  std::string note;                  // what the request did, for the journal
};

// Handles a parsed request. `fault`, when given, is the fault rule that
// applies to it; only its status is used here.
Outcome HandleRequest(const Request& request, const FaultRule* fault, CDbStore* store);

}  // namespace dbservice

#endif  // PORTELLE_SERVER_DBSERVICE_COMMAND_HANDLER_H_
