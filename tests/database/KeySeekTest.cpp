// Going to a key, against a model that knows every key of the tree in order:
// one and several parts, descending parts stored both ways, duplicate keys,
// keys before the first and after the last, leaf and section boundaries,
// numbers typed short, and a tree out of order, which is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "database/Catalogue.h"
#include "database/Definition.h"
#include "database/IndexWalk.h"
#include "database/KeySeek.h"
#include "database/Profile.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDir.h"
#include "tools/writer/DataFile.h"
#include "tools/writer/Damage.h"
#include "tools/writer/IspecBuilder.h"

namespace ondrel {
namespace {

using test::RecordingPlatform;
using test::TempDir;

constexpr int kRecords = 33000;

// NO is zero-filled, AMT blank-filled; GRP repeats every 50 records.
std::vector<writer::FieldLine> Fields() {
  return {{"NO", 1, "N", 6, 0}, {"GRP", 2, "A", 4, 0}, {"AMT", 3, "N", 6, 0}, {"NAME", 4, "A", 8, 0}};
}

class KeySeekTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    writer::IspecContent setup;
    setup.name = "SEEK";
    setup.definition.fields = Fields();
    for (int i = 1; i <= kRecords; ++i) {
      char no[8];
      std::snprintf(no, sizeof no, "%06d", i);
      setup.records.push_back({{no, "G" + std::to_string(i % 50), std::to_string((i * 37) % 1000), "N" + std::to_string(i)}});
    }
    setup.profiles = {
        {.name = "BYNO", .keyFields = {{"NO"}}},
        {.name = "BYGRP", .keyFields = {{"GRP"}, {"NO"}}},
        {.name = "GRPDESC", .keyFields = {{"GRP", true}, {"NO"}}},
        {.name = "GRPRAW", .keyFields = {{.field = "GRP", .descending = true, .storedAsWritten = true}, {"NO"}}},
        {.name = "BYAMT", .keyFields = {{"AMT"}}},
    };
    layout_ = new writer::IspecLayout(writer::BuildIspec(dir_->path(), setup));
    records_ = new std::vector<writer::RecordContent>(setup.records);
  }
  static void TearDownTestSuite() {
    delete layout_;
    delete records_;
    delete dir_;
  }

  // Opens profile `profile` (1-based) of the set in `directory`, walked.
  void OpenIn(const std::string& directory, int profile) {
    state = SharedState{};
    SetTextConstants(state);
    const auto profiles = LoadFileSet(state, platform, directory, "SEEK");
    LoadProfile(state, platform, profiles, profile - 1);
    BuildReferenceInformation(state, platform);
    ASSERT_TRUE(LoadDefinition(state, platform));
    profile_ = profile;
  }
  // The same of the sound set, which opens without a message.
  void Open(int profile) {
    OpenIn(dir_->str(), profile);
    ASSERT_TRUE(platform.messages.empty());
  }

  SeekResult Seek(const std::vector<std::string>& typed) {
    ByteFile index(state.IndexPath);
    return SeekKey(state, index, typed);
  }

  // The model: the first entry whose fields, as written, are at or after the
  // typed values (each a prefix of its field as stored in the record,
  // filled as `filled` gives it), a descending field the other way.
  Long Model(const std::vector<std::string>& filled, const std::vector<int>& fields, const std::vector<bool>& desc) {
    const auto& order = layout_->entryRecords[static_cast<std::size_t>(profile_)];
    static const std::vector<writer::FieldLine> kFields = Fields();
    for (std::size_t e = 0; e < order.size(); ++e) {
      const auto& record = (*records_)[order[e] - 1];
      int verdict = 0;
      for (std::size_t p = 0; p < filled.size() && verdict == 0; ++p) {
        const auto& field = kFields[static_cast<std::size_t>(fields[p])];
        const std::string stored = writer::FitField(record.values[static_cast<std::size_t>(fields[p])], field);
        const int cmp = stored.compare(0, filled[p].size(), filled[p]);
        verdict = desc[p] ? -cmp : cmp;
      }
      if (verdict >= 0) return static_cast<Long>(e + 1);
    }
    return 0;
  }

  void ExpectFound(const std::vector<std::string>& typed, Long entry) {
    const SeekResult r = Seek(typed);
    if (entry == 0) {
      EXPECT_EQ(r.outcome, SeekOutcome::PastTheEnd) << typed[0] << " " << r.message;
    } else {
      EXPECT_EQ(r.outcome, SeekOutcome::Found) << typed[0] << " " << r.message;
      EXPECT_EQ(r.entry, entry) << typed[0];
    }
  }

