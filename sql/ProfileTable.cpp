// The profile table's entry points: what SQLite calls to make or connect a
// table, to run a scan and to read its rows, and the module that holds them.
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT3

#include <cctype>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "database/FileIdentity.h"
#include "database/KeyOrder.h"
#include "database/LoadingPlatform.h"
#include "sql/Modules.h"
#include "sql/ProfileScan.h"
#include "viewer/TypedNames.h"
#include "sql/ProfileSource.h"
#include "sql/ProfileTable.h"
#include "sql/SqlText.h"

namespace ondrel::sql {
namespace {

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
    const int position = TypedProfilePosition(profiles, table->profile);
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
      table->ordered = OrderedColumn(state, table->columns);
      table->numeric = NumericSeekColumn(state, table->columns);
      table->second = SecondSeekColumn(state, table->columns, table->secondNumeric);
      if (table->second >= 0) table->secondLength = KeyOrder(state).Parts()[1].length;
      if (table->leading >= 0 || table->numeric >= 0) table->leadingLength = KeyOrder(state).Parts().front().length;
      table->headerRecords = state.RecordCount;
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

int Open(sqlite3_vtab* vtab, sqlite3_vtab_cursor** out) {
  auto& table = *reinterpret_cast<ProfileTable*>(vtab);
  auto* cursor = new ProfileCursor();
  if (std::unique_ptr<ScanFiles> spare = std::move(table.spare)) {
    const SharedState& state = spare->of->state;
    if ((!spare->index.IsOpen() || spare->index.NamedBy(state.IndexPath)) &&
        (!spare->data.IsOpen() || spare->data.NamedBy(state.DataPath))) {
      spare->index.Forget();
      spare->data.Forget();
      cursor->files = std::move(spare);
    }
  }
  *out = &cursor->base;
  return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* base) {
  auto* cursor = reinterpret_cast<ProfileCursor*>(base);
  auto& table = *reinterpret_cast<ProfileTable*>(base->pVtab);
  cursor->scan.reset();
  ScanFiles& files = *cursor->files;
  if (!table.spare && files.of && files.index.IsOpen() && files.index.TellsNames() &&
      (!files.data.IsOpen() || files.data.TellsNames()))
    table.spare = std::move(cursor->files);
  delete cursor;
  return SQLITE_OK;
}

std::string ArgumentText(sqlite3_value* value) {
  const unsigned char* text = sqlite3_value_text(value);
  return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_value_bytes(value)))
              : std::string();
}

int FilterScan(sqlite3_vtab_cursor* base, int idxNum, const char* idxStr, int argc, sqlite3_value** argv) {
  auto* cursor = reinterpret_cast<ProfileCursor*>(base);
  auto& table = *reinterpret_cast<ProfileTable*>(base->pVtab);
  cursor->scan.reset();  // ends an earlier scan; the cursor keeps its files open
  cursor->dir = table.dir;
  cursor->ispec = table.ispec;
  cursor->profile = table.profile;

  std::int64_t first = 1, last = kNoBound, offset = 0, limit = -1;
  KeyBounds bounds;  // of the leading ordinate, for the seek
  bounds.numeric = table.numeric >= 0;
  NumberRange range = NumberBoundsStart(table.numeric >= 0 ? table.leadingLength : 1);
  KeyBounds second;  // of the second ordinate, used behind a pinned leading part
  NumberRange secondRange = NumberBoundsStart(table.secondNumeric ? table.secondLength : 1);
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
      // Every constraint narrows the run; SQLite still tests them all.
      case 'l':
      case 'L':
      case 'u':
      case 'U':
      case 'e':
        if (bounds.numeric) NumericBound(letter, argv[i], range);
        else TextBound(letter, argv[i], table.leadingLength, bounds);
        break;
      case 'q':
      case 'g':
      case 'G':
      case 'h':
      case 'H': {
        const char op = "elLuU"[std::string_view("qgGhH").find(letter)];
        if (table.secondNumeric) NumericBound(op, argv[i], secondRange);
        else TextBound(op, argv[i], table.secondLength, second);
        break;
      }
      default: Narrow(plan[static_cast<std::size_t>(i)], argv[i], first, last); break;
    }
  }
  if (bounds.numeric) bounds = NumberBounds(range, table.leadingLength);
  // An equality on the leading text column that no other bound narrows pins
  // the leading part to its value as stored: the second ordinate's bounds
  // then follow it.
  if (!bounds.numeric && !bounds.exact.empty() && bounds.from == bounds.exact) {
    std::string next = bounds.exact;
    next.back() = static_cast<char>(next.back() + 1);  // printable ASCII: no carry
    if (bounds.past == next) {
      if (table.secondNumeric) second = NumberBounds(secondRange, table.secondLength);
      bounds.pinned = true;
      bounds.thenFrom = second.from;
      bounds.thenPast = second.past;
      bounds.thenNone = second.none;
      bounds.thenNumeric = table.secondNumeric;
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
  if (last < first) last = 0;
  // The walk's letters follow those of the arguments.
  const std::string walk = plan.size() > static_cast<std::size_t>(argc) ? plan.substr(static_cast<std::size_t>(argc)) : "";
  const bool backward = walk.find(kBackward) != std::string::npos;
  const int checked = walk.find(kOrderChecked) != std::string::npos ? table.ordered : -1;
  // The profile kept from an earlier scan is taken without looking at its
  // files first: a look takes some system calls a file, as much as a point
  // lookup costs otherwise, and the join's inner table is scanned once a
  // row.  The scan looks at them after it reads, before it gives any row;
  // if it fails and the files have changed since the profile was prepared,
  // the profile is prepared again and the scan run again, before any row
  // went out.
  std::string problem;
  Failure kind = Failure::None;
  for (bool look = false;; look = true) {
    const std::shared_ptr<const Prepared> prepared =
        PreparedFor(table, cursor->dir, cursor->ispec, cursor->profile, problem, kind, look);
    if (!prepared) {
      SetError(base->pVtab, problem);
      return ResultCode(kind);
    }
    // The scan before is ended first: it may be reading the same files on
    // a thread of its own.
    cursor->scan.reset();
    cursor->scan =
        std::make_unique<Scan>(*cursor->files, prepared, (idxNum & kReadRecords) != 0, first, last, bounds, backward,
                               checked, (idxNum & kReadKeys) != 0);
    if (cursor->scan->Advance()) break;
    if (look || !FilesChanged(prepared->state)) {
      SetError(base->pVtab, cursor->scan->Error());
      return cursor->scan->ErrorCode();
    }
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
