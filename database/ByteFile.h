// Positioned, bounds-checked reads of one database file.
//
// Every byte the viewer takes from a database file passes through here.  A
// file is opened for reading only, without any lock, and closed when the
// object goes; it is never created, written, truncated or locked.  Positions
// are 1-based, as the routines count them: position p is the byte at offset
// p - 1.  A read fails (returns false, leaving its destination as it was) when
// the file is not open, the position is below 1, or any byte of it lies past
// the end of the file as it was when opened; nothing outside the file is ever
// read.
//
// Reads go through one cached block, so the many small reads of the index
// walk and of the text readers cost a system call per block, not per field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "database/SharedState.h"

namespace ondrel {

class ByteFile {
 public:
  ByteFile() = default;
  explicit ByteFile(const std::string& path) { Open(path); }
  ~ByteFile() { Close(); }
  ByteFile(const ByteFile&) = delete;
  ByteFile& operator=(const ByteFile&) = delete;

  // Opens the file for reading; false when it does not exist or cannot be
  // read (a directory counts as unreadable).
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  std::int64_t Size() const { return size_; }

  // Reads n bytes at the 1-based position into dst.
  bool Read(std::int64_t position, void* dst, std::size_t n);
  // Reads n bytes at the position as text (one character per byte).
  bool ReadText(std::int64_t position, std::size_t n, std::string& out);
  // The BE16 (signed) and BE32 (unsigned) numbers at a position.
  bool ReadBE16(std::int64_t position, Integer& out);
  bool ReadBE32(std::int64_t position, std::uint32_t& out);
  // A BE32 where a record number, node number or count is expected: values of
  // 2^31 and above are no valid Long and fail like a read past the end.
  bool ReadLong(std::int64_t position, Long& out);

 private:
  static constexpr std::size_t kBlockSize = 64 * 1024;
  bool LoadBlock(std::int64_t offset);

  int fd_ = -1;
  std::int64_t size_ = 0;
  std::vector<unsigned char> block_;
  std::int64_t blockStart_ = -1;  // file offset of block_[0]; -1 = nothing cached
};

// Reads a text file one character at a time from its start, as the
// definition and profile readers do.
class CharReader {
 public:
  explicit CharReader(ByteFile& file) : file_(file) {}
  bool AtEnd() const { return next_ > file_.Size(); }
  // The next character; false at the end of the file (or on a failed read).
  bool Next(char& c);

 private:
  ByteFile& file_;
  std::int64_t next_ = 1;
};

}  // namespace ondrel
