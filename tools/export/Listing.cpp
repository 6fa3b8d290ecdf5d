// The two listing modes: the ISPECs of a directory and the profiles of an
// ISPEC.
#include <algorithm>

#include "database/Catalogue.h"
#include "tools/export/Modes.h"
#include "tools/export/Output.h"
#include "tools/export/Session.h"
#include "viewer/Cp1252.h"

namespace ondrel::tool {

int ListIspecsMode(const Options& options) {
  bool readable = false;
  std::vector<std::string> ispecs = ListIspecs(options.directory, &readable);
  if (!readable) Fail("The directory " + options.directory + " cannot be read.");
  // The chooser's list sorts its lines by character code.
  std::sort(ispecs.begin(), ispecs.end());
  // ISPEC names are file names, written as the file system gives them,
  // control characters escaped.
  for (const std::string& ispec : ispecs) Stdout().Write(Printable(ispec) + "\n");
  Stdout().Flush();
  return 0;
}

int ListProfilesMode(const Options& options) {
  Session session;
  SetTextConstants(session.state);
  const std::vector<std::string> profiles =
      LoadFileSet(session.state, session.platform, options.directory, options.ispec);
  for (const std::string& profile : profiles) Stdout().Write(Cp1252ToUtf8(Printable(profile)) + "\n");
  Stdout().Flush();
  return 0;
}

}  // namespace ondrel::tool
