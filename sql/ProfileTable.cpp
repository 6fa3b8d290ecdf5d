// The records of one profile of an ISPEC, in the profile's key order, as an
// SQL table: the virtual table "ondrel".  Nothing is copied and nothing is
// ever written; the files are read as the record window reads them.
//
// Two forms:
//
//   -- A named table: one column per field, named as in the definition.
//   CREATE VIRTUAL TABLE temp.customer USING ondrel('/srv/db', 'CUSTOMER', 'BYNAME');
//   SELECT NAME, CITY, BALANCE FROM customer WHERE CITY = 'Leeds' AND BALANCE < 0;
//   SELECT * FROM customer LIMIT 21 OFFSET 99980;           -- starts at entry 99981
//   SELECT entry_number, record_number, purged, NAME FROM customer WHERE purged;
//   -- SQLite indexes no virtual table: a join on a field that is no key
//   -- reads the inner table once per row, unless it is materialized once.
//   WITH c AS MATERIALIZED (SELECT CUSTNO, NAME FROM customer)
//   SELECT c.NAME, o.AMOUNT FROM orders o JOIN c ON c.CUSTNO = o.CUSTNO;
//
//   -- A table-valued function: the same rows, the fields as one JSON object.
//   -- It may be called only by a statement run directly, not from a view or
//   -- a trigger.
//   SELECT entry_number, fields->>'NAME' FROM ondrel('/srv/db', 'CUSTOMER', 'BYNAME');
//
// How it works.  The named table's schema is made from the definition when
// the table is created or connected:
//
//   CREATE TABLE x("CUSTNO" INTEGER, "NAME" TEXT, ..., "BALANCE" REAL,
//                  "[REGION]" TEXT HIDDEN,          -- hidden fields stay hidden
//                  entry_number INTEGER HIDDEN,     -- the viewer's entry number
//                  record_number INTEGER HIDDEN,    -- the data record it points at
//                  purged INTEGER HIDDEN,           -- 1: the record is purged
//                  stored_key BLOB HIDDEN,          -- the key bytes as stored
//                  entry_flag TEXT HIDDEN,          -- "Y": the viewer may show it
//                  shown INTEGER HIDDEN)            -- 1: the viewer shows it
//
// `shown` is 1 for an entry flagged "Y" whose record is not purged: the
// entries the record window and the CSV export list, so that
// "SELECT count(*) ... WHERE shown" counts what the viewer shows.  A field
// whose name is taken already (by another field, or by one of the six
// columns after the fields, which keep their names) gets "_2".  The
// table-valued function cannot have a column per field, because SQLite fixes
// its columns before it sees its arguments; its schema is
//
//   CREATE TABLE x(entry_number INTEGER, record_number INTEGER, purged INTEGER,
//                  fields TEXT,                     -- JSON: every field by name
//                  stored_key BLOB, entry_flag TEXT, shown INTEGER,
//                  dir HIDDEN, ispec HIDDEN, profile HIDDEN)   -- the arguments
//
// Every entry of the tree is a row, the ones the record window leaves out
// (flag other than "Y") and purged records included: SQL is where one looks
// for lost data, and with every entry a row, entry_number, OFFSET and the
// viewer's "Record n" all count the same way.  Values are typed as
// RecordColumns.h says.  The rowid is the entry number.
//
// The reference information (the leaf table) is built by the first scan and
// kept by the table with the identities of the four files (FileIdentity.h);
// a later scan reuses it while no file has changed, as the viewer reuses it for every window.  Each
// scan opens the index and data files itself and closes them when it ends or
// is reset; entries come through RecordStream, so a profile whose order
// scatters the records is read in record-number order, batch by batch.
//
// Errors.  A file set that cannot be opened, a missing definition, a
// damaged tree or anything the scan cannot read makes the statement fail
// with the message the viewer would show: SQLITE_CANTOPEN when a file is
// missing or refused (a file the system will not open now is named, with
// the reason), SQLITE_CORRUPT_VTAB for damage, SQLITE_ERROR for the rest
// (missing arguments, a profile that is not there).  A stored table whose
// files cannot be read when a connection first meets it is connected
// without its fields, so that it can be dropped, and every scan of it fails
// until the database is opened again.  Damage is seen batch by batch: the
// statement fails when the batch that holds it is read, so no row from
// that batch on is returned, and the rows returned before it (all read
// before the damage, and sound) stand, since SQLite cannot take them back.
// A scan looks at the files' identities at its first row, every 1024 rows
// and at its end: when any file changed since the reference information was
// built, the statement fails with SQLITE_ABORT and a message saying so,
// since its rows may mix two states of the files.
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT3

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <optional>
#include <string>
#include <vector>

#include "database/ByteFile.h"
#include "database/DataRecord.h"
#include "database/FileIdentity.h"
#include "database/FineProblems.h"
#include "database/IndexWalk.h"
#include "database/KeyOrder.h"
#include "database/KeyRecord.h"
#include "database/KeySeek.h"
#include "database/LoadingPlatform.h"
#include "database/RecordStream.h"
#include "sql/Modules.h"
#include "sql/ProfileSource.h"
#include "sql/RecordColumns.h"
#include "sql/SqlText.h"
#include "viewer/Cp1252.h"

