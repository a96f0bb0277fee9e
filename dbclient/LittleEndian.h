// Integers in little-endian byte order, the order of every integer in the
// database service's serialized messages, written byte by byte so that the
// layout does not depend on the host.
#ifndef PORTELLE_DBCLIENT_LITTLEENDIAN_H_
#define PORTELLE_DBCLIENT_LITTLEENDIAN_H_

#include <cstdint>

namespace little_endian {

inline void Put16(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
}

inline void Put32(uint8_t* out, uint32_t value) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
  out[2] = static_cast<uint8_t>(value >> 16);
  out[3] = static_cast<uint8_t>(value >> 24);
}

inline uint16_t Get16(const uint8_t* in) { return static_cast<uint16_t>(in[0] | (in[1] << 8)); }

inline uint32_t Get32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
         (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
}

}  // namespace little_endian

#endif  // PORTELLE_DBCLIENT_LITTLEENDIAN_H_
