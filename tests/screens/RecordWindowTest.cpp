// The record window on the real contents screen: what the text box, the
// scroll bar and the labels show as the user moves through a file by the
// scroll bar's arrows, trough and thumb and by the section keypad.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QWheelEvent>

#include "database/Messages.h"
#include "screens/Cp1252.h"
#include "screens/Fonts.h"
#include "tests/screens/ScreenTestSupport.h"
#include "tools/writer/Damage.h"
#include "tools/writer/IspecBuilder.h"
#include "viewer/RecordWindow.h"

using namespace ondrel;
using namespace ondrel::screentest;

class RecordWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void windowsAtEntriesOfALargeFile();
  void keypadSequences();
  void fileOfExactly32000Entries();
  void purgedAndUnflaggedEntries();
  void emptyProfile();
  void arrowAndTroughClicks();
  void dragShowsPtrWithoutRefilling();
  void wheelOverTheTextMovesTheFile();
  void changeEventDuringAFillDoesNothing();
  void caretStaysWhereItWas();
  void bytesAboveAsciiShowOneCharacterEach();

 private:
  std::unique_ptr<WorkDir> dir_;
};

namespace {

constexpr long kLarge = 70500;

QString Shown(const std::string& bytes) { return TextBoxDisplay(bytes); }

}  // namespace

void RecordWindowTest::initTestCase() {
  dir_ = std::make_unique<WorkDir>();
  BuildNumbered(dir_->Path(), "LARGE", {.count = kLarge});
  BuildNumbered(dir_->Path(), "EXACT", {.count = 32000});
  BuildNumbered(dir_->Path(), "MIXED", {.count = 30, .purged = {2}, .unflagged = {3, 4}});
  BuildNumbered(dir_->Path(), "NONE", {.count = 5, .unflagged = {1, 2, 3, 4, 5}});
  BuildNumbered(dir_->Path(), "NOTREE", {.count = 5, .noEntries = true});
  BuildNumbered(dir_->Path(), "FRAGILE", {.count = 40});

  writer::IspecContent wide;
  wide.name = "WIDE";
  wide.definition.fields = {{"NO", 1, "N", 6, 0}, {"TEXT", 2, "A", 250, 0}};
  for (int i = 1; i <= 40; ++i) wide.records.push_back({{std::to_string(100000 + i), "text"}});
  wide.profiles = {{.name = "BYNO", .keyFields = {{"NO"}}}};
  writer::BuildIspec(dir_->Path(), wide);

  writer::IspecContent high;
  high.name = "HIGH";
  high.definition.fields = {{"B", 1, "A", 128, 0}};
  std::string bytes;
  for (int b = 0x80; b <= 0xFF; ++b) bytes.push_back(static_cast<char>(b));
  high.records = {{{bytes}}};
  high.profiles = {{.name = "ALL", .keyFields = {{"B"}}}};
  writer::BuildIspec(dir_->Path(), high);
}

