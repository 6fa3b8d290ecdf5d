// The record window: windows of a large file, purged and unflagged entries,
// the empty texts, failed reads and unreadable records, the busy guard.
#include <gtest/gtest.h>

#include <filesystem>

#include "database/Messages.h"
#include "tests/viewer/ViewerTestSupport.h"
#include "tools/writer/Damage.h"
#include "viewer/Cp1252.h"
#include "viewer/RecordWindow.h"

namespace ondrel {
namespace {

using test::RecordingPlatform;
using test::RecordingView;

// Databases shared by every test of this file, built once.
struct Databases {
  test::TempDir dir;
  Databases() {
    test::BuildNumbered(dir.str(), "LARGE", 70500);
    // Ten records: 3 purged, 5 unflagged in ALL; no entry flagged in NONE; no
    // entry at all in EMPTY.
    writer::IspecContent mixed;
    mixed.name = "MIXED";
    mixed.definition.fields = test::NumberedFields();
    for (long i = 1; i <= 10; ++i) {
      const std::string line = test::NumberedLine(i);
      mixed.records.push_back({{line.substr(0, 6), line.substr(7, 8), "zz"}, i == 3});
    }
    auto all = [](std::uint32_t, const writer::RecordContent&) { return true; };
    mixed.profiles = {
        {.name = "ALL", .keyFields = {{"NO"}}, .select = all,
         .entryFlag = [](std::uint32_t n, const writer::RecordContent&) -> std::uint8_t {
           return n == 5 ? 'N' : 'Y';
         }},
        {.name = "NONE", .keyFields = {{"NO"}},
         .entryFlag = [](std::uint32_t, const writer::RecordContent&) -> std::uint8_t { return 'N'; }},
        {.name = "EMPTY", .keyFields = {{"NO"}},
         .select = [](std::uint32_t, const writer::RecordContent&) { return false; }}};
    writer::BuildIspec(dir.str(), mixed);
  }
};

const Databases& Shared() {
  static const Databases databases;
  return databases;
}

class RecordWindowTest : public ::testing::Test {
 protected:
  void Open(const std::string& ispec, const std::string& profile, const std::string& dir = "") {
    test::OpenProfile(state, platform, view, dir.empty() ? Shared().dir.str() : dir, ispec, profile);
    platform.messages.clear();
  }
  void FillAt(double entry) {
    state.StartRecord = entry;
    FillRecordWindow(state, platform, view);
  }
  int FineMessages() const {
    int count = 0;
    for (const auto& m : platform.messages) count += m.title == msg::kFineTitle && m.text == msg::kFine;
    return count;
  }

