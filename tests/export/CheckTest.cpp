// ondrel-export --check on a sound database and on every kind of damage the
// writer makes: each problem reported once, the check running to its end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "tests/export/RunTool.h"
#include "tests/viewer/NumberedIspec.h"
#include "tools/writer/Damage.h"

namespace ondrel {
namespace {

using test::RunTool;

constexpr int kEntryBytes = 1 + 6 + 4;   // flag, key NO, pointer
constexpr int kRecordBytes = 6 + 8 + 2 + 1;

// 40 numbered records, record 7 purged but still in the key, in a tree of
// four levels: leaves of 4 entries, interior nodes of 3.
class CheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writer::IspecContent setup;
    setup.name = "TREE";
    setup.definition.fields = test::NumberedFields();
    for (long i = 1; i <= 40; ++i) {
      const std::string line = test::NumberedLine(i);
      setup.records.push_back({{line.substr(0, 6), line.substr(7, 8), "zz"}, i == 7});
    }
    setup.profiles = {{.name = "BYNO", .keyFields = {{"NO"}},
                      .select = [](std::uint32_t, const writer::RecordContent&) { return true; },
                      .maxLeafFill = 4, .maxInteriorFill = 3}};
    layout = writer::BuildIspec(dir.str(), setup);
    tree = layout.index.keys[1];
    nodes = std::filesystem::file_size(layout.files.Index()) / 512;
  }

  // Runs the check and returns its problem lines, after checking that none
  // repeats and that the summary counts them.
  std::vector<std::string> Problems(int expectedStatus = 1) {
    const auto run = RunTool({"--check", dir.str(), "TREE", "BYNO"});
    EXPECT_EQ(run.status, expectedStatus);
    auto lines = test::Lines(run.out);
    EXPECT_FALSE(lines.empty());
    summary = lines.empty() ? "" : lines.back();
    if (!lines.empty()) lines.pop_back();
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()).size(), lines.size()) << run.out;
    EXPECT_EQ(summary.substr(summary.rfind(' ') + 1), std::to_string(lines.size()));
    return lines;
  }
  std::string Node(std::uint32_t n) const { return "Problem: Node " + std::to_string(n); }
  std::string Outside() const {
    return " lies outside the tree nodes of the index file (2 to " + std::to_string(nodes) + ").";
  }

  test::TempDir dir;
  writer::IspecLayout layout;
  writer::TreeLayout tree;
  std::uint64_t nodes = 0;
  std::string summary;
};

MATCHER_P(Holds, line, "") { return std::find(arg.begin(), arg.end(), line) != arg.end(); }

TEST_F(CheckTest, SoundDatabase) {
  ASSERT_EQ(tree.depth, 4);
  EXPECT_TRUE(Problems(0).empty());
  EXPECT_EQ(summary, "Summary: entries 40, leaves 10, depth 4, purged records 1, header record count 40, problems 0");
}

TEST_F(CheckTest, ChildPointersOutsideTheFileAndBackToAnAncestor) {
  const std::uint32_t top = tree.levels[2][0];  // over level-1 nodes 0, 1 and 2
  const auto& level1 = tree.levels[1];
  EXPECT_EQ(writer::ZeroChildPointer(layout.files, 1, top, 0), level1[0]);
  const std::uint32_t past = writer::ChildPointerPastEnd(layout.files, 1, top, 1);
  EXPECT_EQ(writer::SetEntryPointer(layout.files, 1, level1[2], 0, tree.root), tree.Leaves()[6]);
  const auto problems = Problems();
  EXPECT_THAT(problems, Holds(Node(top) + ", entry 1: its child pointer 0" + Outside()));
  EXPECT_THAT(problems, Holds(Node(top) + ", entry 2: its child pointer " + std::to_string(past) + Outside()));
  EXPECT_THAT(problems, Holds(Node(level1[2]) + ", entry 1: its child pointer " + std::to_string(tree.root) +
                              " leads back to a node on the path from the root (a cycle)."));
  EXPECT_EQ(problems.size(), 3u);
  // Lost: leaves 0 to 5 under the two cut entries and leaf 6 under the cycle.
  EXPECT_EQ(summary.substr(0, 36), "Summary: entries 12, leaves 3, depth");
}

