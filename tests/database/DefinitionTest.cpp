// Loading a definition file: field widths, record length, heading, both
// layouts of the format version, and every way a load fails.
#include <gtest/gtest.h>

#include "database/Definition.h"
#include "database/Messages.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDir.h"
#include "tools/writer/DefinitionText.h"

namespace ondrel {
namespace {

using test::RecordingPlatform;
using test::TempDir;
using writer::DefinitionFile;
using writer::DefinitionText;

class DefinitionTest : public ::testing::Test {
 protected:
  DefinitionTest() { SetTextConstants(state); }

  bool Load(const std::string& text) {
    state.DefinitionPath = dir.Write("_T.DFN", text);
    return LoadDefinition(state, platform);
  }
  bool Load(const DefinitionFile& setup) { return Load(DefinitionText(setup)); }

  void ExpectFailed() {
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text,
              "Sorry, the file you selected has no associated definition.  Perhaps it is not a "
              "user-defined file.");
    EXPECT_EQ(platform.messages[0].title, "OOPS!");
    EXPECT_EQ(platform.messages[0].icon, MsgIcon::Critical);
    EXPECT_EQ(platform.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(state.FieldCount, 0);
    EXPECT_EQ(state.RecordLength, 0);
    EXPECT_EQ(state.Heading, "");
  }

  static DefinitionFile Example() {
    DefinitionFile setup;
    setup.fields = {{"CUST", 1, "A", 6, 0}, {"AMOUNT", 2, "N", 7, 2}, {"[LINK]", 3, "A", 4, 0}};
    return setup;
  }

