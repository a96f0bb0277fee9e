// The database client's reply parsers, each over the same reply bytes:
// status, spyware white list, client passwords and the domain list.
#include <cstddef>
#include <cstdint>
#include <string>

#include "dbclient/dbcl_Command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);

  ParseStatusReply(reply);

  CSettingContainerSpywareWhiteList list;
  int32_t count = static_cast<int32_t>(size % 300);
  const int32_t most = count;
  ParseSpywareWhiteListReply(reply, &list, &count);
  if (count > most || count != static_cast<int32_t>(list.GetList().size())) __builtin_trap();

  tagDbClientPassword record;
  record.SetDomainUid(u"8d3ef256-6149-5380-9b5d-ce3b8437c6f6");
  ParsePasswordReply(reply, &record);
  if (record.GetUninstallPwd().size() >= tagDbClientPassword::kPasswordChars ||
      record.GetUnloadPwd().size() >= tagDbClientPassword::kPasswordChars) {
    __builtin_trap();
  }

  for (const DbDomainListEntry& entry : ParseDomainListReply(reply)) {
    if (entry.uid.empty()) __builtin_trap();
  }
  return 0;
}