namespace ondrel::sql {
namespace {

constexpr std::int64_t kNoBound = std::numeric_limits<std::int64_t>::max();
// Memory one scan may hold for its batches: the export's.  A scattered
// profile is read in one pass over the data file per batch, so a smaller
// budget costs passes (with a quarter of it, a scan of BYNAME's 10M entries
// took 1.5 to 1.8 times as long).  The first batches are small, so a query that wants a page
// holds little; a join holds one budget per table scanned whole.
constexpr std::size_t kSqlScanBudget = kScanBudget;
// Rows of a scan between two looks at the files' identities (the first row
// and the end of a scan are looked at too).
constexpr std::int64_t kRowsBetweenChecks = 1024;

// What each column of a table holds.
enum class Role { Field, EntryNumber, RecordNumber, Purged, StoredKey, EntryFlag, Shown, FieldsJson, Dir, Ispec, Profile };

// An ISPEC and profile chosen, walked and with the definition loaded: what
// every scan of the profile starts from, until one of its files changes.
struct Prepared {
  SharedState state;
  std::vector<FieldColumn> columns;
  std::string dir, ispec, profile;
};

struct ProfileTable {
  sqlite3_vtab base{};
  bool named = false;  // CREATE VIRTUAL TABLE: the arguments are fixed
  std::string dir, ispec, profile;
  std::vector<FieldColumn> columns;  // the named form's fields
  std::vector<Role> roles;           // per declared column
  int leading = -1;  // the column the key seek serves (LeadingColumn), or -1
  int leadingLength = 0;  // its key part's length
  std::shared_ptr<const Prepared> prepared;
  // A stored table whose files could not be read when it was connected: it
  // has no field columns, every scan fails with this message and code, and
  // it can still be dropped.
  std::string broken;
  int brokenCode = SQLITE_OK;
};

void SetError(sqlite3_vtab* table, const std::string& text) {
  sqlite3_free(table->zErrMsg);
  table->zErrMsg = sqlite3_mprintf("%s", MessageText(text).c_str());
}

// Runs one method of the module: no exception may cross into SQLite, which
// is C.  Running out of memory is SQLITE_NOMEM; anything else an error.
template <typename Body>
int Guarded(sqlite3_vtab* table, Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  } catch (const std::exception& error) {
    if (table) SetError(table, error.what());
    return SQLITE_ERROR;
  }
}

// One scan: the files, the stream and the row on hand.
class Scan {
 public:
  // `from` and `to`, when not empty, are prefixes of the leading ordinate
  // (SeekPrefix): the scan starts at the first key at or after `from` and
  // ends before the first key after `to`.
  Scan(std::shared_ptr<const Prepared> prepared, bool records, std::int64_t first, std::int64_t last,
       const std::string& from, const std::string& to)
      : prepared_(std::move(prepared)), state_(prepared_->state), order_(state_), keys_(state_, order_),
        compare_(state_.KeyRecords == KeyRecordCheck::Yes && keys_.Usable()), problems_(platform_),
        stream_(state_, index_, data_, order_, problems_, kSqlScanBudget), fields_(state_, prepared_->columns),
        records_(records), first_(first), last_(last) {
    errno = 0;
    if (!index_.Open(state_.IndexPath)) Refused(state_.IndexPath);
    errno = 0;
    if (records_ && !data_.Open(state_.DataPath)) Refused(state_.DataPath);
    // The seek starts from a field's value, so it serves only a tree whose
    // keys were seen to be their records' bytes; keys made otherwise (folded
    // to capitals) sort differently, and the whole profile is read instead.
    // A seek that is refused (a tree out of order) only loses the shortcut:
    // the scan then starts at the first entry and meets the damage itself.
    const bool seek = state_.KeyRecords == KeyRecordCheck::Yes;
    if (seek && !from.empty() && index_.IsOpen()) {
      const SeekResult seek = SeekKey(state_, index_, {from});
      if (seek.outcome == SeekOutcome::Found) first_ = std::max<std::int64_t>(first_, seek.entry);
      if (seek.outcome == SeekOutcome::PastTheEnd) last_ = 0;
    }
    std::string why;
    if (seek && !to.empty() && index_.IsOpen()) stopAfter_ = PrepareTypedKey(state_, order_, index_, {to}, to_, why);
    stream_.Want([this](const TreeEntry& e) { return records_ && e.Number >= first_ && e.Number <= last_; });
    const Long leaf = last_ < first_ ? 0 : FindLeaf(state_, static_cast<double>(first_));
    if (leaf == 0 || !index_.IsOpen()) {
      ended_ = true;
      return;
    }
    stream_.StartAt(leaf);
  }

  // The next row; false on a problem, whose message Error() gives.
  bool Advance() {
    if (!ended_ && rows_++ % kRowsBetweenChecks == 0 && Changed()) return false;
    while (!ended_) {
      if (!stream_.Next(row_)) {
        ended_ = true;
        break;
      }
      if (problems_.Any()) return false;
      const std::int64_t number = row_.entry.Number;
      if (number < first_) continue;
      if (number > last_ || (stopAfter_ && row_.entry.Key &&
                             CompareTyped(order_, to_, row_.entry.Key) == KeyComparison::After)) {
        ended_ = true;
        break;
      }
      if (records_) {
        if (row_.slot) {
          fields_.FromSlot(row_.slot);
        } else if (state_.RecordLength <= kWholeSlotLimit || !fields_.FromFile(data_, row_.entry.Record)) {
          problems_.Record();  // the record lies outside the data file
          return false;
        }
        // A key that is not its record's fields points at a record it was
        // not made from (a leaf of another tree met during a rewrite): the
        // row would be wrong without a word.  Checked as the export checks,
        // on entries the window shows whose records are active.
        if (compare_ && row_.entry.Flag == 'Y' && !fields_.Purged() && row_.entry.Key &&
            !(row_.slot ? keys_.SlotHoldsKey(row_.entry.Key, row_.slot)
                        : keys_.RecordHoldsKey(data_, row_.entry.Record, row_.entry.Key))) {
          problems_.Mismatch();
          return false;
        }
      }
      return true;
    }
    // The end of the tree, or of the run asked for, closes the files.
    index_.Close();
    data_.Close();
    return !problems_.Any() && !Changed();
  }

