// What a database directory holds, as two table-valued functions: the
// ISPECs of a directory, and the profiles of an ISPEC with what the file
// chooser lists for each (its ISPECs, ordinates and conditions).
//
//   SELECT * FROM ondrel_ispecs('/srv/db');
//   SELECT position, profile, ordinates FROM ondrel_profiles('/srv/db', 'CUSTOMER');
//   SELECT i.ispec, p.profile FROM ondrel_ispecs('/srv/db') i, ondrel_profiles('/srv/db', i.ispec) p;
//
// How it works.  Their schemas:
//
//   CREATE TABLE x(ispec TEXT,          -- in the chooser's sorted order
//                  records INTEGER,     -- the index header's record count
//                  profiles INTEGER,    -- how many profiles it has
//                  problem TEXT,        -- the viewer's message when the set
//                                       --   cannot be opened, else NULL
//                  dir HIDDEN)
//
//   CREATE TABLE x(position INTEGER,    -- 1-based, in profile-file order: it
//                                       --   selects the key of the index
//                  profile TEXT,
//                  ispecs TEXT,         -- the chooser's lists, one line each,
//                  ordinates TEXT,      --   joined by "; "
//                  conditions TEXT,
//                  problem TEXT,        -- the message choosing it would show
//                  dir HIDDEN, ispec HIDDEN)
//
// Both read their rows when a scan starts (a directory holds few ISPECs and
// an ISPEC few profiles) and hand them out in order.  Each argument is taken
// only as an equality; without them there is no plan.  An ISPEC whose file
// set cannot be opened makes ondrel_profiles fail with the viewer's message.
//
// Both are direct-only: a statement the user runs may call them, a view or
// a trigger may not, so that a database file written by someone else cannot
// list the user's folders through a view that reads like a table.
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT3

#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "database/Catalogue.h"
#include "database/LoadingPlatform.h"
#include "sql/Modules.h"
#include "sql/ProfileSource.h"
#include "sql/SqlText.h"
#include "viewer/Cp1252.h"

namespace ondrel::sql {
namespace {

using Cell = std::variant<std::monostate, std::int64_t, std::string>;  // NULL, INTEGER, TEXT (UTF-8)
using Row = std::vector<Cell>;

struct CatalogueTable {
  sqlite3_vtab base{};
  int arguments = 0;  // 1: dir; 2: dir and ispec
  int visible = 0;    // columns before the arguments
};

struct CatalogueCursor {
  sqlite3_vtab_cursor base{};
  std::vector<Row> rows;
  std::size_t at = 0;
  std::string dir, ispec;
};

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "; ") + Cp1252ToUtf8(line);
  return text;
}

std::vector<Row> IspecRows(const std::string& dir, std::string& problem, Failure& kind) {
  bool readable = false;
  std::vector<std::string> ispecs = ListIspecs(dir, &readable);
  if (!readable) {
    problem = "The directory " + dir + " cannot be read.";
    kind = Failure::CannotOpen;
    return {};
  }
  std::sort(ispecs.begin(), ispecs.end());
  std::vector<Row> rows;
  for (const std::string& ispec : ispecs) {
    SharedState state;
    LoadingPlatform platform;
    std::vector<std::string> profiles;
    const std::string message = OpenIspec(state, platform, dir, ispec, profiles);
    Row row{Cp1252ToUtf8(ispec), std::monostate{}, std::monostate{}, std::monostate{}};
    if (!state.IndexPath.empty() && platform.messages.empty()) {
      row[1] = std::int64_t{state.RecordCount};
      row[2] = static_cast<std::int64_t>(profiles.size());
    }
    if (!message.empty()) row[3] = MessageText(message);
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<Row> ProfileRows(const std::string& dir, const std::string& ispec, std::string& problem,
                             Failure& kind) {
  SharedState state;
  LoadingPlatform platform;
  std::vector<std::string> profiles;
  problem = OpenIspec(state, platform, dir, ispec, profiles, &kind);
  if (!problem.empty()) return {};
  std::vector<Row> rows;
  for (std::size_t i = 0; i < profiles.size(); ++i) {
    LoadingPlatform chooser;
    SharedState chosen = state;  // each profile chosen afresh, as in the chooser
    const std::string message = ChooseProfile(chosen, chooser, profiles, static_cast<int>(i), false);
    std::vector<std::string> ispecs = chooser.lists[ChooserList::Ispecs];
    std::sort(ispecs.begin(), ispecs.end());  // the chooser shows them sorted
    Row row{static_cast<std::int64_t>(i + 1), Cp1252ToUtf8(profiles[i]), Joined(ispecs),
            Joined(chooser.lists[ChooserList::Ordinates]), Joined(chooser.lists[ChooserList::Conditions]),
            std::monostate{}};
    if (!message.empty()) row[5] = MessageText(message);
    rows.push_back(std::move(row));
  }
  return rows;
}

int Connect(sqlite3* db, void* which, int, const char* const*, sqlite3_vtab** out, char** error) {
  auto table = std::make_unique<CatalogueTable>();
  const bool profiles = which != nullptr;
  table->arguments = profiles ? 2 : 1;
  table->visible = profiles ? 6 : 4;
  const char* schema = profiles ? "CREATE TABLE x(position INTEGER, profile TEXT, ispecs TEXT, ordinates TEXT, "
                                  "conditions TEXT, problem TEXT, dir HIDDEN, ispec HIDDEN)"
                                : "CREATE TABLE x(ispec TEXT, records INTEGER, profiles INTEGER, problem TEXT, dir HIDDEN)";
  int rc = sqlite3_declare_vtab(db, schema);
  if (rc == SQLITE_OK) rc = sqlite3_vtab_config(db, SQLITE_VTAB_DIRECTONLY);
  if (rc != SQLITE_OK) {
    *error = sqlite3_mprintf("%s", sqlite3_errmsg(db));
    return rc;
  }
  *out = &table.release()->base;
  return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* vtab) {
  delete reinterpret_cast<CatalogueTable*>(vtab);
  return SQLITE_OK;
}

// Each argument is an equality on its hidden column, passed in column order;
// SQLite need not test it again.  A plan without every argument is refused.
// The cost is the same for every usable plan: the rows are all read anyway.
int BestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info) {
  const auto& table = *reinterpret_cast<CatalogueTable*>(vtab);
  int found[2] = {-1, -1};
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    const int argument = c.iColumn - table.visible;
    if (argument < 0 || argument >= table.arguments || c.op != SQLITE_INDEX_CONSTRAINT_EQ) continue;
    if (!c.usable) return SQLITE_CONSTRAINT;
    found[argument] = i;
  }
  for (int a = 0; a < table.arguments; ++a) {
    if (found[a] < 0) return SQLITE_CONSTRAINT;
    info->aConstraintUsage[found[a]].argvIndex = a + 1;
    info->aConstraintUsage[found[a]].omit = 1;
  }
  info->estimatedCost = 1000;
  info->estimatedRows = 20;
  return SQLITE_OK;
}

