#include "sql/SqlText.h"

#include <charconv>
#include <cstdio>

#include "database/StdCompat.h"
#include "viewer/Cp1252.h"

namespace ondrel::sql {

std::string Unquote(std::string_view argument) {
  const std::size_t first = argument.find_first_not_of(" \t\n\r");
  if (first == std::string_view::npos) return "";
  argument = argument.substr(first, argument.find_last_not_of(" \t\n\r") - first + 1);
  const char quote = argument.front();
  if (argument.size() < 2 || (quote != '\'' && quote != '"') || argument.back() != quote) return std::string(argument);
  std::string text;
  for (std::size_t i = 1; i + 1 < argument.size(); ++i) {
    text += argument[i];
    if (argument[i] == quote && i + 2 < argument.size() && argument[i + 1] == quote) ++i;
  }
  return text;
}

namespace {

void AppendJson(std::string& out, std::string_view text, bool cp1252) {
  out += '"';
  for (unsigned char byte : text) {
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += static_cast<char>(byte);
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else if (byte < 0x80 || !cp1252) {
      out += static_cast<char>(byte);
    } else {
      const char one = static_cast<char>(byte);
      AppendCp1252AsUtf8(out, std::string_view(&one, 1));
    }
  }
  out += '"';
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view bytes) { AppendJson(out, bytes, true); }

void AppendJsonUtf8(std::string& out, std::string_view text) { AppendJson(out, text, false); }

namespace {

// The length of the well-formed UTF-8 sequence of two or more bytes that
// starts `text`, or 0 when there is none.
std::size_t Utf8Sequence(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4                                 ? 4
                                                                                            : 0;
  if (length == 0 || text.size() < length) return 0;
  // The second byte's range excludes overlong forms, surrogates and code
  // points beyond U+10FFFF.
  const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

}  // namespace

std::string MessageText(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      out += text[i++];
    } else if (const std::size_t length = Utf8Sequence(text.substr(i)); length > 0) {
      out += text.substr(i, length);
      i += length;
    } else {
      AppendCp1252AsUtf8(out, text.substr(i++, 1));
    }
  }
  return out;
}

void AppendShortestReal(std::string& out, double value) {
  char text[32];
  const auto [end, ec] = compat::to_chars(text, text + sizeof text, value);
  if (ec != std::errc()) return;
  std::string_view written(text, static_cast<std::size_t>(end - text));
  out += written;
  // JSON and SQL both read "5" as a whole number: a real keeps its point.
  if (written.find_first_of(".e") == std::string_view::npos) out += ".0";
}

}  // namespace ondrel::sql
