// ondrel-export --sqlite run as a program, with the file it writes read back
// through SQLite: what a damaged or unusual database leaves in it, and how the
// run ends.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "database/Messages.h"
#include "tests/export/RunTool.h"
#include "tests/viewer/NumberedIspec.h"
#include "tools/writer/Damage.h"

namespace ondrel {
namespace {

using test::RunTool;

// The rows of a query, each row's values joined by "|", NULL as "NULL".
std::vector<std::string> Query(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::vector<std::string> rows;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    ADD_FAILURE() << "cannot open " << path;
    return rows;
  }
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
  } else {
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < sqlite3_column_count(statement); ++c) {
        const auto* text = sqlite3_column_text(statement, c);
        row += (c > 0 ? "|" : "") + (text ? std::string(reinterpret_cast<const char*>(text)) : "NULL");
      }
      rows.push_back(row);
    }
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

// Entries that point past the end of the data file keep their rows, whose
// fields are NULL; they are counted as records that could not be read, and
// the run fails, as the export does on the same set.
TEST(SqliteExportTest, EntriesPastTheDataFileAreCountedAndFailTheRun) {
  test::TempDir dir, out;
  const auto cut = test::BuildNumbered(dir.str(), "CUT", 100);
  test::BuildNumbered(dir.str(), "WHOLE", 5);
  writer::TruncateFile(cut.files, writer::FileKind::Data, 90 * 17 + 5);  // records 91 to 100 are gone
  const std::string db = out.str() + "/cut.db";
  const auto run = RunTool({"--sqlite", db, dir.str()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, std::string(msg::kFineTitle) + ": " + msg::kFine +
                         "\nOndrel viewer: The profile CUT via BYNO is incomplete: 10 data records could not be read.\n"
                         "Ondrel viewer: The profile CUT via BYNO misses records: the index is older than its data "
                         "file, or damaged: the index header counts 100 records, the data file holds 90.\n");
  EXPECT_EQ(Query(db, "SELECT count(*), min(record_number), max(record_number) FROM CUT"),
            std::vector<std::string>{"90|1|90"});
  EXPECT_EQ(Query(db, "SELECT count(*) FROM CUT_BYNO"), std::vector<std::string>{"100"});
  EXPECT_EQ(Query(db, "SELECT count(*), min(entry_number), max(entry_number) FROM CUT_BYNO WHERE purged IS NULL"),
            std::vector<std::string>{"10|91|100"});
  // The sound ISPEC beside it is written whole.
  EXPECT_EQ(Query(db, "SELECT count(*) FROM WHOLE_BYNO WHERE NO IS NOT NULL"), std::vector<std::string>{"5"});
}

}  // namespace
}  // namespace ondrel
