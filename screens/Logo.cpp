#include "screens/Logo.h"

#include "screens/Cp1252.h"
#include "screens/Fonts.h"
#include "screens/QtPlatform.h"
#include "ui_LogoForm.h"

// The splash picture lives in the screens library's resources, which a
// static library must register itself.
static void InitScreenResources() { Q_INIT_RESOURCE(Screens); }

namespace ondrel {

Logo::Logo(SharedState& state, Platform& platform, QWidget* parent)
    : QDialog(parent), state_(state), platform_(platform), ui_(new Ui::Logo) {
  InitScreenResources();
  ui_->setupUi(this);
  ApplyDesignPointSize(this);
  command1_ = {ui_->Command1_0, ui_->Command1_1};
  for (int i = 0; i < static_cast<int>(command1_.size()); ++i)
    connect(command1_[i], &QPushButton::clicked, this, [this, i] { RunHandler([&] { Command1_Click(i); }); });
  Form_Load();
}

Logo::~Logo() { delete ui_; }

void Logo::Form_Load() {
  state_.VersionText = kVersionText;
  ui_->Label1_0->setText(FromCp1252("Version " + state_.VersionText));
}

void Logo::Command1_Click(int index) {
  if (index == 0) {
    accept();  // hides the splash and ends its modal wait
  } else if (index == 1) {
    platform_.EndProgram();
  }
}

void Logo::reject() { Command1_Click(0); }

}  // namespace ondrel
