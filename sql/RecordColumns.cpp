// The slot layout is the data file's, as DataRecord.cpp describes it: the
// fields one after another in definition order, each Width bytes, then one
// terminator byte (LF for an active record).
#include "sql/RecordColumns.h"

#include <charconv>
#include <cstdint>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "database/Checked.h"
#include "database/DataRecord.h"
#include "database/Definition.h"
#include "database/ShortBytes.h"
#include "database/StdCompat.h"
#include "viewer/Cp1252.h"

namespace ondrel::sql {
namespace {

std::string Folded(const std::string& name) {
  std::string folded = name;
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

// A well-formed number: blanks around it, an optional sign, digits, and,
// when the field has decimals, an optional point with digits after it.
// At least one digit.  Zeros in front ("000123") are the usual form.
bool ParseNumber(std::string_view text, int decimals, FieldValue& value) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return false;
  text = WithoutTrailingBlanks(text.substr(first));
  std::size_t at = 0;
  const bool negative = text[0] == '-';
  if (text[0] == '-' || text[0] == '+') at = 1;
  std::size_t digits = 0;
  bool point = false;
  for (std::size_t i = at; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == '.' && decimals > 0 && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (digits == 0) return false;
  const std::string_view unsigned_text = text.substr(at);
  if (decimals > 0) {
    double number = 0;
    const auto [end, ec] = compat::from_chars(unsigned_text.data(), unsigned_text.data() + unsigned_text.size(),
                                              number, std::chars_format::fixed);
    if (ec != std::errc() || end != unsigned_text.data() + unsigned_text.size() || !std::isfinite(number))
      return false;
    value.kind = ColumnType::Real;
    value.real = negative ? -number : number;
    return true;
  }
  std::uint64_t magnitude = 0;
  const auto [end, ec] =
      std::from_chars(unsigned_text.data(), unsigned_text.data() + unsigned_text.size(), magnitude);
  if (ec != std::errc() || end != unsigned_text.data() + unsigned_text.size()) return false;
  // Beyond 64 bits the number stays text rather than lose digits.
  if (negative ? magnitude > 9223372036854775808ULL : magnitude > 9223372036854775807ULL) return false;
  value.kind = ColumnType::Integer;
  value.integer = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  return true;
}

}  // namespace

std::string NameSet::Take(const std::string& wanted) {
  // SQL text ends at a NUL: one inside a name would cut short the statement
  // that names it.
  std::string written;
  for (const char c : wanted) {
    if (c == '\0')
      written += "\xE2\x90\x80";  // U+2400, the symbol for null
    else
      written += c;
  }
  std::string name = written;
  for (int n = 2; !taken_.insert(Folded(name)).second; ++n) name = written + "_" + std::to_string(n);
  return name;
}

std::vector<FieldColumn> RecordColumns(const SharedState& state, NameSet& names) {
  std::vector<FieldColumn> columns;
  std::size_t offset = 0;
  for (int i = 1; i <= state.FieldCount && static_cast<std::size_t>(i) < state.FieldTable.size(); ++i) {
    const FieldDef& field = state.FieldTable[static_cast<std::size_t>(i)];
    FieldColumn column;
    const std::string name = Cp1252ToUtf8(field.Name);
    column.name = names.Take(name.empty() ? "field_" + std::to_string(i) : name);
    column.offset = offset;
    column.width = static_cast<std::size_t>(field.Width < 0 ? 0 : field.Width);
    column.decimals = field.Decimals;
    column.type = field.Type != "N" ? ColumnType::Text : field.Decimals > 0 ? ColumnType::Real : ColumnType::Integer;
    column.hidden = !IsDisplayedField(field.Name);
    offset += column.width;
    columns.push_back(std::move(column));
  }
  return columns;
}

const char* DeclaredType(ColumnType type) {
  switch (type) {
    case ColumnType::Integer: return "INTEGER";
    case ColumnType::Real: return "REAL";
    case ColumnType::Text: break;
  }
  return "TEXT";
}

std::string QuoteIdentifier(const std::string& name) {
  std::string quoted = "\"";
  for (char c : name) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

FieldValue ValueOf(const FieldColumn& column, std::string_view stored) {
  FieldValue value;
  if (column.type != ColumnType::Text && ParseNumber(stored, column.decimals, value)) return value;
  value.kind = ColumnType::Text;
  value.text = WithoutTrailingBlanks(stored);
  value.null = column.type != ColumnType::Text && value.text.empty();
  return value;
}

std::string_view WithoutTrailingBlanks(std::string_view bytes) {
  return bytes.substr(0, WithoutTrailingBlanksLength(bytes.data(), bytes.size()));
}

namespace {

// A plain number's parts: `whole` from its first digit other than a zero in
// front (at wholeEnd when there is none), the fraction's digits (none for
// an integer), and its sign.
struct PlainParts {
  bool negative = false;
  const char* whole = nullptr;
  const char* wholeEnd = nullptr;
  const char* fraction = nullptr;
  const char* fractionEnd = nullptr;
};

// Blanks around it, an optional sign, at least one digit, and for a real an
// optional point with at least one digit after it.
bool PlainBytes(std::string_view stored, bool real, PlainParts& parts) {
  const char* at = stored.data();
  const char* end = at + stored.size();
  while (at < end && *at == ' ') ++at;
  while (end > at && end[-1] == ' ') --end;
  if (at < end && (*at == '-' || *at == '+')) parts.negative = *at++ == '-';
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  parts.whole = at;
  while (at < end && digit(*at)) ++at;
  parts.wholeEnd = at;
  parts.fraction = parts.fractionEnd = at;
  if (at < end && *at == '.' && real) {
    parts.fraction = ++at;
    while (at < end && digit(*at)) ++at;
    parts.fractionEnd = at;
    if (parts.fraction == parts.fractionEnd) return false;  // "5." is read the long way
  }
  if (at != end || parts.whole == parts.wholeEnd) return false;
  while (parts.whole < parts.wholeEnd && *parts.whole == '0') ++parts.whole;
  return true;
}

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr std::uint64_t kHighNibbles = 0xF0F0F0F0F0F0F0F0ull;
constexpr std::uint64_t kZeros = 0x3030303030303030ull;

// Whether each of the eight bytes is a digit: its high half 3, and still 3
// with 6 added (which carries out of the bytes from ':' up).
bool EightDigits(std::uint64_t w) {
  return (w & kHighNibbles) == kZeros && ((w + 0x0606060606060606ull) & kHighNibbles) == kZeros;
}

// The forms most numbers are kept in, taken eight bytes at a time: a field
// of 8 to 16 bytes filled with digits, zeros or blanks in front, with a
// real's point where its decimals put it (the first eight bytes and the last
// eight, which overlap in a field under 16 bytes).  False for any other
// form, which the byte loop then takes.
bool FilledDigits(std::string_view stored, bool real, int decimals, PlainParts& parts) {
  const std::size_t n = stored.size();
  const char* p = stored.data();
  std::size_t point = n;
  if (real) {
    if (decimals < 1 || static_cast<std::size_t>(decimals) + 2 > n) return false;
    point = n - static_cast<std::size_t>(decimals) - 1;
    if (p[point] != '.') return false;
  }
  // Blanks in front are read as zeros while a digit stands before the point
  // (or at the end): "   .5" and a blank field are the byte loop's.
  std::size_t blanks = 0;
  while (blanks < point && p[blanks] == ' ') ++blanks;
  if (blanks == point) return false;
  std::uint64_t first, last;
  std::memcpy(&first, p, 8);
  std::memcpy(&last, p + n - 8, 8);
  // The bytes of a word before `count` of them, as zeros.
  const auto zerosBefore = [](std::uint64_t& w, std::size_t count) {
    const std::uint64_t mask = count >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * count)) - 1;
    w = (w & ~mask) | (kZeros & mask);
  };
  if (blanks > 0) zerosBefore(first, blanks);
  if (blanks > n - 8) zerosBefore(last, blanks - (n - 8));
  // The point read as a zero, where either word holds it.
  const auto asZero = [](std::uint64_t& w, std::size_t at) {
    w = (w & ~(std::uint64_t{0xFF} << (8 * at))) | (std::uint64_t{'0'} << (8 * at));
  };
  if (point < 8) asZero(first, point);
  if (point < n && point >= n - 8) asZero(last, point - (n - 8));
  if (!EightDigits(first) || !EightDigits(last)) return false;
  // The first byte other than '0' (the bytes of `last` before the eighth
  // are those of `first` again, zeros when `first` is all zeros).
  const std::uint64_t firstSet = first ^ kZeros, lastSet = last ^ kZeros;
  const std::size_t lead = firstSet  ? static_cast<std::size_t>(__builtin_ctzll(firstSet)) / 8
                           : lastSet ? n - 8 + static_cast<std::size_t>(__builtin_ctzll(lastSet)) / 8
                                     : n;
  parts.wholeEnd = p + point;
  parts.whole = p + std::min(lead, point);
  parts.fraction = real ? p + point + 1 : parts.wholeEnd;
  parts.fractionEnd = real ? p + n : parts.wholeEnd;
  return true;
}
#endif

}  // namespace

char* WritePlainNumber(char* out, const FieldColumn& column, std::string_view stored) {
  if (column.type == ColumnType::Text) return nullptr;
  const bool real = column.type == ColumnType::Real;
  PlainParts parts;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  const bool filled = stored.size() >= 8 && stored.size() <= 16 && FilledDigits(stored, real, column.decimals, parts);
#else
  const bool filled = false;
#endif
  if (!filled && !PlainBytes(stored, real, (parts = PlainParts{}))) return nullptr;
  const bool negative = parts.negative;
  const char* whole = parts.whole;
  const char* wholeEnd = parts.wholeEnd;
  const char* fraction = parts.fraction;
  const char* fractionEnd = parts.fractionEnd;
  const auto wholeDigits = static_cast<std::size_t>(wholeEnd - whole);

  if (column.type == ColumnType::Integer) {
    if (wholeDigits > 18) return nullptr;  // what may not fit 64 bits is read the long way
    if (wholeDigits == 0) {
      *out = '0';  // "-0" is the integer 0
      return out + 1;
    }
    if (negative) *out++ = '-';
    CopyShort(out, whole, wholeDigits);
    return out + wholeDigits;
  }

  while (fractionEnd > fraction && fractionEnd[-1] == '0') --fractionEnd;
  const auto fractionDigits = static_cast<std::size_t>(fractionEnd - fraction);
  // Zero keeps its sign in a double: the long way.  Up to 15 digits, the
  // shortest digits that give back the same double are these digits
  // themselves, since no two numbers of 15 digits or fewer are one double.
  if (wholeDigits + fractionDigits == 0 || wholeDigits + fractionDigits > 15) return nullptr;
  // The shortest form is the fixed one ("1234.5", "0.05", "100") unless the
  // exponent form ("1e+08", "5e-05") is shorter; a tie goes to the fixed.
  std::size_t significant = wholeDigits + fractionDigits;
  if (wholeDigits == 0) {
    const char* first = fraction;
    while (*first == '0') ++first;
    significant = static_cast<std::size_t>(fractionEnd - first);
  } else if (fractionDigits == 0) {
    const char* last = wholeEnd;
    while (last[-1] == '0') --last;
    significant = static_cast<std::size_t>(last - whole);
  }
  const std::size_t exponentForm = significant + (significant > 1 ? 1 : 0) + 4;  // d.ddde+XX
  const std::size_t fixedForm = (wholeDigits == 0 ? 1 : wholeDigits) + (fractionDigits > 0 ? 1 + fractionDigits : 0);
  if (fixedForm > exponentForm) return nullptr;
  if (negative) *out++ = '-';
  if (wholeDigits == 0) {
    *out++ = '0';
  } else {
    CopyShort(out, whole, wholeDigits);
    out += wholeDigits;
  }
  *out++ = '.';
  if (fractionDigits == 0) {
    *out++ = '0';  // a real keeps its point, as WriteShortestReal writes it
    return out;
  }
  CopyShort(out, fraction, fractionDigits);
  return out + fractionDigits;
}

void RecordFields::FromSlot(const char* slot) {
  slot_ = slot;
  data_ = nullptr;
  taken_ = columns_.size();
  for (std::size_t i = 0; i < columns_.size(); ++i)
    if (columns_[i].width == 1 && slot[columns_[i].offset] == '\0') {
      taken_ = i;
      purged_ = false;
      return;
    }
  const std::size_t end = columns_.empty() ? 0 : columns_.back().offset + columns_.back().width;
  purged_ = slot[end] != '\n';
}

bool RecordFields::FromFile(ByteFile& data, Long recordNumber) {
  slot_ = nullptr;
  data_ = &data;
  taken_ = 0;
  purged_ = false;
  if (recordNumber < 1) return false;
  // In 64 bits: a data file may reach past 2 GiB.
  start_ = (std::int64_t{recordNumber} - 1) * std::int64_t{state_.RecordLength} + 1;
  if (recordNumber > WholeSlots(data, state_.RecordLength)) return false;
  // Only the one-byte fields and the terminator are read now: they tell
  // where the record ends and whether it is purged.
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (columns_[i].width != 1) continue;
    char byte = 0;
    if (!data.Read(start_ + static_cast<std::int64_t>(columns_[i].offset), &byte, 1)) return false;
    if (byte == '\0') {
      taken_ = i;
      return true;
    }
  }
  taken_ = columns_.size();
  const std::size_t end = columns_.empty() ? 0 : columns_.back().offset + columns_.back().width;
  char terminator = 0;
  if (!data.Read(start_ + static_cast<std::int64_t>(end), &terminator, 1)) return false;
  purged_ = terminator != '\n';
  return true;
}

bool RecordFields::Field(std::size_t i, std::string_view& bytes) {
  if (i >= taken_) return false;
  const FieldColumn& column = columns_[i];
  if (slot_) {
    bytes = std::string_view(slot_ + column.offset, column.width);
    return true;
  }
  if (!data_) return false;
  field_.resize(column.width);
  if (column.width > 0 && !data_->Read(start_ + static_cast<std::int64_t>(column.offset), field_.data(), column.width))
    return false;
  bytes = field_;
  return true;
}

}  // namespace ondrel::sql
