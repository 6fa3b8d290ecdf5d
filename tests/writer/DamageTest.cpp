// Each kind of damage changes what it says and nothing else.

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "tools/writer/Damage.h"
#include "tools/writer/IspecBuilder.h"

namespace ondrel::writer {
namespace {

using test::Be16;
using test::Be32;

// A set whose profile key has four levels: 30 records, 3 entries per node.
class DamageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    IspecContent s;
    s.name = "ORDERS";
    s.definition.fields = {{"ORDERNO", 1, "N", 6, 0, ""}, {"AMOUNT", 2, "N", 7, 2, ""}};
    for (int i = 0; i < 30; ++i) s.records.push_back({{std::to_string(5000 + i), std::to_string(i) + ".25"}});
    ProfileDef p;
    p.name = "ORDERNO";
    p.keyFields = {{"ORDERNO"}};
    p.maxLeafFill = 3;
    p.maxInteriorFill = 3;
    s.profiles = {p};
    layout = BuildIspec(dir.path(), s);
    set = layout.files;
    for (FileKind kind : kKinds) before.push_back(test::Slurp(set.Path(kind)));
  }

  // Offsets at which `kind`'s file now differs from before (sizes must agree).
  std::vector<std::size_t> Changed(FileKind kind) {
    const std::string& old = before[static_cast<std::size_t>(kind)];
    const std::string now = test::Slurp(set.Path(kind));
    EXPECT_EQ(now.size(), old.size());
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < std::min(old.size(), now.size()); ++i)
      if (old[i] != now[i]) at.push_back(i);
    return at;
  }

  void ExpectUntouchedExcept(FileKind changed) {
    for (FileKind kind : kKinds)
      if (kind != changed) {
        EXPECT_EQ(test::Slurp(set.Path(kind)), before[static_cast<std::size_t>(kind)]);
      }
  }

  // Offset of the pointer of entry `entry` of node `node` in the profile key
  // (entries of 11 bytes: flag, 6 key bytes, pointer).
  static std::size_t PointerOffset(std::uint32_t node, int entry) { return (node - 1) * 512ull + 2 + entry * 11 + 7; }

  static constexpr FileKind kKinds[] = {FileKind::Definition, FileKind::Profile, FileKind::Data, FileKind::Index};
  test::ScratchDir dir;
  IspecLayout layout;
  FileSet set;
  std::vector<std::string> before;
};

TEST_F(DamageTest, TruncateAndRemoveAffectOneFile) {
  const std::uintmax_t size = before[3].size();
  TruncateFile(set, FileKind::Index, 36);
  EXPECT_EQ(test::Slurp(set.Index()), before[3].substr(0, 36));
  TruncateFile(set, FileKind::Index, size);
  EXPECT_EQ(test::Slurp(set.Index()), before[3].substr(0, 36) + std::string(size - 36, '\0'));
  ExpectUntouchedExcept(FileKind::Index);

  RemoveFile(set, FileKind::Data);
  EXPECT_FALSE(std::filesystem::exists(set.Data()));
  EXPECT_EQ(test::Slurp(set.Definition()), before[0]);
  EXPECT_THROW(RemoveFile(set, FileKind::Data), std::runtime_error);
  EXPECT_THROW(TruncateFile(set, FileKind::Data, 0), std::runtime_error);
  EXPECT_FALSE(std::filesystem::exists(set.Data())) << "damage must never create a file";
}

TEST_F(DamageTest, ReadsBackTheGeometryItWrote) {
  const IndexGeometry g = ReadIndexGeometry(set, 2);
  EXPECT_EQ(g.nodeSize, 512);
  EXPECT_EQ(g.k, 1u);
  EXPECT_EQ(g.recordCount, 30u);
  EXPECT_EQ(g.nodeCount, layout.index.nodeCount);
  ASSERT_EQ(g.keys.size(), 2u);
  EXPECT_EQ(g.keys[1].root, layout.index.keys[1].root);
  EXPECT_EQ(g.keys[1].keyLength, 6);
  EXPECT_EQ(g.keys[1].offset, layout.index.descriptionOffsets[1]);
}

TEST_F(DamageTest, ChildPointerZeroAndPastTheEnd) {
  const TreeLayout& tree = layout.index.keys[1];
  ASSERT_EQ(tree.depth, 4);  // 10 leaves, 4 nodes on level 1, 2 on level 2, a root
  ASSERT_EQ(tree.levels[1].size(), 4u);
  const std::uint32_t parent = tree.levels[1][1];
  EXPECT_EQ(ZeroChildPointer(set, 1, parent, 2), tree.Leaves()[5]);
  EXPECT_EQ(Changed(FileKind::Index), (std::vector<std::size_t>{PointerOffset(parent, 2) + 3}));
  EXPECT_EQ(Be32(test::Slurp(set.Index()), PointerOffset(parent, 2)), 0u);

  const std::uint32_t past = ChildPointerPastEnd(set, 1, tree.root, 0);
  EXPECT_EQ(past, layout.index.nodeCount + 1);
  const std::string idx = test::Slurp(set.Index());
  EXPECT_EQ(Be32(idx, PointerOffset(tree.root, 0)), past);
  EXPECT_EQ(idx.size() / 512, past - 1);
  ExpectUntouchedExcept(FileKind::Index);
}

