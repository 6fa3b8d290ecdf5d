// The viewer as the page drives it: the file chooser and the contents screen
// of the desktop, their handlers run through the same routines (database/,
// viewer/), with the page drawing what they set.  Every command answers with
// one JSON object:
//
//   messages   the message boxes the command showed, in order (title, text,
//              icon, buttons); the page shows them as modal dialogs
//   question   a question not yet answered (Find only; see Find)
//   ended      the desktop would have ended the program here: the page is
//              back at an empty chooser
//   chooser    how the chooser looks (commands that change it)
//   view       how the contents screen looks (commands that change it)
//   printed    the lines of a print document that has just ended
//
// Texts are UTF-8: the database's bytes read as Windows-1252, file names as
// the browser gave them.
#pragma once

#include <string>
#include <vector>

#include "database/SharedState.h"
#include "viewer/Commands.h"
#include "web/Json.h"
#include "web/PagePlatform.h"
#include "web/PageView.h"

namespace ondrel::web {

class PageSession {
 public:
  PageSession();
  PageSession(const PageSession&) = delete;
  PageSession& operator=(const PageSession&) = delete;

  // The chooser.  ChooseFolder is the directory list's change to the folder
  // the user chose (its name, which is its path in the page's file registry);
  // ShowChooser is "Choose File", CancelChooser its Cancel, Ok its Ok.
  std::string ShowChooser();
  std::string ChooseFolder(const std::string& directory);
  std::string ChooseIspec(int row);
  std::string ChooseProfile(int row);
  std::string CancelChooser();
  std::string Ok();

  // The contents screen.
  std::string View();
  // The scroll bar's value set (an arrow, the track, the wheel, a key, the
  // thumb let go): the change event refills the window.
  std::string Scroll(int value);
  // The thumb dragged to `value`: Ptr shows the entry there.
  std::string Drag(int value);
  // The thumb let go where it was picked up.
  std::string Release();
  std::string Keypad(int index);
  // The window from entry `entry` on, as the keypad and the bar would show
  // it (the page's way back to where it was, after a cancelled search).
  std::string GoTo(int entry);
  // Ctrl+G: the key's parts (name, length), or the message why it cannot be
  // searched; then the window at the typed key, its parts separated by LF.
  std::string KeyParts();
  std::string GoToKey(const std::string& typed);
  // Ctrl+F (fromFirstLine) and F3, Shift+F3.  A search that reaches the end
  // asks whether to go on from the other end: asked for the first time, the
  // answer is Cancel and the question comes back in `question` with the
  // number of messages shown before it; the page asks the user and, on Ok,
  // runs the same search again with `answerOk` and that number as `skip`.
  std::string Find(const std::string& text, bool matchCase, bool forward, bool fromFirstLine, bool answerOk,
                   int skip);
  std::string Print();
  // Ctrl+K: the deep check of every profile of the open ISPEC; the answer
  // has its verdict and its report's lines.
  std::string Check();
  // Exit: the file set is closed and the page goes back to the chooser.
  std::string Exit();

  // The open profile exported as ondrel-export exports it, in `format`
  // (text, csv or json): its output goes to the page a piece at a time
  // (SystemPage.cpp).  Returns the tool's exit status; a run the tool ends
  // early comes back to the worker as the end of the program.
  int Export(const std::string& format) const;

  // The text "Copy to Clipboard" copies, LF line ends ("" when none).
  std::string CopyText() const;

 private:
  // A command's answer: the messages it showed, then the chooser and the
  // contents screen when asked for.
  std::string Finish(bool chooser, bool view);
  // The desktop would end here: back to an empty chooser on the same folder.
  std::string Ended();
  // A command's work, then Finish; Ended when a message box ended the
  // program on the way.
  template <typename Work>
  std::string Run(bool chooser, bool view, Work work);
  void WriteChooser(Json& json) const;
  void WriteView(Json& json) const;
  void ListFolder();
  void RestartChooser();
  void ResetContents();

  // The contents screen's state, as the last Ok left it, and the chooser's
  // while it is shown: Ok makes it the contents screen's, Cancel drops it.
  SharedState state_;
  SharedState chosen_;
  PagePlatform platform_;
  PageView view_;
  std::string directory_;
  std::vector<std::string> ispecs_;
  int ispecRow_ = -1;
  std::vector<std::string> profiles_;
  int profileRow_ = -1;
  // The chooser's look at the last Ok, which Cancel brings back.
  ChooserLook acceptedLook_;
  std::vector<std::string> acceptedIspecs_, acceptedProfiles_;
  int acceptedIspecRow_ = -1, acceptedProfileRow_ = -1;
  std::string acceptedDirectory_;
  std::string title_;
  std::vector<std::string> printed_;
  bool printEnded_ = false;
};

}  // namespace ondrel::web
