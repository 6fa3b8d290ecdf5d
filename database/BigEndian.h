// The number forms of the index file, most significant byte first.
//
// BE16 is a signed 16-bit value (FF FF is -1, 80 00 is -32768).  BE32 is an
// unsigned 32-bit value; valid files keep it below 2^31.
//
// IntFromBigEndian and LongFromBigEndian take a number into which the bytes
// were read as they lie in the file on a little-endian machine (first byte as
// the low half) and return the value the same bytes give in big-endian order.
#pragma once

#include <cstdint>

#include "database/SharedState.h"

namespace ondrel {

inline Integer BE16(const unsigned char* b) {
  return static_cast<Integer>(static_cast<std::uint16_t>((b[0] << 8) | b[1]));
}

inline std::uint32_t BE32(const unsigned char* b) {
  return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
         std::uint32_t{b[3]};
}

inline Integer IntFromBigEndian(Integer asRead) {
  const auto u = static_cast<std::uint16_t>(asRead);
  return static_cast<Integer>(static_cast<std::uint16_t>((u << 8) | (u >> 8)));
}

// Returns the BE32 as a Long; a value of 2^31 and above comes out negative,
// which no caller accepts as a record number, node number or count.
inline Long LongFromBigEndian(Long asRead) {
  const auto u = static_cast<std::uint32_t>(asRead);
  const std::uint32_t swapped =
      (u >> 24) | ((u >> 8) & 0xFF00u) | ((u << 8) & 0xFF0000u) | (u << 24);
  return static_cast<Long>(swapped);
}

}  // namespace ondrel
