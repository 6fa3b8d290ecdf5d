// The splash screen: names the program and its version, and lets the user
// go on ("&OK") or leave at once ("&Exit").  The contents screen shows it
// modally while it loads.
#pragma once

#include <array>

#include <QDialog>

#include "database/Platform.h"
#include "database/SharedState.h"

namespace Ui {
class Logo;
}
class QPushButton;

namespace ondrel {

// The version the splash shows and the print header carries.
inline constexpr const char* kVersionText = "2001.01.05";

class Logo : public QDialog {
  Q_OBJECT

 public:
  // Builds the splash and runs its load: the version text and its label.
  Logo(SharedState& state, Platform& platform, QWidget* parent = nullptr);
  ~Logo() override;

  // The buttons' one handler: 0 "&OK" hides the splash, 1 "&Exit" ends the
  // program.
  void Command1_Click(int index);

 protected:
  // Escape and the window's close button dismiss the splash like "&OK": they
  // put away an announcement, they do not answer its question.
  void reject() override;

 private:
  void Form_Load();

  SharedState& state_;
  Platform& platform_;
  Ui::Logo* ui_;
  std::array<QPushButton*, 2> command1_{};
};

}  // namespace ondrel