  TempDir dir;
  SharedState state;
  RecordingPlatform platform;
};

TEST_F(DefinitionTest, WorkedExampleGivesWidthsColumnsAndHeading) {
  ASSERT_TRUE(Load(Example()));
  EXPECT_TRUE(platform.messages.empty());
  ASSERT_EQ(state.FieldCount, 3);
  EXPECT_EQ(state.FieldTable[1].Name, "CUST");
  EXPECT_EQ(state.FieldTable[1].Width, 6);
  EXPECT_EQ(state.FieldTable[1].Column, 1);
  EXPECT_EQ(state.FieldTable[2].Width, 8);
  EXPECT_EQ(state.FieldTable[2].Column, 8);
  EXPECT_EQ(state.FieldTable[2].Decimals, 2);
  EXPECT_EQ(state.FieldTable[3].Width, 4);
  EXPECT_EQ(state.FieldTable[3].Column, 0);
  EXPECT_EQ(state.RecordLength, 19);
  EXPECT_EQ(state.Heading, "CUST    AMOUNT  \r\n" + std::string(15, '-') + "\r\n");
}

TEST_F(DefinitionTest, WidthAdjustmentsFollowTypeAndDecimals) {
  DefinitionFile setup;
  setup.fields = {{"X", 1, "Z", 7, 2}, {"D", 2, "D", 8, 0}, {"Y", 3, "B", 3, 0}};
  ASSERT_TRUE(Load(setup));
  EXPECT_EQ(state.FieldTable[1].Width, 9);
  EXPECT_EQ(state.FieldTable[2].Width, 8);
  EXPECT_EQ(state.FieldTable[3].Width, 4);
  EXPECT_EQ(state.RecordLength, 9 + 8 + 4 + 1);
  EXPECT_EQ(state.RecordLength, writer::RecordLength(setup.fields));
}

TEST_F(DefinitionTest, HeadingPlacesNamesByTypeAndCutsLongNames) {
  DefinitionFile setup;
  // A long name is cut; a short numeric name ends one short of the field's end.
  setup.fields = {{"CUSTOMERNAME", 1, "A", 5, 0}, {"QTY", 2, "N", 6, 0}, {"LONGNUMBER", 3, "N", 4, 0}};
  ASSERT_TRUE(Load(setup));
  const std::string line = state.Heading.substr(0, state.Heading.find("\r\n"));
  EXPECT_EQ(line, "CUSTO " "  QTY  " "LONG ");
  EXPECT_EQ(state.FieldTable[2].Column, 7);
  EXPECT_EQ(state.FieldTable[3].Column, 14);
  EXPECT_EQ(state.Heading.substr(line.size() + 2), std::string(line.size() - 1, '-') + "\r\n");
}

TEST_F(DefinitionTest, HiddenFieldsOccupyBytesButAreNotHeaded) {
  DefinitionFile setup;
  setup.fields = {{"name", 1, "A", 3, 0},   {"NAME", 2, "A", 4, 0}, {"_X", 3, "A", 2, 0},
                 {"\xC4X", 4, "A", 2, 0}, {"9A", 5, "A", 2, 0}};
  ASSERT_TRUE(Load(setup));
  EXPECT_EQ(state.RecordLength, 3 + 4 + 2 + 2 + 2 + 1);
  EXPECT_EQ(state.FieldTable[1].Column, 0);
  EXPECT_EQ(state.FieldTable[2].Column, 1);
  EXPECT_EQ(state.FieldTable[3].Column, 0);
  EXPECT_EQ(state.FieldTable[4].Column, 0);  // a byte above "[" is hidden, whatever its sign
  EXPECT_EQ(state.FieldTable[5].Column, 6);
  EXPECT_EQ(state.Heading, "NAME 9A \r\n-------\r\n");
}

TEST_F(DefinitionTest, VersionSelectsLayout) {
  // Newer layout: extra items after the fifth are skipped.
  for (const char* version : {"V002.003.999", "V002.004.000", "V003.000.000"}) {
    SCOPED_TRACE(version);
    DefinitionFile setup = Example();
    setup.version = version;
    setup.fields[0].extra = "EXTRA ITEMS";
    ASSERT_TRUE(Load(setup));
    EXPECT_EQ(state.FieldCount, 3);
    EXPECT_EQ(state.RecordLength, 19);
  }
  // Older layout: the extra text becomes the next field's name, so the
  // same file reads differently (here it fails, a letter in a number).
  DefinitionFile older = Example();
  older.version = "V002.003.998";
  ASSERT_TRUE(Load(older));
  EXPECT_EQ(state.FieldCount, 3);
  older.fields[0].extra = "EXTRA ITEMS";
  EXPECT_FALSE(Load(older));
  ExpectFailed();
}

TEST_F(DefinitionTest, OlderLayoutReadsExtraTextAsNextField) {
  ASSERT_TRUE(Load("V001.000.000\n000002\nA 1 A 2 0 B 2 A 3 0\n"));
  ASSERT_EQ(state.FieldCount, 2);
  EXPECT_EQ(state.FieldTable[2].Name, "B");
  EXPECT_EQ(state.FieldTable[2].Width, 3);
}

TEST_F(DefinitionTest, CrLfLinesReadAsLf) {
  for (bool newer : {true, false}) {
    DefinitionFile setup = Example();
    setup.crlf = true;
    if (!newer) setup.version = writer::kOlderVersion;
    ASSERT_TRUE(Load(setup)) << newer;
    EXPECT_EQ(state.FieldCount, 3);
    EXPECT_EQ(state.RecordLength, 19);
    EXPECT_EQ(state.FieldTable[3].Decimals, 0);
  }
}

TEST_F(DefinitionTest, TwoBlanksEncloseAnEmptyItem) {
  // The empty number reads as 0 and the later items move up one place.
  ASSERT_TRUE(Load("V002.004.000\n000001\nA  X 5 0\n"));
  EXPECT_EQ(state.FieldTable[1].Number, 0);
  EXPECT_EQ(state.FieldTable[1].Type, "X");
  EXPECT_EQ(state.FieldTable[1].Width, 6);
  // A letter that lands in a numeric item fails.
  EXPECT_FALSE(Load("V002.004.000\n000001\nA 1  A 5 0\n"));
  ExpectFailed();
}

TEST_F(DefinitionTest, AReloadReplacesTheTable) {
  ASSERT_TRUE(Load(Example()));
  DefinitionFile one;
  one.fields = {{"ONLY", 1, "A", 2, 0}};
  ASSERT_TRUE(Load(one));
  EXPECT_EQ(state.FieldCount, 1);
  EXPECT_EQ(state.RecordLength, 3);
}

struct BadDefinition {
  const char* name;
  std::string text;
};

class DefinitionFailureTest : public DefinitionTest,
                              public ::testing::WithParamInterface<BadDefinition> {};

TEST_P(DefinitionFailureTest, FailsWithMessageAndNoDefinition) {
  // A sound definition loaded before must not survive a failed load.
  ASSERT_TRUE(Load(Example()));
  EXPECT_FALSE(Load(GetParam().text));
  ExpectFailed();
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, DefinitionFailureTest,
    ::testing::Values(
        BadDefinition{"NoVersionLineEnd", "V002.004.000"},
        BadDefinition{"ShortCountLine", "V002.004.000\n12"},
        BadDefinition{"CountNotNumeric", "V002.004.000\nABCDEF\nA 1 A 1 0\n"},
        BadDefinition{"CountTooLarge", "V002.004.000\n032767\nA 1 A 1 0\n"},
        BadDefinition{"NoFieldLines", "V002.004.000\n000000\n"},
        BadDefinition{"OnlyHiddenFields", "V002.004.000\n000001\nhidden 1 A 4 0\n"},
        BadDefinition{"LastLineWithoutLineEnd", "V002.004.000\n000001\nA 1 A 4 0"},
        BadDefinition{"EndsInsideLine", "V002.004.000\n000001\nA 1 A"},
        BadDefinition{"LetterInWidth", "V002.004.000\n000001\nA 1 A 4x 0\n"},
        BadDefinition{"NumberAbove32767", "V002.004.000\n000001\nA 1 A 32768 0\n"},
        BadDefinition{"WidthOverflowsWhenAdjusted", "V002.004.000\n000001\nA 1 Z 32767 0\n"},
        BadDefinition{"NewerLayoutExtraWithoutLineEnd", "V002.004.000\n000001\nA 1 A 4 0 more"},
        BadDefinition{"NameEndsTheLine", "V002.004.000\n000001\nA 1 A 4 0\nB\n"},
        BadDefinition{"EmptyFile", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DefinitionTest, MissingFileFails) {
  state.DefinitionPath = (dir.path() / "_NONE.DFN").string();
  EXPECT_FALSE(LoadDefinition(state, platform));
  ExpectFailed();
}

TEST_F(DefinitionTest, SixCharacterNumberMayCarryBlanksAndASign) {
  EXPECT_TRUE(Load("V002.004.000\n    12 rest of line\nA 1 A 4 0\n"));
  EXPECT_TRUE(Load("V002.004.000\n032766\nA 1 A 4 0\n"));
  EXPECT_EQ(state.FieldCount, 1);
  // Only a value above 32766 fails: negative numbers of any size are read.
  EXPECT_TRUE(Load("V002.004.000\n-40000\nA 1 A 4 0\n"));
  EXPECT_TRUE(Load("V002.004.000\n  -7  \nA 1 A 4 0\n"));
  EXPECT_TRUE(Load("V002.004.000\n+32766\nA 1 A 4 0\n"));
  EXPECT_FALSE(Load("V002.004.000\n+32767\nA 1 A 4 0\n"));
  EXPECT_FALSE(Load("V002.004.000\n  -   \nA 1 A 4 0\n"));
}

TEST_F(DefinitionTest, AFieldMayBreakAcrossLinesAfterItsName) {
  // Each item ends at a blank or LF and the next item follows: a line break
  // after the number, the type or the width leaves the same field.
  for (const char* text : {"V002.004.000\n000002\nNO 1\nA 4 0\nAMT 2 N 5 2\n",
                           "V002.004.000\n000002\nNO 1 A\n4 0\nAMT 2 N\n5\n2\n",
                           "V002.003.001\n000002\nNO 1\r\nA 4\r\n0\r\nAMT 2 N 5 2\r\n"}) {
    ASSERT_TRUE(Load(text)) << text;
    ASSERT_EQ(state.FieldCount, 2) << text;
    EXPECT_EQ(state.FieldTable[1].Name, "NO");
    EXPECT_EQ(state.FieldTable[1].Number, 1);
    EXPECT_EQ(state.FieldTable[1].Type, "A");
    EXPECT_EQ(state.FieldTable[1].Width, 4);
    EXPECT_EQ(state.FieldTable[2].Width, 6) << text;  // 5, and 1 for the decimals
    EXPECT_EQ(state.RecordLength, 11);
  }
}

}  // namespace
}  // namespace ondrel
