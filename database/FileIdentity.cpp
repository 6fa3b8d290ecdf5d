#include "database/FileIdentity.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "database/Catalogue.h"
#include "database/SharedState.h"
#include "database/Text.h"

namespace ondrel {
namespace {

// Ticks an identity waits for the coarse clock to pass a file's change time
// before it is taken as it is (a file written again and again never
// settles; the comparison after the read then tells).
constexpr int kSettleTicks = 8;

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

FileIdentity IdentityOf(const std::string& path, bool settle) {
  FileIdentity id = TakeOnce(path);
  if (!settle) return id;
  timespec tick {};
  ::clock_getres(CLOCK_REALTIME_COARSE, &tick);
  for (int i = 0; i < kSettleTicks && id.present && id.changed >= CoarseNow(); ++i) {
    ::nanosleep(&tick, nullptr);
    id = TakeOnce(path);
  }
  return id;
}

SetIdentity IdentityOf(const SetPaths& paths, bool settle) {
  SetIdentity set;
  for (std::size_t i = 0; i < paths.size(); ++i) set[i] = IdentityOf(paths[i], settle);
  return set;
}

bool ReadUnchanged(const SetPaths& paths, SetIdentity& identity, const std::function<void()>& read) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    identity = IdentityOf(paths, true);
    read();
    if (IdentityOf(paths, false) == identity) return true;
  }
  return false;
}

bool FilesChanged(const SharedState& state) {
  return state.FilesKnown && IdentityOf(PathsOf(state), false) != state.FilesRead;
}

std::string ChangedFilesText(const std::string& ispec) {
  return "The files of the ISPEC " + ispec +
         " changed on disk while they were being read, so this result may mix two states of them.";
}

}  // namespace ondrel
