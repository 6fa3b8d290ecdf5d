// Fuzz target: the SQL extension, in process, and --sqlite, on an arbitrary
// file set (chunks 0 to 3).
//
// The extension is registered on a connection to ":memory:".  The catalogue
// functions list the ISPEC and its profiles; one profile (the first byte of
// chunk 4) becomes a named table, and up to eight queries follow, each drawn
// from four more bytes of chunk 4 (the form, the columns, a constraint on
// the leading column, on entry_number or the rowid, ORDER BY, LIMIT and
// OFFSET; the values from those bytes and the text of chunk 5).  Every
// statement must end, with its rows or an error.  The entry numbers a
// constrained query returns (in entry order, with its LIMIT and OFFSET) must
// be those that SQLite itself picks from a full scan of the same table made
// once, whenever both statements succeed: what the table takes on itself
// (a key seek, a start at an entry number, OFFSET and LIMIT) may narrow the
// reading, never the answer.
//
// Then --sqlite writes the whole directory into a file of the fuzzer's own
// folder: its status is 0 or 1, and every table and view of the file it
// leaves can be read whole.
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/FuzzFiles.h"
#include "tools/export/Modes.h"

extern "C" int sqlite3_ondrel_init(sqlite3* db, char** error, const sqlite3_api_routines* api);

namespace {

using namespace ondrel;

void Judge(bool holds) {
  if (!holds) __builtin_trap();
}

// One value bound to a statement: an integer, or text when `isText`.
struct Value {
  bool isText = false;
  std::int64_t integer = 0;
  std::string text;
};

struct Answer {
  bool ok = false;
  std::vector<std::string> first;  // the first column of every row
};

class Connection {
 public:
  Connection(const std::string& path, int flags, std::size_t rowCap) : rowCap_(rowCap) {
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) db_ = nullptr;
  }
  ~Connection() { sqlite3_close(db_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  bool Open() const { return db_ != nullptr; }

  // Runs one statement to its end; its rows are never more than the cap.
  Answer Run(const std::string& sql, const std::vector<Value>& values = {}) {
    Answer answer;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &statement, nullptr) != SQLITE_OK) {
      sqlite3_finalize(statement);
      return answer;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
      const int at = static_cast<int>(i) + 1;
      if (values[i].isText)
        sqlite3_bind_text(statement, at, values[i].text.data(), static_cast<int>(values[i].text.size()),
                          SQLITE_TRANSIENT);
      else
        sqlite3_bind_int64(statement, at, values[i].integer);
    }
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      Judge(answer.first.size() < rowCap_);
      const unsigned char* text = sqlite3_column_text(statement, 0);
      answer.first.emplace_back(text ? reinterpret_cast<const char*>(text) : "NULL");
    }
    answer.ok = rc == SQLITE_DONE;
    sqlite3_finalize(statement);
    return answer;
  }

 private:
  sqlite3* db_ = nullptr;
  std::size_t rowCap_;
};

std::string Quoted(const std::string& text, char quote) {
  std::string out(1, quote);
  for (char c : text) {
    out += c;
    if (c == quote) out += c;
  }
  return out + quote;
}

// The bytes that draw one query.
struct Draw {
  unsigned form, constraint, values1, values2;
};

const char* const kOperators[] = {"<", "<=", ">", ">="};

// The WHERE clause of a draw, over the given expressions of the leading
// column, the entry number and the rowid; empty for none.
std::string Where(const Draw& d, const std::string& lead, const std::string& entry, const std::string& rowid) {
  const std::string op = kOperators[(d.constraint >> 3) & 3];
  const std::string op2 = kOperators[(d.constraint >> 5) & 3];
  switch (d.constraint & 7) {
    case 1: return " WHERE " + lead + " " + op + " ?3";
    case 2: return " WHERE " + entry + " " + op + " ?3";
    case 3: return " WHERE " + lead + " " + op + " ?3 AND " + entry + " " + op2 + " ?4";
    case 4: return " WHERE " + lead + " BETWEEN ?3 AND ?4";
    case 5: return " WHERE " + entry + " IN (?3, ?4)";
    case 6: return " WHERE " + lead + " = ?3";
    case 7: return " WHERE " + rowid + " " + op + " ?3";
    default: return "";
  }
}

std::string Tail(const Draw& d) {
  std::string tail;
  if ((d.form >> 5) & 1) tail += " LIMIT " + std::to_string(d.values1 % 7);
  if ((d.form >> 6) & 1) tail += ((d.form >> 5) & 1 ? " OFFSET " : " LIMIT -1 OFFSET ") + std::to_string(d.values2 % 5);
  return tail;
}

Value ValueOf(unsigned byte, unsigned length, const std::string& texts) {
  Value v;
  if ((byte & 1) != 0 || texts.empty()) {
    v.integer = static_cast<std::int64_t>(byte >> 1) - 20;
    return v;
  }
  v.isText = true;
  const std::size_t from = (byte >> 1) % texts.size();
  v.text = texts.substr(from, length % 8);
  return v;
}

