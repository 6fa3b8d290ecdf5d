#include "tools/export/Session.h"

#include <algorithm>
#include <cstdlib>

#include "database/Catalogue.h"
#include "database/Definition.h"
#include "database/IndexWalk.h"
#include "database/Profile.h"
#include "tools/export/Output.h"
#include "viewer/Scrolling.h"

namespace ondrel::tool {

void OpenProfile(Session& session, const Options& options, bool walk) {
  SharedState& state = session.state;
  SetTextConstants(state);
  const std::vector<std::string> profiles =
      LoadFileSet(state, session.platform, options.directory, options.ispec);
  const auto chosen = std::find(profiles.begin(), profiles.end(), options.profile);
  if (chosen == profiles.end())
    Fail("The ISPEC " + state.IspecName + " has no profile " + options.profile + ".");
  LoadProfile(state, session.platform, profiles, static_cast<int>(chosen - profiles.begin()));
  if (!walk) return;
  BuildReferenceInformation(state, session.platform);
  state.SectionCount = SectionCountOf(state.RecordCount);
}

void RequireDefinition(Session& session) {
  if (session.state.Heading.empty()) LoadDefinition(session.state, session.platform);
  EndWithoutDefinition(session);
}

void EndWithoutDefinition(const Session& session) {
  if (session.state.RecordLength != 0) return;
  Stdout().Flush();
  std::exit(1);
}

}  // namespace ondrel::tool