  bool Ended() const { return ended_; }
  // Whether the files are no longer those the scan started from: the rows
  // given may mix two states of them.
  bool Changed() {
    if (!changed_) changed_ = FilesChanged(state_) || LooksHalfWritten(state_);
    return changed_;
  }
  std::string Error() const {
    if (changed_) return ChangedFilesText(prepared_->ispec);
    if (!refused_.empty()) return refused_;
    const std::string message = platform_.FirstMessage();
    return message.empty() ? std::string("The profile cannot be read.") : message;
  }
  int ErrorCode() const {
    if (changed_) return SQLITE_ABORT;
    return refused_.empty() ? SQLITE_CORRUPT_VTAB : SQLITE_CANTOPEN;
  }
  const StreamRow& Row() const { return row_; }
  RecordFields& Fields() { return fields_; }
  const Prepared& Source() const { return *prepared_; }

 private:
  // A file of the set that the system would not open now (too many open
  // files, say): no damage, and told as what it is.
  void Refused(const std::string& path) {
    const int error = errno;
    if (refused_.empty())
      refused_ = "The file " + path + " could not be opened: " +
                 (error != 0 ? std::string(std::strerror(error)) : std::string("it is no regular file")) + ".";
    problems_.Other();
  }

  std::shared_ptr<const Prepared> prepared_;
  const SharedState& state_;
  LoadingPlatform platform_;
  ByteFile index_;
  ByteFile data_;
  KeyOrder order_;
  KeyFields keys_;
  bool compare_;
  FineProblems problems_;
  RecordStream stream_;
  RecordFields fields_;
  bool records_;
  std::int64_t first_;
  std::int64_t last_;
  bool ended_ = false;
  bool stopAfter_ = false;
  TypedKey to_;
  StreamRow row_;
  std::int64_t rows_ = 0;
  bool changed_ = false;
  std::string refused_;
};

struct ProfileCursor {
  sqlite3_vtab_cursor base{};
  std::unique_ptr<Scan> scan;
  std::string dir, ispec, profile;  // the arguments of this scan
  std::string text;                 // scratch for a text value
};

// The columns of the named form after its fields, and of the function form.
constexpr const char* kEntryColumns[] = {"entry_number", "record_number", "purged",
                                         "stored_key",   "entry_flag",    "shown"};

std::string NamedSchema(ProfileTable& table) {
  std::string schema = "CREATE TABLE x(";
  for (const FieldColumn& column : table.columns) {
    schema += QuoteIdentifier(column.name) + " " + DeclaredType(column.type) + (column.hidden ? " HIDDEN" : "") + ", ";
    table.roles.push_back(Role::Field);
  }
  schema +=
      "entry_number INTEGER HIDDEN, record_number INTEGER HIDDEN, purged INTEGER HIDDEN, "
      "stored_key BLOB HIDDEN, entry_flag TEXT HIDDEN, shown INTEGER HIDDEN)";
  for (Role role : {Role::EntryNumber, Role::RecordNumber, Role::Purged, Role::StoredKey, Role::EntryFlag, Role::Shown})
    table.roles.push_back(role);
  return schema;
}

// The column whose constraints can start and end a scan through the key
// seek: the leading ordinate, when it is an ascending text field (A, D or
// another code that is no number).
//
// SQL compares the column's values (UTF-8, trailing blanks removed); the
// tree compares the stored bytes (Windows-1252, blank-padded).  The two
// orders disagree on bytes below the blank and on the bytes from 0x80 up, so
// the seek is given only a prefix of the constraint's text on which they
// agree (SeekPrefix), and SQLite still tests every constraint itself.
//
// Not served, and scanned in full instead:
// - numeric ("N") fields: a number's value does not follow its bytes
//   ("  -12" and "000012", zeros or blanks in front, other widths), and a
//   stored text that is no number is TEXT, which SQL sorts after every
//   number, so rows that pass "> 5" can lie anywhere in the tree;
// - descending ordinates: their order runs against SQL's.
int LeadingColumn(const SharedState& state, const std::vector<FieldColumn>& columns) {
  const KeyOrder order(state);
  if (!order.Judged() || order.Parts().empty()) return -1;
  const KeyPartOrder& part = order.Parts().front();
  const int column = part.field - 1;
  if (part.descending || column < 0 || static_cast<std::size_t>(column) >= columns.size() ||
      columns[static_cast<std::size_t>(column)].type != ColumnType::Text)
    return -1;
  return column;
}

// The part of a constraint's text the seek can use: its characters up to the
// first one outside "!" to "~" (a blank, a control character, anything
// beyond ASCII), at most as long as the key part.
//
// Why that is safe: on those characters the UTF-8 of a value and its stored
// bytes are the same bytes.  Take p such a prefix of v.  A value x >= v in
// SQL either begins with p, and its stored key then begins with p, or first
// differs from p at a character above p's, which in the stored key is the
// same byte or a byte from 0x80 up: in both cases the key is at or after p.
// So no entry before the first key at or after p can pass "x >= v" (nor
// "x > v", nor "x = v").  The same argument turned round: a key whose first
// |p| bytes come after p holds a value above every text that begins with p,
// so once keys pass p (taken from the upper bound), no later row can pass
// "x <= v", "x < v" or "x = v".  Both lean on the index keys holding the
// records' bytes, which is learnt from the tree when it is prepared
// (KeyRecord.h): the plan may name the seek, the scan takes it only then.
std::string SeekPrefix(sqlite3_value* value, int partLength) {
  if (sqlite3_value_type(value) != SQLITE_TEXT) return "";  // a number compares as text only after affinity
  const unsigned char* text = sqlite3_value_text(value);
  std::string prefix;
  for (; text && *text >= '!' && *text <= '~' && static_cast<int>(prefix.size()) < partLength; ++text)
    prefix += static_cast<char>(*text);
  return prefix;
}

// The three arguments are its last columns: SQLite gives a function's
// arguments to its hidden columns in order, so a hidden column after them
// would take a fourth argument as a filter instead of refusing it.
constexpr const char* kFunctionSchema =
    "CREATE TABLE x(entry_number INTEGER, record_number INTEGER, purged INTEGER, fields TEXT, "
    "stored_key BLOB, entry_flag TEXT, shown INTEGER, dir HIDDEN, ispec HIDDEN, profile HIDDEN)";

constexpr const char* kUsage =
    "ondrel needs three arguments: the database directory, the ISPEC and the profile, none of them empty";

// Whether SQLite is running a CREATE statement of `db` now: a table is then
// being made, not connected again from its stored schema.
bool Creating(sqlite3* db) {
  for (sqlite3_stmt* statement = sqlite3_next_stmt(db, nullptr); statement;
       statement = sqlite3_next_stmt(db, statement)) {
    if (!sqlite3_stmt_busy(statement)) continue;
    const char* text = sqlite3_sql(statement);
    // Blanks and comments before the first word are skipped.
    while (text && *text) {
      if (std::isspace(static_cast<unsigned char>(*text))) {
        ++text;
      } else if (text[0] == '-' && text[1] == '-') {
        text = std::strchr(text, '\n');
      } else if (text[0] == '/' && text[1] == '*') {
        const char* end = std::strstr(text + 2, "*/");
        text = end ? end + 2 : nullptr;
      } else {
        break;
      }
    }
    if (text && sqlite3_strnicmp(text, "CREATE", 6) == 0) return true;
  }
  return false;
}

int ConnectTable(sqlite3* db, int argc, const char* const* argv, sqlite3_vtab** out, char** error) {
  auto table = std::make_unique<ProfileTable>();
  std::string schema;
  // The table-valued function is the module's own table, named as the
  // module; any other table without arguments was made by a CREATE that
  // forgot them.
  if (argc == 3 && std::strcmp(argv[0], argv[2]) == 0) {
    schema = kFunctionSchema;
    table->roles = {Role::EntryNumber, Role::RecordNumber, Role::Purged, Role::FieldsJson, Role::StoredKey,
                    Role::EntryFlag,   Role::Shown,        Role::Dir,    Role::Ispec,      Role::Profile};
  } else if (argc == 6) {
    table->named = true;
    table->dir = Unquote(argv[3]);
    table->ispec = Unquote(argv[4]);
    table->profile = Unquote(argv[5]);
    if (table->dir.empty() || table->ispec.empty() || table->profile.empty()) {
      *error = sqlite3_mprintf("%s", kUsage);
      return SQLITE_ERROR;
    }
    // The definition gives the columns; the profile is chosen now so that a
    // wrong name fails here rather than at the first query.
    SharedState state;
    LoadingPlatform platform;
    std::vector<std::string> profiles;
    Failure kind = Failure::None;
    std::string problem = OpenIspec(state, platform, table->dir, table->ispec, profiles, &kind);
    const int position = ProfilePosition(profiles, table->profile);
    if (problem.empty() && position < 0) {
      problem = "The ISPEC " + table->ispec + " has no profile " + table->profile + ".";
      kind = Failure::Other;
    }
    if (problem.empty()) problem = ChooseProfile(state, platform, profiles, position, false, &kind);
    if (!problem.empty() && Creating(db)) {
      *error = sqlite3_mprintf("%s", MessageText(problem).c_str());
      return ResultCode(kind);
    }
    if (!problem.empty()) {
      // A stored table whose files are gone or damaged: connected without
      // its fields, so that it can be dropped; every scan tells why.
      table->broken = problem;
      table->brokenCode = ResultCode(kind);
      schema = "CREATE TABLE x(entry_number INTEGER, record_number INTEGER, purged INTEGER, stored_key BLOB, "
               "entry_flag TEXT)";
      table->roles = {Role::EntryNumber, Role::RecordNumber, Role::Purged, Role::StoredKey, Role::EntryFlag};
    } else {
      NameSet names;
      for (const char* name : kEntryColumns) names.Take(name);
      table->columns = RecordColumns(state, names);
      table->leading = LeadingColumn(state, table->columns);
      if (table->leading >= 0) table->leadingLength = KeyOrder(state).Parts().front().length;
      schema = NamedSchema(*table);
    }
  } else {
    *error = sqlite3_mprintf("%s", kUsage);
    return SQLITE_ERROR;
  }
  int rc = sqlite3_declare_vtab(db, schema.c_str());
  // The table-valued function reads whatever directory its arguments name:
  // it is direct-only, so that no view or trigger of a database file
  // someone else wrote can point it at the user's folders.  A named table
  // reads the files it was created for, and is used as any table is.
  if (rc == SQLITE_OK && !table->named) rc = sqlite3_vtab_config(db, SQLITE_VTAB_DIRECTONLY);
  if (rc != SQLITE_OK) {
    *error = sqlite3_mprintf("%s", sqlite3_errmsg(db));
    return rc;
  }
  *out = &table.release()->base;
  return SQLITE_OK;
}

int Connect(sqlite3* db, void*, int argc, const char* const* argv, sqlite3_vtab** out, char** error) {
  try {
    return ConnectTable(db, argc, argv, out, error);
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  } catch (const std::exception& problem) {
    *error = sqlite3_mprintf("%s", MessageText(problem.what()).c_str());
    return SQLITE_ERROR;
  }
}

int Disconnect(sqlite3_vtab* vtab) {
  delete reinterpret_cast<ProfileTable*>(vtab);
  return SQLITE_OK;
}

// The plan travels to Filter in idxStr, one letter per argument in argv
// order, and in idxNum, whose bit 0 says whether records are read at all:
//
//   D I P   the function's dir, ispec and profile (equality only, exact)
//   = > ] < [   entry_number (or rowid) =, >, >=, <, <=
//   O M     OFFSET and LIMIT
//   l u e   the leading ordinate's lower bound (>, >=), upper bound (<, <=)
//           or both (=), used through the key seek and tested by SQLite too
constexpr int kReadRecords = 1;

bool IsEntryColumn(const ProfileTable& table, int column) {
  return column == -1 || (column >= 0 && table.roles[static_cast<std::size_t>(column)] == Role::EntryNumber);
}

int BestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info) {
  const ProfileTable& table = *reinterpret_cast<ProfileTable*>(vtab);
  std::string plan;
  int argument = 0;
  bool arguments[3] = {false, false, false};
  bool allConsumed = true;  // every constraint is handled here, exactly
  bool equality = false;
  int bounds = 0;
  int keyBounds = 0;  // constraints on the leading ordinate given to the seek
  int offsetAt = -1, limitAt = -1;

  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    const int op = c.op;
    // LIMIT and OFFSET come unusable when SQLite plans an IN as one scan per
    // value: each scan then holds only part of the result, and SQLite counts
    // the rows itself.
    if (op == SQLITE_INDEX_CONSTRAINT_LIMIT) {
      if (c.usable) limitAt = i;
      continue;
    }
    if (op == SQLITE_INDEX_CONSTRAINT_OFFSET) {
      if (c.usable) offsetAt = i;
      continue;
    }
    const Role role = c.iColumn >= 0 ? table.roles[static_cast<std::size_t>(c.iColumn)] : Role::EntryNumber;
    if (role == Role::Dir || role == Role::Ispec || role == Role::Profile) {
      // The function's arguments: without all three there is no plan.
      if (op != SQLITE_INDEX_CONSTRAINT_EQ) {
        allConsumed = false;
        continue;
      }
      if (!c.usable) return SQLITE_CONSTRAINT;
      const int which = role == Role::Dir ? 0 : role == Role::Ispec ? 1 : 2;
      if (arguments[which]) continue;  // given twice: SQLite tests the second
      arguments[which] = true;
      info->aConstraintUsage[i].argvIndex = ++argument;
      info->aConstraintUsage[i].omit = 1;
      plan += "DIP"[which];
      continue;
    }
    // entry_number: its rows are a run of entry numbers, found in the leaf
    // table in O(log n) and read from there.  The bounds are exact, so
    // SQLite need not test them again.
    if (IsEntryColumn(table, c.iColumn) && c.usable) {
      char letter = 0;
      switch (op) {
        case SQLITE_INDEX_CONSTRAINT_EQ: letter = '='; equality = true; break;
        case SQLITE_INDEX_CONSTRAINT_GT: letter = '>'; break;
        case SQLITE_INDEX_CONSTRAINT_GE: letter = ']'; break;
        case SQLITE_INDEX_CONSTRAINT_LT: letter = '<'; break;
        case SQLITE_INDEX_CONSTRAINT_LE: letter = '['; break;
        default: break;
      }
      if (letter) {
        ++bounds;
        info->aConstraintUsage[i].argvIndex = ++argument;
        info->aConstraintUsage[i].omit = 1;
        plan += letter;
        continue;
      }
    }
    // The leading ordinate: a start and an end found by the key seek in
    // O(log n) node reads.  Only for text compared byte by byte (a
    // collation such as NOCASE orders otherwise), and never omitted: the
    // seek only narrows what is read, SQLite decides what passes.
    if (c.iColumn >= 0 && c.iColumn == table.leading && c.usable &&
        std::strcmp(sqlite3_vtab_collation(info, i), "BINARY") == 0) {
      const char letter = op == SQLITE_INDEX_CONSTRAINT_EQ                                   ? 'e'
                          : op == SQLITE_INDEX_CONSTRAINT_GT || op == SQLITE_INDEX_CONSTRAINT_GE ? 'l'
                          : op == SQLITE_INDEX_CONSTRAINT_LT || op == SQLITE_INDEX_CONSTRAINT_LE ? 'u'
                                                                                                 : 0;
      if (letter) {
        ++keyBounds;
        if (letter == 'e') ++keyBounds;
        info->aConstraintUsage[i].argvIndex = ++argument;
        plan += letter;
      }
    }
    allConsumed = false;
  }
  if (!table.named && !(arguments[0] && arguments[1] && arguments[2])) return SQLITE_CONSTRAINT;

  // Rows come in key order, which is entry-number order.
  bool ordered = true;
  for (int i = 0; i < info->nOrderBy; ++i)
    if (!IsEntryColumn(table, info->aOrderBy[i].iColumn) || info->aOrderBy[i].desc) ordered = false;
  if (info->nOrderBy > 0 && ordered) info->orderByConsumed = 1;

  // OFFSET and LIMIT are taken only when the rows this scan returns are the
  // rows of the result, in its order: every other constraint handled here
  // and no ORDER BY left for SQLite to sort by.  OFFSET then becomes a start
  // entry found in O(log n), not rows read and dropped.
  if (allConsumed && ordered) {
    if (offsetAt >= 0) {
      info->aConstraintUsage[offsetAt].argvIndex = ++argument;
      info->aConstraintUsage[offsetAt].omit = 1;
      plan += 'O';
    }
    if (limitAt >= 0) {
      info->aConstraintUsage[limitAt].argvIndex = ++argument;
      info->aConstraintUsage[limitAt].omit = 1;
      plan += 'M';
    }
  }

  // Records are read only when a column needs them: a count, or a list of
  // entry and record numbers, reads the leaves alone.
  bool records = false;
  for (std::size_t column = 0; column < table.roles.size(); ++column) {
    const Role role = table.roles[column];
    if (role != Role::Field && role != Role::Purged && role != Role::Shown && role != Role::FieldsJson) continue;
    if (column >= 63 ? (info->colUsed & (1ULL << 63)) != 0 : (info->colUsed & (1ULL << column)) != 0) records = true;
  }
  info->idxNum = records ? kReadRecords : 0;
  info->idxStr = sqlite3_mprintf("%s", plan.c_str());
  info->needToFreeIdxStr = 1;

  // Costs, in entries read.  A whole profile is taken as a million entries
  // (its size is not known before the first scan); equality on the entry
  // number reads one leaf; a range or a LIMIT reads a part.
  double rows = 1e6;
  if (equality) {
    rows = 1;
    info->idxFlags |= SQLITE_INDEX_SCAN_UNIQUE;
  } else if (bounds > 0) {
    rows = bounds >= 2 ? 1e3 : 2.5e5;
  }
  // A seek on the leading ordinate: one bound leaves a part of the profile,
  // two (or an equality) a small run.
  if (keyBounds > 0) rows = std::min(rows, keyBounds >= 2 ? 50.0 : 2.5e5);
  if (plan.find('M') != std::string::npos) rows = std::min(rows, 100.0);
  info->estimatedRows = static_cast<sqlite3_int64>(rows);
  info->estimatedCost = rows * (records ? 4.0 : 1.0) + 20;
  return SQLITE_OK;
}

