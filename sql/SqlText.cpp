#include "sql/SqlText.h"

#include <charconv>
#include <cstdio>

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

void AppendShortestReal(std::string& out, double value) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  if (ec != std::errc()) return;
  std::string_view written(text, static_cast<std::size_t>(end - text));
  out += written;
  // JSON and SQL both read "5" as a whole number: a real keeps its point.
  if (written.find_first_of(".e") == std::string_view::npos) out += ".0";
}

}  // namespace ondrel::sql
