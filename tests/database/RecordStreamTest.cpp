// Records read in batches: the batch visits slots in record-number order,
// and the stream hands records back in key order, the same as reading them
// one by one, whatever the batch size and however the key scatters them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <numeric>
#include <random>

#include "database/Catalogue.h"
#include "database/DataRecord.h"
#include "database/Definition.h"
#include "database/IndexWalk.h"
#include "database/KeySeek.h"
#include "database/LargeMemory.h"
#include "database/Profile.h"
#include "database/RecordStream.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDir.h"
#include "tools/writer/Damage.h"
#include "tools/writer/IspecBuilder.h"

namespace ondrel {
namespace {

using test::RecordingPlatform;
using test::TempDir;

// Keeps each slot at its place, taking runs in its own memory where the
// batch offers them; `got` tells how each place was served (1 visited, 100
// filled: never both, never twice), `visits` the order of the visits.
class Keeper : public SlotVisitor {
 public:
  explicit Keeper(std::size_t places) : room(places * 8, '?'), got(places, 0) {}
  void Visit(std::size_t place, const char* slot) override {
    ++got[place];
    visits.push_back(place);
    if (slot) room.replace(place * 8, 8, slot, 8);
  }
  char* Room(std::size_t place, std::size_t) override { return room.data() + place * 8; }
  void Filled(std::size_t place, std::size_t count) override {
    for (std::size_t p = place; p < place + count; ++p) got[p] += 100;
  }
  std::string room;
  std::vector<int> got;
  std::vector<std::size_t> visits;
};

TEST(RecordBatchTest, VisitsSlotsInRecordOrderAndReadsRunsInOrderWhereTheVisitorKeepsThem) {
  // 300,000 slots of 8 bytes (runs longer than one read), a piece of a slot,
  // and the last ten whole slots unreadable, as in a file cut short.
  constexpr Long kSlots = 300000;
  std::string bytes;
  char slot[9];
  for (Long r = 1; r <= kSlots; ++r) bytes.append(slot, std::snprintf(slot, sizeof slot, "%07d\n", static_cast<int>(r)));
  ByteFile data;
  ASSERT_TRUE(data.Open(std::make_unique<test::MemoryFile>(bytes + "tai", 10 * 8 + 3)));
  RecordBatch batch(data, 8);
  // A run in record order; runs in record order asked for backwards, twice
  // over and every other slot; scattered numbers, over the whole range of a
  // Long too; the run into the unreadable slots and past the whole ones;
  // numbers below 1.
  std::vector<Long> numbers;
  for (Long r = 1; r <= 200000; ++r) numbers.push_back(r);
  for (Long r = 250000; r > 240000; --r) numbers.push_back(r);
  for (Long r = 230000; r < 232000; ++r) numbers.insert(numbers.end(), {r, r});
  for (Long r = 220000; r < 224000; r += 2) numbers.push_back(r);
  std::mt19937 random(11);
  for (int i = 0; i < 3000; ++i) numbers.push_back(static_cast<Long>(random() % 40000) + 250001);
  for (int i = 0; i < 2000; ++i) numbers.push_back(static_cast<Long>(random() % 2147483647) + 1);
  for (Long r = kSlots - 5000; r <= kSlots + 2; ++r) numbers.push_back(r);
  numbers.insert(numbers.end(), {0, -4, -50});
  for (Long n : numbers) batch.Add(n);
  Keeper keeper(numbers.size());
  batch.Read(keeper);

  const auto number = [&](std::size_t place) { return std::max<Long>(numbers[place], 0); };
  for (std::size_t v = 1; v < keeper.visits.size(); ++v) {
    const std::size_t a = keeper.visits[v - 1], b = keeper.visits[v];
    ASSERT_TRUE(number(a) < number(b) || (number(a) == number(b) && a < b)) << number(b) << " after " << number(a);
  }
  std::size_t filled = 0;
  for (std::size_t place = 0; place < numbers.size(); ++place) {
    const Long n = numbers[place];
    SCOPED_TRACE(testing::Message() << "place " << place << ", record " << n);
    const int got = keeper.got[place];
    ASSERT_TRUE(got == 0 || got == 1 || got == 100);
    filled += got == 100;
    // A run that reaches the unreadable slots fails whole, and is then
    // visited without bytes or not told at all; before those, every slot
    // is read, and nothing is ever read for a number no slot has.
    const bool unread = keeper.room.substr(place * 8, 8) == "????????";
    if (n < 1 || n > kSlots - 10) {
      EXPECT_TRUE(unread);
    } else if (n < kSlots - 10 - 131072) {
      ASSERT_FALSE(unread);
    }
    if (unread) {
      EXPECT_NE(got, 100);
    } else {
      ASSERT_EQ(keeper.room.substr(place * 8, 8), std::string(slot, std::snprintf(slot, sizeof slot, "%07d\n", n)));
    }
  }
  // The run asked for in record order was taken in place, the runs asked
  // for backwards or twice over were visited.
  EXPECT_GE(filled, 200000u);
  for (std::size_t place = 200000; place < 214000; ++place) EXPECT_EQ(keeper.got[place], 1);
}

#if defined(__linux__)
// The VmFlags of the mapping of this process that holds `address`.
std::string FlagsOfMappingAt(const void* address) {
  std::ifstream smaps("/proc/self/smaps");
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    std::uintptr_t from = 0, to = 0;
    if (std::sscanf(line.c_str(), "%" SCNxPTR "-%" SCNxPTR " ", &from, &to) == 2 && line.find(':') > line.find(' '))
      inside = from <= at && at < to;
    else if (inside && line.rfind("VmFlags:", 0) == 0)
      return line;
  }
  return "(no mapping)";
}

// A large array asks for huge pages on all its whole pages; a small one
// asks for nothing.
TEST(LargeMemoryTest, TheWholePagesOfALargeArrayAskForHugePages) {
  if (!std::filesystem::exists("/sys/kernel/mm/transparent_hugepage")) GTEST_SKIP() << "no huge pages on this system";
  constexpr std::size_t kLarge = 16 << 20, kSmall = 1 << 20;
  const std::unique_ptr<char[]> large(new char[kLarge]), small(new char[kSmall]);
  AdviseLargeMemory(large.get() + 1, kLarge - 1);
  AdviseLargeMemory(small.get(), kSmall);
  EXPECT_NE(FlagsOfMappingAt(large.get() + 4096).find(" hg"), std::string::npos);
  EXPECT_NE(FlagsOfMappingAt(large.get() + kLarge - 4096 - 1).find(" hg"), std::string::npos);
  EXPECT_EQ(FlagsOfMappingAt(small.get() + kSmall / 2).find(" hg"), std::string::npos);
}
#endif

// 3000 records; profile BYNAME orders them by a name that scatters them,
// profile BYNO by number, in record order.
class RecordStreamTest : public ::testing::Test {
 protected:
  RecordStreamTest() {
    writer::IspecContent setup;
    setup.name = "SCAT";
    setup.definition.fields = {{"NO", 1, "N", 6, 0}, {"NAME", 2, "A", 8, 0}, {"[H]", 3, "A", 3, 0}};
    for (int i = 1; i <= 3000; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "N%06d", (i * 7919) % 3001);
      setup.records.push_back({{std::to_string(i), name, "hid"}, i % 97 == 0});
    }
    setup.profiles = {{.name = "BYNAME", .keyFields = {{"NAME"}},
                       .select = [](std::uint32_t, const writer::RecordContent&) { return true; },
                       .entryFlag = [](std::uint32_t n, const writer::RecordContent&) -> std::uint8_t {
                         return n % 50 == 0 ? 'N' : 'Y';
                       }},
                      {.name = "BYNO", .keyFields = {{"NO"}}}};
    layout = writer::BuildIspec(dir.path(), setup);
  }

