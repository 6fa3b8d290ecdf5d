// The dialogs of the check of the open ISPEC (Ctrl+K): its progress, with
// Cancel, and its report, whose text can be selected and copied.  They only
// show; the check itself is check/Check.h.
#pragma once

#include <QDialog>
#include <QProgressDialog>
#include <QString>

#include "check/CheckReport.h"

class QLabel;
class QPlainTextEdit;

namespace ondrel {

// Qt's progress dialog over the check, shown at once and modal: the bar
// follows the profiles checked, the label names the one under way, and
// Cancel ends the check at its next step.
class CheckProgressDialog : public check::CheckListener {
 public:
  CheckProgressDialog(const QString& ispec, QWidget* parent);
  bool Progress(const check::CheckProgress& progress) override;
  QProgressDialog& Dialog() { return dialog_; }

 private:
  QProgressDialog dialog_;
  QString ispec_;
};

// The outcome in one sentence above the report's lines, as the command-line
// check writes them, in a read-only text; "Copy" puts them all on the
// clipboard.
class CheckReportDialog : public QDialog {
  Q_OBJECT

 public:
  CheckReportDialog(const QString& ispec, const QString& verdict, const QString& lines, QWidget* parent);
  QString Verdict() const;
  QString Lines() const;

 private:
  QLabel* verdict_;
  QPlainTextEdit* lines_;
};

}  // namespace ondrel
