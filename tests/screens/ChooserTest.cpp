// The file chooser on the real screens: its titles and lists, the messages
// of Ok, directory changes, Cancel before and after a new choice, an
// incomplete file set, the record counts Ok turns into the scroll maximum and
// the section count, and input made while a load runs.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include "database/Catalogue.h"
#include "database/Messages.h"
#include "screens/DirectoryList.h"
#include "screens/Fonts.h"
#include "tests/screens/ScreenTestSupport.h"
#include "tests/support/TempDir.h"
#include "tools/writer/Damage.h"
#include "tools/writer/IspecBuilder.h"
#include "viewer/RecordWindow.h"

using namespace ondrel;
using namespace ondrel::screentest;

namespace {

QStringList Lines(QListWidget* list) {
  QStringList lines;
  for (int row = 0; row < list->count(); ++row) lines << list->item(row)->text();
  return lines;
}

// ORDERS: two profiles, ZED before ALPHA in the file, the first with two
// ordinates, two conditions and two ISPECs.
void BuildOrders(const std::string& dir) {
  writer::IspecContent s;
  s.name = "ORDERS";
  s.definition.fields = {{"NO", 1, "N", 6, 0}, {"NAME", 2, "A", 8, 0}};
  for (int i = 1; i <= 30; ++i) s.records.push_back({{std::to_string(100000 + i), "N" + std::to_string(i)}});
  writer::ProfileDef zed{.name = "ZED", .keyFields = {{"NO"}, {"NAME", true}}};
  zed.conditions = {{"NAME", '3', '&', "GLB.SPACES"}, {"NO", '1', ' ', "000010"}};
  zed.ispecs = {"ORDERS", " LINES "};
  s.profiles = {zed, {.name = "ALPHA", .keyFields = {{"NAME"}}}};
  writer::BuildIspec(dir, s);
}

}  // namespace

class ChooserTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void titlesAndListsAsTheUserChooses();
  void okAsksForWhatIsMissing();
  void returnInTheProfileListOpensButInTheDirectoriesGoesThere();
  void directoryChangeFindsTheIspecAgainOrNot();
  void unreadableDirectoryChangesNothing();
  void directoryNamedInBytesThatAreNotUtf8();
  void drivesAreTheMountedFileSystems();
  void cancelBeforeAnyChoice();
  void cancelAfterANewChoiceRestoresTheLastOpen();
  void incompleteIspecEndsTheProgram();
  void recordCountsSetScrollMaximumAndSections_data();
  void recordCountsSetScrollMaximumAndSections();
  void chooseFileResetsTheSectionControls();
  void anotherFileSetIsFilledOnceAndShownAlone();
  void inputDuringAProfileLoadStartsNoSecondLoad();

 private:
  // Removed by its bytes at the end, so a name in them that is not UTF-8 goes too.
  std::unique_ptr<test::TempDir> root_;
  QString Root() const { return QFile::decodeName(QByteArray::fromStdString(root_->str())); }
  QString Dir(const char* name) const { return QDir(Root()).filePath(QString::fromLatin1(name)); }
  std::string DirBytes(const char* name) const { return Dir(name).toStdString(); }
  QByteArray DirPath(const char* name) const { return QFile::encodeName(Dir(name)); }
  QByteArray RootPath() const { return QFile::encodeName(Root()); }
};

void ChooserTest::initTestCase() {
  root_ = std::make_unique<test::TempDir>();
  for (const char* d : {"A", "B", "C", "D", "E", "N"}) QDir(Root()).mkdir(QString::fromLatin1(d));
  BuildOrders(DirBytes("A"));
  BuildNumbered(DirBytes("A"), "CUSTOMER", {.count = 12});
  BuildOrders(DirBytes("B"));
  BuildNumbered(DirBytes("D"), "BROKEN", {.count = 3});
  writer::RemoveFile({DirBytes("D"), "BROKEN"}, writer::FileKind::Data);
  BuildNumbered(DirBytes("E"), "BIG", {.count = 200});
  BuildNumbered(DirBytes("E"), "CUSTOMER", {.count = 12});
  BuildNumbered(DirBytes("E"), "NODEF", {.count = 5});
  writer::TruncateFile({DirBytes("E"), "NODEF"}, writer::FileKind::Definition, 0);
  BuildNumbered(DirBytes("N"), "C5000", {.count = 50, .headerCount = 5000});
  BuildNumbered(DirBytes("N"), "C32000", {.count = 50, .headerCount = 32000});
  BuildNumbered(DirBytes("N"), "C40000", {.count = 50, .headerCount = 40000});
  BuildNumbered(DirBytes("N"), "C0", {.count = 0, .headerCount = 0});
  BuildNumbered(DirBytes("N"), "S20000", {.count = 20000, .ordinates = 5});
  BuildNumbered(DirBytes("N"), "S100000", {.count = 100000});
}

