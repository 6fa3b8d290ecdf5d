// ondrel-export --check on sound databases of every shape the writer makes
// and on every kind of damage it makes: each problem reported once, with its
// entry, node and record, and the check running to its end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "tests/export/RunTool.h"
#ifdef _WIN32
#include <winioctl.h>
#endif
#include "tests/viewer/NumberedIspec.h"
#include "check/CheckKeys.h"
#include "check/CheckRecords.h"
#include "check/ReportLines.h"
#include "tools/export/Output.h"
#include "tools/export/PrintedReport.h"
#include "tools/writer/Damage.h"
#include "tools/writer/DemoDatabase.h"
#include "tools/writer/ProfileText.h"

namespace ondrel {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using test::RunTool;

constexpr int kEntryBytes = 1 + 6 + 4;   // flag, key NO, pointer
constexpr int kRecordBytes = 6 + 8 + 2 + 1;

// What one check wrote, line by line.
struct Checked {
  int status = -1;
  std::vector<std::string> problems;  // without "Problem: "
  std::vector<std::string> warnings;  // without "Warning: "
  std::vector<std::string> notes;
  std::vector<std::string> unjudged;  // without "Not judged: "
  std::vector<std::string> summaries;
  std::int64_t notShown = 0;
  std::string total;
};

// Runs the check and sorts its lines, after checking that no problem
// repeats and that the summaries and the total count them.
Checked Check(const std::vector<std::string>& args) {
  std::vector<std::string> command{"--check"};
  command.insert(command.end(), args.begin(), args.end());
  const auto run = RunTool(command);
  Checked c;
  c.status = run.status;
  std::int64_t counted = 0;
  for (const std::string& line : test::Lines(run.out)) {
    if (line.rfind("Problem: ", 0) == 0) c.problems.push_back(line.substr(9));
    if (line.rfind("Warning: ", 0) == 0) c.warnings.push_back(line.substr(9));
    if (line.rfind("Note: ", 0) == 0) c.notes.push_back(line.substr(6));
    if (line.rfind("Not judged: ", 0) == 0) c.unjudged.push_back(line.substr(12));
    if (line.rfind("Summary: ", 0) == 0) {
      c.summaries.push_back(line);
      counted += std::stoll(line.substr(line.rfind(' ') + 1));
      const std::string notShown = "problems not shown ";
      const std::size_t at = line.find(notShown);
      EXPECT_NE(at, std::string::npos) << line;
      if (at != std::string::npos) c.notShown += std::stoll(line.substr(at + notShown.size()));
    }
  }
  const auto lines = test::Lines(run.out);
  c.total = lines.empty() ? "" : lines.back();
  EXPECT_EQ(c.total.rfind("Total: ", 0), 0u) << run.out;
  const auto shownAndNot = static_cast<std::int64_t>(c.problems.size()) + c.notShown;
  EXPECT_EQ(c.total.substr(c.total.rfind(' ') + 1), std::to_string(shownAndNot)) << run.out;
  EXPECT_THAT(c.total, HasSubstr(", warnings " + std::to_string(c.warnings.size()) + ", not judged " +
                                 std::to_string(c.unjudged.size()) + ", ")) << run.out;
  EXPECT_EQ(std::set<std::string>(c.problems.begin(), c.problems.end()).size(), c.problems.size()) << run.out;
  EXPECT_LE(counted, shownAndNot) << run.out;
  EXPECT_EQ(c.status, shownAndNot > 0 ? 1 : c.unjudged.empty() ? 0 : 3) << run.out;
  return c;
}

MATCHER_P(Holds, line, "") { return std::find(arg.begin(), arg.end(), line) != arg.end(); }

// 40 numbered records, all in the key, and a purged 41st that is not, in a
// tree of four levels: leaves of 4 entries, interior nodes of 3.  Leaf k
// holds entries (and records) 4k + 1 to 4k + 4.
class CheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writer::IspecContent setup;
    setup.name = "TREE";
    setup.definition.fields = test::NumberedFields();
    for (long i = 1; i <= 41; ++i) {
      const std::string line = test::NumberedLine(i);
      setup.records.push_back({{line.substr(0, 6), line.substr(7, 8), "zz"}, i == 41});
    }
    setup.profiles = {{.name = "BYNO", .keyFields = {{"NO"}}, .maxLeafFill = 4, .maxInteriorFill = 3}};
    layout = writer::BuildIspec(dir.str(), setup);
    tree = layout.index.keys[1];
    nodes = std::filesystem::file_size(layout.files.Index()) / 512;
  }

  Checked Run() {
    Checked c = Check({dir.str(), "TREE", "BYNO"});
    summary = c.summaries.empty() ? "" : c.summaries.back();
    return c;
  }
  std::vector<std::string> Problems() { return Run().problems; }

  std::string Node(std::uint32_t n) const { return "Node " + std::to_string(n); }
  std::string Outside() const {
    return " lies outside the tree nodes of the index file (2 to " + std::to_string(nodes) + ").";
  }
  // "Entry 5 (node 7, record 5)"
  std::string Entry(long entry, std::uint32_t node, long record) const {
    return "Entry " + std::to_string(entry) + " (node " + std::to_string(node) + ", record " + std::to_string(record) +
           ")";
  }
  std::uint32_t Leaf(int k) const { return tree.Leaves()[static_cast<std::size_t>(k)]; }

  test::TempDir dir;
  writer::IspecLayout layout;
  writer::TreeLayout tree;
  std::uint64_t nodes = 0;
  std::string summary;
};

// A fixture of two 6-byte fields, A and B, with a profile keyed on A (and
// any more profiles given).  Record i holds A = i and B = 37i mod 61 (never
// equal to A), WIDE = "w" followed by i.
constexpr int kTwoFieldsRecord = 2 + 6 + 6 + 8 + 1;
writer::IspecLayout TwoFields(const std::filesystem::path& dir, const std::string& name,
                              const std::vector<writer::KeyField>& keyFields,
                              const std::vector<writer::ProfileDef>& more = {}) {
  writer::IspecContent s;
  s.name = name;
  s.definition.fields = {{"GROUP", 1, "A", 2, 0}, {"A", 2, "N", 6, 0}, {"B", 3, "N", 6, 0}, {"WIDE", 4, "A", 8, 0}};
  for (int i = 1; i <= 60; ++i) {
    char a[8], b[8];
    std::snprintf(a, sizeof a, "%06d", i);
    std::snprintf(b, sizeof b, "%06d", (i * 37) % 61);
    s.records.push_back({{"G" + std::to_string(i % 3), a, b, "w" + std::to_string(i)}});
  }
  s.profiles = {{.name = "KEYED", .keyFields = keyFields, .maxLeafFill = 5}};
  s.profiles.insert(s.profiles.end(), more.begin(), more.end());
  return writer::BuildIspec(dir, s);
}