int Open(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
  auto* cursor = new ProfileCursor();
  *out = &cursor->base;
  return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* base) {
  delete reinterpret_cast<ProfileCursor*>(base);
  return SQLITE_OK;
}

// The prepared profile for these arguments: the table's own while its files
// are as they were, else a new one, kept for the next scan.
std::shared_ptr<const Prepared> PreparedFor(ProfileTable& table, const std::string& dir, const std::string& ispec,
                                            const std::string& profile, std::string& problem, Failure& kind) {
  const std::shared_ptr<const Prepared> kept = table.prepared;
  if (kept && kept->dir == dir && kept->ispec == ispec && kept->profile == profile && !FilesChanged(kept->state))
    return kept;

  auto prepared = std::make_shared<Prepared>();
  prepared->dir = dir;
  prepared->ispec = ispec;
  prepared->profile = profile;
  SharedState& state = prepared->state;
  // The files are read again when any of them changed while they were read:
  // the walk, the definition and the sample must come from one state.
  SetIdentity identity;
  const bool settled = ReadUnchanged(PathsOf(dir, IspecFileName(dir, ispec)), identity, [&] {
    state = SharedState{};
    LoadingPlatform platform;
    std::vector<std::string> profiles;
    problem = OpenIspec(state, platform, dir, ispec, profiles, &kind);
    if (!problem.empty()) return;
    const int position = ProfilePosition(profiles, profile);
    if (position < 0) {
      problem = "The ISPEC " + ispec + " has no profile " + profile + ".";
      kind = Failure::Other;
      return;
    }
    problem = ChooseProfile(state, platform, profiles, position, true, &kind);
    if (!problem.empty()) return;
    // Whether this tree's keys are its records' fields, learnt once from a
    // sample, as the export learns it: the scans then check every record
    // they read against its key.
    ByteFile index(state.IndexPath);
    ByteFile data(state.DataPath);
    if (index.IsOpen() && data.IsOpen()) LearnKeyRecordCheck(state, index, data);
  });
  if (!settled) {
    problem = "The files of " + ispec + " kept changing on disk while they were being opened.";
    kind = Failure::Other;
  }
  if (!problem.empty()) return nullptr;
  state.FilesRead = identity;
  state.FilesKnown = true;
  NameSet names;
  prepared->columns = RecordColumns(state, names);
  if (table.named) {
    // The named table's columns were fixed from the definition when it was
    // made; a definition changed since then would put values under the
    // wrong names.
    bool same = prepared->columns.size() == table.columns.size();
    for (std::size_t i = 0; same && i < table.columns.size(); ++i)
      same = prepared->columns[i].width == table.columns[i].width && prepared->columns[i].type == table.columns[i].type;
    if (!same) {
      problem = "The definition of " + ispec + " has changed since this table was made: drop the table and create it again.";
      kind = Failure::Other;
      return nullptr;
    }
    prepared->columns = table.columns;
  }
  table.prepared = prepared;
  return prepared;
}

