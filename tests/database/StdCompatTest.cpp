// The fallbacks that stand in for the C++ library where it is older, held
// here to the native library's own results on the same inputs.
#include "database/StdCompat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace ondrel {
namespace {

std::string LibraryChars(double value) {
  char text[400];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  EXPECT_EQ(ec, std::errc());
  return std::string(text, end);
}

std::string FallbackChars(double value) {
  char text[400];
  const auto [end, ec] = compat::ShortestDoubleChars(text, text + sizeof text, value);
  EXPECT_EQ(ec, std::errc());
  return std::string(text, end);
}

TEST(StdCompatTest, ShortestDoublesAreTheLibrarys) {
  std::mt19937_64 random(20240611);
  std::vector<double> values = {0.0, -0.0, 1.0, -1.0, 0.1, 0.5, 1e-5, 1e-4, 123456.0, 1234567.0, 1e15, 1e16, 1e21,
                                1e22, 1e23, 9007199254740993.0, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308};
  for (int e = -60; e <= 80; ++e) {
    values.push_back(std::ldexp(1.0, e));  // where the spacing of doubles halves
    values.push_back(std::pow(10.0, e / 2));
  }
  for (int i = 0; i < 40000; ++i) {
    // What a decimal field holds, signed, with up to 6 decimals.
    char text[40];
    const int decimals = static_cast<int>(random() % 7);
    std::snprintf(text, sizeof text, "%s%llu.%0*llu", random() % 3 ? "" : "-",
                  static_cast<unsigned long long>(random() % 100000000000ULL), decimals,
                  static_cast<unsigned long long>(random() % 1000000));
    values.push_back(std::strtod(text, nullptr));
    // And any finite double at all.
    const double any = std::bit_cast<double>(random());
    if (std::isfinite(any)) values.push_back(any);
    values.push_back(static_cast<double>(random() >> (random() % 64)));  // whole numbers of every size
  }
  int differ = 0;
  for (const double v : values) {
    const std::string want = LibraryChars(v), got = FallbackChars(v);
    if (want != got && ++differ <= 10) ADD_FAILURE() << "value " << want << " written as " << got;
  }
  EXPECT_EQ(differ, 0);

  // Too little room is refused, as the library refuses it.
  char small[3];
  EXPECT_EQ(compat::ShortestDoubleChars(small, small + sizeof small, 1234.5).ec, std::errc::value_too_large);
}

TEST(StdCompatTest, DoublesAreReadAsTheLibraryReadsThem) {
  std::mt19937_64 random(7);
  std::vector<std::string> texts = {"0", "-0", "1.5", "-12.25", "0.1", ".5", "5.", "-.5", ".", "-", "", "abc",
                                    "1.5x", "12..5", "1e5", "1E-3", "2.5e+10", "1e", "1e+", "-1e-", "1e400",
                                    "1e-400", "--1", "+1", "00012.50", "9007199254740993"};
  const std::string alphabet = "0123456789.-eE+ x";
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    const int length = 1 + static_cast<int>(random() % 12);
    for (int k = 0; k < length; ++k) text += alphabet[random() % (k < 4 ? 11 : alphabet.size())];
    texts.push_back(text);
  }
  for (const std::chars_format format : {std::chars_format::fixed, std::chars_format::general}) {
    for (const std::string& text : texts) {
      SCOPED_TRACE("\"" + text + "\" " + (format == std::chars_format::fixed ? "fixed" : "general"));
      double want = -7, got = -7;
      const auto a = std::from_chars(text.data(), text.data() + text.size(), want, format);
      const auto b = compat::DoubleFromChars(text.data(), text.data() + text.size(), got, format);
      ASSERT_EQ(b.ec, a.ec);
      if (a.ec == std::errc::invalid_argument) continue;  // where it stops is then unspecified
      ASSERT_EQ(b.ptr - text.data(), a.ptr - text.data());
      if (a.ec == std::errc()) ASSERT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(want));
    }
  }
}

TEST(StdCompatTest, HorspoolFindsWhatTheLibraryFinds) {
  std::mt19937 random(3);
  // A small alphabet with bytes of the upper half, so that there are many
  // partial matches and signed chars are met.
  const std::string alphabet = "ab\xE9\xFF";
  auto make = [&](std::size_t length) {
    std::string s;
    for (std::size_t i = 0; i < length; ++i) s += alphabet[random() % alphabet.size()];
    return s;
  };
  for (int i = 0; i < 20000; ++i) {
    const std::string text = make(random() % 40), pattern = make(random() % 6);
    const compat::HorspoolSearcher<std::string::const_iterator> fallback(pattern.begin(), pattern.end());
    const std::boyer_moore_horspool_searcher<std::string::const_iterator> library(pattern.begin(), pattern.end());
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    ASSERT_EQ(std::search(begin, end, fallback) - begin, std::search(begin, end, library) - begin)
        << "\"" << pattern << "\" in \"" << text << "\"";
    const auto [first, last] = fallback(text.begin(), text.end());
    ASSERT_EQ(last - first, first == text.end() ? 0 : static_cast<std::ptrdiff_t>(pattern.size()));
  }
}

}  // namespace
}  // namespace ondrel
