// Small helpers for the 8-bit texts of the definition and profile files.
#pragma once

#include <string>
#include <string_view>

namespace ondrel {

// The text without blanks at either end (other white space stays).
inline std::string TrimSpaces(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// A name or message as it is printed: control characters (bytes below 32,
// and 127) are written as \n, \r, \t or \xHH, so that a name holding a line
// feed or an escape sequence prints as one line and changes no terminal.
inline std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 32 && b != 127) {
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

}  // namespace ondrel