void RecordWindowTest::windowsAtEntriesOfALargeFile() {
  Screen s;
  s.OpenFile("LARGE", "BYNO");
  QCOMPARE(BelowHeading(s.Text()), NumberedLines(1, 21));
  QCOMPARE(s.FileTxt()->toPlainText(), Shown(s.Text()));
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 1 thru 21 of 70500"));
  QCOMPARE(s.Label("Label1")->text(), QStringLiteral(" 1"));
  QVERIFY(s.Label("Label1")->isVisible());
  QCOMPARE(s.Label("Label2")->text(), QStringLiteral("3 Section(s)"));
  QVERIFY(s.Part(12)->isVisible());
  QVERIFY(s.Command(2)->isVisible() && s.Command(3)->isVisible());
  QCOMPARE(s.FilePos()->maximum(), 32000);
  QCOMPARE(s.FilePos()->value(), 1);

  // An assignment of the scroll value by the program moves the window.
  s.FilePos()->setValue(100);
  QCOMPARE(BelowHeading(s.Text()), NumberedLines(100, 120));
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 100 thru 120 of 70500"));
  QCOMPARE(s.Label("Label1")->text(), QStringLiteral(" 1"));

  // Section 2 from the keypad.
  Click(s.Part(2));
  QCOMPARE(s.Label("Label1")->text(), QStringLiteral("2"));
  QCOMPARE(BelowHeading(s.Text()), NumberedLines(100, 120));  // nothing moves before "Enter"
  Click(s.Part(12));
  QCOMPARE(BelowHeading(s.Text()), NumberedLines(32001, 32021));
  QCOMPARE(s.FilePos()->value(), 1);
  QCOMPARE(s.state.Section, Long{2});
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 32001 thru 32021 of 70500"));

  // A typed section beyond the file used by the scroll bar before "Enter".
  Click(s.Part(9));
  const QString caption = s.Label("FilePosTxt")->text();
  QTest::mouseClick(s.FilePos(), Qt::LeftButton, {}, ScrollBarPart(s.FilePos(), QStyle::SC_ScrollBarAddLine).center());
  QVERIFY(s.Text().ends_with(">> No Entries <<"));
  QCOMPARE(s.FilePos()->value(), 1);
  QCOMPARE(s.Label("FilePosTxt")->text(), caption);
}

void RecordWindowTest::keypadSequences() {
  Screen s;
  s.OpenFile("LARGE", "BYNO");
  // "1", "2": the typed number shows, the window stays.
  Click(s.Part(1));
  Click(s.Part(2));
  QCOMPARE(s.Label("Label1")->text(), QStringLiteral("12"));
  QCOMPARE(s.state.SectionEntry, std::string("12"));
  QCOMPARE(BelowHeading(s.Text()), NumberedLines(1, 21));
  // "Enter" clamps to the last section, whose maximum is what it holds.
  Click(s.Part(12));
  QCOMPARE(s.state.Section, Long{3});
  QCOMPARE(s.FilePos()->maximum(), int(kLarge - 64000));
  QCOMPARE(BelowHeading(s.Text()), NumberedLines(64001, 64021));
  QCOMPARE(s.Label("Label1")->text(), QStringLiteral("3"));

  // "9", "9", "Enter" in a file of three sections.
  Click(s.Part(1));
  Click(s.Part(12));
  QCOMPARE(s.state.Section, Long{1});
  QCOMPARE(s.FilePos()->maximum(), 32000);
  Click(s.Part(9));
  Click(s.Part(9));
  QCOMPARE(s.Label("Label1")->text(), QStringLiteral("99"));
  Click(s.Part(12));
  QCOMPARE(s.state.Section, Long{3});
  QCOMPARE(s.FilePos()->maximum(), int(kLarge - 64000));
  QCOMPARE(s.Label("Label1")->text(), QStringLiteral("3"));
  QCOMPARE(BelowHeading(s.Text()).substr(0, 18), NumberedLine(64001) + "\r\n");

  // "-1" steps the number only.
  Click(s.Part(10));
  QCOMPARE(s.Label("Label1")->text(), QStringLiteral("2"));
  QCOMPARE(BelowHeading(s.Text()).substr(0, 18), NumberedLine(64001) + "\r\n");
}

