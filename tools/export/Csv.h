// Fields and rows of RFC 4180 CSV.
#pragma once

#include <string>
#include <string_view>

namespace ondrel::tool {

// Appends one field of database bytes, decoded from Windows-1252 to UTF-8:
// as it stands, or between double quotes (inner quotes doubled) when it holds
// a comma, a double quote, a carriage return or a line feed.
void AppendCsvField(std::string& row, std::string_view field);

// Every row ends with CR LF.
inline constexpr const char* kCsvRowEnd = "\r\n";

}  // namespace ondrel::tool
