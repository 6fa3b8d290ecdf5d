#include "tools/export/CheckReport.h"

#include "tools/export/Output.h"
#include "viewer/Cp1252.h"

namespace ondrel::tool {
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

void Member(std::string& line, const char* name, std::int64_t value) {
  line += ",\"";
  line += name;
  line += "\":" + std::to_string(value);
}

// "header record count" as a JSON member name: "header_record_count".
std::string MemberName(std::string name) {
  for (char& c : name)
    if (c == ' ') c = '_';
  return name;
}

}  // namespace

std::string ReportText(const std::string& bytes) { return Cp1252ToUtf8(Printable(bytes)); }

std::string KeyText(const std::string& bytes) {
  std::string escaped;
  escaped.reserve(bytes.size());
  for (const char c : bytes) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return '"' + ReportText(escaped) + '"';
}

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

std::string CheckReport::JsonHead(const char* type) const {
  std::string line = "{\"type\":\"" + std::string(type) + "\"";
  if (!ispec_.empty()) line += ",\"ispec\":" + JsonString(ispec_);
  if (!profile_.empty()) line += ",\"profile\":" + JsonString(profile_);
  return line;
}

void CheckReport::BeginIspec(const std::string& ispec) {
  ispec_ = Printable(ispec);  // a file name, in the file system's encoding
  profile_.clear();
}

void CheckReport::BeginProfile(const std::string& profile) {
  profile_ = ReportText(profile);
  inProfile_ = true;
  profileProblems_ = 0;
  profileUnjudged_ = 0;
  profileWarnings_ = 0;
  notShown_ = 0;
  if (format_ == ReportFormat::Text)
    Stdout().Write("Profile: " + ispec_ + " " + profile_ + "\n");
  else
    Stdout().Write(JsonHead("profile") + "}\n");
}

void CheckReport::Write(const char* type, const std::string& kind, const std::string& text,
                        const ProblemPlace& place) {
  if (format_ == ReportFormat::Text) {
    Stdout().Write(std::string(type[0] == 'p' ? "Problem: " : "Warning: ") + text + "\n");
    return;
  }
  std::string line = JsonHead(type) + ",\"kind\":" + JsonString(kind);
  if (place.entry) Member(line, "entry", *place.entry);
  if (place.node) Member(line, "node", *place.node);
  if (place.position) Member(line, "position", *place.position);
  if (place.record) Member(line, "record", *place.record);
  Stdout().Write(line + ",\"text\":" + JsonString(text) + "}\n");
}

void CheckReport::Problem(const std::string& kind, const std::string& text, const ProblemPlace& place) {
  ++problems_;
  ++profileProblems_;
  if (inProfile_ && maxProblems_ > 0 && profileProblems_ > maxProblems_) {
    ++notShown_;
    return;
  }
  Write("problem", kind, text, place);
}

void CheckReport::Warning(const std::string& kind, const std::string& text, const ProblemPlace& place) {
  if (strict_) {
    Problem(kind, text, place);
    return;
  }
  ++warnings_;
  ++profileWarnings_;
  Write("warning", kind, text, place);
}

void CheckReport::Note(const std::string& text) {
  if (format_ == ReportFormat::Text)
    Stdout().Write("Note: " + text + "\n");
  else
    Stdout().Write(JsonHead("note") + ",\"text\":" + JsonString(text) + "}\n");
}

void CheckReport::Unjudged(const std::string& text) {
  ++unjudged_;
  ++profileUnjudged_;
  if (format_ == ReportFormat::Text)
    Stdout().Write("Not judged: " + text + "\n");
  else
    Stdout().Write(JsonHead("unjudged") + ",\"text\":" + JsonString(text) + "}\n");
}

void CheckReport::Summary(const std::vector<std::pair<std::string, std::int64_t>>& counts) {
  std::string line = format_ == ReportFormat::Text ? "Summary: " : JsonHead("summary");
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (format_ == ReportFormat::Text)
      line += (i > 0 ? ", " : "") + counts[i].first + " " + std::to_string(counts[i].second);
    else
      Member(line, MemberName(counts[i].first).c_str(), counts[i].second);
  }
  if (format_ == ReportFormat::Text) {
    line += (counts.empty() ? "" : ", ") + std::string("warnings ") + std::to_string(profileWarnings_) +
            ", not judged " + std::to_string(profileUnjudged_) +
            ", problems not shown " + std::to_string(notShown_) + ", problems " + std::to_string(profileProblems_);
  } else {
    Member(line, "warnings", profileWarnings_);
    Member(line, "not_judged", profileUnjudged_);
    Member(line, "problems_not_shown", notShown_);
    Member(line, "problems", profileProblems_);
  }
  Stdout().Write(line + (format_ == ReportFormat::Text ? "\n" : "}\n"));
  profile_.clear();
  inProfile_ = false;
}

void CheckReport::Total(std::int64_t ispecs, std::int64_t profiles, std::int64_t notOpened) {
  ispec_.clear();
  profile_.clear();
  if (format_ == ReportFormat::Text) {
    Stdout().Write("Total: ISPECs " + std::to_string(ispecs) + ", profiles " + std::to_string(profiles) +
                   ", not opened " + std::to_string(notOpened) + ", warnings " + std::to_string(warnings_) +
                   ", not judged " + std::to_string(unjudged_) +
                   ", problems " + std::to_string(problems_) + "\n");
    return;
  }
  std::string line = JsonHead("total");
  Member(line, "ispecs", ispecs);
  Member(line, "profiles", profiles);
  Member(line, "not_opened", notOpened);
  Member(line, "warnings", warnings_);
  Member(line, "not_judged", unjudged_);
  Member(line, "problems", problems_);
  Stdout().Write(line + "}\n");
}

}  // namespace ondrel::tool
