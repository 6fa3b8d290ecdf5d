// Fields and rows of RFC 4180 CSV.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ondrel::tool {

// Appends one field of database bytes, decoded from Windows-1252 to UTF-8:
// as it stands, or between double quotes (inner quotes doubled) when it holds
// a comma, a double quote, a carriage return or a line feed.
void AppendCsvField(std::string& row, std::string_view field);

// The same written at `out`, which must have room for CsvFieldMost bytes;
// returns the end of what was written.  `ascii`: the caller knows every byte
// of the field is ASCII, and so its own UTF-8.
char* WriteCsvField(char* out, std::string_view field, bool ascii = false);
constexpr std::size_t CsvFieldMost(std::size_t bytes) { return 3 * bytes + 2; }

// The bytes that put a field between quotes: comma, double quote, CR, LF.
inline constexpr char kCsvQuoted[4] = {',', '"', '\r', '\n'};

// Every row ends with CR LF.
inline constexpr const char* kCsvRowEnd = "\r\n";

}  // namespace ondrel::tool
