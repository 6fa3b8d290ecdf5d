#include "tests/screens/ScreenTestSupport.h"

#include <algorithm>
#include <cstdio>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include "screens/Logo.h"
#include "tools/writer/IspecBuilder.h"

namespace ondrel::screentest {

// ---------------------------------------------------------------- modal windows

MessageAnswerer::MessageAnswerer(QMessageBox::StandardButton answer) : answer_(answer) {
  timer_.setInterval(5);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
  timer_.start();
}

void MessageAnswerer::Poll() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (!box || !box->isVisible() || box->property("answered").toBool()) return;
  box->setProperty("answered", true);
  Seen s{box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
  seen.push_back(s);
  if (before) before(s);
  QAbstractButton* button = box->button(answer_);
  if (!button) button = box->button(QMessageBox::Ok);
  button->click();
}

void WhenModal(const QString& objectName, std::function<void(QWidget*)> action) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, objectName, action = std::move(action)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal->objectName() != objectName || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    action(modal);
  });
  timer->start();
}

void Click(QAbstractButton* button) {
  QVERIFY2(button->isVisible(), qPrintable(button->objectName() + " is hidden"));
  QTest::mouseClick(button, Qt::LeftButton);
}

void ClickEntry(QListWidget* list, int row) {
  QListWidgetItem* item = list->item(row);
  QVERIFY2(item, qPrintable(QStringLiteral("%1 has no entry %2").arg(list->objectName()).arg(row)));
  list->scrollToItem(item);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

void DoubleClickEntry(QListWidget* list, int row) {
  QListWidgetItem* item = list->item(row);
  QVERIFY2(item, qPrintable(QStringLiteral("%1 has no entry %2").arg(list->objectName()).arg(row)));
  list->scrollToItem(item);
  const QPoint at = list->visualItemRect(item).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

int RowOf(QListWidget* list, const QString& text) {
  for (int row = 0; row < list->count(); ++row)
    if (list->item(row)->text().trimmed() == text) return row;
  return -1;
}

QRect ScrollBarPart(QScrollBar* bar, int subControl) {
  QStyleOptionSlider option;
  option.initFrom(bar);
  option.orientation = bar->orientation();
  option.minimum = bar->minimum();
  option.maximum = bar->maximum();
  option.sliderPosition = bar->sliderPosition();
  option.sliderValue = bar->value();
  option.singleStep = bar->singleStep();
  option.pageStep = bar->pageStep();
  option.upsideDown = bar->invertedAppearance();
  if (bar->orientation() == Qt::Horizontal) option.state |= QStyle::State_Horizontal;
  return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, static_cast<QStyle::SubControl>(subControl),
                                      bar);
}

// ---------------------------------------------------------------- the program

Screen::Screen() : cwd_(QDir::currentPath()) {
  platform.SetEndProgramHook([] { throw ProgramEnded{}; });
  contents = std::make_unique<Contents>(state, platform);
  WhenModal(QStringLiteral("Logo"), [](QWidget* logo) {
    QTest::mouseClick(logo->findChild<QAbstractButton*>(QStringLiteral("Command1_0")), Qt::LeftButton);
  });
  contents->Form_Load();
  contents->show();
  QApplication::setActiveWindow(contents.get());
  QTest::qWait(1);
}

Screen::~Screen() {
  contents.reset();
  QDir::setCurrent(cwd_);
}

QPlainTextEdit* Screen::FileTxt() const { return Find<QPlainTextEdit>("FileTxt"); }
QScrollBar* Screen::FilePos() const { return Find<QScrollBar>("FilePos"); }
QLabel* Screen::Label(const char* name) const { return Find<QLabel>(name); }
QAbstractButton* Screen::Command(int index) const {
  return Find<QAbstractButton>(qPrintable(QStringLiteral("Command1_%1").arg(index)));
}
QAbstractButton* Screen::Part(int index) const {
  return Find<QAbstractButton>(qPrintable(QStringLiteral("Part_%1").arg(index)));
}

namespace {

// Leaves the chooser with Cancel if it is still open, so that a failed step
// ends its modal wait instead of leaving the test waiting.
void CancelIfOpen(QWidget* chooser) {
  if (chooser->isVisible())
    QTest::mouseClick(chooser->findChild<QAbstractButton*>(QStringLiteral("CmdOpen_1")), Qt::LeftButton);
}

}  // namespace

void Screen::OpenFile(const QString& ispec, const QString& profile) {
  WhenModal(QStringLiteral("FileOpen"), [ispec, profile](QWidget* chooser) {
    [&] {
      auto* ispecs = chooser->findChild<QListWidget*>(QStringLiteral("LstIspec"));
      const int ispecRow = RowOf(ispecs, ispec);
      QVERIFY2(ispecRow >= 0, qPrintable("no ISPEC " + ispec));
      ClickEntry(ispecs, ispecRow);
      auto* profiles = chooser->findChild<QListWidget*>(QStringLiteral("LstProfile"));
      const int profileRow = RowOf(profiles, profile);
      QVERIFY2(profileRow >= 0, qPrintable("no profile " + profile));
      ClickEntry(profiles, profileRow);
      QTest::mouseClick(chooser->findChild<QAbstractButton*>(QStringLiteral("CmdOpen_0")), Qt::LeftButton);
    }();
    CancelIfOpen(chooser);
  });
  Click(Command(0));
}

void Screen::ChooseAndCancel(const std::function<void(FileOpen&)>& inChooser) {
  WhenModal(QStringLiteral("FileOpen"), [inChooser](QWidget* chooser) {
    if (inChooser) inChooser(*static_cast<FileOpen*>(chooser));
    CancelIfOpen(chooser);
  });
  Click(Command(0));
}

WorkDir::WorkDir() : before_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }

