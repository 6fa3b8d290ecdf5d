// The index walk and the leaf table: trees built by the writer, hand-made
// nodes, every kind of damage, and finding the leaf of an entry number.
#include <gtest/gtest.h>

#include <filesystem>

#include "database/BigEndian.h"
#include "database/IndexWalk.h"
#include "database/Messages.h"
#include "tests/support/PeakMemory.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDir.h"
#include "tools/writer/Damage.h"
#include "tools/writer/IndexWriter.h"

namespace ondrel {
namespace {

using test::RecordingPlatform;
using test::TempDir;

constexpr int kNode = 512;

// An index file made node by node: node 1 is the header, the others are
// given as (used length, level, entries).  Key length 1, entry tail 4, so an
// entry is 6 bytes: flag, key byte, BE32 pointer.
class RawIndex {
 public:
  RawIndex() : nodes_(1, std::string(kNode, '\0')) {}

  // Appends a node and returns its number.
  std::uint32_t Add(int level, const std::vector<std::uint32_t>& pointers, int used = -1) {
    std::string node(kNode, '\0');
    std::size_t at = 2;
    for (std::uint32_t p : pointers) {
      node[at] = 'Y';
      node[at + 1] = 'k';
      for (int i = 0; i < 4; ++i) node[at + 2 + i] = static_cast<char>(p >> (24 - 8 * i));
      at += 6;
    }
    const int u = used < 0 ? static_cast<int>(at) : used;
    node[0] = static_cast<char>(u >> 8);
    node[1] = static_cast<char>(u);
    node[kNode - 2] = static_cast<char>(level);
    nodes_.push_back(node);
    return static_cast<std::uint32_t>(nodes_.size());
  }
  // Reserves a node number to fill in later with Set.
  std::uint32_t Reserve() { return Add(0, {}); }
  void Set(std::uint32_t number, int level, const std::vector<std::uint32_t>& pointers) {
    RawIndex one;
    one.Add(level, pointers);
    nodes_[number - 1] = one.nodes_[1];
  }

  std::string Bytes() const {
    std::string all;
    for (const auto& n : nodes_) all += n;
    return all;
  }

 private:
  std::vector<std::string> nodes_;
};

class IndexWalkTest : public ::testing::Test {
 protected:
  IndexWalkTest() { SetTextConstants(state); }

  // Walks a hand-made index from `root`.
  void Walk(const RawIndex& raw, std::uint32_t root) {
    state.IndexPath = dir.Write("_T.IDX", raw.Bytes());
    state.NodeSize = kNode;
    state.KeyLength = 1;
    state.EntryTail = 4;
    state.KeyHead.RootNode = static_cast<Long>(root);
    BuildReferenceInformation(state, platform);
  }

  // Builds a tree of `entries` entries with the writer and walks it.
  writer::TreeLayout WalkWritten(std::uint64_t entries, writer::KeyShape key, int nodeSize = kNode) {
    writer::IndexOptions options;
    options.nodeSize = nodeSize;
    options.recordCount = static_cast<std::uint32_t>(entries);
    const auto path = dir.path() / "_W.IDX";
    writer::IndexWriter w(path, options, {writer::SimpleKey(4), key});
    w.BeginKey();
    w.EndKey();
    w.BeginKey();
    for (std::uint64_t i = 0; i < entries; ++i) {
      char k[24];
      std::snprintf(k, sizeof k, "%012llu", static_cast<unsigned long long>(i));
      w.Add(k, static_cast<std::uint32_t>(i + 1));
    }
    const writer::TreeLayout tree = w.EndKey();
    w.Finish();
    state.IndexPath = path.string();
    state.NodeSize = static_cast<Integer>(nodeSize);
    state.KeyLength = static_cast<Integer>(key.KeyLength());
    state.EntryTail = static_cast<Integer>(key.entryTail);
    state.KeyHead.RootNode = static_cast<Long>(tree.root);
    BuildReferenceInformation(state, platform);
    return tree;
  }

  Long Position(std::uint32_t node) const { return static_cast<Long>((node - 1) * state.NodeSize + 1); }

