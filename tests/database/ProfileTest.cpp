// Choosing a profile: its keys-and-conditions lines and its key description.
#include <gtest/gtest.h>

#include "database/Catalogue.h"
#include "database/Profile.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDir.h"
#include "tools/writer/Damage.h"
#include "tools/writer/IspecBuilder.h"
#include "tools/writer/ProfileText.h"

namespace ondrel {
namespace {

using test::ProgramEnded;
using test::RecordingPlatform;
using test::TempDir;
using namespace writer;

TEST(ProfileLinesTest, ConditionLines) {
  std::string line;
  ASSERT_TRUE(ConditionLine(CRecord("STATUS", '3', '&', "GLB.SPACES") + "\n", line));
  EXPECT_EQ(line, "STATUS NOT = GLB.SPACES AND");
  ASSERT_TRUE(ConditionLine(CRecord("STATUS", '0', ' ', "A") + "\n", line));
  EXPECT_EQ(line, "STATUS = (A)");
  ASSERT_TRUE(ConditionLine(CRecord("STATUS", '9', '|', "A") + "\n", line));
  EXPECT_EQ(line, "STATUS(A) OR");
  const std::pair<char, const char*> ops[] = {{'1', " > "}, {'2', " < "}, {'4', " NOT > "}, {'5', " NOT < "}};
  for (auto [code, text] : ops) {
    ASSERT_TRUE(ConditionLine(CRecord("QTY", code, 'x', "GLB.ZEROS") + "\n", line));
    EXPECT_EQ(line, std::string("QTY") + text + "GLB.ZEROS");
  }
  ASSERT_TRUE(ConditionLine(CRecord("QTY", '0', ' ', "GLB.ZEROS2") + "\n", line));
  EXPECT_EQ(line, "QTY = (GLB.ZEROS2)");
  ASSERT_TRUE(ConditionLine(CRecord("QTY", '0', ' ', "glb.zeros") + "\n", line));
  EXPECT_EQ(line, "QTY = (glb.zeros)");
  // A CR before the LF stays part of the value.
  ASSERT_TRUE(ConditionLine(CRecord("QTY", '0', ' ', "GLB.SPACES") + "\r\n", line));
  EXPECT_EQ(line, "QTY = (GLB.SPACES\r)");
  // Fifteen characters, LF included, is the shortest readable condition.
  ASSERT_TRUE(ConditionLine(CRecord("QTY", '0', ' ', "") + "\n", line));
  EXPECT_EQ(line, "QTY = ()");
  EXPECT_FALSE(ConditionLine("CQTY       0 \n", line));
}

TEST(ProfileLinesTest, OrdinateLines) {
  EXPECT_EQ(OrdinateLine(ORecord("CUSTNO", true, true) + "\n"), "CUSTNO, Desc, LIFP");
  EXPECT_EQ(OrdinateLine(ORecord("CUSTNO", false, false) + "\n"), "CUSTNO");
  EXPECT_EQ(OrdinateLine(ORecord("CUSTNO", false, true) + "\n"), "CUSTNO, LIFP");
  EXPECT_EQ(OrdinateLine("O  NAME     \n"), "NAME");
  EXPECT_EQ(OrdinateLine("OX"), "X");  // a short record reads what it has
}

class LoadProfileTest : public ::testing::Test {
 protected:
  LoadProfileTest() {
    SetTextConstants(state);
    IspecContent setup;
    setup.name = "ORDERS";
    setup.definition.fields = {{"CUST", 1, "A", 8, 0}, {"BR", 2, "A", 2, 0}, {"ORDNO", 3, "N", 6, 0}};
    for (int i = 0; i < 40; ++i)
      setup.records.push_back({{"C" + std::to_string(i % 7), std::to_string(i % 3), std::to_string(i)}});
    setup.profiles = {
        {.name = "BYCUST", .keyFields = {{"CUST"}, {"BR"}}, .entryTail = 4},
        {.name = "WIDE", .keyFields = {{"CUST"}, {"BR"}}, .entryTail = 8},
        {.name = "ORDNO", .keyFields = {{"ORDNO"}}},
    };
    layout = BuildIspec(dir.path(), setup);
  }

  void Choose(int position) {
    profiles = LoadFileSet(state, platform, dir.str(), "ORDERS");
    platform = RecordingPlatform{};
    LoadProfile(state, platform, profiles, position);
  }

  void ExpectEndedWith(const std::string& fragment) {
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].text.find(fragment), std::string::npos) << platform.messages[0].text;
    EXPECT_EQ(platform.messages[0].title, "FileOpen");
    EXPECT_EQ(platform.messages[0].buttons, MsgButtons::OkCancel);
    EXPECT_TRUE(platform.ended);
  }

