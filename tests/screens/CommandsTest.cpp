// The contents screen's commands and tips on the real screen: the clipboard
// text, the print document (recorded line by line), "Exit", the tip zones and
// the pointer movement the window sees, and one whole journey of a user.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCursor>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTest>

#include "screens/ControlTips.h"
#include "screens/Cp1252.h"
#include "screens/Fonts.h"
#include "tests/screens/ScreenTestSupport.h"

using namespace ondrel;
using namespace ondrel::screentest;

namespace {

// A printer that writes down what it is asked to print.
class RecordingPrinter : public Printer {
 public:
  void PrintLine(const std::string& text) override { lines.push_back(text); }
  void PrintEmptyLine() override { lines.emplace_back(); }
  void EndDocument() override { lines.emplace_back("<end of document>"); }
  std::vector<std::string> lines;
};

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  lines.push_back(text.substr(start));
  return lines;
}

std::string Blanks(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

}  // namespace

class CommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void copyToClipboard();
  void printTwoPressesAndAThird();
  void exitEndsTheProgram();
  void returnPressesTheFocusedButton();
  void tipZonesFromTheLayout();
  void tipsFollowThePointer();
  void pointerOverControlsIsNotTheWindows();
  void heldInputWaitsForTheLoadToEnd();
  void journeyFromSplashToACopiedWindow();

 private:
  std::unique_ptr<WorkDir> dir_;
};

void CommandsTest::initTestCase() {
  dir_ = std::make_unique<WorkDir>();
  BuildNumbered(dir_->Path(), "NUMBERS", {.count = 100});
}

void CommandsTest::copyToClipboard() {
  Screen s;
  // Nothing on view: the clipboard is left alone.
  QGuiApplication::clipboard()->setText("before");
  s.contents->Command1_Click(3);
  QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));

  s.OpenFile("NUMBERS", "BYNO");
  s.FilePos()->setValue(40);
  Click(s.Command(3));
  const QString copied = QGuiApplication::clipboard()->text();
  QCOMPARE(copied, QStringLiteral("NUMBERS via BYNO: Record 40 thru 60 of 100\r\n") + FromCp1252(s.Text()));
  QVERIFY(copied.endsWith(QString::fromStdString(NumberedLines(40, 60))));
}

void CommandsTest::printTwoPressesAndAThird() {
  Screen s;
  RecordingPrinter printer;
  s.contents->SetPrinter(printer);
  s.OpenFile("NUMBERS", "BYNO");
  const std::vector<std::string> heading = {Split(s.Text())[0], Split(s.Text())[1]};

  // Centred on 90 columns: 45 - L / 2 blanks, halves to the even count.
  // "NUMBERS via BYNO" is 16 long; the captions 23 (33.5 blanks: 34) and 24.
  const auto window = [&](long first, long last, int captionBlanks) {
    std::vector<std::string> lines = {"", "", "", Blanks(37) + "NUMBERS via BYNO",
                                      Blanks(captionBlanks) + "Record " + std::to_string(first) + " thru " +
                                          std::to_string(last) + " of 100",
                                      "", ""};
    lines.insert(lines.end(), heading.begin(), heading.end());
    for (long i = first; i <= last; ++i) lines.push_back(NumberedLine(i));
    lines.push_back("");  // the text ends with a line end
    return lines;
  };
  std::vector<std::string> header = {"", "", Blanks(36) + "Version 2001.01.05"};

  Click(s.Command(2));
  std::vector<std::string> expected = header;
  for (const auto& l : window(1, 21, 34)) expected.push_back(l);
  QCOMPARE(printer.lines, expected);
  QCOMPARE(s.state.PrintPhase, Integer{2});

  s.FilePos()->setValue(22);
  Click(s.Command(2));
  for (const auto& l : window(22, 42, 33)) expected.push_back(l);
  expected.push_back("<end of document>");
  QCOMPARE(printer.lines, expected);
  QCOMPARE(s.state.PrintPhase, Integer{1});

  printer.lines.clear();
  Click(s.Command(2));
  QCOMPARE(std::vector<std::string>(printer.lines.begin(), printer.lines.begin() + 3), header);
  QVERIFY(printer.lines.back() != "<end of document>");
  QCOMPARE(s.state.PrintPhase, Integer{2});
}