WorkDir::~WorkDir() { QDir::setCurrent(before_); }

// ---------------------------------------------------------------- databases

std::string NumberedLine(long i) {
  char line[64];
  std::snprintf(line, sizeof line, "%06ld N%07ld ", i, i);
  return line;
}

std::string NumberedLines(long first, long last) {
  std::string text;
  for (long i = first; i <= last; ++i) text += NumberedLine(i) + "\r\n";
  return text;
}

std::string BelowHeading(const std::string& windowText) {
  const std::size_t first = windowText.find("\r\n");
  if (first == std::string::npos) return "";
  const std::size_t second = windowText.find("\r\n", first + 2);
  return second == std::string::npos ? "" : windowText.substr(second + 2);
}

void BuildNumbered(const std::string& dir, const std::string& name, const NumberedOptions& o) {
  writer::IspecContent setup;
  setup.name = name;
  setup.definition.fields = {{"NO", 1, "N", 6, 0}, {"NAME", 2, "A", 8, 0}, {"[TAG]", 3, "A", 2, 0}};
  setup.records.reserve(static_cast<std::size_t>(o.count));
  for (long i = 1; i <= o.count; ++i) {
    const std::string line = NumberedLine(i);
    const bool purged = std::find(o.purged.begin(), o.purged.end(), i) != o.purged.end();
    setup.records.push_back({{line.substr(0, 6), line.substr(7, 8), "zz"}, purged});
  }
  writer::ProfileDef byNo{.name = "BYNO"};
  const std::vector<std::string> fields = {"NO", "NAME", "[TAG]", "NAME", "NO"};
  for (int i = 0; i < o.ordinates; ++i) byNo.keyFields.push_back({fields[static_cast<std::size_t>(i) % fields.size()]});
  // Purged records keep their entries, so that the window shows them.
  byNo.select = [noEntries = o.noEntries](std::uint32_t, const writer::RecordContent&) { return !noEntries; };
  if (!o.unflagged.empty()) {
    byNo.entryFlag = [unflagged = o.unflagged](std::uint32_t n, const writer::RecordContent&) -> std::uint8_t {
      return std::find(unflagged.begin(), unflagged.end(), static_cast<long>(n)) != unflagged.end() ? 'N' : 'Y';
    };
  }
  setup.profiles = {byNo};
  if (o.headerCount >= 0) setup.recordCount = static_cast<std::uint32_t>(o.headerCount);
  writer::BuildIspec(dir, setup);
}

}  // namespace ondrel::screentest