  TempDir dir;
  SharedState state;
  RecordingPlatform platform;
  IspecLayout layout;
  std::vector<std::string> profiles;
};

TEST_F(LoadProfileTest, KeyDescriptionOfEachListPosition) {
  Choose(0);  // skips description 0, reads description 1
  EXPECT_EQ(state.ProfileName, "BYCUST");
  EXPECT_EQ(state.KeyLength, 10);
  EXPECT_EQ(state.EntryTail, 4);
  EXPECT_EQ(state.EntryPad, std::string(11, ' '));
  EXPECT_EQ(state.KeyHead.RootNode, static_cast<Long>(layout.index.keys[1].root));
  EXPECT_EQ(state.KeyNumber, 1);
  EXPECT_EQ(state.KeyHead.DescLength, 0);

  Choose(1);
  EXPECT_EQ(state.KeyLength, 10);
  EXPECT_EQ(state.EntryTail, 8);
  EXPECT_EQ(state.EntryPad, std::string(15, ' '));
  EXPECT_EQ(state.KeyHead.RootNode, static_cast<Long>(layout.index.keys[2].root));

  Choose(2);  // skips three descriptions
  EXPECT_EQ(state.KeyNumber, 3);
  EXPECT_EQ(state.KeyLength, 6);
  EXPECT_EQ(state.KeyHead.RootNode, static_cast<Long>(layout.index.keys[3].root));
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(LoadProfileTest, TitleListsAndYields) {
  Choose(0);
  EXPECT_EQ(platform.chooserTitle, "BYCUST Keys and Conditions");
  EXPECT_EQ(platform.lists[ChooserList::Ispecs], std::vector<std::string>{"ORDERS"});
  EXPECT_EQ(platform.lists[ChooserList::Ordinates], (std::vector<std::string>{"CUST", "BR"}));
  EXPECT_TRUE(platform.lists[ChooserList::Conditions].empty());
  // One yield after each of the three lists is cleared, then after the
  // profile file, the skipped descriptions, the head and the end.
  EXPECT_EQ(platform.yields, 7);
  EXPECT_EQ(platform.events[0], "clear");
  EXPECT_EQ(platform.events[1], "yield");
}

TEST_F(LoadProfileTest, DefinitionRecordsUntilAnotherTag) {
  dir.Write("_ORDERS_P.DFN",
            ProfileText({PRecord("BYCUST"), IRecord("  ORDERS  "), IRecord("ZEBRA"),
                         ORecord("CUST", true, false), CRecord("STATUS", Op::NotEqual, kAnd, "GLB.SPACES"),
                         ORecord("BR"), CRecord("STATUS", Op::Equal, kNone, "A"), "",
                         ORecord("NEVER"), PRecord("WIDE"), ORecord("X"), PRecord("ORDNO"),
                         ORecord("ORDNO")}) +
                "CLAST      0 &GLB.ZEROS\n");
  Choose(0);
  EXPECT_EQ(platform.lists[ChooserList::Ispecs], (std::vector<std::string>{"ORDERS", "ZEBRA"}));
  EXPECT_EQ(platform.lists[ChooserList::Ordinates], (std::vector<std::string>{"CUST, Desc", "BR"}));
  EXPECT_EQ(platform.lists[ChooserList::Conditions],
            (std::vector<std::string>{"STATUS NOT = GLB.SPACES AND", "STATUS = (A)"}));
  Choose(2);  // the last profile's condition is the file's last record
  EXPECT_EQ(platform.lists[ChooserList::Conditions], std::vector<std::string>{"LAST = GLB.ZEROS AND"});
}

TEST_F(LoadProfileTest, RecordsKeepTheirCarriageReturn) {
  dir.Write("_ORDERS_P.DFN", ProfileText({PRecord("BYCUST"), IRecord("ORDERS")}, /*crlf=*/true));
  Choose(0);
  EXPECT_EQ(platform.lists[ChooserList::Ispecs], std::vector<std::string>{"ORDERS\r"});
}

TEST_F(LoadProfileTest, SameNameTwiceListsTheFirstButReadsTheChosenKey) {
  dir.Write("_ORDERS_P.DFN", ProfileText({PRecord("SAME"), ORecord("FIRST"), PRecord("SAME"),
                                          ORecord("SECOND"), PRecord("ORDNO")}));
  Choose(1);
  EXPECT_EQ(platform.lists[ChooserList::Ordinates], std::vector<std::string>{"FIRST"});
  EXPECT_EQ(state.EntryTail, 8);  // description 2 is the wide one
}

TEST_F(LoadProfileTest, UnmatchedNameLeavesListsEmptyButReadsTheKey) {
  profiles = LoadFileSet(state, platform, dir.str(), "ORDERS");
  LoadProfile(state, platform, {"BYCUST", "NOSUCH", "ORDNO"}, 1);
  EXPECT_TRUE(platform.lists[ChooserList::Ordinates].empty());
  EXPECT_EQ(state.EntryTail, 8);
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(LoadProfileTest, ShortConditionRecordEndsTheProgram) {
  dir.Write("_ORDERS_P.DFN", ProfileText({PRecord("BYCUST"), "CSTATUS    0"}));
  EXPECT_THROW(Choose(0), ProgramEnded);
  ExpectEndedWith("condition");
}

TEST_F(LoadProfileTest, OneCharacterIspecRecordEndsTheProgram) {
  // Written after the ISPEC was chosen: the choice itself refuses a profile
  // file that ends inside a record.
  profiles = LoadFileSet(state, platform, dir.str(), "ORDERS");
  dir.Write("_ORDERS_P.DFN", ProfileText({PRecord("BYCUST")}) + "I");
  EXPECT_THROW(LoadProfile(state, platform, profiles, 0), ProgramEnded);
  ExpectEndedWith("ISPEC record");
}

TEST_F(LoadProfileTest, ProfileFileEndingDuringTheSearchEndsTheProgram) {
  profiles = LoadFileSet(state, platform, dir.str(), "ORDERS");
  dir.Write("_ORDERS_P.DFN", ProfileText({PRecord("OTHER")}) + "PBYCU");
  EXPECT_THROW(LoadProfile(state, platform, profiles, 0), ProgramEnded);
  ExpectEndedWith("past end of file");
}

TEST_F(LoadProfileTest, MissingFilesEndTheProgram) {
  profiles = LoadFileSet(state, platform, dir.str(), "ORDERS");
  RemoveFile(layout.files, FileKind::Index);
  EXPECT_THROW(LoadProfile(state, platform, profiles, 0), ProgramEnded);
  ExpectEndedWith(state.IndexPath);
  platform = RecordingPlatform{};
  RemoveFile(layout.files, FileKind::Profile);
  EXPECT_THROW(LoadProfile(state, platform, profiles, 0), ProgramEnded);
  ExpectEndedWith(state.ProfilePath);
}

TEST_F(LoadProfileTest, DescriptionOffsetBeyondTheFileEndsTheProgram) {
  // The highest node number a description may lie at is a place 1 TiB
  // into the file, not an overflow.
  for (const char* k : {"\x00\x01\x00\x00", "\x7F\xFF\xFF\xFF"}) {
    profiles = LoadFileSet(state, platform, dir.str(), "ORDERS");
    platform = RecordingPlatform{};
    PatchBytes(layout.files, FileKind::Index, 45, std::string(k, 4));
    EXPECT_THROW(LoadProfile(state, platform, profiles, 0), ProgramEnded);
    ExpectEndedWith("past end of file");
  }
}

TEST_F(LoadProfileTest, BadDescriptionLengthEndsTheProgram) {
  // 12 + 2 * 5 is sound; 21 leaves a part count that never reaches 0.
  SetKeyDescriptionLength(layout.files, 1, 21);
  EXPECT_THROW(Choose(0), ProgramEnded);
  ASSERT_EQ(platform.messages.size(), 1u);
  EXPECT_EQ(platform.messages[0].title, "FileOpen");
}

// Each failure of the key description's reading says what went wrong: a
// node number no file can hold, and a length that leads before the file.
TEST_F(LoadProfileTest, KeyDescriptionFailuresAreNamedForWhatTheyAre) {
  profiles = LoadFileSet(state, platform, dir.str(), "ORDERS");
  PatchBytes(layout.files, FileKind::Index, 45, std::string("\x80\x00\x00\x01", 4));
  EXPECT_THROW(LoadProfile(state, platform, profiles, 0), ProgramEnded);
  ExpectEndedWith("are said to lie at node 2147483649, which no index file can hold.");

  PatchBytes(layout.files, FileKind::Index, 45, std::string("\x00\x00\x00\x01", 4));
  SetKeyDescriptionLength(layout.files, 0, static_cast<std::uint16_t>(-2000));
  platform = RecordingPlatform{};
  EXPECT_THROW(LoadProfile(state, platform, profiles, 1), ProgramEnded);
  ExpectEndedWith("Key description 0 of " + state.IndexPath +
                  " gives its length as -2000, which leads before the start of the file.");
}

}  // namespace
}  // namespace ondrel