TEST_F(CheckTest, SoundDatabase) {
  ASSERT_EQ(tree.depth, 4);
  const Checked c = Run();
  EXPECT_TRUE(c.problems.empty());
  EXPECT_TRUE(c.notes.empty());
  EXPECT_EQ(summary,
            "Summary: entries 40, leaves 10, depth 4, purged records 0, header record count 41, data records 41, "
            "active records 40, unreached records 0, warnings 0, not judged 0, problems not shown 0, problems 0");
  EXPECT_EQ(c.total, "Total: ISPECs 1, profiles 1, not opened 0, warnings 0, not judged 0, problems 0");
}

TEST_F(CheckTest, ChildPointersOutsideTheFileAndBackToAnAncestor) {
  const std::uint32_t top = tree.levels[2][0];  // over level-1 nodes 0, 1 and 2
  const auto& level1 = tree.levels[1];
  EXPECT_EQ(writer::ZeroChildPointer(layout.files, 1, top, 0), level1[0]);
  const std::uint32_t past = writer::ChildPointerPastEnd(layout.files, 1, top, 1);
  EXPECT_EQ(writer::SetEntryPointer(layout.files, 1, level1[2], 0, tree.root), Leaf(6));
  const auto problems = Problems();
  EXPECT_THAT(problems, Holds(Node(top) + ", entry 1: its child pointer 0" + Outside()));
  EXPECT_THAT(problems, Holds(Node(top) + ", entry 2: its child pointer " + std::to_string(past) + Outside()));
  EXPECT_THAT(problems, Holds(Node(level1[2]) + ", entry 1: its child pointer " + std::to_string(tree.root) +
                              " leads back to a node on the path from the root (a cycle)."));
  // Lost: leaves 0 to 5 under the two cut entries and leaf 6 under the cycle.
  EXPECT_THAT(problems, Holds("28 active records are reached by no entry; the first 10: 1, 2, 3, 4, 5, 6, 7, 8, 9 "
                              "and 10."));
  EXPECT_EQ(problems.size(), 4u);
  EXPECT_EQ(summary.substr(0, 36), "Summary: entries 12, leaves 3, depth");
}

TEST_F(CheckTest, SharedChildUsedLengthAndLevel) {
  const auto& level1 = tree.levels[1];
  writer::SetEntryPointer(layout.files, 1, level1[1], 0, Leaf(0));  // reached twice
  writer::SetUsedLength(layout.files, 512, Leaf(4), 1000);
  writer::PatchBytes(layout.files, writer::FileKind::Index, (Leaf(5) - 1ull) * 512 + 510, "\x02");
  const auto problems = Problems();
  EXPECT_THAT(problems, Holds(Node(level1[1]) + ", entry 1: its child pointer " + std::to_string(Leaf(0)) +
                              " leads to a node already reached from node " + std::to_string(level1[0]) +
                              ", entry 1 of the tree of profile BYNO."));
  EXPECT_THAT(problems, Holds(Node(Leaf(4)) + ": its used length 1000 is not 2 to 510 bytes of whole " +
                              std::to_string(kEntryBytes) + "-byte entries; its entries are not read."));
  EXPECT_THAT(problems, Holds(Node(Leaf(5)) + ": its level 2 lies under node " + std::to_string(level1[1]) +
                              " of level 1; it is read as level 0."));
}

// What follows from a node found bad is not reported again for each entry:
// a wrong level word is one problem, a wrong used length two (the node and
// the records no entry reaches), and a child pointer into another tree of
// the same key width its parent's entry, the first key out of order and the
// records left out, with the rest counted in a note.  A node reached from
// two trees is reported by the second with the path of the first.
TEST_F(CheckTest, WhatFollowsFromABadNodeIsNotReportedEntryByEntry) {
  writer::PatchBytes(layout.files, writer::FileKind::Index, (tree.levels[1][1] - 1ull) * 512 + 510, "\x02");
  EXPECT_EQ(Problems(), std::vector<std::string>{Node(tree.levels[1][1]) + ": its level 2 lies under node " +
                                                 std::to_string(tree.levels[2][0]) +
                                                 " of level 2; it is read as level 1."});
  writer::PatchBytes(layout.files, writer::FileKind::Index, (tree.levels[1][1] - 1ull) * 512 + 510, "\x01");

  writer::SetUsedLength(layout.files, 512, Leaf(4), 2 + 3 * kEntryBytes + 1);
  EXPECT_EQ(Problems(), (std::vector<std::string>{
                            Node(Leaf(4)) + ": its used length 36 is not 2 to 510 bytes of whole 11-byte entries; its "
                            "entries are not read.",
                            "4 active records are reached by no entry: 17, 18, 19 and 20."}));

  test::TempDir other;
  const auto two =
      TwoFields(other.path(), "TWO", {{"A"}}, {{.name = "KEYB", .keyFields = {{"B"}}, .maxLeafFill = 5}});
  const std::uint32_t foreign = two.index.keys[2].Leaves()[3];  // B 16 to 20 of records 40, 12, 45, 17 and 50
  EXPECT_TRUE(Check({other.str()}).notes.empty());  // the descriptions and key 0's tree count as reached
  writer::SetEntryPointer(two.files, 1, two.index.keys[1].root, 4, foreign);
  Checked c = Check({other.str(), "TWO", "KEYED"});
  const std::string root = std::to_string(two.index.keys[1].root);
  EXPECT_EQ(c.problems, (std::vector<std::string>{
                            "Entry 21 (node " + std::to_string(foreign) + ", record 40): its key \"000016\" comes "
                            "before the key \"000020\" of entry 20 (node " +
                            std::to_string(two.index.keys[1].Leaves()[3]) + ").",
                            "Node " + root + ", entry 5: its child node " + std::to_string(foreign) +
                            " begins with the key \"000016\", before \"000020\", the key of entry 4 (the tree's "
                            "interior keys carry their child's last key).",
                            "5 active records are reached by no entry: 21, 22, 23, 24 and 25."}));
  // Five keys unlike their records, two records reached twice from there
  // and three reached from there after the entries that own them.
  EXPECT_THAT(c.notes, Holds("10 problems of the entries below node " + std::to_string(foreign) +
                             " (keys unlike their records, records other entries reach) follow from the problem of "
                             "node " + root + ", entry 5, and are not listed."));

  // With every profile checked, KEYB reaches its own leaf after KEYED did:
  // it names KEYED's path, and the leaf KEYED lost is counted as reached by
  // no tree.
  ASSERT_EQ(two.index.keys[2].depth, 2);
  c = Check({other.str(), "TWO"});
  EXPECT_THAT(c.problems, Holds("Node " + std::to_string(two.index.keys[2].root) + ", entry 4: its child pointer " +
                                std::to_string(foreign) + " leads to a node of another tree, reached from node " +
                                root + ", entry 5 of the tree of profile KEYED; it is not followed."));
  EXPECT_THAT(c.notes, Holds("1 of the index file's " + std::to_string(two.index.nodeCount - 1) +
                             " nodes after the header are reached by no tree (free nodes, perhaps)."));
}

