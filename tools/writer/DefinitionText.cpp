#include "tools/writer/DefinitionText.h"

#include <cstdio>

namespace ondrel::writer {

int AdjustedWidth(const FieldLine& field) {
  int width = field.width;
  if (field.type != "A" && field.type != "N" && field.type != "D") ++width;
  if (field.decimals > 0) ++width;
  return width;
}

int RecordLength(const std::vector<FieldLine>& fields) {
  int length = 1;  // the terminator byte
  for (const FieldLine& field : fields) length += AdjustedWidth(field);
  return length;
}

bool IsHidden(const FieldLine& field) {
  return !field.name.empty() && static_cast<unsigned char>(field.name[0]) >= '[';
}

std::string DefinitionText(const DefinitionFile& setup) {
  const std::string end = setup.crlf ? "\r\n" : "\n";
  std::string line2 = setup.line2;
  if (line2.empty()) {
    char count[16];
    std::snprintf(count, sizeof count, "%06d", static_cast<int>(setup.fields.size()));
    line2 = count;
  }
  std::string text = setup.version + end + line2 + end;
  for (std::size_t i = 0; i < setup.fields.size(); ++i) {
    const FieldLine& f = setup.fields[i];
    text += f.name + ' ' + std::to_string(f.number) + ' ' + f.type + ' ' + std::to_string(f.width) + ' ' +
            std::to_string(f.decimals);
    if (!f.extra.empty()) text += ' ' + f.extra;
    if (i + 1 < setup.fields.size() || setup.finalLineEnd) text += end;
  }
  return text;
}

}  // namespace ondrel::writer
