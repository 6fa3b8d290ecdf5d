// A file's bytes held in memory, as a system without files hands them over;
// the last `cut` bytes fail to read, as those of a file that shrank after it
// was opened.  It counts the reads made of it and the bytes they asked for,
// on whichever threads they were made.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "database/RandomAccessFile.h"

namespace ondrel::test {

class MemoryFile : public RandomAccessFile {
 public:
  explicit MemoryFile(std::string bytes, std::size_t cut = 0)
      : bytes_(std::move(bytes)), readable_(bytes_.size() - cut) {}
  std::int64_t Size() const override { return static_cast<std::int64_t>(bytes_.size()); }
  bool ReadAt(std::int64_t offset, void* dst, std::size_t n) const override {
    ++reads;
    bytesRead += n;
    if (offset < 0 || static_cast<std::size_t>(offset) > readable_ || n > readable_ - static_cast<std::size_t>(offset))
      return false;
    std::memcpy(dst, bytes_.data() + offset, n);
    return true;
  }
  mutable std::atomic<std::size_t> reads{0}, bytesRead{0};

 private:
  std::string bytes_;
  std::size_t readable_;
};

}  // namespace ondrel::test
