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
  // Read only; no O_CREAT, so a missing file is never made.  No lock is taken.
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  size_ = st.st_size;
  blockStart_ = -1;
  return true;
}

void ByteFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  blockStart_ = -1;
}

bool ByteFile::LoadBlock(std::int64_t offset) {
  const std::int64_t start = offset - offset % static_cast<std::int64_t>(kBlockSize);
  const std::size_t want =
      static_cast<std::size_t>(std::min<std::int64_t>(kBlockSize, size_ - start));
  block_.resize(want);
  std::size_t got = 0;
  while (got < want) {
    const ssize_t n = ::pread(fd_, block_.data() + got, want - got, start + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {  // an error, or the file shrank since it was opened
      blockStart_ = -1;
      return false;
    }
    got += static_cast<std::size_t>(n);
  }
  blockStart_ = start;
  return true;
}

bool ByteFile::Read(std::int64_t position, void* dst, std::size_t n) {
  if (fd_ < 0 || position < 1) return false;
  const std::int64_t offset = position - 1;
  if (static_cast<std::uint64_t>(n) > static_cast<std::uint64_t>(size_) ||
      offset > size_ - static_cast<std::int64_t>(n))
    return false;
  auto* out = static_cast<unsigned char*>(dst);
  std::int64_t at = offset;
  std::size_t left = n;
  // Large reads bypass the cache; small ones are served block by block.
  if (left >= kBlockSize) {
    std::size_t got = 0;
    while (got < left) {
      const ssize_t r = ::pread(fd_, out + got, left - got, at + static_cast<off_t>(got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      got += static_cast<std::size_t>(r);
    }
    return true;
  }
  while (left > 0) {
    if (blockStart_ < 0 || at < blockStart_ ||
        at >= blockStart_ + static_cast<std::int64_t>(block_.size())) {
      if (!LoadBlock(at)) return false;
    }
    const std::size_t inBlock = static_cast<std::size_t>(at - blockStart_);
    const std::size_t take = std::min(left, block_.size() - inBlock);
    std::memcpy(out, block_.data() + inBlock, take);
    out += take;
    at += static_cast<std::int64_t>(take);
    left -= take;
  }
  return true;
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
