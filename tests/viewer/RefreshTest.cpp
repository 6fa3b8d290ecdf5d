// F5: the open file set read again after its owner changed it, the window
// shown again at its entry or at the last one, and a file set that can no
// longer be read leaving everything as it was.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/viewer/ViewerTestSupport.h"
#include "tools/writer/Damage.h"
#include "viewer/Commands.h"
#include "viewer/RecordWindow.h"
#include "viewer/Refresh.h"

namespace ondrel {
namespace {

class RefreshTest : public ::testing::Test {
 protected:
  // CUSTOMER with `count` numbered records, opened via BYNO, shown from `first`.
  void OpenAt(long count, double first) {
    Rewrite(count);
    test::OpenProfile(state, platform, view, dir.str(), "CUSTOMER", "BYNO");
    ASSERT_TRUE(ShowChosenFile(state, platform, view, {"NO"}));
    state.StartRecord = first;
    FillRecordWindow(state, platform, view);
  }
  // The owner writes the file set anew with `count` records.
  void Rewrite(long count) { test::BuildNumbered(dir.str(), "CUSTOMER", count); }
  bool Refresh() { return RefreshFileSet(state, platform, view); }
  std::string Window() const { return view.fileTxt.substr(state.Heading.size()); }

  test::TempDir dir;
  SharedState state;
  test::RecordingPlatform platform;
  test::RecordingView view{state, platform};
};

TEST_F(RefreshTest, SameEntryWithTheNewCountsOrTheLastEntry) {
  EXPECT_FALSE(Refresh());  // nothing open
  OpenAt(100, 90);
  const Long rootBefore = state.KeyHead.RootNode;
  const int fills = view.textSets;
  // Grown from a tree of two levels to one of three: the root has moved.
  Rewrite(20000);
  ASSERT_TRUE(Refresh());
  EXPECT_NE(state.KeyHead.RootNode, rootBefore);
  EXPECT_EQ(Window(), test::NumberedLines(90, 110));
  EXPECT_EQ(view.filePosTxt, "Record 90 thru 110 of 20000");
  EXPECT_EQ(view.filePosMax, 20000);
  EXPECT_EQ(view.filePosValue, 90);
  EXPECT_EQ(view.textSets, fills + 1);  // one fill
  // Shrunk below the entry: the last entry.
  Rewrite(50);
  ASSERT_TRUE(Refresh());
  EXPECT_EQ(Window(), test::NumberedLines(50, 50));
  EXPECT_EQ(view.filePosMax, 50);
  EXPECT_EQ(view.filePosValue, 50);
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(RefreshTest, SectionsFollowTheNewCount) {
  OpenAt(33000, 32990);
  Rewrite(32500);
  ASSERT_TRUE(Refresh());
  // Still the last section, whose maximum is what it holds now.
  EXPECT_EQ(state.Section, 2);
  EXPECT_EQ(view.filePosMax, 500);
  EXPECT_EQ(view.filePosValue, 500);
  EXPECT_TRUE(view.keypadVisible);
  EXPECT_EQ(view.label1, " 2");
  Rewrite(20000);
  ASSERT_TRUE(Refresh());
  EXPECT_EQ(state.Section, 1);
  EXPECT_FALSE(view.keypadVisible);
  EXPECT_FALSE(view.label1Visible);
  EXPECT_EQ(view.label2, "1 Section(s)");
  EXPECT_EQ(view.filePosTxt, "Record 20000 thru 20000 of 20000");
}

TEST_F(RefreshTest, TheFirstFillAfterTheFilesChangedSaysSoOnceUntilF5) {
  auto told = [this] {
    return std::count_if(platform.messages.begin(), platform.messages.end(),
                         [](const test::RecordedMessage& m) { return m.title == kFilesChangedTitle; });
  };
  OpenAt(100, 30);
  EXPECT_EQ(told(), 0);
  // Rewritten with the same records: only the files' identities change.
  Rewrite(100);
  state.StartRecord = 40;
  FillRecordWindow(state, platform, view);
  EXPECT_EQ(told(), 1);
  EXPECT_EQ(platform.messages.back().text, kFilesChanged);
  state.StartRecord = 50;
  FillRecordWindow(state, platform, view);
  EXPECT_EQ(told(), 1);
  // F5 reads the files again: its fill and the next are current.
  ASSERT_TRUE(Refresh());
  FillRecordWindow(state, platform, view);
  EXPECT_EQ(told(), 1);
  // Rewritten again, smaller: a fill through the leaf table of the larger
  // tree says so again.
  Rewrite(20);
  state.StartRecord = 90;
  FillRecordWindow(state, platform, view);
  EXPECT_EQ(told(), 2);
}

TEST_F(RefreshTest, FileSetThatCannotBeReadChangesNothing) {
  OpenAt(100, 30);
  const SharedState before = state;
  const std::string window = view.fileTxt;
  const writer::FileSet set{dir.path(), "CUSTOMER"};
  const auto expectUnchanged = [&](const std::string& reason) {
    ASSERT_FALSE(Refresh());
    EXPECT_FALSE(platform.ended);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, reason + kRefreshStaysAsItWas);
    platform.messages.clear();
    EXPECT_EQ(state.RecordCount, before.RecordCount);
    EXPECT_EQ(state.KeyHead.RootNode, before.KeyHead.RootNode);
    EXPECT_EQ(state.LeafTable.size(), before.LeafTable.size());
    EXPECT_EQ(view.fileTxt, window);
  };
  // The index header cut short.
  Rewrite(200);
  writer::TruncateFile(set, writer::FileKind::Index, 30);
  expectUnchanged("The file " + state.IndexPath + " cannot be read.");
  // The profile renamed by its owner.
  writer::IspecContent renamed{.name = "CUSTOMER"};
  renamed.definition.fields = test::NumberedFields();
  renamed.profiles = {{.name = "BYNUMBER", .keyFields = {{"NO"}}}};
  writer::BuildIspec(dir.path(), renamed);
  expectUnchanged("The profile BYNO is no longer in " + state.ProfilePath + ".");
  // A key description whose parts never add up.
  Rewrite(200);
  writer::SetKeyDescriptionLength(set, 1, 18);
  expectUnchanged("Overflow while reading the key description in " + state.IndexPath + ".");
  // Whole again: read.
  Rewrite(200);
  ASSERT_TRUE(Refresh());
  EXPECT_EQ(view.filePosTxt, "Record 30 thru 50 of 200");
}

}  // namespace
}  // namespace ondrel
