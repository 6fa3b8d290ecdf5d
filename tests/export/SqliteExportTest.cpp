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
  sqlite3_stmt* statement = nullptr;
  std::vector<std::string> rows;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
  while (statement && sqlite3_step(statement) == SQLITE_ROW) {
    std::string row;
    for (int c = 0; c < sqlite3_column_count(statement); ++c) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
      row += (c > 0 ? "|" : "") + std::string(text ? text : "NULL");
    }
    rows.push_back(row);
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

// A leaf whose used length ends inside an entry hands out that entry too,
// numbered as the first entry of the next leaf, which the leaf table counts
// on from its own count: one number given twice.  The file is still written,
// every entry whose number rises past the last one written keeps its row,
// the one numbered twice is left out, and the profile is reported.
TEST(SqliteExportTest, AnEntryNumberedTwiceIsLeftOutAndTheFileIsWritten) {
  test::TempDir dir, out;
  const auto layout = test::BuildNumbered(dir.str(), "TWICE", 300);
  const auto& leaves = layout.index.keys.at(1).Leaves();
  ASSERT_GE(leaves.size(), 4u);
  constexpr int kEntryBytes = 1 + 6 + 4;
  writer::SetUsedLength(layout.files, 512, leaves[1], 2 + 3 * kEntryBytes + 1);
  const std::string db = out.str() + "/twice.db";
  const auto run = RunTool({"--sqlite", db, dir.str()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("The profile TWICE via BYNO is incomplete"), std::string::npos) << run.err;
  EXPECT_EQ(Query(db, "SELECT count(*) FROM TWICE"), std::vector<std::string>{"300"});
  // Leaf 2 hands out four entries, its fourth numbered like the first entry
  // of leaf 3, which is left out: every row after it is numbered one less
  // than the record it points at.
  const long before = static_cast<long>(layout.index.keys.at(1).leafEntries.at(0));
  const long second = static_cast<long>(layout.index.keys.at(1).leafEntries.at(1));
  const std::string twice = std::to_string(before + 4);
  EXPECT_EQ(Query(db, "SELECT record_number FROM TWICE_BYNO WHERE entry_number = " + twice),
            std::vector<std::string>{twice});
  EXPECT_EQ(Query(db, "SELECT count(*) FROM TWICE_BYNO WHERE record_number = " + std::to_string(before + second + 1)),
            std::vector<std::string>{"0"});
  const std::string rows = std::to_string(303 - second);
  EXPECT_EQ(Query(db, "SELECT count(*), max(entry_number), max(NO) FROM TWICE_BYNO"),
            std::vector<std::string>{rows + "|" + rows + "|300"});
}

// SQL text cannot hold a NUL: a profile or field name with one would cut the
// statement that names it short, and the run wrote nothing.  The NUL is
// written as the symbol for null (U+2400) and the file is written whole.
TEST(SqliteExportTest, ANameHoldingANulIsWrittenWithTheSymbolForNull) {
  test::TempDir dir, out;
  writer::IspecContent setup;
  setup.name = "NUL";
  setup.definition.fields = {{"NO", 1, "N", 6, 0}, {std::string("NA\0ME", 5), 2, "A", 8, 0}};
  for (int i = 1; i <= 5; ++i) setup.records.push_back({{std::to_string(i), "N" + std::to_string(i)}});
  setup.profiles = {{.name = std::string("BY\0NO", 5), .keyFields = {{"NO"}}}};
  writer::BuildIspec(dir.str(), setup);
  const std::string db = out.str() + "/nul.db";
  const auto run = RunTool({"--sqlite", db, dir.str()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Query(db, "SELECT count(*), max(\"NA\u2400ME\") FROM \"NUL_BY\u2400NO\""),
            std::vector<std::string>{"5|N5"});
}

// An ISPEC of more fields than a table can hold as columns keeps its records
// whole in one JSON column; the other ISPECs are written as ever.
TEST(SqliteExportTest, AnIspecOfTooManyFieldsIsWrittenAsJson) {
  test::TempDir dir, out;
  constexpr int kFields = 2100;
  writer::IspecContent wide;
  wide.name = "WIDE";
  for (int f = 1; f <= kFields; ++f)
    wide.definition.fields.push_back(
        {"F" + std::to_string(f), f, f % 3 == 0 ? "N" : "A", f % 3 == 0 ? 5 : 3, f % 6 == 0 ? 1 : 0});
  // Field f of record r: a number r * f for N fields, "r-f" cut to 3 for A.
  const auto value = [](int r, int f) {
    if (f % 6 == 0) return std::to_string(r * f / 10) + "." + std::to_string(r * f % 10);
    if (f % 3 == 0) return std::to_string(r * f);
    return (std::to_string(r) + "-" + std::to_string(f)).substr(0, 3);
  };
  for (int r = 1; r <= 4; ++r) {
    writer::RecordContent record;
    for (int f = 1; f <= kFields; ++f) record.values.push_back(value(r, f));
    record.purged = r == 3;
    wide.records.push_back(record);
  }
  wide.profiles = {{.name = "BYF3", .keyFields = {{"F3"}},
                    .select = [](std::uint32_t, const writer::RecordContent&) { return true; }}};
  writer::BuildIspec(dir.path(), wide);
  test::BuildNumbered(dir.str(), "NARROW", 3);

  const std::string db = out.str() + "/wide.db";
  const auto run = RunTool({"--sqlite", db, dir.str()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "Ondrel viewer: The ISPEC WIDE has 2100 fields, more than a table can hold as columns: each "
                     "record's fields are one JSON object in the column \"fields\".\n");
  EXPECT_EQ(Query(db, "SELECT name FROM pragma_table_info('WIDE')"),
            (std::vector<std::string>{"record_number", "purged", "fields"}));
  // The view, in key order (F3 is 3 * r), shows the table's rows.
  for (const int f : {1, 3, 6, 1998, 2099, 2100}) {
    std::vector<std::string> expected;
    for (int r = 1; r <= 4; ++r) expected.push_back(std::to_string(r) + "|" + (r == 3 ? "1" : "0") + "|" + value(r, f));
    EXPECT_EQ(Query(db, "SELECT record_number, purged, json_extract(fields, '$.F" + std::to_string(f) +
                            "') FROM WIDE_BYF3 ORDER BY entry_number"),
              expected)
        << f;
  }
  // Numbers are JSON numbers, so that SQL compares them as numbers.
  EXPECT_EQ(Query(db, "SELECT json_type(fields, '$.F3'), json_type(fields, '$.F6'), json_type(fields, '$.F1') "
                      "FROM WIDE WHERE record_number = 1"),
            std::vector<std::string>{"integer|real|text"});
  EXPECT_EQ(Query(db, "SELECT NO, NAME FROM NARROW_BYNO"),
            (std::vector<std::string>{"1|N0000001", "2|N0000002", "3|N0000003"}));
}

}  // namespace
}  // namespace ondrel