void RecordWindowTest::fileOfExactly32000Entries() {
  Screen s;
  s.OpenFile("EXACT", "BYNO");
  QCOMPARE(s.Label("Label2")->text(), QStringLiteral("2 Section(s)"));
  QCOMPARE(s.FilePos()->maximum(), 32000);
  Click(s.Part(11));
  Click(s.Part(12));
  // The empty last section: the bar keeps its one position, and the window
  // says there is nothing there.
  QCOMPARE(s.contents->View().FilePosMax(), Long{0});
  QCOMPARE(s.FilePos()->maximum(), 1);
  QCOMPARE(s.FilePos()->value(), 1);
  QVERIFY(s.Text().ends_with(">> No Entries <<"));
  // Dragging the thumb there neither fails nor moves Ptr off the bar's top.
  const QPoint thumb = ScrollBarPart(s.FilePos(), QStyle::SC_ScrollBarSlider).center();
  QTest::mousePress(s.FilePos(), Qt::LeftButton, {}, thumb);
  QTest::mouseMove(s.FilePos(), thumb + QPoint(0, 40));
  QTest::mouseRelease(s.FilePos(), Qt::LeftButton, {}, thumb + QPoint(0, 40));
  QCOMPARE(s.FilePos()->value(), 1);
}

void RecordWindowTest::purgedAndUnflaggedEntries() {
  Screen s;
  s.OpenFile("MIXED", "BYNO");
  std::string expected = NumberedLine(1) + "\r\n>> Record Purged <<\r\n" + NumberedLines(5, 23);
  QCOMPARE(BelowHeading(s.Text()), expected);
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 1 thru 23 of 30"));
  QVERIFY(s.Label("Label1")->isHidden());
  QVERIFY(s.Part(12)->isHidden());
  QCOMPARE(s.Label("Label2")->text(), QStringLiteral("1 Section(s)"));
}

void RecordWindowTest::emptyProfile() {
  Screen s;
  s.OpenFile("NONE", "BYNO");
  QCOMPARE(BelowHeading(s.Text()), std::string(">> Profile is empty <<\r\n"));
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 0 thru 5 of 5"));
  QCOMPARE(s.FilePos()->value(), 1);
  QVERIFY(s.Command(2)->isVisible());

  // A profile that selects no record at all has a tree without entries.
  s.OpenFile("NOTREE", "BYNO");
  QCOMPARE(BelowHeading(s.Text()), std::string(">> No Entries <<"));
  QCOMPARE(s.FilePos()->value(), 1);
}

void RecordWindowTest::arrowAndTroughClicks() {
  Screen s;
  s.OpenFile("LARGE", "BYNO");
  QSignalSpy fills(s.FileTxt(), &QPlainTextEdit::textChanged);
  QTest::mouseClick(s.FilePos(), Qt::LeftButton, {}, ScrollBarPart(s.FilePos(), QStyle::SC_ScrollBarAddLine).center());
  QCOMPARE(s.FilePos()->value(), 2);
  QCOMPARE(BelowHeading(s.Text()), NumberedLines(2, 22));
  QTest::mouseClick(s.FilePos(), Qt::LeftButton, {}, ScrollBarPart(s.FilePos(), QStyle::SC_ScrollBarAddPage).center());
  QCOMPARE(s.FilePos()->value(), 23);
  QCOMPARE(BelowHeading(s.Text()), NumberedLines(23, 43));
  QTest::mouseClick(s.FilePos(), Qt::LeftButton, {}, ScrollBarPart(s.FilePos(), QStyle::SC_ScrollBarSubLine).center());
  QCOMPARE(BelowHeading(s.Text()), NumberedLines(22, 42));
  QCOMPARE(fills.count(), 3);
}