void CommandsTest::exitEndsTheProgram() {
  Screen s;
  RecordingPrinter printer;
  s.contents->SetPrinter(printer);
  s.OpenFile("NUMBERS", "BYNO");
  Click(s.Command(2));  // a document begun and never ended
  bool ended = false;
  try {
    s.contents->Command1_Click(1);
  } catch (const ProgramEnded&) {
    ended = true;
  }
  QVERIFY(ended);
}

void CommandsTest::returnPressesTheFocusedButton() {
  Screen s;
  MessageAnswerer answers;
  bool chooserShown = false;
  WhenModal(QStringLiteral("FileOpen"), [&](QWidget* chooser) {
    chooserShown = true;
    // In the directory list Return goes into the directory; it presses no
    // button.
    auto* dir = chooser->findChild<QWidget*>("Dir1");
    dir->setFocus();
    QTest::keyClick(dir, Qt::Key_Return);
    QTest::qWait(20);
    QCOMPARE(int(answers.seen.size()), 0);
    QVERIFY(chooser->isVisible());
    // On "&Ok" Return presses it; keypad Enter on "&Cancel" presses that.
    auto* ok = chooser->findChild<QAbstractButton*>("CmdOpen_0");
    ok->setFocus();
    QVERIFY(ok->hasFocus());
    QTest::keyClick(ok, Qt::Key_Return);
    QCOMPARE(int(answers.seen.size()), 1);
    QCOMPARE(answers.seen[0].text, QStringLiteral("Please select an ISPEC."));
    auto* cancel = chooser->findChild<QAbstractButton*>("CmdOpen_1");
    cancel->setFocus();
    QTest::keyClick(cancel, Qt::Key_Enter, Qt::KeypadModifier);
    if (chooser->isVisible()) Click(cancel);  // not to leave the test waiting
  });
  QAbstractButton* choose = s.Command(0);
  QVERIFY(choose->hasFocus());
  QTest::keyClick(choose, Qt::Key_Return);
  QVERIFY(chooserShown);
  QVERIFY(s.state.ChooserCancelled);
  QCOMPARE(int(answers.seen.size()), 1);

  s.OpenFile("NUMBERS", "BYNO");
  QGuiApplication::clipboard()->setText("before");
  s.Command(3)->setFocus();
  QTest::keyClick(s.Command(3), Qt::Key_Enter, Qt::KeypadModifier);
  QVERIFY(QGuiApplication::clipboard()->text().startsWith("NUMBERS via BYNO: Record 1 thru 21 of 100\r\n"));
}

void CommandsTest::tipZonesFromTheLayout() {
  Screen s;
  const TipZones& z = s.contents->Zones();
  const auto same = [](const TipZone& a, const TipZone& b) {
    return a.Left == b.Left && a.Right == b.Right && a.Top == b.Top && a.Bottom == b.Bottom;
  };
  // Three pixels (45 twips) to the left and above, two (30) to the right and
  // below, at 15 twips a pixel.
  QVERIFY(same(z[int(TipZoneId::Tips)], {75, 885, -45, 285}));
  QVERIFY(same(z[int(TipZoneId::FileTxt)], {75, 8445, 1035, 6405}));
  QVERIFY(same(z[int(TipZoneId::FilePos)], {8355, 8685, 1035, 6165}));
  QVERIFY(same(z[int(TipZoneId::ChooseFile)], {6555, 8325, -45, 525}));
  QVERIFY(same(z[int(TipZoneId::Exit)], {8355, 9165, -45, 525}));
  QVERIFY(same(z[int(TipZoneId::CopyToClipboard)], {6555, 8325, 555, 1005}));
  QVERIFY(same(z[int(TipZoneId::Print)], {8355, 9165, 555, 1005}));
  QVERIFY(same(z[int(TipZoneId::Enter)], {555, 1485, 315, 1005}));
}

