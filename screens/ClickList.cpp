#include "screens/ClickList.h"

#include <QKeyEvent>

namespace ondrel {

ClickList::ClickList(QWidget* parent) : QListWidget(parent) {
  connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { emit Click(row(item)); });
}

void ClickList::keyPressEvent(QKeyEvent* event) {
  const int before = currentRow();
  QListWidget::keyPressEvent(event);
  if (currentRow() != before && currentRow() >= 0) emit Click(currentRow());
}

}  // namespace ondrel
