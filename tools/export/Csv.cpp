#include "tools/export/Csv.h"

namespace ondrel::tool {

void AppendCsvField(std::string& row, std::string_view field) {
  if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
    row.append(field);
    return;
  }
  row += '"';
  for (const char c : field) {
    if (c == '"') row += '"';
    row += c;
  }
  row += '"';
}

}  // namespace ondrel::tool