// At most --max-problems problems of a profile are printed (100 unless
// given, 0 for all); the summary and the total count the rest.
TEST(CheckCapTest, ProblemsPastTheCapAreCountedNotPrinted) {
  test::TempDir dir;
  const auto changed = TwoFields(dir.path(), "CHANGED", {{"A"}});
  for (std::uint32_t r = 1; r <= 60; r += 2)
    writer::SetRecordBytes(changed.files, kTwoFieldsRecord, r, 2, "9" + std::to_string(10000 + r));
  Checked c = Check({"--max-problems", "4", dir.str(), "CHANGED", "KEYED"});
  EXPECT_EQ(c.problems.size(), 4u);
  EXPECT_EQ(c.notShown, 26);
  ASSERT_EQ(c.summaries.size(), 1u);
  EXPECT_THAT(c.summaries.back(), HasSubstr(", problems not shown 26, problems 30"));
  EXPECT_EQ(Check({"--max-problems", "0", dir.str(), "CHANGED", "KEYED"}).problems.size(), 30u);

  const auto json = RunTool({"--check", "--format", "json", "--max-problems", "1", dir.str(), "CHANGED"});
  EXPECT_EQ(json.status, 1);
  const auto lines = test::Lines(json.out);
  ASSERT_EQ(lines.size(), 4u) << json.out;
  EXPECT_THAT(lines[2], HasSubstr("\"problems_not_shown\":29,\"problems\":30}"));
  EXPECT_THAT(lines[3], HasSubstr("\"problems\":30}"));
  EXPECT_EQ(RunTool({"--check", "--max-problems", "-1", dir.str()}).status, 2);
  EXPECT_EQ(RunTool({"--strict", dir.str(), "CHANGED", "KEYED"}).status, 2);
}

TEST_F(CheckTest, TruncatedFilesAndRecordNumbersOutsideTheData) {
  writer::SetEntryPointer(layout.files, 1, Leaf(0), 1, 0);
  writer::TruncateFile(layout.files, writer::FileKind::Data, 40 * kRecordBytes - 5);
  writer::TruncateFile(layout.files, writer::FileKind::Index, nodes * 512 + 100);
  const Checked c = Run();
  const auto& problems = c.problems;
  EXPECT_THAT(problems, Holds("The index file holds " + std::to_string(nodes * 512 + 100) +
                              " bytes, not a whole number of 512-byte nodes."));
  EXPECT_THAT(problems, Holds("The data file holds " + std::to_string(40 * kRecordBytes - 5) +
                              " bytes, not a whole number of " + std::to_string(kRecordBytes) + "-byte records."));
  EXPECT_THAT(problems, Holds("Entry 2 (node " + std::to_string(Leaf(0)) +
                              "): its record number 0 lies outside the data file, which holds 39 records."));
  EXPECT_THAT(problems, Holds("Entry 40 (node " + std::to_string(Leaf(9)) +
                              "): its record number 40 lies outside the data file, which holds 39 records."));
  EXPECT_THAT(problems, Holds("1 active record is reached by no entry: 2."));
  EXPECT_EQ(problems.size(), 5u);
  EXPECT_THAT(c.unjudged, Holds("The index header of TREE counts 41 records; its data file holds 39."));
}

// Whole entries swapped, so that each key still matches its record: within
// a leaf, and across the boundary of two leaves, which also leaves the first
// leaf's last key unlike its parent's entry for it.
TEST_F(CheckTest, KeysSwappedWithinALeafAndAcrossALeafBoundary) {
  writer::SwapEntries(layout.files, 1, Leaf(2), 1, Leaf(2), 2);  // entries 10 and 11
  writer::SwapEntries(layout.files, 1, Leaf(5), 3, Leaf(6), 0);  // entries 24 and 25
  const auto problems = Problems();
  EXPECT_THAT(problems, Holds(Entry(11, Leaf(2), 10) + ": its key \"000010\" comes before the key \"000011\" of "
                              "entry 10 (node " + std::to_string(Leaf(2)) + ")."));
  EXPECT_THAT(problems, Holds(Entry(25, Leaf(6), 24) + ": its key \"000024\" comes before the key \"000025\" of "
                              "entry 24 (node " + std::to_string(Leaf(5)) + ")."));
  EXPECT_THAT(problems, Holds(Node(tree.levels[1][1]) + ", entry 3: its key \"000024\" lies before \"000025\", the "
                              "last key of its child node " + std::to_string(Leaf(5)) +
                              " (the tree's interior keys carry their child's last key)."));
  EXPECT_EQ(problems.size(), 3u);
}

// A key changed in the index, and a record changed in the data file, each
// in a way that keeps the keys in order.
TEST_F(CheckTest, StoredKeyDiffersFromItsRecord) {
  writer::SetEntryKey(layout.files, 1, Leaf(3), 2, "000014");  // entry 15
  writer::PatchBytes(layout.files, writer::FileKind::Data, 29 * kRecordBytes, "000300");  // record 30
  const auto problems = Problems();
  EXPECT_THAT(problems, Holds(Entry(15, Leaf(3), 15) + ": its key differs from the record's fields: NO \"000014\" in "
                              "the key, \"000015\" in the record."));
  EXPECT_THAT(problems, Holds(Entry(30, Leaf(7), 30) + ": its key differs from the record's fields: NO \"000030\" in "
                              "the key, \"000300\" in the record."));
  EXPECT_EQ(problems.size(), 2u);
}

// Entry 18 and entry 1 made to point at records other entries point at
// (the first before its twin in key order, the second after).
TEST_F(CheckTest, TwoEntriesForOneRecord) {
  writer::SetEntryPointer(layout.files, 1, Leaf(4), 1, 12);
  writer::SetEntryPointer(layout.files, 1, Leaf(0), 0, 35);
  const auto problems = Problems();
  EXPECT_THAT(problems, Holds(Entry(18, Leaf(4), 12) + ": entry 12 (node " + std::to_string(Leaf(2)) +
                              ") points at the same record."));
  EXPECT_THAT(problems, Holds(Entry(35, Leaf(8), 35) + ": entry 1 (node " + std::to_string(Leaf(0)) +
                              ") points at the same record."));
  EXPECT_THAT(problems, Holds(Entry(18, Leaf(4), 12) + ": its key differs from the record's fields: NO \"000018\" in "
                              "the key, \"000012\" in the record."));
  EXPECT_THAT(problems, Holds(Entry(1, Leaf(0), 35) + ": its key differs from the record's fields: NO \"000001\" in "
                              "the key, \"000035\" in the record."));
  EXPECT_THAT(problems, Holds("2 active records are reached by no entry: 1 and 18."));
  EXPECT_EQ(problems.size(), 5u);
  EXPECT_THAT(summary, HasSubstr("purged records 0, header record count 41, data records 41, active records 40, "
                                 "unreached records 2, warnings 0, not judged 0, problems not shown 0, problems 5"));
}

// An entry that reaches a purged record is what a live file holds between a
// purge and the rewrite of the tree: a warning, counted apart, that makes a
// problem only under --strict.
TEST_F(CheckTest, EntryForAPurgedRecordIsAWarning) {
  writer::PurgeRecord(layout.files, kRecordBytes, 30);
  const std::string line = Entry(30, Leaf(7), 30) + ": its record is purged.";
  Checked c = Run();
  EXPECT_EQ(c.status, 0);
  EXPECT_EQ(c.warnings, std::vector<std::string>{line});
  EXPECT_THAT(summary, HasSubstr("purged records 1, header record count 41, data records 41, active records 39, "
                                 "unreached records 0, warnings 1, not judged 0, problems not shown 0, problems 0"));
  c = Check({"--strict", dir.str(), "TREE", "BYNO"});
  EXPECT_EQ(c.status, 1);
  EXPECT_EQ(c.problems, std::vector<std::string>{line});
  EXPECT_TRUE(c.warnings.empty());
}

