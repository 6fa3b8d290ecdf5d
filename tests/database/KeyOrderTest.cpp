// The order of a key's tree: how descending parts are stored, learnt from
// the tree; when the order can be judged at all; and what the entry cursor
// notices in a tree out of order or a leaf that is no leaf.
#include <gtest/gtest.h>

#include <cctype>

#include "database/Catalogue.h"
#include "database/Definition.h"
#include "database/EntryCursor.h"
#include "database/IndexWalk.h"
#include "database/KeyRecord.h"
#include "database/Messages.h"
#include "database/Profile.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDir.h"
#include "tools/writer/Bytes.h"
#include "tools/writer/Damage.h"
#include "tools/writer/IspecBuilder.h"

namespace ondrel {
namespace {

using test::RecordingPlatform;
using test::TempDir;

// 400 people in 7 cities, in small leaves so that every tree has many.
class KeyOrderTest : public ::testing::Test {
 protected:
  KeyOrderTest() {
    writer::IspecContent setup;
    setup.name = "PEOPLE";
    setup.definition.fields = {{"NAME", 1, "A", 8, 0}, {"CITY", 2, "A", 6, 0}, {"NO", 3, "N", 4, 0}};
    for (int i = 0; i < 400; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "P%05d", (i * 7919) % 1000);
      setup.records.push_back({{name, "CITY" + std::to_string(i % 7), std::to_string(i)}});
    }
    auto profile = [](const std::string& name, std::vector<writer::KeyField> fields) {
      writer::ProfileDef p;
      p.name = name;
      p.keyFields = std::move(fields);
      p.maxLeafFill = 9;
      return p;
    };
    setup.profiles = {
        profile("BYNAME", {{"NAME"}}),
        profile("DESCINV", {{"NAME", true}}),
        profile("DESCRAW", {{.field = "NAME", .descending = true, .storedAsWritten = true}}),
        profile("CITYDESC", {{"CITY"}, {.field = "NAME", .descending = true, .storedAsWritten = true}}),
        profile("EXTRAORD", {{"NAME"}}),
    };
    setup.profiles.back().extraRecords = {"OCITY      FF"};  // two ordinates for one part
    layout = writer::BuildIspec(dir.path(), setup);
  }

  // Opens a profile as the chooser's Ok does, and loads the definition.
  void Open(const std::string& profile) {
    state = SharedState{};
    SetTextConstants(state);
    const auto profiles = LoadFileSet(state, platform, dir.str(), "PEOPLE");
    int position = 0;
    while (profiles[static_cast<std::size_t>(position)] != profile) ++position;
    LoadProfile(state, platform, profiles, position);
    BuildReferenceInformation(state, platform);
    ASSERT_TRUE(LoadDefinition(state, platform));
    platform.messages.clear();
  }

  // Reads every entry of the open profile; returns how many.
  long ScanAll(FineProblems& problems) {
    ByteFile index(state.IndexPath);
    const KeyOrder order(state);
    EntryCursor cursor(state, index, order, problems);
    cursor.StartAt(1);
    TreeEntry entry;
    long n = 0;
    while (cursor.Next(entry)) ++n;
    return n;
  }

  const writer::TreeLayout& Tree(int profile) const { return layout.index.keys[static_cast<std::size_t>(profile)]; }

