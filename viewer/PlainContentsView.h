// The contents screen's controls held in memory, for running the record
// viewer without a window (the command-line tool) and as the base of test
// views.
//
// The scroll bar behaves like the screen's: its range is 1 to the maximum (a
// maximum below 1 leaves it the one position 1), a value or maximum that
// would leave the range is brought inside it, and every change of the value
// calls FilePosChanged, the bar's change event.  Geometry is that of the
// screen's layout, in twips.
#pragma once

#include <array>
#include <string>

#include "viewer/ContentsView.h"

namespace ondrel {

class PlainContentsView : public ContentsView {
 public:
  std::string FileTxtText() const override { return fileTxt; }
  void SetFileTxtText(const std::string& text) override { fileTxt = text; }
  Long FileTxtSelStart() const override { return selStart; }
  void SetFileTxtSelStart(Long position) override { selStart = position; }

  Long FilePosValue() const override { return filePosValue; }
  void SetFilePosValue(Long value) override;
  Long FilePosMax() const override { return filePosMax; }
  void SetFilePosMax(Long maximum) override;
  Long FilePosTop() const override { return filePosTop; }
  Long FilePosHeight() const override { return filePosHeight; }

  void SetPtrCaption(const std::string& caption) override { ptrCaption = caption; }
  void SetPtrVisible(bool visible) override { ptrVisible = visible; }
  void SetPtrTop(Long top) override { ptrTop = top; }

  void SetLabel1Caption(const std::string& caption) override { label1 = caption; }
  void SetLabel1Visible(bool visible) override { label1Visible = visible; }
  void SetLabel2Caption(const std::string& caption) override { label2 = caption; }
  void SetLabel2Visible(bool visible) override { label2Visible = visible; }
  std::string FilePosTxtCaption() const override { return filePosTxt; }
  void SetFilePosTxtCaption(const std::string& caption) override { filePosTxt = caption; }
  void SetOrdsCaption(const std::string& caption) override { ords = caption; }
  void SetOrdsVisible(bool visible) override { ordsVisible = visible; }

  void SetCommandVisible(int index, bool visible) override;
  void SetKeypadVisible(bool visible) override { keypadVisible = visible; }

  // The bar's change event; nothing happens here.
  virtual void FilePosChanged() {}

  std::string fileTxt;
  Long selStart = 0;
  Long filePosValue = 1;
  Long filePosMax = 1;
  Long filePosTop = 1080;
  Long filePosHeight = 5055;
  std::string ptrCaption;
  bool ptrVisible = false;
  Long ptrTop = 1080;
  std::string label1;
  bool label1Visible = false;
  std::string label2;
  bool label2Visible = false;
  std::string filePosTxt;
  std::string ords;
  bool ordsVisible = true;
  // "Choose File" and "Exit" are always shown; "Print" and "Copy" from the
  // first window with a definition.
  std::array<bool, 4> commandVisible{true, true, false, false};
  bool keypadVisible = false;
};

}  // namespace ondrel
