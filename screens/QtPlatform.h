// The toolkit side of the database routines: message boxes, yielding to the
// event loop, ending the program and the file chooser's lists, on Qt Widgets.
#pragma once

#include <functional>
#include <string>

#include <QString>

#include "database/Platform.h"

class QWidget;

namespace ondrel {

class FileOpen;

class QtPlatform : public Platform {
 public:
  // A message box of the routines, with the application's title when it has
  // none of its own.  The text and title are 8-bit text of the platform's
  // file names (paths appear in them), shown as such.
  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                       MsgButtons buttons) override;

  // Processes the events that are pending, once.  While the chooser loads an
  // ISPEC or a profile, input is held back until the load is over, so that a
  // click made meanwhile cannot start a second load (see HoldInput).
  void DoEvents() override;

  // Ends the program at once, through the application's own shutdown: the
  // windows go, every running event loop (the main one and any modal one
  // inside it) is told to end, and the handler that got here is unwound by
  // ProgramEnding to RunHandler, where Qt's event loop takes over again and
  // returns.  main() then returns, and the application's destruction hands
  // the clipboard to the desktop's clipboard manager, so that text copied
  // just before "Exit" outlives the program.  Nothing is saved; the files
  // the routines open are closed by their own scopes as the handler unwinds.
  [[noreturn]] void EndProgram() override;

  // The program is ending: code that runs on after a modal window or a
  // handler returned must start nothing new.
  bool Ending() const { return ending_; }

  void SetRecordCountLabel(const std::string& caption) override;
  void SetChooserTitle(const std::string& title) override;
  void ClearList(ChooserList list) override;
  void AddToList(ChooserList list, const std::string& line) override;

  // The chooser whose labels and lists the routines fill; none until the
  // chooser is first built.
  void AttachChooser(FileOpen* chooser) { chooser_ = chooser; }
  // The program's main window: the parent of a message box when no other
  // window is active.
  void AttachMainWindow(QWidget* window) { mainWindow_ = window; }

  // While true, DoEvents leaves keyboard and mouse input for later.
  void HoldInput(bool hold) { holdInput_ = hold; }
  bool InputHeld() const { return holdInput_; }

  // Runs before the program ends.  The tests install a hook that throws, so
  // that a path which ends the program can be followed in one test process
  // and the process's event loops stay usable; the program itself has none.
  void SetEndProgramHook(std::function<void()> hook) { endHook_ = std::move(hook); }

 private:
  // The window a message box opens over.
  QWidget* MessageParent() const;

  FileOpen* chooser_ = nullptr;
  QWidget* mainWindow_ = nullptr;
  bool holdInput_ = false;
  bool ending_ = false;
  std::function<void()> endHook_;
};

// What EndProgram throws to leave the routines and handlers between it and
// the event loop.  Qt lets no exception pass through its event loop, so it
// must never get further than RunHandler.
struct ProgramEnding {};

// Runs the handler of a control's event.  Every connection from a control to
// a handler that can end the program goes through here.
template <class Handler>
void RunHandler(Handler&& handler) {
  try {
    handler();
  } catch (const ProgramEnding&) {
    // The event loops have been told to end; returning lets them.
  }
}

// The application's title, shown by message boxes that have no title of
// their own.
inline constexpr const char* kApplicationTitle = "Ondrel viewer";

// The title message boxes get: `title`, or the application's title when empty.
QString MessageTitle(const std::string& title);

}  // namespace ondrel
