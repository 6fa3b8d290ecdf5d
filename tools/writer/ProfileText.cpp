#include "tools/writer/ProfileText.h"

namespace ondrel::writer {

std::string PadTo(std::string_view text, std::size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}

std::string PRecord(std::string_view profileName) { return "P" + PadTo(profileName, 10); }

std::string IRecord(std::string_view ispecName) { return "I" + std::string(ispecName); }

std::string ORecord(std::string_view field, bool descending, bool lifp) {
  return "O" + PadTo(field, 10) + (descending ? 'T' : 'F') + (lifp ? 'T' : 'F');
}

std::string CRecord(std::string_view field, char opCode, char connective, std::string_view value,
                    char unread) {
  std::string record = "C" + PadTo(field, 10);
  record += opCode;
  record += unread;
  record += connective;
  record += value;
  return record;
}

std::string ProfileText(const std::vector<std::string>& records, bool crlf) {
  std::string text;
  for (const std::string& record : records) {
    text += record;
    text += crlf ? "\r\n" : "\n";
  }
  return text;
}

}  // namespace ondrel::writer
