// The scroll bar and the section keypad on files of three sections and of
// exactly 32000 entries.
#include <gtest/gtest.h>

#include "tests/viewer/ViewerTestSupport.h"
#include "viewer/Commands.h"
#include "viewer/RecordWindow.h"

namespace ondrel {
namespace {

using test::RecordingPlatform;
using test::RecordingView;

struct Databases {
  test::TempDir dir;
  Databases() {
    test::BuildNumbered(dir.str(), "THREE", 70500);
    test::BuildNumbered(dir.str(), "EXACT", 32000);
  }
};

const Databases& Shared() {
  static const Databases databases;
  return databases;
}

class ScrollingTest : public ::testing::Test {
 protected:
  // Opens the file through "Choose File": window at entry 1.
  void Open(const std::string& ispec) {
    test::OpenProfile(state, platform, view, Shared().dir.str(), ispec, "BYNO");
    ShowChosenFile(state, platform, view, {});
    view.textSets = 0;
  }
  void Keys(std::initializer_list<int> keys) {
    for (int key : keys) Part_Click(state, platform, view, key);
  }
  // What the bar does on a click: a new value and its change event.
  void Click(Long value) { view.SetFilePosValue(value); }

  SharedState state;
  RecordingPlatform platform;
  RecordingView view{state, platform};
};

TEST_F(ScrollingTest, ArrowAndTroughClicksMoveOneEntryAndOneWindow) {
  Open("THREE");
  Click(view.filePosValue + 1);
  EXPECT_EQ(view.fileTxt, state.Heading + test::NumberedLines(2, 22));
  Click(view.filePosValue + 21);
  EXPECT_EQ(view.fileTxt, state.Heading + test::NumberedLines(23, 43));
  EXPECT_EQ(view.textSets, 2);
}

TEST_F(ScrollingTest, DragShowsPtrWithoutRefilling) {
  Open("THREE");
  state.Section = 3;
  view.filePosValue = 5;  // the thumb moves; no change event until the drag ends
  const int yields = platform.yields;
  FilePos_Scroll(state, platform, view);
  EXPECT_EQ(view.ptrCaption, "64005");
  EXPECT_TRUE(view.ptrVisible);
  EXPECT_EQ(view.ptrTop, 1080 + 150 + (5055 - 750) * 5 / 32000);
  EXPECT_EQ(platform.yields, yields + 1);
  EXPECT_EQ(view.textSets, 0);

  view.filePosValue = 16000;
  FilePos_Scroll(state, platform, view);
  EXPECT_EQ(view.ptrTop, 3382);

  view.filePosMax = 0;  // nothing to divide by: Ptr at the top
  view.filePosValue = 1;
  FilePos_Scroll(state, platform, view);
  EXPECT_EQ(view.ptrTop, 1080 + 150);

  view.filePosMax = 32000;
  Click(7);  // the end of the drag refills the window and hides Ptr
  EXPECT_FALSE(view.ptrVisible);
  EXPECT_EQ(state.FirstShown, 64007);
}

TEST_F(ScrollingTest, KeypadDigitsStepsAndEnter) {
  Open("THREE");
  Keys({1, 2});
  EXPECT_EQ(state.SectionEntry, "12");
  EXPECT_EQ(state.Section, 12);
  EXPECT_EQ(view.label1, "12");
  EXPECT_EQ(view.textSets, 0);  // digits do not move the window

  Keys({kPartEnter});  // clamped to the last section
  EXPECT_EQ(state.Section, 3);

  Keys({kPartMinusOne, kPartMinusOne, kPartMinusOne});  // never below 1
  EXPECT_EQ(state.Section, 1);
  EXPECT_EQ(view.label1, "1");
  Keys({kPartPlusOne, kPartPlusOne, kPartPlusOne});  // never above the count
  EXPECT_EQ(state.Section, 3);
  Keys({2});  // a digit after a step is appended to it
  EXPECT_EQ(state.SectionEntry, "32");

  Keys({kPartEnter, 9, 9, kPartEnter});
  EXPECT_EQ(state.Section, 3);
  EXPECT_EQ(view.filePosMax, 70500 - 64000);
  EXPECT_EQ(view.filePosValue, 1);
  EXPECT_EQ(view.fileTxt, state.Heading + test::NumberedLines(64001, 64021));
  EXPECT_EQ(view.label1, "3");

  const int fills = view.textSets;
  Keys({kPartEnter});  // value 1 already: the window is rebuilt all the same
  EXPECT_EQ(view.textSets, fills + 1);

  Keys({0, kPartEnter});  // section 0: the file from its first entry
  EXPECT_EQ(view.filePosMax, 32000);
  EXPECT_EQ(view.fileTxt, state.Heading + test::NumberedLines(1, 21));
  EXPECT_EQ(state.Section, 1);
  EXPECT_EQ(view.label1, "1");
}

TEST_F(ScrollingTest, EmptyLastSectionOfAnExactMultiple) {
  Open("EXACT");
  ASSERT_EQ(state.SectionCount, 2);
  Keys({kPartPlusOne, kPartEnter});
  EXPECT_EQ(view.filePosMax, 0);
  EXPECT_EQ(view.filePosValue, 1);
  EXPECT_EQ(view.fileTxt, state.Heading + ">> No Entries <<");
  Click(5);  // the bar has one position: nothing moves
  EXPECT_EQ(view.filePosValue, 1);
}

TEST_F(ScrollingTest, KeypadNeverPassesThirtyTwoBits) {
  Open("THREE");
  Keys({9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9});
  EXPECT_EQ(state.Section, 9999);
  EXPECT_EQ(state.SectionEntry, "9999");
  Keys({kPartEnter, 6, 7, 1, 0, 8, 9});
  EXPECT_EQ(state.Section, 67108);
  view.filePosValue = 32000;
  FilePos_Scroll(state, platform, view);
  EXPECT_EQ(view.ptrCaption, "2147456000");
  Click(31999);  // a typed section used before "Enter": beyond the file
  EXPECT_EQ(view.fileTxt, state.Heading + ">> No Entries <<");
}

}  // namespace
}  // namespace ondrel
