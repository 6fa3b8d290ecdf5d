// The fields of an ISPEC's records as SQL columns: their names, their types
// and their values.  The SQL extension and the SQLite export both go
// through here, so a record reads the same in both.
//
// Every field of the definition is a column, hidden ones included (their
// names begin with "[" or a lower-case letter; the record window does not
// show them).  Values:
//
//   type  column   value
//   ----  -------  -----------------------------------------------------------
//   A, D  TEXT     the stored bytes, trailing blanks removed
//   N     INTEGER  the number, when the stored text is a whole number
//   N     REAL     the same when the definition gives the field decimals
//                  (the stored text then holds its decimal point)
//   N     NULL     when the stored text is blank: no number was given
//   N     (text)   the stored text, trailing blanks removed, when it is no
//                  well-formed number, so that nothing is lost
//   other TEXT     as A
//
// Text is decoded from Windows-1252 to UTF-8.  A one-byte field holding NUL
// ends a record early, as the record reader has it: that field and the ones
// after it are not part of the record and read as NULL, and the record counts
// as active.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "database/ByteFile.h"
#include "database/SharedState.h"

namespace ondrel::sql {

enum class ColumnType { Text, Integer, Real };

struct FieldColumn {
  std::string name;          // the SQL column name, UTF-8, unique in its table
  std::size_t offset = 0;    // of the field in the record slot
  std::size_t width = 0;
  int decimals = 0;
  ColumnType type = ColumnType::Text;
  bool hidden = false;       // a field the record window does not show
};

// Column names that are unique in one table, compared as SQL compares them
// (ASCII letters without regard to case).  A name already taken gets "_2",
// "_3" and so on; an empty field name becomes "field_N".  A NUL, which SQL
// text cannot hold, is written as the symbol for null (U+2400).
class NameSet {
 public:
  std::string Take(const std::string& wanted);

 private:
  std::unordered_set<std::string> taken_;
};

// The columns of the loaded definition, in field order.  `names` holds the
// table's own column names already, which keep their names.
std::vector<FieldColumn> RecordColumns(const SharedState& state, NameSet& names);

// The declared type of a column: "TEXT", "INTEGER" or "REAL".
const char* DeclaredType(ColumnType type);

// An identifier quoted for SQL: in double quotes, inner quotes doubled.
std::string QuoteIdentifier(const std::string& name);

// One field's value.  For text, `text` holds the stored bytes (Windows-1252)
// without trailing blanks.  A blank numeric field is `null` (its kind is
// Text and its text empty, for a caller that keeps blanks as text).
struct FieldValue {
  ColumnType kind = ColumnType::Text;
  bool null = false;
  std::string_view text;
  std::int64_t integer = 0;
  double real = 0;
};
FieldValue ValueOf(const FieldColumn& column, std::string_view stored);

// The bytes without the blanks at their end.
std::string_view WithoutTrailingBlanks(std::string_view bytes);

// A numeric field's value as text, straight from its digits: the same bytes
// as ValueOf and then the integer's digits or WriteShortestReal give, for
// the plain forms nearly every stored number has (blanks around, a sign,
// digits, for a real a point with digits after it, 15 digits at most).
// Writes at most `stored.size() + 4` bytes and returns their end, or null,
// writing nothing, for any other text: the caller then takes the long way.
char* WritePlainNumber(char* out, const FieldColumn& column, std::string_view stored);

// One record of an ISPEC, from a whole slot or, for a slot too long to take
// in one piece, from the data file field by field.
class RecordFields {
 public:
  RecordFields(const SharedState& state, const std::vector<FieldColumn>& columns)
      : state_(state), columns_(columns) {}

  // A whole slot (RecordLength bytes, valid while the record is used).
  void FromSlot(const char* slot);
  // Record `recordNumber` of the open data file, read field by field as its
  // fields are asked for; false when it lies outside the file.
  bool FromFile(ByteFile& data, Long recordNumber);

  // How many fields the record holds (all, or those before an early end).
  std::size_t Taken() const { return taken_; }
  bool Purged() const { return purged_; }
  // The stored bytes of field i (from 0); false when the field is not
  // taken or cannot be read.
  bool Field(std::size_t i, std::string_view& bytes);

 private:
  const SharedState& state_;
  const std::vector<FieldColumn>& columns_;
  const char* slot_ = nullptr;
  ByteFile* data_ = nullptr;
  std::int64_t start_ = 0;  // 1-based position of the record in the file
  std::size_t taken_ = 0;
  bool purged_ = false;
  std::string field_;
};

}  // namespace ondrel::sql
