#include "tools/export/Csv.h"

#include <cstring>

#include "viewer/Cp1252.h"

namespace ondrel::tool {

char* WriteCsvField(char* out, std::string_view field) {
  // The four bytes that call for quotes are ASCII, so the test is made on the
  // field's own bytes before they are decoded.
  bool plain = true;
  for (const char c : field) plain = plain && c != ',' && c != '"' && c != '\r' && c != '\n';
  if (plain) return WriteCp1252AsUtf8(out, field);
  *out++ = '"';
  for (std::size_t at = 0;;) {
    const std::size_t quote = field.find('"', at);
    out = WriteCp1252AsUtf8(out, field.substr(at, quote == std::string_view::npos ? quote : quote - at));
    if (quote == std::string_view::npos) break;
    std::memcpy(out, "\"\"", 2);
    out += 2;
    at = quote + 1;
  }
  *out++ = '"';
  return out;
}

void AppendCsvField(std::string& row, std::string_view field) {
  const std::size_t at = row.size();
  row.resize(at + CsvFieldMost(field.size()));
  row.resize(static_cast<std::size_t>(WriteCsvField(row.data() + at, field) - row.data()));
}

}  // namespace ondrel::tool
