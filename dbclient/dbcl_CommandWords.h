// The words and fixed values of the database service's commands, shared by
// the client and the service stand-in; frozen, as the service knows them.
#ifndef PORTELLE_DBCLIENT_DBCL_COMMANDWORDS_H_
#define PORTELLE_DBCLIENT_DBCL_COMMANDWORDS_H_

#include <cstdint>

// Text commands with a reply: the transaction number is their second token.
inline constexpr char16_t kDbGetDomain[] = u"DB_GET_DOMAIN";
inline constexpr char16_t kDbGetClnDomainNameAndUid[] = u"DB_GET_CLN_DOMAIN_NAME_AND_UID";
inline constexpr char16_t kDbExport[] = u"DB_EXPORT";
inline constexpr char16_t kDbGetStatus[] = u"DB_GET_STATUS";
inline constexpr char16_t kDbFindDomainUid[] = u"DB_FIND_DOMAIN_UID";
inline constexpr char16_t kDbGetSpywareWhiteList[] = u"DB_GET_SPYWARE_WHITE_LIST";
inline constexpr char16_t kDbGetClientPassword[] = u"DB_GET_CLIENT_PASSWORD";
inline constexpr char16_t kDbGetKsrcDestScanType[] = u"DB_GET_KSRC_DEST_SCAN_TYPE";
inline constexpr char16_t kDbGetServiceSwitch[] = u"DB_GET_SERVICE_SWITCH";
// One-way text commands: no transaction number.
inline constexpr char16_t kDbImport[] = u"DB_IMPORT";
inline constexpr char16_t kDbSetDomainUid[] = u"DB_SET_DOMAIN_UID";
// Serialized commands: the message's command name.
inline constexpr char16_t kDbv2ClientOnStart[] = u"DBV2_CLIENT_ON_START";
inline constexpr char16_t kDbv2SetDlpCfg[] = u"DBV2_SET_DLP_CFG";

// The root of the domain tree.
inline constexpr char16_t kDbRootDomainUid[] = u"00000000-0000-0000-0000-000000000000";
// The list type every domain lookup sends.
inline constexpr uint16_t kDbDomainListType = 2;
// The value "DBV2_SET_DLP_CFG" sends between the UID list and the records.
inline constexpr int32_t kDbDlpCfgValue = 2;
// Statuses of "DBV2_CLIENT_ON_START"; any other value is abnormal.
inline constexpr int32_t kDbClientOnStartCreated = 0;
inline constexpr int32_t kDbClientOnStartRefused = -1;

#endif  // PORTELLE_DBCLIENT_DBCL_COMMANDWORDS_H_
