// The export's lines, rows and objects made straight from a record's slot
// are the ones made from the record window's line of the same slot, and
// they decode and quote each byte as Windows-1252 text in UTF-8 and CSV
// require, whatever bytes the record holds.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "database/DataRecord.h"
#include "sql/RecordColumns.h"
#include "sql/SqlText.h"
#include "tools/export/RecordWriter.h"

namespace ondrel::tool {
namespace {

// The definition: a shown text field, a hidden one, a shown one-byte field
// (NUL there ends the record early), a shown numeric field with decimals
// and a shown numeric field of width 1 between them.
SharedState Definition() {
  SharedState state;
  state.FieldTable = {{},
                      {"NAME", 1, "A", 19, 0, 0},
                      {"[H]", 2, "A", 3, 0, 0},
                      {"CODE", 3, "A", 1, 0, 0},
                      {"AMOUNT", 4, "N", 6, 2, 0},
                      {"D", 5, "N", 1, 0, 0}};
  state.FieldCount = 5;
  state.RecordLength = 19 + 3 + 1 + 6 + 1 + 1;
  return state;
}

// Windows-1252 as UTF-8, written out from the code page's chart for the
// bytes 0x80 to 0x9F this test uses; the others are their own code points.
std::string Utf8(unsigned char b) {
  if (b == 0x80) return "\xE2\x82\xAC";  // euro sign
  if (b == 0x93) return "\xE2\x80\x9C";  // left double quotation mark
  if (b == 0x81) return "\xC2\x81";      // undefined: the control of that number
  if (b < 0x80) return std::string(1, static_cast<char>(b));
  return {static_cast<char>(0xC0 | (b >> 6)), static_cast<char>(0x80 | (b & 0x3F))};
}

std::string Decoded(const std::string& bytes) {
  std::string out;
  for (const char c : bytes) out += Utf8(static_cast<unsigned char>(c));
  return out;
}

std::string CsvCell(std::string bytes) {
  bytes.erase(bytes.find_last_not_of(' ') + 1);
  const bool quoted = bytes.find_first_of(",\"\r\n") != std::string::npos;
  std::string cell = quoted ? "\"" : "";
  for (const char c : bytes) cell += c == '"' ? std::string("\"\"") : Utf8(static_cast<unsigned char>(c));
  return quoted ? cell + "\"" : cell;
}

// A JSON string: the quote, the backslash and the control characters
// escaped, the rest decoded.
std::string JsonString(std::string bytes) {
  std::string out = "\"";
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", b);
    out += c == '"' || c == '\\' ? std::string{'\\', c} : b < 0x20 || b == 0x7F ? std::string(escaped) : Utf8(b);
  }
  return out + "\"";
}

std::string Written(RecordWriter& writer, Long entry, const ShownFields& fields) {
  Output out;
  writer.Write(out, entry, fields);
  return std::string(out.Pending());
}

TEST(RecordWriterTest, LinesFromSlotsAreTheWindowsLinesDecodedAndQuoted) {
  const SharedState definition = Definition();
  // Bytes of every kind: ASCII, the CSV's and JSON's special characters,
  // control characters, Latin-1 letters and the code page's own.
  const std::string alphabet = std::string("aZ09 ,\"\\\r\n\t\x7F\x01") + "\x80\x93\x81\xA0\xE9\xFF";
  std::mt19937 random(21);
  std::size_t letters = alphabet.size();
  auto pick = [&](std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += alphabet[random() % letters];
    return s;
  };
  const std::vector<std::string> amounts = {"  1.50", "-12.25", "      ", "1x.00 ", "\xE9" "99.1 ", "1,2\"3 "};
  int early = 0, purged = 0;
  for (int n = 0; n < 400; ++n) {
    // Some records hold only bytes that stand for themselves in JSON, some
    // only those, commas and quotes (and backslashes), some only ASCII.
    const std::size_t kinds[8] = {5, alphabet.size(), 8, alphabet.size(), 7, alphabet.size(), alphabet.find('\x80'),
                                  alphabet.size()};
    letters = kinds[n % 8];
    const std::string name = pick(19), hidden = pick(3), amount = amounts[random() % amounts.size()];
    const bool endsEarly = n % 7 == 3;
    const std::string code = endsEarly ? std::string(1, '\0') : pick(1);
    const std::string digit = n % 2 ? "7" : " ";
    const bool isPurged = !endsEarly && n % 5 == 1;
    const std::string slot = name + hidden + code + amount + digit + (isPurged ? "\x01" : "\n");
    ASSERT_EQ(slot.size(), static_cast<std::size_t>(definition.RecordLength));
    early += endsEarly;
    purged += isPurged;

    // What the record holds, from the bytes just made.
    std::vector<std::string> shown = endsEarly ? std::vector<std::string>{name}
                                               : std::vector<std::string>{name, code, amount, digit};
    std::string line;
    for (const std::string& field : shown) line += Decoded(field) + " ";
    std::string row;
    for (std::size_t i = 0; i < 4; ++i) row += (i ? "," : "") + (i < shown.size() ? CsvCell(shown[i]) : "");

    ShownFields fromSlot(definition), fromLine(definition);
    fromSlot.FromSlot(slot.data());
    SharedState window = definition;
    RecordFromSlot(window, slot.data());
    fromLine.FromLine(window.RecordLine, static_cast<char>(window.RecordFlag));
    ASSERT_EQ(fromSlot.Shown(), !isPurged) << n;
    ASSERT_EQ(fromSlot.Taken(), shown.size()) << n;

    for (const bool numbers : {false, true}) {
      for (const Format format : {Format::Text, Format::Csv, Format::Json}) {
        Options options;
        options.format = format;
        options.entryNumbers = numbers;
        RecordWriter writer(definition, options);
        // From the slot as the export takes it for the format, with the
        // bytes the format writes otherwise looked for in the whole record
        // at once.
        ShownFields fromSlotAs(definition, format);
        fromSlotAs.FromSlot(slot.data());
        const std::string written = Written(writer, 1000 + n, fromSlotAs);
        SCOPED_TRACE(testing::Message() << "record " << n << ", format " << static_cast<int>(format)
                                        << (numbers ? ", entry numbers" : ""));
        EXPECT_EQ(written, Written(writer, 1000 + n, fromLine));
        EXPECT_EQ(written, Written(writer, 1000 + n, fromSlot));
        if (format == Format::Text) {
          EXPECT_EQ(written, std::string(numbers ? "      " + std::to_string(1000 + n) + " " : "") +
                                 (isPurged ? ">> Record Purged <<" : line) + "\n");
        }
        if (format == Format::Csv) {
          EXPECT_EQ(written, isPurged ? "" : (numbers ? std::to_string(1000 + n) + "," : "") + row + "\r\n");
        }
        if (format == Format::Json && !isPurged) {
          std::string trimmed = name;
          trimmed.erase(trimmed.find_last_not_of(' ') + 1);
          EXPECT_EQ(written.substr(0, written.find(",\"CODE\":") + 1),
                    "{" + (numbers ? "\"entry\":" + std::to_string(1000 + n) + "," : std::string()) + "\"NAME\":" +
                        JsonString(trimmed) + ",");
          EXPECT_EQ(written.find_first_of(std::string("\r\t\x7F\x01", 4)), std::string::npos) << written;
          EXPECT_EQ(written.back(), '\n');
          EXPECT_EQ(written.find('\n'), written.size() - 1);
        }
      }
    }
  }
  EXPECT_GT(early, 20);
  EXPECT_GT(purged, 20);
}

// The long way: the value as SQL reads it, written as JSON writes it.
std::string LongWay(const sql::FieldColumn& column, std::string_view stored) {
  const sql::FieldValue value = sql::ValueOf(column, stored);
  if (value.kind == sql::ColumnType::Integer) return std::to_string(value.integer);
  if (value.kind == sql::ColumnType::Real) {
    char text[sql::kShortestRealMost];
    return std::string(text, sql::WriteShortestReal(text, value.real));
  }
  return "(text)";
}

// A numeric field written straight from its digits gives the bytes the long
// way gives, for every text it takes, and it takes the common forms.  The
// texts: plain forms around the edges (zeros, signs, 15 and 16 digits, the
// exponent form winning), random texts of digits, points, signs, blanks and
// bytes near the digits, and numbers padded as programs write them.
TEST(RecordWriterTest, ANumberWrittenFromItsDigitsIsTheNumberReadAndWrittenBack) {
  sql::FieldColumn integer, real;
  integer.type = sql::ColumnType::Integer;
  real.type = sql::ColumnType::Real;
  real.decimals = 2;
  std::size_t taken = 0, compared = 0;
  const auto check = [&](const sql::FieldColumn& column, const std::string& stored) {
    char out[64];
    char* end = sql::WritePlainNumber(out, column, stored);
    ++compared;
    if (!end) return false;
    ++taken;
    EXPECT_LE(static_cast<std::size_t>(end - out), stored.size() + 4) << stored;
    EXPECT_EQ(std::string(out, end), LongWay(column, stored)) << "[" << stored << "] " << (&column == &real);
    return true;
  };
  for (const char* common : {"0000000001", "  59022.35", "-12.5   ", "+7", "0.05", "100", "-0.10", "123456789012345"})
    EXPECT_TRUE(check(real, common) && check(integer, std::string(common).substr(0, std::strcspn(common, ".")))) << common;
  for (const char* edge : {"0.00", "-0", "100000000", "10000", "0.0001", "0.001", "1234567890123456",
                           "1234567890.123456", "5.", ".5", "1e5", "1 2", "--1", "", "9999999999999999999",
                           "-9223372036854775808", "1.2.3"}) {
    check(real, edge);
    check(integer, edge);
  }
  std::mt19937 random(20261209);
  // The bytes next to the digits (and those with the top bit set) must be
  // told from digits too.
  const std::string alphabet = "0000123456789.  -+/:\xB0\xB9";
  for (int i = 0; i < 200000; ++i) {
    std::string stored(1 + random() % 20, ' ');
    for (char& c : stored) c = alphabet[random() % alphabet.size()];
    check(i % 2 ? real : integer, stored);
    char padded[40];
    const long long whole = static_cast<long long>(random() % 100000000000ULL) >> (random() % 40);
    std::snprintf(padded, sizeof padded, "%*s%s%lld.%0*d", static_cast<int>(random() % 3), "",
                  random() % 4 == 0 ? "-" : "", whole, static_cast<int>(random() % 6),
                  static_cast<int>(random() % 100000));
    check(real, padded);
  }
  EXPECT_GT(taken, compared / 4);

  // Fields filled with digits, zeros in front and a real's point where its
  // decimals put it, as most files keep their numbers, 8 to 16 bytes (taken
  // eight bytes at a time); in half of them blanks in front instead, at
  // times up to the point or over the whole field; in a quarter one byte
  // next to the digits, a blank, a sign or a point somewhere.
  std::size_t plain = 0, filled = 0;
  for (int i = 0; i < 100000; ++i) {
    sql::FieldColumn column;
    column.type = i % 2 ? sql::ColumnType::Real : sql::ColumnType::Integer;
    column.decimals = i % 2 ? 1 + static_cast<int>(random() % 4) : 0;
    std::string stored(8 + random() % 9, '0');
    for (std::size_t at = random() % (stored.size() + 1); at < stored.size(); ++at)
      stored[at] = static_cast<char>('0' + random() % 10);
    if (column.decimals > 0) stored[stored.size() - static_cast<std::size_t>(column.decimals) - 1] = '.';
    const std::size_t point = stored.size() - static_cast<std::size_t>(column.decimals) - (column.decimals > 0);
    const std::size_t blanks = random() % 2 ? random() % (stored.size() + 1) : 0;
    std::fill_n(stored.begin(), blanks, ' ');
    const bool stray = random() % 4 == 0;
    if (stray) stored[random() % stored.size()] = "/: -."[random() % 5];
    // Those of the plain form, a digit before the point, must nearly all be
    // taken (a real of more than 15 digits or shorter as 1e+NN is not).
    const bool taken = check(column, stored);
    if (!stray && blanks < point) {
      ++plain;
      filled += taken;
    }
  }
  EXPECT_GT(filled, plain * 9 / 10);
}

}  // namespace
}  // namespace ondrel::tool
