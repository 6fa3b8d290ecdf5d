// The file seam (RandomAccessFile.h) through Node.js's file system, for the
// core compiled to WebAssembly and run by Node.  Every read is a positioned
// fs.readSync of just the bytes asked for, straight into the WebAssembly
// memory, so a file is read where it lies and never loaded whole.  File
// times come from a BigInt stat, to the nanosecond, as the POSIX seam has
// them; a name is looked at without following it into a FIFO or device,
// which are refused before they are opened, as there.
#include <emscripten.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "database/RandomAccessFile.h"

namespace ondrel {
namespace {

// Why Node refused, as a small number the C++ side turns into errno (the
// WebAssembly C library numbers errno its own way).
enum NodeError { kOther = 1, kMissing = 2, kDenied = 3, kTooMany = 4 };

int ErrnoOf(int code) {
  switch (code) {
    case kMissing: return ENOENT;
    case kDenied: return EACCES;
    case kTooMany: return EMFILE;
    default: return EIO;
  }
}

// A file's identity as eight 32-bit words (present, then the low and high
// halves of device, inode, size, modified, changed), from stat of an open
// descriptor (fd >= 0) or of a name.  Kind: 0 missing, 1 regular file,
// 2 directory, 3 anything else.
EM_JS(int, NodeStat, (int fd, const char* path, std::uint32_t* out), {
  const fs = require('fs');
  let st;
  try {
    st = fd >= 0 ? fs.fstatSync(fd, {bigint: true}) : fs.statSync(UTF8ToString(path), {bigint: true});
  } catch (e) {
    return 0;
  }
  const words = [st.dev, st.ino, st.size, st.mtimeNs, st.ctimeNs];
  const at = out >> 2;
  HEAPU32[at] = 1;
  // (BigInt literals are beyond the toolchain's JavaScript parser.)
  const low = BigInt(0xffffffff), shift = BigInt(32);
  for (let i = 0; i < words.length; ++i) {
    const v = BigInt.asUintN(64, words[i]);
    HEAPU32[at + 1 + 2 * i] = Number(v & low);
    HEAPU32[at + 2 + 2 * i] = Number(v >> shift);
  }
  return st.isFile() ? 1 : st.isDirectory() ? 2 : 3;
});

// Opens for reading only, without creating, without a lock, and without
// blocking should the name have become a FIFO since it was looked at.
// Returns the descriptor, or minus the NodeError.
EM_JS(int, NodeOpen, (const char* path), {
  const fs = require('fs');
  const c = fs.constants;
  try {
    return fs.openSync(UTF8ToString(path), c.O_RDONLY | (c.O_NONBLOCK || 0) | (c.O_NOCTTY || 0));
  } catch (e) {
    return e.code === 'ENOENT' || e.code === 'ENOTDIR' ? -2 : e.code === 'EACCES' || e.code === 'EPERM' ? -3
         : e.code === 'EMFILE' || e.code === 'ENFILE' ? -4 : -1;
  }
});

EM_JS(void, NodeClose, (int fd), {
  try {
    require('fs').closeSync(fd);
  } catch (e) {
  }
});

// Reads up to n bytes at the position into the memory at dst: the count
// read, 0 at the end of the file, -1 on an error.
EM_JS(double, NodeRead, (int fd, char* dst, double n, double position), {
  try {
    return require('fs').readSync(fd, HEAPU8, dst, n, position);
  } catch (e) {
    return -1;
  }
});

// The names in a directory, each followed by a NUL, in memory the caller
// frees; null when the directory cannot be read.
EM_JS(char*, NodeDirectoryNames, (const char* directory, std::uint32_t* length), {
  let names;
  try {
    names = require('fs').readdirSync(UTF8ToString(directory), {encoding: 'buffer'});
  } catch (e) {
    return 0;
  }
  let size = 0;
  for (const name of names) size += name.length + 1;
  const out = _malloc(Math.max(size, 1));
  let at = out;
  for (const name of names) {
    HEAPU8.set(name, at);
    HEAPU8[at + name.length] = 0;
    at += name.length + 1;
  }
  HEAPU32[length >> 2] = size;
  return out;
});

EM_JS(double, NodeNow, (), { return (performance.timeOrigin + performance.now()) * 1e6; });

// A real pause of the thread (Node lets its main thread wait), not a spin.
EM_JS(void, NodeRest, (double milliseconds), {
  Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, milliseconds);
});

std::uint64_t Word64(const std::uint32_t* words, int i) {
  return std::uint64_t{words[1 + 2 * i]} | std::uint64_t{words[2 + 2 * i]} << 32;
}

struct Stat {
  int kind = 0;  // as NodeStat
  std::uint32_t words[11] = {};
  std::uint64_t Device() const { return Word64(words, 0); }
  std::uint64_t Inode() const { return Word64(words, 1); }
  std::int64_t Size() const { return static_cast<std::int64_t>(Word64(words, 2)); }
};

Stat StatOf(int fd, const std::string& path) {
  Stat s;
  s.kind = NodeStat(fd, path.c_str(), s.words);
  return s;
}

int OpenReadOnly(const std::string& path) {
  const int fd = NodeOpen(path.c_str());
  if (fd < 0) errno = ErrnoOf(-fd);
  return fd;
}

class NodeFile : public RandomAccessFile {
 public:
  NodeFile(int fd, std::int64_t size) : fd_(fd), size_(size) {}
  ~NodeFile() override { NodeClose(fd_); }
  NodeFile(const NodeFile&) = delete;
  NodeFile& operator=(const NodeFile&) = delete;