  static TempDir* dir_;
  static writer::IspecLayout* layout_;
  static std::vector<writer::RecordContent>* records_;
  SharedState state;
  RecordingPlatform platform;
  int profile_ = 0;
};

TempDir* KeySeekTest::dir_ = nullptr;
writer::IspecLayout* KeySeekTest::layout_ = nullptr;
std::vector<writer::RecordContent>* KeySeekTest::records_ = nullptr;

TEST_F(KeySeekTest, OnePartAcrossLeavesAndSections) {
  Open(1);
  ExpectFound({"000001"}, 1);
  ExpectFound({"1"}, 1);          // zero-filled like the stored values
  ExpectFound({"0"}, 1);          // before the first key
  ExpectFound({"32000"}, 32000);  // the last entry of section 1
  ExpectFound({"32001"}, 32001);  // the first of section 2
  ExpectFound({"999999"}, 0);     // after the last key
  // The first and last entries of every leaf.
  for (std::size_t k = 1; k + 1 < state.LeafTable.size(); k += 97) {
    for (const Long entry : {state.LeafTable[k - 1].CumCount + 1, state.LeafTable[k].CumCount}) {
      char no[8];
      std::snprintf(no, sizeof no, "%d", static_cast<int>(entry));
      ExpectFound({no}, entry);
    }
  }
  const SeekResult tooLong = Seek({"1234567"});
  EXPECT_EQ(tooLong.outcome, SeekOutcome::Refused);
  EXPECT_EQ(tooLong.message, "The value typed for NO is longer than its 6 characters.");
}

TEST_F(KeySeekTest, SeveralPartsDuplicatesAndDescendingParts) {
  std::mt19937 random(11);
  for (const int profile : {2, 3, 4}) {
    SCOPED_TRACE(profile);
    Open(profile);
    const bool desc = profile != 2;
    for (int trial = 0; trial < 30; ++trial) {
      const std::string group = "G" + std::to_string(random() % 55);
      char no[8];
      std::snprintf(no, sizeof no, "%06d", static_cast<int>(random() % (kRecords + 10)));
      // A group alone (the first of its equal keys), a prefix, and both
      // parts: a group followed by a number is the whole field.
      ExpectFound({group}, Model({group}, {1}, {desc}));
      ExpectFound({group.substr(0, 2)}, Model({group.substr(0, 2)}, {1}, {desc}));
      const std::string whole = group + std::string(4 - group.size(), ' ');
      ExpectFound({group, no}, Model({whole, no}, {1, 0}, {desc, false}));
    }
  }
  const SeekResult gap = Seek({"", "000010"});
  EXPECT_EQ(gap.outcome, SeekOutcome::Refused);
  EXPECT_EQ(gap.message, "Type the ordinates from the first one on: GRP is empty, but a later one is not.");
}

TEST_F(KeySeekTest, NumbersTypedShortAreFilledAsTheStoredValues) {
  Open(5);  // AMT is filled with blanks: "    37"
  for (const std::string amount : {"0", "5", "37", "370", "999", "1000"}) {
    const std::string filled = std::string(6 - amount.size(), ' ') + amount;
    ExpectFound({amount}, Model({filled}, {2}, {false}));
  }
}

