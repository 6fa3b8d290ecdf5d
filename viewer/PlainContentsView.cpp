#include "viewer/PlainContentsView.h"

#include <algorithm>

namespace ondrel {

void PlainContentsView::SetFilePosValue(Long value) {
  const Long inRange = std::clamp<Long>(value, 1, std::max<Long>(1, filePosMax));
  if (inRange == filePosValue) return;
  filePosValue = inRange;
  FilePosChanged();
}

void PlainContentsView::SetFilePosMax(Long maximum) {
  filePosMax = maximum;
  // A maximum below the value pulls the value down with it, which is a change.
  SetFilePosValue(filePosValue);
}

void PlainContentsView::SetCommandVisible(int index, bool visible) {
  if (index >= 0 && index < static_cast<int>(commandVisible.size()))
    commandVisible[static_cast<std::size_t>(index)] = visible;
}

}  // namespace ondrel
