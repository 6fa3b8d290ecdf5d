#pragma once

// Text of an ISPEC's profile file (_N_P.DFN): records that each end with a
// line end; the first character of a record is its tag.  The record builders
// return a record without its line end; ProfileText joins them.

#include <string>
#include <string_view>
#include <vector>

namespace ondrel::writer {

// Condition operator codes (the character after the field name).
enum class Op : char {
  Equal = '0',
  Greater = '1',
  Less = '2',
  NotEqual = '3',
  NotGreater = '4',
  NotLess = '5',
};

// Connectives to the next condition.
inline constexpr char kAnd = '&';
inline constexpr char kOr = '|';
inline constexpr char kNone = ' ';

// "P" and the name padded with blanks to ten characters.
std::string PRecord(std::string_view profileName);
// "I" and the ISPEC name as given.
std::string IRecord(std::string_view ispecName);
// "O", the field name padded to ten, "T"/"F" for descending, "T"/"F" for LIFP.
std::string ORecord(std::string_view field, bool descending = false, bool lifp = false);
// "C", the field name padded to ten, the operator code, one character that is
// not read, the connective, the value.
std::string CRecord(std::string_view field, char opCode, char connective, std::string_view value,
                    char unread = ' ');
inline std::string CRecord(std::string_view field, Op op, char connective, std::string_view value) {
  return CRecord(field, static_cast<char>(op), connective, value);
}

// The records in the order given, each followed by LF (or CR LF).
std::string ProfileText(const std::vector<std::string>& records, bool crlf = false);

// `text` padded with blanks or cut to exactly `width` characters.
std::string PadTo(std::string_view text, std::size_t width);

}  // namespace ondrel::writer