TEST_F(CheckTest, ActiveRecordLeftOutOfTheTree) {
  writer::RemoveEntry(layout.files, 1, Leaf(6), 0);  // record 25
  const Checked c = Run();
  EXPECT_EQ(c.problems, std::vector<std::string>{"1 active record is reached by no entry: 25."});
  EXPECT_EQ(c.notes, std::vector<std::string>{"The profile has 39 entries for 40 active records."});
  EXPECT_TRUE(c.unjudged.empty());
}

TEST_F(CheckTest, InteriorKeyBreaksItsTreesConvention) {
  writer::SetEntryKey(layout.files, 1, tree.levels[1][0], 1, "000007");  // the entry for leaf 1, last key 000008
  EXPECT_EQ(Problems(), std::vector<std::string>{Node(tree.levels[1][0]) + ", entry 2: its key \"000007\" lies "
                                                 "before \"000008\", the last key of its child node " +
                                                 std::to_string(Leaf(1)) +
                                                 " (the tree's interior keys carry their child's last key)."});
}

writer::IspecContent Shaped(const std::string& name, int count, int nodeSize);  // below

// A key deleted from a leaf stays in the interior entry above it, which
// still bounds its child's keys: under either convention that is sound, and
// only the records left out are problems.
TEST_F(CheckTest, InteriorKeysLeftBehindByDeletesAreSound) {
  for (const int k : {1, 3, 5}) writer::RemoveEntry(layout.files, 1, Leaf(k), 3);  // the last keys: 8, 16, 24
  EXPECT_EQ(Problems(), std::vector<std::string>{"3 active records are reached by no entry: 8, 16 and 24."});

  test::TempDir small;
  const auto shaped = writer::BuildIspec(small.path(), Shaped("SMALL", 700, 512));
  const auto& first = shaped.index.keys[4];  // FIRSTKEY: leaves of 4, interior keys the first of their child
  std::vector<std::uint32_t> removed;
  for (const int k : {2, 5, 9}) {
    writer::RemoveEntry(shaped.files, 4, first.Leaves()[static_cast<std::size_t>(k)], 0);
    removed.push_back(shaped.entryRecords[4][static_cast<std::size_t>(4 * k)]);
  }
  std::sort(removed.begin(), removed.end());
  const Checked c = Check({small.str(), "SMALL", "FIRSTKEY"});
  EXPECT_EQ(c.problems, std::vector<std::string>{"3 active records are reached by no entry: " +
                                                 std::to_string(removed[0]) + ", " + std::to_string(removed[1]) +
                                                 " and " + std::to_string(removed[2]) + "."});
}

