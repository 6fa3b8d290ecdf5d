#include "screens/ReturnKey.h"

#include <QKeyEvent>
#include <QObject>
#include <QPushButton>

namespace ondrel {

namespace {

class ReturnPresses : public QObject {
 public:
  explicit ReturnPresses(QObject* parent) : QObject(parent) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    // With Ctrl, Alt or Shift the key means something else to someone else.
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    auto* button = qobject_cast<QPushButton*>(watched);
    if (!button || !button->isVisible() || !button->isEnabled()) return false;
    button->click();
    return true;
  }
};

}  // namespace

void PressButtonsOnReturn(QWidget* form) {
  auto* filter = new ReturnPresses(form);
  for (QPushButton* button : form->findChildren<QPushButton*>()) button->installEventFilter(filter);
}

}  // namespace ondrel
