// Reaching a record on the real contents screen: Ctrl+G opens one box per
// ordinate, as wide as its field, and Return in it moves the window to the
// key; Ctrl+F finds a text and selects it, F3 and Shift+F3 go on; the
// progress of a long search shows after half a second and can be cancelled.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QScrollBar>
#include <QShortcut>
#include <QTest>
#include <QThread>

#include "screens/SearchDialogs.h"
#include "tests/screens/ScreenTestSupport.h"

using namespace ondrel;
using namespace ondrel::screentest;

class SearchDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void goToKeyDialog();
  void findDialogAndNextMatches();
  void progressShowsAfterHalfASecondAndCancels();
  void questionsOpenOverTheScreenWithNoProgressAbove();
  void f1ListsEveryKeyTheScreenTakes();

 private:
  void Press(Screen& s, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QApplication::setActiveWindow(s.contents.get());
    QTest::keyClick(s.contents.get(), static_cast<Qt::Key>(key), modifiers);
  }
  std::unique_ptr<WorkDir> dir_;
};

void SearchDialogsTest::initTestCase() {
  dir_ = std::make_unique<WorkDir>();
  BuildNumbered(dir_->Path(), "KEYS", {.count = 40000, .ordinates = 2});
}

void SearchDialogsTest::goToKeyDialog() {
  Screen s;
  s.OpenFile("KEYS", "BYNO");
  int boxes = 0;
  WhenModal(QStringLiteral("GoToKey"), [&](QWidget* window) {
    auto* dialog = qobject_cast<GoToKeyDialog*>(window);
    [&] {
      QVERIFY(dialog);
      boxes = dialog->BoxCount();
      // One box per ordinate, labelled with its name, as wide as its field;
      // the first has the keyboard.
      QLineEdit* no = dialog->BoxAt(0);
      QCOMPARE(no->maxLength(), 6);
      QVERIFY(no->width() >= no->fontMetrics().horizontalAdvance(QStringLiteral("000000")));
      QVERIFY(no->width() < no->fontMetrics().horizontalAdvance(QString(12, QChar('0'))));
      QCOMPARE(dialog->findChildren<QLabel*>().size(), 3);  // the prompt and two names
      QCOMPARE(dialog->focusWidget(), no);
      QTest::keyClicks(no, QStringLiteral("32001"));
      QTest::keyClick(no, Qt::Key_Return);
    }();
    if (dialog && dialog->isVisible()) dialog->reject();  // a failed check must not leave it waiting
  });
  Press(s, Qt::Key_G, Qt::ControlModifier);
  QCOMPARE(boxes, 2);
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 32001 thru 32021 of 40000"));
  QCOMPARE(s.Label("Label1")->text(), QStringLiteral("2"));
  QCOMPARE(s.FilePos()->value(), 1);
  QCOMPARE(BelowHeading(s.Text()).substr(0, 16), NumberedLine(32001));

  // Cancel moves nothing.
  WhenModal(QStringLiteral("GoToKey"), [](QWidget* window) { qobject_cast<QDialog*>(window)->reject(); });
  Press(s, Qt::Key_G, Qt::ControlModifier);
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 32001 thru 32021 of 40000"));
}

void SearchDialogsTest::findDialogAndNextMatches() {
  Screen s;
  s.OpenFile("KEYS", "BYNO");
  WhenModal(QStringLiteral("Find"), [](QWidget* window) {
    auto* text = window->findChild<QLineEdit*>(QStringLiteral("Text"));
    [&] {
      QVERIFY(text && window->focusWidget() == text);
      QTest::keyClicks(text, QStringLiteral("n003000"));  // "Match case" is off
      QTest::keyClick(text, Qt::Key_Return);
    }();
    if (window->isVisible()) qobject_cast<QDialog*>(window)->reject();
  });
  Press(s, Qt::Key_F, Qt::ControlModifier);
  QCOMPARE(BelowHeading(s.Text()).substr(0, 16), NumberedLine(30000));
  QCOMPARE(s.FileTxt()->textCursor().selectedText(), QStringLiteral("N003000"));

  Press(s, Qt::Key_F3);
  QCOMPARE(BelowHeading(s.Text()).substr(0, 16), NumberedLine(30001));
  Press(s, Qt::Key_F3, Qt::ShiftModifier);
  QCOMPARE(BelowHeading(s.Text()).substr(0, 16), NumberedLine(30000));
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 30000 thru 30020 of 40000"));
}

