#include "screens/CheckDialogs.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "screens/Fonts.h"

namespace ondrel {

CheckProgressDialog::CheckProgressDialog(const QString& ispec, QWidget* parent)
    : dialog_(QStringLiteral("Checking %1...").arg(ispec), QStringLiteral("Cancel"), 0, 1000, parent), ispec_(ispec) {
  dialog_.setObjectName(QStringLiteral("CheckProgress"));
  dialog_.setWindowTitle(QStringLiteral("Check"));
  dialog_.setWindowModality(Qt::ApplicationModal);
  dialog_.setMinimumDuration(0);
  dialog_.setAutoReset(false);
  dialog_.setAutoClose(false);
  dialog_.setValue(0);
}

bool CheckProgressDialog::Progress(const check::CheckProgress& progress) {
  if (!progress.profile.empty())
    dialog_.setLabelText(QStringLiteral("Checking %1 via %2...").arg(ispec_, QString::fromStdString(progress.profile)));
  dialog_.setValue(std::min(std::max(static_cast<int>(progress.fraction * 1000), 0), 999));
  // The modal dialog's setValue processes events only when the value moves;
  // Cancel is heard between the steps of one profile too.
  QCoreApplication::processEvents();
  return !dialog_.wasCanceled();
}

CheckReportDialog::CheckReportDialog(const QString& ispec, const QString& verdict, const QString& lines,
                                     QWidget* parent)
    : QDialog(parent), verdict_(new QLabel(verdict, this)), lines_(new QPlainTextEdit(this)) {
  setObjectName(QStringLiteral("CheckReport"));
  setWindowTitle(QStringLiteral("Check of %1").arg(ispec));
  verdict_->setObjectName(QStringLiteral("Verdict"));
  verdict_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lines_->setObjectName(QStringLiteral("Lines"));
  lines_->setReadOnly(true);
  lines_->setLineWrapMode(QPlainTextEdit::NoWrap);
  lines_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  PreferFixedPitch(lines_);
  lines_->setPlainText(lines);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* copy = buttons->addButton(QStringLiteral("&Copy"), QDialogButtonBox::ActionRole);
  copy->setObjectName(QStringLiteral("Copy"));
  connect(copy, &QPushButton::clicked, this,
          [this] { QGuiApplication::clipboard()->setText(Verdict() + QLatin1Char('\n') + Lines()); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(verdict_);
  layout->addWidget(lines_);
  layout->addWidget(buttons);
  resize(720, 420);
  buttons->button(QDialogButtonBox::Close)->setDefault(true);
}

QString CheckReportDialog::Verdict() const { return verdict_->text(); }
QString CheckReportDialog::Lines() const { return lines_->toPlainText(); }

}  // namespace ondrel
