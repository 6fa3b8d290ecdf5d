// --check: the deep check (check/Check.h) of what the command line names.
//
//   ondrel-export --check DIR ISPEC PROFILE   that profile
//   ondrel-export --check DIR ISPEC           every profile of the ISPEC
//   ondrel-export --check DIR                 every ISPEC of the directory
//
// The exit status is 1 when a problem was found, 3 when none was but
// something could not be judged, 0 when everything was judged sound.
#include "check/Check.h"
#include "tools/export/Modes.h"
#include "tools/export/Output.h"
#include "tools/export/PrintedReport.h"

namespace ondrel::tool {

int CheckMode(const Options& options) {
  PrintedReport report(options.format == Format::Json ? ReportFormat::Json : ReportFormat::Text, options.maxProblems,
                       options.strict);
  check::RunCheck({options.directory, options.ispec, options.profile}, report);
  Stdout().Flush();
  return report.ExitStatus();
}

}  // namespace ondrel::tool