void ChooserTest::init() { QDir::setCurrent(Dir("A")); }

void ChooserTest::titlesAndListsAsTheUserChooses() {
  Screen s;
  s.ChooseAndCancel([&](FileOpen& f) {
    // The design: 9135 by 4995 twips, controls where they were drawn, the
    // keyboard's order, the key lists in 12 point fixed pitch.
    QCOMPARE(f.size(), QSize(9135 / 15, 4995 / 15));
    QCOMPARE(f.findChild<QWidget*>("Dir1")->geometry(), QRect(6480 / 15, 360 / 15, 2415 / 15, 2505 / 15));
    QCOMPARE(f.findChild<QWidget*>("LstConditions")->geometry(), QRect(240 / 15, 3000 / 15, 4455 / 15, 1920 / 15));
    QCOMPARE(f.findChild<QWidget*>("CmdOpen_1")->geometry(), QRect(7800 / 15, 3480 / 15, 975 / 15, 1335 / 15));
    QStringList chain;
    for (QWidget* w = f.findChild<QWidget*>("Drive1"); chain.size() < 6; w = w->nextInFocusChain())
      if (w->focusPolicy() & Qt::TabFocus) chain << w->objectName();
    QCOMPARE(chain, QStringList({"Drive1", "Dir1", "CmdOpen_0", "CmdOpen_1", "LstIspec", "LstProfile"}));
    const QFontInfo keys(f.findChild<QWidget*>("LstOrdinates")->font());
    QVERIFY(keys.fixedPitch());
    QCOMPARE(keys.pointSize(), 12);

    QCOMPARE(f.windowTitle(), QStringLiteral("Choose Path and Ispec"));
    QCOMPARE(f.findChild<DirectoryList*>("Dir1")->Path(), DirPath("A"));
    auto* ispecs = f.findChild<QListWidget*>("LstIspec");
    QCOMPARE(Lines(ispecs), QStringList({"CUSTOMER", "ORDERS"}));
    QCOMPARE(f.findChild<QLabel*>("Label6")->text(), QString());

    ClickEntry(ispecs, 1);
    QCOMPARE(f.windowTitle(), QStringLiteral("Choose Profile"));
    QCOMPARE(f.findChild<QLabel*>("Label6")->text(), QStringLiteral("30 Records"));
    auto* profiles = f.findChild<QListWidget*>("LstProfile");
    QCOMPARE(Lines(profiles), QStringList({"ZED", "ALPHA"}));  // file order

    ClickEntry(profiles, 0);
    QCOMPARE(f.windowTitle(), QStringLiteral("ZED Keys and Conditions"));
    QCOMPARE(Lines(f.findChild<QListWidget*>("LstIspecs")), QStringList({"LINES", "ORDERS"}));
    QCOMPARE(Lines(f.findChild<QListWidget*>("LstOrdinates")), QStringList({"NO", "NAME, Desc"}));
    QCOMPARE(Lines(f.findChild<QListWidget*>("LstConditions")),
             QStringList({"NAME NOT = GLB.SPACES AND", "NO > (000010)"}));
    QCOMPARE(s.state.ProfileName, std::string("ZED"));

    // The keyboard chooses too.
    profiles->setFocus();
    QTest::keyClick(profiles, Qt::Key_Down);
    QCOMPARE(s.state.ProfileName, std::string("ALPHA"));
    QCOMPARE(Lines(f.findChild<QListWidget*>("LstOrdinates")), QStringList({"NAME"}));
  });
}