  void Open(const std::string& profile) {
    state = SharedState{};
    SetTextConstants(state);
    const auto profiles = LoadFileSet(state, platform, dir.str(), "SCAT");
    LoadProfile(state, platform, profiles, profile == "BYNAME" ? 0 : 1);
    BuildReferenceInformation(state, platform);
    ASSERT_TRUE(LoadDefinition(state, platform));
  }

  // Every entry from leaf 1 on, as (entry number, flag, record line or "-"),
  // read through a stream of the given budget; or the run from entry `from`
  // to `until` (RecordStream::StartAt).  `counter`, when given, gets the
  // stream's count at its end.
  // With `ahead`, the stream reads each next batch on its own thread.
  std::vector<std::string> Streamed(std::size_t budget, FineProblems& problems, Long from = 0, Long until = 0,
                                    bool jump = false, Long* counter = nullptr) {
    ByteFile index(state.IndexPath), data(state.DataPath);
    const KeyOrder order(state);
    RecordStream stream(state, index, data, order, problems, budget);
    if (ahead) stream.ReadAhead();
    // Every row read whole is inspected, with its own key and record, on
    // whichever thread, and its mark comes with it.
    const auto mark = [this](const unsigned char* key, const char* slot) {
      std::uint32_t hash = 2166136261u;
      for (Integer i = 0; key && i < state.KeyLength; ++i) hash = (hash ^ key[i]) * 16777619u;
      for (Long i = 0; i < state.RecordLength; ++i) hash = (hash ^ static_cast<unsigned char>(slot[i])) * 16777619u;
      return static_cast<std::uint8_t>(hash | 1);
    };
    stream.Inspect(mark);
    if (keysInspectedOnly) stream.KeysForInspectionOnly();
    stream.StartAt(from > 0 ? FindLeaf(state, from) : 1, from, until, jump);
    std::vector<std::string> rows;
    StreamRow row;
    while (stream.Next(row)) {
      // The key the entry holds, as OneByOne read it.
      const auto known = keysOf.find(row.entry.Number);
      const auto* key = known == keysOf.end() ? nullptr : reinterpret_cast<const unsigned char*>(known->second.data());
      if (row.entry.Key) {
        EXPECT_TRUE(key && std::memcmp(row.entry.Key, key, static_cast<std::size_t>(state.KeyLength)) == 0)
            << row.entry.Number;
      } else {
        EXPECT_TRUE(keysInspectedOnly && (row.slot || !row.wanted)) << row.entry.Number;
      }
      if (keysInspectedOnly) {
        EXPECT_TRUE(!row.slot || !row.entry.Key) << row.entry.Number;
      }
      EXPECT_EQ(row.mark, row.slot ? mark(key, row.slot) : 0) << row.entry.Number;
      std::string line = std::to_string(row.entry.Number) + " " + static_cast<char>(row.entry.Flag) + " ";
      if (row.wanted) {
        stream.Decode(state, row);
        line += state.RecordLine + state.RecordFlag;
      } else {
        line += "-";
      }
      rows.push_back(line);
    }
    if (counter) *counter = stream.Counter();
    return rows;
  }