// Numbers with decimals, of every magnitude and both signs, zero-filled
// ("-0012.50") and blank-filled ("  -12.50"): a number typed in any form goes
// where its stored form, as printf writes it, ranks among the values written.
TEST(KeySeekNumbersTest, ANumberTypedInAnyFormIsSoughtAsTheFieldStoresIt) {
  TempDir dir;
  writer::IspecContent setup;
  setup.name = "AMTS";
  setup.definition.fields = {{"AMT", 1, "N", 7, 2}, {"BAL", 2, "N", 7, 2}};
  std::mt19937 random(7);
  std::vector<long> cents;  // the value of record i + 1, in hundredths
  const auto stored = [](long c, bool zeros) {
    char text[16];
    std::snprintf(text, sizeof text, zeros ? "%08.2f" : "%8.2f", static_cast<double>(c) / 100);
    return std::string(text);
  };
  for (int i = 0; i < 3000; ++i) {
    long c = static_cast<long>(random() % 100) + 1;
    for (int magnitude = static_cast<int>(random() % 6); magnitude > 0; --magnitude) c = c * 10 + random() % 10;
    if (random() % 5 == 0) c = -std::min(c, 99999L);  // a minus sign takes a place of the width
    cents.push_back(c);
    setup.records.push_back({{stored(c, true), stored(c, false)}});
  }
  setup.profiles = {{.name = "BYAMT", .keyFields = {{"AMT"}}}, {.name = "BYBAL", .keyFields = {{"BAL"}}}};
  writer::BuildIspec(dir.path(), setup);

  for (const int profile : {0, 1}) {
    SCOPED_TRACE(profile == 0 ? "zero-filled" : "blank-filled");
    RecordingPlatform platform;
    SharedState state;
    SetTextConstants(state);
    LoadProfile(state, platform, LoadFileSet(state, platform, dir.str(), "AMTS"), profile);
    BuildReferenceInformation(state, platform);
    ASSERT_TRUE(LoadDefinition(state, platform));
    ASSERT_GT(state.LeafTable.size(), 20u);
    ByteFile index(state.IndexPath);
    // The entry of the first value at or after the typed one: one more than
    // the values whose stored form is before its stored form.
    const auto expected = [&](long typed) {
      const std::string key = stored(typed, profile == 0);
      return 1 + std::count_if(cents.begin(), cents.end(), [&](long c) { return stored(c, profile == 0) < key; });
    };
    const auto expectAt = [&](const std::string& typed, long value) {
      const SeekResult r = SeekKey(state, index, {typed});
      const long entry = expected(value);
      if (entry > static_cast<long>(cents.size())) {
        EXPECT_EQ(r.outcome, SeekOutcome::PastTheEnd) << typed << " " << r.message;
      } else {
        EXPECT_EQ(r.outcome, SeekOutcome::Found) << typed << " " << r.message;
        EXPECT_EQ(r.entry, entry) << typed;
      }
    };
    expectAt("500.5", 50050);
    expectAt("12.3", 1230);
    expectAt("+5", 500);
    expectAt("-5", -500);
    expectAt("-12.5", -1250);
    expectAt("0.01", 1);
    expectAt(".5", 50);
    expectAt("007", 700);
    expectAt("1.500", 150);
    expectAt("99999.99", 9999999);
    expectAt("-0", 0);
    // Typed values drawn like the stored ones, in the shortest form, with
    // zeros in front or a plus sign now and then.
    for (int trial = 0; trial < 200; ++trial) {
      const long c = cents[random() % cents.size()] + static_cast<long>(random() % 3) - 1;
      if (c > 9999999 || c < -99999) continue;
      const long whole = std::labs(c) / 100, hundredths = std::labs(c) % 100;
      char typed[32];
      const char* sign = c < 0 ? "-" : trial % 5 == 0 ? "+" : "";
      const char* zero = trial % 7 == 0 ? "0" : "";
      if (hundredths == 0)
        std::snprintf(typed, sizeof typed, "%s%s%ld", sign, zero, whole);
      else if (hundredths % 10 == 0)
        std::snprintf(typed, sizeof typed, "%s%s%ld.%ld", sign, zero, whole, hundredths / 10);
      else
        std::snprintf(typed, sizeof typed, "%s%s%ld.%02ld", sign, zero, whole, hundredths);
      expectAt(typed, c);
    }
    for (const auto& [typed, why] : std::vector<std::pair<std::string, std::string>>{
             {"1.005", "The value typed for " + std::string(profile == 0 ? "AMT" : "BAL") +
                           " has more than its 2 decimal places."},
             {"100000", "The value typed for " + std::string(profile == 0 ? "AMT" : "BAL") +
                            " is longer than its 8 characters."},
             {"-100000", "The value typed for " + std::string(profile == 0 ? "AMT" : "BAL") +
                             " is longer than its 8 characters."}}) {
      const SeekResult r = SeekKey(state, index, {typed});
      EXPECT_EQ(r.outcome, SeekOutcome::Refused) << typed;
      EXPECT_EQ(r.message, why);
    }
  }
}

