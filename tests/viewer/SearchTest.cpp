// Reaching a record by key and by text in the record window: the window a
// search leaves is the window the section keypad would leave; text is found
// across leaves and sections, in both directions, around the end with the
// user's leave, never in a purged record, and a cancelled search moves
// nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "tests/viewer/ViewerTestSupport.h"
#include "tools/writer/Bytes.h"
#include "viewer/Commands.h"
#include "viewer/RecordWindow.h"
#include "viewer/Search.h"

namespace ondrel {
namespace {

using test::RecordingPlatform;
using test::RecordingView;

constexpr long kCount = 70500;

// THREE: numbered records in three sections; record 33000 purged but keyed,
// the entry of record 100 not flagged "Y".
struct Databases {
  test::TempDir dir;
  Databases() {
    writer::IspecContent setup;
    setup.name = "THREE";
    setup.definition.fields = test::NumberedFields();
    for (long i = 1; i <= kCount; ++i) {
      const std::string line = test::NumberedLine(i);
      setup.records.push_back({{line.substr(0, 6), line.substr(7, 8), "zz"}, i == 33000});
    }
    setup.profiles = {{.name = "BYNO", .keyFields = {{"NO"}},
                       .select = [](std::uint32_t, const writer::RecordContent&) { return true; },
                       .entryFlag = [](std::uint32_t n, const writer::RecordContent&) -> std::uint8_t {
                         return n == 100 ? 'N' : 'Y';
                       }}};
    writer::BuildIspec(dir.str(), setup);
  }
};

const Databases& Shared() {
  static const Databases databases;
  return databases;
}

class SearchTest : public ::testing::Test {
 protected:
  void Open(RecordingView& v) {
    test::OpenProfile(state, platform, v, Shared().dir.str(), "THREE", "BYNO");
    ShowChosenFile(state, platform, v, {});
  }
  // What the screen shows, as one comparable text.
  static std::string Screen(const SharedState& s, const PlainContentsView& v) {
    return v.fileTxt + "|" + v.filePosTxt + "|" + v.label1 + "|" + std::to_string(v.filePosValue) + "|" +
           std::to_string(v.filePosMax) + "|" + std::to_string(s.Section) + "|" + s.SectionEntry + "|" +
           (v.ptrVisible ? "ptr" : "");
  }
  FindOutcome Find(const std::string& text, bool forward, bool matchCase = true, SearchProgress* progress = nullptr,
                   bool fromFirstLine = false) {
    return FindNext(state, platform, view, TextMatcher(text, matchCase), forward, progress, fromFirstLine);
  }
  long FirstLine() const { return std::stol(view.fileTxt.substr(state.Heading.size(), 6)); }

