// The export: every entry of the profile from entry --from on, in key order,
// as text lines (the record window's lines without its 21-line limit), as
// CSV rows, or as JSON Lines (one object per record, the shown fields by
// name).  Records are read in batches (RecordStream) and written through
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
#include "database/KeySeek.h"
#include "database/RecordStream.h"
#include "tools/export/Csv.h"
#include "tools/export/Modes.h"
#include "tools/export/Output.h"
#include "tools/export/RecordCounts.h"
#include "tools/export/RecordWriter.h"
#include "tools/export/Session.h"
#include "viewer/Cp1252.h"
#include "viewer/RecordWindow.h"
#include "viewer/TextFind.h"

namespace ondrel::tool {
namespace {

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
  } else if (options.format == Format::Json) {
    return;  // every object names its own fields
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
  OpenProfile(session, options, !options.seek.empty());
  return ExportOpened(session, options);
}

int ExportOpened(Session& session, const Options& options) {
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
      const bool compare = KeysCompared(state) && keys.Usable();
      const KeyCase match = ComparedCase(state);
      // The start is found: no seek follows, and the leaves' keys would only
      // take memory from the batches (in 512-byte nodes, two thirds of it).
      ReleaseLeafKeys(state);
      RecordStream stream(state, index, data, order, problems, ScanBudget(state, kExportCeiling));
      // Each row costs about as much to write as to read: the next batch is
      // read while this one is written.  In a scattered order the writing of
      // a batch takes half a pass over the data file: the next batch takes
      // this one's slots, and the passes are fewer.
      stream.ReadAhead();
      stream.HandSlotsOn();
      const double start = state.StartRecord;
      stream.Want([start](const TreeEntry& e) { return e.Flag == 'Y' && e.Number >= start; });
      stream.StartAt(leaf);
      RecordWriter writer(state, options);
      ShownFields fields(state, options.format);
      // What needs only a row's own bytes, the look at its record for the
      // bytes its format writes otherwise and the comparison of its key
      // with its record, is done on the reading thread, beside the writing
      // of the batch before: the writing takes longer than the reading.  It
      // scans with a copy of the fields of its own, apart from those this
      // thread changes for every row.
      // Every row read whole is inspected, so a row with a slot has its mark,
      // and needs its key no more: only the rows without one keep theirs.
      enum : std::uint8_t { kAscii = 1, kPlain = 2, kKeyDiffers = 4 };
      stream.Inspect([scanner = fields, &keys, compare, match](const unsigned char* key, const char* slot) {
        const ShownFields::Scan scan = scanner.ScanSlot(slot);
        return static_cast<std::uint8_t>((scan.ascii ? kAscii : 0) | (scan.plain ? kPlain : 0) |
                                         (compare && key && !keys.SlotHoldsKey(key, slot, match) ? kKeyDiffers : 0));
      });
      stream.KeysForInspectionOnly();
      // --find: only the records whose line holds the text, as the viewer's
      // search finds them (a purged record never matches).
      std::optional<TextMatcher> matcher;
      if (options.find) matcher.emplace(FindText(*options.find), options.matchCase);
      Output& out = Stdout();
      StreamRow row;
      while (writer.WantsMore() && stream.Next(row)) {
        if (!row.wanted) continue;
        // A slot read whole is written from its own bytes; the record line
        // is made only for the search or when the slot could not be read
        // whole.
        bool read = true;
        if (row.slot && !matcher) {
          fields.FromSlot(row.slot, {(row.mark & kAscii) != 0, (row.mark & kPlain) != 0});
        } else {
          read = stream.Decode(state, row);
          fields.FromLine(state.RecordLine, state.RecordFlag);
        }
        if (compare && read && fields.Shown() &&
            (row.slot ? (row.mark & kKeyDiffers) != 0
                      : row.entry.Key && !keys.RecordHoldsKey(stream.Data(), row.entry.Record, row.entry.Key, match)))
          problems.Mismatch();
        if (matcher && (!fields.Shown() || matcher->Find(state.RecordLine.data(), state.RecordLine.size()) < 0))
          continue;
        writer.Write(out, row.entry.Number, fields);
      }
    }
  }
  Stdout().Flush();
  const int status = EndOfRead(session, &problems, "export");
  return TellCountDisagreement(session) ? 1 : status;
}

}  // namespace ondrel::tool
