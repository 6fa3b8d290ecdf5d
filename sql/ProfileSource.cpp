#include "sql/ProfileSource.h"

#include "database/Catalogue.h"
#include "database/Definition.h"
#include "database/IndexWalk.h"
#include "database/Profile.h"
#include "viewer/Cp1252.h"

namespace ondrel::sql {

std::string OpenIspec(SharedState& state, CatchingPlatform& platform, const std::string& directory,
                      const std::string& ispec, std::vector<std::string>& profiles) {
  SetTextConstants(state);
  try {
    profiles = LoadFileSet(state, platform, directory, ispec);
  } catch (const ProgramEnded& ended) {
    return ended.what();
  }
  if (!LoadDefinition(state, platform)) return platform.FirstMessage();
  return "";
}

int ProfilePosition(const std::vector<std::string>& profiles, const std::string& name) {
  for (std::size_t i = 0; i < profiles.size(); ++i)
    if (Cp1252ToUtf8(profiles[i]) == name) return static_cast<int>(i);
  return -1;
}

std::string ChooseProfile(SharedState& state, CatchingPlatform& platform,
                          const std::vector<std::string>& profiles, int position, bool walk) {
  try {
    LoadProfile(state, platform, profiles, position);
  } catch (const ProgramEnded& ended) {
    return ended.what();
  }
  if (!walk) return "";
  const std::size_t before = platform.messages.size();
  const WalkResult result = BuildReferenceInformation(state, platform);
  if (result.failures > 0)
    return platform.messages.size() > before ? platform.messages[before].text : std::string("The index cannot be read.");
  return "";
}

}  // namespace ondrel::sql
