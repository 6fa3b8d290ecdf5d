#include "database/ByteFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "database/BigEndian.h"

namespace ondrel {

bool ByteFile::Open(const std::string& path) {
  Close();
  if (path.empty()) return false;
  // Only a regular file is a database file.  A FIFO, a socket or a device in
  // its place is refused before it is opened, because opening one for reading
  // can block for ever (a FIFO without a writer) or act on a device; it then
  // counts as a file that cannot be opened.
  struct stat before {};
  if (::stat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) return false;
  // Read only; no O_CREAT, so a missing file is never made.  No lock is taken.
  // O_NONBLOCK keeps the open from blocking should the name have been
  // replaced by a FIFO since the test above; it changes nothing for the
  // reads of a regular file.
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  size_ = st.st_size;
  return true;
}

void ByteFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  for (Block& b : blocks_) {
    b.start = -1;
    b.bytes.reset();
    b.size = b.capacity = 0;
  }
  last_ = nullptr;
}

bool ByteFile::ReadDirect(std::int64_t offset, void* dst, std::size_t n) const {
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

const ByteFile::Block* ByteFile::Fetch(std::int64_t offset, std::size_t n) {
  ++clock_;
  Block* victim = &blocks_[0];
  std::int64_t length = kPageSize;
  std::int64_t start = offset - offset % kPageSize;
  for (Block& b : blocks_) {
    if (b.Holds(offset, n)) {
      b.used = clock_;
      return last_ = &b;
    }
    if (b.start >= 0 && b.start <= start && b.End() >= start && b.End() < offset + static_cast<std::int64_t>(n)) {
      // This read continues a cached block: read further ahead this time.
      const auto ahead = std::min<std::int64_t>(2 * static_cast<std::int64_t>(b.size), kLargestBlock);
      length = std::max(length, ahead);
    }
    if (b.used < victim->used) victim = &b;
  }
  length = std::max<std::int64_t>(length, offset + static_cast<std::int64_t>(n) - start);
  length = std::min<std::int64_t>(length, size_ - start);
  victim->start = -1;
  victim->size = static_cast<std::size_t>(length);
  if (victim->size > victim->capacity) {
    victim->bytes = std::make_unique_for_overwrite<unsigned char[]>(victim->size);
    victim->capacity = victim->size;
  }
  if (!ReadDirect(start, victim->bytes.get(), victim->size)) return nullptr;
  victim->start = start;
  victim->used = clock_;
  return last_ = victim;
}

bool ByteFile::Read(std::int64_t position, void* dst, std::size_t n) {
  if (fd_ < 0 || position < 1) return false;
  const std::int64_t offset = position - 1;
  if (static_cast<std::uint64_t>(n) > static_cast<std::uint64_t>(size_) ||
      offset > size_ - static_cast<std::int64_t>(n))
    return false;
  if (n == 0) return true;
  // Large reads bypass the cache.
  if (static_cast<std::int64_t>(n) > kPageSize) return ReadDirect(offset, dst, n);
  const Block* block = last_ && last_->Holds(offset, n) ? last_ : Fetch(offset, n);
  if (!block) return false;
  std::memcpy(dst, block->bytes.get() + (offset - block->start), n);
  return true;
}

bool ByteFile::ReadUncached(std::int64_t position, void* dst, std::size_t n) const {
  if (fd_ < 0 || position < 1) return false;
  const std::int64_t offset = position - 1;
  if (static_cast<std::uint64_t>(n) > static_cast<std::uint64_t>(size_) ||
      offset > size_ - static_cast<std::int64_t>(n))
    return false;
  return n == 0 || ReadDirect(offset, dst, n);
}

bool ByteFile::ReadText(std::int64_t position, std::size_t n, std::string& out) {
  // A text of no characters reads nothing, so it cannot fail.
  std::string text(n, '\0');
  if (n > 0 && !Read(position, text.data(), n)) return false;
  out = std::move(text);
  return true;
}

bool ByteFile::ReadBE16(std::int64_t position, Integer& out) {
  unsigned char b[2];
  if (!Read(position, b, 2)) return false;
  out = BE16(b);
  return true;
}

bool ByteFile::ReadBE32(std::int64_t position, std::uint32_t& out) {
  unsigned char b[4];
  if (!Read(position, b, 4)) return false;
  out = BE32(b);
  return true;
}

bool ByteFile::ReadLong(std::int64_t position, Long& out) {
  std::uint32_t v;
  if (!ReadBE32(position, v) || v >= 0x80000000u) return false;
  out = static_cast<Long>(v);
  return true;
}

bool CharReader::Next(char& c) {
  if (AtEnd()) return false;
  if (!file_.Read(next_, &c, 1)) return false;
  ++next_;
  return true;
}

}  // namespace ondrel
