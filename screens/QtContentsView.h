// The contents screen's controls as the record viewer sees them.
//
// The viewer works in the database's bytes and in twips; the widgets in Qt
// strings and pixels.  This keeps the bytes the viewer set (the text box's
// text, the position caption) so that reading them back gives exactly those
// bytes, and converts lengths at the screens' 15 twips to a pixel.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "viewer/ContentsView.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;

namespace ondrel {

struct ContentsControls {
  QPlainTextEdit* FileTxt = nullptr;
  QScrollBar* FilePos = nullptr;
  QLabel* Ptr = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* FilePosTxt = nullptr;
  QLabel* Ords = nullptr;
  std::array<QPushButton*, 4> Command1{};
  std::array<QPushButton*, 13> Part{};
};

class QtContentsView : public ContentsView {
 public:
  explicit QtContentsView(const ContentsControls& controls) : c_(controls) {}

  std::string FileTxtText() const override { return fileTxt_; }
  void SetFileTxtText(const std::string& text) override;
  Long FileTxtSelStart() const override;
  void SetFileTxtSelStart(Long position) override;
  void SelectFileTxt(Long start, Long length) override;

  // While the thumb is dragged the bar's value is still the old one; the
  // value the viewer asks for then is where the thumb is.
  Long FilePosValue() const override;
  void SetFilePosValue(Long value) override;
  // The maximum as set, which may be 0 (no entries in the section): the bar
  // itself cannot go below its minimum of 1 and then holds the one value 1.
  Long FilePosMax() const override { return filePosMax_; }
  void SetFilePosMax(Long maximum) override;
  Long FilePosTop() const override;
  Long FilePosHeight() const override;

  void SetPtrCaption(const std::string& caption) override;
  void SetPtrVisible(bool visible) override;
  void SetPtrTop(Long top) override;

  void SetLabel1Caption(const std::string& caption) override;
  void SetLabel1Visible(bool visible) override;
  void SetLabel2Caption(const std::string& caption) override;
  void SetLabel2Visible(bool visible) override;
  std::string FilePosTxtCaption() const override { return filePosTxt_; }
  void SetFilePosTxtCaption(const std::string& caption) override;
  void SetOrdsCaption(const std::string& caption) override;
  void SetOrdsVisible(bool visible) override;

  void SetCommandVisible(int index, bool visible) override;
  void SetKeypadVisible(bool visible) override;

  // What marks the screen when a fill comes from files changed on disk.
  std::function<void()> onFilesChanged;
  void ShowFilesChanged() override {
    if (onFilesChanged) onFilesChanged();
  }

 private:
  ContentsControls c_;
  std::string fileTxt_;
  std::string filePosTxt_;
  Long filePosMax_ = 1;
};

// Sets a label's caption from database bytes and sizes the label to it, its
// left and top edges staying put.
void SetCaption(QLabel* label, const std::string& caption);

}  // namespace ondrel
