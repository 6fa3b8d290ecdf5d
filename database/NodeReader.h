// The entries of one index node, read from the file in one call.
//
// The index walk and the record window read a node's entries field by field,
// and each field read succeeds or fails exactly as a read of the file would.
// Load copies the part of a node's byte range that lies inside the file; a
// field inside that copy is taken from it, any other field is read from the
// file (and fails there when it lies outside).  ReadEntry reads one entry
// the same way, for the walk's interior nodes and the window's leaves alike.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "database/BigEndian.h"
#include "database/ByteFile.h"
#include "database/StdCompat.h"

namespace ondrel {

class NodeReader {
 public:
  explicit NodeReader(ByteFile& file) : file_(file) {}

  // Copies the bytes at 1-based positions [from, to) that lie in the file.
  void Load(std::int64_t from, std::int64_t to) {
    from = std::max<std::int64_t>(from, 1);
    to = std::min<std::int64_t>(to, file_.Size() + 1);
    start_ = from;
    size_ = to > from ? static_cast<std::size_t>(to - from) : 0;
    if (size_ > capacity_) {
      bytes_ = compat::make_unique_for_overwrite<unsigned char[]>(size_);
      capacity_ = size_;
    }
    if (size_ > 0 && !file_.Read(from, bytes_.get(), size_)) size_ = 0;
  }

  // Whether `p` points into the bytes loaded.
  bool Holds(const unsigned char* p) const {
    return std::less_equal<>()(bytes_.get(), p) && std::less<>()(p, bytes_.get() + size_);
  }

  bool Read(std::int64_t position, void* dst, std::size_t n) {
    if (position >= start_ &&
        position - start_ + static_cast<std::int64_t>(n) <= static_cast<std::int64_t>(size_)) {
      if (n > 0) std::memcpy(dst, bytes_.get() + (position - start_), n);
      return true;
    }
    return file_.Read(position, dst, n);
  }

  bool ReadBE32(std::int64_t position, std::uint32_t& out) {
    unsigned char b[4];
    if (!Read(position, b, 4)) return false;
    out = BE32(b);
    return true;
  }

  // A BE32 record or node number: 2^31 and above fail.
  bool ReadLong(std::int64_t position, Long& out) {
    std::uint32_t v;
    if (!ReadBE32(position, v) || v >= 0x80000000u) return false;
    out = static_cast<Long>(v);
    return true;
  }

  // One entry at `cursor`, field by field: the flag byte, the key (KeyLength
  // bytes), the extra BE32 when the entry tail is 8, and the BE32
  // pointer (a child node number or a record number; 2^31 and above fail).
  // The cursor moves past every field whether or not its read succeeds; a
  // field that cannot be read leaves its value as it was.  A key length
  // below 0, from a damaged key description, cannot be read and moves the
  // cursor by nothing, so every entry moves it forward.  Returns the number
  // of fields that could not be read.
  //
  // `key`, when given, is set to the entry's key bytes (valid until the next
  // call or the next Load), or to null when the key could not be read.
  int ReadEntry(std::int64_t& cursor, Integer keyLength, Integer entryTail, unsigned char& flag,
                Long& pointer, const unsigned char** key = nullptr) {
    // An entry wholly inside the bytes loaded is taken from them in place:
    // the same values as the reads below give, without a copy of its key.
    const std::int64_t size = 1 + std::int64_t{keyLength} + entryTail;
    if (keyLength >= 0 && cursor >= start_ && cursor - start_ + size <= static_cast<std::int64_t>(size_)) {
      const unsigned char* at = bytes_.get() + (cursor - start_);
      flag = at[0];
      if (key) *key = at + 1;
      const std::uint32_t v = BE32(at + size - 4);
      cursor += size;
      if (v >= 0x80000000u) return 1;
      pointer = static_cast<Long>(v);
      return 0;
    }
    return ReadEntryPiecewise(cursor, keyLength, entryTail, flag, pointer, key);
  }

 private:
  // ReadEntry for an entry not wholly inside the bytes loaded: read piece by
  // piece.  Out of line, so that the common case above stays small.
  int ReadEntryPiecewise(std::int64_t& cursor, Integer keyLength, Integer entryTail, unsigned char& flag,
                         Long& pointer, const unsigned char** key);

  ByteFile& file_;
  std::vector<unsigned char> key_;
  std::int64_t start_ = 0;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::unique_ptr<unsigned char[]> bytes_;  // not cleared: every byte used is read first
};

inline int NodeReader::ReadEntryPiecewise(std::int64_t& cursor, Integer keyLength, Integer entryTail,
                                          unsigned char& flag, Long& pointer, const unsigned char** key) {
  int failed = 0;
  if (key) *key = nullptr;
  if (!Read(cursor, &flag, 1)) ++failed;
  cursor += 1;
  if (keyLength < 0) {
    ++failed;
  } else {
    key_.resize(static_cast<std::size_t>(keyLength) + 1);  // never empty: data() is never null
    if (keyLength > 0 && !Read(cursor, key_.data(), static_cast<std::size_t>(keyLength))) {
      ++failed;
    } else if (key) {
      *key = key_.data();
    }
    cursor += keyLength;
  }
  if (entryTail == 8) {
    std::uint32_t extra = 0;
    if (!ReadBE32(cursor, extra)) ++failed;
    cursor += 4;
  }
  if (!ReadLong(cursor, pointer)) ++failed;
  cursor += 4;
  return failed;
}

}  // namespace ondrel
