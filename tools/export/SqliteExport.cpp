// --sqlite OUT.db DIR: the whole database as one SQLite file, for the tools
// that read SQLite.
//
// For each ISPEC N of DIR (in the chooser's sorted order), and each profile P
// of it (in profile-file order):
//
//   CREATE TABLE "N"(record_number INTEGER PRIMARY KEY, purged INTEGER,
//                    "FIELD1" TEXT, "FIELD2" INTEGER, ...);     -- every slot of
//                                        the data file, every field, hidden ones
//                                        included, typed as RecordColumns.h says
//   CREATE TABLE "N_P_entries"(entry_number INTEGER PRIMARY KEY,
//                              record_number INTEGER, entry_flag TEXT);
//                                     -- every entry of P's tree, in key order
//   CREATE VIEW "N_P" AS SELECT entry_number, record_number, purged, fields...
//                        FROM "N_P_entries" LEFT JOIN "N" ... ORDER BY entry_number;
//
// An ISPEC of more fields than SQLite lets a table or view hold as columns
// (2,000 unless SQLite was built otherwise) is written whole rather than left
// out: its table is
//
//   CREATE TABLE "N"(record_number INTEGER PRIMARY KEY, purged INTEGER,
//                    fields TEXT);  -- {"FIELD1": "text", "FIELD2": 12, ...}
//
// each record's fields one JSON object by field name (numbers as JSON
// numbers, as they would be typed as columns), and its views show "fields"
// in place of the field columns.  SQL reaches a field with
// json_extract(fields, '$.FIELD2').  The run says so once, and its exit
// status is not changed by it: nothing is missing.
//
// A name already taken (SQL compares names without regard to case) gets
// "_2", "_3" and so on; a name SQLite keeps for itself ("sqlite_...") gets a
// "_" in front; a NUL, which SQL text cannot hold, is written as U+2400;
// every name is quoted, so any other name is kept as it is.
//
// The file is written under a temporary name beside OUT.db and renamed to it
// only when everything has been written, so a run that fails or is
// interrupted leaves no OUT.db half-written (and an existing one untouched).
// An ISPEC or profile that cannot be opened is reported and left out; one
// whose files are damaged partway keeps what could be read and is reported.
// An entry whose record is not in the table (one past the end of the data
// file, or one that could not be read) keeps its row, whose fields the view
// shows as NULL, and is counted as a data record that could not be read, as
// the export counts it.  Either way the rest is written and the exit status
// is 1.  So is a profile whose entry count cannot belong to its data file
// (RecordCounts.h): its view misses records.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cerrno>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "database/ByteFile.h"
#include "database/Catalogue.h"
#include "database/DataRecord.h"
#include "database/FileIdentity.h"
#include "database/FineProblems.h"
#include "database/IndexWalk.h"
#include "database/KeyOrder.h"
#include "database/KeyRecord.h"
#include "database/LoadingPlatform.h"
#include "database/RecordBatch.h"
#include "database/RecordStream.h"
#include "sql/ProfileSource.h"
#include "sql/RecordColumns.h"
#include "sql/SqlText.h"
#include "tools/export/Modes.h"
#include "tools/export/Output.h"
#include "tools/export/RecordCounts.h"
#include "tools/export/System.h"
#include "tools/export/ToolPlatform.h"
#include "viewer/Cp1252.h"

