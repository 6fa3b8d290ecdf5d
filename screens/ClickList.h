// A list box whose Click event fires as its users expect: on every mouse
// click on an entry (the entry already selected included) and on every
// change of the selected entry by the keyboard, never when the program
// selects an entry.
#pragma once

#include <QListWidget>

namespace ondrel {

class ClickList : public QListWidget {
  Q_OBJECT

 public:
  explicit ClickList(QWidget* parent = nullptr);

  // The bytes an entry stands for (a name as the database spells it), kept
  // beside the text it shows.
  static constexpr int kBytesRole = Qt::UserRole;

 signals:
  void Click(int row);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace ondrel
