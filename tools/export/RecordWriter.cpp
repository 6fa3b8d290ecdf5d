#include "tools/export/RecordWriter.h"

#include <charconv>
#include <cstring>
#include <unordered_set>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "database/Definition.h"
#include "database/ShortBytes.h"
#include "sql/SqlText.h"
#include "tools/export/Csv.h"
#include "viewer/Cp1252.h"
#include "viewer/RecordWindow.h"

namespace ondrel::tool {
namespace {

// The most characters of an entry number (a Long), its sign included.
constexpr std::size_t kEntryDigitsMost = 11;

char* WriteBytes(char* at, std::string_view bytes) {
  CopyShort(at, bytes.data(), bytes.size());
  return at + bytes.size();
}

// A field without its trailing blanks, in line: a call for each text field
// of every row costs more than the look at its last word.
std::string_view Trimmed(std::string_view field) {
  return field.substr(0, WithoutTrailingBlanksLength(field.data(), field.size()));
}

char* WriteNumber(char* at, std::int64_t number) { return std::to_chars(at, at + 20, number).ptr; }

}  // namespace

ShownFields::ShownFields(const SharedState& state, Format format) : format_(format) {
  std::size_t offset = 0;
  for (int i = 1; i <= state.FieldCount && static_cast<std::size_t>(i) < state.FieldTable.size(); ++i) {
    const FieldDef& field = state.FieldTable[static_cast<std::size_t>(i)];
    const auto width = static_cast<std::size_t>(field.Width > 0 ? field.Width : 0);
    if (width == 1) enders_.push_back({offset, widths_.size()});
    if (IsDisplayedField(field.Name)) {
      offsets_.push_back(offset);
      widths_.push_back(width);
      slotBytes_ += width;
    }
    offset += width;
  }
  end_ = offset;
  fields_.resize(widths_.size());
}

void ShownFields::FromSlot(const char* slot) { FromSlot(slot, ScanSlot(slot)); }

void ShownFields::FromSlot(const char* slot, Scan scan) {
  ascii_ = scan.ascii;
  plain_ = scan.plain;
  line_ = nullptr;
  bytes_ = slotBytes_;
  taken_ = widths_.size();
  shown_ = slot[end_] == '\n';
  for (const Ender& ender : enders_)
    if (slot[ender.offset] == '\0') {
      taken_ = ender.shownBefore;
      shown_ = true;
      break;
    }
  for (std::size_t i = 0; i < taken_; ++i) fields_[i] = std::string_view(slot + offsets_[i], widths_[i]);
}

ShownFields::Scan ShownFields::ScanSlot(const char* slot) const {
  // The record's bytes (hidden fields too: a byte there only makes the
  // answer more careful than it need be) for one with its top bit set and,
  // for CSV and JSON, for those the format writes otherwise (CSV: the four
  // that call for quotes; JSON: a quote, a backslash and the controls, DEL
  // among them), sixteen at a time.
#if defined(__SSE2__)
  if (end_ >= 16) {
    const bool text = format_ == Format::Text;
    const bool csv = format_ == Format::Csv;
    __m128i high = _mm_setzero_si128(), special = _mm_setzero_si128();
    const auto is = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    const auto scan = [&](std::size_t at) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(slot + at));
      high = _mm_or_si128(high, v);
      if (text) {
        // The top bits alone.
      } else if (csv) {
        special = _mm_or_si128(special, _mm_or_si128(is(v, kCsvQuoted[0]), is(v, kCsvQuoted[1])));
        special = _mm_or_si128(special, _mm_or_si128(is(v, kCsvQuoted[2]), is(v, kCsvQuoted[3])));
      } else {
        // (A signed comparison: bytes from 0x80 up count as below 0x20
        // too, and are told by `high` anyway.)
        special = _mm_or_si128(special, _mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(0x20)), is(v, '\x7F')));
        special = _mm_or_si128(special, _mm_or_si128(is(v, '"'), is(v, '\\')));
      }
    };
    std::size_t at = 0;
    for (; at + 16 < end_; at += 16) scan(at);
    scan(end_ - 16);  // the last sixteen, over the ones before
    const bool ascii = _mm_movemask_epi8(high) == 0;
    return {ascii, !text && ascii && _mm_movemask_epi8(special) == 0};
  }