  // The same, one record at a time, as the record window reads them.
  std::vector<std::string> OneByOne(FineProblems& problems) {
    ByteFile index(state.IndexPath), data(state.DataPath);
    const KeyOrder order(state);
    EntryCursor cursor(state, index, order, problems);
    cursor.StartAt(1);
    std::vector<std::string> rows;
    TreeEntry entry;
    while (cursor.Next(entry)) {
      if (entry.Key)
        keysOf[entry.Number].assign(reinterpret_cast<const char*>(entry.Key), static_cast<std::size_t>(state.KeyLength));
      std::string line = std::to_string(entry.Number) + " " + static_cast<char>(entry.Flag) + " ";
      if (entry.Flag == 'Y') {
        ReadEntryRecord(state, problems, data, entry.Record);
        line += state.RecordLine + state.RecordFlag;
      } else {
        line += "-";
      }
      rows.push_back(line);
    }
    return rows;
  }

  TempDir dir;
  writer::IspecLayout layout;
  SharedState state;
  RecordingPlatform platform;
  bool ahead = false;
  bool keysInspectedOnly = false;  // RecordStream::KeysForInspectionOnly
  std::map<Long, std::string> keysOf;  // each entry's key, by entry number (OneByOne)
};

TEST_F(RecordStreamTest, BatchesGiveTheRecordsOneByOneReadingGives) {
  for (const char* profile : {"BYNAME", "BYNO"}) {
    SCOPED_TRACE(profile);
    Open(profile);
    FineProblems expectedProblems(platform), problems(platform);
    const auto expected = OneByOne(expectedProblems);
    ASSERT_EQ(expected.size(), std::string(profile) == "BYNAME" ? 3000u : 2970u);
    // A budget of the smallest batches, one of a few hundred entries, and
    // one that holds the whole profile.
    // Read ahead or not, keys kept or not.
    for (const std::size_t budget : {std::size_t{1}, std::size_t{40000}, kScanBudget})
      for (const int way : {0, 1, 2, 3}) {
        ahead = way & 1;
        keysInspectedOnly = way & 2;
        Long counter = 0;
        EXPECT_EQ(Streamed(budget, problems, 0, 0, false, &counter), expected) << budget << " " << way;
        EXPECT_EQ(counter, static_cast<Long>(expected.size()));
      }
    EXPECT_FALSE(problems.Any()) << problems.Summary();
  }
}

