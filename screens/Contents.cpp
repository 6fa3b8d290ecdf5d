#include "screens/Contents.h"

#include <cstdlib>
#include <functional>
#include <utility>

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QShortcut>
#include <QWheelEvent>

#include "check/Check.h"
#include "check/ReportLines.h"
#include "database/Text.h"
#include "screens/CheckDialogs.h"
#include "screens/Cp1252.h"
#include "screens/FileOpen.h"
#include "screens/Fonts.h"
#include "screens/Logo.h"
#include "screens/QtPrinter.h"
#include "screens/ReturnKey.h"
#include "screens/SearchDialogs.h"
#include "screens/Twips.h"
#include "ui_ContentsForm.h"
#include "database/KeyOrder.h"
#include "viewer/Refresh.h"
#include "viewer/Search.h"
#include "viewer/Scrolling.h"

namespace ondrel {

namespace {

// Command1 indices.
constexpr int kChooseFile = 0;
constexpr int kExit = 1;
constexpr int kPrint = 2;
constexpr int kCopy = 3;

// The dynamic property that carries a control's tip text.
constexpr const char* kTipProperty = "tipText";

ContentsControls ControlsOf(Ui::Contents& ui) {
  ContentsControls c;
  c.FileTxt = ui.FileTxt;
  c.FilePos = ui.FilePos;
  c.Ptr = ui.Ptr;
  c.Label1 = ui.Label1;
  c.Label2 = ui.Label2;
  c.FilePosTxt = ui.FilePosTxt;
  c.Ords = ui.Ords;
  c.Command1 = {ui.Command1_0, ui.Command1_1, ui.Command1_2, ui.Command1_3};
  c.Part = {ui.Part_0, ui.Part_1, ui.Part_2,  ui.Part_3,  ui.Part_4,  ui.Part_5, ui.Part_6,
            ui.Part_7, ui.Part_8, ui.Part_9, ui.Part_10, ui.Part_11, ui.Part_12};
  return c;
}

Ui::Contents* SetUp(Ui::Contents* ui, QWidget* form) {
  ui->setupUi(form);
  return ui;
}

}  // namespace

Contents::Contents(SharedState& state, QtPlatform& platform, QWidget* parent)
    : QWidget(parent), state_(state), platform_(platform), ui_(SetUp(new Ui::Contents, this)),
      view_(ControlsOf(*ui_)) {
  view_.onFilesChanged = [this] { FileSet_Changed(); };
  ApplyDesignPointSize(this);
  PreferFixedPitch(ui_->FileTxt);
  const ContentsControls controls = ControlsOf(*ui_);
  command1_ = controls.Command1;
  part_ = controls.Part;
  // "Exit", and a load of the chooser that fails, end the program from
  // inside a handler: each runs through RunHandler.
  for (int i = 0; i < static_cast<int>(command1_.size()); ++i)
    connect(command1_[i], &QPushButton::clicked, this, [this, i] { RunHandler([&] { Command1_Click(i); }); });
  for (int i = 0; i < static_cast<int>(part_.size()); ++i)
    connect(part_[i], &QPushButton::clicked, this, [this, i] { RunHandler([&] { Part_Click(i); }); });

  // With tracking off the bar reports a drag as it goes (sliderMoved) and its
  // value once, when the thumb is let go; clicks and assignments by the
  // program report the value at once.
  connect(ui_->FilePos, &QScrollBar::valueChanged, this, [this] { FilePos_Change(); });
  connect(ui_->FilePos, &QScrollBar::sliderMoved, this, [this] { FilePos_Scroll(); });
  // A thumb let go where it was picked up changes no value, so no change
  // event follows to hide Ptr; it goes here.  When the value did change, the
  // refill that follows hides it again.
  connect(ui_->FilePos, &QScrollBar::sliderReleased, this, [this] { view_.SetPtrVisible(false); });
  connect(ui_->Tips, &QCheckBox::toggled, this, [this] { Tips_Click(); });

  // Lines and the shape are drawn on the window's surface: the pointer over
  // them still moves over the window.
  for (QWidget* w : {static_cast<QWidget*>(ui_->Line1_0), static_cast<QWidget*>(ui_->Line1_1),
                     static_cast<QWidget*>(ui_->Line1_2), static_cast<QWidget*>(ui_->Line1_3),
                     static_cast<QWidget*>(ui_->Shape1)})
    w->setAttribute(Qt::WA_TransparentForMouseEvents);
  setMouseTracking(true);
  tipWidth_ = ui_->Tip->width();

  // A check box paints its background in the button colour; the design's
  // light grey is the window's.
  ui_->Tips->setBackgroundRole(QPalette::Window);
  // The text box has no vertical scroll bar of its own: the wheel over it
  // moves the file, through FilePos (see eventFilter).
  ui_->FileTxt->viewport()->installEventFilter(this);
  PressButtonsOnReturn(this);

  // F5 anywhere on the screen; the buttons, the text box and the scroll bar
  // have no use for it.
  auto* refresh = new QShortcut(QKeySequence(Qt::Key_F5), this);
  connect(refresh, &QShortcut::activated, this, [this] { RunHandler([&] { Refresh_Key(); }); });
  // Reaching a record by key and by text, and checking the files; none of
  // the screen's controls has a use for these keys either.
  const std::pair<QKeySequence, std::function<void()>> searchKeys[] = {
      {QKeySequence(Qt::CTRL | Qt::Key_G), [this] { GoTo_Key(); }},
      {QKeySequence(Qt::CTRL | Qt::Key_F), [this] { Find_Key(); }},
      {QKeySequence(Qt::Key_F3), [this] { FindNext_Key(true); }},
      {QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { FindNext_Key(false); }},
      {QKeySequence(Qt::CTRL | Qt::Key_K), [this] { Check_Key(); }},
      {QKeySequence(Qt::Key_F1), [this] { Help_Key(); }}};
  for (const auto& [keys, handler] : searchKeys) {
    auto* shortcut = new QShortcut(keys, this);
    connect(shortcut, &QShortcut::activated, this, [this, handler] { RunHandler([&] { handler(); }); });
  }
  connect(&watcher_, &FileSetWatcher::Changed, this, [this] { FileSet_Changed(); });

  platform_.AttachMainWindow(this);
  systemPrinter_ = std::make_unique<QtPrinter>(platform_);
  printer_ = systemPrinter_.get();
}

Contents::~Contents() {
  chooser_.reset();
  delete ui_;
}

void Contents::Form_Load() {
  QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
  state_.LineBreak = "\r\n";
  {
    Logo splash(state_, platform_, this);
    splash.exec();
  }
  if (platform_.Ending()) return;  // the splash's "&Exit": the screen is never shown
  SetTextConstants(state_);
  view_.SetFilePosTxtCaption("");
  view_.SetFileTxtText("");
  view_.SetOrdsCaption("");
  state_.WindowIdle = true;
  ui_->FilePos->setSingleStep(1);
  ui_->FilePos->setPageStep(state_.WindowLines);
  state_.TwipsPerPixelX = kTwipsPerPixel;
  state_.TwipsPerPixelY = kTwipsPerPixel;
  ComputeTipZones();
  AttachTipTexts();
  command1_[kChooseFile]->setFocus();
}

FileOpen& Contents::Chooser() {
  if (!chooser_) chooser_ = std::make_unique<FileOpen>(state_, platform_, *this, view_);
  return *chooser_;
}

// ---------------------------------------------------------------- commands

void Contents::Command1_Click(int index) {
  switch (index) {
    case kChooseFile:
      state_.ChooserCancelled = false;
      Chooser().ShowModal();
      if (platform_.Ending()) return;  // a load in the chooser failed
      if (ShowChosenFile(state_, platform_, view_, Chooser().Ordinates())) WatchFileSet();
      break;
    case kExit:
      // The routines close every file they open before they return, so
      // nothing is open here; a print document begun and not ended is
      // dropped with the printer when the screen goes.
      platform_.EndProgram();
      break;
    case kPrint:
      PrintCommand(state_, view_, *printer_);
      break;
    case kCopy:
      if (const auto text = ClipboardText(state_, view_)) QGuiApplication::clipboard()->setText(FromCp1252(*text));
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------- refresh and change notice

void Contents::WatchFileSet() {
  watchedTitle_ = FromCp1252(ContentsTitle(state_));
  setWindowTitle(watchedTitle_);
  watcher_.Watch({state_.DefinitionPath, state_.ProfilePath, state_.DataPath, state_.IndexPath});
}

void Contents::FileSet_Changed() {
  // Only the title of the set being watched takes the notice: a change of
  // the set before, reported after the chooser's Ok has titled the next one,
  // says nothing about that one.
  if (windowTitle() == watchedTitle_) setWindowTitle(watchedTitle_ + QLatin1String(kChangedOnDisk));
}

void Contents::Refresh_Key() {
  if (watchedTitle_.isEmpty()) return;  // no file set has been opened
  // A change made while the set is read again shows again.
  const QString before = windowTitle();
  setWindowTitle(watchedTitle_);
  if (!RefreshFileSet(state_, platform_, view_)) {
    // Nothing was read: the notice, if there was one, still holds.
    if (before != watchedTitle_) setWindowTitle(before);
    return;
  }
  watcher_.WatchAgain();
  if (chooser_) chooser_->FileSetRefreshed();
}

// ---------------------------------------------------------------- reaching a record

void Contents::GoTo_Key() {
  if (!FileSetOpen(state_) || !state_.WindowIdle) return;
  const KeyOrder order(state_);
  if (order.Parts().empty()) {
    platform_.MessageBox("The profile's key cannot be searched: " + order.Unmatched() + ".", "",
                         MsgIcon::Exclamation, MsgButtons::Ok);
    return;
  }
  std::vector<GoToKeyDialog::Box> boxes;
  for (const KeyPartOrder& part : order.Parts()) boxes.push_back({part.name, part.length});
  GoToKeyDialog dialog(boxes, this);
  // The dialog stays until a key is sought or the user gives up: a key that
  // cannot be sought is told, and can be typed again.
  while (dialog.exec() == QDialog::Accepted && !platform_.Ending()) {
    std::vector<std::string> typed;
    std::string why;
    if (!dialog.Values(typed, why)) {
      platform_.MessageBox(why, "", MsgIcon::Exclamation, MsgButtons::Ok);
      continue;
    }
    if (GoToKey(state_, platform_, view_, typed)) break;
  }
}

void Contents::Find_Key() {
  if (!FileSetOpen(state_) || !state_.WindowIdle) return;
  FindDialog dialog(this);
  dialog.Set(findText_, findMatchCase_, findForward_);
  if (dialog.exec() != QDialog::Accepted || dialog.Text().isEmpty()) return;
  findText_ = dialog.Text();
  findMatchCase_ = dialog.MatchCase();
  findForward_ = dialog.Forward();
  // A new search starts at the window's first line, F3 after it.
  FindText(findForward_, true);
}

void Contents::FindNext_Key(bool forward) {
  if (!FileSetOpen(state_) || !state_.WindowIdle) return;
  if (findText_.isEmpty()) {
    Find_Key();
    return;
  }
  FindText(forward, false);
}

void Contents::FindText(bool forward, bool fromFirstLine) {
  std::string bytes;
  if (!TypedBytes(findText_, bytes)) {
    platform_.MessageBox("The text holds a character that the database's code page has no byte for.", "",
                         MsgIcon::Exclamation, MsgButtons::Ok);
    return;
  }
  {
    SearchProgressDialog progress(this);
    FindNext(state_, platform_, view_, TextMatcher(bytes, findMatchCase_), forward, &progress, fromFirstLine);
  }
  // Whatever the outcome, the keyboard is back with the text, where a match
  // is selected; a message box that closed may have left no window active.
  if (platform_.Ending()) return;
  activateWindow();
  ui_->FileTxt->setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------- checking the files

void Contents::Check_Key() {
  if (!FileSetOpen(state_) || !state_.WindowIdle) return;
  const std::optional<OpenIspec> open = OpenIspecOf(state_);
  if (!open) return;
  const QString ispec = QString::fromStdString(Printable(open->ispec));
  auto progress = std::make_unique<CheckProgressDialog>(ispec, this);
  check::CheckReport report({.keepItems = true}, progress.get());
  const bool finished = check::RunCheck({open->directory, open->ispec, ""}, report);
  progress.reset();  // gone before the report shows; the report asks it nothing more
  CheckReportDialog dialog(ispec, QString::fromStdString(check::Verdict(report, finished)),
                           QString::fromStdString(check::TextLines(report.Items())), this);
  dialog.exec();
}

void Contents::Help_Key() { platform_.MessageBox(KeysText(), "Keys", MsgIcon::Information, MsgButtons::Ok); }

// ---------------------------------------------------------------- scrolling and sections

void Contents::Part_Click(int index) { ondrel::Part_Click(state_, platform_, view_, index); }

void Contents::FilePos_Change() { ondrel::FilePos_Change(state_, platform_, view_); }

void Contents::FilePos_Scroll() { ondrel::FilePos_Scroll(state_, platform_, view_); }

// ---------------------------------------------------------------- tips

void Contents::ComputeTipZones() {
  for (int i = 0; i < kTipZoneCount; ++i) {
    const QWidget* w = ZoneControl(static_cast<TipZoneId>(i));
    const TwipsRect r{ToTwips(w->x()), ToTwips(w->y()), ToTwips(w->width()), ToTwips(w->height())};
    zones_[static_cast<std::size_t>(i)] = ZoneOf(r, state_.TwipsPerPixelX, state_.TwipsPerPixelY);
  }
}

void Contents::AttachTipTexts() {
  for (int i = 0; i < kTipZoneCount; ++i) {
    const auto zone = static_cast<TipZoneId>(i);
    ZoneControl(zone)->setProperty(kTipProperty, QString::fromLatin1(TipText(zone)));
  }
}

QWidget* Contents::ZoneControl(TipZoneId zone) const {
  switch (zone) {
    case TipZoneId::Tips: return ui_->Tips;
    case TipZoneId::FileTxt: return ui_->FileTxt;
    case TipZoneId::FilePos: return ui_->FilePos;
    case TipZoneId::ChooseFile: return command1_[kChooseFile];
    case TipZoneId::Exit: return command1_[kExit];
    case TipZoneId::CopyToClipboard: return command1_[kCopy];
    case TipZoneId::Print: return command1_[kPrint];
    case TipZoneId::Enter: return part_[kPartEnter];
  }
  return nullptr;
}

void Contents::ShowTip(const QString& text) {
  // The tip keeps its width and grows downwards as its text wraps.
  ui_->Tip->setText(text);
  ui_->Tip->resize(tipWidth_, ui_->Tip->heightForWidth(tipWidth_));
  ui_->Tip->show();
  ui_->Tip->raise();
}

void Contents::Tips_Click() {
  if (!ui_->Tips->isChecked()) {
    ui_->Tip->hide();
    return;
  }
  ShowTip(ui_->Tips->property(kTipProperty).toString());
}

void Contents::Form_MouseMove(float x, float y) {
  if (!ui_->Tips->isChecked()) return;
  const std::optional<TipZoneId> zone = ZoneAt(zones_, x, y);
  if (!zone) {
    ui_->Tip->hide();
    return;
  }
  const QWidget* control = ZoneControl(*zone);
  // A hidden "Print", "Copy to Clipboard" or "Enter" explains nothing, and
  // the tip stays as it was.
  if (ZoneOfHideableControl(*zone) && control->isHidden()) return;
  ShowTip(control->property(kTipProperty).toString());
}

bool Contents::eventFilter(QObject* watched, QEvent* event) {
  if (watched != ui_->FileTxt->viewport() || event->type() != QEvent::Wheel) return QWidget::eventFilter(watched, event);
  const auto* wheel = static_cast<QWheelEvent*>(event);
  const QPoint delta = wheel->angleDelta();
  // A sideways turn (or Alt, with which Qt turns the wheel sideways) stays
  // with the text box, whose long lines run off to the right.
  if (std::abs(delta.y()) <= std::abs(delta.x()) || (wheel->modifiers() & Qt::AltModifier))
    return QWidget::eventFilter(watched, event);
  QScrollBar* bar = ui_->FilePos;
  const QPointF at(bar->width() / 2.0, bar->height() / 2.0);
  QWheelEvent toBar(at, bar->mapToGlobal(at), wheel->pixelDelta(), delta, wheel->buttons(), wheel->modifiers(),
                    wheel->phase(), wheel->inverted(), wheel->source());
  QCoreApplication::sendEvent(bar, &toBar);
  return true;
}

void Contents::mouseMoveEvent(QMouseEvent* event) {
  // Qt gives a window pointer movement without a pressed button only while
  // the pointer is over its own surface: a visible control that does not
  // track the mouse swallows such movement, while hidden controls, the lines
  // and the shape let it through.  That is exactly the movement the tips
  // react to.
  const QPoint at = event->position().toPoint();
  Form_MouseMove(static_cast<float>(at.x() * state_.TwipsPerPixelX),
                 static_cast<float>(at.y() * state_.TwipsPerPixelY));
  QWidget::mouseMoveEvent(event);
}

}  // namespace ondrel
