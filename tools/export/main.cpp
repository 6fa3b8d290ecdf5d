// ondrel-export: the viewer's routines on the command line, for exporting a
// profile's records, describing and checking a database without a screen.
#include <string>
#include <vector>

#include "tools/export/Modes.h"
#include "tools/export/Options.h"
#include "tools/export/Output.h"
#include "tools/export/System.h"

namespace {

int Run(const std::vector<std::string>& args) {
  using namespace ondrel::tool;
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

}  // namespace

#ifdef _WIN32
// Windows hands the arguments over as UTF-16 to wmain (the program is linked
// with -municode), split by the C runtime by the rules of the Windows
// command line.  Reading them so needs no other library: the one that parses a
// command line for a program is a large one to load, and under Wine took
// two thirds of the tool's start.  No argument is expanded as a file
// pattern: a `*` typed (in a text to find, say) reaches the tool as typed.
extern "C" {
int _dowildcard = 0;
}

int wmain(int argc, wchar_t** argv) {
  ondrel::tool::PrepareStandardStreams();
  return Run(ondrel::tool::ProgramArguments(argc, argv));
}
#else
int main(int argc, char** argv) {
  ondrel::tool::PrepareStandardStreams();
  return Run(ondrel::tool::ProgramArguments(argc, argv));
}
#endif
