#include "screens/QtContentsView.h"

#include <algorithm>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>

#include "screens/Cp1252.h"
#include "screens/Twips.h"

namespace ondrel {

void SetCaption(QLabel* label, const std::string& caption) {
  label->setText(LabelDisplay(caption));
  label->adjustSize();
}

void QtContentsView::SetFileTxtText(const std::string& text) {
  fileTxt_ = text;
  c_.FileTxt->setPlainText(TextBoxDisplay(text));
}

Long QtContentsView::FileTxtSelStart() const {
  return DisplayToTextPosition(fileTxt_, c_.FileTxt->textCursor().selectionStart());
}

void QtContentsView::SetFileTxtSelStart(Long position) {
  QTextCursor cursor = c_.FileTxt->textCursor();
  cursor.setPosition(TextToDisplayPosition(fileTxt_, position));
  // Setting the caret also scrolls the box so that the caret is in view: a
  // caret left at a heading keeps that heading on screen as the file moves.
  c_.FileTxt->setTextCursor(cursor);
}

void QtContentsView::SelectFileTxt(Long start, Long length) {
  QTextCursor cursor = c_.FileTxt->textCursor();
  cursor.setPosition(TextToDisplayPosition(fileTxt_, start));
  cursor.setPosition(TextToDisplayPosition(fileTxt_, start + length), QTextCursor::KeepAnchor);
  c_.FileTxt->setTextCursor(cursor);
}

Long QtContentsView::FilePosValue() const {
  return c_.FilePos->isSliderDown() ? c_.FilePos->sliderPosition() : c_.FilePos->value();
}

void QtContentsView::SetFilePosValue(Long value) { c_.FilePos->setValue(value); }

void QtContentsView::SetFilePosMax(Long maximum) {
  filePosMax_ = maximum;
  c_.FilePos->setMaximum(std::max<Long>(maximum, c_.FilePos->minimum()));
}

Long QtContentsView::FilePosTop() const { return ToTwips(c_.FilePos->y()); }

Long QtContentsView::FilePosHeight() const { return ToTwips(c_.FilePos->height()); }

void QtContentsView::SetPtrCaption(const std::string& caption) { SetCaption(c_.Ptr, caption); }

void QtContentsView::SetPtrVisible(bool visible) { c_.Ptr->setVisible(visible); }

void QtContentsView::SetPtrTop(Long top) { c_.Ptr->move(c_.Ptr->x(), ToPixels(top)); }

void QtContentsView::SetLabel1Caption(const std::string& caption) { SetCaption(c_.Label1, caption); }

void QtContentsView::SetLabel1Visible(bool visible) { c_.Label1->setVisible(visible); }

void QtContentsView::SetLabel2Caption(const std::string& caption) { SetCaption(c_.Label2, caption); }

void QtContentsView::SetLabel2Visible(bool visible) { c_.Label2->setVisible(visible); }

void QtContentsView::SetFilePosTxtCaption(const std::string& caption) {
  filePosTxt_ = caption;
  SetCaption(c_.FilePosTxt, caption);
}

void QtContentsView::SetOrdsCaption(const std::string& caption) { SetCaption(c_.Ords, caption); }

void QtContentsView::SetOrdsVisible(bool visible) { c_.Ords->setVisible(visible); }

void QtContentsView::SetCommandVisible(int index, bool visible) {
  if (index >= 0 && index < static_cast<int>(c_.Command1.size())) c_.Command1[index]->setVisible(visible);
}

void QtContentsView::SetKeypadVisible(bool visible) {
  for (QPushButton* b : c_.Part) b->setVisible(visible);
}

}  // namespace ondrel