TEST_F(KeySeekTest, ATreeOutOfOrderIsRefusedNotAnswered) {
  TempDir dir;
  dir.CopyContentsOf(dir_->path());
  const writer::FileSet set{dir.path(), "SEEK"};
  const auto& leaves = layout_->index.keys[1].Leaves();
  // The first keys of two leaves the search passes through change places.
  writer::SwapEntries(set, 1, leaves[leaves.size() / 2], 0, leaves[leaves.size() / 4], 0);
  ASSERT_NO_FATAL_FAILURE(OpenIn(dir.str(), 1));
  const Long quarter = state.LeafTable[leaves.size() / 4].CumCount;
  char no[8];
  std::snprintf(no, sizeof no, "%06d", static_cast<int>(quarter));
  const SeekResult r = Seek({no});
  EXPECT_EQ(r.outcome, SeekOutcome::Refused);
  EXPECT_NE(r.message.find("not in the order of the profile's key"), std::string::npos) << r.message;
  EXPECT_EQ(r.entry, 0);
}

// A leaf of a negative used length sets the leaf table's count back: the
// entries after it are numbered below 1, then with numbers the entries before
// it hold already, until the count has caught up.  A key found where its
// number leads the window to another entry is refused, not answered; a key
// before the damage, or far enough after it, is found at the number the
// window shows it at.
TEST_F(KeySeekTest, AKeyWhoseNumberTheWindowGivesAnotherEntryIsRefused) {
  TempDir dir;
  dir.CopyContentsOf(dir_->path());
  const writer::FileSet set{dir.path(), "SEEK"};
  const auto& leaves = layout_->index.keys[1].Leaves();
  writer::SetUsedLength(set, 512, leaves[3], 0x8000);
  ASSERT_NO_FATAL_FAILURE(OpenIn(dir.str(), 1));
  const auto& table = state.LeafTable;
  ASSERT_LT(table[4].CumCount, 0);
  // The first key of leaf k (1-based) is record (k - 1) * perLeaf + 1.
  const auto perLeaf = static_cast<int>(layout_->index.keys[1].leafEntries[0]);
  auto firstOf = [perLeaf](std::size_t k) {
    char no[16];
    std::snprintf(no, sizeof no, "%06d", static_cast<int>(k - 1) * perLeaf + 1);
    return std::string(no);
  };
  std::size_t shadowed = 5;  // a leaf numbered inside the numbers before the damage
  while (shadowed < table.size() && table[shadowed - 1].CumCount < 0) ++shadowed;
  ASSERT_LE(table[shadowed].CumCount, state.LeafReach[3]);
  for (const std::size_t k : {std::size_t{11}, shadowed}) {
    const SeekResult r = Seek({firstOf(k)});
    EXPECT_EQ(r.outcome, SeekOutcome::Refused) << firstOf(k) << " gave entry " << r.entry;
    EXPECT_FALSE(r.message.empty());
  }
  ExpectFound({"000002"}, 2);
  ExpectFound({firstOf(101)}, table[100].CumCount + 1);
  EXPECT_EQ(FindLeaf(state, table[100].CumCount + 1), 101);
}

