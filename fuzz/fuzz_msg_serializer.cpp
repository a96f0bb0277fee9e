// Replies of serialized commands: CMsgSerializer::Load and the body reads
// the commands make, and CIPCMsgBuffer's item reads through a plain
// CSerializer. The first byte picks the body reads.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dbclient/MsgSerializer.h"
#include "dbclient/Serializer.h"
#include "dbclient/SettingContainer.h"
#include "dbclient/ipc_records.h"
#include "dbclient/util_ipc_msg_buffer.h"

namespace {

void ReadBody(CSerializer& message, uint8_t plan) {
  for (int i = 0; i < 8; ++i) {
    plan = static_cast<uint8_t>(plan * 5 + 3);
    switch ((plan >> 4) % 8) {
      case 0: {
        int32_t v = 0;
        message >> v;
        break;
      }
      case 1: {
        uint16_t v = 0;
        message >> v;
        break;
      }
      case 2: {
        std::u16string v;
        message >> v;
        break;
      }
      case 3: {
        std::vector<std::u16string> v;
        message >> v;
        break;
      }
      case 4: {
        std::vector<int32_t> v;
        message >> v;
        break;
      }
      case 5: {
        CSettingContainerSpywareWhiteList list;
        message.ReadObject(list);
        break;
      }
      case 6: {
        tagCln_DlpClcCfg clc;
        message.ReadObject(clc);
        break;
      }
      case 7: {
        CIPCMsgBuffer::Item item;
        static_cast<CIPCMsgBuffer&>(message) >> item;
        break;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t plan = data[0];
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  // A header that says the body lies in a file makes Load open the path that
  // follows; a reply from outside must not make the fuzzer read the files of
  // this machine, so that flag is cleared (the header's flags byte follows
  // the version item and the header's count).
  constexpr size_t kFlagsOffset = 8 + 4 + 4;
  if (bytes.size() > kFlagsOffset) {
    bytes[kFlagsOffset] = static_cast<char>(bytes[kFlagsOffset] & ~CMsgSerializer::kFlagBodyInFile);
  }
  try {
    CMsgSerializer message(u"DBV2_CLIENT_ON_START", CMsgSerializer::kModeMemory, 1, 1);
    message.Load(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ReadBody(message, plan);
  } catch (const CIPCMsgBufferException&) {
  }
  try {
    CSerializer plain;
    plain.Load(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ReadBody(plain, static_cast<uint8_t>(plan ^ 0x5A));
  } catch (const CIPCMsgBufferException&) {
  }
  return 0;
}
