// Copies, comparisons and scans of the few bytes of a field or key, made in
// line.  A call of the C runtime's copy or comparison for 10 to 60 bytes
// costs more than the work, and a scan makes several for every entry; some
// runtimes (Wine's) do such short runs slowly too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ondrel {

// Copies n bytes from src to dst, which do not overlap: a word at a time,
// the last word overlapping the one before, with no byte outside either
// range touched.  Long runs go to the runtime's copy.
inline void CopyShort(char* dst, const char* src, std::size_t n) {
  if (n >= 8) {
    if (n > 64) {
      std::memcpy(dst, src, n);
      return;
    }
    for (std::size_t at = 0; at + 8 < n; at += 8) std::memcpy(dst + at, src + at, 8);
    std::memcpy(dst + n - 8, src + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(dst, src, 4);
    std::memcpy(dst + n - 4, src + n - 4, 4);
  } else if (n > 0) {
    dst[0] = src[0];
    dst[n / 2] = src[n / 2];
    dst[n - 1] = src[n - 1];
  }
}

// The length of bytes[0, n) without its trailing blanks, eight at a time.
inline std::size_t WithoutTrailingBlanksLength(const char* bytes, std::size_t n) {
  constexpr std::uint64_t kBlanks = 0x2020202020202020ull;
  for (std::uint64_t word; n >= 8; n -= 8) {
    std::memcpy(&word, bytes + n - 8, 8);
    if (word != kBlanks) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      // The last bytes of the run are the word's highest: its blanks at
      // the end are the zero bytes at the top of word XOR blanks.
      return n - static_cast<std::size_t>(__builtin_clzll(word ^ kBlanks) / 8);
#else
      break;
#endif
    }
  }
  while (n > 0 && bytes[n - 1] == ' ') --n;
  return n;
}

// memcmp's order of bytes[0, n) of a and b, as its sign: -1, 0 or 1.  Eight
// bytes at a time, the last eight overlapping the ones before (equal by
// then, so the first difference lies in the bytes not yet compared).
inline int CompareShort(const unsigned char* a, const unsigned char* b, std::size_t n) {
  // The first byte that differs decides: the words are compared as numbers
  // whose first byte is the highest.
  const auto order = [](std::uint64_t x, std::uint64_t y) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    x = __builtin_bswap64(x);
    y = __builtin_bswap64(y);
#endif
    return x < y ? -1 : 1;
  };
  std::uint64_t x, y;
  if (n >= 8) {
    for (std::size_t at = 0; at + 8 < n; at += 8) {
      std::memcpy(&x, a + at, 8);
      std::memcpy(&y, b + at, 8);
      if (x != y) return order(x, y);
    }
    std::memcpy(&x, a + n - 8, 8);
    std::memcpy(&y, b + n - 8, 8);
    return x == y ? 0 : order(x, y);
  }
  for (std::size_t at = 0; at < n; ++at)
    if (a[at] != b[at]) return a[at] < b[at] ? -1 : 1;
  return 0;
}

}  // namespace ondrel
