// --format json as an outside reader takes it: every line is parsed by
// Python's json module, and each object is held against the CSV export of
// the same records, field by field, under each start and limit option.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "tests/export/RunTool.h"
#include "tests/viewer/NumberedIspec.h"
#include "tools/writer/Damage.h"
#include "tools/writer/IspecBuilder.h"

namespace ondrel {
namespace {

using test::RunTool;

// Reads JSON Lines and the CSV rows of the same export.  Fails unless every
// line is one JSON object with no repeated member and no NaN or Infinity,
// and unless each member matches its CSV cell: null a blank cell, a number
// the cell's number, a string the cell itself.  Prints each object's members
// in order, ASCII only, one object a line.
constexpr const char* kReader = R"(import csv, json, sys
from decimal import Decimal
def no_constant(name): raise ValueError('not JSON: ' + name)
def pairs(items):
    keys = [k for k, _ in items]
    assert len(set(keys)) == len(keys), 'repeated member: %r' % keys
    return items
text = open(sys.argv[1], encoding='utf-8', newline='').read()
assert text == '' or text.endswith('\n'), 'last line not ended'
lines = text.split('\n')[:-1]
rows = list(csv.reader(open(sys.argv[2], encoding='utf-8', newline='')))
header, rows = rows[0], rows[1:]
assert len(lines) == len(rows), '%d objects, %d rows' % (len(lines), len(rows))
for line, row in zip(lines, rows):
    assert '\r' not in line
    items = json.loads(line, object_pairs_hook=pairs, parse_constant=no_constant)
    assert [k for k, _ in items][:1] == (['entry'] if header[0] == 'ENTRY' else [items[0][0]])
    assert len(items) == len(header), (items, header)
    for (name, value), name_in_csv, cell in zip(items, header, row):
        assert name == name_in_csv or name.startswith(name_in_csv + '_') or name_in_csv == 'ENTRY', name
        if value is None: assert cell.strip() == '', (name, cell)
        elif isinstance(value, bool): raise AssertionError(name)
        elif isinstance(value, (int, float)): assert Decimal(cell.strip()) == Decimal(repr(value)), (name, value, cell)
        else: assert value == cell, (name, value, cell)
    print(json.dumps(items))
)";

struct Reading {
  int status = -1;
  std::string out;  // the reader's lines, or what it said when it failed
};

Reading ReadJsonAgainstCsv(const std::vector<std::string>& args) {
  test::TempDir scratch;
  std::vector<std::string> json = args, csv = args;
  json.insert(json.begin(), {"--format", "json"});
  csv.insert(csv.begin(), {"--format", "csv"});
  const auto jsonRun = RunTool(json), csvRun = RunTool(csv);
  EXPECT_EQ(jsonRun.status, 0) << jsonRun.err;
  EXPECT_EQ(jsonRun.err, "");
  EXPECT_EQ(csvRun.status, 0) << csvRun.err;
  const std::string script = scratch.Write("reader.py", kReader), jsonPath = scratch.Write("out.jsonl", jsonRun.out),
                    csvPath = scratch.Write("out.csv", csvRun.out), outPath = scratch.str() + "/said";
  const std::string command =
      "/usr/bin/python3 " + script + " " + jsonPath + " " + csvPath + " > " + outPath + " 2>&1";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadAll(outPath)};
}