TEST_F(CheckTest, SharedChildUsedLengthAndLevel) {
  const auto& leaves = tree.Leaves();
  const auto& level1 = tree.levels[1];
  writer::SetEntryPointer(layout.files, 1, level1[1], 0, leaves[0]);  // reached twice
  writer::SetUsedLength(layout.files, 512, leaves[4], 1000);
  writer::PatchBytes(layout.files, writer::FileKind::Index, (leaves[5] - 1ull) * 512 + 510, "\x02");
  const auto problems = Problems();
  EXPECT_THAT(problems, Holds(Node(level1[1]) + ", entry 1: its child pointer " + std::to_string(leaves[0]) +
                              " leads to a node already reached through another entry."));
  EXPECT_THAT(problems, Holds(Node(leaves[4]) + ": its used length 1000 is not 2 to 510 bytes of whole " +
                              std::to_string(kEntryBytes) + "-byte entries."));
  EXPECT_THAT(problems, Holds(Node(leaves[5]) + ": its level 2 lies under node " +
                              std::to_string(level1[1]) + " of level 1."));
}

TEST_F(CheckTest, TruncatedFilesAndRecordNumbersOutsideTheData) {
  const auto& leaves = tree.Leaves();
  writer::SetEntryPointer(layout.files, 1, leaves[0], 1, 0);
  writer::TruncateFile(layout.files, writer::FileKind::Data, 40 * kRecordBytes - 5);
  writer::TruncateFile(layout.files, writer::FileKind::Index, nodes * 512 + 100);
  const auto problems = Problems();
  EXPECT_THAT(problems, Holds("Problem: The index file holds " + std::to_string(nodes * 512 + 100) +
                              " bytes, not a whole number of 512-byte nodes."));
  EXPECT_THAT(problems, Holds("Problem: The data file holds " + std::to_string(40 * kRecordBytes - 5) +
                              " bytes, not a whole number of " + std::to_string(kRecordBytes) + "-byte records."));
  EXPECT_THAT(problems, Holds("Problem: Entry 2 (node " + std::to_string(leaves[0]) +
                              "): its record number 0 lies outside the data file, which holds 39 records."));
  EXPECT_THAT(problems, Holds("Problem: Entry 40 (node " + std::to_string(leaves.back()) +
                              "): its record number 40 lies outside the data file, which holds 39 records."));
  EXPECT_EQ(problems.size(), 4u);
}

TEST_F(CheckTest, IncompleteIspecEndsWithTheViewersMessage) {
  writer::RemoveFile(layout.files, writer::FileKind::Index);
  const auto run = RunTool({"--check", dir.str(), "TREE", "BYNO"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("OOPS!  I'm not all present.: "), std::string::npos);
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
      EXPECT_THAT(check.out, ::testing::HasSubstr("leads deeper than 64 levels."));
      EXPECT_EQ(text.status, 1);
      EXPECT_THAT(text.err, ::testing::HasSubstr("coarse problem"));
    }
  }
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
  EXPECT_THAT(run.out, ::testing::HasSubstr("Problem: The key description gives a key length of 0: a key holds "
                                            "at least one byte.\n"));

  const auto sparse = test::BuildNumbered(dir.str(), "SPARSE", 5);
  std::filesystem::resize_file(sparse.files.Index(), std::uintmax_t{1} << 40);
  run = RunTool({"--check", dir.str(), "SPARSE", "BYNO"});
  EXPECT_EQ(run.status, 0) << run.out;  // the nodes past the tree are never reached
  EXPECT_LT(run.peakKiB, 256 * 1024) << run.out;
}

}  // namespace
}  // namespace ondrel
