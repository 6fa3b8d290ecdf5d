// A range of a file read front to back in pieces by a thread of its own, a
// few pieces ahead of the caller.
//
// A pass over a whole data file spends about a third of its time in the
// kernel, copying the file's cached bytes into the process.  With the copy
// on another thread, the caller works on one piece while the next ones are
// read.  Nothing else changes: the pieces come in file order, each valid
// until the next call, and a piece that cannot be read (the file shrank) ends
// the range.  When no thread can be started the pieces are read on the
// caller's thread, as they would be without this class; a build for a
// system without threads (ONDREL_READ_AHEAD_THREAD 0, the CMake option
// ONDREL_READ_AHEAD off) always reads them so.  The pieces are read through
// the file seam (ByteFile::ReadUncached).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "database/ByteFile.h"
#include "database/PageBuffer.h"
#include "database/Threads.h"

namespace ondrel {

class ReadAhead {
 public:
  // Bytes [offset, offset + length) of `file` (0-based), in pieces of
  // `pieceBytes` (the last may be shorter).  The file stays open and is not
  // read through its cache meanwhile by this class (ReadUncached).
  ReadAhead(const ByteFile& file, std::int64_t offset, std::int64_t length, std::size_t pieceBytes);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  struct Piece {
    const char* bytes = nullptr;
    std::size_t size = 0;  // 0: the range is done
    bool read = true;      // false: this piece could not be read, and none follows
  };
  // The next piece in file order.
  Piece Next();

 private:
  static constexpr int kBuffers = 3;  // the one the caller holds, and two read ahead

  std::size_t SizeOf(std::int64_t piece) const;
  bool ReadPiece(std::int64_t piece, char* into) const;
  void Run();

  const ByteFile& file_;
  std::int64_t offset_;
  std::int64_t length_;
  std::size_t pieceBytes_;
  std::int64_t pieces_;
  std::array<PageBuffer<char>, kBuffers> buffers_;
  std::array<bool, kBuffers> read_{};

  std::int64_t handedOut_ = 0;
  bool threaded_ = false;
#if ONDREL_READ_AHEAD_THREAD
  std::mutex mutex_;
  std::condition_variable changed_;
  std::int64_t produced_ = 0;  // pieces read (or failed)
  bool stop_ = false;
  std::thread thread_;
#endif
};

}  // namespace ondrel
