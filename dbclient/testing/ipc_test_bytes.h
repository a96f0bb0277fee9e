// Test helpers that spell out serialized items byte by byte, written from
// the item layouts rather than from the serializer, so that tests compare the
// serializer's output with an independent encoding.
#ifndef PORTELLE_DBCLIENT_TESTING_IPC_TEST_BYTES_H_
#define PORTELLE_DBCLIENT_TESTING_IPC_TEST_BYTES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "dbclient/util_ipc_msg_buffer.h"

namespace ipc_test {

// The item every buffer opens with: count 4, version 1.
inline const std::string kVersionItem("\x04\x00\x00\x00\x01\x00\x00\x00", 8);

inline std::string Le16(uint16_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }

inline std::string Le32(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

inline std::string Utf16Le(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += Le16(c);
  return out;
}

inline std::string WordItem(uint16_t v) { return Le32(2) + Le16(v); }
inline std::string DwordItem(uint32_t v) { return Le32(4) + Le32(v); }
inline std::string StringItem(std::u16string_view text) {
  return Le32(static_cast<uint32_t>(text.size() * 2 + 2)) + Utf16Le(text) + std::string(2, '\0');
}

// The bytes in a buffer's memory block.
inline std::string Bytes(const CAccBuffer& buffer) {
  if (buffer.GetBuffer() == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(buffer.GetBuffer()),
                     static_cast<size_t>(buffer.GetBytesUsed()));
}

// Catches the buffer exception a call raises and returns its code; -1 when
// it raises none.
template <typename F>
int32_t RaisedCode(F&& call) {
  try {
    call();
  } catch (const CIPCMsgBufferException& e) {
    return e.GetCode();
  }
  return -1;
}

}  // namespace ipc_test

#endif  // PORTELLE_DBCLIENT_TESTING_IPC_TEST_BYTES_H_