#endif
  // Otherwise eight at a time, the top bits alone; each field is then
  // looked at on its own as it is written.
  std::uint64_t high = 0;
  std::size_t at = 0;
  for (std::uint64_t word; at + 8 <= end_; at += 8) {
    std::memcpy(&word, slot + at, 8);
    high |= word;
  }
  for (; at < end_; ++at) high |= static_cast<unsigned char>(slot[at]);
  return {(high & 0x8080808080808080ull) == 0, false};
}

void ShownFields::FromLine(const std::string& line, char flag) {
  ascii_ = false;
  plain_ = false;
  line_ = &line;
  bytes_ = line.size();
  shown_ = flag == 'Y';
  taken_ = 0;
  for (std::size_t at = 0; taken_ < widths_.size() && at < line.size(); ++taken_) {
    fields_[taken_] = std::string_view(line).substr(at, widths_[taken_]);
    at += widths_[taken_] + 1;
  }
}

RecordWriter::RecordWriter(const SharedState& state, const Options& options) : options_(options) {
  std::size_t shown = 0;
  for (int i = 1; i <= state.FieldCount && static_cast<std::size_t>(i) < state.FieldTable.size(); ++i)
    if (IsDisplayedField(state.FieldTable[static_cast<std::size_t>(i)].Name)) ++shown;
  // The most a record can become: what does not grow with its bytes, and
  // the most one byte can become.
  switch (options_.format) {
    case Format::Text:
      // The entry number, a blank after each field (the purged line in
      // place of the fields), the line feed.
      fixedMost_ = kEntryDigitsMost + 1 + shown + kCp1252Utf8Most * std::strlen(kRecordPurged) + 1;
      perByteMost_ = kCp1252Utf8Most;
      break;
    case Format::Csv:
      fixedMost_ = kEntryDigitsMost + 1 + shown * (CsvFieldMost(0) + 1) + 2;
      perByteMost_ = CsvFieldMost(1) - CsvFieldMost(0);
      break;
    case Format::Json:
      members_ = JsonMembers(state);
      fixedMost_ = std::strlen("{\"entry\":") + kEntryDigitsMost + std::strlen("}\n");
      for (const JsonMember& member : members_)
        fixedMost_ += 1 + member.key.size() + std::max(sql::kShortestRealMost, sql::JsonStringMost(0));
      perByteMost_ = sql::JsonStringMost(1) - sql::JsonStringMost(0);
      break;
  }
}

// Names are decoded from Windows-1252; an empty name becomes "field_N" (N
// its place in the definition), and a name met again gets "_2", "_3" and so
// on, so that no member hides another.  The "entry" member of
// --entry-numbers meets no field: a shown field's name never starts with a
// small letter.
std::vector<RecordWriter::JsonMember> RecordWriter::JsonMembers(const SharedState& state) {
  std::vector<JsonMember> members;
  std::unordered_set<std::string> taken;
  for (int i = 1; i <= state.FieldCount && static_cast<std::size_t>(i) < state.FieldTable.size(); ++i) {
    const FieldDef& field = state.FieldTable[static_cast<std::size_t>(i)];
    if (!IsDisplayedField(field.Name)) continue;
    std::string wanted = Cp1252ToUtf8(field.Name);
    if (wanted.empty()) wanted = "field_" + std::to_string(i);
    std::string name = wanted;
    for (int n = 2; !taken.insert(name).second; ++n) name = wanted + "_" + std::to_string(n);
    JsonMember member;
    sql::AppendJsonUtf8(member.key, name);
    member.key += ':';
    member.column.width = static_cast<std::size_t>(field.Width > 0 ? field.Width : 0);
    member.column.decimals = field.Decimals;
    member.column.type = field.Type != "N"     ? sql::ColumnType::Text
                         : field.Decimals > 0 ? sql::ColumnType::Real
                                              : sql::ColumnType::Integer;
    members.push_back(std::move(member));
  }
  return members;
}

