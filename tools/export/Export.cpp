// The export: every entry of the profile from entry --from on, in key order,
// as text lines (the record window's lines without its 21-line limit) or as
// CSV rows.  Records are read in batches (RecordStream) and written through
// one buffer, so memory stays within the stream's budget whatever the size of
// the file, and a profile that scatters its records costs a few passes over
// the data file, not one read per record.
#include <optional>
#include <vector>

#include "database/ByteFile.h"
#include "database/Definition.h"
#include "database/FineProblems.h"
#include "database/IndexWalk.h"
#include "database/KeyOrder.h"
#include "database/KeyRecord.h"
#include "database/RecordStream.h"
#include "tools/export/Csv.h"
#include "tools/export/Modes.h"
#include "tools/export/Output.h"
#include "tools/export/RecordCounts.h"
#include "tools/export/Session.h"
#include "viewer/Cp1252.h"
#include "viewer/RecordWindow.h"
#include "viewer/TextFind.h"

namespace ondrel::tool {
namespace {

// With --entry-numbers a text line starts with its entry number in ten
// columns (entry numbers stay below 2^31) and a blank, so that the fields
// still line up under the heading.
constexpr std::size_t kEntryColumns = 10;

void AppendEntryNumber(std::string& out, Long entry) {
  const std::string number = std::to_string(entry);
  out.append(kEntryColumns > number.size() ? kEntryColumns - number.size() : 0, ' ');
  out += number;
  out += ' ';
}

// Writes one line or row per record, in key order.
class RecordWriter {
 public:
  RecordWriter(SharedState& state, const Options& options) : state_(state), options_(options) {
    for (int i = 1; i <= state_.FieldCount && static_cast<std::size_t>(i) < state_.FieldTable.size();
         ++i) {
      const FieldDef& field = state_.FieldTable[static_cast<std::size_t>(i)];
      if (IsDisplayedField(field.Name)) widths_.push_back(field.Width > 0 ? field.Width : 0);
    }
  }

  bool WantsMore() const { return !options_.count || written_ < *options_.count; }

  // The record of entry `entry`, in RecordLine and RecordFlag.
  void Write(Long entry) {
    std::string& out = Stdout().Buffer();
    if (options_.format == Format::Text) {
      if (options_.entryNumbers) AppendEntryNumber(out, entry);
      AppendCp1252AsUtf8(out, state_.RecordFlag == 'Y' ? std::string_view(state_.RecordLine)
                                                       : std::string_view(kRecordPurged));
      out += '\n';
    } else {
      if (state_.RecordFlag != 'Y') return;  // purged records are left out
      if (options_.entryNumbers) out += std::to_string(entry) + ",";
      AppendRow(out);
    }
    ++written_;
    Stdout().WriteIfFull();
  }

 private:
  // The record line holds each shown field at its full width and one blank;
  // a record that ended early holds fewer fields, and the rest are empty.
  void AppendRow(std::string& out) {
    const std::string& line = state_.RecordLine;
    std::size_t at = 0;
    for (std::size_t i = 0; i < widths_.size(); ++i) {
      std::string_view field;
      if (at < line.size()) field = std::string_view(line).substr(at, widths_[i]);
      const std::size_t kept = field.find_last_not_of(' ');
      field = kept == std::string_view::npos ? std::string_view() : field.substr(0, kept + 1);
      if (i > 0) out += ',';
      AppendCsvField(out, field);
      at += widths_[i] + 1;
    }
    out += kCsvRowEnd;
  }

  SharedState& state_;
  const Options& options_;
  std::vector<std::size_t> widths_;
  std::int64_t written_ = 0;
};



void WriteHeading(const SharedState& state, const Options& options) {
  std::string out;
  if (options.format == Format::Text) {
    std::string heading = state.Heading;
    for (std::size_t at; (at = heading.find("\r\n")) != std::string::npos;) heading.erase(at, 1);
    if (options.entryNumbers) {
      // "ENTRY" over the numbers, dashes under it.
      const std::size_t lineEnd = heading.find('\n');
      heading.insert(lineEnd + 1, std::string(kEntryColumns, '-') + " ");
      heading.insert(0, std::string(kEntryColumns - 5, ' ') + "ENTRY ");
    }
    AppendCp1252AsUtf8(out, heading);
  } else {
    bool first = !options.entryNumbers;
    if (options.entryNumbers) out += "ENTRY";
    for (int i = 1; i <= state.FieldCount && static_cast<std::size_t>(i) < state.FieldTable.size();
         ++i) {
      const FieldDef& field = state.FieldTable[static_cast<std::size_t>(i)];
      if (!IsDisplayedField(field.Name)) continue;
      if (!first) out += ',';
      AppendCsvField(out, field.Name);
      first = false;
    }
    out += kCsvRowEnd;
  }
  Stdout().Write(out);
}

// The text of --find in the database's code page.
std::string FindText(const std::string& utf8) {
  std::string bytes;
  if (!Utf8ToCp1252(utf8, bytes))
    Fail("The text " + utf8 + " of --find holds a character the database's code page cannot hold.");
  return bytes;
}

}  // namespace

int ExportMode(const Options& options) {
  Session session;
  OpenProfile(session, options, true);
  RequireDefinition(session);
  SharedState& state = session.state;
  WriteHeading(state, options);

  // Everything that can be read is written; what could not be read is
  // counted and told at the end, and the export then fails.
  FineProblems problems(session.platform);
  state.StartRecord = static_cast<double>(options.seek.empty() ? options.from : SeekEntry(session, options));
  const Long leaf = FindLeaf(state, state.StartRecord);
  if (leaf != 0) {
    ByteFile index;
    ByteFile data;
    if (!index.Open(state.IndexPath)) problems.Other();
    if (!data.Open(state.DataPath)) problems.Other();
    if (index.IsOpen()) {
      // The lines the record window would show: entries from the start on,
      // flagged "Y".
      LearnKeyRecordCheck(state, index, data);
      const KeyOrder order(state);
      const KeyFields keys(state, order);
      const bool compare = state.KeyRecords == KeyRecordCheck::Yes && keys.Usable();
      RecordStream stream(state, index, data, order, problems);
      const double start = state.StartRecord;
      stream.Want([start](const TreeEntry& e) { return e.Flag == 'Y' && e.Number >= start; });
      stream.StartAt(leaf);
      RecordWriter writer(state, options);
      // --find: only the records whose line holds the text, as the viewer's
      // search finds them (a purged record never matches).
      std::optional<TextMatcher> matcher;
      if (options.find) matcher.emplace(FindText(*options.find), options.matchCase);
      StreamRow row;
      while (writer.WantsMore() && stream.Next(row)) {
        if (!row.wanted) continue;
        const bool read = stream.Decode(state, row);
        if (compare && read && state.RecordFlag == 'Y' && row.entry.Key &&
            !(row.slot ? keys.SlotHoldsKey(row.entry.Key, row.slot)
                       : keys.RecordHoldsKey(data, row.entry.Record, row.entry.Key)))
          problems.Mismatch();
        if (matcher && (state.RecordFlag != 'Y' ||
                        matcher->Find(state.RecordLine.data(), state.RecordLine.size()) < 0))
          continue;
        writer.Write(row.entry.Number);
      }
    }
  }
  Stdout().Flush();
  const int status = EndOfRead(session, &problems, "export");
  return TellCountDisagreement(session) ? 1 : status;
}

}  // namespace ondrel::tool
