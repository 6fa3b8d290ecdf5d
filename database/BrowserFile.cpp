// The file seam (RandomAccessFile.h) in a browser, for the core compiled to
// WebAssembly and run in a dedicated Web Worker.  The files are the File
// objects the user chose (a folder through <input webkitdirectory>, or one
// dropped on the page), which the worker registers by path before the core
// asks for them: Module.ondrelFiles maps "FOLDER/NAME" to its File.  A read
// takes File.slice(position, position + n) through FileReaderSync, so a
// large data file costs only the pieces read; nothing is ever loaded whole,
// and no SharedArrayBuffer is needed.
//
// A browser tells no device or inode: a file's identity is its place in the
// registry, its size and its last-modified time (milliseconds, given as
// nanoseconds).  A file changed or removed after it was chosen fails its
// reads (the browser refuses them), which the readers report as damage.
#include <emscripten.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "database/RandomAccessFile.h"

namespace ondrel {
namespace {

// What a path names: 0 nothing, 1 a chosen file, 2 a folder holding chosen
// files.  For a file, out gets its registry number, its size and its
// last-modified time in milliseconds, as doubles.
EM_JS(int, BrowserStat, (const char* path, double* out), {
  const files = Module["ondrelFiles"];
  if (!files) return 0;
  let name = UTF8ToString(path);
  while (name.endsWith("/")) name = name.slice(0, -1);
  const file = files.get(name);
  if (file) {
    let number = 0;
    for (const key of files.keys()) {
      if (key === name) break;
      ++number;
    }
    HEAPF64[out >> 3] = number;
    HEAPF64[(out >> 3) + 1] = file.size;
    HEAPF64[(out >> 3) + 2] = file.lastModified;
    return 1;
  }
  const prefix = name + "/";
  for (const key of files.keys())
    if (key.startsWith(prefix)) return 2;
  return 0;
});

// Reads up to n bytes at the position of the file at path into the memory
// at dst: the count read, or -1 when the browser refused (the file changed
// or went away since it was chosen, or cannot be read).
EM_JS(double, BrowserRead, (const char* path, char* dst, double n, double position), {
  const file = Module["ondrelFiles"] && Module["ondrelFiles"].get(UTF8ToString(path));
  if (!file) return -1;
  try {
    const bytes = new Uint8Array(new FileReaderSync().readAsArrayBuffer(file.slice(position, position + n)));
    HEAPU8.set(bytes, dst);
    return bytes.length;
  } catch (e) {
    return -1;
  }
});

// The names directly inside a folder, each followed by a NUL, in memory the
// caller frees; null when no chosen file lies in it.
EM_JS(char*, BrowserDirectoryNames, (const char* directory, std::uint32_t* length), {
  const files = Module["ondrelFiles"];
  if (!files) return 0;
  let prefix = UTF8ToString(directory);
  while (prefix.endsWith("/")) prefix = prefix.slice(0, -1);
  prefix += "/";
  const names = new Set();
  for (const key of files.keys())
    if (key.startsWith(prefix)) names.add(key.slice(prefix.length).split("/")[0]);
  if (names.size === 0) return 0;
  const encoded = [];
  let size = 0;
  for (const name of names) {
    const bytes = new TextEncoder().encode(name);
    encoded.push(bytes);
    size += bytes.length + 1;
  }
  const out = _malloc(size);
  let at = out;
  for (const bytes of encoded) {
    HEAPU8.set(bytes, at);
    HEAPU8[at + bytes.length] = 0;
    at += bytes.length + 1;
  }
  HEAPU32[length >> 2] = size;
  return out;
});

EM_JS(double, BrowserNow, (), { return (performance.timeOrigin + performance.now()) * 1e6; });

// A worker of a page opened from disk has no SharedArrayBuffer to wait on,
// and the waits asked for are a few tens of milliseconds: it watches the
// clock instead.
EM_JS(void, BrowserRest, (double milliseconds), {
  const end = performance.now() + milliseconds;
  while (performance.now() < end) {
  }
});

struct Stat {
  int kind = 0;
  double number = 0, size = 0, modified = 0;
};

Stat StatOf(const std::string& path) {
  double out[3] = {};
  Stat s;
  s.kind = BrowserStat(path.c_str(), out);
  s.number = out[0];
  s.size = out[1];
  s.modified = out[2];
  return s;
}

// Every read through FileReaderSync costs the worker a round trip to the
// browser, some milliseconds whatever its length, and a large read moves
// little more than 100 MB a second: reads that go on where the last one
// ended (a walk of the tree, an export, a search in record order) are read
// ahead in pieces that double up to kLargestAhead, and a read elsewhere
// takes just the bytes asked for.  The build for the page has no read-ahead
// thread, so one thread reads a file at a time.
class BrowserFile : public RandomAccessFile {
 public:
  BrowserFile(std::string path, std::int64_t size) : path_(std::move(path)), size_(size) {}

  std::int64_t Size() const override { return size_; }

