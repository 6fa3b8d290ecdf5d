#include "screens/SearchDialogs.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "screens/Cp1252.h"
#include "screens/Fonts.h"
#include "screens/ReturnKey.h"
#include "ui_FindForm.h"
#include "ui_GoToKeyForm.h"

namespace ondrel {

bool TypedBytes(const QString& text, std::string& bytes) {
  bytes = ToCp1252(text);
  return FromCp1252(bytes) == text;
}

GoToKeyDialog::GoToKeyDialog(const std::vector<Box>& boxes, QWidget* parent) : QDialog(parent), ui_(new Ui::GoToKey) {
  ui_->setupUi(this);
  ApplyDesignPointSize(this);
  connect(ui_->Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(ui_->Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  for (const Box& box : boxes) {
    auto* edit = new QLineEdit(this);
    PreferFixedPitch(edit);
    edit->setMaxLength(box.width);
    // As wide as the field: its characters in the fixed-pitch font, and the
    // box's frame and margins.
    const int characters = QFontMetrics(edit->font()).horizontalAdvance(QString(std::max(box.width, 1), QChar('W')));
    edit->setFixedWidth(characters + 12);
    ui_->Boxes->addRow(FromCp1252(box.name), edit);
    boxes_.push_back(edit);
  }
  if (!boxes_.empty()) boxes_.front()->setFocus();
}

GoToKeyDialog::~GoToKeyDialog() { delete ui_; }

bool GoToKeyDialog::Values(std::vector<std::string>& values, std::string& why) const {
  values.clear();
  for (const QLineEdit* box : boxes_) {
    std::string bytes;
    if (!TypedBytes(box->text(), bytes)) {
      why = "The key holds a character that the database's code page has no byte for.";
      return false;
    }
    values.push_back(bytes);
  }
  return true;
}

FindDialog::FindDialog(QWidget* parent) : QDialog(parent), ui_(new Ui::Find) {
  ui_->setupUi(this);
  ApplyDesignPointSize(this);
  ui_->Buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Find"));
  connect(ui_->Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(ui_->Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  ui_->Text->setFocus();
}

FindDialog::~FindDialog() { delete ui_; }

void FindDialog::Set(const QString& text, bool matchCase, bool forward) {
  ui_->Text->setText(text);
  ui_->Text->selectAll();
  ui_->MatchCase->setChecked(matchCase);
  (forward ? ui_->Down : ui_->Up)->setChecked(true);
}

QString FindDialog::Text() const { return ui_->Text->text(); }
bool FindDialog::MatchCase() const { return ui_->MatchCase->isChecked(); }
bool FindDialog::Forward() const { return ui_->Down->isChecked(); }

SearchProgressDialog::SearchProgressDialog(QWidget* parent)
    : dialog_(QStringLiteral("Searching the profile..."), QStringLiteral("Cancel"), 0, 1000, parent) {
  dialog_.setWindowTitle(QStringLiteral("Find Text"));
  dialog_.setWindowModality(Qt::ApplicationModal);
  dialog_.setMinimumDuration(500);
  dialog_.setAutoReset(false);
  dialog_.setAutoClose(false);
  dialog_.setValue(0);  // starts the half second after which it shows
}

bool SearchProgressDialog::Continue(std::int64_t done, std::int64_t total) {
  if (paused_) {
    // Going on after a question: the half second starts again.
    paused_ = false;
    dialog_.setValue(0);
  }
  const int value = total > 0 ? static_cast<int>(done * 1000 / total) : 0;
  dialog_.setValue(std::min(std::max(value, 1), 999));
  // Once shown, the modal dialog's setValue has processed the events
  // (Cancel among them); before, the screen is only repainted.
  if (!dialog_.isVisible()) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return !dialog_.wasCanceled();
}

void SearchProgressDialog::Pause() {
  // reset() also stops the timer that would show the dialog after the half
  // second, even while the question waits; it hides only with auto-close on.
  dialog_.reset();
  dialog_.hide();
  paused_ = true;
}

}  // namespace ondrel