std::string ArgumentText(sqlite3_value* value) {
  const unsigned char* text = sqlite3_value_text(value);
  return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_value_bytes(value)))
              : std::string();
}

// Narrows [first, last] by one comparison of the entry number with a value,
// as SQL would compare an INTEGER column with it: a number by its value
// (a real one rounded the right way), NULL matching nothing, and text or a
// blob, which sort after every number, matching all or nothing.
void Narrow(char op, sqlite3_value* value, std::int64_t& first, std::int64_t& last) {
  const int type = sqlite3_value_numeric_type(value);
  if (type == SQLITE_NULL) {
    last = 0;
    return;
  }
  if (type == SQLITE_TEXT || type == SQLITE_BLOB) {
    if (op == '=' || op == '>' || op == ']') last = 0;
    return;
  }
  const double real = sqlite3_value_double(value);
  const bool whole = type == SQLITE_INTEGER;
  const std::int64_t n = sqlite3_value_int64(value);
  auto atLeast = [&](double bound) {  // entries >= bound
    if (bound > 9.0e18) last = 0;
    else if (bound > -9.0e18) first = std::max<std::int64_t>(first, static_cast<std::int64_t>(std::ceil(bound)));
  };
  auto atMost = [&](double bound) {  // entries <= bound
    if (bound < -9.0e18) last = 0;
    else if (bound < 9.0e18) last = std::min<std::int64_t>(last, static_cast<std::int64_t>(std::floor(bound)));
  };
  switch (op) {
    case '=':
      if (whole) {
        first = std::max(first, n);
        last = std::min(last, n);
      } else if (real != std::floor(real)) {
        last = 0;
      } else {
        atLeast(real);
        atMost(real);
      }
      break;
    case '>':
      if (!whole) {
        atLeast(std::floor(real) + 1);
      } else if (n == kNoBound) {
        last = 0;
      } else {
        first = std::max(first, n + 1);
      }
      break;
    case ']':
      if (whole) first = std::max(first, n);
      else atLeast(real);
      break;
    case '<':
      if (!whole) {
        atMost(std::ceil(real) - 1);
      } else if (n <= 1) {
        last = 0;  // no entry number lies below 1
      } else {
        last = std::min(last, n - 1);
      }
      break;
    case '[':
      if (whole) last = std::min(last, n);
      else atMost(real);
      break;
    default: break;
  }
}

