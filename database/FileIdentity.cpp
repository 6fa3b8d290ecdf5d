#include "database/FileIdentity.h"

#include <algorithm>

#include "database/Catalogue.h"
#include "database/DataRecord.h"
#include "database/RandomAccessFile.h"
#include "database/SharedState.h"
#include "database/Text.h"

namespace ondrel {
namespace {

// Waits for a quiet spell before a set is read regardless.
constexpr int kQuietWaits = 10;
constexpr std::int64_t kClockSetBack = 1'000'000'000;

}  // namespace

SetPaths PathsOf(const std::string& directory, const std::string& ispec) {
  const std::string name = TrimSpaces(ispec);
  return {JoinPath(directory, "_" + name + ".DFN"), JoinPath(directory, "_" + name + "_P.DFN"),
          JoinPath(directory, "_" + name + ".DAT"), JoinPath(directory, "_" + name + ".IDX")};
}

SetPaths PathsOf(const SharedState& state) {
  return {state.DefinitionPath, state.ProfilePath, state.DataPath, state.IndexPath};
}

SetIdentity IdentityOf(const SetPaths& paths) {
  SetIdentity set;
  for (std::size_t i = 0; i < paths.size(); ++i) set[i] = IdentityOfFile(paths[i]);
  return set;
}

bool QuietIdentityOf(const SetPaths& paths, SetIdentity& identity) {
  const std::int64_t tick = CoarseTick();
  for (int wait = 0;; ++wait) {
    identity = IdentityOf(paths);
    std::int64_t newest = 0;
    for (const FileIdentity& file : identity) newest = std::max(newest, file.changed);
    // The file times come from the coarse clock: a change time before its
    // now less the spell is at least a spell old.
    // A time ahead of the clock by more than a second is no recent write
    // but a clock that was set back: the comparison after the read is all
    // that can be done then.
    const std::int64_t now = CoarseNow();
    if (newest < now - kQuietSpell || newest > now + kClockSetBack) return true;
    if (wait == kQuietWaits) return false;
    Rest(std::min(newest + kQuietSpell - now, kQuietSpell) + tick);
  }
}

bool ReadUnchanged(const SetPaths& paths, SetIdentity& identity, const std::function<void()>& read) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    if (!QuietIdentityOf(paths, identity)) continue;
    read();
    if (IdentityOf(paths) == identity) return true;
  }
  return false;
}

bool FilesChanged(const SharedState& state) {
  return state.FilesKnown && IdentityOf(PathsOf(state)) != state.FilesRead;
}

bool LooksHalfWritten(const SharedState& state) {
  if (!state.FilesKnown || state.RecordLength <= 0) return false;
  std::int64_t newest = 0;
  for (const FileIdentity& file : state.FilesRead) newest = std::max(newest, file.changed);
  const FileIdentity& data = state.FilesRead[2];
  return newest > CoarseNow() - kRecentSpell && WholeSlots(data.size, state.RecordLength) != state.RecordCount;
}

std::string ChangedFilesText(const std::string& ispec) {
  return "The files of the ISPEC " + ispec + " changed on disk while they were being read, or are being " +
         "written now, so this result may mix two states of them.";
}

}  // namespace ondrel
