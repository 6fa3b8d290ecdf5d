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
// a later scan reuses it while no file has changed, as the viewer reuses it for every window.  A
// cursor opens the index and data files for its first scan and keeps them
// open for the next ones while the profile is the same, closing them when
// SQLite closes it; entries come through RecordStream, so a profile whose order
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
// A scan looks at the identities of the index and data files it reads
// (through the files it has open, where the system tells) after each batch
// it reads, before any row of the batch is returned, after each record too
// long to be read with its batch (and its fields, which are read as they
// are asked for), and at its end when it read anything since: when a file
// changed since the reference information was built, the statement fails with SQLITE_ABORT and a message saying so,
// since its rows may mix two states of the files.  So a statement that
// SQLite stops early (a LIMIT the table is not told of) has returned only
// rows read while the files were as they were.
//
// The module is in four files: the schema and the columns' values
// (ProfileSchema.cpp), the planner (ProfilePlan.cpp), the scan
// (ProfileScan.cpp) and the entry points SQLite calls (ProfileTable.cpp).
// This header holds what they share.
#pragma once

#include <sqlite3ext.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "database/KeySeek.h"
#include "database/SharedState.h"
#include "sql/RecordColumns.h"

namespace ondrel::sql {

constexpr std::int64_t kNoBound = std::numeric_limits<std::int64_t>::max();

// What each column of a table holds.
enum class Role { Field, EntryNumber, RecordNumber, Purged, StoredKey, EntryFlag, Shown, FieldsJson, Dir, Ispec, Profile };

// An ISPEC and profile chosen, walked and with the definition loaded: what
// every scan of the profile starts from, until one of its files changes.
struct Prepared {
  SharedState state;
  // SecondDigits, learnt when a plan first asks (SecondDigitKeys) where the
  // walk did not: -1 not yet, 0 no, 1 yes.
  mutable signed char secondDigits = -1;
  // What the seeks of its scans remember for the next (SeekMemo): bytes of
  // the files it was prepared from, which every scan looks at after reading,
  // and which a change of them sends away with the rest of it.
  mutable SeekMemo memo;
  std::vector<FieldColumn> columns;
  std::string dir, ispec, profile;
};

struct ScanFiles;  // ProfileScan.h

// Where the key seek starts a scan and where it ends it, as stored prefixes
// of the leading key part, each compared over its own length: the scan reads
// from the first key at or after `from` (the first entry when empty) to the
// last key before `past` (the last entry when empty).  `none`: no row can
// pass.  The bounds only narrow what is read; SQLite still tests every row.
// Both are as long as the part: a prefix p of a text is p followed by NUL
// bytes, at or before every key that begins with p.  `numeric`: bounds of a
// numeric column, which hold only on a tree of digit keys (DigitKeys).
//
// `exact`: the whole part an equality on a text column gave (TextBound).
// When it pins the leading part to that one stored value (`pinned`), the
// second part's bounds, made the same way, follow (`thenFrom`, `thenPast`,
// `thenNone`), and the scan seeks the two parts together.
struct KeyBounds {
  std::string from, past;
  bool none = false;
  bool numeric = false;
  std::string exact;
  bool pinned = false;
  std::string thenFrom, thenPast;
  bool thenNone = false;
  bool thenNumeric = false;  // which hold only on a tree of digit second parts
};

struct ProfileTable {
  sqlite3_vtab base{};
  bool named = false;  // CREATE VIRTUAL TABLE: the arguments are fixed
  std::string dir, ispec, profile;
  std::vector<FieldColumn> columns;  // the named form's fields
  std::vector<Role> roles;           // per declared column
  int leading = -1;  // the text column the key seek serves (LeadingColumn), or -1
  int leadingLength = 0;  // its key part's length
  // The numeric column the key seek serves on a tree of digit keys
  // (NumericSeekColumn), or -1; its key part is as wide as the field.
  int numeric = -1;
  // The column of the second key part the seek serves behind an equality on
  // the leading column (SecondSeekColumn), or -1; its part's length, and
  // whether it is a number (sought only on a tree of digit second parts).
  int second = -1;
  int secondLength = 0;
  bool secondNumeric = false;
  // The column whose SQL order the tree's order can give (OrderedColumn),
  // or -1.
  int ordered = -1;
  // Records the index header counts, for the planner's estimates before a
  // scan has walked the tree.
  std::int64_t headerRecords = 0;
  std::shared_ptr<const Prepared> prepared;
  // The files the last cursor closed held open, for the next cursor (each
  // statement opens one): taken while their names still name them, which
  // costs a look at each name instead of opening it and closing it again.
  // What was written to them since is met as every scan meets it, by the
  // look at the open files after reading.  Kept only where the system can
  // tell that (ByteFile::TellsNames): elsewhere a file held open between
  // statements could stand in the way of its owner renaming over it.
  std::unique_ptr<ScanFiles> spare;
  // A stored table whose files could not be read when it was connected: it
  // has no field columns, every scan fails with this message and code, and
  // it can still be dropped.
  std::string broken;
  int brokenCode = SQLITE_OK;
};

// The schema and the columns' values (ProfileSchema.cpp).

// The columns of the named form after its fields, and of the function form.
constexpr const char* kEntryColumns[] = {"entry_number", "record_number", "purged",
                                         "stored_key",   "entry_flag",    "shown"};
// The three arguments are its last columns: SQLite gives a function's
// arguments to its hidden columns in order, so a hidden column after them
// would take a fourth argument as a filter instead of refusing it.
constexpr const char* kFunctionSchema =
    "CREATE TABLE x(entry_number INTEGER, record_number INTEGER, purged INTEGER, fields TEXT, "
    "stored_key BLOB, entry_flag TEXT, shown INTEGER, dir HIDDEN, ispec HIDDEN, profile HIDDEN)";
std::string NamedSchema(ProfileTable& table);
int LeadingColumn(const SharedState& state, const std::vector<FieldColumn>& columns);
int OrderedColumn(const SharedState& state, const std::vector<FieldColumn>& columns);
int NumericSeekColumn(const SharedState& state, const std::vector<FieldColumn>& columns);
int SecondSeekColumn(const SharedState& state, const std::vector<FieldColumn>& columns, bool& numeric);
int ColumnValue(sqlite3_vtab_cursor* base, sqlite3_context* context, int column);

// The planner (ProfilePlan.cpp).

// Bit 0 of the plan's idxNum: records are read.  Bit 1: the rows' stored
// keys are asked for (Role::StoredKey).
constexpr int kReadRecords = 1;
constexpr int kReadKeys = 2;
// Letters after those of the arguments in the plan string: the entries are
// read from the last one backwards, and each row is checked to come in SQL's
// order of the ordered column (OrderedColumn), ascending with the walk.
constexpr char kBackward = 'R';
constexpr char kOrderChecked = 'K';
int BestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info);
std::string SeekPrefix(sqlite3_value* value, int partLength);
void TextBound(char op, sqlite3_value* value, int partLength, KeyBounds& bounds);
// The bounds of a numeric column on a tree of digit keys, as the least and
// greatest stored values a row may hold (NumericBound), made into KeyBounds.
struct NumberRange {
  std::int64_t low = 0, high = 0;  // set by NumberBoundsStart
  bool narrowed = false;           // some constraint was taken
  bool none = false;
};
NumberRange NumberBoundsStart(int width);
void NumericBound(char op, sqlite3_value* value, NumberRange& range);
KeyBounds NumberBounds(const NumberRange& range, int width);
void Narrow(char op, sqlite3_value* value, std::int64_t& first, std::int64_t& last);

}  // namespace ondrel::sql