void CommandsTest::tipsFollowThePointer() {
  Screen s;
  QLabel* tip = s.Label("Tip");
  auto* tips = s.Find<QCheckBox>("Tips");

  // Tips off: moving the pointer shows nothing.
  s.contents->Form_MouseMove(3000, 3000);
  QVERIFY(tip->isHidden());

  Click(tips);
  QVERIFY(tip->isVisible());
  QCOMPARE(tip->text(), QStringLiteral("Explanations of controls under the mouse.\n"
                                       "Keys: Ctrl+G, Ctrl+F, F3, Shift+F3, F5 and Ctrl+K; F1 tells what each does."));

  // An edge counts as inside; where the text box's and the scroll bar's
  // zones overlap, the text box wins.
  s.contents->Form_MouseMove(75, 1035);
  QVERIFY(tip->text().startsWith("Displays records from the file.  You can 'lock' a heading"));
  s.contents->Form_MouseMove(8400, 3000);
  QVERIFY(tip->text().startsWith("Displays records"));
  s.contents->Form_MouseMove(8685, 6165);
  QVERIFY(tip->text().startsWith("Moves the display through the file"));
  // A long tip keeps its width and grows downwards.
  QCOMPARE(tip->width(), 3615 / 15);
  QVERIFY(tip->height() > 3 * tip->fontMetrics().lineSpacing());
  QCOMPARE(tip->pos(), QPoint(2760 / 15, 0));

  s.contents->Form_MouseMove(9165, 525);
  QCOMPARE(tip->text(), QStringLiteral("Take a guess!"));
  // "Print" is hidden: its zone leaves the tip as it was.
  QVERIFY(s.Command(2)->isHidden());
  s.contents->Form_MouseMove(8700, 800);
  QCOMPARE(tip->text(), QStringLiteral("Take a guess!"));
  QVERIFY(tip->isVisible());
  // Off every zone the tip goes; the keypad's digits have no zone.
  s.contents->Form_MouseMove(1600, 100);
  QVERIFY(tip->isHidden());
  s.contents->Form_MouseMove(1000, 700);  // "Enter", hidden
  QVERIFY(tip->isHidden());
  s.contents->Form_MouseMove(6555, -45);
  QCOMPARE(tip->text(), QStringLiteral("Choose a file to display from the Ondrel run time database."));
  s.contents->Form_MouseMove(6554, 300);
  QVERIFY(tip->isHidden());

  // With a file open, "Print", "Copy to Clipboard" and "Enter" explain
  // themselves.
  BuildNumbered(dir_->Path(), "LONG", {.count = 32001});
  s.OpenFile("LONG", "BYNO");
  s.contents->Form_MouseMove(8700, 800);
  QCOMPARE(tip->text(), QStringLiteral("Prints the displayed records (up to 90 or so characters)."));
  s.contents->Form_MouseMove(7000, 800);
  QVERIFY(tip->text().startsWith("Copies displayed records (in their full width) to the Clipboard.  From there"));
  s.contents->Form_MouseMove(1000, 700);
  QVERIFY(tip->text().startsWith("Selects which section of the file to view.  Due to program limits"));

  Click(tips);
  QVERIFY(tip->isHidden());
  s.contents->Form_MouseMove(75, 1035);
  QVERIFY(tip->isHidden());
}

