// The dialogs of reaching a record: by its key (Ctrl+G) and by its text
// (Ctrl+F), and the progress of a long search.  They only ask; the record
// viewer does the work (viewer/Search.h).
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <string>
#include <vector>

#include "viewer/TextFind.h"

namespace Ui {
class GoToKey;
class Find;
}
class QLineEdit;

namespace ondrel {

// One box per ordinate of the chosen profile, in order, labelled with the
// ordinate's name and as wide as its field.
class GoToKeyDialog : public QDialog {
  Q_OBJECT

 public:
  struct Box {
    std::string name;  // the ordinate's field name, the database's bytes
    int width = 0;     // the field's width in characters
  };
  GoToKeyDialog(const std::vector<Box>& boxes, QWidget* parent);
  ~GoToKeyDialog() override;

  // What was typed, box by box, as the database's bytes.  False, with a
  // message in `why`, when a box holds a character the code page has no
  // byte for.
  bool Values(std::vector<std::string>& values, std::string& why) const;
  QLineEdit* BoxAt(int i) const { return boxes_[static_cast<std::size_t>(i)]; }
  int BoxCount() const { return static_cast<int>(boxes_.size()); }

 private:
  Ui::GoToKey* ui_;
  std::vector<QLineEdit*> boxes_;
};

// The text, "Match case" and the direction.
class FindDialog : public QDialog {
  Q_OBJECT

 public:
  explicit FindDialog(QWidget* parent);
  ~FindDialog() override;

  void Set(const QString& text, bool matchCase, bool forward);
  QString Text() const;
  bool MatchCase() const;
  bool Forward() const;

 private:
  Ui::Find* ui_;
};

// Qt's progress dialog over a long search: it appears after about half a
// second, and its Cancel ends the search.  Until it appears the screen is
// repainted but takes no input; once it shows, it is modal.  Paused for a
// question, it goes at once and starts its half second again when the
// search goes on.
class SearchProgressDialog : public SearchProgress {
 public:
  explicit SearchProgressDialog(QWidget* parent);
  bool Continue(std::int64_t done, std::int64_t total) override;
  void Pause() override;
  bool Shown() const { return dialog_.isVisible(); }
  QProgressDialog& Dialog() { return dialog_; }

 private:
  QProgressDialog dialog_;
  bool paused_ = false;
};

// A text the user typed, as the database's bytes; false when a character
// has no byte in the code page.
bool TypedBytes(const QString& text, std::string& bytes);

}  // namespace ondrel
