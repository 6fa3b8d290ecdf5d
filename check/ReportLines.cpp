#include "check/ReportLines.h"

namespace ondrel::check {
namespace {

// The length of the valid UTF-8 sequence at `at`, or 0 when there is none.
std::size_t Utf8Length(const std::string& s, std::size_t at) {
  const auto b = static_cast<unsigned char>(s[at]);
  std::size_t n = 0;
  char32_t least = 0;
  if (b < 0x80) return 1;
  if ((b & 0xE0) == 0xC0) n = 2, least = 0x80;
  else if ((b & 0xF0) == 0xE0) n = 3, least = 0x800;
  else if ((b & 0xF8) == 0xF0) n = 4, least = 0x10000;
  else return 0;
  if (at + n > s.size()) return 0;
  char32_t cp = b & (0x7F >> n);
  for (std::size_t i = 1; i < n; ++i) {
    const auto c = static_cast<unsigned char>(s[at + i]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

void AppendEscape(std::string& out, unsigned code) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\u00";
  out += kHex[(code >> 4) & 15];
  out += kHex[code & 15];
}

void Member(std::string& line, const std::string& name, std::int64_t value) {
  line += ",\"" + name + "\":" + std::to_string(value);
}

// "not judged" as a JSON member name: "not_judged"; "ISPECs": "ispecs".
std::string MemberName(std::string name) {
  for (char& c : name) {
    if (c == ' ') c = '_';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

const char* TypeName(ItemType type) {
  switch (type) {
    case ItemType::Profile: return "profile";
    case ItemType::Problem: return "problem";
    case ItemType::Warning: return "warning";
    case ItemType::Note: return "note";
    case ItemType::Unjudged: return "unjudged";
    case ItemType::Summary: return "summary";
    case ItemType::Total: return "total";
  }
  return "";
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b == '"' || b == '\\') {
      out += '\\';
      out += static_cast<char>(b);
      ++i;
    } else if (b < 0x20 || b == 0x7F) {
      AppendEscape(out, b);
      ++i;
    } else if (const std::size_t n = Utf8Length(text, i); n > 0) {
      out.append(text, i, n);
      i += n;
    } else {
      AppendEscape(out, b);
      ++i;
    }
  }
  return out + "\"";
}

std::string TextLine(const ReportItem& item) {
  std::string line;
  switch (item.type) {
    case ItemType::Profile: return "Profile: " + item.ispec + " " + item.profile + "\n";
    case ItemType::Problem: return "Problem: " + item.text + "\n";
    case ItemType::Warning: return "Warning: " + item.text + "\n";
    case ItemType::Note: return "Note: " + item.text + "\n";
    case ItemType::Unjudged: return "Not judged: " + item.text + "\n";
    case ItemType::Summary: line = "Summary: "; break;
    case ItemType::Total: line = "Total: "; break;
  }
  for (std::size_t i = 0; i < item.counts.size(); ++i)
    line += (i > 0 ? ", " : "") + item.counts[i].first + " " + std::to_string(item.counts[i].second);
  return line + "\n";
}

std::string JsonLine(const ReportItem& item) {
  std::string line = "{\"type\":\"" + std::string(TypeName(item.type)) + "\"";
  if (!item.ispec.empty()) line += ",\"ispec\":" + JsonString(item.ispec);
  if (!item.profile.empty()) line += ",\"profile\":" + JsonString(item.profile);
  if (item.type == ItemType::Problem || item.type == ItemType::Warning) {
    line += ",\"kind\":" + JsonString(item.kind);
    if (item.place.entry) Member(line, "entry", *item.place.entry);
    if (item.place.node) Member(line, "node", *item.place.node);
    if (item.place.position) Member(line, "position", *item.place.position);
    if (item.place.record) Member(line, "record", *item.place.record);
  }
  for (const auto& [name, value] : item.counts) Member(line, MemberName(name), value);
  if (item.type != ItemType::Profile && item.type != ItemType::Summary && item.type != ItemType::Total)
    line += ",\"text\":" + JsonString(item.text);
  return line + "}\n";
}

std::string TextLines(const std::vector<ReportItem>& items) {
  std::string text;
  for (const ReportItem& item : items) text += TextLine(item);
  return text;
}

std::string Verdict(const CheckReport& report, bool finished) {
  const auto counted = [](std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  std::string found;
  if (report.Problems() > 0)
    found = counted(report.Problems(), "problem was found", "problems were found");
  else if (report.UnjudgedCount() > 0)
    found = "no problem was found, but " + counted(report.UnjudgedCount(), "thing", "things") + " could not be judged";
  else
    found = "no problem was found";
  if (!finished) return "The check was cancelled; up to then, " + found + ".";
  if (found[0] == 'n') found[0] = 'N';
  return found + ".";
}

}  // namespace ondrel::check
