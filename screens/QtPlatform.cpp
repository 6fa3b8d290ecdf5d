#include "screens/QtPlatform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QWidget>

#include "screens/FileOpen.h"

namespace ondrel {

namespace {

QMessageBox::Icon IconOf(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::Critical: return QMessageBox::Critical;
    case MsgIcon::Exclamation: return QMessageBox::Warning;
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QString MessageTitle(const std::string& title) {
  if (!title.empty()) return QString::fromLocal8Bit(title.data(), static_cast<qsizetype>(title.size()));
  const QString name = QCoreApplication::applicationName();
  return name.isEmpty() ? QString::fromLatin1(kApplicationTitle) : name;
}

QWidget* QtPlatform::MessageParent() const {
  // A modal window (the chooser, a dialog) is the one the user is answering;
  // otherwise the active window.  A window just hidden may still be the
  // active one until the window system says otherwise: the main window then.
  if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible()) return modal;
  if (QWidget* active = QApplication::activeWindow(); active && active->isVisible()) return active;
  return mainWindow_ && mainWindow_->isVisible() ? mainWindow_ : nullptr;
}

MsgAnswer QtPlatform::MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                                 MsgButtons buttons) {
  // With a parent the box stays above it, where a box of its own would be
  // free to open behind the main window.
  QMessageBox box(IconOf(icon), MessageTitle(title),
                  QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())),
                  buttons == MsgButtons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                                  : QMessageBox::Ok,
                  MessageParent());
  box.setDefaultButton(QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  const int answer = box.exec();
  return answer == QMessageBox::Cancel ? MsgAnswer::Cancel : MsgAnswer::Ok;
}

void QtPlatform::DoEvents() {
  QCoreApplication::processEvents(holdInput_ ? QEventLoop::ExcludeUserInputEvents
                                             : QEventLoop::AllEvents);
}

void QtPlatform::EndProgram() {
  if (endHook_) endHook_();
  ending_ = true;
  // The end shows at once, whatever the shutdown still has to do.
  for (QWidget* window : QApplication::topLevelWidgets()) window->hide();
  // Ends every event loop that runs now; one that a modal window would start
  // from here on returns at once.
  QCoreApplication::exit(0);
  throw ProgramEnding{};
}

void QtPlatform::SetRecordCountLabel(const std::string& caption) {
  if (chooser_) chooser_->SetRecordCountLabel(caption);
}

void QtPlatform::SetChooserTitle(const std::string& title) {
  if (chooser_) chooser_->SetTitle(title);
}

void QtPlatform::ClearList(ChooserList list) {
  if (chooser_) chooser_->ClearList(list);
}

void QtPlatform::AddToList(ChooserList list, const std::string& line) {
  if (chooser_) chooser_->AddToList(list, line);
}

}  // namespace ondrel