// A run from one entry to another, as a seek or a page asks for it: the
// rows are those entries alone, with or without the entries before the
// first read, and the cursor reads no entry past the last.
TEST_F(RecordStreamTest, ARunFromOneEntryToAnotherGivesThoseEntriesAndReadsNoFurther) {
  for (const char* profile : {"BYNAME", "BYNO"}) {
    SCOPED_TRACE(profile);
    Open(profile);
    FineProblems expectedProblems(platform), problems(platform);
    const auto expected = OneByOne(expectedProblems);
    const auto total = static_cast<Long>(expected.size());
    ASSERT_GT(state.LeafTable.size(), 4u);
    const Long leafStart = state.LeafTable[2].CumCount + 1;  // the first entry of leaf 3
    const std::vector<std::pair<Long, Long>> runs = {
        {1, 1}, {1, 21}, {leafStart, leafStart}, {leafStart - 1, leafStart + 1}, {leafStart + 5, leafStart + 90},
        {total / 2, total / 2 + 200}, {total - 3, total}, {7, 0}, {total, 0}};
    for (const auto& [from, until] : runs) {
      for (const bool jump : {false, true}) {
        ahead = jump;  // a run read ahead, and one read in line, each way
        SCOPED_TRACE(std::to_string(from) + " to " + std::to_string(until) + (jump ? " jumping" : ""));
        Long counter = 0;
        const auto rows = Streamed(40000, problems, from, until, jump, &counter);
        const Long last = until == 0 ? total : until;
        EXPECT_EQ(rows, std::vector<std::string>(expected.begin() + (from - 1), expected.begin() + last));
        EXPECT_EQ(counter, last);
      }
    }
    EXPECT_FALSE(problems.Any()) << problems.Summary();
  }
}

