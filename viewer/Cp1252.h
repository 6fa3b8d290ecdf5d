// Field bytes as text: the databases were written in the Windows-1252 code
// page, one character per byte.  Every byte maps to exactly one character, so
// no byte is dropped or merged and fixed-width columns stay aligned.  The five
// bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to
// the control characters of the same number.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace ondrel {

// The Unicode code point of one byte.
char32_t Cp1252CodePoint(unsigned char byte);

// The bytes decoded as Windows-1252 and encoded as UTF-8.
std::string Cp1252ToUtf8(std::string_view bytes);
// The same, appended to `out` (for writing many lines through one buffer).
void AppendCp1252AsUtf8(std::string& out, std::string_view bytes);

// Each byte's character in UTF-8, for the writers of many lines: its bytes,
// padded so that three can always be copied at once, and how many count.
struct Utf8Char {
  char bytes[3];
  unsigned char size;
};
extern const std::array<Utf8Char, 256> kCp1252Utf8;

// The most bytes one byte of the code page becomes in UTF-8.
inline constexpr std::size_t kCp1252Utf8Most = 3;

// The same as AppendCp1252AsUtf8, written at `out`, which must have room for
// kCp1252Utf8Most bytes per byte; returns the end of what was written.
char* WriteCp1252AsUtf8(char* out, std::string_view bytes);

// UTF-8 text (what a user types on a command line) as Windows-1252 bytes.
// False when the text is no valid UTF-8 or holds a character the code page
// has no byte for.
bool Utf8ToCp1252(std::string_view utf8, std::string& bytes);

}  // namespace ondrel
