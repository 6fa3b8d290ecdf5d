// Ctrl+K on the real contents screen: the files of the open ISPEC are
// checked with a progress dialog, and the report shows in a dialog whose
// text can be copied.  A sound ISPEC is passed; a record whose key field was
// changed under its index is named; Cancel ends the check before its end.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "screens/CheckDialogs.h"
#include "tests/screens/ScreenTestSupport.h"

using namespace ondrel;
using namespace ondrel::screentest;

class CheckCommandTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void soundAndDamagedIspecs();
  void cancelEndsTheCheck();

 private:
  struct Shown {
    QString title, verdict, lines;
  };
  // Ctrl+K on the screen; the report dialog's texts, and the clipboard
  // after its Copy.
  Shown CheckWithCtrlK(Screen& s, QString* copied = nullptr) {
    Shown shown;
    WhenModal(QStringLiteral("CheckReport"), [&](QWidget* window) {
      auto* dialog = qobject_cast<CheckReportDialog*>(window);
      if (dialog) {
        shown = {dialog->windowTitle(), dialog->Verdict(), dialog->Lines()};
        auto* lines = dialog->findChild<QPlainTextEdit*>(QStringLiteral("Lines"));
        if (lines && !lines->isReadOnly()) shown.lines = QStringLiteral("(editable)");
        if (copied) {
          dialog->findChild<QPushButton*>(QStringLiteral("Copy"))->click();
          *copied = QGuiApplication::clipboard()->text();
        }
      }
      qobject_cast<QDialog*>(window)->reject();
    });
    QApplication::setActiveWindow(s.contents.get());
    QTest::keyClick(s.contents.get(), Qt::Key_K, Qt::ControlModifier);
    return shown;
  }
  std::unique_ptr<WorkDir> dir_;
};

void CheckCommandTest::initTestCase() {
  dir_ = std::make_unique<WorkDir>();
  BuildNumbered(dir_->Path(), "KEYS", {.count = 40000});
  BuildNumbered(dir_->Path(), "DAMAGED", {.count = 300});
  // Long enough to check that Cancel comes while it is under way.
  BuildNumbered(dir_->Path(), "LARGE", {.count = 300000});
  // Record 123's key field (NO, the first six bytes of its 17-byte slot)
  // changed under the index.
  QFile data(dir_->QPath() + QStringLiteral("/_DAMAGED.DAT"));
  QVERIFY(data.open(QIODevice::ReadWrite));
  QVERIFY(data.seek(122 * 17));
  QCOMPARE(data.read(6), QByteArray("000123"));
  QVERIFY(data.seek(122 * 17));
  QCOMPARE(data.write("999999"), qint64{6});
}

void CheckCommandTest::soundAndDamagedIspecs() {
  Screen s;
  s.OpenFile("KEYS", "BYNO");
  const Shown sound = CheckWithCtrlK(s);
  QCOMPARE(sound.title, QStringLiteral("Check of KEYS"));
  QCOMPARE(sound.verdict, QStringLiteral("No problem was found."));
  const QStringList soundLines = sound.lines.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  QVERIFY2(soundLines.size() == 3, qPrintable(sound.lines));
  QCOMPARE(soundLines[0], QStringLiteral("Profile: KEYS BYNO"));
  QVERIFY2(soundLines[1].startsWith(QStringLiteral("Summary: entries 40000, ")), qPrintable(soundLines[1]));
  QVERIFY2(soundLines[1].contains(QStringLiteral(", active records 40000, unreached records 0,")),
           qPrintable(soundLines[1]));
  QCOMPARE(soundLines[2],
           QStringLiteral("Total: ISPECs 1, profiles 1, not opened 0, warnings 0, not judged 0, problems 0"));

  s.OpenFile("DAMAGED", "BYNO");
  QString copied;
  const Shown damaged = CheckWithCtrlK(s, &copied);
  QCOMPARE(damaged.verdict, QStringLiteral("1 problem was found."));
  const QStringList problems = damaged.lines.split(QLatin1Char('\n')).filter(QRegularExpression("^Problem: "));
  QCOMPARE(problems.size(), 1);
  QVERIFY2(problems[0].startsWith(QStringLiteral("Problem: Entry 123 (node ")), qPrintable(problems[0]));
  QVERIFY2(problems[0].endsWith(QStringLiteral(", record 123): its key differs from the record's fields: "
                                               "NO \"000123\" in the key, \"999999\" in the record.")),
           qPrintable(problems[0]));
  QVERIFY(damaged.lines.endsWith(QStringLiteral("problems 1\n")));
  // Copy takes the verdict and every line.
  QCOMPARE(copied, damaged.verdict + QLatin1Char('\n') + damaged.lines);
}

void CheckCommandTest::cancelEndsTheCheck() {
  Screen s;
  s.OpenFile("LARGE", "BYNO");
  bool shown = false;
  WhenModal(QStringLiteral("CheckProgress"), [&](QWidget* window) {
    auto* progress = qobject_cast<QProgressDialog*>(window);
    shown = progress && progress->labelText().startsWith(QStringLiteral("Checking LARGE"));
    if (progress) progress->cancel();
  });
  const Shown cancelled = CheckWithCtrlK(s);
  QVERIFY(shown);
  QVERIFY2(cancelled.verdict.startsWith(QStringLiteral("The check was cancelled; up to then, ")),
           qPrintable(cancelled.verdict));
  // The check ended there: no summary of the profile, no total.
  QVERIFY2(!cancelled.lines.contains(QStringLiteral("Summary: ")), qPrintable(cancelled.lines));
  QVERIFY2(!cancelled.lines.contains(QStringLiteral("Total: ")), qPrintable(cancelled.lines));
}

QTEST_MAIN(CheckCommandTest)
#include "CheckCommandTest.moc"
