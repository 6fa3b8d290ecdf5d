// Small helpers for the 8-bit texts of the definition and profile files.
#pragma once

#include <string>

namespace ondrel {

// The text without blanks at either end (other white space stays).
inline std::string TrimSpaces(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace ondrel