TEST_F(RecordStreamTest, RecordsThatCannotBeReadCountAsTheWindowCountsThem) {
  Open("BYNAME");
  // Record numbers 0 and past the end, and a data file cut inside a record.
  const auto& leaves = layout.index.keys[1].Leaves();
  writer::SetEntryPointer(layout.files, 1, leaves[0], 2, 0);
  writer::SetEntryPointer(layout.files, 1, leaves[1], 3, 999999);
  writer::TruncateFile(layout.files, writer::FileKind::Data, 2998 * 18 + 7);  // 2999 cut, 3000 (unflagged) gone
  FineProblems expectedProblems(platform);
  const auto expected = OneByOne(expectedProblems);
  EXPECT_EQ(expectedProblems.records, 3);
  // The rows whose records cannot be read keep their keys when the others'
  // serve the inspection only.
  for (const int way : {0, 1, 2, 3}) {
    ahead = way & 1;
    keysInspectedOnly = way & 2;
    FineProblems problems(platform);
    EXPECT_EQ(Streamed(kScanBudget, problems), expected);
    EXPECT_EQ(Streamed(1, problems), expected);  // the records read in line while the next batch is read
    EXPECT_EQ(problems.records, 2 * expectedProblems.records);
  }

  // Slots too long to take whole are read field by field, with the same lines.
  state.FieldTable[3].Width = 32767;
  state.FieldTable.push_back({"[H2]", 4, "A", 32767, 0, 0});
  state.FieldCount = 4;
  state.RecordLength = 6 + 8 + 32767 + 32767 + 1;
  ASSERT_GT(state.RecordLength, kWholeSlotLimit);
  FineProblems wideExpected(platform);
  const auto wideRows = OneByOne(wideExpected);
  for (const int way : {0, 1, 2, 3}) {
    ahead = way & 1;
    keysInspectedOnly = way & 2;
    FineProblems wide(platform);
    EXPECT_EQ(Streamed(1, wide), wideRows);
  }
}

