// A long text search through a profile whose key order scatters the
// records: once its batches are at their largest, the rest is searched
// through one pass over the data file.  Whatever the batches, the search
// must stop where reading the entries one by one, as the window reads them,
// would stop: in both directions, past purged and unshown records, and at
// records the data file no longer holds whole; and its progress must never
// run backwards, not even where a match of the pass is read again and lost.
#include <gtest/gtest.h>

#include <filesystem>

#include "database/DataRecord.h"
#include "database/EntryCursor.h"
#include "database/IndexWalk.h"
#include "tests/viewer/ViewerTestSupport.h"
#include "viewer/Commands.h"
#include "viewer/TextFind.h"

namespace ondrel {
namespace {

constexpr long kRecords = 3000;

// SCAT: record i has NO i and NAME "A<i % 37>B<i % 1000>"; BYNAME keys the
// name, then the number, so neighbouring entries lie far apart in the file.
// Every 97th record is purged (and keyed), the entry of every 89th is not
// flagged "Y", and the data file ends inside record 2990.
struct Scattered {
  test::TempDir dir;
  Scattered() {
    writer::IspecContent setup;
    setup.name = "SCAT";
    setup.definition.fields = test::NumberedFields();
    for (long i = 1; i <= kRecords; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "A%02ldB%04ld", i % 37, i % 1000);
      char no[8];
      std::snprintf(no, sizeof no, "%06ld", i);
      setup.records.push_back({{no, name, "zz"}, i % 97 == 0});
    }
    setup.profiles = {{.name = "BYNAME", .keyFields = {{"NAME"}, {"NO"}},
                       .select = [](std::uint32_t, const writer::RecordContent&) { return true; },
                       .entryFlag = [](std::uint32_t n, const writer::RecordContent&) -> std::uint8_t {
                         return n % 89 == 0 ? 'N' : 'Y';
                       }}};
    const writer::IspecLayout layout = writer::BuildIspec(dir.str(), setup);
    std::filesystem::resize_file(layout.files.Data(), static_cast<std::uintmax_t>(2989 * layout.recordLength + 5));
  }
};

class FindPassTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { shared = new Scattered; }
  static void TearDownTestSuite() { delete shared; }
  void SetUp() override {
    test::OpenProfile(state, platform, view, shared->dir.str(), "SCAT", "BYNAME");
    ShowChosenFile(state, platform, view, {});
    ASSERT_GT(state.RecordLength, 0);
    ByteFile index(state.IndexPath);
    FineProblems problems(platform);
    const KeyOrder order(state);
    EntryCursor cursor(state, index, order, problems);
    cursor.StartAt(1);
    TreeEntry e;
    while (cursor.Next(e)) entries.push_back(e);
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(kRecords));
  }

  // The search as the window would make it: entry by entry in the search's
  // direction, each record read and its line searched.
  FindResult OneByOne(const TextMatcher& matcher, Long first, Long last, bool forward) {
    ByteFile data(state.DataPath);
    FineProblems problems(platform);
    for (Long k = 0; k <= last - first; ++k) {
      const TreeEntry& e = entries[static_cast<std::size_t>((forward ? first + k : last - k) - 1)];
      if (e.Flag != 'Y') continue;
      ReadEntryRecord(state, problems, data, e.Record);
      if (state.RecordFlag != 'Y') continue;
      const long column = matcher.Find(state.RecordLine.data(), state.RecordLine.size());
      if (column >= 0) return {FindOutcome::Found, e.Number, column};
    }
    return {};
  }

  FindResult Search(const TextMatcher& matcher, Long first, Long last, bool forward, FindBatches batches,
                    SearchProgress* progress = nullptr) {
    FineProblems problems(platform);
    return FindInEntries(state, matcher, first, last, forward, problems, progress, batches);
  }

  static Scattered* shared;
  SharedState state;
  test::RecordingPlatform platform;
  test::RecordingView view{state, platform};
  std::vector<TreeEntry> entries;
};
Scattered* FindPassTest::shared = nullptr;

TEST_F(FindPassTest, EveryBatchingStopsWhereEntryByEntryReadingStops) {
  ASSERT_NE(entries[0].Record + 1, entries[1].Record);  // the order scatters the records
  const FindBatches pass{2, 8};       // to the pass after two batches
  const FindBatches batchesOnly{};    // never at the largest here
  int foundAny = 0;
  for (const auto& [text, matchCase] : std::vector<std::pair<std::string, bool>>{
           {"B0999", true}, {"b00", false}, {"00100", true}, {"0029", true}, {"002990", true},
           {"002995", true}, {"000097", true}, {"000089", true}, {"A36B0035", true}, {"ZZZ", true},
           {"zz", false}}) {
    const TextMatcher matcher(text, matchCase);
    for (const auto& [first, last] : std::vector<std::pair<Long, Long>>{{1, kRecords}, {1000, kRecords},
                                                                        {1, 2000}, {500, 2500}, {2999, kRecords}}) {
      for (const bool forward : {true, false}) {
        SCOPED_TRACE(text + " " + std::to_string(first) + ".." + std::to_string(last) + (forward ? " on" : " back"));
        const FindResult expected = OneByOne(matcher, first, last, forward);
        foundAny += expected.outcome == FindOutcome::Found;
        for (const FindBatches& batches : {pass, batchesOnly}) {
          test::CountingProgress progress;
          const FindResult found = Search(matcher, first, last, forward, batches, &progress);
          EXPECT_EQ(found.outcome, expected.outcome);
          EXPECT_EQ(found.entry, expected.entry);
          EXPECT_EQ(found.column, expected.column);
        }
      }
    }
  }
  EXPECT_GT(foundAny, 25);
}

// The pass is told as progress and can be cancelled; a search that runs
// through every entry makes a handful of reports, not one per batch.
TEST_F(FindPassTest, ThePassIsOneStepOfProgressAndCanBeCancelled) {
  const TextMatcher nowhere("ZZZ", true);
  test::CountingProgress counting;
  EXPECT_EQ(Search(nowhere, 1, kRecords, true, {2, 8}, &counting).outcome, FindOutcome::NotFound);
  EXPECT_LE(counting.calls, 4);  // two batches, then the pass in one piece
  test::CountingProgress cancel;
  cancel.cancelAt = 3;  // in the pass
  EXPECT_EQ(Search(nowhere, 1, kRecords, false, {2, 8}, &cancel).outcome, FindOutcome::Cancelled);
  EXPECT_EQ(cancel.calls, 3);
}

}  // namespace
}  // namespace ondrel
