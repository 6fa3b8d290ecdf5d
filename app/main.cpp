// OndrelView: a read-only viewer for the run time database of the Ondrel
// application generator.  The program has no settings: it starts at the
// contents screen, whose load shows the splash, and works in the directory
// given on the command line (app/CommandLine.h), or in the process's current
// directory, until the user picks another.
#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "app/CommandLine.h"
#include "database/SharedState.h"
#include "screens/Contents.h"
#include "screens/Fonts.h"
#include "screens/QtPlatform.h"

int main(int argc, char* argv[]) {
  using ondrel::app::CommandLine;
  const CommandLine line = ondrel::app::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (line.action) {
    case CommandLine::Action::Help: std::cout << ondrel::app::UsageText(); return 0;
    case CommandLine::Action::Version: std::cout << ondrel::app::VersionText(); return 0;
    case CommandLine::Action::UsageError:
      std::cerr << "ondrelview: " << line.error << "\nTry 'ondrelview --help'.\n";
      return 2;
    case CommandLine::Action::Run: break;
  }
  // The file chooser starts in the process's current directory.
  if (!line.directory.empty()) {
    std::error_code error;
    std::filesystem::current_path(line.directory, error);
    if (error) {
      std::cerr << "ondrelview: the directory " << line.directory << " cannot be entered: " << error.message()
                << "\n";
      return 2;
    }
  }
  if (const auto reason = ondrel::app::NoDisplayReason(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"),
                                                       std::getenv("WAYLAND_DISPLAY"))) {
    std::cerr << "ondrelview: " << *reason << "; ondrel-export reads the same databases without one.\n";
    return 1;
  }

  // Qt sees only the program's name: every argument was read above.
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral("ondrelview"));
  ondrel::InstallFontFallbacks();

  ondrel::SharedState state;
  ondrel::QtPlatform platform;
  ondrel::Contents contents(state, platform);
  contents.Form_Load();
  contents.show();
  return app.exec();
}