// Every table and view of a file --sqlite wrote can be read whole.
void JudgeWrittenFile(const std::string& path, std::size_t rowCap) {
  Connection written(path, SQLITE_OPEN_READONLY, rowCap);
  Judge(written.Open());
  const Answer check = written.Run("PRAGMA integrity_check");
  Judge(check.ok && check.first.size() == 1 && check.first[0] == "ok");
  const Answer objects = written.Run("SELECT name FROM sqlite_schema WHERE type IN ('table', 'view')");
  Judge(objects.ok);
  for (const std::string& name : objects.first) Judge(written.Run("SELECT * FROM " + Quoted(name, '"')).ok);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int registered =
      sqlite3_auto_extension(reinterpret_cast<void (*)()>(sqlite3_ondrel_init));
  Judge(registered == SQLITE_OK);
  const auto chunks = fuzz::SplitChunks(data, size, 6);
  fuzz::WriteFileSet(chunks);
  const std::string& program = chunks[4];
  const std::string& texts = chunks[5];
  const std::string dir = fuzz::FuzzDir().string();
  // A table has a row per entry of the tree; no plan of these queries scans
  // it more than twice.
  const std::size_t rowCap = 2 * (chunks[2].size() + 1) + 16;

  {
    Connection db(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, rowCap);
    Judge(db.Open());
    const Value directory{true, 0, dir};
    db.Run("SELECT ispec, records, profiles, problem FROM ondrel_ispecs(?1)", {directory});
    const Answer profiles = db.Run("SELECT profile, ordinates FROM ondrel_profiles(?1, 'F')", {directory});
    if (profiles.ok && !profiles.first.empty()) {
      const unsigned choice = program.empty() ? 0 : static_cast<unsigned char>(program[0]);
      const Value profile{true, 0, profiles.first[choice % profiles.first.size()]};
      const bool named =
          profile.text.find('\0') == std::string::npos &&
          db.Run("CREATE VIRTUAL TABLE temp.t USING ondrel(" + Quoted(dir, '\'') + ", 'F', " +
                 Quoted(profile.text, '\'') + ")")
              .ok;
      // The leading column: the key's first ordinate, when the table has it.
      std::string lead = "record_number";
      if (named) {
        const Answer ordinates =
            db.Run("SELECT ordinates FROM ondrel_profiles(?1, 'F') WHERE profile = ?2", {directory, profile});
        const Answer columns = db.Run("SELECT name FROM pragma_table_info('t')");
        if (ordinates.ok && columns.ok && !ordinates.first.empty())
          for (const std::string& column : columns.first)
            if (!column.empty() && ordinates.first[0].rfind(column, 0) == 0) {
              lead = column;
              break;
            }
      }
      const char* const columns[] = {"entry_number", "*", "count(*)",
                                     "entry_number, record_number, purged, stored_key, entry_flag, shown"};
      const char* const orders[] = {"", " ORDER BY entry_number", " ORDER BY entry_number DESC", " ORDER BY 1"};
      for (std::size_t at = 1; at + 4 <= program.size() && at < 1 + 8 * 4; at += 4) {
        const Draw d{static_cast<unsigned char>(program[at]), static_cast<unsigned char>(program[at + 1]),
                     static_cast<unsigned char>(program[at + 2]), static_cast<unsigned char>(program[at + 3])};
        const bool table = named && (d.form & 1) == 0;
        const std::string from = table ? "t" : "ondrel(?1, 'F', ?2)";
        const std::string leadExpr = table ? Quoted(lead, '"') : "fields->>" + Quoted(lead, '\'');
        const std::vector<Value> values{directory, profile, ValueOf(d.values1, d.values2, texts),
                                        ValueOf(d.values2, d.values1, texts)};
        const std::string where = Where(d, leadExpr, "entry_number", "rowid");
        // Any shape: it ends, with rows or an error.
        db.Run(std::string("SELECT ") + columns[(d.form >> 1) & 3] + " FROM " + from + where +
                   orders[(d.form >> 3) & 3] + Tail(d),
               values);
        // In entry order: the same entries as SQLite's own pick from a full scan.
        const Answer direct =
            db.Run("SELECT entry_number FROM " + from + where + " ORDER BY entry_number" + Tail(d), values);
        const Answer whole = db.Run("WITH m AS MATERIALIZED (SELECT entry_number, " + leadExpr +
                                        " AS lead FROM " + from + ") SELECT entry_number FROM m" +
                                        Where(d, "lead", "entry_number", "entry_number") +
                                        " ORDER BY entry_number" + Tail(d),
                                    values);
        if (direct.ok && whole.ok) Judge(direct.first == whole.first);
      }
    }
  }

  // --sqlite, into the fuzzer's own folder, replacing the last run's file.
  const std::filesystem::path work = fuzz::FuzzDir() / "work";
  std::filesystem::create_directories(work);
  tool::Options options;
  options.mode = tool::Mode::Sqlite;
  options.directory = dir;
  options.sqliteOut = (work / "out.db").string();
  options.force = true;
  const int status = tool::SqliteMode(options);
  Judge(status == 0 || status == 1);
  JudgeWrittenFile(options.sqliteOut, std::size_t{1} << 20);
  return 0;
}
