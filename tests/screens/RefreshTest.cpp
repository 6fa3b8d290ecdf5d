// F5 and the change notice on the real contents screen: the title tells when
// a file of the set on view changed on disk (written in place, or replaced by
// a new file renamed over it), F5 shows the change and the title returns, a
// set that can no longer be read leaves the screen as it was, and the
// chooser's Cancel afterwards keeps the set as F5 read it.
#include <filesystem>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QTest>

#include "screens/Fonts.h"
#include "tests/screens/ScreenTestSupport.h"
#include "tools/writer/Damage.h"
#include "viewer/Refresh.h"

using namespace ondrel;
using namespace ondrel::screentest;

namespace {

const QString kTitle = QStringLiteral("Ondrel Runtime File Contents for GROWING via BYNO");
const QString kNoticed = kTitle + QStringLiteral(" (changed on disk: F5 refreshes)");

// The owner writes the set anew beside it and renames each file over the old.
void Replace(const std::string& dir, long count) {
  const std::filesystem::path staging = std::filesystem::path(dir) / "staging";
  std::filesystem::create_directory(staging);
  BuildNumbered(staging.string(), "GROWING", {.count = count});
  for (const char* name : {"_GROWING.DFN", "_GROWING_P.DFN", "_GROWING.DAT", "_GROWING.IDX"})
    std::filesystem::rename(staging / name, std::filesystem::path(dir) / name);
  std::filesystem::remove(staging);
}

// Lets every change event of the writes made so far arrive; a write made
// afterwards is then told apart from them.
void Settle() { QTest::qWait(200); }

// F5 with the contents screen in front, as the user has it after the
// chooser; the offscreen platform gives the front back to no window.
void PressF5(Screen& s) {
  QApplication::setActiveWindow(s.contents.get());
  QTest::keyClick(s.contents.get(), Qt::Key_F5);
}

}  // namespace

class RefreshTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void noticeOfChangesAndF5();
  void setThatCannotBeReadStaysOnScreen();

 private:
  std::unique_ptr<WorkDir> dir_;
};

void RefreshTest::initTestCase() {
  dir_ = std::make_unique<WorkDir>();
  BuildNumbered(dir_->Path(), "OTHER", {.count = 5});
}

void RefreshTest::noticeOfChangesAndF5() {
  BuildNumbered(dir_->Path(), "GROWING", {.count = 30});
  Screen s;
  PressF5(s);  // nothing open: nothing happens
  QCOMPARE(s.contents->windowTitle(), QStringLiteral("Ondrel Runtime File Contents"));
  s.OpenFile("GROWING", "BYNO");
  s.FilePos()->setValue(10);
  QCOMPARE(s.contents->windowTitle(), kTitle);
  QTest::qWait(200);
  QCOMPARE(s.contents->windowTitle(), kTitle);  // the viewer's own reads change nothing

  // Written in place: the title says so, nothing else moves until F5.
  BuildNumbered(dir_->Path(), "GROWING", {.count = 60});
  QTRY_COMPARE(s.contents->windowTitle(), kNoticed);
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 10 thru 30 of 30"));
  PressF5(s);
  QCOMPARE(s.contents->windowTitle(), kTitle);
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 10 thru 30 of 60"));
  QCOMPARE(BelowHeading(s.Text()), NumberedLines(10, 30));

  // Replaced by renaming, then written in place: the watch follows the new
  // files, so the write to them is noticed too.
  Replace(dir_->Path(), 90);
  QTRY_COMPARE(s.contents->windowTitle(), kNoticed);
  Settle();
  PressF5(s);
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 10 thru 30 of 90"));
  Settle();
  QCOMPARE(s.contents->windowTitle(), kTitle);
  BuildNumbered(dir_->Path(), "GROWING", {.count = 8});
  QTRY_COMPARE(s.contents->windowTitle(), kNoticed);
  PressF5(s);
  QCOMPARE(s.contents->windowTitle(), kTitle);
  // Fewer entries than where the window stood: the last one.
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 8 thru 8 of 8"));
  QCOMPARE(s.FilePos()->value(), 8);
  QCOMPARE(s.FilePos()->maximum(), 8);

  // Cancel in the chooser keeps the set as F5 read it, whatever was chosen.
  s.ChooseAndCancel([&](FileOpen& f) {
    QCOMPARE(f.findChild<QLabel*>("Label6")->text(), QStringLiteral("8 Records"));
    auto* ispecs = f.findChild<QListWidget*>("LstIspec");
    ClickEntry(ispecs, RowOf(ispecs, "OTHER"));
  });
  QCOMPARE(s.state.RecordCount, Long{8});
  s.FilePos()->setValue(3);
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 3 thru 8 of 8"));
  QCOMPARE(BelowHeading(s.Text()), NumberedLines(3, 8));
}

void RefreshTest::setThatCannotBeReadStaysOnScreen() {
  BuildNumbered(dir_->Path(), "GROWING", {.count = 40});
  Screen s;
  MessageAnswerer answers;
  s.OpenFile("GROWING", "BYNO");
  const std::string window = s.Text();
  writer::RemoveFile({dir_->Path(), "GROWING"}, writer::FileKind::Index);
  QTRY_COMPARE(s.contents->windowTitle(), kNoticed);
  PressF5(s);
  QCOMPARE(int(answers.seen.size()), 1);
  QCOMPARE(answers.seen[0].text, QString::fromStdString("The file " + s.state.IndexPath + " cannot be read.") +
                                     QLatin1String(kRefreshStaysAsItWas));
  QCOMPARE(s.Text(), window);
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 1 thru 21 of 40"));
  QCOMPARE(s.contents->windowTitle(), kNoticed);
  QVERIFY(s.contents->isVisible());

  // The index comes back: F5 reads it, and it is watched again, so a write
  // to it alone (the header's record count, 46) is noticed.
  BuildNumbered(dir_->Path(), "GROWING", {.count = 45});
  Settle();
  PressF5(s);
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 1 thru 21 of 45"));
  QCOMPARE(int(answers.seen.size()), 1);
  Settle();
  QCOMPARE(s.contents->windowTitle(), kTitle);
  writer::PatchBytes({dir_->Path(), "GROWING"}, writer::FileKind::Index, 33, std::string("\0\0\0\x2E", 4));
  QTRY_COMPARE(s.contents->windowTitle(), kNoticed);
  PressF5(s);
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 1 thru 21 of 46"));
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InstallFontFallbacks();
  RefreshTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "RefreshTest.moc"