void ChooserTest::okAsksForWhatIsMissing() {
  Screen s;
  MessageAnswerer answers;
  s.ChooseAndCancel([&](FileOpen& f) {
    auto* ok = f.findChild<QAbstractButton*>("CmdOpen_0");
    Click(ok);
    QCOMPARE(int(answers.seen.size()), 1);
    QCOMPARE(answers.seen[0].text, QStringLiteral("Please select an ISPEC."));
    QCOMPARE(answers.seen[0].title, QStringLiteral("Ondrel viewer"));
    QCOMPARE(answers.seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(f.isVisible());

    ClickEntry(f.findChild<QListWidget*>("LstIspec"), 0);
    Click(ok);
    QCOMPARE(int(answers.seen.size()), 2);
    QCOMPARE(answers.seen[1].text, QStringLiteral("Please select a Profile."));
    QVERIFY(f.isVisible());
  });
  QVERIFY(s.state.ChooserCancelled);
  QVERIFY(s.Text().empty());
}

void ChooserTest::returnInTheProfileListOpensButInTheDirectoriesGoesThere() {
  Screen s;
  bool stayedOpen = false;
  WhenModal(QStringLiteral("FileOpen"), [&](QWidget* chooser) {
    auto* dir = chooser->findChild<DirectoryList*>("Dir1");
    auto* ispecs = chooser->findChild<QListWidget*>("LstIspec");
    auto* profiles = chooser->findChild<QListWidget*>("LstProfile");
    auto returnOn = [&](QListWidget* list, int row) {
      list->setFocus();
      list->setCurrentRow(row);
      QTest::keyClick(list, Qt::Key_Return);
    };
    auto lineOf = [&](const QByteArray& path) {
      for (int row = 0; row < dir->count(); ++row)
        if (dir->item(row)->data(DirectoryList::kPathRole).toByteArray() == path) return row;
      return -1;
    };
    [&] {
      // Return on a directory goes there, and only there.
      returnOn(dir, lineOf(RootPath()));
      QTRY_COMPARE(dir->Path(), RootPath());
      returnOn(dir, lineOf(DirPath("A")));
      QTRY_COMPARE(dir->Path(), DirPath("A"));
      QVERIFY(chooser->isVisible());
      stayedOpen = true;
      ClickEntry(ispecs, RowOf(ispecs, "CUSTOMER"));
      ClickEntry(profiles, RowOf(profiles, "BYNO"));
      returnOn(profiles, profiles->currentRow());
      QTRY_VERIFY(!chooser->isVisible());
    }();
    if (chooser->isVisible()) Click(chooser->findChild<QAbstractButton*>("CmdOpen_1"));
  });
  Click(s.Command(0));
  QVERIFY(stayedOpen);
  QCOMPARE(s.contents->windowTitle(), QStringLiteral("Ondrel Runtime File Contents for CUSTOMER via BYNO"));
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 1 thru 12 of 12"));
}

void ChooserTest::directoryChangeFindsTheIspecAgainOrNot() {
  Screen s;
  MessageAnswerer answers;
  s.ChooseAndCancel([&](FileOpen& f) {
    auto* dir = f.findChild<DirectoryList*>("Dir1");
    auto* ispecs = f.findChild<QListWidget*>("LstIspec");
    auto* profiles = f.findChild<QListWidget*>("LstProfile");
    ClickEntry(ispecs, RowOf(ispecs, "ORDERS"));
    ClickEntry(profiles, 0);

    // Up to the parent, then down into B, which has ORDERS too.
    const auto go = [&](const QString& name) {
      DoubleClickEntry(dir, RowOf(dir, name));
      QTRY_COMPARE(dir->Path(), name == QFileInfo(Root()).fileName() ? RootPath() : DirPath(qPrintable(name)));
    };
    go(QFileInfo(Root()).fileName());
    QCOMPARE(f.windowTitle(), QStringLiteral("Choose Path and Ispec"));
    QCOMPARE(ispecs->count(), 0);
    QCOMPARE(s.state.ProfileName, std::string());  // every directory change asks for a profile again
    go("B");
    QCOMPARE(f.windowTitle(), QStringLiteral("Choose Profile"));
    QCOMPARE(ispecs->currentItem()->text(), QStringLiteral("ORDERS"));
    QCOMPARE(Lines(profiles), QStringList({"ZED", "ALPHA"}));
    QCOMPARE(profiles->currentRow(), -1);
    QCOMPARE(s.state.DataPath, JoinPath(DirBytes("B"), "_ORDERS.DAT"));
    QCOMPARE(s.state.ProfileName, std::string());
    Click(f.findChild<QAbstractButton*>("CmdOpen_0"));
    QCOMPARE(answers.seen.back().text, QStringLiteral("Please select a Profile."));

    // C has no ORDERS: nothing is selected, the old name stays.
    go(QFileInfo(Root()).fileName());
    go("C");
    QCOMPARE(ispecs->count(), 0);
    QCOMPARE(profiles->count(), 0);
    QCOMPARE(s.state.IspecName, std::string("ORDERS"));
    QCOMPARE(f.windowTitle(), QStringLiteral("Choose Path and Ispec"));
    Click(f.findChild<QAbstractButton*>("CmdOpen_0"));
    QCOMPARE(answers.seen.back().text, QStringLiteral("Please select a Profile."));
  });
}

void ChooserTest::unreadableDirectoryChangesNothing() {
  QDir(Root()).mkdir("GONE");
  QDir::setCurrent(Root());
  Screen s;
  MessageAnswerer answers;
  s.ChooseAndCancel([&](FileOpen& f) {
    auto* dir = f.findChild<DirectoryList*>("Dir1");
    const QStringList before = Lines(dir);
    const QString title = f.windowTitle();
    QVERIFY(QDir(Root()).rmdir("GONE"));
    DoubleClickEntry(dir, RowOf(dir, "GONE"));
    QTRY_COMPARE(int(answers.seen.size()), 1);
    QCOMPARE(answers.seen[0].text, QStringLiteral("The directory %1 cannot be read.  Choose another drive or directory.")
                                       .arg(QDir(Root()).filePath("GONE")));
    QCOMPARE(dir->Path(), RootPath());
    QCOMPARE(Lines(dir), before);
    QCOMPARE(f.windowTitle(), title);
  });
}

void ChooserTest::directoryNamedInBytesThatAreNotUtf8() {
  // "caf" and the byte E9 alone, as a file system written in Latin-1 holds it.
  const std::string name = "caf\xE9";
  const std::string path = root_->str() + "/" + name;
  QCOMPARE(::mkdir(path.c_str(), 0755), 0);
  BuildNumbered(path, "CUSTOMER", {.count = 12});
  QDir::setCurrent(Root());
  Screen s;
  MessageAnswerer answers;
  WhenModal(QStringLiteral("FileOpen"), [&](QWidget* chooser) {
    [&] {
      auto* dir = chooser->findChild<DirectoryList*>("Dir1");
      auto* ispecs = chooser->findChild<QListWidget*>("LstIspec");
      // The name is shown as well as its bytes allow, and gone into as it is.
      const int row = RowOf(dir, QFile::decodeName(QByteArray::fromStdString(name)));
      QVERIFY(row >= 0);
      DoubleClickEntry(dir, row);
      QTRY_COMPARE(ispecs->count(), 1);
      ClickEntry(ispecs, 0);
      ClickEntry(chooser->findChild<QListWidget*>("LstProfile"), 0);
      Click(chooser->findChild<QAbstractButton*>("CmdOpen_0"));
    }();
    if (chooser->isVisible()) Click(chooser->findChild<QAbstractButton*>("CmdOpen_1"));
  });
  Click(s.Command(0));
  QCOMPARE(int(answers.seen.size()), 0);
  QCOMPARE(s.state.DataPath, path + "/_CUSTOMER.DAT");
  QCOMPARE(BelowHeading(s.Text()), NumberedLines(1, 12));
  char cwd[4096];
  QVERIFY(::getcwd(cwd, sizeof cwd));
  QCOMPARE(std::string(cwd), path);
}

void ChooserTest::drivesAreTheMountedFileSystems() {
  Screen s;
  MessageAnswerer answers;
  s.ChooseAndCancel([&](FileOpen& f) {
    auto* drives = f.findChild<QComboBox*>("Drive1");
    QStringList listed;
    for (int i = 0; i < drives->count(); ++i) listed << drives->itemData(i).toString();
    QVERIFY(listed.contains("/"));
    QCOMPARE(drives->currentData().toString(), QStorageInfo(Dir("A")).rootPath());

    // With A, B and a vanished G as the drives: choosing B lists B's root,
    // which holds the ISPEC chosen before; A then returns to where its list
    // stood; G cannot be read and leaves everything as it was.
    QDir(Root()).mkdir("G");
    f.ListDrives({Dir("A"), Dir("B"), Dir("G")});
    QCOMPARE(drives->currentIndex(), 0);
    auto* dir = f.findChild<DirectoryList*>("Dir1");
    auto* ispecs = f.findChild<QListWidget*>("LstIspec");
    ClickEntry(ispecs, RowOf(ispecs, "ORDERS"));
    const auto choose = [drives](int index) {
      drives->setCurrentIndex(index);
      emit drives->activated(index);
    };
    choose(1);
    QCOMPARE(dir->Path(), DirPath("B"));
    QCOMPARE(f.windowTitle(), QStringLiteral("Choose Profile"));
    QCOMPARE(s.state.DataPath, JoinPath(DirBytes("B"), "_ORDERS.DAT"));
    choose(0);
    QCOMPARE(dir->Path(), DirPath("A"));
    QCOMPARE(s.state.DataPath, JoinPath(DirBytes("A"), "_ORDERS.DAT"));
    QVERIFY(QDir(Root()).rmdir("G"));
    choose(2);
    QCOMPARE(int(answers.seen.size()), 1);
    QVERIFY(answers.seen[0].text.startsWith("The directory " + Dir("G") + " cannot be read."));
    QCOMPARE(dir->Path(), DirPath("A"));
    QCOMPARE(drives->currentIndex(), 0);
  });
}

void ChooserTest::cancelBeforeAnyChoice() {
  Screen s;
  s.ChooseAndCancel();
  QVERIFY(s.state.ChooserCancelled);
  QVERIFY(s.Text().empty());
  QVERIFY(s.Label("Label2")->isHidden());
  QCOMPARE(s.contents->windowTitle(), QStringLiteral("Ondrel Runtime File Contents"));
}

void ChooserTest::cancelAfterANewChoiceRestoresTheLastOpen() {
  Screen s;
  s.OpenFile("CUSTOMER", "BYNO");
  QCOMPARE(s.contents->windowTitle(), QStringLiteral("Ondrel Runtime File Contents for CUSTOMER via BYNO"));
  const SharedState opened = s.state;
  const std::string window = s.Text();
  const QString caption = s.Label("FilePosTxt")->text();

  s.ChooseAndCancel([&](FileOpen& f) {
    auto* ispecs = f.findChild<QListWidget*>("LstIspec");
    ClickEntry(ispecs, RowOf(ispecs, "ORDERS"));
    ClickEntry(f.findChild<QListWidget*>("LstProfile"), 1);
    QCOMPARE(s.state.IspecName, std::string("ORDERS"));
  });
  QVERIFY(s.state.ChooserCancelled);
  QCOMPARE(s.state.IspecName, opened.IspecName);
  QCOMPARE(s.state.ProfileName, opened.ProfileName);
  QCOMPARE(s.state.DataPath, opened.DataPath);
  QCOMPARE(s.state.IndexPath, opened.IndexPath);
  QCOMPARE(s.state.DefinitionPath, opened.DefinitionPath);
  QCOMPARE(s.state.RecordCount, opened.RecordCount);
  QCOMPARE(s.state.KeyLength, opened.KeyLength);
  QCOMPARE(s.state.EntryTail, opened.EntryTail);
  QCOMPARE(s.state.KeyHead.RootNode, opened.KeyHead.RootNode);
  QCOMPARE(s.Text(), window);
  QCOMPARE(s.Label("FilePosTxt")->text(), caption);

  // The screen goes on reading the file set it shows.
  s.FilePos()->setValue(3);
  QCOMPARE(BelowHeading(s.Text()), NumberedLines(3, 12));
  QCOMPARE(s.Label("FilePosTxt")->text(), QStringLiteral("Record 3 thru 12 of 12"));

  // And the chooser shows that file set again.
  s.ChooseAndCancel([&](FileOpen& f) {
    QCOMPARE(f.findChild<QListWidget*>("LstIspec")->currentItem()->text(), QStringLiteral("CUSTOMER"));
    QCOMPARE(Lines(f.findChild<QListWidget*>("LstProfile")), QStringList({"BYNO"}));
    QCOMPARE(f.windowTitle(), QStringLiteral("BYNO Keys and Conditions"));
  });
}

void ChooserTest::incompleteIspecEndsTheProgram() {
  QDir::setCurrent(Dir("D"));
  Screen s;
  MessageAnswerer answers(QMessageBox::Cancel);
  FileOpen& f = s.contents->Chooser();
  f.Form_Load();
  f.show();
  auto* ispecs = f.findChild<QListWidget*>("LstIspec");
  QCOMPARE(Lines(ispecs), QStringList({"BROKEN"}));
  bool ended = false;
  try {
    f.LstIspec_Click(0);
  } catch (const ProgramEnded&) {
    ended = true;
  }
  QVERIFY(ended);
  QCOMPARE(int(answers.seen.size()), 1);
  QCOMPARE(answers.seen[0].title, QString::fromLatin1(msg::kIncompleteTitle));
  QCOMPARE(answers.seen[0].text, QString::fromLatin1(msg::kIncompleteBefore) +
                                     QString::fromStdString(JoinPath(DirBytes("D"), "_BROKEN.DAT")) +
                                     QString::fromLatin1(msg::kIncompleteAfter));
  QCOMPARE(answers.seen[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
}

void ChooserTest::recordCountsSetScrollMaximumAndSections_data() {
  QTest::addColumn<QString>("ispec");
  QTest::addColumn<int>("maximum");
  QTest::addColumn<int>("sections");
  QTest::newRow("5000") << "C5000" << 5000 << 1;
  QTest::newRow("32000") << "C32000" << 32000 << 2;
  QTest::newRow("40000") << "C40000" << 32000 << 2;
  QTest::newRow("0") << "C0" << 0 << 1;
}

void ChooserTest::recordCountsSetScrollMaximumAndSections() {
  QFETCH(QString, ispec);
  QFETCH(int, maximum);
  QFETCH(int, sections);
  QDir::setCurrent(Dir("N"));
  Screen s;
  // A header that counts other than the data file holds, in files written
  // moments ago, is how a set caught half written looks: the first fill
  // says the files may have changed, and says nothing else.
  MessageAnswerer answers;
  s.OpenFile(ispec, "BYNO");
  for (const auto& seen : answers.seen) QCOMPARE(seen.title, QString::fromLatin1(kFilesChangedTitle));
  QCOMPARE(s.contents->View().FilePosMax(), Long(maximum));
  QCOMPARE(s.FilePos()->maximum(), std::max(maximum, 1));
  QCOMPARE(s.state.SectionCount, Long(sections));
  QCOMPARE(s.Label("Label2")->text(), QStringLiteral("%1 Section(s)").arg(sections));
  QCOMPARE(s.contents->windowTitle(), QStringLiteral("Ondrel Runtime File Contents for %1 via BYNO").arg(ispec));
  QCOMPARE(QDir::currentPath(), Dir("N"));
}

void ChooserTest::chooseFileResetsTheSectionControls() {
  QDir::setCurrent(Dir("N"));
  Screen s;
  s.OpenFile("S100000", "BYNO");
  QVERIFY(s.Part(0)->isVisible() && s.Part(12)->isVisible());
  QCOMPARE(s.Label("Label1")->text().trimmed(), QStringLiteral("1"));
  QCOMPARE(s.Label("Label2")->text(), QStringLiteral("4 Section(s)"));
  QCOMPARE(s.Label("Ords")->text(), QStringLiteral("NO\n"));
  Click(s.Part(3));
  Click(s.Part(12));
  QCOMPARE(s.state.Section, Long{3});

  // A file of one section hides the keypad, and the window starts at 1.
  s.OpenFile("S20000", "BYNO");
  for (int i = 0; i <= 12; ++i) QVERIFY(s.Part(i)->isHidden());
  QVERIFY(s.Label("Label1")->isHidden());
  QCOMPARE(s.Label("Label2")->text(), QStringLiteral("1 Section(s)"));
  QCOMPARE(s.state.Section, Long{1});
  QCOMPARE(s.FilePos()->value(), 1);
  QCOMPARE(s.FilePos()->maximum(), 20000);
  QCOMPARE(BelowHeading(s.Text()).substr(0, 18), NumberedLine(1) + "\r\n");
  // Five ordinates: Ords lists the first three, one a line.
  QCOMPARE(s.Label("Ords")->text(), QStringLiteral("NO\nNAME\n[TAG]\n"));
  const int lineSpacing = QFontMetrics(s.Label("Ords")->font()).lineSpacing();
  QVERIFY(s.Label("Ords")->height() >= 4 * lineSpacing && s.Label("Ords")->height() < 5 * lineSpacing);
}

void ChooserTest::anotherFileSetIsFilledOnceAndShownAlone() {
  QDir::setCurrent(Dir("E"));
  Screen s;
  MessageAnswerer answers;
  s.OpenFile("BIG", "BYNO");
  s.FilePos()->setValue(150);
  // The new, smaller maximum does not refill the window with the new file
  // at the old position before the window from entry 1.
  QSignalSpy fills(s.FileTxt(), &QPlainTextEdit::textChanged);
  s.OpenFile("CUSTOMER", "BYNO");
  QCOMPARE(fills.count(), 1);
  QCOMPARE(BelowHeading(s.Text()), NumberedLines(1, 12));
  QCOMPARE(s.FilePos()->value(), 1);

  // A file set without a definition: one message, and nothing of the file
  // set shown before stays under the new title.
  s.FilePos()->setValue(10);
  s.OpenFile("NODEF", "BYNO");
  QCOMPARE(int(answers.seen.size()), 1);
  QCOMPARE(answers.seen[0].title, QString::fromLatin1(msg::kNoDefinitionTitle));
  QCOMPARE(s.contents->windowTitle(), QStringLiteral("Ondrel Runtime File Contents for NODEF via BYNO"));
  QCOMPARE(s.Text(), std::string());
  QCOMPARE(s.FileTxt()->toPlainText(), QString());
  QCOMPARE(s.Label("FilePosTxt")->text(), QString());
  QCOMPARE(s.Label("Label2")->text(), QStringLiteral("1 Section(s)"));
  QVERIFY(s.Command(2)->isHidden() && s.Command(3)->isHidden());
}

void ChooserTest::inputDuringAProfileLoadStartsNoSecondLoad() {
  Screen s;
  s.ChooseAndCancel([&](FileOpen& f) {
    auto* ispecs = f.findChild<QListWidget*>("LstIspec");
    auto* profiles = f.findChild<QListWidget*>("LstProfile");
    ClickEntry(ispecs, RowOf(ispecs, "ORDERS"));
    // A click on the other profile arrives while the first one loads.
    bool clickedDuringLoad = false;
    QTimer::singleShot(0, &f, [&] {
      clickedDuringLoad = s.state.ProfileName == "ZED";
      ClickEntry(profiles, 1);
      f.LstProfile_Click(1);
    });
    ClickEntry(profiles, 0);
    QVERIFY(clickedDuringLoad);
    QCOMPARE(s.state.ProfileName, std::string("ZED"));
    QCOMPARE(f.windowTitle(), QStringLiteral("ZED Keys and Conditions"));
    QCOMPARE(Lines(f.findChild<QListWidget*>("LstOrdinates")), QStringList({"NO", "NAME, Desc"}));
    // Once the load is over, the list takes clicks again.
    ClickEntry(profiles, 1);
    QCOMPARE(s.state.ProfileName, std::string("ALPHA"));
  });
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InstallFontFallbacks();
  ChooserTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ChooserTest.moc"
