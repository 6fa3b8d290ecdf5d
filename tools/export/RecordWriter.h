// The export's lines (text), rows (CSV) and objects (JSON Lines), one per
// record, written in place into the output buffer.
//
// A record comes as its whole slot, taken as RecordFromSlot takes it, or as
// the record window's line (RecordLine and RecordFlag) when the slot could
// not be read whole; both give the same shown fields, so the two ways write
// the same bytes.  Every byte is decoded through a table (kCp1252Utf8), and
// nothing is allocated per field or per record: a record costs about as much
// as copying its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "database/SharedState.h"
#include "sql/RecordColumns.h"
#include "tools/export/Options.h"
#include "tools/export/Output.h"

namespace ondrel::tool {

// With --entry-numbers a text line starts with its entry number in ten
// columns (entry numbers stay below 2^31) and a blank, so that the fields
// still line up under the heading, which has "ENTRY" over them.
inline constexpr std::size_t kEntryColumns = 10;

// The shown fields of one record, in definition order.
class ShownFields {
 public:
  // `format`: the fields are to be written as that, and Plain tells
  // whether they may be written as they are (for CSV and JSON; it costs a
  // little for every record).
  explicit ShownFields(const SharedState& state, Format format = Format::Text);

  // The shown fields of the definition, and each one's width.
  std::size_t Count() const { return widths_.size(); }
  std::size_t Width(std::size_t i) const { return widths_[i]; }

  // The fields of a whole slot (RecordLength bytes).  As the record window
  // reads a slot, a one-byte field holding NUL ends the record early, and a
  // record that runs to its end is shown when a line feed follows its fields.
  void FromSlot(const char* slot);
  // What FromSlot learns from the slot's bytes for Ascii and Plain: only
  // the slot and what the constructor kept are read, so that another
  // thread may tell it beforehand (the reading thread of a record stream).
  struct Scan {
    bool ascii = false;
    bool plain = false;
  };
  Scan ScanSlot(const char* slot) const;
  // FromSlot with the slot's scan told already.
  void FromSlot(const char* slot, Scan scan);
  // The fields of a record line: each shown field at its full width and one
  // blank; a record that ended early, or whose reading failed, holds fewer.
  void FromLine(const std::string& line, char flag);

  // Flag "Y": the record is not purged.
  bool Shown() const { return shown_; }
  // The fields the record holds, from the first; the rest it does not hold.
  std::size_t Taken() const { return taken_; }
  std::string_view Field(std::size_t i) const { return fields_[i]; }
  // The record line the fields came from (FromLine), or null (FromSlot).
  const std::string* Line() const { return line_; }
  // The bytes of the fields taken (an upper bound when from a line).
  std::size_t Bytes() const { return bytes_; }
  // Every byte of the fields is ASCII, and so its own UTF-8 (from a slot;
  // false from a line, which is decoded byte by byte).
  bool Ascii() const { return ascii_; }
  // Every byte of the fields is ASCII and stands for itself in a CSV field
  // or JSON string, as the format given: no CSV quotes, no JSON escapes
  // (from a slot, where that is cheap to tell for the whole record at once;
  // false when not told).
  bool Plain() const { return plain_; }

 private:
  std::vector<std::size_t> offsets_;  // of each shown field in the slot
  std::vector<std::size_t> widths_;
  // Each one-byte field (shown or not), where it lies and how many shown
  // fields come before it: where a NUL ends the record.
  struct Ender {
    std::size_t offset;
    std::size_t shownBefore;
  };
  std::vector<Ender> enders_;
  std::size_t end_ = 0;           // the byte after the fields
  std::size_t slotBytes_ = 0;     // the shown fields' bytes in a whole slot
  std::vector<std::string_view> fields_;
  std::size_t taken_ = 0;
  std::size_t bytes_ = 0;
  bool shown_ = true;
  bool ascii_ = false;
  Format format_;
  bool plain_ = false;
  const std::string* line_ = nullptr;
};

// Writes one line, row or object per record.
class RecordWriter {
 public:
  RecordWriter(const SharedState& state, const Options& options);

  bool WantsMore() const { return !options_.count || written_ < *options_.count; }

  // The record of entry `entry`.  The text export writes a purged record as
  // the window's ">> Record Purged <<" line; CSV and JSON leave it out.
  void Write(Output& out, Long entry, const ShownFields& fields);

 private:
  char* TextLine(char* at, Long entry, const ShownFields& fields) const;
  char* CsvRow(char* at, Long entry, const ShownFields& fields) const;
  char* JsonObject(char* at, Long entry, const ShownFields& fields) const;
  // The most bytes a record of `bytes` field bytes can become.
  std::size_t Most(std::size_t bytes) const { return fixedMost_ + perByteMost_ * bytes; }

  // A shown field as a JSON member: its name, made once ("NAME": with its
  // quotes and colon, ready to write), and how its value is read.
  struct JsonMember {
    std::string key;
    sql::FieldColumn column;
  };
  static std::vector<JsonMember> JsonMembers(const SharedState& state);

  const Options& options_;
  std::vector<JsonMember> members_;  // --format json
  std::size_t fixedMost_ = 0;
  std::size_t perByteMost_ = 0;
  std::int64_t written_ = 0;
};

}  // namespace ondrel::tool
