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
// A name already taken (SQL compares names without regard to case) gets
// "_2", "_3" and so on; a name SQLite keeps for itself ("sqlite_...") gets a
// "_" in front; every name is quoted, so any other name is kept as it is.
//
// The file is written under a temporary name beside OUT.db and renamed to it
// only when everything has been written, so a run that fails or is
// interrupted leaves no OUT.db half-written (and an existing one untouched).
// An ISPEC or profile that cannot be opened is reported and left out; one
// whose files are damaged partway keeps what could be read and is reported.
// Either way the rest is written and the exit status is 1.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

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
#include "database/RecordBatch.h"
#include "database/RecordStream.h"
#include "sql/CatchingPlatform.h"
#include "sql/ProfileSource.h"
#include "sql/RecordColumns.h"
#include "tools/export/Modes.h"
#include "tools/export/Output.h"
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
  ::unlink(temporaryPath);
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
  Progress() : terminal_(::isatty(2) == 1) {}
  void Show(const std::string& what, std::int64_t done, std::int64_t total, const char* unit) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(250)) return;
    last_ = now;
    const std::string line = "\r" + Printable(what) + ": " + std::to_string(done) + " of " + std::to_string(total) +
                             " " + unit + "\033[K";
    [[maybe_unused]] const ssize_t n = ::write(2, line.data(), line.size());
  }
  void Clear() {
    if (!terminal_) return;
    [[maybe_unused]] const ssize_t n = ::write(2, "\r\033[K", 4);
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

void Report(const sql::CatchingPlatform& platform) {
  for (const sql::Message& message : platform.messages)
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
  bool WriteProfile(const SharedState& ispecState, const std::vector<std::string>& profiles, int position,
                    const std::string& table, const std::vector<FieldColumn>& columns);

  Database& db_;
  sql::NameSet& names_;
  Progress& progress_;
  std::string label_;  // the ISPEC's name as printed
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
  SharedState state;
  sql::CatchingPlatform platform;
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
  std::string create = "CREATE TABLE " + QuoteIdentifier(table) + "(record_number INTEGER PRIMARY KEY, purged INTEGER";
  for (const FieldColumn& column : columns)
    create += ", " + QuoteIdentifier(column.name) + " " + sql::DeclaredType(column.type);
  db_.Exec(create + ")");

  bool complete = WriteRecords(state, table, columns);
  for (std::size_t i = 0; i < profiles.size(); ++i)
    complete = WriteProfile(state, profiles, static_cast<int>(i), table, columns) && complete;
  return complete;
}

// Makes one row of each record visited.
class RecordInserter : public SlotVisitor {
 public:
  RecordInserter(RowWriter& rows, const SharedState& state, const std::vector<FieldColumn>& columns, ByteFile& data)
      : rows_(rows), fields_(state, columns), columns_(columns), data_(data),
        wholeSlots_(state.RecordLength <= kWholeSlotLimit) {}

  void Visit(std::size_t place, const char* slot) override {
    const Long record = first_ + static_cast<Long>(place);
    if (slot) {
      fields_.FromSlot(slot);
    } else if (wholeSlots_ || !fields_.FromFile(data_, record)) {
      ++unreadable;
      return;
    }
    RowWriter::Cell* cell = rows_.NextRow();
    *cell++ = RowWriter::Key(record, lastWritten_);
    *cell++ = {RowWriter::Cell::Integer, fields_.Purged() ? 1 : 0};
    for (std::size_t i = 0; i < columns_.size(); ++i, ++cell) {
      std::string_view stored;
      if (!fields_.Field(i, stored)) {
        cell->kind = RowWriter::Cell::Null;
        continue;
      }
      const sql::FieldValue value = sql::ValueOf(columns_[i], stored);
      if (value.kind == ColumnType::Integer) {
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

  Long first_ = 1;  // the record number of place 0 of the batch
  std::int64_t unreadable = 0;

 private:
  RowWriter& rows_;
  std::int64_t lastWritten_ = 0;
  sql::RecordFields fields_;
  const std::vector<FieldColumn>& columns_;
  ByteFile& data_;
  bool wholeSlots_;
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
  RowWriter rows(db_, table, static_cast<int>(columns.size()) + 2);

  // Every whole slot of the data file is a record, read front to back in
  // large pieces.  Bytes after the last whole slot are no record.
  const std::int64_t count = state.RecordLength > 0 ? data.Size() / state.RecordLength : 0;
  const Long last = static_cast<Long>(std::min<std::int64_t>(count, INT32_MAX));
  RecordBatch batch(data, state.RecordLength);
  RecordInserter inserter(rows, state, columns, data);
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
  if (inserter.unreadable == 0) return true;
  progress_.Clear();
  Tell("The table " + Printable(table) + " is incomplete: " + std::to_string(inserter.unreadable) +
       " data records could not be read.");
  return false;
}

bool IspecWriter::WriteProfile(const SharedState& ispecState, const std::vector<std::string>& profiles, int position,
                               const std::string& table, const std::vector<FieldColumn>& columns) {
  const std::string profile = Cp1252ToUtf8(profiles[static_cast<std::size_t>(position)]);
  const std::string what = label_ + " via " + profile;
  SharedState state = ispecState;
  sql::CatchingPlatform platform;
  if (!sql::ChooseProfile(state, platform, profiles, position, false).empty()) {
    progress_.Clear();
    Report(platform);
    Tell("The profile " + Printable(what) + " cannot be read and is left out.");
    return false;
  }
  // A walk that met damage leaves branches unread; what it found is still
  // written, and the profile reported.
  const WalkResult walk = BuildReferenceInformation(state, platform);

  const std::string view = ObjectName(names_, label_ + "_" + profile);
  const std::string entries = ObjectName(names_, view + "_entries");
  db_.Exec("CREATE TABLE " + QuoteIdentifier(entries) +
           "(entry_number INTEGER PRIMARY KEY, record_number INTEGER, entry_flag TEXT)");
  std::string select = "SELECT e.entry_number AS entry_number, e.record_number AS record_number, r.purged AS purged";
  for (const FieldColumn& column : columns) select += ", r." + QuoteIdentifier(column.name);
  db_.Exec("CREATE VIEW " + QuoteIdentifier(view) + " AS " + select + " FROM " + QuoteIdentifier(entries) +
           " AS e LEFT JOIN " + QuoteIdentifier(table) +
           " AS r ON r.record_number = e.record_number ORDER BY e.entry_number");

  RowWriter rows(db_, entries, 3);
  std::int64_t lastWritten = 0;
  FineProblems problems(platform);
  const Long total = state.LeafTable.empty() ? 0 : state.LeafReach.back();
  ByteFile index;
  ByteFile data;  // not opened: no record is read for the key order
  if (!index.Open(state.IndexPath)) problems.Other();
  if (index.IsOpen() && FindLeaf(state, 1) != 0) {
    const KeyOrder order(state);
    RecordStream stream(state, index, data, order, problems);
    stream.Want([](const TreeEntry&) { return false; });
    stream.StartAt(1);
    StreamRow row;
    while (stream.Next(row)) {
      const char flag = static_cast<char>(row.entry.Flag);
      RowWriter::Cell* cell = rows.NextRow();
      *cell++ = RowWriter::Key(row.entry.Number, lastWritten);
      *cell++ = {RowWriter::Cell::Integer, row.entry.Record};
      cell->kind = RowWriter::Cell::Text;
      cell->text.clear();
      AppendCp1252AsUtf8(cell->text, std::string_view(&flag, 1));
      if ((row.entry.Number & 0xFFFF) == 0) progress_.Show(what, row.entry.Number, total, "entries");
    }
  }
  rows.Finish();
  if (walk.failures == 0 && !problems.Any()) return true;
  progress_.Clear();
  Report(platform);
  std::string text = "The profile " + Printable(what) + " is incomplete";
  if (walk.failures > 0) text += ": building the reference information met " + std::to_string(walk.failures) + " errors";
  if (problems.Any()) text += (walk.failures > 0 ? "; " : ": ") + problems.Summary();
  Tell(text + ".");
  return false;
}

}  // namespace

int SqliteMode(const Options& options) {
  const std::string& out = options.sqliteOut;
  struct stat st {};
  if (::lstat(out.c_str(), &st) == 0 && !options.force)
    Fail("The file " + Printable(out) + " exists already; give --force to replace it.");
  bool readable = false;
  std::vector<std::string> ispecs = ListIspecs(options.directory, &readable);
  if (!readable) Fail("The directory " + Printable(options.directory) + " cannot be read.");
  std::sort(ispecs.begin(), ispecs.end());

  // The temporary file lies beside OUT.db, so that the rename at the end
  // stays within one file system and replaces OUT.db in one step.
  const std::string pattern = out + ".partial-XXXXXX";
  if (pattern.size() >= sizeof temporaryPath) Fail("The name " + Printable(out) + " is too long.");
  std::memcpy(temporaryPath, pattern.c_str(), pattern.size() + 1);
  const int fd = ::mkstemp(temporaryPath);
  if (fd < 0) Fail("The file " + Printable(out) + " cannot be written: " + std::strerror(errno) + ".");
  // The file gets the mode any new file of the user would get.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, RemoveTemporaryAndEnd);

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
      ::unlink(temporaryPath);
      for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_DFL);
      Fail("The file " + Printable(out) + " is not written: the database changed while it was being read.");
    }
    db.Exec("COMMIT");
    db.Close();
    const int file = ::open(temporaryPath, O_RDONLY);
    if (file < 0 || ::fsync(file) != 0) throw WriteFailure{std::strerror(errno)};
    ::close(file);
    if (::rename(temporaryPath, out.c_str()) != 0) throw WriteFailure{std::strerror(errno)};
  } catch (const WriteFailure& failure) {
    ::unlink(temporaryPath);
    Fail("The file " + Printable(out) + " cannot be written: " + failure.text + ".");
  } catch (const std::exception& failure) {
    ::unlink(temporaryPath);
    Fail("The file " + Printable(out) + " cannot be written: " + failure.what() + ".");
  }
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, SIG_DFL);
  return complete ? 0 : 1;
}

}  // namespace ondrel::tool
