#include "tools/export/Csv.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "database/ShortBytes.h"
#include "viewer/Cp1252.h"

namespace ondrel::tool {

namespace {

// Whether a byte of `field` calls for quotes, eight bytes at a time: a word
// holds byte c where the word XOR c repeated has a zero byte.
bool NeedsQuotes(std::string_view field) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  const auto holds = [](std::uint64_t word, unsigned char c) {
    const std::uint64_t x = word ^ (kOnes * c);
    return ((x - kOnes) & ~x & kHighs) != 0;
  };
  const auto special = [&](std::size_t at) {
    std::uint64_t word;
    std::memcpy(&word, field.data() + at, 8);
    return std::any_of(std::begin(kCsvQuoted), std::end(kCsvQuoted), [&](char c) { return holds(word, c); });
  };
  std::size_t at = 0;
  if (field.size() >= 8) {
    // Whole words, the last one overlapping the one before.
    for (; at + 8 < field.size(); at += 8)
      if (special(at)) return true;
    return special(field.size() - 8);
  }
  return field.find_first_of(std::string_view(kCsvQuoted, sizeof kCsvQuoted)) != std::string_view::npos;
}

}  // namespace

char* WriteCsvField(char* out, std::string_view field, bool ascii) {
  // The four bytes that call for quotes are ASCII, so the test is made on the
  // field's own bytes before they are decoded.
  if (!NeedsQuotes(field)) {
    if (!ascii) return WriteCp1252AsUtf8(out, field);
    CopyShort(out, field.data(), field.size());
    return out + field.size();
  }
  *out++ = '"';
  for (std::size_t at = 0;;) {
    const std::size_t quote = field.find('"', at);
    out = WriteCp1252AsUtf8(out, field.substr(at, quote == std::string_view::npos ? quote : quote - at));
    if (quote == std::string_view::npos) break;
    std::memcpy(out, "\"\"", 2);
    out += 2;
    at = quote + 1;
  }
  *out++ = '"';
  return out;
}

void AppendCsvField(std::string& row, std::string_view field) {
  const std::size_t at = row.size();
  row.resize(at + CsvFieldMost(field.size()));
  row.resize(static_cast<std::size_t>(WriteCsvField(row.data() + at, field) - row.data()));
}

}  // namespace ondrel::tool
