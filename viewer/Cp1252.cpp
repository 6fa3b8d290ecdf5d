#include "viewer/Cp1252.h"

#include <cstdint>
#include <cstring>

#include "database/ShortBytes.h"

namespace ondrel {
namespace {

// 0x80 to 0x9F; every other byte is its own code point.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

constexpr char32_t CodePointOf(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : byte;
}

constexpr Utf8Char Utf8Of(char32_t cp) {
  // The code page reaches no further than U+2122: three bytes at most.
  if (cp < 0x80) return {{static_cast<char>(cp), 0, 0}, 1};
  if (cp < 0x800) return {{static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F)), 0}, 2};
  return {{static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
           static_cast<char>(0x80 | (cp & 0x3F))},
          3};
}

constexpr std::array<Utf8Char, 256> MakeTable() {
  std::array<Utf8Char, 256> table{};
  for (int b = 0; b < 256; ++b) table[static_cast<std::size_t>(b)] = Utf8Of(CodePointOf(static_cast<unsigned char>(b)));
  return table;
}

// The length of the run of ASCII bytes that starts `bytes`: eight at a time
// while none has its top bit set.
std::size_t AsciiRun(std::string_view bytes) {
  std::size_t run = 0;
  for (std::uint64_t word; run + 8 <= bytes.size(); run += 8) {
    std::memcpy(&word, bytes.data() + run, 8);
    if (word & 0x8080808080808080ull) break;
  }
  while (run < bytes.size() && static_cast<unsigned char>(bytes[run]) < 0x80) ++run;
  return run;
}

}  // namespace

constinit const std::array<Utf8Char, 256> kCp1252Utf8 = MakeTable();

char32_t Cp1252CodePoint(unsigned char byte) { return CodePointOf(byte); }

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  AppendCp1252AsUtf8(out, bytes);
  return out;
}

void AppendCp1252AsUtf8(std::string& out, std::string_view bytes) {
  // Runs of plain ASCII, by far the most of any record, are copied whole.
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t run = at + AsciiRun(bytes.substr(at));
    out.append(bytes.data() + at, run - at);
    if (run == bytes.size()) break;
    const Utf8Char& c = kCp1252Utf8[static_cast<unsigned char>(bytes[run])];
    out.append(c.bytes, c.size);
    at = run + 1;
  }
}

char* WriteCp1252AsUtf8(char* out, std::string_view bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t run = AsciiRun(bytes.substr(at));
    CopyShort(out, bytes.data() + at, run);
    out += run;
    at += run;
    // Then byte by byte through the table up to the next ASCII byte.
    for (; at < bytes.size() && static_cast<unsigned char>(bytes[at]) >= 0x80; ++at) {
      const Utf8Char& c = kCp1252Utf8[static_cast<unsigned char>(bytes[at])];
      std::memcpy(out, c.bytes, sizeof c.bytes);
      out += c.size;
    }
  }
  return out;
}

bool Utf8ToCp1252(std::string_view utf8, std::string& bytes) {
  bytes.clear();
  for (std::size_t at = 0; at < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || at + static_cast<std::size_t>(length) > utf8.size()) return false;
    char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
      const auto next = static_cast<unsigned char>(utf8[at + static_cast<std::size_t>(i)]);
      if ((next >> 6) != 2) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    at += static_cast<std::size_t>(length);
    // The byte whose code point this is; every byte outside 0x80 to 0x9F is
    // its own code point.
    int byte = -1;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) byte = static_cast<int>(cp);
    for (int b = 0x80; b <= 0x9F && byte < 0; ++b)
      if (kHighControls[b - 0x80] == cp) byte = b;
    if (byte < 0) return false;
    bytes += static_cast<char>(byte);
  }
  return true;
}

}  // namespace ondrel