  SharedState state;
  RecordingPlatform platform;
  RecordingView view{state, platform};
};

TEST_F(RecordWindowTest, WindowsAcrossTheSectionsOfALargeFile) {
  Open("LARGE", "BYNO");
  FillAt(1);
  EXPECT_EQ(view.fileTxt, state.Heading + test::NumberedLines(1, 21));
  EXPECT_EQ(state.FirstShown, 1);
  EXPECT_EQ(state.LastRead, 21);
  EXPECT_EQ(view.filePosValue, 1);
  EXPECT_EQ(view.label1, " 1");
  EXPECT_EQ(view.filePosTxt, "Record 1 thru 21 of 70500");
  EXPECT_TRUE(view.commandVisible[2] && view.commandVisible[3]);

  view.selStart = 7;  // the caret survives a refill
  FillAt(100);
  EXPECT_EQ(view.fileTxt, state.Heading + test::NumberedLines(100, 120));
  EXPECT_EQ(view.filePosTxt, "Record 100 thru 120 of 70500");
  EXPECT_EQ(view.filePosValue, 100);
  EXPECT_EQ(view.selStart, 7);

  FillAt(32001);
  EXPECT_EQ(view.fileTxt, state.Heading + test::NumberedLines(32001, 32021));
  EXPECT_EQ(state.Section, 2);
  EXPECT_EQ(view.filePosValue, 1);
  EXPECT_EQ(view.label1, " 2");

  // Beyond the end: the caption and the section label keep the last window's.
  FillAt(70501);
  EXPECT_EQ(view.fileTxt, state.Heading + kNoEntries);
  EXPECT_EQ(state.FirstShown, 1);
  EXPECT_EQ(view.filePosValue, 1);
  EXPECT_EQ(view.selStart, 1);
  EXPECT_EQ(view.label1, " 2");
  EXPECT_EQ(view.filePosTxt, "Record 32001 thru 32021 of 70500");
  EXPECT_TRUE(state.WindowIdle);

  FillAt(-31999);  // a typed section 0 asks for an entry before the first
  EXPECT_EQ(view.fileTxt, state.Heading + test::NumberedLines(1, 21));
  EXPECT_EQ(state.Section, 1);
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(RecordWindowTest, PurgedRecordsTakeALineUnflaggedEntriesNone) {
  Open("MIXED", "ALL");
  FillAt(1);
  std::string lines;
  for (long i : {1, 2, 3, 4, 6, 7, 8, 9, 10})
    lines += (i == 3 ? std::string(kRecordPurged) : test::NumberedLine(i)) + "\r\n";
  EXPECT_EQ(view.fileTxt, state.Heading + lines);
  EXPECT_EQ(view.filePosTxt, "Record 1 thru 10 of 10");

  FillAt(5);  // the unflagged entry 5 is counted, not shown
  EXPECT_EQ(state.FirstShown, 6);
  EXPECT_EQ(view.filePosValue, 6);
}

TEST_F(RecordWindowTest, EmptyProfileAndEmptyTree) {
  Open("MIXED", "NONE");
  FillAt(1);
  EXPECT_EQ(view.fileTxt, state.Heading + kProfileEmpty + "\r\n");
  EXPECT_EQ(view.filePosTxt, "Record 0 thru 9 of 10");  // nine active records have entries
  EXPECT_EQ(view.filePosValue, 1);

  // Nothing shown outside section 1: the bar goes to its first position, not
  // to 0 below its range, and section 1 is taken.
  state.Section = 2;
  FillAt(1);
  EXPECT_EQ(view.fileTxt, state.Heading);
  EXPECT_EQ(state.Section, 1);
  EXPECT_EQ(view.filePosValue, 1);
  EXPECT_EQ(FineMessages(), 0);

  Open("MIXED", "EMPTY");
  FillAt(1);
  EXPECT_EQ(view.fileTxt, state.Heading + kNoEntries);
}

TEST_F(RecordWindowTest, NoDefinitionOrABusyFillChangesOnlyTheButtons) {
  test::TempDir dir;
  test::BuildNumbered(dir.str(), "BAD", 5);
  Open("BAD", "BYNO", dir.str());
  view.fileTxt = "before";
  view.ptrVisible = true;

  state.WindowIdle = false;  // another fill is running
  FillAt(1);
  EXPECT_EQ(view.fileTxt, "before");
  EXPECT_FALSE(view.ptrVisible);
  EXPECT_TRUE(view.commandVisible[2]);
  EXPECT_FALSE(state.WindowIdle);

  state.WindowIdle = true;
  state.Heading.clear();
  dir.Write("_BAD.DFN", "not a definition");
  FillAt(1);
  EXPECT_EQ(view.fileTxt, "before");
  EXPECT_FALSE(view.commandVisible[2] || view.commandVisible[3]);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].title, msg::kNoDefinitionTitle);
}

// Whatever a fill cannot read is told once per fill, however much of it
// there is: one message box per entry or per leaf would be a hang.
TEST_F(RecordWindowTest, UnreadableRecordsAndFilesGiveOneMessagePerFill) {
  test::TempDir dir;
  const auto layout = test::BuildNumbered(dir.str(), "DAMAGED", 30);
  const std::uint32_t leaf = layout.index.keys[1].Leaves()[0];
  writer::SetEntryPointer(layout.files, 1, leaf, 1, 0);           // record number 0
  writer::SetEntryPointer(layout.files, 1, leaf, 3, 0x7FFFFFFF);  // position past 32 bits
  Open("DAMAGED", "BYNO", dir.str());
  FillAt(1);
  std::string lines = test::NumberedLines(1, 1) + "\r\n" + test::NumberedLines(3, 3) + "\r\n" +
                      test::NumberedLines(5, 21);
  EXPECT_EQ(view.fileTxt, state.Heading + lines);
  EXPECT_EQ(FineMessages(), 1);
  EXPECT_EQ(platform.messages.size(), 1u);

  // A data file gone after the file set was opened: one message, then an
  // empty line for each of 21 entries; nothing is read from it.
  std::filesystem::rename(layout.files.Data(), dir.path() / "gone");
  platform.messages.clear();
  FillAt(1);
  std::string empties;
  for (int i = 0; i < 21; ++i) empties += "\r\n";
  EXPECT_EQ(view.fileTxt, state.Heading + empties);
  EXPECT_EQ(FineMessages(), 1);
  EXPECT_TRUE(state.WindowIdle);
  EXPECT_FALSE(state.DatOpen || state.IdxOpen);

  // An index replaced by something that cannot be opened: one message per
  // fill, on every move, and the window holds the heading alone.
  std::filesystem::rename(dir.path() / "gone", layout.files.Data());
  std::filesystem::remove(layout.files.Index());
  std::filesystem::create_directory(layout.files.Index());
  platform.messages.clear();
  FillAt(5);
  EXPECT_EQ(view.fileTxt, state.Heading);
  EXPECT_EQ(view.filePosTxt, "Record 0 thru 0 of 30");
  view.SetFilePosValue(6);  // an arrow click
  EXPECT_EQ(FineMessages(), 2);
  EXPECT_EQ(platform.messages.size(), 2u);
  EXPECT_TRUE(state.WindowIdle);
}

// What a window read in the middle of a rewrite can show: keys out of the
// tree's order, and a leaf that is no leaf.  The window shows what it read
// and says once that something is wrong; a sound window says nothing.
TEST_F(RecordWindowTest, AWindowOutOfOrderOrOverABadLeafIsFlaggedOnce) {
  test::TempDir dir;
  const auto layout = test::BuildNumbered(dir.str(), "LIVE", 100);
  const auto& leaves = layout.index.keys[1].Leaves();
  Open("LIVE", "BYNO", dir.str());
  FillAt(1);
  EXPECT_EQ(FineMessages(), 0);

  writer::SwapEntries(layout.files, 1, leaves[0], 3, leaves[0], 4);
  FillAt(1);
  EXPECT_EQ(FineMessages(), 1);
  EXPECT_EQ(view.fileTxt, state.Heading + test::NumberedLines(1, 3) + test::NumberedLines(5, 5) +
                              test::NumberedLines(4, 4) + test::NumberedLines(6, 21));
  writer::SwapEntries(layout.files, 1, leaves[0], 3, leaves[0], 4);

  // A key that, still in order, names another record than the one it
  // points at: a torn entry, or a leaf of another tree.
  const std::string key = writer::SetEntryKey(layout.files, 1, leaves[0], 4, "000006");
  platform.messages.clear();
  FillAt(1);
  EXPECT_EQ(FineMessages(), 1);
  writer::SetEntryKey(layout.files, 1, leaves[0], 4, key);

  // The level word of the leaf of entry 1 says it is interior.
  writer::PatchBytes(layout.files, writer::FileKind::Index, (leaves[0] - 1ull) * 512 + 510, std::string(1, '\2'));
  platform.messages.clear();
  FillAt(1);
  EXPECT_EQ(FineMessages(), 1);
  EXPECT_EQ(view.fileTxt, state.Heading + test::NumberedLines(1, 21));
}

TEST_F(RecordWindowTest, HeaderCountBelowTheEntriesKeepsTheBarInRange) {
  test::TempDir dir;
  test::BuildNumbered(dir.str(), "STALE", 30, 10);  // the header counts 10 of 30 entries
  Open("STALE", "BYNO", dir.str());
  FillAt(3);
  ASSERT_EQ(view.filePosValue, 3);
  FillAt(25);  // value 25 lies beyond the bar's maximum of 10
  EXPECT_EQ(view.fileTxt, state.Heading + test::NumberedLines(25, 30));
  EXPECT_EQ(view.filePosValue, 3);
  EXPECT_EQ(FineMessages(), 1);
}

TEST_F(RecordWindowTest, ReentrantChangeEventDuringAFillDoesNothing) {
  Open("LARGE", "BYNO");
  FillAt(100);  // the fill's own assignment of the value raises the change event
  EXPECT_EQ(view.changeEvents, 1);
  EXPECT_EQ(view.textSets, 1);
  EXPECT_EQ(view.fileTxt, state.Heading + test::NumberedLines(100, 120));

  FillAt(70501);  // ">> No Entries <<" puts the bar back at 1 while the fill runs
  EXPECT_EQ(view.changeEvents, 2);
  EXPECT_EQ(view.textSets, 2);
  EXPECT_EQ(state.StartRecord, 70501);  // the nested change event did not move it
}

TEST_F(RecordWindowTest, HighBytesAreShownOneCharacterPerByte) {
  test::TempDir dir;
  writer::IspecContent setup;
  setup.name = "HIGH";
  setup.definition.fields = {{"K", 1, "A", 1, 0}, {"TEXT", 2, "A", 128, 0}};
  std::string high;
  for (int b = 0x80; b <= 0xFF; ++b) high += static_cast<char>(b);
  setup.records = {{{"a", high}}};
  setup.profiles = {{.name = "BYK", .keyFields = {{"K"}}}};
  writer::BuildIspec(dir.str(), setup);
  Open("HIGH", "BYK", dir.str());
  FillAt(1);
  EXPECT_EQ(view.fileTxt, state.Heading + "a " + high + " \r\n");

  const std::string shown = Cp1252ToUtf8(high);
  std::size_t characters = 0;
  for (const char c : shown) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  EXPECT_EQ(characters, 128u);  // nothing dropped or merged
  EXPECT_EQ(shown.substr(0, 3), "\u20AC");
  EXPECT_EQ(shown.substr(3, 2), "\u0081");
  EXPECT_EQ(shown.substr(shown.size() - 2), "\u00FF");
}

}  // namespace
}  // namespace ondrel