TEST_F(CheckTest, IncompleteIspecIsReportedAndTheViewersMessageShown) {
  writer::RemoveFile(layout.files, writer::FileKind::Index);
  const auto run = RunTool({"--check", dir.str(), "TREE", "BYNO"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("OOPS!  I'm not all present.: "), std::string::npos);
  const auto lines = test::Lines(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  EXPECT_THAT(lines[0], HasSubstr("Problem: The ISPEC TREE cannot be opened: OOPS!  I'm not all present.: The "
                                  "runtime database is incomplete.  You are missing all or part of "));
  EXPECT_EQ(lines[1], "Total: ISPECs 1, profiles 0, not opened 1, warnings 0, not judged 0, problems 1");
}

TEST_F(CheckTest, JsonCarriesTheSameContent) {
  writer::SwapEntries(layout.files, 1, Leaf(2), 1, Leaf(2), 2);
  const auto run = RunTool({"--check", "--format", "json", dir.str(), "TREE"});
  EXPECT_EQ(run.status, 1);
  const std::string leaf = std::to_string(Leaf(2));
  EXPECT_EQ(test::Lines(run.out),
            (std::vector<std::string>{
                "{\"type\":\"profile\",\"ispec\":\"TREE\",\"profile\":\"BYNO\"}",
                "{\"type\":\"problem\",\"ispec\":\"TREE\",\"profile\":\"BYNO\",\"kind\":\"key-order\",\"entry\":11,"
                "\"node\":" + leaf + ",\"record\":10,\"text\":\"Entry 11 (node " + leaf + ", record 10): its key "
                "\\\"000010\\\" comes before the key \\\"000011\\\" of entry 10 (node " + leaf + ").\"}",
                "{\"type\":\"summary\",\"ispec\":\"TREE\",\"profile\":\"BYNO\",\"entries\":40,\"leaves\":10,"
                "\"depth\":4,\"purged_records\":0,\"header_record_count\":41,\"data_records\":41,"
                "\"active_records\":40,\"unreached_records\":0,\"warnings\":0,\"not_judged\":0,\"problems_not_shown\":0,"
                "\"problems\":1}",
                "{\"type\":\"total\",\"ispecs\":1,\"profiles\":1,\"not_opened\":0,\"warnings\":0,"
                "\"not_judged\":0,"
                "\"problems\":1}"}));
}

TEST(CheckReportTest, JsonStringsEscapeWhatJsonCannotHoldAsItStands) {
  using check::JsonString;
  EXPECT_EQ(JsonString("a \"b\" \\ c"), "\"a \\\"b\\\" \\\\ c\"");
  EXPECT_EQ(JsonString(std::string("\n\x01\x7f", 3)), "\"\\u000a\\u0001\\u007f\"");
  EXPECT_EQ(JsonString("Mo\xC3\xA9 \xE2\x82\xAC"), "\"Mo\xC3\xA9 \xE2\x82\xAC\"");  // valid UTF-8 stays
  // A Latin-1 byte, a cut sequence and an overlong one are no UTF-8.
  EXPECT_EQ(JsonString("\xE9t\xE2\x82 \xC0\xAF"), "\"\\u00e9t\\u00e2\\u0082 \\u00c0\\u00af\"");
  EXPECT_EQ(check::ReportText("\x80\x1b"), "\xE2\x82\xAC\\x1B");  // the euro sign, an escaped ESC
}

// A numbered ISPEC of `count` records whose profiles each take a shape.
writer::IspecContent Shaped(const std::string& name, int count, int nodeSize) {
  writer::IspecContent s;
  s.name = name;
  s.nodeSize = nodeSize;
  s.definition.fields = {{"NO", 1, "N", 6, 0}, {"GROUP", 2, "A", 3, 0}, {"DATE", 3, "D", 8, 0},
                         {"DESCRIPTION", 4, "A", 12, 0}};
  for (int i = 1; i <= count; ++i) {
    char no[8], date[12];
    std::snprintf(no, sizeof no, "%06d", i);
    std::snprintf(date, sizeof date, "2019%02d%02d", 1 + i % 12, 1 + (i * 7) % 28);
    s.records.push_back({{no, "G" + std::to_string(i % 5), date, "Item " + std::to_string(i % 37)}, i % 9 == 4});
  }
  const int leaf = nodeSize == 512 ? 5 : 0;
  s.profiles = {
      {.name = "BYNO", .keyFields = {{"NO"}}, .maxLeafFill = leaf, .maxInteriorFill = leaf ? 3 : 0},
      {.name = "DATEDOWN", .keyFields = {{"GROUP"}, {"DATE", true}, {"NO"}}, .entryTail = 8},
      {.name = "DATEPLAIN", .keyFields = {{"GROUP"}, {"DATE", true, false, true}, {"NO"}}, .maxLeafFill = leaf},
      {.name = "FIRSTKEY", .keyFields = {{"DESCRIPTION"}, {"NO", true}}, .maxLeafFill = 4, .maxInteriorFill = 2,
       .interiorKey = writer::InteriorKey::FirstOfChild},
      {.name = "FLAGGED", .keyFields = {{"NO"}},
       .entryFlag = [](std::uint32_t n, const writer::RecordContent&) -> std::uint8_t { return n % 3 ? 'Y' : 'N'; }},
      {.name = "GROUPA",
       .keyFields = {{"NO"}},
       .conditions = {{"GROUP", '0', ' ', "G1"}},
       .select = [](std::uint32_t, const writer::RecordContent& r) { return !r.purged && r.values[1] == "G1"; }},
  };
  return s;
}

// Sound databases of every shape the writer makes report nothing: both node
// sizes, tails of 4 and 8, descending parts inverted and as written, deep
// and shallow trees, either interior-key convention, entries not flagged
// "Y", purged records, a profile with conditions, and the demo database.
TEST(CheckShapesTest, SoundDatabasesReportNothing) {
  test::TempDir dir;
  writer::BuildIspec(dir.path(), Shaped("SMALL", 700, 512));
  writer::BuildIspec(dir.path(), Shaped("WIDE", 3000, 2048));
  writer::BuildIspec(dir.path(), Shaped("ONE", 1, 512));
  writer::BuildIspec(dir.path(), Shaped("NONE", 0, 512));
  Checked c = Check({dir.str()});
  EXPECT_TRUE(c.problems.empty()) << c.problems.front();
  EXPECT_TRUE(c.notes.empty()) << c.notes.front();
  EXPECT_EQ(c.total, "Total: ISPECs 4, profiles 24, not opened 0, warnings 0, not judged 0, problems 0");

  test::TempDir demo;
  writer::BuildDemoDatabase(demo.path());
  c = Check({demo.str()});
  EXPECT_TRUE(c.problems.empty()) << c.problems.front();
  EXPECT_TRUE(c.notes.empty()) << c.notes.front();
  EXPECT_EQ(c.total, "Total: ISPECs 3, profiles 8, not opened 0, warnings 0, not judged 0, problems 0");
}

// Damage to the shapes above: a descending part inverted in the key is
// shown as written, and a tree whose interior entries carry their child's
// first key is judged by that convention.
TEST(CheckShapesTest, DescendingPartsAndTheFirstKeyConvention) {
  test::TempDir dir;
  const auto layout = writer::BuildIspec(dir.path(), Shaped("SMALL", 700, 512));
  // DATEDOWN: GROUP, DATE inverted, NO; entries of 1 + 17 + 8 bytes.  Its
  // first entry is that of the G0 record with the latest date.
  const auto& down = layout.index.keys[2];
  const std::uint32_t record = layout.entryRecords[2][0];
  char number[8];
  std::snprintf(number, sizeof number, "%06u", record);
  std::string key = "G0 " + std::string(8, '\0') + number;
  for (int i = 0; i < 8; ++i) key[3 + i] = static_cast<char>(255 - "20191231"[i]);  // later than any date
  writer::SetEntryKey(layout.files, 2, down.Leaves()[0], 0, key);
  // FIRSTKEY: the root's second entry carries its child's first key.
  const auto& first = layout.index.keys[4];
  writer::SetEntryKey(layout.files, 4, first.root, 1, "Zzz" + std::string(9, ' ') + std::string(6, '\xff'));
  const Checked c = Check({dir.str(), "SMALL"});
  ASSERT_EQ(c.problems.size(), 2u) << c.problems.front();
  EXPECT_THAT(c.problems[0], HasSubstr("Entry 1 (node " + std::to_string(down.Leaves()[0]) + ", record " +
                                       std::to_string(record) + "): its key differs from the record's fields: DATE "
                                       "\"20191231\" in the key, \""));
  EXPECT_THAT(c.problems[1], HasSubstr("Node " + std::to_string(first.root) + ", entry 2: its key \"Zzz"));
  const std::uint32_t child = first.levels[static_cast<std::size_t>(first.depth - 2)][1];
  EXPECT_THAT(c.problems[1], HasSubstr(", the first key of its child node " + std::to_string(child) +
                                       " (the tree's interior keys carry their child's first key)."));
}

// The convention of a tree's interior keys is the one more of its entries
// follow alone; a tie, or entries that follow neither, judge nothing.
TEST(InteriorKeysTest, TheConventionIsWhatMostEntriesFollowAlone) {
  const unsigned char a[] = "AA", b[] = "BB", c[] = "CC";
  auto link = [](const unsigned char* key, const unsigned char* first, const unsigned char* last) {
    return check::InteriorLink{.node = 9, .position = 2, .key = key, .child = 12, .childFirst = first, .childLast = last};
  };
  SharedState twoBytes;
  twoBytes.KeyLength = 2;
  const KeyFields layout{twoBytes};  // no definition: keys shown as they are stored
  using Convention = check::InteriorKeys::Convention;

  check::InteriorKeys first;  // two follow the first key, one breaks both, one child holds one key
  for (const auto& l : {link(a, a, b), link(b, b, c), link(c, a, b), link(a, a, a)}) first.Count(l, 2);
  EXPECT_EQ(first.Decide(), Convention::FirstOfChild);
  EXPECT_EQ(first.Breaks(), 1);
  EXPECT_EQ(first.Problem(link(a, a, b), layout, 2), "");
  EXPECT_EQ(first.Problem(link(b, a, b), layout, 2),
            "Node 9, entry 2: its key \"BB\" differs from \"AA\", the first key of its child node 12 (the tree's "
            "interior keys carry their child's first key).");

  check::InteriorKeys tie;
  for (const auto& l : {link(a, a, b), link(c, b, c), link(a, b, c)}) tie.Count(l, 2);
  EXPECT_EQ(tie.Decide(), Convention::Unknown);
  EXPECT_EQ(tie.Breaks(), 0);
  EXPECT_EQ(tie.Problem(link(a, b, c), layout, 2), "");
  EXPECT_EQ(tie.Undecided(),
            "The interior keys are not judged: 1 carry their child's first key and 1 its last, 1 neither, which "
            "shows no convention.");

  check::InteriorKeys alike;  // every child holds one key: nothing to tell, nothing to say
  alike.Count(link(a, a, a), 2);
  alike.Count(link(b, nullptr, nullptr), 2);
  EXPECT_EQ(alike.Decide(), Convention::Unknown);
  EXPECT_EQ(alike.Undecided(), "");
}

// An ordinate holds ten characters of its field's name; a part stored
// inverted is compared in that form and shown as written.
TEST(KeyFieldsTest, OrdinatesNameFieldsAndInvertedPartsReadAsWritten) {
  SharedState state;
  state.FieldTable = {{}, {"DESCRIPTION", 1, "A", 4}, {"DESCRIPTIOX", 2, "A", 2}, {"DATE", 3, "D", 3}};
  state.FieldCount = 3;
  state.RecordLength = 10;
  state.KeyLength = 7;
  state.Ordinates = {{"DESCRIPTIO"}, {"DATE", true}};
  state.KeyPartLengths = {4, 3};
  EXPECT_EQ(KeyFields(state).WhyNot(), "the ordinate DESCRIPTIO begins the names of more than one field");

  state.FieldTable[2].Name = "OTHER";
  state.KeyPartStorage = {PartStorage::Plain, PartStorage::Inverted};
  const KeyFields layout(state);
  ASSERT_TRUE(layout.Comparable()) << layout.WhyNot();
  EXPECT_EQ(layout.Segments()[0].name, "DESCRIPTION");
  EXPECT_EQ(layout.Segments()[1].fieldOffset, 6);
  unsigned char fields[8];
  unsigned char terminator = 0;
  layout.FieldsOfSlot("BOLTxx\x32\x30\x31\n", fields, terminator);
  layout.ToStoredForm(fields);
  EXPECT_EQ(terminator, '\n');
  EXPECT_EQ(std::string(reinterpret_cast<char*>(fields), 7), "BOLT\xCD\xCF\xCE");
  const unsigned char stored[] = "NUTS\xCD\xCF\xCD";
  EXPECT_EQ(check::KeyDifferences(layout, stored, fields),
            "DESCRIPTION \"NUTS\" in the key, \"BOLT\" in the record; DATE \"202\" in the key, \"201\" in the record");
  EXPECT_EQ(check::StoredKeyText(layout, stored), "\"NUTS202\"");
  // A backslash or quote of a key is escaped, so that neither reads as an
  // escape or the key's end.
  const unsigned char odd[] = "\\\"\x01" "A\xCD\xCF\xCD";
  EXPECT_EQ(check::StoredKeyText(layout, odd), "\"\\\\\\\"\\x01A202\"");
}

// Many keys unlike their records in a profile whose order scatters the
// records: the second walk reads their records in record-number order and
// reports each entry once, in key order.  Records whose number ends in 1, 2,
// 6 or 7 have their NAME changed in the data file.
TEST(CheckBatchTest, ManyKeysUnlikeTheirRecordsAreReportedInKeyOrder) {
  test::TempDir dir;
  writer::IspecContent s;
  s.name = "MANY";
  s.definition.fields = {{"NO", 1, "N", 6, 0}, {"NAME", 2, "A", 8, 0}};
  for (int i = 1; i <= 3000; ++i) {
    char no[8], name[12];
    std::snprintf(no, sizeof no, "%06d", i);
    std::snprintf(name, sizeof name, "N%06d", i * 1999 % 3001);  // 3001 is prime: every name differs
    s.records.push_back({{no, name}});
  }
  s.profiles = {{.name = "BYNAME", .keyFields = {{"NAME"}}}};
  const auto layout = writer::BuildIspec(dir.path(), s);
  std::string data = test::ReadAll(layout.files.Data().string());
  for (int i = 1; i <= 3000; ++i)
    if (i % 5 == 1 || i % 5 == 2) data[static_cast<std::size_t>((i - 1) * layout.recordLength + 6)] = 'X';
  std::ofstream(layout.files.Data(), std::ios::binary | std::ios::trunc) << data;

  const Checked c = Check({"--max-problems", "0", dir.str(), "MANY", "BYNAME"});
  ASSERT_EQ(c.problems.size(), 1200u);
  long last = 0;
  for (const std::string& problem : c.problems) {
    const long entry = std::stol(problem.substr(6));
    EXPECT_GT(entry, last) << problem;
    last = entry;
    const std::size_t record = problem.find("record ");
    ASSERT_NE(record, std::string::npos) << problem;
    const int number = std::stoi(problem.substr(record + 7));
    EXPECT_TRUE(number % 5 == 1 || number % 5 == 2) << problem;
    EXPECT_EQ(layout.entryRecords[1][static_cast<std::size_t>(entry - 1)], static_cast<std::uint32_t>(number));
    EXPECT_THAT(problem, HasSubstr("): its key differs from the record's fields: NAME \"N"));
    EXPECT_THAT(problem, HasSubstr("\" in the key, \"X"));
  }
}

// A data file that shrinks after the check opened it, under a tree that
// points at one record twice: the short read is a problem of the data file,
// reported once (no record past it is reported again as unread), and the
// second walk still names the duplicate.
TEST(CheckRecordsTest, DataFileShrinkingUnderTheScanIsReportedAndTheWalkGoesOn) {
  test::TempDir dir;
  const std::filesystem::path path = dir.path() / "SHRINK.DAT";
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 1; i <= 40; ++i) {
      char line[8];
      std::snprintf(line, sizeof line, "%06d\n", i);
      out << line;
    }
  }
  SharedState state;
  state.FieldTable = {{}, {"NO", 1, "N", 6}};
  state.FieldCount = 1;
  state.RecordLength = 7;
  state.KeyLength = 6;
  state.Ordinates = {{"NO"}};
  state.KeyPartLengths = {6};
  const KeyFields layout(state);
  ASSERT_TRUE(layout.Comparable()) << layout.WhyNot();
  ByteFile data;
  ASSERT_TRUE(data.Open(path.string()));
  std::filesystem::resize_file(path, 10 * 7);

  // One leaf of entries 1 to 40 for records 1 to 40, but entry 30 for record
  // 5 (and its key 000005).
  std::string leaf;
  for (std::uint32_t e = 1; e <= 40; ++e) {
    const std::uint32_t record = e == 30 ? 5 : e;
    char key[8];
    std::snprintf(key, sizeof key, "%06u", record);
    leaf += 'Y';
    leaf += key;
    for (int shift = 24; shift >= 0; shift -= 8) leaf += static_cast<char>(record >> shift);
  }
  const check::LeafNode node{7, 1, 40, 11, reinterpret_cast<const unsigned char*>(leaf.data())};

  testing::internal::CaptureStdout();
  tool::PrintedReport report(tool::ReportFormat::Text);
  report.BeginIspec("SHRINK");
  check::RecordCheck check(layout, data, 40, report);
  check.Reach(node);
  check.ScanData();
  ASSERT_TRUE(check.AnySuspect());
  for (int slot = 0; slot < node.entries; ++slot) check.Locate(node.At(slot));
  check.FinishLocate();
  tool::Stdout().Flush();
  const std::vector<std::string> lines = test::Lines(testing::internal::GetCapturedStdout());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Problem: The data file could not be read from record 1 on.",
                       "Problem: Entry 30 (node 7, record 5): entry 5 (node 7) points at the same record."}));
  EXPECT_EQ(report.Problems(), 2);
}