namespace ondrel::tool {
namespace {

using sql::ColumnType;
using sql::FieldColumn;
using sql::QuoteIdentifier;

// Records asked for at once from the data file: a few MiB of slots.
constexpr std::size_t kRecordsPerBatch = 1 << 16;

// The temporary file, for the signal handler that removes it.
char temporaryPath[4096];

extern "C" void RemoveTemporaryAndEnd(int signal) {
  RemoveFile(temporaryPath);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// A failure of SQLite itself (a full disk, a directory not writable): the
// run cannot go on.
struct WriteFailure {
  std::string text;
};

class Database {
 public:
  explicit Database(const std::string& path) {
    // One thread uses the connection: SQLite's own locks are not needed.
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) Fail();
  }
  ~Database() { sqlite3_close(db_); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  void Exec(const std::string& statement) {
    if (sqlite3_exec(db_, statement.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
  }
  sqlite3_stmt* Prepare(const std::string& statement) {
    sqlite3_stmt* prepared = nullptr;
    if (sqlite3_prepare_v2(db_, statement.c_str(), -1, &prepared, nullptr) != SQLITE_OK) Fail();
    return prepared;
  }
  // Runs a prepared insert with its values bound, and resets it.
  void Step(sqlite3_stmt* prepared) {
    if (sqlite3_step(prepared) != SQLITE_DONE) {
      sqlite3_reset(prepared);
      Fail();
    }
    sqlite3_reset(prepared);
  }
  // The most columns a table or view may have.
  int ColumnLimit() const { return sqlite3_limit(db_, SQLITE_LIMIT_COLUMN, -1); }
  void Close() {
    if (sqlite3_close(db_) != SQLITE_OK) Fail();
    db_ = nullptr;
  }
  [[noreturn]] void Fail() { throw WriteFailure{db_ ? sqlite3_errmsg(db_) : "out of memory"}; }

 private:
  sqlite3* db_ = nullptr;
};

// A prepared statement finalized when it goes.
struct Statement {
  explicit Statement(sqlite3_stmt* s) : stmt(s) {}
  ~Statement() { sqlite3_finalize(stmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  sqlite3_stmt* stmt;
};

// Rows of one table inserted many at a time: one INSERT of up to 100 rows
// runs SQLite's statement machinery once for them all, which makes the
// writing about twice as fast as one INSERT per row.  The values of the
// rows not yet written are kept here, texts as UTF-8.
class RowWriter {
 public:
  struct Cell {
    enum Kind { Null, Integer, Real, Text } kind = Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string text;
  };

  RowWriter(Database& db, const std::string& table, int columns)
      : db_(db), table_(table), columns_(columns), perStatement_(std::max(1, std::min(100, 30000 / columns))),
        many_(db.Prepare(Insert(perStatement_))), one_(db.Prepare(Insert(1))),
        cells_(static_cast<std::size_t>(perStatement_ * columns)) {}

  // The INTEGER PRIMARY KEY cell of a row whose key is `key`: NULL when it
  // is the one after the last key written, which SQLite then gives it
  // itself, appending to the table's tree without searching it (about a
  // tenth of the time went to that search).  Sets `last` to `key`.
  static Cell Key(std::int64_t key, std::int64_t& last) {
    Cell cell;
    if (key != last + 1) {
      cell.kind = Cell::Integer;
      cell.integer = key;
    }
    last = key;
    return cell;
  }

  // The cells of the next row, to be filled in column order; the row is
  // written when the statement's rows are all filled, or at Finish.
  Cell* NextRow() {
    if (rows_ == perStatement_) Flush();
    return &cells_[static_cast<std::size_t>(rows_++ * columns_)];
  }

  void Finish() {
    for (int row = 0; row < rows_; ++row) {
      Bind(one_.stmt, row, 0);
      db_.Step(one_.stmt);
    }
    rows_ = 0;
  }

 private:
  std::string Insert(int rows) const {
    std::string values = "(?";
    for (int i = 1; i < columns_; ++i) values += ",?";
    values += ")";
    std::string statement = "INSERT INTO " + QuoteIdentifier(table_) + " VALUES" + values;
    for (int i = 1; i < rows; ++i) statement += "," + values;
    return statement;
  }

  void Bind(sqlite3_stmt* statement, int row, int firstParameter) {
    for (int c = 0; c < columns_; ++c) {
      const Cell& cell = cells_[static_cast<std::size_t>(row * columns_ + c)];
      const int at = firstParameter + c + 1;
      switch (cell.kind) {
        case Cell::Null: sqlite3_bind_null(statement, at); break;
        case Cell::Integer: sqlite3_bind_int64(statement, at, cell.integer); break;
        case Cell::Real: sqlite3_bind_double(statement, at, cell.real); break;
        case Cell::Text:
          sqlite3_bind_text(statement, at, cell.text.data(), static_cast<int>(cell.text.size()), SQLITE_STATIC);
          break;
      }
    }
  }

  void Flush() {
    for (int row = 0; row < rows_; ++row) Bind(many_.stmt, row, row * columns_);
    db_.Step(many_.stmt);
    rows_ = 0;
  }

  Database& db_;
  std::string table_;
  int columns_;
  int perStatement_;
  Statement many_;
  Statement one_;
  std::vector<Cell> cells_;
  int rows_ = 0;
};

// "\rLARGE: 120000 of 1000000 records" on standard error, a few times a
// second, when standard error is a terminal.
class Progress {
 public:
  Progress() : terminal_(IsTerminal(Stream::Error)) {}
  void Show(const std::string& what, std::int64_t done, std::int64_t total, const char* unit) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(250)) return;
    last_ = now;
    const std::string line = "\r" + Printable(what) + ": " + std::to_string(done) + " of " + std::to_string(total) +
                             " " + unit + "\033[K";
    WriteAll(Stream::Error, line.data(), line.size());
  }
  void Clear() {
    if (!terminal_) return;
    WriteAll(Stream::Error, "\r\033[K", 4);
  }

 private:
  bool terminal_;
  std::chrono::steady_clock::time_point last_{};
};

// A table or view name: unique in the file, and not one SQLite keeps.
std::string ObjectName(sql::NameSet& names, const std::string& wanted) {
  std::string name = wanted;
  if (name.size() >= 7 && ::strncasecmp(name.c_str(), "sqlite_", 7) == 0) name = "_" + name;
  return names.Take(name);
}

void Report(const LoadingPlatform& platform) {
  for (const LoadMessage& message : platform.messages)
    ErrorLine((message.title.empty() ? std::string(kApplicationTitle) : message.title) + ": " + message.text);
}

void Tell(const std::string& text) { ErrorLine(std::string(kApplicationTitle) + ": " + text); }

class IspecWriter {
 public:
  IspecWriter(Database& db, sql::NameSet& names, Progress& progress) : db_(db), names_(names), progress_(progress) {}

  // Writes one ISPEC and its profiles; false when anything was left out.
  bool Write(const std::string& directory, const std::string& ispec);

  // An ISPEC's files changed while they were written: the result is not kept.
  bool changed = false;

 private:
  bool WriteFiles(const std::string& directory, const std::string& ispec);
  bool WriteRecords(const SharedState& state, const std::string& table, const std::vector<FieldColumn>& columns);
  // The field columns of a table or view, after its own: each field's, or
  // the one JSON column (`prefix` names the table in a view).
  std::string FieldColumns(const std::vector<FieldColumn>& columns, const std::string& prefix) const;
  bool WriteProfile(const SharedState& ispecState, const std::vector<std::string>& profiles, int position,
                    const std::string& table, const std::vector<FieldColumn>& columns);

  Database& db_;
  sql::NameSet& names_;
  Progress& progress_;
  std::string label_;  // the ISPEC's name as printed
  bool json_ = false;  // the fields are one JSON column
  // The records of the table: 1 to recordsHeld_, less those unreadable_.
  Long recordsHeld_ = 0;
  std::vector<Long> unreadable_;
  std::int64_t activeRecords_ = 0;
  bool dataRead_ = false;  // the data file was read to its last whole slot

  bool HasRow(Long record) const {
    return record >= 1 && record <= recordsHeld_ &&
           !std::binary_search(unreadable_.begin(), unreadable_.end(), record);
  }
};

bool IspecWriter::Write(const std::string& directory, const std::string& ispec) {
  // The tables and views of an ISPEC must come from one state of its files.
  const SetPaths paths = PathsOf(directory, ispec);
  SetIdentity before;
  const bool quiet = QuietIdentityOf(paths, before);
  const bool complete = WriteFiles(directory, ispec);
  if (quiet && IdentityOf(paths) == before) return complete;
  progress_.Clear();
  Tell(ChangedFilesText(Printable(label_)));
  changed = true;
  return false;
}

bool IspecWriter::WriteFiles(const std::string& directory, const std::string& ispec) {
  label_ = Cp1252ToUtf8(ispec);
  recordsHeld_ = 0;
  unreadable_.clear();
  activeRecords_ = 0;
  dataRead_ = false;
  SharedState state;
  LoadingPlatform platform;
  std::vector<std::string> profiles;
  if (!sql::OpenIspec(state, platform, directory, ispec, profiles).empty()) {
    progress_.Clear();
    Report(platform);
    Tell("The ISPEC " + Printable(label_) + " cannot be read and is left out.");
    return false;
  }
  const std::string table = ObjectName(names_, label_);
  sql::NameSet columnNames;
  columnNames.Take("record_number");
  columnNames.Take("purged");
  const std::vector<FieldColumn> columns = sql::RecordColumns(state, columnNames);
  // The views have the most columns: entry_number, record_number, purged
  // and the fields.
  json_ = columns.size() + 3 > static_cast<std::size_t>(db_.ColumnLimit());
  if (json_) {
    progress_.Clear();
    Tell("The ISPEC " + Printable(label_) + " has " + std::to_string(columns.size()) +
         " fields, more than a table can hold as columns: each record's fields are one JSON object in the column "
         "\"fields\".");
  }
  db_.Exec("CREATE TABLE " + QuoteIdentifier(table) + "(record_number INTEGER PRIMARY KEY, purged INTEGER" +
           FieldColumns(columns, "") + ")");

  bool complete = WriteRecords(state, table, columns);
  for (std::size_t i = 0; i < profiles.size(); ++i)
    complete = WriteProfile(state, profiles, static_cast<int>(i), table, columns) && complete;
  return complete;
}

std::string IspecWriter::FieldColumns(const std::vector<FieldColumn>& columns, const std::string& prefix) const {
  if (json_) return ", " + prefix + "fields" + (prefix.empty() ? " TEXT" : "");
  std::string text;
  for (const FieldColumn& column : columns)
    text += ", " + prefix + QuoteIdentifier(column.name) +
            (prefix.empty() ? std::string(" ") + sql::DeclaredType(column.type) : std::string());
  return text;
}

// Makes one row of each record visited.
class RecordInserter : public SlotVisitor {
 public:
  RecordInserter(RowWriter& rows, const SharedState& state, const std::vector<FieldColumn>& columns, ByteFile& data,
                 bool json)
      : rows_(rows), fields_(state, columns), columns_(columns), data_(data),
        wholeSlots_(state.RecordLength <= kWholeSlotLimit), json_(json) {}

  void Visit(std::size_t place, const char* slot) override {
    const Long record = first_ + static_cast<Long>(place);
    if (slot) {
      fields_.FromSlot(slot);
    } else if (wholeSlots_ || !fields_.FromFile(data_, record)) {
      unreadable.push_back(record);
      return;
    }
    if (!fields_.Purged()) ++active;
    RowWriter::Cell* cell = rows_.NextRow();
    *cell++ = RowWriter::Key(record, lastWritten_);
    *cell++ = {RowWriter::Cell::Integer, fields_.Purged() ? 1 : 0};
    if (json_) {
      cell->kind = RowWriter::Cell::Text;
      Json(cell->text);
      return;
    }
    for (std::size_t i = 0; i < columns_.size(); ++i, ++cell) {
      std::string_view stored;
      if (!fields_.Field(i, stored)) {
        cell->kind = RowWriter::Cell::Null;
        continue;
      }
      const sql::FieldValue value = sql::ValueOf(columns_[i], stored);
      if (value.null) {
        cell->kind = RowWriter::Cell::Null;
      } else if (value.kind == ColumnType::Integer) {
        cell->kind = RowWriter::Cell::Integer;
        cell->integer = value.integer;
      } else if (value.kind == ColumnType::Real) {
        cell->kind = RowWriter::Cell::Real;
        cell->real = value.real;
      } else {
        cell->kind = RowWriter::Cell::Text;
        cell->text.clear();
        AppendCp1252AsUtf8(cell->text, value.text);
      }
    }
  }

  // The record's fields as one JSON object, by column name; a field the
  // record does not hold is null.
  void Json(std::string& text) {
    text = "{";
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (i > 0) text += ',';
      sql::AppendJsonString(text, columns_[i].name);
      text += ':';
      std::string_view stored;
      if (!fields_.Field(i, stored)) {
        text += "null";
        continue;
      }
      const sql::FieldValue value = sql::ValueOf(columns_[i], stored);
      if (value.null) text += "null";
      else if (value.kind == ColumnType::Integer) text += std::to_string(value.integer);
      else if (value.kind == ColumnType::Real) sql::AppendShortestReal(text, value.real);
      else sql::AppendJsonString(text, value.text);
    }
    text += '}';
  }

  Long first_ = 1;  // the record number of place 0 of the batch
  std::vector<Long> unreadable;  // the records that have no row, rising
  std::int64_t active = 0;       // rows of records not purged

 private:
  RowWriter& rows_;
  std::int64_t lastWritten_ = 0;
  sql::RecordFields fields_;
  const std::vector<FieldColumn>& columns_;
  ByteFile& data_;
  bool wholeSlots_;
  bool json_;
};

bool IspecWriter::WriteRecords(const SharedState& state, const std::string& table,
                               const std::vector<FieldColumn>& columns) {
  ByteFile data;
  if (!data.Open(state.DataPath)) {
    progress_.Clear();
    Tell("The data file " + Printable(state.DataPath) + " cannot be read: the table " + Printable(table) +
         " is left empty.");
    return false;
  }
  RowWriter rows(db_, table, json_ ? 3 : static_cast<int>(columns.size()) + 2);

  // Every whole slot of the data file is a record, read front to back in
  // large pieces.  Bytes after the last whole slot are no record.
  const std::int64_t count = WholeSlots(data, state.RecordLength);
  const Long last = static_cast<Long>(std::min<std::int64_t>(count, INT32_MAX));
  RecordBatch batch(data, state.RecordLength);
  RecordInserter inserter(rows, state, columns, data, json_);
  for (Long first = 1; first <= last;) {
    batch.Clear();
    const Long end = static_cast<Long>(std::min<std::int64_t>(last, std::int64_t{first} + kRecordsPerBatch - 1));
    for (Long record = first; record <= end; ++record) batch.Add(record);
    inserter.first_ = first;
    batch.Read(inserter);
    progress_.Show(label_, end, last, "records");
    if (end == last) break;
    first = end + 1;
  }
  rows.Finish();
  recordsHeld_ = last;
  unreadable_ = std::move(inserter.unreadable);
  activeRecords_ = inserter.active;
  dataRead_ = true;
  std::sort(unreadable_.begin(), unreadable_.end());
  if (unreadable_.empty()) return true;
  progress_.Clear();
  Tell("The table " + Printable(table) + " is incomplete: " + std::to_string(unreadable_.size()) +
       " data records could not be read.");
  return false;
}

// Whether an entry's key is its record's fields; a purged record, which may
// hold anything, or one that cannot be read is not judged.
bool EntryHoldsItsRecord(const SharedState& state, const KeyFields& keys, ByteFile& data, const StreamRow& row) {
  const KeyCase match = ComparedCase(state);
  if (row.slot) return row.slot[state.RecordLength - 1] != '\n' || keys.SlotHoldsKey(row.entry.Key, row.slot, match);
  unsigned char terminator = 0;
  if (!data.Read(std::int64_t{row.entry.Record} * state.RecordLength, &terminator, 1) || terminator != '\n')
    return true;
  return keys.RecordHoldsKey(data, row.entry.Record, row.entry.Key, match);
}

bool IspecWriter::WriteProfile(const SharedState& ispecState, const std::vector<std::string>& profiles, int position,
                               const std::string& table, const std::vector<FieldColumn>& columns) {
  const std::string profile = Cp1252ToUtf8(profiles[static_cast<std::size_t>(position)]);
  const std::string what = label_ + " via " + profile;
  SharedState state = ispecState;
  LoadingPlatform platform;
  if (!sql::ChooseProfile(state, platform, profiles, position, false).empty()) {
    progress_.Clear();
    Report(platform);
    Tell("The profile " + Printable(what) + " cannot be read and is left out.");
    return false;
  }
  // A walk that met damage leaves branches unread; what it found is still
  // written, and the profile reported.  Nothing is sought: the leaves' keys
  // are not kept.
  const WalkResult walk = BuildReferenceInformation(state, platform, false, false);

  const std::string view = ObjectName(names_, label_ + "_" + profile);
  const std::string entries = ObjectName(names_, view + "_entries");
  db_.Exec("CREATE TABLE " + QuoteIdentifier(entries) +
           "(entry_number INTEGER PRIMARY KEY, record_number INTEGER, entry_flag TEXT)");
  std::string select = "SELECT e.entry_number AS entry_number, e.record_number AS record_number, r.purged AS purged";
  select += FieldColumns(columns, "r.");
  db_.Exec("CREATE VIEW " + QuoteIdentifier(view) + " AS " + select + " FROM " + QuoteIdentifier(entries) +
           " AS e LEFT JOIN " + QuoteIdentifier(table) +
           " AS r ON r.record_number = e.record_number ORDER BY e.entry_number");

  RowWriter rows(db_, entries, 3);
  std::int64_t lastWritten = 0;
  FineProblems problems(platform);
  const Long total = state.LeafTable.empty() ? 0 : state.LeafReach.back();
  ByteFile index;
  ByteFile data;
  if (!index.Open(state.IndexPath)) problems.Other();
  if (index.IsOpen() && FindLeaf(state, 1) != 0) {
    const KeyOrder order(state);
    // Where the tree's keys are its records' fields, each entry the window
    // shows is checked against its record, as the export checks it: an
    // entry that points at another record than its key's would otherwise
    // show that record twice and hide its own.  Such an entry is left out
    // and reported.  Records are read only for this.
    if (data.Open(state.DataPath)) LearnKeyRecordCheck(state, index, data);
    const KeyFields keys(state, order);
    const bool compare = KeysCompared(state) && keys.Usable();
    RecordStream stream(state, index, data, order, problems);
    stream.Want([compare](const TreeEntry& e) { return compare && e.Flag == 'Y'; });
    stream.StartAt(1);
    StreamRow row;
    while (stream.Next(row)) {
      if (row.wanted && row.entry.Key && !EntryHoldsItsRecord(state, keys, data, row)) {
        problems.Mismatch();
        continue;
      }
      // The table is keyed by entry number, and a damaged tree can give a
      // number twice: a leaf whose used length ends inside an entry hands
      // that entry out, and the next leaf counts on from the leaf table; a
      // leaf of a negative used length sets the count back.  An entry whose
      // number does not rise past the last one written has no row.
      if (row.entry.Number <= lastWritten) {
        problems.Other();
        continue;
      }
      const char flag = static_cast<char>(row.entry.Flag);
      RowWriter::Cell* cell = rows.NextRow();
      *cell++ = RowWriter::Key(row.entry.Number, lastWritten);
      *cell++ = {RowWriter::Cell::Integer, row.entry.Record};
      if (!HasRow(row.entry.Record)) problems.Record();
      cell->kind = RowWriter::Cell::Text;
      cell->text.clear();
      AppendCp1252AsUtf8(cell->text, std::string_view(&flag, 1));
      if ((row.entry.Number & 0xFFFF) == 0) progress_.Show(what, row.entry.Number, total, "entries");
    }
  }
  rows.Finish();
  // The data file's counts are judged only when the table holds it whole.
  std::string disagreement;
  if (walk.failures == 0 && dataRead_ && unreadable_.empty() && state.RecordLength > 0) {
    RecordCounts counts;
    counts.header = state.RecordCount;
    counts.slots = recordsHeld_;
    counts.entries = state.LeafTable.empty() ? 0 : state.LeafTable.back().CumCount;
    counts.conditions = !platform.lists[ChooserList::Conditions].empty();
    disagreement = CountDisagreement(counts, [this] { return activeRecords_; });
  }
  const auto tellDisagreement = [&] {
    if (disagreement.empty()) return;
    progress_.Clear();
    Tell("The profile " + Printable(what) + " misses records: the index is older than its data file, or damaged: " +
         disagreement + ".");
  };
  if (walk.failures == 0 && !problems.Any()) {
    tellDisagreement();
    return disagreement.empty();
  }
  progress_.Clear();
  Report(platform);
  std::string text = "The profile " + Printable(what) + " is incomplete";
  if (walk.failures > 0) text += ": building the reference information met " + std::to_string(walk.failures) + " errors";
  if (problems.Any()) text += (walk.failures > 0 ? "; " : ": ") + problems.Summary();
  Tell(text + ".");
  tellDisagreement();
  return false;
}

// Ends the run unless OUT may be written: a name that is free, or, with
// --force, a regular file.  Anything else under the name (a device, a
// pipe, a symbolic link, a directory) is never replaced, whatever is
// given.  `temporary`, when given, is removed first.
void RefuseToReplace(const std::string& out, bool force, const char* temporary = nullptr) {
  const NameKind kind = KindOfName(out);
  if (kind == NameKind::Free) return;
  std::string why;
  if (kind != NameKind::RegularFile) {
    const char* what = kind == NameKind::SymbolicLink ? "a symbolic link"
                       : kind == NameKind::Directory  ? "a directory"
                       : kind == NameKind::Pipe       ? "a pipe"
                       : kind == NameKind::Device     ? "a device"
                                                      : "no regular file";
    why = "The name " + Printable(out) + " is taken by " + what + ", which is never replaced, even with --force.";
  } else if (!force)
    why = "The file " + Printable(out) + " exists already; give --force to replace it.";
  else
    return;
  if (temporary) RemoveFile(temporary);
  Fail(why);
}

}  // namespace

int SqliteMode(const Options& options) {
  const std::string& out = options.sqliteOut;
  RefuseToReplace(out, options.force);
  bool readable = false;
  std::vector<std::string> ispecs = ListIspecs(options.directory, &readable);
  if (!readable) Fail("The directory " + Printable(options.directory) + " cannot be read.");
  if (ispecs.empty()) Fail("The directory " + Printable(options.directory) + " holds no ISPEC: nothing is written.");
  std::sort(ispecs.begin(), ispecs.end());

  // The temporary file lies beside OUT.db, so that the rename at the end
  // stays within one file system and replaces OUT.db in one step.
  const std::string prefix = out + ".partial-";
  // The tail the name gets (six characters) and the NUL must fit as well.
  if (prefix.size() + 7 > sizeof temporaryPath) Fail("The name " + Printable(out) + " is too long.");
  std::string temporary;
  if (!CreateTemporaryFile(prefix, temporary))
    Fail("The file " + Printable(out) + " cannot be written: " + std::strerror(errno) + ".");
  std::memcpy(temporaryPath, temporary.c_str(), temporary.size() + 1);
  CatchEndingSignals(RemoveTemporaryAndEnd);

  bool complete = true;
  try {
    Database db(temporaryPath);
    // Written once, front to back, by one process: no journal and no syncs
    // until the end, where the file is synced before it is renamed.
    db.Exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE; "
            "PRAGMA page_size=65536; PRAGMA cache_size=-65536; BEGIN");
    sql::NameSet names;
    Progress progress;
    IspecWriter writer(db, names, progress);
    for (const std::string& ispec : ispecs) complete = writer.Write(options.directory, ispec) && complete;
    progress.Clear();
    if (writer.changed) {
      db.Close();
      RemoveFile(temporaryPath);
      ReleaseEndingSignals();
      Fail("The file " + Printable(out) + " is not written: the database changed while it was being read.");
    }
    db.Exec("COMMIT");
    db.Close();
    if (!SyncFile(temporaryPath)) throw WriteFailure{std::strerror(errno)};
    // Looked at again: the name may have been taken while the file was made.
    RefuseToReplace(out, options.force, temporaryPath);
    if (!RenameReplacing(temporaryPath, out)) throw WriteFailure{std::strerror(errno)};
  } catch (const WriteFailure& failure) {
    RemoveFile(temporaryPath);
    Fail("The file " + Printable(out) + " cannot be written: " + failure.text + ".");
  } catch (const std::exception& failure) {
    RemoveFile(temporaryPath);
    Fail("The file " + Printable(out) + " cannot be written: " + failure.what() + ".");
  }
  ReleaseEndingSignals();
  return complete ? 0 : 1;
}

}  // namespace ondrel::tool
