// ondrel-export: the viewer's routines on the command line, for exporting a
// profile's records, describing and checking a database without a screen.
#include <string>
#include <vector>

#include "tools/export/Modes.h"
#include "tools/export/Options.h"
#include "tools/export/Output.h"
#include "tools/export/System.h"

int main(int argc, char** argv) {
  using namespace ondrel::tool;
  PrepareStandardStreams();
  const std::vector<std::string> args = ProgramArguments(argc, argv);
  std::string error;
  const auto options = ParseOptions(args, error);
  if (!options) {
    ErrorLine("ondrel-export: " + error);
    ErrorText(UsageText());
    return 2;
  }
  switch (options->mode) {
    case Mode::Help:
      Stdout().Write(UsageText());
      Stdout().Flush();
      return 0;
    case Mode::Version:
      Stdout().Write(VersionText());
      Stdout().Flush();
      return 0;
    case Mode::ListIspecs: return ListIspecsMode(*options);
    case Mode::ListProfiles: return ListProfilesMode(*options);
    case Mode::Export: return ExportMode(*options);
    case Mode::Window: return WindowMode(*options);
    case Mode::Describe: return DescribeMode(*options);
    case Mode::Check: return CheckMode(*options);
    case Mode::Sqlite: return SqliteMode(*options);
  }
  return 2;
}
