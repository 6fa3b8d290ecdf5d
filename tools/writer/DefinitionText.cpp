#include "tools/writer/DefinitionText.h"

#include <cstdio>

namespace ondrel::writer {

int AdjustedWidth(const FieldSpec& field) {
  int width = field.width;
  if (field.type != "A" && field.type != "N" && field.type != "D") ++width;
  if (field.decimals > 0) ++width;
  return width;
}

int RecordLength(const std::vector<FieldSpec>& fields) {
  int length = 1;  // the terminator byte
  for (const FieldSpec& field : fields) length += AdjustedWidth(field);
  return length;
}

bool IsHidden(const FieldSpec& field) {
  return !field.name.empty() && static_cast<unsigned char>(field.name[0]) >= '[';
}

std::string DefinitionText(const DefinitionSpec& spec) {
  const std::string end = spec.crlf ? "\r\n" : "\n";
  std::string line2 = spec.line2;
  if (line2.empty()) {
    char count[16];
    std::snprintf(count, sizeof count, "%06d", static_cast<int>(spec.fields.size()));
    line2 = count;
  }
  std::string text = spec.version + end + line2 + end;
  for (std::size_t i = 0; i < spec.fields.size(); ++i) {
    const FieldSpec& f = spec.fields[i];
    text += f.name + ' ' + std::to_string(f.number) + ' ' + f.type + ' ' + std::to_string(f.width) + ' ' +
            std::to_string(f.decimals);
    if (!f.extra.empty()) text += ' ' + f.extra;
    if (i + 1 < spec.fields.size() || spec.finalLineEnd) text += end;
  }
  return text;
}

}  // namespace ondrel::writer