  SharedState state;
  RecordingPlatform platform;
  RecordingView view{state, platform};
};

TEST_F(SearchTest, GoingToAnEntryLeavesTheScreenAsTheKeypadWould) {
  for (const long entry : {1L, 31999L, 32000L, 32001L, 64000L, 64001L, kCount}) {
    SCOPED_TRACE(entry);
    // By the keypad: the section's digits, "Enter", then the bar.
    SharedState keyed;
    RecordingPlatform keyedPlatform;
    RecordingView keypad{keyed, keyedPlatform};
    test::OpenProfile(keyed, keyedPlatform, keypad, Shared().dir.str(), "THREE", "BYNO");
    ShowChosenFile(keyed, keyedPlatform, keypad, {});
    const long section = 1 + (entry - 1) / 32000;
    Part_Click(keyed, keyedPlatform, keypad, static_cast<int>(section));
    Part_Click(keyed, keyedPlatform, keypad, kPartEnter);
    keypad.SetFilePosValue(static_cast<Long>(entry - (section - 1) * 32000));

    Open(view);
    GoToEntry(state, platform, view, entry);
    EXPECT_EQ(Screen(state, view), Screen(keyed, keypad));
  }
  // Past the last entry: the window beyond the end.
  GoToEntry(state, platform, view, kCount + 1);
  EXPECT_EQ(view.fileTxt, state.Heading + kNoEntries);

  // By key: the first entry at or after what was typed.
  EXPECT_TRUE(GoToKey(state, platform, view, {"32001"}));
  EXPECT_EQ(view.filePosTxt, "Record 32001 thru 32021 of 70500");
  EXPECT_EQ(state.Section, 2);
  // Past the last key, and a key that cannot be sought: each is told, and
  // the window stays where it was.
  const std::string before = Screen(state, view);
  EXPECT_FALSE(GoToKey(state, platform, view, {"999999"}));
  EXPECT_FALSE(GoToKey(state, platform, view, {"1234567"}));
  ASSERT_EQ(platform.messages.size(), 2u);
  EXPECT_EQ(platform.messages[0].text, "No key at or after \"999999\".");
  EXPECT_EQ(platform.messages[1].text, "The value typed for NO is longer than its 6 characters.");
  EXPECT_EQ(Screen(state, view), before);
}

// Names written with small letters whose keys were stored in capitals: a
// key typed in any case is sought in capitals.
TEST_F(SearchTest, KeysStoredInCapitalsAreSoughtWithoutRegardToCase) {
  test::TempDir dir;
  writer::IspecContent setup;
  setup.name = "NAMES";
  setup.definition.fields = {{"NAME", 1, "A", 6, 0}};
  std::vector<std::string> capitals;
  for (int i = 0; i < 3000; ++i) {
    const std::string name = {static_cast<char>('A' + i % 26), static_cast<char>('A' + i / 26 % 26),
                              static_cast<char>('A' + i / 676)};
    capitals.push_back(name);
    setup.records.push_back({{name}});
  }
  setup.profiles = {{.name = "BYNAME", .keyFields = {{"NAME"}}}};
  const writer::IspecLayout layout = writer::BuildIspec(dir.str(), setup);
  // The data file rewritten as the owning application keeps it: "Qab".
  std::string data = writer::ReadWholeFile(layout.files.Data());
  for (std::size_t at = 0; at + 7 <= data.size(); at += 7)
    for (std::size_t i = at + 1; i < at + 3; ++i) data[i] = static_cast<char>(std::tolower(data[i]));
  writer::WriteWholeFile(layout.files.Data(), data);
  std::sort(capitals.begin(), capitals.end());

  test::OpenProfile(state, platform, view, dir.str(), "NAMES", "BYNAME");
  ShowChosenFile(state, platform, view, {});
  EXPECT_EQ(state.KeyRecords, KeyRecordCheck::Capitals);
  for (const std::string typed : {"mab", "MaB", "yzb"}) {
    std::string sought = typed;
    for (char& c : sought) c = static_cast<char>(std::toupper(c));
    const auto at = std::lower_bound(capitals.begin(), capitals.end(), sought);
    ASSERT_TRUE(GoToKey(state, platform, view, {typed})) << typed;
    EXPECT_EQ(state.FirstShown, at - capitals.begin() + 1) << typed;
    std::string shown = *at;  // as written: "Mab"
    for (std::size_t i = 1; i < shown.size(); ++i) shown[i] = static_cast<char>(std::tolower(shown[i]));
    EXPECT_EQ(view.fileTxt.substr(state.Heading.size(), 3), shown) << typed;
  }
  const std::string before = Screen(state, view);
  EXPECT_FALSE(GoToKey(state, platform, view, {"zzz "}));
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, "No key at or after \"zzz \".");
  EXPECT_EQ(Screen(state, view), before);
}

TEST_F(SearchTest, TextIsFoundAcrossLeavesAndSectionsInBothDirections) {
  Open(view);
  EXPECT_EQ(Find("N0032001", true), FindOutcome::Found);
  EXPECT_EQ(FirstLine(), 32001);
  EXPECT_EQ(view.filePosTxt, "Record 32001 thru 32021 of 70500");
  EXPECT_EQ(view.selStart, static_cast<Long>(state.Heading.size() + 7));  // the text found is selected

  // Forward from the first line looks from the entry after it; the case
  // matters only when asked.
  EXPECT_EQ(Find("n00320", true, false), FindOutcome::Found);
  EXPECT_EQ(FirstLine(), 32002);
  EXPECT_EQ(Find("n00320", true, true), FindOutcome::NotFound);  // not even round the end
  EXPECT_EQ(FirstLine(), 32002);

  // Backwards from the first line looks from the entry before it, across
  // the section boundary.
  EXPECT_EQ(Find("N00", false), FindOutcome::Found);
  EXPECT_EQ(FirstLine(), 32001);

  EXPECT_EQ(Find("N00", false), FindOutcome::Found);
  EXPECT_EQ(FirstLine(), 32000);
  EXPECT_EQ(state.Section, 1);
  EXPECT_EQ(view.filePosValue, 32000);

  // A new search looks at the first line itself first, in either direction.
  platform.messages.clear();
  for (const bool forward : {true, false}) {
    EXPECT_EQ(Find("N0032000", forward, true, nullptr, true), FindOutcome::Found);
    EXPECT_EQ(FirstLine(), 32000);
  }
  EXPECT_TRUE(platform.messages.empty());  // never round the end
}

TEST_F(SearchTest, TheEndIsPassedOnlyWithTheUsersLeave) {
  Open(view);
  GoToEntry(state, platform, view, 50000);
  platform.messages.clear();
  platform.answer = MsgAnswer::Cancel;
  EXPECT_EQ(Find("N0000010 ", true), FindOutcome::NotFound);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].text, kEndReached);
  EXPECT_EQ(FirstLine(), 50000);

  platform.answer = MsgAnswer::Ok;
  EXPECT_EQ(Find("N0000010 ", true), FindOutcome::Found);
  EXPECT_EQ(FirstLine(), 10);
  EXPECT_EQ(Find("N0050001 ", false), FindOutcome::Found);  // backwards, round the beginning
  EXPECT_EQ(platform.messages.back().text, kBeginningReached);
  EXPECT_EQ(FirstLine(), 50001);
}

