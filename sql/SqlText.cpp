#include "sql/SqlText.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>

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

// What each ASCII byte becomes inside a JSON string: itself, or an escape
// for the quote, the backslash and the control characters (DEL too).
struct JsonChar {
  char bytes[6];
  unsigned char size;
};

constexpr std::array<JsonChar, 128> MakeJsonAscii() {
  constexpr char kHex[] = "0123456789abcdef";
  std::array<JsonChar, 128> table{};
  for (int b = 0; b < 128; ++b) {
    JsonChar& c = table[static_cast<std::size_t>(b)];
    if (b == '"' || b == '\\') {
      c = {{'\\', static_cast<char>(b)}, 2};
    } else if (b < 0x20 || b == 0x7F) {
      c = {{'\\', 'u', '0', '0', kHex[b >> 4], kHex[b & 15]}, 6};
    } else {
      c = {{static_cast<char>(b)}, 1};
    }
  }
  return table;
}

constexpr std::array<JsonChar, 128> kJsonAscii = MakeJsonAscii();

// Whether each of eight bytes stands for itself in a JSON string: none is
// below 0x20, DEL, a quote, a backslash or at or above 0x80.  (x - n * ones)
// & ~x & highs is nonzero exactly when some byte of x is below n, for x
// without high bits and n up to 0x80.
bool PlainWord(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  const auto below = [&](std::uint64_t x, std::uint64_t n) { return ((x - kOnes * n) & ~x & kHighs) != 0; };
  const auto holds = [&](unsigned char b) { return below(word ^ (kOnes * b), 1); };
  return (word & kHighs) == 0 && !below(word, 0x20) && !holds(0x7F) && !holds('"') && !holds('\\');
}

// Bytes at or above 0x80 are decoded from Windows-1252 when `cp1252`, and
// kept as they are otherwise (text that is UTF-8 already).
char* WriteJson(char* out, std::string_view text, bool cp1252) {
  *out++ = '"';
  for (std::size_t at = 0; at < text.size(); ++at) {
    // Runs of bytes that stand for themselves are copied eight at a time.
    for (std::uint64_t word; at + 8 <= text.size(); at += 8) {
      std::memcpy(&word, text.data() + at, 8);
      if (!PlainWord(word)) break;
      std::memcpy(out, &word, 8);
      out += 8;
    }
    if (at == text.size()) break;
    if (text.size() >= 8 && text.size() - at < 8) {
      // Fewer than eight left: when the last eight bytes all stand for
      // themselves, those before `at` among them were written as they are,
      // one byte each, so the word goes over them and ends the text.
      std::uint64_t word;
      std::memcpy(&word, text.data() + text.size() - 8, 8);
      if (PlainWord(word)) {
        std::memcpy(out - (at - (text.size() - 8)), &word, 8);
        out += text.size() - at;
        break;
      }
    }
    const char byte = text[at];
    const auto b = static_cast<unsigned char>(byte);
    if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\') {
      *out++ = byte;
    } else if (b < 0x80) {
      const JsonChar& c = kJsonAscii[b];
      std::memcpy(out, c.bytes, sizeof c.bytes);
      out += c.size;
    } else if (cp1252) {
      const Utf8Char& c = kCp1252Utf8[b];
      std::memcpy(out, c.bytes, sizeof c.bytes);
      out += c.size;
    } else {
      *out++ = byte;
    }
  }
  *out++ = '"';
  return out;
}

void AppendJson(std::string& out, std::string_view text, bool cp1252) {
  const std::size_t at = out.size();
  out.resize(at + JsonStringMost(text.size()));
  out.resize(static_cast<std::size_t>(WriteJson(out.data() + at, text, cp1252) - out.data()));
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view bytes) { AppendJson(out, bytes, true); }

char* WriteJsonString(char* out, std::string_view bytes) { return WriteJson(out, bytes, true); }

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
  char text[kShortestRealMost];
  out.append(text, WriteShortestReal(text, value));
}

char* WriteShortestReal(char* out, double value) {
  // Room for the longest shortest form of a double and the ".0".
  const auto [end, ec] = compat::to_chars(out, out + kShortestRealMost - 2, value);
  if (ec != std::errc()) return out;
  const std::string_view written(out, static_cast<std::size_t>(end - out));
  // JSON and SQL both read "5" as a whole number: a real keeps its point.
  if (written.find_first_of(".e") != std::string_view::npos) return end;
  std::memcpy(end, ".0", 2);
  return end + 2;
}

}  // namespace ondrel::sql