void RecordWindowTest::dragShowsPtrWithoutRefilling() {
  Screen s;
  s.OpenFile("LARGE", "BYNO");
  Click(s.Part(3));
  Click(s.Part(12));
  QCOMPARE(s.state.Section, Long{3});
  QSignalSpy fills(s.FileTxt(), &QPlainTextEdit::textChanged);
  const std::string before = s.Text();

  const QPoint thumb = ScrollBarPart(s.FilePos(), QStyle::SC_ScrollBarSlider).center();
  QTest::mousePress(s.FilePos(), Qt::LeftButton, {}, thumb);
  QTest::mouseMove(s.FilePos(), thumb + QPoint(0, 120));
  const int position = s.FilePos()->sliderPosition();
  QVERIFY(position > 1);
  QLabel* ptr = s.Label("Ptr");
  QVERIFY(ptr->isVisible());
  QCOMPARE(ptr->text(), QString::number(64000 + position));
  // Ptr runs beside the thumb: top of the bar + 150 twips + its share of the
  // rest, 10 pixels and a share of the bar's 287 at 15 twips a pixel.
  const int maximum = int(kLarge - 64000);
  const int expectedTop = (1080 + 150 + int(std::llround(4305.0 * position) / maximum) + 7) / 15;
  QVERIFY2(std::abs(ptr->y() - expectedTop) <= 1, qPrintable(QString::number(ptr->y())));
  QCOMPARE(s.Text(), before);
  QCOMPARE(fills.count(), 0);

  QTest::mouseRelease(s.FilePos(), Qt::LeftButton, {}, thumb + QPoint(0, 120));
  QCOMPARE(fills.count(), 1);
  QCOMPARE(s.FilePos()->value(), position);
  QCOMPARE(BelowHeading(s.Text()).substr(0, 18), NumberedLine(64000 + position) + "\r\n");
  QVERIFY(ptr->isHidden());

  // A drag let go where it started changes no value, so nothing refills the
  // window; Ptr goes all the same.
  const QPoint again = ScrollBarPart(s.FilePos(), QStyle::SC_ScrollBarSlider).center();
  QTest::mousePress(s.FilePos(), Qt::LeftButton, {}, again);
  QTest::mouseMove(s.FilePos(), again + QPoint(0, 60));
  QVERIFY(ptr->isVisible());
  QTest::mouseMove(s.FilePos(), again);
  QTest::mouseRelease(s.FilePos(), Qt::LeftButton, {}, again);
  QCOMPARE(s.FilePos()->value(), position);
  QCOMPARE(fills.count(), 1);
  QVERIFY(ptr->isHidden());
}

