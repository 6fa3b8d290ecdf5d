// A file read ahead on a thread of its own gives the same bytes, in the same
// pieces, as reading it piece by piece; a file that shrinks under the reader
// ends the range at the first piece that cannot be read.  The same holds of
// a file that is no file on disk, handed in through the file seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "database/RandomAccessFile.h"
#include "database/ReadAhead.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/TempDir.h"

namespace ondrel {
namespace {

std::string Bytes(std::size_t n) {
  std::string bytes(n, '\0');
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
  return bytes;
}

std::string Write(const test::TempDir& dir, const std::string& bytes) {
  const std::string path = dir.str() + "/file";
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

TEST(ReadAheadTest, PiecesComeInOrderAndHoldTheFilesBytes) {
  test::TempDir dir;
  const std::string bytes = Bytes(1000003);
  ByteFile file(Write(dir, bytes));
  ASSERT_TRUE(file.IsOpen());
  struct Range {
    std::int64_t offset, length;
    std::size_t piece;
  };
  for (const Range& r : {Range{0, 1000003, 4096}, Range{17, 999000, 65536}, Range{5, 100, 4096},
                         Range{0, 1000003, 1000003}, Range{1000003, 0, 512}, Range{3, 7, 1}}) {
    SCOPED_TRACE(std::to_string(r.offset) + "+" + std::to_string(r.length) + " by " + std::to_string(r.piece));
    ReadAhead ahead(file, r.offset, r.length, r.piece);
    std::string got;
    int pieces = 0;
    for (ReadAhead::Piece p = ahead.Next(); p.size > 0; p = ahead.Next(), ++pieces) {
      ASSERT_TRUE(p.read);
      ASSERT_LE(p.size, r.piece);
      got.append(p.bytes, p.size);
    }
    EXPECT_EQ(got, bytes.substr(static_cast<std::size_t>(r.offset), static_cast<std::size_t>(r.length)));
    EXPECT_EQ(pieces, (r.length + static_cast<std::int64_t>(r.piece) - 1) / static_cast<std::int64_t>(r.piece));
    EXPECT_EQ(ahead.Next().size, 0u);  // and stays done
  }
  // Left before its end: the reading thread is stopped, not waited out.
  ReadAhead left(file, 0, 1000003, 1024);
  EXPECT_TRUE(left.Next().read);
}

TEST(ReadAheadTest, AFileCutShortEndsTheRangeWhereItEnds) {
  test::TempDir dir;
  const std::string path = Write(dir, Bytes(1 << 20));
  ByteFile file(path);
  std::filesystem::resize_file(path, 300000);  // after the open: the size the reader knows is stale
  ReadAhead ahead(file, 0, 1 << 20, 65536);
  std::size_t good = 0;
  ReadAhead::Piece p = ahead.Next();
  for (; p.size > 0 && p.read; p = ahead.Next()) good += p.size;
  EXPECT_FALSE(p.read);
  EXPECT_EQ(good, 4u * 65536);  // the pieces wholly before the cut
  EXPECT_EQ(ahead.Next().size, 0u);
}

using test::MemoryFile;

// The block cache hands out the file's bytes whatever the order of the
// reads, reads a walk's pattern (a run of 2 KiB nodes with each parent
// lying a little ahead of the nodes read so far) in few calls, and loads a
// page alone for a read that lands away from every run.
TEST(FileSeamTest, TheBlockCacheGivesTheFilesBytesAndReadsRunsInFewCalls) {
  const std::string bytes = Bytes(3 << 20);
  auto owned = std::make_unique<MemoryFile>(bytes, 0);
  const MemoryFile& seam = *owned;
  ByteFile file;
  ASSERT_TRUE(file.Open(std::move(owned)));
  std::string got;
  const auto read = [&](std::int64_t offset, std::size_t n) {
    got.assign(n, '\0');
    ASSERT_TRUE(file.Read(offset + 1, got.data(), n));
    ASSERT_EQ(got, bytes.substr(static_cast<std::size_t>(offset), n)) << offset << "+" << n;
  };
  constexpr std::int64_t kNode = 2048;
  std::int64_t next = 0;
  for (int parent = 0; next + 80 * kNode <= static_cast<std::int64_t>(bytes.size()); ++parent) {
    read(next + (40 + parent % 60) * kNode, kNode);  // the parent, ahead of its children
    for (int child = 0; child < 50; ++child, next += kNode) read(next, kNode);
    next += kNode;  // past the parent
  }
  // 256 KiB a call once the run has grown, and a few calls to grow it.
  EXPECT_LE(seam.reads, bytes.size() / (256 << 10) + 8) << seam.reads;
  EXPECT_LE(seam.bytesRead, bytes.size() + (256 << 10));

  // Far from the run a page, and a page again a little past that one: a
  // page bridges no gap of 32 KiB.
  for (const std::int64_t far : {100000, 100000 + 32768}) {
    const std::size_t before = seam.bytesRead;
    read(far, 100);
    EXPECT_EQ(seam.bytesRead - before, 4096u) << far;
  }

  // Reads in any order, of any length up to a page, give the file's bytes.
  std::uint64_t x = 88172645463325252ull;
  for (int i = 0; i < 3000; ++i) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    const std::size_t n = 1 + x % 4096;
    const std::int64_t near = static_cast<std::int64_t>(x >> 20) % 600000 + (i % 3 == 0 ? 2000000 : 0);
    read(std::min<std::int64_t>(near, static_cast<std::int64_t>(bytes.size() - n)), n);
    if (i % 200 == 0) read(static_cast<std::int64_t>(bytes.size() - n), n);  // up to the last byte
  }
}

TEST(FileSeamTest, EveryReadGoesThroughTheFileHandedIn) {
  const std::string bytes = Bytes(1000003);
  ByteFile file;
  ASSERT_TRUE(file.Open(std::make_unique<MemoryFile>(bytes, 300000)));
  EXPECT_EQ(file.Size(), 1000003);
  std::string got(10, '\0');
  ASSERT_TRUE(file.Read(4090, got.data(), 10));  // through the cache, across two pages
  EXPECT_EQ(got, bytes.substr(4089, 10));
  ASSERT_TRUE(file.ReadUncached(1, got.data(), 10));
  EXPECT_EQ(got, bytes.substr(0, 10));
  EXPECT_FALSE(file.Read(700000, got.data(), 10));  // its last bytes lie in the cut
  EXPECT_FALSE(file.Read(1000000, got.data(), 10));  // past the end

  ReadAhead ahead(file, 0, 1000003, 65536);
  std::string read;
  ReadAhead::Piece p = ahead.Next();
  for (; p.size > 0 && p.read; p = ahead.Next()) read.append(p.bytes, p.size);
  EXPECT_FALSE(p.read);
  EXPECT_EQ(read, bytes.substr(0, 10 * 65536));  // the pieces wholly before the cut

  // Bytes offered (known to be the file's) are read without the file: even
  // in the part that fails to read.  A read beyond them goes to the file;
  // an offer of more than a page, or past the end, is not taken.
  file.Offer(800001, reinterpret_cast<const unsigned char*>(bytes.data()) + 800000, 2048);
  ASSERT_TRUE(file.Read(800011, got.data(), 10));
  EXPECT_EQ(got, bytes.substr(800010, 10));
  EXPECT_FALSE(file.Read(802045, got.data(), 10));
  file.Offer(900001, reinterpret_cast<const unsigned char*>(bytes.data()) + 900000, 8192);
  EXPECT_FALSE(file.Read(900001, got.data(), 10));
  file.Offer(999999, reinterpret_cast<const unsigned char*>(bytes.data()) + 999998, 10);
  EXPECT_FALSE(file.Read(999999, got.data(), 5));

  EXPECT_FALSE(file.Open(std::unique_ptr<RandomAccessFile>()));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(file.Read(1, got.data(), 1));
}

}  // namespace
}  // namespace ondrel
