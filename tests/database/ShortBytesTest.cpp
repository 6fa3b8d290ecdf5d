// The in-line copies and comparisons of a few bytes, held to the C
// library's own on every length up to past where they hand over to it, and
// on every place of the first difference.  (The trim is held to the
// export's own model of CSV and JSON fields in RecordWriterTest.)
#include "database/ShortBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace ondrel {
namespace {

int Sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

TEST(ShortBytesTest, CopiesAndComparesAsTheLibrary) {
  std::string source(100, '\0');
  for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>(i * 37 + 11);
  for (std::size_t n = 0; n <= 80; ++n) {
    SCOPED_TRACE(n);
    // A copy writes the n bytes and nothing either side of them.
    std::string out(n + 16, '#');
    CopyShort(out.data() + 8, source.data() + 3, n);
    EXPECT_EQ(out, std::string(8, '#') + source.substr(3, n) + std::string(8, '#'));

    // Every place the first difference can be, in both directions, with
    // bytes above 0x7F (compared unsigned, as memcmp does).
    const auto* a = reinterpret_cast<const unsigned char*>(source.data());
    EXPECT_EQ(CompareShort(a, a, n), 0);
    for (std::size_t at = 0; at < n; ++at) {
      std::string other = source.substr(0, n);
      for (const unsigned char changed : {0x00, 0x7F, 0x80, 0xFF}) {
        other[at] = static_cast<char>(changed);
        const auto* b = reinterpret_cast<const unsigned char*>(other.data());
        ASSERT_EQ(CompareShort(a, b, n), Sign(std::memcmp(a, b, n))) << "at " << at << " " << int(changed);
        ASSERT_EQ(CompareShort(b, a, n), Sign(std::memcmp(b, a, n))) << "at " << at << " " << int(changed);
      }
    }
  }
}

}  // namespace
}  // namespace ondrel