  bool ReadAt(std::int64_t offset, void* dst, std::size_t n) const override {
    if (offset < 0 || static_cast<std::uint64_t>(offset) + n > static_cast<std::uint64_t>(size_)) return false;
    const std::int64_t end = offset + static_cast<std::int64_t>(n);
    const std::int64_t aheadEnd = aheadStart_ + static_cast<std::int64_t>(ahead_.size());
    if (aheadStart_ >= 0 && offset >= aheadStart_ && end <= aheadEnd) {
      std::memcpy(dst, ahead_.data() + (offset - aheadStart_), n);
      return true;
    }
    // Reads elsewhere (a tree's interior nodes among its leaves) leave the
    // run read ahead as it is; one that goes on where the last such read
    // ended starts a run of its own.
    const bool onwards = aheadStart_ >= 0 && offset >= aheadEnd && offset - aheadEnd <= kGap;
    const bool starts = lastEnd_ >= 0 && offset >= lastEnd_ && offset - lastEnd_ <= kGap;
    if (!onwards && !starts) {
      lastEnd_ = end;
      return ReadWhole(offset, static_cast<char*>(dst), n);
    }
    lastEnd_ = -1;
    if (onwards) {
      // The next piece of the run, from where the last ended; the end of
      // the last is kept before it, for reads that step back a little.
      run_ = std::min<std::int64_t>(2 * run_, kLargestAhead);
      const std::int64_t keep = std::min<std::int64_t>(kKeep, static_cast<std::int64_t>(ahead_.size()));
      const std::int64_t length = std::min(std::max(run_, end - aheadEnd), size_ - aheadEnd);
      std::memmove(ahead_.data(), ahead_.data() + (ahead_.size() - static_cast<std::size_t>(keep)),
                   static_cast<std::size_t>(keep));
      ahead_.resize(static_cast<std::size_t>(keep + length));
      aheadStart_ = -1;
      if (!ReadWhole(aheadEnd, ahead_.data() + keep, static_cast<std::size_t>(length))) return false;
      aheadStart_ = aheadEnd - keep;
    } else {
      run_ = 2 * static_cast<std::int64_t>(n);
      ahead_.resize(static_cast<std::size_t>(std::min(run_, size_ - offset)));
      aheadStart_ = -1;
      if (!ReadWhole(offset, ahead_.data(), ahead_.size())) return false;
      aheadStart_ = offset;
    }
    std::memcpy(dst, ahead_.data() + (offset - aheadStart_), n);
    return true;
  }

 private:
  static constexpr std::int64_t kLargestAhead = 16 * 1024 * 1024;
  // A read this far past the end of another still goes on from it.
  static constexpr std::int64_t kGap = 64 * 1024;
  // What a run keeps of its last piece.
  static constexpr std::int64_t kKeep = 1024 * 1024;

  bool ReadWhole(std::int64_t offset, char* out, std::size_t n) const {
    std::size_t got = 0;
    while (got < n) {
      const double r = BrowserRead(path_.c_str(), out + got, static_cast<double>(n - got),
                                   static_cast<double>(offset + static_cast<std::int64_t>(got)));
      if (r <= 0) return false;
      got += static_cast<std::size_t>(r);
    }
    return true;
  }

  std::string path_;
  std::int64_t size_;
  mutable std::vector<char> ahead_;
  mutable std::int64_t aheadStart_ = -1;
  mutable std::int64_t lastEnd_ = -1;
  mutable std::int64_t run_ = 0;
};

}  // namespace

std::unique_ptr<RandomAccessFile> OpenRandomAccess(const std::string& path) {
  const Stat st = StatOf(path);
  if (path.empty() || st.kind != 1) {
    errno = ENOENT;
    return nullptr;
  }
  return std::make_unique<BrowserFile>(path, static_cast<std::int64_t>(st.size));
}

PathKind KindOfPath(const std::string& path) {
  switch (path.empty() ? 0 : StatOf(path).kind) {
    case 1: return PathKind::RegularFile;
    case 2: return PathKind::Directory;
    default: return PathKind::Missing;
  }
}

bool DirectoryNames(const std::string& directory, std::vector<std::string>& names) {
  names.clear();
  std::uint32_t length = 0;
  char* all = BrowserDirectoryNames(directory.c_str(), &length);
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
  const Stat st = StatOf(path);
  if (path.empty() || st.kind != 1) return id;
  id.present = true;
  id.inode = static_cast<std::uint64_t>(st.number) + 1;
  id.size = static_cast<std::int64_t>(st.size);
  id.modified = static_cast<std::int64_t>(st.modified) * 1'000'000;
  id.changed = id.modified;
  return id;
}

std::int64_t CoarseNow() { return static_cast<std::int64_t>(BrowserNow()); }

std::int64_t CoarseTick() { return 1'000'000; }

void Rest(std::int64_t nanoseconds) { BrowserRest(static_cast<double>(nanoseconds) / 1e6); }

}  // namespace ondrel
