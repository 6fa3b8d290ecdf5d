// F5: the open file set read again after its owner changed it, the window
// shown again at its entry or at the last one, and a file set that can no
// longer be read leaving everything as it was.
#include <gtest/gtest.h>

#include "tests/viewer/ViewerTestSupport.h"
#include "tools/writer/Damage.h"
#include "viewer/Commands.h"
#include "viewer/RecordWindow.h"
#include "viewer/Refresh.h"

namespace ondrel {
namespace {

using test::RecordingPlatform;
using test::RecordingView;

class RefreshTest : public ::testing::Test {
 protected:
  // CUSTOMER with `count` numbered records, opened via BYNO and shown from
  // entry `first`.
  void OpenAt(long count, double first) {
    test::BuildNumbered(dir.str(), "CUSTOMER", count);
    test::OpenProfile(state, platform, view, dir.str(), "CUSTOMER", "BYNO");
    ASSERT_TRUE(ShowChosenFile(state, platform, view, {"NO"}));
    state.StartRecord = first;
    FillRecordWindow(state, platform, view);
    fills = view.textSets;
  }
  // The owner rewrites the file set with `count` records.
  void Rewrite(long count) { test::BuildNumbered(dir.str(), "CUSTOMER", count); }
  bool Refresh() { return RefreshFileSet(state, platform, view); }
  std::string Window() const { return view.fileTxt.substr(state.Heading.size()); }

  test::TempDir dir;
  SharedState state;
  RecordingPlatform platform;
  RecordingView view{state, platform};
  int fills = 0;
};

TEST_F(RefreshTest, GrownFileShowsTheSameEntryWithTheNewCounts) {
  OpenAt(100, 90);
  const Long rootBefore = state.KeyHead.RootNode;
  // Grown from a tree of one level to one of three: the root has moved.
  Rewrite(20000);
  ASSERT_TRUE(Refresh());
  EXPECT_NE(state.KeyHead.RootNode, rootBefore);
  EXPECT_EQ(state.RecordCount, 20000);
  EXPECT_EQ(EntriesInTree(state), 20000);
  EXPECT_EQ(Window(), test::NumberedLines(90, 110));
  EXPECT_EQ(view.filePosTxt, "Record 90 thru 110 of 20000");
  EXPECT_EQ(view.filePosMax, 20000);
  EXPECT_EQ(view.filePosValue, 90);
  EXPECT_EQ(view.textSets, fills + 1);  // one fill, at the entry
  EXPECT_EQ(view.label2, "1 Section(s)");
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(RefreshTest, ShrunkFileShowsItsLastEntry) {
  OpenAt(100, 90);
  Rewrite(50);
  ASSERT_TRUE(Refresh());
  EXPECT_EQ(Window(), test::NumberedLines(50, 50));
  EXPECT_EQ(view.filePosTxt, "Record 50 thru 50 of 50");
  EXPECT_EQ(view.filePosMax, 50);
  EXPECT_EQ(view.filePosValue, 50);

  // Emptied: the window of an empty tree, at 1.
  Rewrite(0);
  ASSERT_TRUE(Refresh());
  EXPECT_EQ(Window(), kNoEntries);
  EXPECT_EQ(view.filePosValue, 1);
}

TEST_F(RefreshTest, SectionsFollowTheNewCount) {
  OpenAt(33000, 32990);
  EXPECT_EQ(state.Section, 2);
  Rewrite(32500);
  ASSERT_TRUE(Refresh());
  // Still in the last section, whose maximum is what it holds now.
  EXPECT_EQ(state.Section, 2);
  EXPECT_EQ(view.filePosMax, 500);
  EXPECT_EQ(view.filePosValue, 500);
  EXPECT_TRUE(view.keypadVisible);
  EXPECT_EQ(view.label1, " 2");
  EXPECT_EQ(Window(), test::NumberedLines(32500, 32500));

  Rewrite(20000);
  ASSERT_TRUE(Refresh());
  EXPECT_EQ(state.SectionCount, 1);
  EXPECT_EQ(state.Section, 1);
  EXPECT_FALSE(view.keypadVisible);
  EXPECT_FALSE(view.label1Visible);
  EXPECT_EQ(view.label2, "1 Section(s)");
  EXPECT_EQ(view.filePosMax, 20000);
  EXPECT_EQ(view.filePosTxt, "Record 20000 thru 20000 of 20000");
}

TEST_F(RefreshTest, FileSetThatCannotBeReadChangesNothing) {
  OpenAt(100, 30);
  const SharedState before = state;
  const std::string window = view.fileTxt;
  const std::string caption = view.filePosTxt;
  const writer::FileSet set{dir.path(), "CUSTOMER"};
  const auto expectUnchanged = [&](const std::string& message) {
    ASSERT_FALSE(Refresh());
    EXPECT_FALSE(platform.ended);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, message + kRefreshStaysAsItWas);
    EXPECT_EQ(platform.messages[0].title, "");
    platform.messages.clear();
    EXPECT_EQ(state.RecordCount, before.RecordCount);
    EXPECT_EQ(state.KeyHead.RootNode, before.KeyHead.RootNode);
    EXPECT_EQ(state.LeafTable.size(), before.LeafTable.size());
    EXPECT_EQ(state.Heading, before.Heading);
    EXPECT_EQ(state.ProfileName, "BYNO");
    EXPECT_EQ(view.fileTxt, window);
    EXPECT_EQ(view.filePosTxt, caption);
    EXPECT_EQ(view.textSets, fills);
  };

  // An index header cut short, then no index at all.
  Rewrite(200);
  writer::TruncateFile(set, writer::FileKind::Index, 30);
  expectUnchanged("The file " + state.IndexPath + " cannot be read.");
  writer::RemoveFile(set, writer::FileKind::Index);
  expectUnchanged("The file " + state.IndexPath + " cannot be read.");
  // The data file gone.
  Rewrite(200);
  writer::RemoveFile(set, writer::FileKind::Data);
  expectUnchanged("The file " + state.DataPath + " cannot be read.");
  // The profile renamed by its owner.
  writer::IspecContent renamed;
  renamed.name = "CUSTOMER";
  renamed.definition.fields = test::NumberedFields();
  renamed.profiles = {{.name = "BYNUMBER", .keyFields = {{"NO"}}}};
  writer::BuildIspec(dir.path(), renamed);
  expectUnchanged("The profile BYNO is no longer in " + state.ProfilePath + ".");
  // A key description that ends past the end of the index.
  Rewrite(200);
  writer::SetKeyDescriptionLength(set, 1, 18);
  ASSERT_FALSE(Refresh());
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_NE(platform.messages[0].text.find(state.IndexPath), std::string::npos);
  EXPECT_EQ(state.RecordCount, before.RecordCount);

  // Read again once the file set is whole.
  platform.messages.clear();
  Rewrite(200);
  ASSERT_TRUE(Refresh());
  EXPECT_EQ(view.filePosTxt, "Record 30 thru 50 of 200");
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(RefreshTest, NothingOpenNothingDone) {
  SetTextConstants(state);
  EXPECT_FALSE(Refresh());
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(view.textSets, 0);
}

TEST(RefreshStartEntry, SameEntryLastEntryOrOne) {
  EXPECT_EQ(RefreshStartEntry(90, 200), 90);
  EXPECT_EQ(RefreshStartEntry(90, 50), 50);
  EXPECT_EQ(RefreshStartEntry(0, 50), 1);  // nothing was shown
  EXPECT_EQ(RefreshStartEntry(90, 0), 1);
}

}  // namespace
}  // namespace ondrel
