#include "tools/export/Csv.h"

#include "viewer/Cp1252.h"

namespace ondrel::tool {

void AppendCsvField(std::string& row, std::string_view field) {
  // The four bytes that call for quotes are ASCII, so the test is made on the
  // field's own bytes before they are decoded.
  bool plain = true;
  for (const char c : field) plain = plain && c != ',' && c != '"' && c != '\r' && c != '\n';
  if (plain) {
    AppendCp1252AsUtf8(row, field);
    return;
  }
  row += '"';
  for (std::size_t at = 0;;) {
    const std::size_t quote = field.find('"', at);
    AppendCp1252AsUtf8(row, field.substr(at, quote == std::string_view::npos ? quote : quote - at));
    if (quote == std::string_view::npos) break;
    row += "\"\"";
    at = quote + 1;
  }
  row += '"';
}

}  // namespace ondrel::tool