int FilterScan(sqlite3_vtab_cursor* base, int idxNum, const char* idxStr, int argc, sqlite3_value** argv) {
  auto* cursor = reinterpret_cast<ProfileCursor*>(base);
  auto& table = *reinterpret_cast<ProfileTable*>(base->pVtab);
  cursor->scan.reset();  // closes the files of an earlier scan
  cursor->dir = table.dir;
  cursor->ispec = table.ispec;
  cursor->profile = table.profile;

  std::int64_t first = 1, last = kNoBound, offset = 0, limit = -1;
  std::string from, to;  // prefixes of the leading ordinate for the seek
  bool arguments = true;  // none of the function's arguments is NULL or empty
  const std::string plan = idxStr ? idxStr : "";
  for (int i = 0; i < argc && static_cast<std::size_t>(i) < plan.size(); ++i) {
    const char letter = plan[static_cast<std::size_t>(i)];
    if (letter == 'D' || letter == 'I' || letter == 'P') {
      std::string& text = letter == 'D' ? cursor->dir : letter == 'I' ? cursor->ispec : cursor->profile;
      text = ArgumentText(argv[i]);
      if (sqlite3_value_type(argv[i]) == SQLITE_NULL || text.empty()) arguments = false;
    }
    switch (letter) {
      case 'D':
      case 'I':
      case 'P': break;
      case 'O': offset = std::max<std::int64_t>(0, sqlite3_value_int64(argv[i])); break;
      case 'M': limit = sqlite3_value_int64(argv[i]); break;
      // The first usable text of each side is taken; the others are still
      // tested by SQLite.
      case 'l':
      case 'u':
      case 'e': {
        const std::string prefix = SeekPrefix(argv[i], table.leadingLength);
        const char side = plan[static_cast<std::size_t>(i)];
        if (side != 'u' && from.empty()) from = prefix;
        if (side != 'l' && to.empty()) to = prefix;
        break;
      }
      default: Narrow(plan[static_cast<std::size_t>(i)], argv[i], first, last); break;
    }
  }
  // OFFSET counts rows, and with every entry a row, rows of a run of entry
  // numbers: it moves the start; LIMIT ends the run.  A negative LIMIT is
  // none, as in SQL.
  if (offset > 0) first = first > kNoBound - offset ? kNoBound : first + offset;
  if (limit >= 0) last = limit == 0 ? 0 : std::min(last, first > kNoBound - (limit - 1) ? kNoBound : first + (limit - 1));
  first = std::max<std::int64_t>(first, 1);

  if (!table.broken.empty()) {
    SetError(base->pVtab, table.broken);
    return table.brokenCode;
  }
  if (!arguments) {
    SetError(base->pVtab, kUsage);
    return SQLITE_ERROR;
  }
  std::string problem;
  Failure kind = Failure::None;
  std::shared_ptr<const Prepared> prepared =
      PreparedFor(table, cursor->dir, cursor->ispec, cursor->profile, problem, kind);
  if (!prepared) {
    SetError(base->pVtab, problem);
    return ResultCode(kind);
  }
  if (last < first) last = 0;
  cursor->scan = std::make_unique<Scan>(prepared, (idxNum & kReadRecords) != 0, first, last, from, to);
  if (!cursor->scan->Advance()) {
    SetError(base->pVtab, cursor->scan->Error());
    return cursor->scan->ErrorCode();
  }
  return SQLITE_OK;
}

