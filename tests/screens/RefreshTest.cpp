// F5 and the change notice on the real contents screen: the title tells when
// a file of the set on view changed on disk (written in place, replaced by a
// file renamed over it, deleted and written again), F5 shows the change and
// the title returns, a set that cannot be read keeps its notice, and the
// chooser's Cancel afterwards keeps the set as F5 read it.
#include <filesystem>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QTest>

#include "screens/Fonts.h"
#include "tests/screens/ScreenTestSupport.h"
#include "tools/writer/Damage.h"

using namespace ondrel;
using namespace ondrel::screentest;

class RefreshTest : public QObject {
  Q_OBJECT

 private slots:
  void noticeOfChangesAndF5();
};

void RefreshTest::noticeOfChangesAndF5() {
  WorkDir dir;
  const std::string path = dir.Path();
  const QString title = QStringLiteral("Ondrel Runtime File Contents for GROWING via BYNO");
  const QString noticed = title + QStringLiteral(" (changed on disk: F5 refreshes)");
  BuildNumbered(path, "GROWING", {.count = 30});
  BuildNumbered(path, "OTHER", {.count = 5});
  Screen s;
  MessageAnswerer answers;
  // Every change event of the writes so far arrives before the next step.
  const auto settle = [] { QTest::qWait(200); };
  const auto pressF5 = [&] {
    // The contents screen in front, as the user has it after the chooser.
    QApplication::setActiveWindow(s.contents.get());
    QTest::keyClick(s.contents.get(), Qt::Key_F5);
  };
  const auto caption = [&] { return s.Label("FilePosTxt")->text(); };

  pressF5();  // nothing open: nothing happens
  s.OpenFile("GROWING", "BYNO");
  s.FilePos()->setValue(10);
  settle();
  QCOMPARE(s.contents->windowTitle(), title);  // the viewer's own reads change nothing

  // Written in place: the title says so; nothing moves until F5.
  BuildNumbered(path, "GROWING", {.count = 60});
  QTRY_COMPARE(s.contents->windowTitle(), noticed);
  QCOMPARE(caption(), QStringLiteral("Record 10 thru 30 of 30"));
  settle();
  pressF5();
  QCOMPARE(s.contents->windowTitle(), title);
  QCOMPARE(caption(), QStringLiteral("Record 10 thru 30 of 60"));

  // Replaced by files renamed over the old ones; a later write to the new
  // files is noticed too.
  const std::filesystem::path staging = std::filesystem::path(path) / "staging";
  std::filesystem::create_directory(staging);
  BuildNumbered(staging.string(), "GROWING", {.count = 90});
  for (const char* name : {"_GROWING.DFN", "_GROWING_P.DFN", "_GROWING.DAT", "_GROWING.IDX"})
    std::filesystem::rename(staging / name, std::filesystem::path(path) / name);
  QTRY_COMPARE(s.contents->windowTitle(), noticed);
  settle();
  pressF5();
  QCOMPARE(caption(), QStringLiteral("Record 10 thru 30 of 90"));
  settle();
  QCOMPARE(s.contents->windowTitle(), title);
  BuildNumbered(path, "GROWING", {.count = 8});
  QTRY_COMPARE(s.contents->windowTitle(), noticed);
  pressF5();
  QCOMPARE(caption(), QStringLiteral("Record 8 thru 8 of 8"));  // fewer entries: the last one

  // The index deleted: F5 cannot read the set, says so, and the notice stays.
  writer::RemoveFile({path, "GROWING"}, writer::FileKind::Index);
  QTRY_COMPARE(s.contents->windowTitle(), noticed);
  pressF5();
  QCOMPARE(int(answers.seen.size()), 1);
  QVERIFY(answers.seen[0].text.startsWith(QString::fromStdString("The file " + s.state.IndexPath + " cannot be read.")));
  QCOMPARE(s.contents->windowTitle(), noticed);
  QCOMPARE(caption(), QStringLiteral("Record 8 thru 8 of 8"));
  // Written again, it is watched again: a write to it alone (the header's
  // record count, 46) is noticed.
  BuildNumbered(path, "GROWING", {.count = 45});
  settle();
  pressF5();
  settle();
  QCOMPARE(s.contents->windowTitle(), title);
  writer::PatchBytes({path, "GROWING"}, writer::FileKind::Index, 33, std::string("\0\0\0\x2E", 4));
  QTRY_COMPARE(s.contents->windowTitle(), noticed);
  pressF5();
  QCOMPARE(caption(), QStringLiteral("Record 8 thru 28 of 46"));

  // Cancel in the chooser keeps the set as F5 read it, whatever was chosen.
  s.ChooseAndCancel([&](FileOpen& f) {
    QCOMPARE(f.findChild<QLabel*>("Label6")->text(), QStringLiteral("46 Records"));
    auto* ispecs = f.findChild<QListWidget*>("LstIspec");
    ClickEntry(ispecs, RowOf(ispecs, "OTHER"));
  });
  s.FilePos()->setValue(40);
  QCOMPARE(caption(), QStringLiteral("Record 40 thru 45 of 46"));
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InstallFontFallbacks();
  RefreshTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "RefreshTest.moc"
