#include "web/PageView.h"

#include "viewer/Scrolling.h"

namespace ondrel::web {

void PageView::FilePosChanged() { FilePos_Change(state_, platform_, *this); }

}  // namespace ondrel::web