void RecordWriter::Write(Output& out, Long entry, const ShownFields& fields) {
  if (options_.format != Format::Text && !fields.Shown()) return;  // purged records are left out
  char* at = out.Room(Most(fields.Bytes()));
  switch (options_.format) {
    case Format::Text: at = TextLine(at, entry, fields); break;
    case Format::Csv: at = CsvRow(at, entry, fields); break;
    case Format::Json: at = JsonObject(at, entry, fields); break;
  }
  out.Commit(at);
  ++written_;
  out.WriteIfFull();
}

char* RecordWriter::TextLine(char* at, Long entry, const ShownFields& fields) const {
  if (options_.entryNumbers) {
    char number[24];
    const std::size_t digits = static_cast<std::size_t>(WriteNumber(number, entry) - number);
    for (std::size_t pad = digits; pad < kEntryColumns; ++pad) *at++ = ' ';
    std::memcpy(at, number, digits);
    at += digits;
    *at++ = ' ';
  }
  if (!fields.Shown()) {
    at = WriteCp1252AsUtf8(at, kRecordPurged);
  } else if (fields.Line()) {
    at = WriteCp1252AsUtf8(at, *fields.Line());
  } else {
    // The record line: each field at its full width and one blank.
    for (std::size_t i = 0; i < fields.Taken(); ++i) {
      const std::string_view field = fields.Field(i);
      if (fields.Ascii()) {
        CopyShort(at, field.data(), field.size());
        at += field.size();
      } else {
        at = WriteCp1252AsUtf8(at, field);
      }
      *at++ = ' ';
    }
  }
  *at++ = '\n';
  return at;
}

char* RecordWriter::CsvRow(char* at, Long entry, const ShownFields& fields) const {
  if (options_.entryNumbers) {
    at = WriteNumber(at, entry);
    *at++ = ',';
  }
  // A field the record does not hold (it ended early) is empty.
  for (std::size_t i = 0; i < fields.Count(); ++i) {
    if (i > 0) *at++ = ',';
    if (i >= fields.Taken()) continue;
    const std::string_view field = Trimmed(fields.Field(i));
    if (fields.Plain()) {
      CopyShort(at, field.data(), field.size());
      at += field.size();
    } else {
      at = WriteCsvField(at, field, fields.Ascii());
    }
  }
  return WriteBytes(at, kCsvRowEnd);
}

// A numeric field holding a well-formed number is a JSON number, a blank one
// null, and any other text in it a string, so that nothing is lost.  A field
// the record does not hold (it ended early) is null.
char* RecordWriter::JsonObject(char* at, Long entry, const ShownFields& fields) const {
  *at++ = '{';
  if (options_.entryNumbers) {
    at = WriteBytes(at, "\"entry\":");
    at = WriteNumber(at, entry);
  }
  for (std::size_t i = 0; i < members_.size(); ++i) {
    const JsonMember& member = members_[i];
    if (i > 0 || options_.entryNumbers) *at++ = ',';
    at = WriteBytes(at, member.key);
    if (i >= fields.Taken()) {
      at = WriteBytes(at, "null");
      continue;
    }
    if (member.column.type == sql::ColumnType::Text) {
      // What ValueOf makes of a text field, and no more.
      const std::string_view text = Trimmed(fields.Field(i));
      if (fields.Plain()) {
        *at++ = '"';
        CopyShort(at, text.data(), text.size());
        at += text.size();
        *at++ = '"';
      } else {
        at = sql::WriteJsonString(at, text);
      }
      continue;
    }
    if (char* plain = sql::WritePlainNumber(at, member.column, fields.Field(i))) {
      at = plain;
      continue;
    }
    const sql::FieldValue value = sql::ValueOf(member.column, fields.Field(i));
    if (value.kind == sql::ColumnType::Integer)
      at = WriteNumber(at, value.integer);
    else if (value.kind == sql::ColumnType::Real)
      at = sql::WriteShortestReal(at, value.real);
    else if (value.null)
      at = WriteBytes(at, "null");
    else
      at = sql::WriteJsonString(at, value.text);
  }
  return WriteBytes(at, "}\n");
}

}  // namespace ondrel::tool