void RenameOrdinate(const writer::IspecLayout& layout, const std::string& from, const std::string& to) {
  std::string text = test::ReadAll(layout.files.Profile().string());
  const std::string old = writer::ORecord(from);
  ASSERT_NE(text.find(old), std::string::npos);
  text.replace(text.find(old), old.size(), writer::ORecord(to));
  std::ofstream(layout.files.Profile(), std::ios::binary | std::ios::trunc) << text;
}

// Where the profile does not describe the key, or a descending part is
// stored in a form the check cannot learn, the part or the key is not
// judged: no false problem, and exit status 3, not 0.
TEST(CheckKeyFormsTest, WhatCannotBeLearntIsNotJudged) {
  test::TempDir dir;
  // The profile file names the 8-byte WIDE for the 6-byte key.
  RenameOrdinate(TwoFields(dir.path(), "WIDTH", {{"A"}}), "A", "WIDE");
  // A descending part stored as the nines' complement of its digits: its
  // keys rise, as inverted ones do, but are not 255 - b.
  const auto nines = TwoFields(dir.path(), "NINES", {{"GROUP"}, {"A", true, false, true}});
  for (const auto& level : nines.index.keys[1].levels)
    for (const std::uint32_t node : level)
      for (int e = 0;; ++e) {  // every entry of the node, until there is none
        std::string key;
        try {
          key = writer::SetEntryKey(nines.files, 1, node, e, "        ");
        } catch (const std::runtime_error&) {
          break;
        }
        for (std::size_t i = 2; i < 8; ++i) key[i] = static_cast<char>('9' - key[i] + '0');
        writer::SetEntryKey(nines.files, 1, node, e, key);
      }

  const Checked c = Check({dir.str()});
  EXPECT_EQ(c.status, 3);
  EXPECT_TRUE(c.problems.empty()) << c.problems.front();
  EXPECT_EQ(c.unjudged,
            (std::vector<std::string>{
                "The descending key part A is not compared with the records: of 60 sampled entries, as written in "
                "0, capitals in 0, inverted in 0 and inverted capitals in 0 hold it (the tree's order says "
                "inverted), which shows no form it may be stored in.",
                "The stored keys are not compared with the records: the ordinates' fields are 8 bytes wide together "
                "and the key 6.",
                "The key order is not judged: the ordinate WIDE is 8 bytes wide and its key part 6."}));
}

