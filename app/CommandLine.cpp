#include "app/CommandLine.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "OndrelVersion.h"

namespace ondrel::app {

std::string UsageText() {
  return "Usage: ondrelview [DIR]\n"
         "       ondrelview --help | --version\n"
         "\n"
         "Shows the records of an Ondrel run time database, without ever writing to it.\n"
         "The file chooser starts in the database directory DIR, or in the current\n"
         "directory when none is given.\n"
         "\n"
         "Options:\n"
         "  --help      show this text\n"
         "  --version   show the program's version\n"
         "\n"
         "Exit status: 0 the program ended normally, 1 there is no display to show it\n"
         "on, 2 a usage error or a DIR that is not a readable directory.\n";
}

std::string VersionText() { return std::string("ondrelview ") + kProgramVersion + "\n"; }

std::optional<std::string> DirectoryProblem(const std::string& path) {
  if (path.empty()) return "the directory name is empty";
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return "there is no directory " + path;
  if (error) return "the directory " + path + " cannot be read: " + error.message();
  if (status.type() != std::filesystem::file_type::directory) return path + " is not a directory";
  // Listing needs read permission, entering it search permission.
  if (access(path.c_str(), R_OK | X_OK) != 0)
    return "the directory " + path + " cannot be read: " + std::strerror(errno);
  return std::nullopt;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  std::vector<std::string> positional;
  // --help and --version answer at once, whatever else is given (an unknown
  // option aside); of the two, the first given wins.
  std::optional<CommandLine::Action> info;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    // A lone "-" is a name like any other; "--" ends the options, so that a
    // directory whose name begins with "-" can be given.
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--help" || arg == "--version") {
      if (!info) info = arg == "--help" ? CommandLine::Action::Help : CommandLine::Action::Version;
    } else {
      line.action = CommandLine::Action::UsageError;
      line.error = "unknown option " + arg;
      return line;
    }
  }
  if (info) {
    line.action = *info;
    return line;
  }
  if (positional.size() > 1) {
    line.action = CommandLine::Action::UsageError;
    line.error = "only one directory may be given";
    return line;
  }
  if (!positional.empty()) {
    if (const auto problem = DirectoryProblem(positional[0])) {
      line.action = CommandLine::Action::UsageError;
      line.error = *problem;
      return line;
    }
    line.directory = positional[0];
  }
  return line;
}

std::optional<std::string> NoDisplayReason(const char* qpaPlatform, const char* display,
                                           const char* waylandDisplay) {
  auto set = [](const char* value) { return value != nullptr && *value != '\0'; };
  // A platform named by the user (offscreen, vnc, eglfs, ...) may need no
  // display at all; Qt reports its own failures there.
  if (set(qpaPlatform) || set(display) || set(waylandDisplay)) return std::nullopt;
  return "there is no display to show the viewer on (neither DISPLAY nor WAYLAND_DISPLAY is set)";
}

std::optional<int> StartFromCommandLine(int argc, char* argv[]) {
  const CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (line.action) {
    case CommandLine::Action::Help: std::cout << UsageText(); return 0;
    case CommandLine::Action::Version: std::cout << VersionText(); return 0;
    case CommandLine::Action::UsageError:
      std::cerr << "ondrelview: " << line.error << "\nTry 'ondrelview --help'.\n";
      return 2;
    case CommandLine::Action::Run: break;
  }
  if (!line.directory.empty()) {
    std::error_code error;
    std::filesystem::current_path(line.directory, error);
    if (error) {
      std::cerr << "ondrelview: the directory " << line.directory << " cannot be entered: " << error.message()
                << "\n";
      return 2;
    }
  }
  if (const auto reason =
          NoDisplayReason(std::getenv("QT_QPA_PLATFORM"), std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"))) {
    std::cerr << "ondrelview: " << *reason << "; ondrel-export reads the same databases without one.\n";
    return 1;
  }
  return std::nullopt;
}

}  // namespace ondrel::app
