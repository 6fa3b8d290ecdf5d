// OndrelView: a read-only viewer for the run time database of the Ondrel
// application generator.  The program has no command line and no settings:
// it starts at the contents screen, whose load shows the splash, and works in
// the process's current directory until the user picks another.
#include <QApplication>

#include "database/SharedState.h"
#include "screens/Contents.h"
#include "screens/Fonts.h"
#include "screens/QtPlatform.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  ondrel::InstallFontFallbacks();

  ondrel::SharedState state;
  ondrel::QtPlatform platform;
  ondrel::Contents contents(state, platform);
  contents.Form_Load();
  if (platform.Ending()) return 0;  // the splash's "&Exit"
  contents.show();
  return app.exec();
}
