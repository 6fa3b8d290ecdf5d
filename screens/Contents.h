// The contents screen: the program's main window and start-up object.  It
// shows the chosen ISPEC's records in a fixed-pitch text box with a scroll
// bar beside it, the section keypad, the four commands, the status labels
// and the control-tips switch.  Its handlers are thin: the record window,
// scrolling, the keypad and the commands' texts live in the record viewer.
#pragma once

#include <array>
#include <memory>

#include <QWidget>

#include "database/SharedState.h"
#include "screens/ControlTips.h"
#include "screens/FileSetWatcher.h"
#include "screens/QtContentsView.h"
#include "screens/QtPlatform.h"
#include "viewer/Commands.h"

namespace Ui {
class Contents;
}
class QPushButton;

namespace ondrel {

class FileOpen;
class QtPrinter;

class Contents : public QWidget {
  Q_OBJECT

 public:
  Contents(SharedState& state, QtPlatform& platform, QWidget* parent = nullptr);
  ~Contents() override;

  // The load: application title, line end, the splash (modal; its "&Exit"
  // ends the program here), then the rest of the set-up.  Run once, before
  // the screen is shown.
  void Form_Load();

  // The handlers.
  void Command1_Click(int index);
  void Part_Click(int index);
  void FilePos_Change();
  void FilePos_Scroll();
  void Tips_Click();
  // Pointer movement over the window's own surface, in twips.
  void Form_MouseMove(float x, float y);
  // F5: reads the open file set again and shows the window again (see
  // viewer/Refresh.h); the title loses its change notice.
  void Refresh_Key();
  // Ctrl+G: the go-to-key dialog, then the window at the key typed.
  void GoTo_Key();
  // Ctrl+F: the find dialog, then the first match from the window's first
  // line on.
  void Find_Key();
  // F3 and Shift+F3: the next match of the last text, forwards or back.
  void FindNext_Key(bool forward);
  // Ctrl+K: checks the files of the open ISPEC, every profile, with the
  // progress and Cancel, then shows the report.
  void Check_Key();
  // F1: the keys the screen takes, and what each does.
  void Help_Key();

  // The file chooser, built the first time it is needed.
  FileOpen& Chooser();
  ContentsView& View() { return view_; }
  const TipZones& Zones() const { return zones_; }

  // Where "Print" sends its documents: the system's printer unless another
  // is given (the tests record the document).
  void SetPrinter(Printer& printer) { printer_ = &printer; }

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The file set just opened: its title, and the watch on its files.
  void WatchFileSet();
  // A file of the set on view changed on disk: the title says so.
  void FileSet_Changed();
  // Looks for the last text typed (see FindNext); the keyboard then goes
  // back to the text.
  void FindText(bool forward, bool fromFirstLine);

  void ComputeTipZones();
  void AttachTipTexts();
  QWidget* ZoneControl(TipZoneId zone) const;
  void ShowTip(const QString& text);

  SharedState& state_;
  QtPlatform& platform_;
  Ui::Contents* ui_;
  std::array<QPushButton*, 4> command1_{};
  std::array<QPushButton*, 13> part_{};
  QtContentsView view_;
  std::unique_ptr<FileOpen> chooser_;
  std::unique_ptr<QtPrinter> systemPrinter_;
  Printer* printer_ = nullptr;
  TipZones zones_{};
  int tipWidth_ = 0;
  FileSetWatcher watcher_;
  // The last text looked for, and how.
  QString findText_;
  bool findMatchCase_ = false;
  bool findForward_ = true;
  // The title of the file set being watched, without the notice.
  QString watchedTitle_;
};

// What the contents screen's title adds when a file of the set on view has
// changed since it was read.
inline constexpr const char* kChangedOnDisk = " (changed on disk: F5 refreshes)";

}  // namespace ondrel