void CommandsTest::pointerOverControlsIsNotTheWindows() {
  Screen s;
  QLabel* tip = s.Label("Tip");
  Click(s.Find<QCheckBox>("Tips"));
  // The pointer crosses the margin left of the text box: the window's own
  // surface, inside the text box's zone.
  QTest::mouseMove(s.contents.get(), QPoint(6, 200));
  QTRY_VERIFY(tip->text().startsWith("Displays records"));
  // On the Exit button, the scroll bar and the text box the window sees
  // nothing: the tip stays.
  for (QWidget* control : {static_cast<QWidget*>(s.Command(1)), static_cast<QWidget*>(s.FilePos()),
                           static_cast<QWidget*>(s.FileTxt())}) {
    QTest::mouseMove(s.contents.get(), control->geometry().center());
    QTest::qWait(20);
    QVERIFY(tip->text().startsWith("Displays records"));
  }
  QTest::mouseMove(s.contents.get(), s.Command(0)->geometry().center());
  QTest::qWait(20);
  QVERIFY(tip->text().startsWith("Displays records"));
  // Over the place of the hidden "Enter" the window sees the pointer, and in
  // its zone the tip stays too; off every zone the tip goes.
  QTest::mouseMove(s.contents.get(), s.Part(12)->geometry().center());
  QTest::qWait(20);
  QVERIFY(tip->isVisible());
  QTest::mouseMove(s.contents.get(), QPoint(300, 60));
  QTRY_VERIFY(tip->isHidden());
}

void CommandsTest::heldInputWaitsForTheLoadToEnd() {
  Screen s;
  QLabel* tip = s.Label("Tip");
  Click(s.Find<QCheckBox>("Tips"));
  QTest::mouseMove(s.contents.get(), QPoint(320, 62));
  QTRY_VERIFY(tip->isHidden());

  // While a load holds input back, pointer movement does not reach the
  // screen; once the load is over, it does again.
  s.platform.HoldInput(true);
  QCursor::setPos(s.contents->mapToGlobal(QPoint(6, 200)));
  s.platform.DoEvents();
  s.platform.DoEvents();
  QVERIFY(tip->isHidden());
  s.platform.HoldInput(false);
  QTest::mouseMove(s.contents.get(), QPoint(6, 220));
  QTRY_VERIFY(tip->isVisible());
  QVERIFY(tip->text().startsWith("Displays records"));
}

void CommandsTest::journeyFromSplashToACopiedWindow() {
  QDir::setCurrent(QStringLiteral(ONDREL_DEMO_DIR));
  Screen s;  // started, splash answered with "&OK"
  QVERIFY(s.Command(3)->isHidden());
  WhenModal(QStringLiteral("FileOpen"), [&s](QWidget* chooser) {
    auto* ispecs = chooser->findChild<QListWidget*>("LstIspec");
    QCOMPARE(chooser->windowTitle(), QStringLiteral("Choose Path and Ispec"));
    ClickEntry(ispecs, RowOf(ispecs, "CUSTOMER"));
    QCOMPARE(chooser->findChild<QLabel*>("Label6")->text(), QStringLiteral("480 Records"));
    auto* profiles = chooser->findChild<QListWidget*>("LstProfile");
    ClickEntry(profiles, RowOf(profiles, "BYNAME"));
    QCOMPARE(chooser->windowTitle(), QStringLiteral("BYNAME Keys and Conditions"));
    Click(chooser->findChild<QAbstractButton*>("CmdOpen_0"));
  });
  Click(s.Command(0));
  QCOMPARE(s.contents->windowTitle(), QStringLiteral("Ondrel Runtime File Contents for CUSTOMER via BYNAME"));
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 1 thru 21 of 480"));
  QTest::mouseClick(s.FilePos(), Qt::LeftButton, {}, ScrollBarPart(s.FilePos(), QStyle::SC_ScrollBarAddPage).center());
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 22 thru 42 of 480"));
  const std::string window = s.Text();
  QCOMPARE(int(Split(window).size()), 2 + 21 + 1);
  Click(s.Command(3));
  QCOMPARE(QGuiApplication::clipboard()->text(),
           QStringLiteral("CUSTOMER via BYNAME: Record 22 thru 42 of 480\r\n") + FromCp1252(window));
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InstallFontFallbacks();
  CommandsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "CommandsTest.moc"
