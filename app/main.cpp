// OndrelView: a read-only viewer for the run time database of the Ondrel
// application generator.  The program has no settings: it starts at the
// contents screen, whose load shows the splash, and works in the directory
// given on the command line (app/CommandLine.h), or in the process's current
// directory, until the user picks another.
#include <QApplication>

#include "app/CommandLine.h"
#include "database/SharedState.h"
#include "screens/Contents.h"
#include "screens/Fonts.h"
#include "screens/QtPlatform.h"

int main(int argc, char* argv[]) {
  if (const auto status = ondrel::app::StartFromCommandLine(argc, argv)) return *status;

  // Qt sees only the program's name: the command line was read above.
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral("ondrelview"));
  ondrel::InstallFontFallbacks();

  ondrel::SharedState state;
  ondrel::QtPlatform platform;
  ondrel::Contents contents(state, platform);
  contents.Form_Load();
  if (platform.Ending()) return 0;  // the splash's "&Exit"
  contents.show();
  return app.exec();
}