TEST_F(DamageTest, CycleToAncestorOrSelf) {
  const TreeLayout& tree = layout.index.keys[1];
  const std::uint32_t node = tree.levels[1][0];
  MakeCycle(set, 1, node, 1, tree.root);
  MakeCycle(set, 1, tree.root, 1, tree.root);
  const std::string idx = test::Slurp(set.Index());
  EXPECT_EQ(Be32(idx, PointerOffset(node, 1)), tree.root);
  EXPECT_EQ(Be32(idx, PointerOffset(tree.root, 1)), tree.root);
  for (std::size_t at : Changed(FileKind::Index))
    EXPECT_TRUE((at >= PointerOffset(node, 1) && at < PointerOffset(node, 1) + 4) ||
                (at >= PointerOffset(tree.root, 1) && at < PointerOffset(tree.root, 1) + 4))
        << at;
}

TEST_F(DamageTest, KeyDescriptionLengthAndUsedLength) {
  SetKeyDescriptionLength(set, 1, 0x0010);
  std::string idx = test::Slurp(set.Index());
  const std::size_t d1 = layout.index.descriptionOffsets[1];
  EXPECT_EQ(Be16(idx, d1), 0x10u);
  for (std::size_t at : Changed(FileKind::Index)) EXPECT_TRUE(at == d1 || at == d1 + 1) << at;

  const std::uint32_t leaf = layout.index.keys[1].Leaves()[3];
  SetUsedLength(set, 512, leaf, 0x7FFF);
  idx = test::Slurp(set.Index());
  EXPECT_EQ(Be16(idx, (leaf - 1) * 512ull), 0x7FFFu);
  for (std::size_t at : Changed(FileKind::Index))
    EXPECT_TRUE(at == d1 || at == d1 + 1 || at == (leaf - 1) * 512ull || at == (leaf - 1) * 512ull + 1) << at;
  ExpectUntouchedExcept(FileKind::Index);
}

TEST_F(DamageTest, RemoveEntryShiftsTheRestAndPurgeRecordSetsTheTerminator) {
  const std::uint32_t leaf = layout.index.keys[1].Leaves()[2];  // records 7, 8 and 9
  const std::size_t at = (leaf - 1ull) * 512;
  RemoveEntry(set, 1, leaf, 0);
  const std::string idx = test::Slurp(set.Index());
  EXPECT_EQ(Be16(idx, at), 2u + 2 * 11);
  EXPECT_EQ(idx.substr(at + 2, 22), before[3].substr(at + 13, 22));
  EXPECT_EQ(idx.substr(at + 24, 11), std::string(11, '\0'));
  EXPECT_EQ(idx.substr(at + 35), before[3].substr(at + 35));
  EXPECT_EQ(idx.substr(0, at), before[3].substr(0, at));
  EXPECT_THROW(RemoveEntry(set, 1, leaf, 2), std::runtime_error);  // two entries are left

  PurgeRecord(set, layout.recordLength, 4);
  EXPECT_EQ(Changed(FileKind::Data), (std::vector<std::size_t>{4ull * layout.recordLength - 1}));
  EXPECT_EQ(test::Slurp(set.Data())[4ull * layout.recordLength - 1], '\0');
  EXPECT_THROW(PurgeRecord(set, layout.recordLength, 31), std::runtime_error);
}

TEST_F(DamageTest, RefusesPlacesOutsideTheSet) {
  const TreeLayout& tree = layout.index.keys[1];
  EXPECT_THROW(SetEntryPointer(set, 1, tree.root, 2, 0), std::runtime_error);  // root has 2 entries
  EXPECT_THROW(SetEntryPointer(set, 1, layout.index.nodeCount + 1, 0, 0), std::runtime_error);
  EXPECT_THROW(SetUsedLength(set, 512, layout.index.nodeCount + 1, 2), std::runtime_error);
  EXPECT_THROW(PatchBytes(set, FileKind::Data, before[2].size() - 1, "ab"), std::runtime_error);
  EXPECT_THROW(TruncateFile(FileSet{dir.path(), "../ORDERS"}, FileKind::Index, 0), std::runtime_error);
  EXPECT_THROW(TruncateFile(FileSet{dir.path(), "NOSUCH"}, FileKind::Index, 0), std::runtime_error);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "_NOSUCH.IDX"));
  for (FileKind kind : kKinds) EXPECT_EQ(test::Slurp(set.Path(kind)), before[static_cast<std::size_t>(kind)]);

  PatchBytes(set, FileKind::Data, 13, std::string(1, '\0'));
  EXPECT_EQ(Changed(FileKind::Data), (std::vector<std::size_t>{13}));
}

}  // namespace
}  // namespace ondrel::writer