void SearchDialogsTest::progressShowsAfterHalfASecondAndCancels() {
  QWidget parent;
  SearchProgressDialog progress(&parent);
  QVERIFY(progress.Continue(1, 100));
  QVERIFY(!progress.Shown());  // not at once
  for (int i = 2; i < 40 && !progress.Shown(); ++i) {
    QThread::msleep(50);
    QVERIFY(progress.Continue(i, 100));
  }
  QVERIFY(progress.Shown());
  QCOMPARE(progress.Dialog().windowModality(), Qt::ApplicationModal);
  progress.Dialog().cancel();
  QVERIFY(!progress.Continue(50, 100));
}

void SearchDialogsTest::questionsOpenOverTheScreenWithNoProgressAbove() {
  Screen s;
  s.OpenFile("KEYS", "BYNO");
  auto typeFind = [](const QString& text) {
    WhenModal(QStringLiteral("Find"), [text](QWidget* window) {
      auto* box = window->findChild<QLineEdit*>(QStringLiteral("Text"));
      box->selectAll();
      QTest::keyClicks(box, text);
      QTest::keyClick(box, Qt::Key_Return);
    });
  };
  // Each box as it waits must be over the screen, with no progress shown,
  // even after longer than the progress's half second.
  MessageAnswerer answerer;
  answerer.before = [&](const MessageAnswerer::Seen& seen) {
    QCOMPARE(QApplication::activeModalWidget()->parentWidget(), s.contents.get());
    QTest::qWait(800);
    for (QWidget* window : QApplication::topLevelWidgets())
      QVERIFY2(!qobject_cast<QProgressDialog*>(window) || !window->isVisible(), qPrintable(seen.text));
  };
  const auto& waited = answerer.seen;

  // A new search starts at the top line, and finds its text there at once;
  // F3 goes on after it, and finds it again only round the end.
  typeFind(QStringLiteral("n0000001"));
  Press(s, Qt::Key_F, Qt::ControlModifier);
  QCOMPARE(waited.size(), std::size_t{0});
  QCOMPARE(s.FileTxt()->textCursor().selectedText(), QStringLiteral("N0000001"));
  Press(s, Qt::Key_F3);
  QCOMPARE(waited.size(), std::size_t{1});
  QVERIFY(waited[0].text.contains(QStringLiteral("Go on from the beginning?")));
  QCOMPARE(BelowHeading(s.Text()).substr(0, 16), NumberedLine(1));

  // A text that is nowhere: the question, then the word that it was not
  // found, both over the screen; the keyboard then goes back to the text,
  // wherever it was before.
  s.Command(0)->setFocus();
  typeFind(QStringLiteral("nowhere"));
  Press(s, Qt::Key_F, Qt::ControlModifier);
  QCOMPARE(waited.size(), std::size_t{3});
  QCOMPARE(waited[2].text, QStringLiteral("The text was not found."));
  QTRY_COMPARE(QApplication::focusWidget(), s.FileTxt());
  QCOMPARE(BelowHeading(s.Text()).substr(0, 16), NumberedLine(1));
}

void SearchDialogsTest::f1ListsEveryKeyTheScreenTakes() {
  Screen s;  // no file open yet: the keys are told all the same
  MessageAnswerer answers;
  Press(s, Qt::Key_F1);
  QCOMPARE(answers.seen.size(), std::size_t{1});
  QCOMPARE(answers.seen[0].title, QStringLiteral("Keys"));
  // Each line is a key and what it does; the keys listed are exactly the
  // keys the screen has a shortcut for.
  QStringList listed, taken;
  for (const QString& line : answers.seen[0].text.split(QLatin1Char('\n'))) {
    const QKeySequence key = QKeySequence::fromString(line.section(QLatin1Char(':'), 0, 0), QKeySequence::PortableText);
    QVERIFY2(!key.isEmpty() && !line.section(QLatin1Char(':'), 1).trimmed().isEmpty(), qPrintable(line));
    listed << key.toString(QKeySequence::PortableText);
  }
  for (const QShortcut* shortcut : s.contents->findChildren<QShortcut*>())
    taken << shortcut->key().toString(QKeySequence::PortableText);
  listed.sort();
  taken.sort();
  QCOMPARE(listed, QStringList({"Ctrl+F", "Ctrl+G", "Ctrl+K", "F1", "F3", "F5", "Shift+F3"}));
  QCOMPARE(taken, listed);

  // The Tips switch's own tip names them too.
  Click(s.Find<QAbstractButton>("Tips"));
  const QString tip = s.Label("Tip")->text();
  const QString keysLine = tip.section(QLatin1Char('\n'), -1);
  QVERIFY2(keysLine.startsWith(QStringLiteral("Keys: ")), qPrintable(tip));
  for (const QString& key : listed) QVERIFY2(keysLine.contains(key), qPrintable(key));
}

QTEST_MAIN(SearchDialogsTest)
#include "SearchDialogsTest.moc"