int Filter(sqlite3_vtab_cursor* base, int idxNum, const char* idxStr, int argc, sqlite3_value** argv) {
  return Guarded(base->pVtab, [&] { return FilterScan(base, idxNum, idxStr, argc, argv); });
}

int Next(sqlite3_vtab_cursor* base) {
  return Guarded(base->pVtab, [&] {
    auto* cursor = reinterpret_cast<ProfileCursor*>(base);
    if (!cursor->scan->Advance()) {
      SetError(base->pVtab, cursor->scan->Error());
      return cursor->scan->ErrorCode();
    }
    return SQLITE_OK;
  });
}

int Eof(sqlite3_vtab_cursor* base) {
  const auto* cursor = reinterpret_cast<ProfileCursor*>(base);
  return !cursor->scan || cursor->scan->Ended();
}

void ResultValue(sqlite3_context* context, const FieldColumn& column, std::string_view stored, std::string& text) {
  const FieldValue value = ValueOf(column, stored);
  if (value.null) return;  // a blank number: NULL
  switch (value.kind) {
    case ColumnType::Integer: sqlite3_result_int64(context, value.integer); return;
    case ColumnType::Real: sqlite3_result_double(context, value.real); return;
    case ColumnType::Text: break;
  }
  text.clear();
  AppendCp1252AsUtf8(text, value.text);
  sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Every field of the record as one JSON object, by column name.
void ResultJson(sqlite3_context* context, Scan& scan, std::string& text) {
  const std::vector<FieldColumn>& columns = scan.Source().columns;
  text = "{";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) text += ',';
    AppendJsonUtf8(text, columns[i].name);  // decoded from Windows-1252 once, when the columns were made
    text += ':';
    std::string_view stored;
    if (!scan.Fields().Field(i, stored)) {
      text += "null";
      continue;
    }
    const FieldValue value = ValueOf(columns[i], stored);
    if (value.null) text += "null";
    else if (value.kind == ColumnType::Integer) text += std::to_string(value.integer);
    else if (value.kind == ColumnType::Real) AppendShortestReal(text, value.real);
    else AppendJsonString(text, value.text);
  }
  text += '}';
  sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

