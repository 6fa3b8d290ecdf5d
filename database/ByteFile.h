// Positioned, bounds-checked reads of one database file.
//
// Every byte the viewer takes from a database file passes through here, and
// reaches the file through the file seam (RandomAccessFile.h).  A file is
// opened for reading only, without any lock, and closed when the object
// goes; it is never created, written, truncated or locked.  Positions
// are 1-based, as the routines count them: position p is the byte at offset
// p - 1.  A read fails (returns false, leaving its destination as it was) when
// the file is not open, the position is below 1, or any byte of it lies past
// the end of the file as it was when opened; nothing outside the file is ever
// read.
//
// Reads go through a small cache of blocks, so the many small reads of the
// index walk, the record window and the text readers cost a system call per
// block, not per field.  A miss loads a 4 KiB page; a miss that continues a
// cached block loads twice that block's size, up to 256 KiB, so reading
// through a file in order (the leaves of a tree, records in record order)
// costs few calls while scattered reads (records in another key's order)
// copy little.  Several blocks stay cached so that the walk's return to a
// parent node does not evict the run of leaves it is reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "database/PageBuffer.h"
#include "database/RandomAccessFile.h"
#include "database/SharedState.h"

namespace ondrel {

class ByteFile {
 public:
  ByteFile() = default;
  explicit ByteFile(const std::string& path) { Open(path); }
  ~ByteFile() { Close(); }
  ByteFile(const ByteFile&) = delete;
  ByteFile& operator=(const ByteFile&) = delete;

  // Opens the file for reading; false when it does not exist, cannot be read
  // or is no regular file (a directory, FIFO, socket or device counts as
  // unreadable and is never opened for a blocking read).
  bool Open(const std::string& path);
  // Reads a file opened already, through another implementation of the
  // seam (one that holds its bytes in memory, say); false when it is null.
  bool Open(std::unique_ptr<RandomAccessFile> file);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  // The open file's identity now (RandomAccessFile::OpenIdentity); false
  // when it is not open or the system gives none this way.
  bool OpenIdentity(FileIdentity& identity) const { return file_ && file_->OpenIdentity(identity); }
  // RandomAccessFile::TellsNames and NamedBy of the open file.
  bool TellsNames() const { return file_ && file_->TellsNames(); }
  bool NamedBy(const std::string& path) const { return file_ && file_->NamedBy(path); }
  // Drops the blocks read so far: the next reads go to the file.
  void Forget();
  // Holds n bytes known to be the file's at the 1-based position (read
  // from it before, while it was as it is) as a block, so that reads of
  // them need no call; nothing when they lie outside the file as opened or
  // are more than a page.
  void Offer(std::int64_t position, const unsigned char* bytes, std::size_t n);
  std::int64_t Size() const { return size_; }

  // Reads n bytes at the 1-based position into dst.
  bool Read(std::int64_t position, void* dst, std::size_t n);
  // The same without the block cache: one thread may call it while another
  // reads the file (ReadAhead.h).
  bool ReadUncached(std::int64_t position, void* dst, std::size_t n) const;
  // Reads n bytes at the position as text (one character per byte).
  bool ReadText(std::int64_t position, std::size_t n, std::string& out);
  // The BE16 (signed) and BE32 (unsigned) numbers at a position.
  bool ReadBE16(std::int64_t position, Integer& out);
  bool ReadBE32(std::int64_t position, std::uint32_t& out);
  // A BE32 where a record number, node number or count is expected: values of
  // 2^31 and above are no valid Long and fail like a read past the end.
  bool ReadLong(std::int64_t position, Long& out);

 private:
  static constexpr std::int64_t kPageSize = 4 * 1024;
  static constexpr std::int64_t kLargestBlock = 256 * 1024;
  static constexpr std::size_t kBlocks = 8;

  struct Block {
    // Not cleared when it grows: every byte used has been read first.
    PageBuffer<unsigned char> bytes;
    std::size_t size = 0;
    std::size_t capacity = 0;
    std::int64_t start = -1;  // file offset of bytes[0]; -1 = empty
    std::uint64_t used = 0;   // when it last served a read, for eviction
    std::int64_t End() const { return start + static_cast<std::int64_t>(size); }
    bool Holds(std::int64_t offset, std::size_t n) const {
      return start >= 0 && offset >= start && offset + static_cast<std::int64_t>(n) <= End();
    }
  };

  // The block that holds [offset, offset + n), loading it on a miss; null
  // when the bytes cannot be read.  n is at most kLargestBlock.
  const Block* Fetch(std::int64_t offset, std::size_t n);
  // Makes `block` the one of [start, start + size), its bytes still to be
  // put in, and the one that served the last read.
  Block* Hold(Block& block, std::int64_t start, std::size_t size);
  bool ReadDirect(std::int64_t offset, void* dst, std::size_t n) const;

  std::unique_ptr<RandomAccessFile> file_;
  std::int64_t size_ = 0;
  Block blocks_[kBlocks];
  Block* last_ = nullptr;  // the block that served the last read
  std::uint64_t clock_ = 0;
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
