// "Choose File" after the chooser, the clipboard text, the print document
// and the code page of the field bytes.
#include <gtest/gtest.h>

#include "tests/viewer/ViewerTestSupport.h"
#include "viewer/Commands.h"
#include "viewer/Cp1252.h"

namespace ondrel {
namespace {

using test::RecordingPlatform;
using test::RecordingView;

class RecordingPrinter : public Printer {
 public:
  void PrintLine(const std::string& text) override { lines.push_back(text); }
  void PrintEmptyLine() override { lines.push_back(""); }
  void EndDocument() override { lines.push_back("<end>"); }
  std::vector<std::string> lines;
};

class CommandsTest : public ::testing::Test {
 protected:
  void Open(long headerCount) {
    test::BuildNumbered(dir.str(), "CUSTOMER", 30, headerCount);
    test::OpenProfile(state, platform, view, dir.str(), "CUSTOMER", "BYNO");
  }
  test::TempDir dir;
  SharedState state;
  RecordingPlatform platform;
  RecordingView view{state, platform};
};

TEST_F(CommandsTest, ChooseFilePreparesSectionsOrdinatesAndTheFirstWindow) {
  Open(20000);
  view.fileTxt = "before";
  state.ChooserCancelled = true;
  EXPECT_FALSE(ShowChosenFile(state, platform, view, {"A"}));
  EXPECT_EQ(view.fileTxt, "before");
  EXPECT_EQ(view.ords, "");

  state.ChooserCancelled = false;
  view.filePosValue = 9;
  ASSERT_TRUE(ShowChosenFile(state, platform, view, {"NO", "NAME, Desc", "C", "D", "E"}));
  EXPECT_FALSE(view.keypadVisible);
  EXPECT_FALSE(view.label1Visible);
  EXPECT_EQ(view.label2, "1 Section(s)");
  EXPECT_TRUE(view.label2Visible);
  EXPECT_EQ(view.ords, "NO\r\nNAME, Desc\r\nC\r\n");
  EXPECT_EQ(view.changeEvents, 1);  // setting the value to 1 refilled nothing
  EXPECT_EQ(view.textSets, 1);
  EXPECT_EQ(view.fileTxt, state.Heading + test::NumberedLines(1, 21));

  Open(100000);
  state.Section = 3;
  ASSERT_TRUE(ShowChosenFile(state, platform, view, {}));
  EXPECT_TRUE(view.keypadVisible);
  EXPECT_EQ(view.label1, " 1");  // the window's own label follows the keypad's "1"
  EXPECT_EQ(view.label2, "4 Section(s)");
  EXPECT_EQ(view.ords, "");

  SharedState nothingChosen;
  EXPECT_FALSE(ShowChosenFile(nothingChosen, platform, view, {}));
}

TEST_F(CommandsTest, ClipboardAndPrintDocument) {
  PlainContentsView view;
  state.IspecName = "CUSTOMER";
  state.ProfileName = "BYNAME";
  state.VersionText = "2001.01.05";
  state.LineBreak = "\r\n";
  EXPECT_FALSE(ClipboardText(state, view));  // an empty window copies nothing
  view.fileTxt = "NO\r\n--\r\n01 \r\n";
  view.filePosTxt = "Record 1 thru 21 of 5000";
  EXPECT_EQ(ClipboardText(state, view),
            "CUSTOMER via BYNAME: Record 1 thru 21 of 5000\r\nNO\r\n--\r\n01 \r\n");

  RecordingPrinter printer;
  const std::vector<std::string> window = {"", "", "",
                                           std::string(36, ' ') + "CUSTOMER via BYNAME",
                                           std::string(33, ' ') + "Record 1 thru 21 of 5000",
                                           "", "", "NO", "--", "01 ", ""};
  std::vector<std::string> first = {"", "", std::string(36, ' ') + "Version 2001.01.05"};
  first.insert(first.end(), window.begin(), window.end());
  PrintCommand(state, view, printer);
  EXPECT_EQ(printer.lines, first);
  EXPECT_EQ(state.PrintPhase, 2);

  printer.lines.clear();
  PrintCommand(state, view, printer);
  std::vector<std::string> second = window;
  second.push_back("<end>");
  EXPECT_EQ(printer.lines, second);
  EXPECT_EQ(state.PrintPhase, 1);

  printer.lines.clear();
  PrintCommand(state, view, printer);
  EXPECT_EQ(printer.lines, first);  // a new document with its header

  EXPECT_EQ(CentringBlanks(15), 38);  // 37.5 to the even 38
  EXPECT_EQ(CentringBlanks(13), 38);  // 38.5 to the even 38
  EXPECT_EQ(CentringBlanks(90), 0);
  EXPECT_EQ(CentringBlanks(200), 0);  // too long to centre: no blanks
}

TEST(Cp1252Test, EveryByteIsOneCharacter) {
  EXPECT_EQ(Cp1252CodePoint('A'), U'A');
  EXPECT_EQ(Cp1252CodePoint(0x80), U'\u20AC');
  EXPECT_EQ(Cp1252CodePoint(0x8A), U'\u0160');
  EXPECT_EQ(Cp1252CodePoint(0x99), U'\u2122');
  EXPECT_EQ(Cp1252CodePoint(0x9F), U'\u0178');
  for (unsigned char undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
    EXPECT_EQ(Cp1252CodePoint(undefined), char32_t{undefined});
  EXPECT_EQ(Cp1252CodePoint(0xA0), U'\u00A0');
  EXPECT_EQ(Cp1252ToUtf8(std::string("a\0\x80\xE9", 4)), std::string("a\0\xE2\x82\xAC\xC3\xA9", 7));
}

}  // namespace
}  // namespace ondrel
