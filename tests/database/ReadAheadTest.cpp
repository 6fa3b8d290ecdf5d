// A file read ahead on a thread of its own gives the same bytes, in the same
// pieces, as reading it piece by piece; a file that shrinks under the reader
// ends the range at the first piece that cannot be read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "database/ReadAhead.h"
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

}  // namespace
}  // namespace ondrel
