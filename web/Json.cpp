#include "web/Json.h"

#include <cmath>
#include <cstdio>

namespace ondrel::web {

void Json::Separate() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!filled_.empty()) {
    if (filled_.back()) out_ += ',';
    filled_.back() = true;
  }
}

Json& Json::Open(char bracket) {
  Separate();
  out_ += bracket;
  filled_.push_back(false);
  return *this;
}

Json& Json::Close(char bracket) {
  out_ += bracket;
  filled_.pop_back();
  return *this;
}

Json& Json::Key(std::string_view name) {
  String(name);
  out_ += ':';
  afterKey_ = true;
  return *this;
}

Json& Json::String(std::string_view text) {
  Separate();
  out_ += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out_ += '\\';
      out_ += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out_ += escaped;
    } else {
      out_ += c;
    }
  }
  out_ += '"';
  return *this;
}

Json& Json::Number(double value) {
  Separate();
  if (!std::isfinite(value)) {
    out_ += "null";
  } else if (value == std::floor(value) && std::fabs(value) < 1e15) {
    out_ += std::to_string(static_cast<long long>(value));
  } else {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    out_ += text;
  }
  return *this;
}

Json& Json::Bool(bool value) {
  Separate();
  out_ += value ? "true" : "false";
  return *this;
}

Json& Json::Strings(const std::vector<std::string>& texts) {
  BeginArray();
  for (const std::string& text : texts) String(text);
  return EndArray();
}

}  // namespace ondrel::web