// The walk keeps the first and last key of every leaf, which the seek
// searches in memory; asked to, it learns whether every leading part is
// digits.  A leaf rewritten on disk after the walk no longer matches them,
// and a seek that reads it is refused rather than answered from it.
TEST_F(KeySeekTest, TheWalkKeepsEachLeafsKeysAndALeafChangedSinceIsRefused) {
  static const std::vector<writer::FieldLine> kFields = Fields();
  for (const auto& [profile, field, digits] : {std::tuple{1, 0, 1}, std::tuple{5, 2, 0}}) {  // NO, AMT "   37"
    SCOPED_TRACE(profile);
    Open(profile);
    EXPECT_EQ(state.LeadingDigits, -1);
    BuildReferenceInformation(state, platform, true);
    EXPECT_EQ(state.LeadingDigits, digits);
    EXPECT_EQ(state.SecondDigits, 0);  // a key of one part
    const auto& order = layout_->entryRecords[static_cast<std::size_t>(profile)];
    const auto length = static_cast<std::size_t>(state.KeyLength);
    const int keyField = field;  // a binding of the loop is not captured by every compiler
    auto keyOf = [&](Long entry) {
      return writer::FitField((*records_)[order[static_cast<std::size_t>(entry) - 1] - 1].values[keyField],
                              kFields[static_cast<std::size_t>(keyField)]);
    };
    ASSERT_EQ(state.LeafKeysRead.size(), state.LeafTable.size());
    for (std::size_t k = 1; k < state.LeafTable.size(); ++k) {
      ASSERT_EQ(state.LeafKeysRead[k], 1) << k;
      const char* first = reinterpret_cast<const char*>(state.LeafKeys.data()) + k * 2 * length;
      EXPECT_EQ(std::string(first, length), keyOf(state.LeafTable[k - 1].CumCount + 1)) << k;
      EXPECT_EQ(std::string(first + length, length), keyOf(state.LeafTable[k].CumCount)) << k;
    }
  }

  // Second parts: NO behind GRP ("G12"), stored as it is or behind a
  // descending part, learnt by the walk or afterwards; a text key part is
  // no digits, and a key of one part has no second part.
  for (const int profile : {2, 3}) {
    Open(profile);
    EXPECT_TRUE(LearnSecondDigits(state)) << profile;
    BuildReferenceInformation(state, platform, true);
    EXPECT_EQ(state.LeadingDigits, 0) << profile;
    EXPECT_EQ(state.SecondDigits, 1) << profile;
  }
  Open(1);
  EXPECT_FALSE(LearnSecondDigits(state));
  {
    // One second part of a leaf in the middle no longer all digits.
    TempDir broken;
    broken.CopyContentsOf(dir_->path());
    const writer::FileSet set{broken.path(), "SEEK"};
    const auto& leaves = layout_->index.keys[2].Leaves();
    const std::string before = writer::SetEntryKey(set, 2, leaves[leaves.size() / 2], 1, std::string(10, 'X'));
    writer::SetEntryKey(set, 2, leaves[leaves.size() / 2], 1, before.substr(0, 4) + "00 1 0");
    ASSERT_NO_FATAL_FAILURE(OpenIn(broken.str(), 2));
    EXPECT_FALSE(LearnSecondDigits(state));
    BuildReferenceInformation(state, platform, true);
    EXPECT_EQ(state.SecondDigits, 0);
  }

  TempDir dir;
  dir.CopyContentsOf(dir_->path());
  ASSERT_NO_FATAL_FAILURE(OpenIn(dir.str(), 1));
  const auto& leaves = layout_->index.keys[1].Leaves();
  const std::size_t k = leaves.size() / 3;  // 1-based leaf k + 1
  char no[16];
  std::snprintf(no, sizeof no, "%06d", static_cast<int>(state.LeafTable[k].CumCount) + 2);  // its second entry
  ExpectFound({no}, state.LeafTable[k].CumCount + 2);
  // Its last two entries change places on disk: the leaf no longer ends
  // with the key the walk read.
  const int entries = static_cast<int>(state.LeafTable[k + 1].CumCount - state.LeafTable[k].CumCount);
  writer::SwapEntries(writer::FileSet{dir.path(), "SEEK"}, 1, leaves[k], entries - 2, leaves[k], entries - 1);
  ByteFile changed(state.IndexPath);
  const SeekResult r = SeekKey(state, changed, {no});
  EXPECT_EQ(r.outcome, SeekOutcome::Refused) << r.entry;
  EXPECT_NE(r.message.find("changed since the profile was opened"), std::string::npos) << r.message;
}

