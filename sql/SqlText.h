// Small helpers of the SQL front ends: module arguments as written in
// CREATE VIRTUAL TABLE, and text as SQLite wants it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ondrel::sql {

// A module argument without its quotes: 'a''b' and "a""b" read as a'b and
// a"b; a bare word stays as it is, blanks around it removed.
std::string Unquote(std::string_view argument);

// Appends `bytes` (Windows-1252) as a JSON string, quotes included.
void AppendJsonString(std::string& out, std::string_view bytes);
// The same for text that is UTF-8 already (a column name).
void AppendJsonUtf8(std::string& out, std::string_view text);
// AppendJsonString written at `out`, which must have room for
// JsonStringMost(bytes.size()) bytes; returns the end of what was written.
char* WriteJsonString(char* out, std::string_view bytes);
constexpr std::size_t JsonStringMost(std::size_t bytes) { return 6 * bytes + 2; }

// A message as valid UTF-8, which SQLite's clients insist on: runs that are
// UTF-8 already (SQL's own text) stay as they are, and every other byte (a
// file name from the directory, in Windows-1252) is decoded as
// Windows-1252.
std::string MessageText(std::string_view text);

// Appends a double as the shortest text that reads back as the same value.
void AppendShortestReal(std::string& out, double value);
// The same written at `out`, which must have room for kShortestRealMost
// bytes; returns the end of what was written.
inline constexpr std::size_t kShortestRealMost = 32;
char* WriteShortestReal(char* out, double value);

}  // namespace ondrel::sql
