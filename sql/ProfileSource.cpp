#include "sql/ProfileSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "database/Catalogue.h"
#include "database/Definition.h"
#include "database/IndexWalk.h"
#include "database/KeyOrder.h"
#include "database/Profile.h"
#include "database/RandomAccessFile.h"
#include "viewer/Cp1252.h"

namespace ondrel::sql {

std::string IspecFileName(const std::string& directory, const std::string& ispec) {
  const std::vector<std::string> names = ListIspecs(directory);
  if (std::find(names.begin(), names.end(), ispec) != names.end()) return ispec;
  for (const std::string& name : names)
    if (Cp1252ToUtf8(name) == ispec) return name;
  return ispec;
}

namespace {

// Why `path`, which is there, cannot be opened for reading; empty when it
// can (or is not there at all).
std::string OpenFailure(const std::string& path) {
  const PathKind kind = KindOfPath(path);
  if (kind == PathKind::Missing) return "";
  if (kind != PathKind::RegularFile) return "The file " + path + " could not be opened: it is no regular file.";
  errno = 0;
  if (OpenRandomAccess(path)) return "";
  return "The file " + path + " could not be opened: " + std::strerror(errno) + ".";
}

void Tell(Failure* kind, Failure what) {
  if (kind) *kind = what;
}

}  // namespace

std::string OpenIspec(SharedState& state, LoadingPlatform& platform, const std::string& directory,
                      const std::string& ispec, std::vector<std::string>& profiles, Failure* kind) {
  SetTextConstants(state);
  Tell(kind, Failure::None);
  try {
    profiles = LoadFileSet(state, platform, directory, IspecFileName(directory, ispec));
  } catch (const LoadEnded& ended) {
    // A file that is missing, or too short to hold its header: the viewer's
    // message, unless the file is there and the system refused it.
    const std::string refused = OpenFailure(state.CurrentPath);
    Tell(kind, !refused.empty() || KindOfPath(state.CurrentPath) == PathKind::Missing ? Failure::CannotOpen
                                                                                        : Failure::Damaged);
    return refused.empty() ? ended.what() : refused;
  }
  if (!LoadDefinition(state, platform)) {
    const std::string refused = OpenFailure(state.DefinitionPath);
    Tell(kind, refused.empty() ? Failure::Damaged : Failure::CannotOpen);
    return refused.empty() ? platform.FirstMessage() : refused;
  }
  return "";
}

std::string ChooseProfile(SharedState& state, LoadingPlatform& platform,
                          const std::vector<std::string>& profiles, int position, bool walk, Failure* kind) {
  Tell(kind, Failure::None);
  try {
    LoadProfile(state, platform, profiles, position);
  } catch (const LoadEnded& ended) {
    const std::string refused = OpenFailure(state.ProfilePath);
    Tell(kind, refused.empty() ? Failure::Damaged : Failure::CannotOpen);
    return refused.empty() ? ended.what() : refused;
  }
  if (!walk) return "";
  const std::size_t before = platform.messages.size();
  // The walk learns whether the leading parts are all digits (and the
  // second parts with them) only for a numeric leading field: the only one
  // the SQL table takes in the tree's order by them (ProfileSchema.cpp).  A
  // numeric second part is learnt when a plan first seeks it
  // (SecondDigitKeys), since the walk would read every leaf for it.
  const KeyOrder order(state);
  const bool number = !order.Parts().empty() && order.Parts().front().field > 0 &&
                      static_cast<std::size_t>(order.Parts().front().field) < state.FieldTable.size() &&
                      state.FieldTable[static_cast<std::size_t>(order.Parts().front().field)].Type == "N";
  const WalkResult result = BuildReferenceInformation(state, platform, number);
  if (result.failures > 0) {
    const std::string refused = OpenFailure(state.IndexPath);
    Tell(kind, refused.empty() ? Failure::Damaged : Failure::CannotOpen);
    if (!refused.empty()) return refused;
    return platform.messages.size() > before ? platform.messages[before].text
                                             : std::string("The index cannot be read.");
  }
  return "";
}

}  // namespace ondrel::sql