  std::size_t CoarseMessages() const {
    std::size_t n = 0;
    for (const auto& m : platform.messages) {
      EXPECT_EQ(m.title, "OOPS! Houston, we have a coarse problem. . .");
      EXPECT_EQ(m.text, msg::kCoarse);
      EXPECT_EQ(m.buttons, MsgButtons::Ok);
      ++n;
    }
    return n;
  }

  TempDir dir;
  SharedState state;
  RecordingPlatform platform;
};

TEST_F(IndexWalkTest, WrittenTreesGiveOneElementPerLeafInKeyOrder) {
  struct Case {
    int nodeSize;
    int tail;
    std::uint64_t entries;
    int leafFill;
    int interiorFill;
  };
  for (const Case& c : {Case{512, 4, 1000, 0, 0}, Case{2048, 8, 5000, 0, 0}, Case{512, 8, 700, 3, 2},
                        Case{2048, 4, 1, 0, 0}}) {
    SCOPED_TRACE(testing::Message() << c.nodeSize << "/" << c.tail << "/" << c.entries);
    writer::KeyShape key = writer::SimpleKey(10, c.tail);
    key.maxLeafFill = c.leafFill;
    key.maxInteriorFill = c.interiorFill;
    platform = RecordingPlatform{};
    const writer::TreeLayout tree = WalkWritten(c.entries, key, c.nodeSize);
    EXPECT_TRUE(platform.messages.empty());
    ASSERT_EQ(state.LeafIndex, static_cast<Long>(tree.Leaves().size()));
    ASSERT_EQ(state.LeafTable.size(), tree.Leaves().size() + 1);
    EXPECT_EQ(state.LeafTable[0].CumCount, 0);
    Long cum = 0;
    for (std::size_t k = 1; k <= tree.Leaves().size(); ++k) {
      cum += static_cast<Long>(tree.leafEntries[k - 1]);
      EXPECT_EQ(state.LeafTable[k].CumCount, cum);
      EXPECT_EQ(state.LeafTable[k].NodePos, Position(tree.Leaves()[k - 1]));
    }
    EXPECT_EQ(cum, static_cast<Long>(c.entries));
  }
}

// A walk told not to keep the leaves' keys (a reader that seeks none) gives
// the same tables, and keeps no key a seek could lean on; learning the
// digits still reads them, and learns what the walk with keys learns.
TEST_F(IndexWalkTest, TheLeavesKeysAreKeptOnlyWhenAsked) {
  WalkWritten(5000, writer::SimpleKey(10), 512);
  ASSERT_GT(state.LeafTable.size(), 20u);
  ASSERT_EQ(state.LeafKeys.size(), state.LeafTable.size() * 2 * 10);
  for (const bool digits : {false, true}) {
    SCOPED_TRACE(digits ? "learning digits" : "not learning digits");
    SharedState keyed = state;
    BuildReferenceInformation(keyed, platform, digits);
    SharedState keyless = state;
    BuildReferenceInformation(keyless, platform, digits, false);
    EXPECT_TRUE(keyless.LeafKeysRead.empty());
    EXPECT_EQ(keyless.LeafKeys.capacity(), 0u);
    const auto table = [](const SharedState& s) {
      std::vector<std::pair<std::int64_t, Long>> rows;
      for (const LeafRef& leaf : s.LeafTable) rows.emplace_back(leaf.NodePos, leaf.CumCount);
      return rows;
    };
    EXPECT_EQ(table(keyless), table(keyed));
    EXPECT_EQ(keyless.LeafReach, keyed.LeafReach);
    EXPECT_EQ(keyless.LeadingDigits, keyed.LeadingDigits);
    EXPECT_EQ(keyless.SecondDigits, keyed.SecondDigits);
    EXPECT_EQ(keyless.Walk.failures, 0);
  }
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(IndexWalkTest, DeepTreeOfManySmallNodes) {
  writer::KeyShape key = writer::SimpleKey(10);
  key.maxLeafFill = 2;
  key.maxInteriorFill = 2;
  const writer::TreeLayout tree = WalkWritten(3000, key);
  EXPECT_GE(tree.depth, 11);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(state.LeafTable.back().CumCount, 3000);
}

TEST_F(IndexWalkTest, MoreThan32767LeavesAreAllDescribed) {
  writer::KeyShape key = writer::SimpleKey(10);
  key.maxLeafFill = 1;
  WalkWritten(40000, key);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(state.LeafIndex, 40000);
  EXPECT_EQ(state.LeafTable[40000].CumCount, 40000);
  EXPECT_EQ(FindLeaf(state, 39999), 39999);
  EXPECT_EQ(FindLeaf(state, 40000), 40000);
}

TEST_F(IndexWalkTest, RootLeafAndEmptyTrees) {
  RawIndex raw;
  const auto leaf = raw.Add(0, {1, 2, 3, 4, 5});
  Walk(raw, leaf);
  ASSERT_EQ(state.LeafTable.size(), 2u);
  EXPECT_EQ(state.LeafTable[1].CumCount, 5);  // (U - 2) / entry size
  EXPECT_EQ(state.LeafTable[1].NodePos, Position(leaf));

  RawIndex empty;
  Walk(empty, empty.Add(0, {}));  // a root leaf with U = 2
  ASSERT_EQ(state.LeafTable.size(), 2u);
  EXPECT_EQ(state.LeafTable[1].CumCount, 0);
  EXPECT_EQ(state.LeafIndex, 1);
  EXPECT_EQ(FindLeaf(state, 1), 0);

  RawIndex interior;
  Walk(interior, interior.Add(1, {}));  // an interior root with no entries adds no leaf
  ASSERT_EQ(state.LeafTable.size(), 2u);
  EXPECT_EQ(state.LeafIndex, 0);
  EXPECT_EQ(state.LeafTable[1].CumCount, 0);
  EXPECT_EQ(state.LeafTable[1].NodePos, 0);
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(IndexWalkTest, TwoLeavesOf30And12) {
  RawIndex raw;
  const auto a = raw.Add(0, std::vector<std::uint32_t>(30, 1));
  const auto b = raw.Add(0, std::vector<std::uint32_t>(12, 1));
  Walk(raw, raw.Add(1, {a, b}));
  ASSERT_EQ(state.LeafIndex, 2);
  EXPECT_EQ(state.LeafTable[1].CumCount, 30);
  EXPECT_EQ(state.LeafTable[2].CumCount, 42);
  EXPECT_EQ(FindLeaf(state, 1), 1);
  EXPECT_EQ(FindLeaf(state, 30), 1);
  EXPECT_EQ(FindLeaf(state, 31), 2);
  EXPECT_EQ(FindLeaf(state, 42), 2);
  EXPECT_EQ(FindLeaf(state, 43), 0);
  EXPECT_EQ(FindLeaf(state, -31999), 1);
}

TEST_F(IndexWalkTest, UnevenUsedLengthRoundsHalfToEven) {
  RawIndex raw;
  const auto a = raw.Add(0, {}, 5);   // 3 bytes: half an entry, rounds to 0
  const auto b = raw.Add(0, {}, 11);  // 9 bytes: one and a half, 0 + 1.5 rounds to 2
  const auto c = raw.Add(0, {}, 5);   // 2 + 0.5 rounds to 2
  Walk(raw, raw.Add(1, {a, b, c}));
  EXPECT_EQ(state.LeafTable[1].CumCount, 0);
  EXPECT_EQ(state.LeafTable[2].CumCount, 2);
  EXPECT_EQ(state.LeafTable[3].CumCount, 2);
}

TEST_F(IndexWalkTest, ChildPointerOfZeroCountsAsAnEmptyLeaf) {
  RawIndex raw;
  const auto a = raw.Add(0, {1, 2, 3});
  const auto b = raw.Add(0, {4, 5});
  Walk(raw, raw.Add(1, {a, 0, b}));
  EXPECT_EQ(CoarseMessages(), 2u);  // both reads of that node fail
  ASSERT_EQ(state.LeafIndex, 3);
  EXPECT_EQ(state.LeafTable[2].NodePos, -kNode + 1);
  EXPECT_EQ(state.LeafTable[2].CumCount, 3);
  EXPECT_EQ(state.LeafTable[3].CumCount, 5);  // the walk went on with the next entry
}

TEST_F(IndexWalkTest, ChildPointerPastTheEndFailsItsReads) {
  RawIndex raw;
  const auto a = raw.Add(0, {1, 2, 3});
  const auto root = raw.Add(1, {a, 999, a + 0});
  Walk(raw, root);
  // Node 999 is outside the file: its two reads fail.  The third entry
  // leads to leaf a a second time, which the walk refuses once.
  EXPECT_EQ(CoarseMessages(), 3u);
  ASSERT_EQ(state.LeafIndex, 2);
  EXPECT_EQ(state.LeafTable[1].CumCount, 3);
  EXPECT_EQ(state.LeafTable[2].CumCount, 3);
}

TEST_F(IndexWalkTest, CyclesEndWithOneMessagePerBadPointer) {
  RawIndex raw;
  const auto leaf = raw.Add(0, {1, 2});
  const auto middle = raw.Reserve();
  const auto root = raw.Reserve();
  raw.Set(middle, 1, {leaf, middle, root});  // to itself, and to its parent
  raw.Set(root, 2, {middle});
  Walk(raw, root);
  EXPECT_EQ(CoarseMessages(), 2u);
  ASSERT_EQ(state.LeafIndex, 1);
  EXPECT_EQ(state.LeafTable[1].CumCount, 2);
}

// One limit, counted one way (the root is level 1): a chain of 64 levels is
// walked in full, a deeper one is refused once, at its deepest child.
TEST_F(IndexWalkTest, TreesOfUpTo64LevelsAreWalked) {
  for (const int levels : {64, 65, 100}) {
    SCOPED_TRACE(levels);
    RawIndex raw;
    std::uint32_t next = raw.Add(0, {7});
    for (int i = 1; i < levels; ++i) next = raw.Add(1, {next});
    platform = RecordingPlatform{};
    Walk(raw, next);
    if (levels <= kMaxTreeDepth) {
      EXPECT_EQ(CoarseMessages(), 0u);
      EXPECT_EQ(state.LeafIndex, 1);
      EXPECT_EQ(state.LeafTable[1].CumCount, 1);
    } else {
      EXPECT_EQ(CoarseMessages(), 1u);
      EXPECT_EQ(state.LeafIndex, 0);
    }
  }
}

// A tree damaged all over, as a live rewrite or a bad copy leaves it: every
// node interior, claiming the largest used length, its entries pointing past
// the end of the file.  The walk reports a handful of failures, then ends
// with one message saying how much it left unread.
TEST_F(IndexWalkTest, ATreeDamagedAllOverEndsAfterAHandfulOfFailures) {
  RawIndex raw;
  std::vector<std::uint32_t> pastTheEnd(84, 999999);
  std::uint32_t root = 0;
  for (int i = 0; i < 40; ++i) root = raw.Add(1, pastTheEnd, 0x7FFF);
  Walk(raw, root);
  ASSERT_EQ(platform.messages.size(), static_cast<std::size_t>(kWalkFailureLimit) + 1);
  for (int i = 0; i < kWalkFailureLimit; ++i) EXPECT_EQ(platform.messages[static_cast<std::size_t>(i)].text, msg::kCoarse);
  const auto& last = platform.messages.back();
  EXPECT_EQ(last.title, msg::kCoarseTitle);
  EXPECT_NE(last.text.find("The index file " + state.IndexPath + " is damaged.  "), std::string::npos) << last.text;
  // The root's remaining pointers, after the third child (two failed reads
  // each), are what was left.
  EXPECT_NE(last.text.find("left 5458 branches of the tree unread"), std::string::npos) << last.text;
  EXPECT_LE(state.LeafIndex, 41);
}

// A sparse index file that claims a terabyte: nothing past 2^31 bytes can be
// reached by a Long position, and the walk's tables are sized by what can.
TEST_F(IndexWalkTest, ASparseTerabyteIndexCostsNoMemory) {
  RawIndex raw;
  const auto a = raw.Add(0, {1, 2, 3});
  const auto root = raw.Add(1, {a});
  state.IndexPath = dir.Write("_T.IDX", raw.Bytes());
  std::error_code grown;
  std::filesystem::resize_file(state.IndexPath, std::uintmax_t{1} << 40, grown);
  if (grown) GTEST_SKIP() << "this system cannot make a sparse file of a terabyte: " << grown.message();
  state.NodeSize = kNode;
  state.KeyLength = 1;
  state.EntryTail = 4;
  state.KeyHead.RootNode = static_cast<Long>(root);
  const long before = test::PeakResidentKiB();
  BuildReferenceInformation(state, platform);
  const long after = test::PeakResidentKiB();
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(state.LeafTable.back().CumCount, 3);
  EXPECT_LT(after - before, 64 * 1024);  // KiB
}

TEST_F(IndexWalkTest, PointerOfTwoToThe31IsRefused) {
  RawIndex raw;
  const auto a = raw.Add(0, {1});
  Walk(raw, raw.Add(1, {a, 0x80000000u}));
  // The bad pointer's read fails and keeps the previous child, which the walk
  // has already entered.
  EXPECT_EQ(CoarseMessages(), 2u);
  EXPECT_EQ(state.LeafIndex, 1);
}

TEST_F(IndexWalkTest, TruncatedInteriorNodeEnds) {
  RawIndex raw;
  const auto a = raw.Add(0, {1});
  const auto root = raw.Add(1, {a, a, a});
  std::string bytes = raw.Bytes();
  bytes.resize((root - 1) * kNode + 20);  // mid-way through the root's third entry
  state.IndexPath = dir.Write("_T.IDX", bytes);
  state.NodeSize = kNode;
  state.KeyLength = 1;
  state.EntryTail = 4;
  state.KeyHead.RootNode = static_cast<Long>(root);
  BuildReferenceInformation(state, platform);
  EXPECT_GT(CoarseMessages(), 0u);
  EXPECT_EQ(state.LeafIndex, 1);
}

TEST_F(IndexWalkTest, MissingIndexGivesOneMessageAndARootPastTheEndItsSteps) {
  state.IndexPath = (dir.path() / "_NONE.IDX").string();
  state.NodeSize = kNode;
  BuildReferenceInformation(state, platform);
  EXPECT_EQ(CoarseMessages(), 1u);
  EXPECT_EQ(state.LeafTable.size(), 2u);
  // The highest root is a place 1 TiB into the file, walked as any node
  // past the end: its used length and its level word cannot be read.
  RawIndex raw;
  raw.Add(0, {1});
  platform = RecordingPlatform{};
  Walk(raw, 0x7FFFFFFF);
  EXPECT_EQ(CoarseMessages(), 2u);
  EXPECT_EQ(EntryCount(state), 0);
}

TEST_F(IndexWalkTest, FindLeafAgreesWithAScanWhenCountsFall) {
  // A damaged leaf with U = 0 (count -0.33, rounded to 0) keeps the count;
  // a used length of -400 makes it fall.
  RawIndex raw;
  const auto a = raw.Add(0, {1, 2, 3, 4});
  const auto bad = raw.Add(0, {}, 0x10000 - 400);
  const auto c = raw.Add(0, {1, 2, 3, 4, 5, 6});
  Walk(raw, raw.Add(1, {a, bad, c}));
  ASSERT_EQ(state.LeafIndex, 3);
  EXPECT_LT(state.LeafTable[2].CumCount, state.LeafTable[1].CumCount);
  for (double s = -2; s <= 12; ++s) {
    Long scan = 0;
    for (std::size_t k = 1; k < state.LeafTable.size() && scan == 0; ++k)
      if (state.LeafTable[k].CumCount >= s) scan = static_cast<Long>(k);
    EXPECT_EQ(FindLeaf(state, s), scan) << s;
  }
}

}  // namespace
}  // namespace ondrel
