// The readers' one way to the files of a database: positioned reads of a
// file opened for reading only, and the few questions about names that the
// readers ask (what a name names, what a directory holds, a file's
// identity, the time).  No reader calls the system itself; PosixFile.cpp
// answers through POSIX, and a build for a system without it links an
// implementation of its own in its place, with no reader changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "database/FileIdentity.h"

namespace ondrel {

class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;
  // The file's size when it was opened.
  virtual std::int64_t Size() const = 0;
  // Reads n bytes at the 0-based offset into dst; false when any of them
  // cannot be read (an error, or the file shrank since it was opened).  Two
  // threads may read one file at once.
  virtual bool ReadAt(std::int64_t offset, void* dst, std::size_t n) const = 0;
  // The identity (FileIdentity.h) of the file as it is now, taken from the
  // open file rather than its name: one call where a look at the names of a
  // set takes several a file.  False where the system gives none this way;
  // the caller then looks at the names (IdentityOf).
  virtual bool OpenIdentity(FileIdentity& identity) const {
    (void)identity;
    return false;
  }
  // Whether a name names this open file now (the same file, whatever was
  // written to it since), in one call.  Only where TellsNames() does: where
  // it does not, a reader holds a file open only while it reads.
  virtual bool TellsNames() const { return false; }
  virtual bool NamedBy(const std::string& path) const {
    (void)path;
    return false;
  }
};

// Opens a file for reading only, without a lock, never creating it; null
// when it is missing, cannot be read or is no regular file (a directory,
// FIFO, socket or device is never opened for a blocking read).  errno then
// tells why, where the system said.
std::unique_ptr<RandomAccessFile> OpenRandomAccess(const std::string& path);

enum class PathKind { Missing, RegularFile, Directory, Other };
// What a name names now (links followed).
PathKind KindOfPath(const std::string& path);

// The names a directory holds; false when it cannot be read.
bool DirectoryNames(const std::string& directory, std::vector<std::string>& names);

// The identity of the regular file a name names now; not present when there
// is none, or the name changed while it was taken.
FileIdentity IdentityOfFile(const std::string& path);

// The wall clock, in nanoseconds, as cheaply as the system gives it, and
// the step it moves in.
std::int64_t CoarseNow();
std::int64_t CoarseTick();

// Rests the calling thread for about that many nanoseconds.
void Rest(std::int64_t nanoseconds);

}  // namespace ondrel