  TempDir dir;
  writer::IspecLayout layout;
  SharedState state;
  RecordingPlatform platform;
};

TEST_F(KeyOrderTest, DescendingStorageIsLearntFromTheTree) {
  struct Case {
    const char* profile;
    std::vector<PartStorage> storage;
  };
  for (const Case& c : {Case{"BYNAME", {PartStorage::Plain}}, Case{"DESCINV", {PartStorage::Inverted}},
                        Case{"DESCRAW", {PartStorage::Plain}},
                        Case{"CITYDESC", {PartStorage::Plain, PartStorage::Plain}}}) {
    SCOPED_TRACE(c.profile);
    Open(c.profile);
    EXPECT_EQ(state.KeyPartStorage, c.storage);
    const KeyOrder order(state);
    ASSERT_TRUE(order.Judged()) << order.Unmatched();
    // A sound tree of every shape raises no alarm from end to end.
    FineProblems problems(platform);
    EXPECT_EQ(ScanAll(problems), 400);
    EXPECT_FALSE(problems.Any()) << problems.Summary();
    EXPECT_TRUE(platform.messages.empty());
  }
}

TEST_F(KeyOrderTest, OrdinatesThatDoNotMatchTheKeyAreNotJudged) {
  Open("EXTRAORD");
  const KeyOrder extra(state);
  EXPECT_FALSE(extra.Judged());
  EXPECT_EQ(extra.Unmatched(), "the profile names 2 ordinates for the key's 1 parts");

  // An ordinate as wide as no part, or naming no field: nothing is judged,
  // even in a tree out of order.
  Open("BYNAME");
  state.FieldTable[1].Width = 9;
  EXPECT_EQ(KeyOrder(state).Unmatched(), "the ordinate NAME is 9 bytes wide and its key part 8");
  state.FieldTable[1].Name = "OTHER";
  EXPECT_EQ(KeyOrder(state).Unmatched(), "the ordinate NAME is no field of the definition");
  writer::SwapEntries(layout.files, 1, Tree(1).Leaves()[2], 3, Tree(1).Leaves()[2], 4);
  FineProblems problems(platform);
  ScanAll(problems);
  EXPECT_FALSE(problems.Any());
}

TEST_F(KeyOrderTest, CursorReportsKeysOutOfOrderAndLeavesThatAreNoLeaves) {
  // Two neighbours swapped within a leaf and across a leaf boundary, in an
  // ascending tree and in one whose descending part is stored as written.
  for (const int profile : {1, 3}) {
    for (const bool acrossLeaves : {false, true}) {
      SCOPED_TRACE(profile * 10 + acrossLeaves);
      const auto& leaves = Tree(profile).Leaves();
      const std::uint32_t a = leaves[4];
      const std::uint32_t b = acrossLeaves ? leaves[5] : leaves[4];
      const int ea = acrossLeaves ? static_cast<int>(Tree(profile).leafEntries[4]) - 1 : 2;
      const int eb = acrossLeaves ? 0 : 3;
      writer::SwapEntries(layout.files, profile, a, ea, b, eb);
      Open(profile == 1 ? "BYNAME" : "DESCRAW");
      FineProblems problems(platform);
      EXPECT_EQ(ScanAll(problems), 400);
      EXPECT_EQ(problems.order, 1);
      EXPECT_EQ(problems.leaves + problems.entries + problems.records + problems.other, 0);
      ASSERT_EQ(platform.messages.size(), 1u);  // told once
      EXPECT_EQ(platform.messages[0].text, msg::kFine);
      writer::SwapEntries(layout.files, profile, a, ea, b, eb);
    }
  }

  // A leaf whose level word says interior, and one whose used length no
  // leaf has: each is one damaged leaf.
  Open("BYNAME");
  const auto& leaves = Tree(1).Leaves();
  writer::PatchBytes(layout.files, writer::FileKind::Index, (leaves[1] - 1ull) * 512 + 510, std::string(1, '\1'));
  writer::SetUsedLength(layout.files, 512, leaves[6], 2 + 9 * 19 + 5);
  FineProblems problems(platform);
  ScanAll(problems);
  EXPECT_EQ(problems.leaves, 2);
  EXPECT_EQ(platform.messages.size(), 1u);
}

// A leaf whose used length runs past its node: the cursor reads the entries
// there from the file, piece by piece, and still compares each key with the
// one before.  The breaks in the order are counted here from the file's
// bytes, leaf by leaf as the walk found them.
TEST_F(KeyOrderTest, KeysReadPastTheNodeAreComparedToo) {
  Open("BYNAME");
  const int entrySize = 1 + state.KeyLength + state.EntryTail;
  const auto used = static_cast<std::uint16_t>(2 + ((512 - 2) / entrySize + 12) * entrySize);
  writer::SetUsedLength(layout.files, 512, Tree(1).Leaves()[6], used);
  Open("BYNAME");
  const std::string file = writer::ReadWholeFile(layout.files.Index());
  int breaks = 0, breaksPastNodes = 0;
  std::string previous;
  for (std::size_t leaf = 1; leaf < state.LeafTable.size(); ++leaf) {
    const auto node = static_cast<std::size_t>(state.LeafTable[leaf].NodePos - 1);
    const int leafUsed = writer::GetBE16(reinterpret_cast<const unsigned char*>(&file[node]));
    for (int at = 2; at + entrySize <= leafUsed; at += entrySize) {
      std::string here = file.substr(node + static_cast<std::size_t>(at) + 1, state.KeyLength);
      breaks += !previous.empty() && previous > here;
      breaksPastNodes += at > 512 && previous > here;  // both keys lie past the node
      previous = std::move(here);
    }
  }
  ASSERT_GT(breaksPastNodes, 0);
  FineProblems problems(platform);
  ScanAll(problems);
  EXPECT_EQ(problems.order, breaks);
}

// Keys against their records: compared only where the tree shows its keys
// are the records' fields, and then a key that is not is seen.
TEST_F(KeyOrderTest, KeysAreComparedWithRecordsOnlyWhereTheTreeShowsThemSo) {
  for (const char* profile : {"BYNAME", "DESCINV", "DESCRAW", "CITYDESC"}) {
    Open(profile);
    ByteFile index(state.IndexPath), data(state.DataPath);
    LearnKeyRecordCheck(state, index, data);
    EXPECT_EQ(state.KeyRecords, KeyRecordCheck::Yes) << profile;
  }
  // A key that names another record, still in the tree's order: the entry
  // points at a record that is not the one its key was made from.
  Open("BYNAME");
  const auto& leaves = Tree(1).Leaves();
  const std::string key = writer::SetEntryKey(layout.files, 1, leaves[3], 2, std::string(8, 'P'));
  writer::SetEntryKey(layout.files, 1, leaves[3], 2, key.substr(0, 7) + "0");
  {
    ByteFile index(state.IndexPath), data(state.DataPath);
    const KeyOrder order(state);
    const KeyFields fields(state, order);
    ASSERT_TRUE(fields.Usable());
    FineProblems problems(platform);
    EntryCursor cursor(state, index, order, problems);
    cursor.StartAt(1);
    int mismatches = 0;
    for (TreeEntry entry; cursor.Next(entry);) mismatches += !fields.RecordHoldsKey(data, entry.Record, entry.Key);
    EXPECT_EQ(mismatches, 1);
  }

  // Keys made otherwise than from the fields as they stand: the sample sees
  // it, and no key is compared, so nothing false is said.  Every name
  // written in small letters after the tree was built leaves keys that are
  // the fields in capitals; every letter moved on by one, keys made some
  // other way.
  const std::string bytes = writer::ReadWholeFile(layout.files.Data());
  std::string small = bytes, moved = bytes;
  for (char& c : small) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (char& c : moved)
    if (std::isupper(static_cast<unsigned char>(c))) c = c == 'Z' ? 'A' : static_cast<char>(c + 1);
  for (const auto& [written, learnt] : {std::pair{small, KeyRecordCheck::Capitals}, std::pair{moved, KeyRecordCheck::No}}) {
    writer::WriteWholeFile(layout.files.Data(), written);
    Open("BYNAME");
    ByteFile index(state.IndexPath), data(state.DataPath);
    LearnKeyRecordCheck(state, index, data);
    EXPECT_EQ(state.KeyRecords, learnt);
  }
}

}  // namespace
}  // namespace ondrel