TEST_F(SearchTest, PurgedAndUnshownRecordsNeverMatchAndCancelMovesNothing) {
  Open(view);
  platform.messages.clear();
  for (const char* text : {"N0033000", "N0000100"}) {
    EXPECT_EQ(Find(text, true), FindOutcome::NotFound) << text;
    EXPECT_EQ(platform.messages.back().text, kTextNotFound);
    EXPECT_EQ(FirstLine(), 1);
  }
  // A search cancelled after its first batches leaves the window where it
  // was.
  GoToEntry(state, platform, view, 5);
  const std::string before = Screen(state, view);
  test::CountingProgress cancel;
  cancel.cancelAt = 3;
  EXPECT_EQ(Find("N0070400", true, true, &cancel), FindOutcome::Cancelled);
  EXPECT_EQ(cancel.calls, 3);
  EXPECT_EQ(Screen(state, view), before);
  // Not cancelled, the same search goes through the growing batches to the
  // far end.
  test::CountingProgress counting;
  EXPECT_EQ(Find("N0070400", true, true, &counting), FindOutcome::Found);
  EXPECT_EQ(FirstLine(), 70400);
  EXPECT_GE(counting.calls, 4);
}

// The matcher alone: the code page's own pairs of capital and small letters.
TEST(TextMatcherTest, CaseFoldsByTheCodePage) {
  const std::string line = "Caf\xC9 \x8A\x8C\x9F Smith ";
  EXPECT_EQ(TextMatcher("caf\xE9", false).Find(line.data(), line.size()), 0);
  EXPECT_EQ(TextMatcher("\x9A\x9C\xFF", false).Find(line.data(), line.size()), 5);
  EXPECT_EQ(TextMatcher("caf\xE9", true).Find(line.data(), line.size()), -1);
  EXPECT_EQ(TextMatcher("\xD7", false).Find("\xF7", 1), -1);  // the multiplication sign has no small letter
  EXPECT_EQ(TextMatcher("SMITH ", false).Find(line.data(), line.size()), 9);
}

// In a record slot two shown fields lie side by side; in the line a blank
// parts them.  A text is found where the line holds it, not across the two.
TEST(TextMatcherTest, SlotsAreSearchedAsTheirLinesRead) {
  SharedState state;
  state.FieldTable = {FieldDef{}, {"AB", 1, "A", 3, 0, 1}, {"CD", 2, "A", 3, 0, 5}, {"hid", 3, "A", 1, 0, 0},
                      {"EF", 4, "A", 2, 0, 9}};
  state.FieldCount = 4;
  state.RecordLength = 3 + 3 + 1 + 2 + 1;
  const std::string slot = std::string("ABCDEF") + "x" + "GH" + "\n";  // the line: "ABC DEF GH "
  std::string scratch;
  EXPECT_EQ(TextMatcher("CD", true).FindInSlot(state, slot.data(), scratch), -1);
  EXPECT_EQ(TextMatcher("DE", true).FindInSlot(state, slot.data(), scratch), 4);
  EXPECT_EQ(TextMatcher("gh", false).FindInSlot(state, slot.data(), scratch), 8);
  EXPECT_EQ(TextMatcher("Fx", true).FindInSlot(state, slot.data(), scratch), -1);  // the hidden byte is no part of it
  EXPECT_EQ(TextMatcher("C D", true).FindInSlot(state, slot.data(), scratch), 2);  // a blank: the line itself
  EXPECT_EQ(TextMatcher("DEF G", true).FindInSlot(state, slot.data(), scratch), 4);
  // A one-byte field holding NUL ends the record: what follows is not shown.
  const std::string ended = std::string("ABCDEF") + '\0' + "GH" + "\0";
  EXPECT_EQ(TextMatcher("GH", true).FindInSlot(state, ended.data(), scratch), -1);
  EXPECT_EQ(TextMatcher("DEF", true).FindInSlot(state, ended.data(), scratch), 4);
  // A purged record shows no line.
  const std::string purged = std::string("ABCDEF") + "x" + "GH" + "P";
  EXPECT_EQ(TextMatcher("AB", true).FindInSlot(state, purged.data(), scratch), -1);
}

}  // namespace
}  // namespace ondrel
