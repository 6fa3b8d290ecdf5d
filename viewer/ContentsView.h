// The controls of the contents screen that the record viewer reads and sets.
//
// The record window, the scroll bar's handlers and the section keypad work
// only through this interface, so they run the same behind the Qt screen,
// in the command-line tool and in tests.  Texts are the database's bytes, one
// character per byte; the screen decides how to draw them.  Lengths and
// positions on the screen are in twips.
#pragma once

#include <string>

#include "database/SharedState.h"

namespace ondrel {

class ContentsView {
 public:
  virtual ~ContentsView() = default;

  // FileTxt: the record window's text box.  SelStart is the caret position,
  // 0-based, as the text box counts it.
  virtual std::string FileTxtText() const = 0;
  virtual void SetFileTxtText(const std::string& text) = 0;
  virtual Long FileTxtSelStart() const = 0;
  virtual void SetFileTxtSelStart(Long position) = 0;
  // Selects `length` positions of the text from `start` (a found text).
  virtual void SelectFileTxt(Long start, Long length) {
    SetFileTxtSelStart(start);
    (void)length;
  }

  // FilePos: the vertical scroll bar (minimum 1).  Setting the value or the
  // maximum may raise the bar's change event, as the screen's bar does.
  virtual Long FilePosValue() const = 0;
  virtual void SetFilePosValue(Long value) = 0;
  virtual Long FilePosMax() const = 0;
  virtual void SetFilePosMax(Long maximum) = 0;
  virtual Long FilePosTop() const = 0;
  virtual Long FilePosHeight() const = 0;

  // Ptr: the entry number beside the thumb while it is dragged.
  virtual void SetPtrCaption(const std::string& caption) = 0;
  virtual void SetPtrVisible(bool visible) = 0;
  virtual void SetPtrTop(Long top) = 0;

  // Labels.
  virtual void SetLabel1Caption(const std::string& caption) = 0;
  virtual void SetLabel1Visible(bool visible) = 0;
  virtual void SetLabel2Caption(const std::string& caption) = 0;
  virtual void SetLabel2Visible(bool visible) = 0;
  virtual std::string FilePosTxtCaption() const = 0;
  virtual void SetFilePosTxtCaption(const std::string& caption) = 0;
  virtual void SetOrdsCaption(const std::string& caption) = 0;
  virtual void SetOrdsVisible(bool visible) = 0;

  // Command1(index): 0 "Choose File", 1 "Exit", 2 "Print", 3 "Copy to Clipboard".
  virtual void SetCommandVisible(int index, bool visible) = 0;
  // Part(0..12): the section keypad, shown or hidden as one.
  virtual void SetKeypadVisible(bool visible) = 0;

  // The window was just filled from files that changed on disk since its
  // leaf table was built: the screen marks it as possibly out of date at
  // once (every such fill, while the message box says so only once).
  virtual void ShowFilesChanged() {}
};

}  // namespace ondrel