int Open(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
  *out = &(new CatalogueCursor())->base;
  return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* base) {
  delete reinterpret_cast<CatalogueCursor*>(base);
  return SQLITE_OK;
}

std::string Text(sqlite3_value* value) {
  const unsigned char* text = sqlite3_value_text(value);
  return text ? reinterpret_cast<const char*>(text) : "";
}

int Filter(sqlite3_vtab_cursor* base, int, const char*, int argc, sqlite3_value** argv) {
  auto* cursor = reinterpret_cast<CatalogueCursor*>(base);
  const auto& table = *reinterpret_cast<CatalogueTable*>(base->pVtab);
  try {
    cursor->rows.clear();
    cursor->at = 0;
    cursor->dir = argc > 0 ? Text(argv[0]) : "";
    cursor->ispec = argc > 1 ? Text(argv[1]) : "";
    std::string problem;
    Failure kind = Failure::Other;
    // An empty or NULL argument names no directory or ISPEC (and would
    // otherwise be read as the root, or as an ISPEC with no name).
    if (cursor->dir.empty() || (table.arguments == 2 && cursor->ispec.empty()))
      problem = table.arguments == 1 ? "ondrel_ispecs needs a database directory"
                                     : "ondrel_profiles needs a database directory and an ISPEC";
    else
      cursor->rows = table.arguments == 1 ? IspecRows(cursor->dir, problem, kind)
                                          : ProfileRows(cursor->dir, cursor->ispec, problem, kind);
    if (!problem.empty()) {
      sqlite3_free(base->pVtab->zErrMsg);
      base->pVtab->zErrMsg = sqlite3_mprintf("%s", MessageText(problem).c_str());
      return ResultCode(kind);
    }
  } catch (const std::exception&) {
    return SQLITE_NOMEM;
  }
  return SQLITE_OK;
}

int Next(sqlite3_vtab_cursor* base) {
  ++reinterpret_cast<CatalogueCursor*>(base)->at;
  return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* base) {
  const auto* cursor = reinterpret_cast<CatalogueCursor*>(base);
  return cursor->at >= cursor->rows.size();
}

int Column(sqlite3_vtab_cursor* base, sqlite3_context* context, int column) {
  const auto* cursor = reinterpret_cast<CatalogueCursor*>(base);
  const auto& table = *reinterpret_cast<CatalogueTable*>(base->pVtab);
  if (column >= table.visible) {
    const std::string& argument = column == table.visible ? cursor->dir : cursor->ispec;
    sqlite3_result_text(context, argument.c_str(), -1, SQLITE_TRANSIENT);
    return SQLITE_OK;
  }
  const Cell& cell = cursor->rows[cursor->at][static_cast<std::size_t>(column)];
  if (const auto* number = std::get_if<std::int64_t>(&cell)) sqlite3_result_int64(context, *number);
  if (const auto* text = std::get_if<std::string>(&cell))
    sqlite3_result_text(context, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
  return SQLITE_OK;
}

int Rowid(sqlite3_vtab_cursor* base, sqlite3_int64* rowid) {
  *rowid = static_cast<sqlite3_int64>(reinterpret_cast<CatalogueCursor*>(base)->at + 1);
  return SQLITE_OK;
}

// Eponymous only (no xCreate): they are functions, not tables to create.
sqlite3_module CatalogueModule() {
  sqlite3_module module{};
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

const sqlite3_module kCatalogueModule = CatalogueModule();
int kProfilesTag = 0;  // its address tells the profile list from the ISPEC list

}  // namespace

int RegisterCatalogueTables(sqlite3* db) {
  int rc = sqlite3_create_module(db, "ondrel_ispecs", &kCatalogueModule, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_create_module(db, "ondrel_profiles", &kCatalogueModule, &kProfilesTag);
  return rc;
}

}  // namespace ondrel::sql