// Seeks that share a memo (as a join's inner lookups do) neither read nor
// check again the leaves they kept: they must answer as the model does on a
// sound tree.  On a tree out of order anywhere they must refuse every key,
// as seeks alone do: the model's answer there is the first entry at or after
// the key in the order of the entries, which halving cannot find when a key
// has moved into a leaf it passes by.  The damage: two entries in the middle
// of one leaf, the first entries of two leaves far apart (the keys the walk
// kept no longer rise), or their second entries (those keys still rise).
// Each key is sought twice, the second time from the memo.
TEST_F(KeySeekTest, SeeksSharingAMemoAnswerAsTheModelAndRefuseWhatTheyRefuseAlone) {
  const auto& leaves = layout_->index.keys[1].Leaves();
  const std::size_t inside = leaves.size() / 3, moved = leaves.size() / 2;
  enum Tree { Sound, LeafOutOfOrder, KeptKeysOutOfOrder, SecondEntriesAcrossLeaves };
  for (const Tree tree : {Sound, LeafOutOfOrder, KeptKeysOutOfOrder, SecondEntriesAcrossLeaves}) {
    SCOPED_TRACE(tree);
    TempDir dir;
    dir.CopyContentsOf(dir_->path());
    const writer::FileSet set{dir.path(), "SEEK"};
    if (tree == LeafOutOfOrder) writer::SwapEntries(set, 1, leaves[inside], 3, leaves[inside], 9);
    if (tree == KeptKeysOutOfOrder) writer::SwapEntries(set, 1, leaves[moved], 0, leaves[moved / 2], 0);
    if (tree == SecondEntriesAcrossLeaves) writer::SwapEntries(set, 1, leaves[moved], 1, leaves[moved / 2], 1);
    ASSERT_NO_FATAL_FAILURE(OpenIn(dir.str(), 1));
    ByteFile index(state.IndexPath);
    const KeyOrder order(state);
    SeekMemo memo;
    // The keys: the fourth entry of every fifth leaf and of the leaves
    // damaged, in no order.
    std::vector<Long> entries;
    for (std::size_t k = 0; k + 1 < state.LeafTable.size(); k += 5) entries.push_back(state.LeafTable[k].CumCount + 4);
    for (const std::size_t k : {inside, moved, moved / 2}) entries.push_back(state.LeafTable[k].CumCount + 4);
    std::mt19937 random(11);
    std::shuffle(entries.begin(), entries.end(), random);
    std::size_t refused = 0;
    for (int pass = 0; pass < 2; ++pass) {
      for (const Long entry : entries) {
        char no[8];
        std::snprintf(no, sizeof no, "%06d", static_cast<int>(entry));
        TypedKey key;
        std::string why;
        ASSERT_TRUE(PrepareTypedKey(state, order, index, {no}, key, why)) << why;
        const SeekResult alone = SeekStored(state, index, order, key);
        const SeekResult shared = SeekStored(state, index, order, key, &memo);
        EXPECT_EQ(shared.outcome, alone.outcome) << no << " pass " << pass << " " << shared.message;
        EXPECT_EQ(shared.entry, alone.entry) << no << " pass " << pass;
        if (shared.outcome == SeekOutcome::Refused) {
          ++refused;
          EXPECT_NE(shared.message.find("not in the order of the profile's key"), std::string::npos) << shared.message;
          continue;
        }
        EXPECT_EQ(shared.entry, Model({no}, {0}, {false})) << no;
      }
    }
    EXPECT_EQ(refused, tree == Sound ? 0u : 2 * entries.size());
  }
  // The viewer's seek learns the order once for the walk; a new walk learns
  // it again.
  ASSERT_NO_FATAL_FAILURE(Open(1));
  EXPECT_EQ(state.KeysRise, -1);
  ExpectFound({"000007"}, 7);
  EXPECT_EQ(state.KeysRise, 1);
}

// A profile whose key has no fields: every entry's key is empty.  The walk
// counts every entry and keeps nothing for the leaves (copying keys of no
// bytes once touched memory that was never there), and a seek is refused
// with its reason, not answered.
TEST(KeySeekNoKeyTest, AKeyOfNoBytesIsWalkedAndItsSeekRefused) {
  TempDir dir;
  writer::IspecContent setup;
  setup.name = "NOKEY";
  setup.definition.fields = Fields();
  for (int i = 1; i <= 3000; ++i) setup.records.push_back({{std::to_string(i), "G", "1", "N"}});
  setup.profiles = {{.name = "NONE", .keyFields = {}}};
  writer::BuildIspec(dir.path(), setup);
  for (bool learnDigits : {false, true}) {
    SCOPED_TRACE(learnDigits);
    SharedState state;
    RecordingPlatform platform;
    SetTextConstants(state);
    const auto profiles = LoadFileSet(state, platform, dir.str(), "NOKEY");
    LoadProfile(state, platform, profiles, 0);
    ASSERT_EQ(state.KeyLength, 0);
    const WalkResult walk = BuildReferenceInformation(state, platform, learnDigits);
    ASSERT_TRUE(LoadDefinition(state, platform));
    ASSERT_TRUE(platform.messages.empty()) << platform.messages.front().text;
    EXPECT_EQ(walk.failures, 0);
    ASSERT_GT(state.LeafTable.size(), 3u);  // several leaves
    EXPECT_EQ(state.LeafTable.back().CumCount, 3000);
    if (learnDigits) {
      EXPECT_EQ(state.LeadingDigits, 0);
    }
    EXPECT_EQ(std::count(state.LeafKeysRead.begin() + 1, state.LeafKeysRead.end(), 1), state.LeafTable.size() - 1);
    ByteFile index(state.IndexPath);
    for (const std::string typed : {"", "1"}) {
      const SeekResult r = SeekKey(state, index, {typed});
      EXPECT_EQ(r.outcome, SeekOutcome::Refused) << typed;
      EXPECT_EQ(r.message, "The profile's key cannot be searched: the key description has no parts.");
    }
  }
}

}  // namespace
}  // namespace ondrel