TEST(JsonExportTest, EachRecordIsOneObjectThatMatchesItsCsvRow) {
  test::TempDir dir;
  writer::IspecContent setup;
  setup.name = "ODD";
  // A name with a quote and a backslash, one with a byte of the code page's
  // upper half, a hidden field, and a name given twice.
  setup.definition.fields = {{"CODE", 1, "N", 5, 0},  {"Q\"T\\B", 2, "A", 10, 0}, {"[HID]", 3, "A", 2, 0},
                             {"PRICE", 4, "N", 7, 2}, {"CAF\xC9", 5, "A", 4, 0},   {"PRICE", 6, "N", 3, 0}};
  setup.records = {{{"12", "say \"hi\"", "h", "12.50", "A\\B", "7"}},
                   {{"-3", "t\tb\x01\x7F", "h", "-1.25", "\x80\xE9\x9F", ""}},
                   {{"", "", "h", "", "", "abc"}},
                   {{"99", "purged", "h", "1.00", "", "1"}, true},
                   {{"+42", "line\nfeed", "h", "0.5", "\\\"", "-0"}},
                   {{"00100", "x,y", "h", "1234.56", "\xFF", "007"}}};
  // Entries in the stored bytes' order: "     ", "   -3", "   12",
  // "   99" (purged), "  +42", "00100".
  setup.profiles = {{.name = "BYCODE",
                     .keyFields = {{"CODE"}},
                     .select = [](std::uint32_t, const writer::RecordContent&) { return true; }}};
  writer::BuildIspec(dir.str(), setup);

  const auto all = ReadJsonAgainstCsv({"--entry-numbers", dir.str(), "ODD", "BYCODE"});
  EXPECT_EQ(all.status, 0) << all.out;
  EXPECT_EQ(all.out,
            R"([["entry", 1], ["CODE", null], ["Q\"T\\B", ""], ["PRICE", null], ["CAF\u00c9", ""], ["PRICE_2", "abc"]])"
            "\n"
            R"([["entry", 2], ["CODE", -3], ["Q\"T\\B", "t\tb\u0001\u007f"], ["PRICE", -1.25], ["CAF\u00c9", "\u20ac\u00e9\u0178"], ["PRICE_2", null]])"
            "\n"
            R"([["entry", 3], ["CODE", 12], ["Q\"T\\B", "say \"hi\""], ["PRICE", 12.5], ["CAF\u00c9", "A\\B"], ["PRICE_2", 7]])"
            "\n"
            R"([["entry", 5], ["CODE", 42], ["Q\"T\\B", "line\nfeed"], ["PRICE", 0.5], ["CAF\u00c9", "\\\""], ["PRICE_2", 0]])"
            "\n"
            R"([["entry", 6], ["CODE", 100], ["Q\"T\\B", "x,y"], ["PRICE", 1234.56], ["CAF\u00c9", "\u00ff"], ["PRICE_2", 7]])"
            "\n");

  // The start and limit options pick the same records as for CSV (the
  // reader holds each object against its row; -1: at least one).
  const auto lineCount = [](const std::string& text) { return std::count(text.begin(), text.end(), '\n'); };
  const std::vector<std::pair<std::vector<std::string>, long>> picks = {
      {{"--from", "3", "--count", "2"}, 2},     // entries 3 and 5: the purged entry 4 is left out
      {{"--seek", "12"}, -1},
      {{"--find", "\u20AC"}, 1},                // the record holding 0x80
      {{"--find", "PURGED"}, 0},                // a purged record is never found
      {{"--count", "0", "--entry-numbers"}, 0}};
  for (const auto& [options, expected] : picks) {
    std::vector<std::string> args = options;
    args.insert(args.end(), {dir.str(), "ODD", "BYCODE"});
    const auto picked = ReadJsonAgainstCsv(args);
    EXPECT_EQ(picked.status, 0) << options[0] << ": " << picked.out;
    if (expected >= 0) EXPECT_EQ(lineCount(picked.out), expected) << options[0] << ": " << picked.out;
    else EXPECT_GT(lineCount(picked.out), 0) << options[0];
  }
}

// A record that could not be read keeps its line, every field null (CSV
// writes an empty row), and the export fails.
TEST(JsonExportTest, ARecordThatCouldNotBeReadIsAllNull) {
  test::TempDir dir;
  const auto layout = test::BuildNumbered(dir.str(), "CUT", 5);
  writer::TruncateFile(layout.files, writer::FileKind::Data, 3 * 17 + 5);  // records 4 and 5 are gone
  const auto run = RunTool({"--format", "json", dir.str(), "CUT", "BYNO"});
  EXPECT_EQ(run.out,
            "{\"NO\":1,\"NAME\":\"N0000001\"}\n{\"NO\":2,\"NAME\":\"N0000002\"}\n{\"NO\":3,\"NAME\":\"N0000003\"}\n"
            "{\"NO\":null,\"NAME\":null}\n{\"NO\":null,\"NAME\":null}\n");
  EXPECT_EQ(run.status, 1);
}

}  // namespace
}  // namespace ondrel