// What the reading of a batch meets is told before the batch's first row,
// whether the batch was read ahead on another thread or in line: a reader
// that looks at the problems before it hands a row on sees the same counts
// at every row either way.  Keys out of order in two leaves, and a leaf that
// cannot be read, lie in different batches of the smallest budget (64
// entries).  A stream started again first drops the batch it read ahead,
// which holds the first swap: none of its rows, nothing its read met.
TEST_F(RecordStreamTest, WhatABatchMeetsIsToldBeforeItsRowsReadAheadOrNot) {
  Open("BYNAME");
  const auto& leaves = layout.index.keys[1].Leaves();
  ASSERT_GT(leaves.size(), 30u);
  writer::SwapEntries(layout.files, 1, leaves[3], 0, leaves[3], 2);
  writer::SwapEntries(layout.files, 1, leaves[20], 1, leaves[20], 4);
  writer::SetUsedLength(layout.files, state.NodeSize, leaves[12], 1);
  const Long stop = state.LeafTable[3].CumCount / 64 * 64;  // the end of the last batch before the swap
  ASSERT_GT(stop, 0);
  std::vector<std::string> seen[2];
  for (const bool readAhead : {false, true}) {
    FineProblems problems(platform);
    ByteFile index(state.IndexPath), data(state.DataPath);
    const KeyOrder order(state);
    RecordStream stream(state, index, data, order, problems, 1);
    if (readAhead) stream.ReadAhead();
    StreamRow row;
    stream.StartAt(1);
    while (stream.Next(row) && row.entry.Number < stop) {
    }
    stream.StartAt(1, 1, 10);
    while (stream.Next(row)) seen[readAhead].push_back(std::to_string(row.entry.Number));
    EXPECT_EQ(problems.order + problems.leaves, 0) << readAhead;
    stream.StartAt(1);
    while (stream.Next(row))
      seen[readAhead].push_back(std::to_string(row.entry.Number) + " order " + std::to_string(problems.order) +
                                " leaves " + std::to_string(problems.leaves) + " batch " +
                                std::to_string(stream.Batches()));
    EXPECT_EQ(problems.order, 4) << readAhead;  // each swap puts two keys out of order
    EXPECT_EQ(problems.leaves, 1) << readAhead;
  }
  ASSERT_GT(seen[0].size(), 2000u);
  EXPECT_EQ(std::vector<std::string>(seen[0].begin(), seen[0].begin() + 10),
            std::vector<std::string>({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
  EXPECT_EQ(seen[1], seen[0]);
  // Each problem was told while rows were still to come, not at the end.
  EXPECT_TRUE(std::any_of(seen[0].begin(), seen[0].end(),
                          [](const std::string& line) { return line.find("order 2 leaves 1") != std::string::npos; }));
}

// A profile in record order is read in batches of little memory, since the
// data file is then read straight through whatever their size; one whose
// order scatters the records takes the whole budget as soon as a batch is
// found to cost a pass over the data file, so that the file is read in few
// passes: here, where the budget holds every entry, two (the batch that
// told, and the rest).  Where the budget holds less, the entries left are
// spread evenly over the passes they need; and the budget is what the walk's
// tables leave of the scan's ceiling, so tables that take it all leave the
// least.  A batch's size shows in Batches(): the rows handed out between two
// of its moves.
TEST(RecordStreamBatchTest, BatchesAreSizedByWhatTheOrderNeeds) {
  TempDir dir;
  constexpr int kRecords = 100000;
  writer::IspecContent setup;
  setup.name = "BIG";
  setup.definition.fields = {{"NO", 1, "N", 8, 0}, {"NAME", 2, "A", 8, 0}, {"FILL", 3, "A", 47, 0}};
  for (int i = 1; i <= kRecords; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "N%03d", i % 97);  // each name one record in 97, all over the file
    setup.records.push_back({{std::to_string(i), name, "x"}, false});
  }
  setup.profiles = {{.name = "BYNO", .keyFields = {{"NO"}}}, {.name = "BYNAME", .keyFields = {{"NAME"}, {"NO"}}}};
  writer::BuildIspec(dir.path(), setup);
  RecordingPlatform platform;
  enum Budget { kOwn, kTight, kTablesTakeAll, kTablesGiven };
  for (const int profile : {0, 1}) {
    SCOPED_TRACE(profile == 0 ? "BYNO" : "BYNAME");
    SharedState state;
    SetTextConstants(state);
    const auto profiles = LoadFileSet(state, platform, dir.str(), "BIG");
    LoadProfile(state, platform, profiles, profile);
    BuildReferenceInformation(state, platform);
    ASSERT_TRUE(LoadDefinition(state, platform));
    ASSERT_EQ(state.RecordLength, 64);
    ByteFile index(state.IndexPath);
    const KeyOrder order(state);
    for (const Budget budget : {kOwn, kTight, kTablesTakeAll, kTablesGiven}) {
    for (const int reading : {0, 1, 2}) {
    const bool ahead = reading > 0;
    const bool handed = reading == 2;  // the slots handed on from batch to batch
    SCOPED_TRACE(std::to_string(budget) + (handed ? " slots handed on" : ahead ? " read ahead" : " in line"));
    std::ifstream in(state.DataPath, std::ios::binary);
    auto counting = std::make_unique<test::MemoryFile>(std::string(std::istreambuf_iterator<char>(in), {}));
    const test::MemoryFile& seam = *counting;
    ByteFile data;
    ASSERT_TRUE(data.Open(std::move(counting)));
    FineProblems problems(platform);
    SharedState walked = state;
    if (budget == kTablesTakeAll || budget == kTablesGiven) walked.LeafKeys.reserve(kScanCeiling);
    if (budget == kTablesGiven) {
      // The leaves' keys given back leave the batches the whole budget, and
      // a seek after it is refused, not answered from keys no longer there.
      const std::vector<std::string> typed{profile == 0 ? "55555" : "N005"};
      ASSERT_EQ(SeekKey(walked, index, typed).outcome, SeekOutcome::Found);
      ReleaseLeafKeys(walked);
      ASSERT_EQ(SeekKey(walked, index, typed).outcome, SeekOutcome::Refused);
    }
    RecordStream stream(walked, index, data, order, problems, budget == kTight ? 3 * 1024 * 1024 : 0);
    if (ahead) stream.ReadAhead();
    if (handed) stream.HandSlotsOn();
    // Each row's key against its own record, in parts that the caller's
    // thread shares when it reads ahead: the key (NAME, NO or NO) must be
    // that record's.  The keys serve the inspection only.
    stream.Inspect([profile](const unsigned char* key, const char* slot) -> std::uint8_t {
      const std::string expected =
          profile == 0 ? std::string(slot, 8) : std::string(slot + 8, 8) + std::string(slot, 8);
      return key && std::memcmp(key, expected.data(), expected.size()) == 0 ? 1 : 2;
    });
    stream.KeysForInspectionOnly();
    if (budget == kTight && handed && profile == 1) {
      // Started again while a scattered batch waits for the slots of the
      // one handed out, the stream reads from its new start; closed while
      // one waits, it ends.
      StreamRow row;
      stream.StartAt(1);
      for (int n = 0; n < kRecords / 2 && stream.Next(row); ++n) {
      }
      ASSERT_GE(stream.Batches(), 6u);
      stream.Data();  // the files are this thread's until the next row
      {
        RecordStream closed(walked, index, data, order, problems, 3 * 1024 * 1024);
        closed.ReadAhead();
        closed.HandSlotsOn();
        closed.StartAt(1);
        for (int n = 0; n < kRecords / 2 && closed.Next(row); ++n) {
        }
      }
      seam.bytesRead = 0;
    }
    stream.StartAt(1);
    std::vector<std::size_t> batches;
    std::uint64_t seen = 0;
    Long previous = 0;
    StreamRow row;
    while (stream.Next(row)) {
      if (stream.Batches() != seen) {
        seen = stream.Batches();
        batches.push_back(0);
      }
      ++batches.back();
      ASSERT_TRUE(row.slot != nullptr);
      // The right record's slot: its number leads it.
      ASSERT_EQ(std::stol(std::string(row.slot, 8)), row.entry.Record);
      ASSERT_EQ(row.mark, 1) << row.entry.Number;
      ASSERT_EQ(row.entry.Key, nullptr);
      if (profile == 0) {
        ASSERT_GT(row.entry.Record, previous);
      }
      previous = row.entry.Record;
    }
    EXPECT_FALSE(problems.Any()) << problems.Summary();
    ASSERT_EQ(std::accumulate(batches.begin(), batches.end(), std::size_t{0}), std::size_t{kRecords});
    const std::size_t largest = *std::max_element(batches.begin(), batches.end());
    const double passes = static_cast<double>(seam.bytesRead) / static_cast<double>(seam.Size());
    if (profile == 0) {
      EXPECT_LE(largest * 64, kStraightBudget);  // the slots of a batch within the small budget
      EXPECT_LT(passes, 1.01);
    } else if (budget == kOwn || budget == kTablesGiven) {
      EXPECT_GE(largest, std::size_t{kRecords * 9 / 10});  // a pass serves all its budget holds, read ahead or not
      EXPECT_GT(passes, 1.9);
      EXPECT_LT(passes, 2.5);
    } else {
      // The batches after the small first ones share the entries left
      // evenly, the slots of each (twice over when one is read ahead, once
      // when the slots are handed on) within the budget.  The least budget
      // does not hold two batches of every entry, with their keys and
      // places beside the slots: read ahead, the entries take two passes
      // where the scan's own budget took one; with the slots held once, one.
      const auto full = std::find_if(batches.begin(), batches.end(), [](std::size_t n) { return n > 8192; });
      if (budget == kTight) {
        ASSERT_GE(batches.end() - full, 4);
      } else {
        ASSERT_EQ(batches.end() - full, ahead && !handed ? 2 : 1);
      }
      const auto [least, most] = std::minmax_element(full, batches.end());
      EXPECT_LE(*most - *least, 1u);
      const std::size_t allowed = budget == kTight ? 3 * 1024 * 1024 : kLeastScanBudget;
      EXPECT_LE(largest * 64 * (ahead && !handed ? 2 : 1), allowed);
      EXPECT_LE(passes, static_cast<double>(batches.end() - full) + 1.5);
    }
    }
    }
  }
}

}  // namespace
}  // namespace ondrel
