#include "database/FileIdentity.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "database/Catalogue.h"
#include "database/DataRecord.h"
#include "database/SharedState.h"
#include "database/Text.h"

namespace ondrel {
namespace {

// Waits for a quiet spell before a set is read regardless.
constexpr int kQuietWaits = 10;
constexpr std::int64_t kClockSetBack = 1'000'000'000;

std::int64_t Nanoseconds(const timespec& t) { return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; }

FileIdentity TakeOnce(const std::string& path) {
  FileIdentity id;
  struct stat named {};
  // Only a regular file is opened: a FIFO in its place could block the open.
  if (path.empty() || ::stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return id;
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return id;
  struct stat st {};
  const bool read = ::fstat(fd, &st) == 0;
  ::close(fd);
  // The name must still name the file that was opened.
  if (!read || !S_ISREG(st.st_mode) || ::stat(path.c_str(), &named) != 0 || named.st_dev != st.st_dev ||
      named.st_ino != st.st_ino)
    return id;
  id.present = true;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = st.st_size;
  id.modified = Nanoseconds(st.st_mtim);
  id.changed = Nanoseconds(st.st_ctim);
  return id;
}

std::int64_t CoarseNow() {
  timespec now {};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return Nanoseconds(now);
}

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
  for (std::size_t i = 0; i < paths.size(); ++i) set[i] = TakeOnce(paths[i]);
  return set;
}

bool QuietIdentityOf(const SetPaths& paths, SetIdentity& identity) {
  timespec tick {};
  ::clock_getres(CLOCK_REALTIME_COARSE, &tick);
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
    const std::int64_t rest = std::min(newest + kQuietSpell - now, kQuietSpell) + Nanoseconds(tick);
    const timespec pause{static_cast<time_t>(rest / 1000000000), static_cast<long>(rest % 1000000000)};
    ::nanosleep(&pause, nullptr);
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