  std::int64_t Size() const override { return size_; }

  bool ReadAt(std::int64_t offset, void* dst, std::size_t n) const override {
    auto* out = static_cast<char*>(dst);
    std::size_t got = 0;
    while (got < n) {
      const double r = NodeRead(fd_, out + got, static_cast<double>(n - got), static_cast<double>(offset + got));
      if (r <= 0) return false;  // an error, or the file shrank since it was opened
      got += static_cast<std::size_t>(r);
    }
    return true;
  }

 private:
  int fd_;
  std::int64_t size_;
};

}  // namespace

std::unique_ptr<RandomAccessFile> OpenRandomAccess(const std::string& path) {
  if (path.empty()) return nullptr;
  // Only a regular file is a database file; anything else counts as a file
  // that cannot be opened, and is not opened.
  if (StatOf(-1, path).kind != 1) {
    errno = ENOENT;
    return nullptr;
  }
  const int fd = OpenReadOnly(path);
  if (fd < 0) return nullptr;
  const Stat st = StatOf(fd, path);
  if (st.kind != 1) {
    NodeClose(fd);
    errno = EIO;
    return nullptr;
  }
  return std::make_unique<NodeFile>(fd, st.Size());
}

PathKind KindOfPath(const std::string& path) {
  if (path.empty()) return PathKind::Missing;
  switch (StatOf(-1, path).kind) {
    case 1: return PathKind::RegularFile;
    case 2: return PathKind::Directory;
    case 3: return PathKind::Other;
    default: return PathKind::Missing;
  }
}

bool DirectoryNames(const std::string& directory, std::vector<std::string>& names) {
  names.clear();
  std::uint32_t length = 0;
  char* all = NodeDirectoryNames(directory.c_str(), &length);
  if (!all) return false;
  for (std::uint32_t at = 0; at < length;) {
    names.emplace_back(all + at);
    at += static_cast<std::uint32_t>(names.back().size()) + 1;
  }
  std::free(all);
  return true;
}

FileIdentity IdentityOfFile(const std::string& path) {
  FileIdentity id;
  if (path.empty() || StatOf(-1, path).kind != 1) return id;
  const int fd = OpenReadOnly(path);
  if (fd < 0) return id;
  const Stat st = StatOf(fd, path);
  NodeClose(fd);
  // The name must still name the file that was opened.
  const Stat named = StatOf(-1, path);
  if (st.kind != 1 || named.kind != 1 || named.Device() != st.Device() || named.Inode() != st.Inode()) return id;
  id.present = true;
  id.device = st.Device();
  id.inode = st.Inode();
  id.size = st.Size();
  id.modified = static_cast<std::int64_t>(Word64(st.words, 3));
  id.changed = static_cast<std::int64_t>(Word64(st.words, 4));
  return id;
}

std::int64_t CoarseNow() { return static_cast<std::int64_t>(NodeNow()); }

// Node's wall clock moves in steps of well under a millisecond; a
// millisecond is the step allowed for.
std::int64_t CoarseTick() { return 1'000'000; }

void Rest(std::int64_t nanoseconds) { NodeRest(static_cast<double>(nanoseconds) / 1e6); }

}  // namespace ondrel