// A profile whose keys mostly disagree with their records is the gravest
// finding, and every entry that disagrees is a problem, however many there
// are: 31 of 60 fields changed in the data file, two trees' roots swapped,
// a profile file naming another field of the same width.  A part stored in
// capitals is learnt as such and judged in that form.
TEST(CheckKeyFormsTest, KeysMostlyUnlikeTheirRecordsAreProblems) {
  test::TempDir dir;
  const auto changed = TwoFields(dir.path(), "CHANGED", {{"A"}});
  for (std::uint32_t r = 1; r <= 31; ++r)
    writer::SetRecordBytes(changed.files, kTwoFieldsRecord, r, 2, "9" + std::to_string(10000 + r));
  const auto swapped = TwoFields(dir.path(), "SWAPPED", {{"A"}}, {{.name = "KEYB", .keyFields = {{"B"}}}});
  writer::SwapRoots(swapped.files, 1, 2);
  RenameOrdinate(TwoFields(dir.path(), "OTHER", {{"A"}}), "A", "B");
  const auto capitals =
      TwoFields(dir.path(), "CAPS", {{"WIDE", false, false, false, true}}, {{.name = "SOUND", .keyFields = {{"A"}}}});
  writer::SetRecordBytes(capitals.files, kTwoFieldsRecord, 7, 14, "W7");  // the key holds "W7" already
  writer::SetRecordBytes(capitals.files, kTwoFieldsRecord, 8, 14, "x8");

  const std::string unlike = " sampled entries: the profile's keys are not made of the records of the data file.";
  Checked c = Check({dir.str(), "CHANGED"});
  EXPECT_THAT(c.problems, Holds("The key part A equals its records' field (as written) in only 29 of 60" + unlike));
  EXPECT_EQ(c.problems.size(), 1u + 31u);
  for (std::uint32_t r = 1; r <= 31; ++r) {
    char a[8];
    std::snprintf(a, sizeof a, "%06u", r);
    EXPECT_THAT(c.problems, Contains(AllOf(StartsWith("Entry " + std::to_string(r) + " ("),
                                           EndsWith(std::string("its key differs from the record's fields: A \"") +
                                                    a + "\" in the key, \"9" + std::to_string(10000 + r) +
                                                    "\" in the record."))));
  }

  c = Check({dir.str(), "SWAPPED"});
  EXPECT_THAT(c.problems, Holds("The key part A equals its records' field (as written) in only 0 of 60" + unlike));
  EXPECT_THAT(c.problems, Holds("The key part B equals its records' field (as written) in only 0 of 60" + unlike));
  EXPECT_EQ(c.problems.size(), 2u + 2 * 60u);

  c = Check({dir.str(), "OTHER"});
  EXPECT_THAT(c.problems, Holds("The key part B equals its records' field (as written) in only 0 of 60" + unlike));
  EXPECT_EQ(c.problems.size(), 1u + 60u);

  c = Check({dir.str(), "CAPS"});
  EXPECT_EQ(c.problems.size(), 1u);
  EXPECT_THAT(c.problems, Contains(EndsWith("its key differs from the record's fields: WIDE \"W8      \" in the "
                                            "key, \"X8      \" in the record.")));
  EXPECT_TRUE(c.unjudged.empty()) << c.unjudged.front();
}

