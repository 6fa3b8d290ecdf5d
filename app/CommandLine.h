// The viewer's command line, read before Qt starts so that --help, --version
// and mistakes are answered on a machine without a display too:
//
//   ondrelview [DIR]          the file chooser starts in DIR (default: the
//                             current directory)
//   ondrelview --help | --version
//
// Qt's own arguments (-platform, -style, ...) are not taken: its environment
// variables (QT_QPA_PLATFORM, QT_STYLE_OVERRIDE, DISPLAY) do the same, and
// an option the viewer does not know is then always a mistake the user is
// told about.  No Qt here: the checks use the C++ library and POSIX only.
//
// The viewer's exit statuses before Qt starts: 0 after --help or --version,
// 1 when there is no display, 2 on a usage error.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ondrel::app {

struct CommandLine {
  enum class Action { Run, Help, Version, UsageError };
  Action action = Action::Run;
  std::string directory;  // DIR as given; empty when none was given
  std::string error;      // for UsageError: what was wrong, without the program's name
};

// Reads the command line and does what it asks before Qt starts: prints the
// usage or the version, reports a mistake on standard error, enters DIR
// (the file chooser starts in the process's current directory), and checks
// that Qt can find a display.  Returns the exit status when the program ends
// here, or nothing when the viewer is to be shown.
std::optional<int> StartFromCommandLine(int argc, char* argv[]);

// Reads the arguments after the program's name.  A DIR is checked here: it
// must name a directory the user may list and enter.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// Why `path` cannot be the starting directory, or nothing when it can.
std::optional<std::string> DirectoryProblem(const std::string& path);

// The usage, as --help prints it; its first line is also shown after a
// usage error.
std::string UsageText();

// The program's name and version, one line, as --version prints it.
std::string VersionText();

// The reason Qt would find no display, or nothing when one can be expected.
// Qt chooses its platform from QT_QPA_PLATFORM when that is set, and
// otherwise needs an X server (DISPLAY) or a Wayland compositor
// (WAYLAND_DISPLAY); without any of them it would end with an abort and a
// message about its plugins.  The arguments are the three variables' values,
// null when unset.
std::optional<std::string> NoDisplayReason(const char* qpaPlatform, const char* display,
                                           const char* waylandDisplay);

}  // namespace ondrel::app
