// What the screens' tests share: the real screens on the offscreen platform,
// an end of the program that a test can catch, a hand that answers message
// boxes, clicks on real widgets, and databases built by the writer.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QListWidget>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include "database/SharedState.h"
#include "screens/Contents.h"
#include "screens/FileOpen.h"
#include "screens/QtPlatform.h"

class QAbstractButton;
class QLabel;
class QPlainTextEdit;
class QScrollBar;

namespace ondrel::screentest {

// Thrown by the tests' end-of-program hook.  Tests end the program only by
// calling a handler directly, so the exception never passes through Qt.
struct ProgramEnded {};

// Answers every modal message box that opens while it lives, and remembers
// what each said.  `before` runs while a box is open, before it is answered.
class MessageAnswerer : public QObject {
 public:
  struct Seen {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
  };
  explicit MessageAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok);
  std::vector<Seen> seen;
  std::function<void(const Seen&)> before;

 private:
  void Poll();
  QTimer timer_;
  QMessageBox::StandardButton answer_;
};

// Runs `action` once, from within the modal loop of the first modal window
// named `objectName` that opens.
void WhenModal(const QString& objectName, std::function<void(QWidget*)> action);

// A real click on a button, a list entry and a double click on a list entry.
void Click(QAbstractButton* button);
void ClickEntry(QListWidget* list, int row);
void DoubleClickEntry(QListWidget* list, int row);
int RowOf(QListWidget* list, const QString& text);
// Where a part of a scroll bar (arrow, trough, thumb) lies on it.
QRect ScrollBarPart(QScrollBar* bar, int subControl);

// The program after its start: the contents screen loaded, its splash
// answered with "&OK", shown.  The end-of-program hook throws ProgramEnded.
class Screen {
 public:
  Screen();
  ~Screen();

  SharedState state;
  QtPlatform platform;
  std::unique_ptr<Contents> contents;

  template <class T>
  T* Find(const char* name) const {
    return contents->findChild<T*>(QString::fromLatin1(name));
  }
  QPlainTextEdit* FileTxt() const;
  QScrollBar* FilePos() const;
  QLabel* Label(const char* name) const;
  QAbstractButton* Command(int index) const;
  QAbstractButton* Part(int index) const;
  // The record window's text as the viewer set it.
  std::string Text() const { return contents->View().FileTxtText(); }

  // "Choose File" as a user does it: in the chooser, clicks the ISPEC and
  // the profile (in the directory the chooser shows) and Ok.
  void OpenFile(const QString& ispec, const QString& profile);
  // "Choose File", then Cancel in the chooser after `inChooser` has run.
  void ChooseAndCancel(const std::function<void(FileOpen&)>& inChooser = {});

  template <class T>
  T* InChooser(const char* name) const {
    return contents->Chooser().findChild<T*>(QString::fromLatin1(name));
  }

 private:
  QString cwd_;
};

// A directory that is also the process's current directory while it lives
// (the chooser starts there).
class WorkDir {
 public:
  WorkDir();
  ~WorkDir();
  std::string Path() const { return dir_.path().toStdString(); }
  QString QPath() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
  QString before_;
};

// Record i of a numbered ISPEC: a six-digit number (the key) and a name; its
// line in the window is "000042 N0000042 ".
std::string NumberedLine(long i);
// The lines of entries first..last, each ended by CR LF.
std::string NumberedLines(long first, long last);

struct NumberedOptions {
  long count = 0;
  long headerCount = -1;          // the index header's count, when >= 0
  std::vector<long> purged;       // records written as purged
  std::vector<long> unflagged;    // entries whose flag is not "Y"
  bool noEntries = false;         // the profile selects no record
  int ordinates = 1;              // key fields listed in the profile (the first is the key)
};
// An ISPEC named `name` with one profile, BYNO, in record order.
void BuildNumbered(const std::string& dir, const std::string& name, const NumberedOptions& options);

// The window's lines below its two heading lines.
std::string BelowHeading(const std::string& windowText);

}  // namespace ondrel::screentest
