// Pieces of the C++20 library that an older standard library (the one the
// WebAssembly toolchain ships) lacks.  Where the library has them, the names
// here are its own; where it does not, they are the fallbacks below, which
// are built everywhere so that the native tests hold them to the library's
// results.
#pragma once

#include <array>
#include <charconv>
#include <climits>
#include <cstddef>
#include <functional>
#include <iterator>
#include <memory>
#include <system_error>
#include <type_traits>
#include <utility>
#include <version>

namespace ondrel::compat {

// The Boyer-Moore-Horspool search of one byte pattern, prepared once, for
// std::search(first, last, searcher).
template <class PatternIterator>
class HorspoolSearcher {
  static_assert(sizeof(typename std::iterator_traits<PatternIterator>::value_type) == 1,
                "the fallback searches bytes only");

 public:
  HorspoolSearcher(PatternIterator first, PatternIterator last) : first_(first), length_(last - first) {
    skip_.fill(length_);
    // How far the window may move when its last byte is this one: the
    // distance from the byte's last place before the pattern's end to it.
    for (std::ptrdiff_t i = 0; i + 1 < length_; ++i) skip_[Byte(first_[i])] = length_ - 1 - i;
  }

  template <class TextIterator>
  std::pair<TextIterator, TextIterator> operator()(TextIterator first, TextIterator last) const {
    if (length_ == 0) return {first, first};
    const std::ptrdiff_t size = last - first;
    for (std::ptrdiff_t at = 0; at + length_ <= size;) {
      std::ptrdiff_t i = length_ - 1;
      while (first[at + i] == first_[i]) {
        if (i == 0) return {first + at, first + at + length_};
        --i;
      }
      at += skip_[Byte(first[at + length_ - 1])];
    }
    return {last, last};
  }

 private:
  template <class C>
  static unsigned char Byte(C c) {
    return static_cast<unsigned char>(c);
  }
  PatternIterator first_;
  std::ptrdiff_t length_;
  std::array<std::ptrdiff_t, 1 << CHAR_BIT> skip_{};
};

// A double as std::to_chars(first, last, value) writes it: the fewest
// digits that read back as the same double, in fixed or scientific form,
// whichever is shorter (fixed on a tie; a whole number in fixed form is
// written exactly).
std::to_chars_result ShortestDoubleChars(char* first, char* last, double value);

// A double read as std::from_chars(first, last, value, format) reads it, for
// the fixed and general formats (no "0x", no "inf" or "nan", no leading "+").
std::from_chars_result DoubleFromChars(const char* first, const char* last, double& value,
                                       std::chars_format format);

#if defined(__cpp_lib_boyer_moore_searcher)
using std::boyer_moore_horspool_searcher;
#else
template <class PatternIterator>
using boyer_moore_horspool_searcher = HorspoolSearcher<PatternIterator>;
#endif

// An array whose bytes are not set first: a buffer that is read into.
#if defined(__cpp_lib_smart_ptr_for_overwrite)
using std::make_unique_for_overwrite;
#else
template <class T>
  requires std::is_unbounded_array_v<T>
std::unique_ptr<T> make_unique_for_overwrite(std::size_t n) {
  return std::unique_ptr<T>(new std::remove_extent_t<T>[n]);
}
#endif

// Doubles to and from text; the integer forms are always the library's.
#if defined(__cpp_lib_to_chars)
using std::from_chars;
using std::to_chars;
#else
inline std::to_chars_result to_chars(char* first, char* last, double value) {
  return ShortestDoubleChars(first, last, value);
}
inline std::from_chars_result from_chars(const char* first, const char* last, double& value,
                                         std::chars_format format = std::chars_format::general) {
  return DoubleFromChars(first, last, value, format);
}
#endif

}  // namespace ondrel::compat
