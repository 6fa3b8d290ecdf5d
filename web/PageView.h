// The contents screen's controls as the page's core holds them: the text
// box, labels, buttons and scroll bar in memory, behaving as the screen's,
// for the page to draw after every command.  The scroll bar raises its
// change event on every change of its value, which refills the window; while
// the thumb is dragged, the bar's value is where the thumb stands.
#pragma once

#include "database/Platform.h"
#include "database/SharedState.h"
#include "viewer/PlainContentsView.h"

namespace ondrel::web {

class PageView : public PlainContentsView {
 public:
  PageView(SharedState& state, Platform& platform) : state_(state), platform_(platform) {}

  void FilePosChanged() override;
  Long FilePosValue() const override { return dragging ? dragValue : filePosValue; }
  void SelectFileTxt(Long start, Long length) override {
    selStart = start;
    selLength = length;
  }
  void SetFileTxtText(const std::string& text) override {
    selLength = 0;
    PlainContentsView::SetFileTxtText(text);
  }

  // The thumb is held, at dragValue.
  bool dragging = false;
  Long dragValue = 1;
  // The length of the text selected (a found text).
  Long selLength = 0;

 private:
  SharedState& state_;
  Platform& platform_;
};

}  // namespace ondrel::web
