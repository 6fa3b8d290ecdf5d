// The profile table's schema, made from the definition, and the values of
// its columns for the row on hand.
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT3

#include <algorithm>
#include <string>
#include <string_view>

#include "database/KeyOrder.h"
#include "sql/ProfileScan.h"
#include "sql/ProfileTable.h"
#include "sql/SqlText.h"
#include "viewer/Cp1252.h"

namespace ondrel::sql {

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

// The column that ORDER BY may take in the tree's order: the leading
// ordinate when it is an ascending field that its key part holds whole, as
// text, or as a number on a tree whose keys are all digits (DigitKeys,
// decided when the ORDER BY is planned).  The scan still checks every row
// it returns (ProfileScan.cpp), since SQL's order and the stored bytes'
// order disagree on some characters.
//
// Not taken, and left to SQLite to sort:
// - a numeric field on a tree with any other key: a number's value does not
//   follow its bytes ("  -12" and "000012", "12  " after "0013"), and a key
//   anywhere in the tree could be one SQL puts first;
// - numeric fields over 18 digits, whose values SQL may round alike;
// - descending ordinates: a part stored inverted holds other bytes than its
//   field, and a part stored as it is would need the checks turned round for
//   rows never read (left out: no profile seen so far orders that way first);
// - a key part shorter than its field: entries that tie on the part are
//   ordered by the next part, not by the rest of the field.
int OrderedColumn(const SharedState& state, const std::vector<FieldColumn>& columns) {
  const KeyOrder order(state);
  if (!order.Judged() || order.Parts().empty()) return -1;
  const KeyPartOrder& part = order.Parts().front();
  const int column = part.field - 1;
  if (part.descending || column < 0 || static_cast<std::size_t>(column) >= columns.size()) return -1;
  const FieldColumn& field = columns[static_cast<std::size_t>(column)];
  if (part.offset != 0 || part.storage != PartStorage::Plain || static_cast<std::size_t>(part.length) != field.width)
    return -1;
  if (field.type != ColumnType::Text && field.width > 18) return -1;
  return column;
}

// The numeric column whose constraints the key seek serves: the ordered
// column (OrderedColumn) when it is a number of at most 15 digits, on a tree
// of digit keys (DigitKeys, looked at when the plan is made and again by
// the scan).  There every stored value is the field's width of digits, or
// blanks (NULL), so the stored order is the values' order; and up to 15
// digits every value, integer or real, is exact in a double, so SQL's
// comparison of the column with any number is the comparison of the
// values, with no rounding that could make two stored values equal to one
// number.  A constraint whose value is text or a blob is compared after
// affinity, and is tested by SQLite alone (NumericBound).
int NumericSeekColumn(const SharedState& state, const std::vector<FieldColumn>& columns) {
  const int column = OrderedColumn(state, columns);
  if (column < 0) return -1;
  const FieldColumn& field = columns[static_cast<std::size_t>(column)];
  return field.type != ColumnType::Text && field.width >= 1 && field.width <= 15 ? column : -1;
}

// The column of the second key part, whose constraints the key seek serves
// once an equality on the leading text column pins the leading part to one
// stored value: then the entries of that value lie in the order of the
// second part, and a range of it is a run of entries.  Taken as the leading
// column is: an ascending part that holds its whole field as stored, text
// compared byte by byte, or a number of at most 15 digits on a tree whose
// second parts are all digits or blank (SecondDigits, looked at by the plan
// and by the scan), for the reasons NumericSeekColumn gives.  `numeric`
// says which.
int SecondSeekColumn(const SharedState& state, const std::vector<FieldColumn>& columns, bool& numeric) {
  numeric = false;
  const KeyOrder order(state);
  if (LeadingColumn(state, columns) < 0 || order.Parts().size() < 2) return -1;
  const KeyPartOrder& lead = order.Parts()[0];
  const KeyPartOrder& part = order.Parts()[1];
  const int column = part.field - 1;
  if (lead.storage != PartStorage::Plain || part.descending || part.storage != PartStorage::Plain ||
      column < 0 || static_cast<std::size_t>(column) >= columns.size())
    return -1;
  const FieldColumn& field = columns[static_cast<std::size_t>(column)];
  if (static_cast<std::size_t>(part.length) != field.width || part.offset != lead.length) return -1;
  numeric = field.type != ColumnType::Text;
  if (numeric && (field.width < 1 || field.width > 15)) return -1;
  return column;
}

namespace {

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
  text.assign(1, '{');
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

}  // namespace

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
  // The fields of a record too long to be read with its batch are read as
  // they are asked for: the value stands only if the files are still as
  // they were.
  const Role role = table.roles[static_cast<std::size_t>(column)];
  if (records && !row.slot && (role == Role::Field || role == Role::FieldsJson) && scan.Changed()) {
    sqlite3_result_error(context, MessageText(scan.Error()).c_str(), -1);
    sqlite3_result_error_code(context, scan.ErrorCode());
    return scan.ErrorCode();
  }
  return SQLITE_OK;
}

}  // namespace ondrel::sql
