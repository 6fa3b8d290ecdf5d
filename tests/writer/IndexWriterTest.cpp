// Index files: header, key descriptions, node and entry layouts checked byte
// by byte, and trees of several depths walked independently of the writer.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "TestFiles.h"
#include "tools/writer/IndexWriter.h"

namespace ondrel::writer {
namespace {

using test::Be16;
using test::Be32;

std::string Key10(int n) {
  char key[16];
  std::snprintf(key, sizeof key, "K%09d", n);
  return key;
}

// Writes one key of `count` entries K000000001.. with record numbers 100 + i.
IndexLayout WriteCounted(const std::filesystem::path& path, IndexOptions options, KeyShape key, int count) {
  IndexWriter writer(path, options, {key});
  writer.BeginKey();
  for (int i = 1; i <= count; ++i) writer.Add(Key10(i), 100 + i);
  writer.EndKey();
  return writer.Finish();
}

// What a depth-first walk from the root finds, checked as it goes: levels
// fall by one per step down, leaf entries are in ascending key order across
// leaves, and an interior entry's key is the last key under its child.
struct Walk {
  std::vector<std::uint32_t> leaves;
  std::vector<std::string> keys;
  std::vector<std::uint32_t> records;
};

Walk WalkTree(const std::string& file, int nodeSize, int keyLength, int tail, std::uint32_t root) {
  Walk walk;
  const int entrySize = 1 + keyLength + tail;
  std::function<void(std::uint32_t, int)> visit = [&](std::uint32_t node, int expectedLevel) {
    const std::size_t at = (node - 1ull) * static_cast<std::size_t>(nodeSize);
    ASSERT_LE(at + nodeSize, file.size());
    const unsigned used = Be16(file, at);
    const unsigned levelWord = Be16(file, at + nodeSize - 2);
    ASSERT_EQ(levelWord & 0xFF, 0u) << "second byte of the level word";
    const int level = static_cast<int>(levelWord >> 8);
    if (expectedLevel >= 0) {
      ASSERT_EQ(level, expectedLevel) << "node " << node;
    }
    ASSERT_EQ((used - 2) % entrySize, 0u);
    ASSERT_LE(used, static_cast<unsigned>(nodeSize - 2));
    for (std::size_t e = at + 2; e < at + used; e += entrySize) {
      const std::string key = file.substr(e + 1, keyLength);
      const std::uint32_t pointer = Be32(file, e + 1 + keyLength + tail - 4);
      if (level == 0) {
        if (!walk.keys.empty()) {
          ASSERT_LE(walk.keys.back(), key);
        }
        walk.keys.push_back(key);
        walk.records.push_back(pointer);
      } else {
        visit(pointer, level - 1);
        ASSERT_EQ(walk.keys.back(), key) << "interior key of node " << node;
      }
    }
    if (level == 0) walk.leaves.push_back(node);
  };
  visit(root, -1);
  return walk;
}

TEST(IndexHeader, FieldsAtTheirOffsets) {
  test::ScratchDir dir;
  IndexOptions options;
  options.recordCount = 5000;
  WriteCounted(dir.path() / "a.IDX", options, SimpleKey(10), 3);
  const std::string a = test::Slurp(dir.path() / "a.IDX");
  ASSERT_EQ(a.size(), 3u * 512);  // header, key descriptions, one leaf
  EXPECT_EQ(a[6], 1);
  EXPECT_EQ(a.substr(33, 4), std::string("\x00\x00\x13\x88", 4));
  EXPECT_EQ(Be32(a, 45), 1u);

  options.nodeSize = 2048;
  options.recordCount = 0x01020304;
  WriteCounted(dir.path() / "b.IDX", options, SimpleKey(10), 3);
  const std::string b = test::Slurp(dir.path() / "b.IDX");
  ASSERT_EQ(b.size(), 3u * 2048);
  EXPECT_EQ(b[6], 7);
  EXPECT_EQ(Be32(b, 33), 0x01020304u);

  options.nodeSize = 512;
  options.nodeSizeCode = 0xFF;
  WriteCounted(dir.path() / "c.IDX", options, SimpleKey(10), 3);
  EXPECT_EQ(static_cast<unsigned char>(test::Slurp(dir.path() / "c.IDX")[6]), 0xFF);
}

TEST(IndexKeyDescriptions, BytesOfEachDescriptionInOrder) {
  test::ScratchDir dir;
  KeyShape two;
  two.parts = {{8, 0x0102, 3}, {2, 0x0010, 0}};
  two.entryTail = 8;
  IndexWriter writer(dir.path() / "k.IDX", IndexOptions{}, {SimpleKey(4), two});
  const IndexLayout layout = writer.Finish();  // both trees empty
  const std::string f = test::Slurp(dir.path() / "k.IDX");

  ASSERT_EQ(layout.descriptionOffsets.size(), 2u);
  EXPECT_EQ(layout.descriptionOffsets[0], 512u + 6);
  EXPECT_EQ(layout.descriptionOffsets[1], 512u + 6 + 17);
  // Key 0: length 17, root node 3 (after header and descriptions), tail 4.
  EXPECT_EQ(f.substr(518, 17), std::string("\x00\x11\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00"
                                           "\x00\x04\x00\x00\x00",
                                           17));
  // Key 1: length 22, root node 4, wide tail 'Y', parts 8 and 2.
  EXPECT_EQ(f.substr(535, 22), std::string("\x00\x16\x00\x00\x00\x04\x00Y\x00\x00\x00\x00"
                                           "\x00\x08\x01\x02\x03"
                                           "\x00\x02\x00\x10\x00",
                                           22));
  EXPECT_EQ(layout.keys[1].root, 4u);
  EXPECT_EQ(layout.keys[1].keyLength, 10);
  EXPECT_EQ(layout.keys[1].entryTail, 8);
  // Each empty tree is a root leaf with nothing but its used length of 2.
  EXPECT_EQ(Be16(f, 2 * 512), 2u);
  EXPECT_EQ(Be16(f, 3 * 512 - 2), 0u);
  EXPECT_EQ(Be16(f, 3 * 512), 2u);
}

TEST(IndexKeyDescriptions, WideTailByteCanBeForced) {
  test::ScratchDir dir;
  KeyShape key = SimpleKey(10, 4);
  key.wideTailByte = 1;
  IndexWriter writer(dir.path() / "w.IDX", IndexOptions{}, {key});
  writer.Finish();
  EXPECT_EQ(test::Slurp(dir.path() / "w.IDX")[512 + 6 + 7], 1);
}

TEST(IndexKeyDescriptions, PlacedAfterTheTreesWhenAsked) {
  test::ScratchDir dir;
  IndexOptions options;
  options.descriptionsAtEnd = true;
  KeyShape key = SimpleKey(10);
  key.maxLeafFill = 2;
  const IndexLayout layout = WriteCounted(dir.path() / "e.IDX", options, key, 5);
  const std::string f = test::Slurp(dir.path() / "e.IDX");
  // Header, leaves 2 3 4, root 5, descriptions in node 6: K = 5.
  EXPECT_EQ(Be32(f, 45), 5u);
  EXPECT_EQ(layout.k, 5u);
  ASSERT_EQ(f.size(), 6u * 512);
  EXPECT_EQ(Be16(f, 5 * 512 + 6), 17u);
  EXPECT_EQ(Be32(f, 5 * 512 + 8), 5u);
  EXPECT_EQ(layout.keys[0].root, 5u);
}

TEST(IndexNodes, RootLeafEntriesAndLevelWord) {
  test::ScratchDir dir;
  IndexWriter writer(dir.path() / "l.IDX", IndexOptions{}, {SimpleKey(10)});
  writer.BeginKey();
  writer.Add("ALPHA", 7);                 // padded with NUL bytes
  writer.Add("BRAVOxxxxxxxxx", 0x010203, 'N');  // cut to 10
  const TreeLayout tree = writer.EndKey();
  writer.Finish();
  const std::string f = test::Slurp(dir.path() / "l.IDX");
  const std::size_t leaf = 2 * 512;
  EXPECT_EQ(tree.root, 3u);
  EXPECT_EQ(tree.depth, 1);
  EXPECT_EQ(Be16(f, leaf), 2u + 2 * 15);
  EXPECT_EQ(f.substr(leaf + 2, 15), std::string("YALPHA\0\0\0\0\0\0\0\0\x07", 15));
  EXPECT_EQ(f.substr(leaf + 17, 15), std::string("NBRAVOxxxxx\x00\x01\x02\x03", 15));
  EXPECT_EQ(f.substr(leaf + 32, 510 - 32), std::string(510 - 32, '\0'));
  EXPECT_EQ(Be16(f, leaf + 510), 0u);
}

TEST(IndexNodes, WideTailEntriesCarryTheExtraValueBeforeThePointer) {
  test::ScratchDir dir;
  IndexOptions options;
  options.nodeSize = 2048;
  IndexWriter writer(dir.path() / "t.IDX", options, {SimpleKey(3, 8)});
  writer.BeginKey();
  writer.Add("abc", 9, 'Y', 0xAABBCCDD);
  writer.EndKey();
  writer.Finish();
  const std::string f = test::Slurp(dir.path() / "t.IDX");
  EXPECT_EQ(Be16(f, 2 * 2048), 2u + 12);
  EXPECT_EQ(f.substr(2 * 2048 + 2, 12), std::string("Yabc\xAA\xBB\xCC\xDD\x00\x00\x00\x09", 12));
  EXPECT_EQ(Be16(f, 3 * 2048 - 2), 0u);
}

TEST(IndexNodes, TwoLevelTreePointers) {
  test::ScratchDir dir;
  KeyShape key = SimpleKey(10);
  key.maxLeafFill = 2;
  const IndexLayout layout = WriteCounted(dir.path() / "2.IDX", IndexOptions{}, key, 5);
  const std::string f = test::Slurp(dir.path() / "2.IDX");
  const TreeLayout& tree = layout.keys[0];
  // Leaves are nodes 3, 4, 5 holding 2, 2 and 1 entries; the root is node 6.
  EXPECT_EQ(tree.depth, 2);
  EXPECT_EQ(tree.root, 6u);
  EXPECT_EQ(tree.Leaves(), (std::vector<std::uint32_t>{3, 4, 5}));
  EXPECT_EQ(tree.leafEntries, (std::vector<std::uint32_t>{2, 2, 1}));
  EXPECT_EQ(tree.entries, 5u);
  const std::size_t root = 5 * 512;
  EXPECT_EQ(Be16(f, root), 2u + 3 * 15);
  EXPECT_EQ(Be16(f, root + 510), 0x0100u);
  EXPECT_EQ(f.substr(root + 2, 15), "Y" + Key10(2) + std::string("\0\0\0\x03", 4));
  EXPECT_EQ(f.substr(root + 17, 15), "Y" + Key10(4) + std::string("\0\0\0\x04", 4));
  EXPECT_EQ(f.substr(root + 32, 15), "Y" + Key10(5) + std::string("\0\0\0\x05", 4));
  EXPECT_EQ(Be16(f, 4 * 512), 2u + 15);  // last leaf
  EXPECT_EQ(Be32(f, 4 * 512 + 2 + 11), 105u);
  EXPECT_EQ(layout.nodeCount, 6u);
  EXPECT_EQ(f.size(), 6u * 512);
}

TEST(IndexNodes, SmallFillsMakeDeepTreesThatWalkInKeyOrder) {
  test::ScratchDir dir;
  KeyShape key = SimpleKey(10, 8);
  key.maxLeafFill = 3;
  key.maxInteriorFill = 2;
  key.interiorFlag = 'I';
  const IndexLayout layout = WriteCounted(dir.path() / "d.IDX", IndexOptions{}, key, 40);
  const TreeLayout& tree = layout.keys[0];
  // 40 entries -> 14 leaves -> 7 -> 4 -> 2 -> 1.
  EXPECT_EQ(tree.depth, 5);
  ASSERT_EQ(tree.levels.size(), 5u);
  EXPECT_EQ(tree.levels[1].size(), 7u);
  EXPECT_EQ(tree.levels[2].size(), 4u);
  EXPECT_EQ(tree.levels[3].size(), 2u);
  EXPECT_EQ(tree.levels[4], (std::vector<std::uint32_t>{tree.root}));
  const std::string f = test::Slurp(dir.path() / "d.IDX");
  EXPECT_EQ(f[(tree.root - 1) * 512 + 2], 'I');
  EXPECT_EQ(Be16(f, (tree.root - 1) * 512 + 510), 0x0400u);
  const Walk walk = WalkTree(f, 512, 10, 8, tree.root);
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(walk.leaves, tree.Leaves());
  ASSERT_EQ(walk.records.size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(walk.records[i], 101u + i);
}

// With the first-key option every interior entry carries the lowest key
// under its child, at every level.
TEST(IndexNodes, InteriorEntriesCanCarryTheirChildsFirstKey) {
  test::ScratchDir dir;
  KeyShape key = SimpleKey(10);
  key.maxLeafFill = 3;
  key.maxInteriorFill = 2;
  key.interiorKey = InteriorKey::FirstOfChild;
  const IndexLayout layout = WriteCounted(dir.path() / "f.IDX", IndexOptions{}, key, 20);
  const TreeLayout& tree = layout.keys[0];
  ASSERT_EQ(tree.depth, 4);  // 7 leaves -> 4 -> 2 -> 1
  const std::string f = test::Slurp(dir.path() / "f.IDX");
  // Leaf k (from 0) begins with entry 3k + 1; interior node j of level l
  // covers 2^l leaves, so its first child begins with entry 3 * 2^l * j + 1.
  for (std::size_t level = 1; level < tree.levels.size(); ++level) {
    const auto& nodes = tree.levels[level];
    for (std::size_t j = 0; j < nodes.size(); ++j) {
      const std::size_t at = (nodes[j] - 1ull) * 512;
      const unsigned entries = (Be16(f, at) - 2) / 15;
      for (unsigned e = 0; e < entries; ++e) {
        const std::size_t leaf = (j * 2 + e) << (level - 1);
        EXPECT_EQ(f.substr(at + 2 + e * 15 + 1, 10), Key10(static_cast<int>(3 * leaf + 1)))
            << "level " << level << ", node " << j << ", entry " << e;
      }
    }
  }
}

TEST(IndexNodes, SeveralKeysShareOneFile) {
  test::ScratchDir dir;
  const std::vector<EntrySource> sources = {
      [](std::uint64_t i, IndexEntry& e) { e.recordNumber = static_cast<std::uint32_t>(i + 1); },
      [](std::uint64_t i, IndexEntry& e) {
        static const char* sorted[] = {"alpha", "charlie", "delta"};
        static const std::uint32_t records[] = {2, 3, 1};
        e.key = sorted[i];
        e.recordNumber = records[i];
      }};
  const IndexLayout layout = WriteIndex(dir.path() / "m.IDX", IndexOptions{}, {SimpleKey(0), SimpleKey(7)}, {3, 3},
                                        sources);
  const std::string f = test::Slurp(dir.path() / "m.IDX");
  ASSERT_EQ(layout.keys.size(), 2u);
  const Walk key0 = WalkTree(f, 512, 0, 4, layout.keys[0].root);
  EXPECT_EQ(key0.records, (std::vector<std::uint32_t>{1, 2, 3}));
  const Walk key1 = WalkTree(f, 512, 7, 4, layout.keys[1].root);
  EXPECT_EQ(key1.records, (std::vector<std::uint32_t>{2, 3, 1}));
  EXPECT_EQ(key1.keys[1], std::string("charlie"));
  EXPECT_EQ(Be32(f, 512 + 6 + 2), layout.keys[0].root);
  EXPECT_EQ(Be32(f, 512 + 6 + 17 + 2), layout.keys[1].root);
}

TEST(IndexNodes, RejectsLayoutsItCannotWrite) {
  test::ScratchDir dir;
  const auto path = dir.path() / "x.IDX";
  EXPECT_THROW(IndexWriter w(path, IndexOptions{}, {SimpleKey(10, 6)}), std::invalid_argument);
  KeyShape key = SimpleKey(10);
  key.maxInteriorFill = 1;  // would never reach a single root
  EXPECT_THROW(IndexWriter w(path, IndexOptions{}, {key}), std::invalid_argument);
  key.maxInteriorFill = 0;
  key.maxLeafFill = 34;  // 33 entries of 15 bytes fit in 508
  EXPECT_THROW(IndexWriter w(path, IndexOptions{}, {key}), std::invalid_argument);
  key.maxLeafFill = 33;
  EXPECT_NO_THROW(IndexWriter w(path, IndexOptions{}, {key}));
  EXPECT_THROW(IndexWriter w(path, IndexOptions{}, {SimpleKey(300)}), std::invalid_argument);
}

TEST(IndexLargeTree, TwoHundredThousandEntriesMakeThreeLevels) {
  test::ScratchDir dir;
  IndexOptions options;
  options.nodeSize = 2048;
  options.recordCount = 200000;
  const IndexLayout layout = WriteCounted(dir.path() / "big.IDX", options, SimpleKey(10), 200000);
  const TreeLayout& tree = layout.keys[0];
  // 2044 / 15 = 136 entries per node: 1471 leaves, 11 interior nodes, a root.
  EXPECT_EQ(tree.depth, 3);
  ASSERT_EQ(tree.Leaves().size(), 1471u);
  EXPECT_EQ(tree.levels[1].size(), 11u);
  EXPECT_EQ(tree.entries, 200000u);
  std::uint64_t total = 0;
  for (std::uint32_t n : tree.leafEntries) total += n;
  EXPECT_EQ(total, 200000u);
  EXPECT_EQ(tree.leafEntries.front(), 136u);
  EXPECT_EQ(tree.leafEntries.back(), 200000u - 1470 * 136);

  const std::string f = test::Slurp(dir.path() / "big.IDX");
  EXPECT_EQ(f.size(), 2048u * layout.nodeCount);
  for (std::size_t i = 0; i < tree.Leaves().size(); ++i) {
    const std::size_t at = (tree.Leaves()[i] - 1) * 2048ull;
    ASSERT_EQ(Be16(f, at), 2 + 15 * tree.leafEntries[i]) << "leaf " << i;
    ASSERT_EQ(Be16(f, at + 2046), 0u);
  }
  const Walk walk = WalkTree(f, 2048, 10, 4, tree.root);
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(walk.leaves, tree.Leaves());
  ASSERT_EQ(walk.records.size(), 200000u);
  EXPECT_EQ(walk.records.front(), 101u);
  EXPECT_EQ(walk.records.back(), 200100u);
  EXPECT_EQ(walk.keys.back(), Key10(200000));
}

}  // namespace
}  // namespace ondrel::writer