void RecordWindowTest::wheelOverTheTextMovesTheFile() {
  Screen s;
  s.OpenFile("WIDE", "BYNO");
  QWidget* text = s.FileTxt()->viewport();
  const auto wheel = [text](QPoint delta) {
    const QPointF at(text->width() / 2.0, text->height() / 2.0);
    QWheelEvent event(at, text->mapToGlobal(at), QPoint(), delta, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QApplication::sendEvent(text, &event);
  };
  // One notch down moves the file as the same notch on the scroll bar does.
  const int lines = QApplication::wheelScrollLines();
  wheel(QPoint(0, -120));
  QCOMPARE(s.FilePos()->value(), 1 + lines);
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record %1 thru %2 of 40").arg(1 + lines).arg(21 + lines));
  wheel(QPoint(0, 120));
  QCOMPARE(s.FilePos()->value(), 1);
  // A sideways wheel still moves the long lines sideways, not the file.
  QCOMPARE(s.FileTxt()->horizontalScrollBar()->value(), 0);
  wheel(QPoint(-120, 0));
  QVERIFY(s.FileTxt()->horizontalScrollBar()->value() > 0);
  QCOMPARE(s.FilePos()->value(), 1);
}

void RecordWindowTest::changeEventDuringAFillDoesNothing() {
  Screen s;
  s.OpenFile("FRAGILE", "BYNO");
  // Without its data file the next fill fails, and its one message box runs
  // an event loop in the middle of the fill.
  writer::RemoveFile({dir_->Path(), "FRAGILE"}, writer::FileKind::Data);
  QSignalSpy fills(s.FileTxt(), &QPlainTextEdit::textChanged);
  MessageAnswerer answerer;
  bool changed = false;
  answerer.before = [&](const MessageAnswerer::Seen&) {
    if (changed) return;
    changed = true;
    s.FilePos()->setValue(9);  // raises the change event while the fill runs
  };
  s.FilePos()->setValue(5);
  QVERIFY(changed);
  QCOMPARE(fills.count(), 1);
  // Told once, however many lines fail; and, the data file being gone since
  // the profile was opened, that the files changed on disk.
  QCOMPARE(int(answerer.seen.size()), 2);
  QCOMPARE(answerer.seen[0].title, QString::fromLatin1(msg::kFineTitle));
  QCOMPARE(answerer.seen[1].title, QString::fromLatin1(kFilesChangedTitle));
  QCOMPARE(s.FilePos()->value(), 5);
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 5 thru 25 of 40"));
  QVERIFY(s.state.WindowIdle);
}

void RecordWindowTest::caretStaysWhereItWas() {
  Screen s;
  s.OpenFile("LARGE", "BYNO");
  // The caret in the fourth line, seventh column: 3 line ends of two
  // characters each lie before it in the text.
  QTextCursor cursor = s.FileTxt()->textCursor();
  cursor.setPosition(s.FileTxt()->document()->findBlockByNumber(3).position() + 7);
  s.FileTxt()->setTextCursor(cursor);
  const Long selStart = s.contents->View().FileTxtSelStart();
  const std::string text = s.Text();
  QCOMPARE(selStart, Long(text.find("\r\n", text.find("\r\n", text.find("\r\n") + 2) + 2) + 2 + 7));
  s.FilePos()->setValue(50);
  QCOMPARE(s.contents->View().FileTxtSelStart(), selStart);
  QCOMPARE(s.FileTxt()->textCursor().blockNumber(), 3);
  QCOMPARE(s.FileTxt()->textCursor().positionInBlock(), 7);

  // A caret far to the right keeps its column in view, so that what stands
  // above it stays on screen while the file moves.
  s.OpenFile("WIDE", "BYNO");
  cursor = s.FileTxt()->textCursor();
  cursor.setPosition(200);
  s.FileTxt()->setTextCursor(cursor);
  s.FileTxt()->horizontalScrollBar()->setValue(0);
  s.FilePos()->setValue(5);
  QCOMPARE(s.FileTxt()->textCursor().position(), 200);
  QVERIFY(s.FileTxt()->horizontalScrollBar()->value() > 0);
  QVERIFY(s.FileTxt()->viewport()->rect().contains(s.FileTxt()->cursorRect()));
}

void RecordWindowTest::bytesAboveAsciiShowOneCharacterEach() {
  Screen s;
  s.OpenFile("HIGH", "ALL");
  const QStringList lines = s.FileTxt()->document()->toRawText().split(QChar::ParagraphSeparator);
  QVERIFY(lines.size() >= 3);
  const QString line = lines[2];
  QCOMPARE(line.size(), 129);
  QCOMPARE(lines[0].size(), line.size());  // the heading spans the same columns
  QCOMPARE(line[0], QChar(0x20AC));
  QCOMPARE(line[0x99 - 0x80], QChar(0x2122));
  QCOMPARE(line[0x9F - 0x80], QChar(0x0178));
  QCOMPARE(line[0xA0 - 0x80], QChar(0x00A0));
  QCOMPARE(line[0xFF - 0x80], QChar(0x00FF));
  // The undefined bytes draw nothing of their own: the box shows a square.
  QCOMPARE(line[0x81 - 0x80], QChar(0x25A1));
  // The text keeps the bytes themselves, and the clipboard gets them all.
  std::string bytes;
  for (int b = 0x80; b <= 0xFF; ++b) bytes.push_back(static_cast<char>(b));
  QVERIFY(s.Text().find(bytes + " \r\n") != std::string::npos);
  Click(s.Command(3));
  const QString copied = QGuiApplication::clipboard()->text();
  QVERIFY(copied.contains(FromCp1252(bytes)));
  QCOMPARE(ToCp1252(copied), s.state.IspecName + " via ALL: Record 1 thru 1 of 1\r\n" + s.Text());
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InstallFontFallbacks();
  RecordWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "RecordWindowTest.moc"
