#include "database/ByteFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "database/BigEndian.h"

namespace ondrel {

bool ByteFile::Open(const std::string& path) {
  Close();  // before the new file is opened, so that it never holds two
  return Open(OpenRandomAccess(path));
}

bool ByteFile::Open(std::unique_ptr<RandomAccessFile> file) {
  Close();
  file_ = std::move(file);
  if (!file_) return false;
  size_ = file_->Size();
  return true;
}

void ByteFile::Close() {
  file_.reset();
  size_ = 0;
  for (Block& b : blocks_) {
    b.start = -1;
    b.bytes.reset();
    b.size = b.capacity = 0;
  }
  last_ = nullptr;
}

void ByteFile::Forget() {
  for (Block& b : blocks_) {
    b.start = -1;
    b.size = 0;
  }
  last_ = nullptr;
}

void ByteFile::Offer(std::int64_t position, const unsigned char* bytes, std::size_t n) {
  const std::int64_t offset = position - 1;
  if (!file_ || position < 1 || n == 0 || static_cast<std::int64_t>(n) > kPageSize ||
      offset > size_ - static_cast<std::int64_t>(n))
    return;
  ++clock_;
  Block* victim = &blocks_[0];
  for (Block& b : blocks_) {
    if (b.Holds(offset, n)) return;
    if (b.used < victim->used) victim = &b;
  }
  Hold(*victim, offset, n);
  std::memcpy(victim->bytes.get(), bytes, n);
}

ByteFile::Block* ByteFile::Hold(Block& block, std::int64_t start, std::size_t size) {
  block.start = -1;
  block.size = size;
  if (block.size > block.capacity) {
    block.bytes = NewPageBuffer<unsigned char>(block.size);
    block.capacity = block.size;
  }
  block.start = start;
  block.used = clock_;
  return last_ = &block;
}

bool ByteFile::ReadDirect(std::int64_t offset, void* dst, std::size_t n) const {
  return file_->ReadAt(offset, dst, n);
}

const ByteFile::Block* ByteFile::Fetch(std::int64_t offset, std::size_t n) {
  ++clock_;
  Block* victim = &blocks_[0];
  std::int64_t length = kPageSize;
  std::int64_t start = offset - offset % kPageSize;
  const std::int64_t end = offset + static_cast<std::int64_t>(n);
  for (Block& b : blocks_) {
    if (b.Holds(offset, n)) {
      b.used = clock_;
      return last_ = &b;
    }
    if (b.start >= 0 && b.start <= start && b.End() < end) {
      // This read continues a cached block, or lands a little past its end:
      // read further ahead this time, from the block's end when there is a
      // gap.  A walk reads a parent node that lies just beyond the leaves
      // read so far, then the leaves between: one read serves both.  The
      // gap allowed grows with the run, so a scattered read still loads
      // one page.
      const auto ahead = std::min<std::int64_t>(2 * static_cast<std::int64_t>(b.size), kLargestBlock);
      if (b.End() >= start) {
        length = std::max(length, ahead);
      } else if (end - b.End() <= ahead && ahead > length) {
        start = b.End();
        length = ahead;
      }
    }
    if (b.used < victim->used) victim = &b;
  }
  length = std::max<std::int64_t>(length, end - start);
  length = std::min<std::int64_t>(length, size_ - start);
  Hold(*victim, start, static_cast<std::size_t>(length));
  if (ReadDirect(start, victim->bytes.get(), victim->size)) return victim;
  victim->start = -1;  // nothing of it was read
  last_ = nullptr;
  return nullptr;
}

bool ByteFile::Read(std::int64_t position, void* dst, std::size_t n) {
  if (!file_ || position < 1) return false;
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
  if (!file_ || position < 1) return false;
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