TEST(CheckScopeTest, EveryIspecGoesOnPastOneThatCannotBeOpened) {
  test::TempDir dir;
  const auto good = test::BuildNumbered(dir.str(), "GOOD", 30);
  const auto bad = test::BuildNumbered(dir.str(), "BAD", 30);
  writer::RemoveFile(bad.files, writer::FileKind::Index);
  writer::IspecContent left;
  left.name = "LEFT";
  left.definition.fields = test::NumberedFields();
  for (long i = 1; i <= 30; ++i) left.records.push_back({{test::NumberedLine(i).substr(0, 6), "", ""}});
  const auto skip = [](std::uint32_t n, const writer::RecordContent&) { return n != 3; };
  left.profiles = {{.name = "ALL", .keyFields = {{"NO"}}, .select = skip},
                   {.name = "SOME", .keyFields = {{"NO"}}, .conditions = {{"NO", '3', ' ', "000003"}}, .select = skip}};
  writer::BuildIspec(dir.path(), left);

  const Checked c = Check({dir.str()});
  ASSERT_EQ(c.problems.size(), 2u);
  EXPECT_THAT(c.problems[0], HasSubstr("The ISPEC BAD cannot be opened: OOPS!  I'm not all present.: "));
  // Record 3 is missing from both; only the profile without conditions must hold it.
  EXPECT_EQ(c.problems[1], "1 active record is reached by no entry: 3.");
  EXPECT_EQ(c.summaries.size(), 3u);
  EXPECT_EQ(c.notes, std::vector<std::string>{"The profile has 29 entries for 30 active records."});
  EXPECT_EQ(c.total, "Total: ISPECs 3, profiles 3, not opened 1, warnings 0, not judged 0, problems 2");

  EXPECT_EQ(Check({dir.str(), "GOOD"}).total, "Total: ISPECs 1, profiles 1, not opened 0, warnings 0, not judged 0, problems 0");
  EXPECT_THAT(Check({dir.str(), "GOOD", "NOSUCH"}).problems,
              Holds("The ISPEC GOOD has no profile NOSUCH."));
  for (const std::vector<std::string>& bad_args : {std::vector<std::string>{"--check", "--format", "csv", dir.str()},
                                                   {"--format", "json", dir.str(), "GOOD"},
                                                   {"--check", "--count", "3", dir.str()},
                                                   {"--check", "--find", "x", dir.str()},
                                                   {"--check", "--entry-numbers", dir.str(), "GOOD"}}) {
    const auto run = RunTool(bad_args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
  }
}

// Exit status 0 promises that everything was checked: a directory whose
// only definition is a dangling link, an ISPEC whose profile file holds no
// profile, and a data file that grew past its index each say what was not
// judged, and a record no entry reaches is still a problem.
TEST(CheckScopeTest, WhatCouldNotBeCheckedIsNeverPassed) {
  Checked c;
#ifndef _WIN32  // Windows makes a link only for a user given the right to
  test::TempDir dangling;
  std::filesystem::create_symlink(dangling.path() / "nowhere", dangling.path() / "_GONE.DFN");
  c = Check({dangling.str()});
  EXPECT_EQ(c.status, 3);
  EXPECT_EQ(c.unjudged, (std::vector<std::string>{"The definition file _GONE.DFN leads to no file: its ISPEC is not "
                                                  "checked.",
                                                  "The directory " + dangling.str() + " holds no ISPEC to check."}));
#endif

  test::TempDir dir;
  const auto none = test::BuildNumbered(dir.str(), "NONE", 5);
  std::ofstream(none.files.Profile(), std::ios::binary | std::ios::trunc).close();
  c = Check({dir.str()});
  EXPECT_EQ(c.status, 3);
  EXPECT_EQ(c.unjudged, std::vector<std::string>{"The ISPEC NONE has no profiles: none of its keys is checked."});

  // The data file gains a sixth active record the index has not heard of.
  const auto grown = test::BuildNumbered(dir.str(), "GROWN", 5);
  const std::string fifth = test::ReadAll(grown.files.Data().string()).substr(4 * grown.recordLength);
  std::ofstream(grown.files.Data(), std::ios::binary | std::ios::app) << fifth;
  c = Check({dir.str(), "GROWN", "BYNO"});
  EXPECT_EQ(c.status, 1);
  EXPECT_EQ(c.problems, std::vector<std::string>{"1 active record is reached by no entry: 6."});
  EXPECT_EQ(c.unjudged,
            std::vector<std::string>{"The index header of GROWN counts 5 records; its data file holds 6."});
  EXPECT_EQ(c.notes, std::vector<std::string>{"The profile has 5 entries for 6 active records."});
}

// A one-record ISPEC whose key's root is raised on a chain of interior
// nodes, one entry each, to make a tree `levels` deep.
std::string ChainOfLevels(const test::TempDir& dir, int levels) {
  const std::string name = "CHAIN" + std::to_string(levels);
  const auto layout = test::BuildNumbered(dir.str(), name, 1);
  std::uint32_t below = layout.index.keys[1].root;
  auto nodes = static_cast<std::uint32_t>(std::filesystem::file_size(layout.files.Index()) / 512);
  std::ofstream index(layout.files.Index(), std::ios::binary | std::ios::app);
  for (int level = 1; level < levels; ++level) {
    std::string node(512, '\0');
    node[1] = 2 + kEntryBytes;
    node[2] = 'Y';
    node.replace(3, 6, "000001");
    for (int i = 0; i < 4; ++i) node[9 + i] = static_cast<char>(below >> (24 - 8 * i));
    node[510] = static_cast<char>(level);
    index << node;
    below = ++nodes;
  }
  index.close();
  const auto geometry = writer::ReadIndexGeometry(layout.files, 2);
  std::string root(4, '\0');
  for (int i = 0; i < 4; ++i) root[i] = static_cast<char>(below >> (24 - 8 * i));
  writer::PatchBytes(layout.files, writer::FileKind::Index, geometry.keys[1].offset + 2, root);
  return name;
}

// The check and the walk count a tree's depth one way, with one limit: 64
// levels are sound, 65 are not, for both.
TEST(CheckLimitsTest, DepthIsCountedAsTheWalkCountsIt) {
  test::TempDir dir;
  for (const int levels : {64, 65}) {
    const std::string ispec = ChainOfLevels(dir, levels);
    const auto check = RunTool({"--check", dir.str(), ispec, "BYNO"});
    const auto text = RunTool({dir.str(), ispec, "BYNO"});
    if (levels == 64) {
      EXPECT_EQ(check.status, 0) << check.out;
      EXPECT_EQ(text.status, 0) << text.err;
      EXPECT_EQ(test::Lines(text.out).back(), test::NumberedLine(1));
    } else {
      EXPECT_EQ(check.status, 1);
      EXPECT_THAT(check.out, HasSubstr("leads deeper than 64 levels."));
      EXPECT_EQ(text.status, 1);
      EXPECT_THAT(text.err, HasSubstr("coarse problem"));
    }
  }
}

// Makes a file `size` bytes long without writing the bytes.  The C++
// library of the Windows build refuses a size past 2 GiB, and a file on
// Windows is sparse only when marked so.
void GrowSparse(const std::filesystem::path& path, std::uintmax_t size) {
#ifdef _WIN32
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD ignored = 0;
  ::DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  const bool grown = ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
  ::CloseHandle(file);
  ASSERT_TRUE(grown);
#else
  std::filesystem::resize_file(path, size);
#endif
}

// A key length of 0 is named for what it is, and a sparse index that
// claims a terabyte costs the check no more memory than a small one.
TEST(CheckLimitsTest, KeyLengthOfZeroAndASparseIndex) {
  test::TempDir dir;
  const auto layout = test::BuildNumbered(dir.str(), "ZERO", 5);
  const auto geometry = writer::ReadIndexGeometry(layout.files, 2);
  writer::PatchBytes(layout.files, writer::FileKind::Index, geometry.keys[1].offset + 12, std::string(2, '\0'));
  auto run = RunTool({"--check", dir.str(), "ZERO", "BYNO"});
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.out, HasSubstr("Problem: The key description gives a key length of 0: a key holds "
                                 "at least one byte.\n"));

  const auto sparse = test::BuildNumbered(dir.str(), "SPARSE", 5);
  GrowSparse(sparse.files.Index(), std::uintmax_t{1} << 40);
  run = RunTool({"--check", dir.str(), "SPARSE", "BYNO"});
  EXPECT_EQ(run.status, 0) << run.out;  // the nodes past the tree are never reached
  EXPECT_LT(run.peakKiB, 256 * 1024) << run.out;
}

}  // namespace
}  // namespace ondrel
