// The file seam (RandomAccessFile.h) through POSIX.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "database/RandomAccessFile.h"

namespace ondrel {
namespace {

std::int64_t Nanoseconds(const timespec& t) { return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; }

// The identity of a regular file from what the system said of it.
FileIdentity IdentityOfStat(const struct stat& st) {
  FileIdentity identity;
  identity.present = true;
  identity.device = st.st_dev;
  identity.inode = st.st_ino;
  identity.size = st.st_size;
  identity.modified = Nanoseconds(st.st_mtim);
  identity.changed = Nanoseconds(st.st_ctim);
  return identity;
}

// Read only; no O_CREAT, so a missing file is never made.  No lock is taken.
// O_NONBLOCK keeps the open from blocking should the name have been
// replaced by a FIFO since it was found to be a regular file; it changes
// nothing for the reads of a regular file.
int OpenReadOnly(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

class PosixFile : public RandomAccessFile {
 public:
  PosixFile(int fd, const struct stat& st) : fd_(fd), size_(st.st_size), device_(st.st_dev), inode_(st.st_ino) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  std::int64_t Size() const override { return size_; }

  bool ReadAt(std::int64_t offset, void* dst, std::size_t n) const override {
    auto* out = static_cast<unsigned char*>(dst);
    std::size_t got = 0;
    while (got < n) {
      const ssize_t r = ::pread(fd_, out + got, n - got, offset + static_cast<off_t>(got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;  // an error, or the file shrank since it was opened
      got += static_cast<std::size_t>(r);
    }
    return true;
  }

  bool OpenIdentity(FileIdentity& identity) const override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    identity = IdentityOfStat(st);
    return true;
  }

  bool TellsNames() const override { return true; }
  bool NamedBy(const std::string& path) const override {
    struct stat named {};
    return ::stat(path.c_str(), &named) == 0 && S_ISREG(named.st_mode) && named.st_dev == device_ &&
           named.st_ino == inode_;
  }

 private:
  int fd_;
  std::int64_t size_;
  dev_t device_;
  ino_t inode_;
};

}  // namespace

std::unique_ptr<RandomAccessFile> OpenRandomAccess(const std::string& path) {
  if (path.empty()) return nullptr;
  // Only a regular file is a database file.  A FIFO, a socket or a device in
  // its place is refused before it is opened, because opening one for reading
  // can block for ever (a FIFO without a writer) or act on a device; it then
  // counts as a file that cannot be opened.
  struct stat before {};
  if (::stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return nullptr;
  const int fd = OpenReadOnly(path);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixFile>(fd, st);
}

PathKind KindOfPath(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return PathKind::Missing;
  if (S_ISREG(st.st_mode)) return PathKind::RegularFile;
  return S_ISDIR(st.st_mode) ? PathKind::Directory : PathKind::Other;
}

bool DirectoryNames(const std::string& directory, std::vector<std::string>& names) {
  names.clear();
  DIR* dir = ::opendir(directory.c_str());
  if (!dir) return false;
  while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
  ::closedir(dir);
  return true;
}

FileIdentity IdentityOfFile(const std::string& path) {
  FileIdentity id;
  struct stat named {};
  // Only a regular file is opened: a FIFO in its place could block the open.
  if (path.empty() || ::stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return id;
  const int fd = OpenReadOnly(path);
  if (fd < 0) return id;
  struct stat st {};
  const bool read = ::fstat(fd, &st) == 0;
  ::close(fd);
  // The name must still name the file that was opened.
  if (!read || !S_ISREG(st.st_mode) || ::stat(path.c_str(), &named) != 0 || named.st_dev != st.st_dev ||
      named.st_ino != st.st_ino)
    return id;
  return IdentityOfStat(st);
}

std::int64_t CoarseNow() {
  timespec now {};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return Nanoseconds(now);
}

std::int64_t CoarseTick() {
  timespec tick {};
  ::clock_getres(CLOCK_REALTIME_COARSE, &tick);
  return Nanoseconds(tick);
}

void Rest(std::int64_t nanoseconds) {
  const timespec pause{static_cast<time_t>(nanoseconds / 1000000000), static_cast<long>(nanoseconds % 1000000000)};
  ::nanosleep(&pause, nullptr);
}

}  // namespace ondrel