int ColumnValue(sqlite3_vtab_cursor* base, sqlite3_context* context, int column) {
  auto* cursor = reinterpret_cast<ProfileCursor*>(base);
  const auto& table = *reinterpret_cast<ProfileTable*>(base->pVtab);
  Scan& scan = *cursor->scan;
  const StreamRow& row = scan.Row();
  const bool records = row.wanted;
  switch (table.roles[static_cast<std::size_t>(column)]) {
    case Role::Field: {
      std::string_view stored;
      if (records && scan.Fields().Field(static_cast<std::size_t>(column), stored))
        ResultValue(context, scan.Source().columns[static_cast<std::size_t>(column)], stored, cursor->text);
      break;
    }
    case Role::EntryNumber: sqlite3_result_int64(context, row.entry.Number); break;
    case Role::RecordNumber: sqlite3_result_int64(context, row.entry.Record); break;
    case Role::Purged:
      if (records) sqlite3_result_int(context, scan.Fields().Purged() ? 1 : 0);
      break;
    case Role::StoredKey:
      if (row.entry.Key)
        sqlite3_result_blob(context, row.entry.Key, std::max<int>(0, scan.Source().state.KeyLength), SQLITE_TRANSIENT);
      break;
    case Role::EntryFlag: {
      const char flag = static_cast<char>(row.entry.Flag);
      cursor->text = Cp1252ToUtf8(std::string_view(&flag, 1));
      sqlite3_result_text(context, cursor->text.data(), static_cast<int>(cursor->text.size()), SQLITE_TRANSIENT);
      break;
    }
    case Role::Shown:
      // An entry the window leaves out is not shown whatever its record;
      // one it lists is shown unless its record is purged.
      if (row.entry.Flag != 'Y') sqlite3_result_int(context, 0);
      else if (records) sqlite3_result_int(context, scan.Fields().Purged() ? 0 : 1);
      break;
    case Role::FieldsJson:
      if (records) ResultJson(context, scan, cursor->text);
      break;
    case Role::Dir: sqlite3_result_text(context, cursor->dir.c_str(), -1, SQLITE_TRANSIENT); break;
    case Role::Ispec: sqlite3_result_text(context, cursor->ispec.c_str(), -1, SQLITE_TRANSIENT); break;
    case Role::Profile: sqlite3_result_text(context, cursor->profile.c_str(), -1, SQLITE_TRANSIENT); break;
  }
  return SQLITE_OK;
}

int Column(sqlite3_vtab_cursor* base, sqlite3_context* context, int column) {
  try {
    return ColumnValue(base, context, column);
  } catch (const std::exception&) {
    sqlite3_result_error_nomem(context);
    return SQLITE_NOMEM;
  }
}

int Rowid(sqlite3_vtab_cursor* base, sqlite3_int64* rowid) {
  *rowid = reinterpret_cast<ProfileCursor*>(base)->scan->Row().entry.Number;
  return SQLITE_OK;
}

// No xUpdate: the table is read-only, and SQLite refuses every change to it.
sqlite3_module ProfileModule() {
  sqlite3_module module{};
  module.iVersion = 0;
  module.xCreate = Connect;  // the same as xConnect: a function and a named table both
  module.xConnect = Connect;
  module.xBestIndex = BestIndex;
  module.xDisconnect = Disconnect;
  module.xDestroy = Disconnect;
  module.xOpen = Open;
  module.xClose = Close;
  module.xFilter = Filter;
  module.xNext = Next;
  module.xEof = Eof;
  module.xColumn = Column;
  module.xRowid = Rowid;
  return module;
}

const sqlite3_module kProfileModule = ProfileModule();

}  // namespace

int RegisterProfileTable(sqlite3* db) { return sqlite3_create_module(db, "ondrel", &kProfileModule, nullptr); }

}  // namespace ondrel::sql
