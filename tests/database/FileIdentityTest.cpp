// A set opened as a front end opens it, then rewritten by its owner at a
// chosen point of a read: each rewrite must be seen, also one in the same
// clock tick as the identities were taken, and one between two batches of a
// long read whose records keep their keys.
#include <gtest/gtest.h>

#include <set>

#include "database/Catalogue.h"
#include "database/Definition.h"
#include "database/FileIdentity.h"
#include "database/IndexWalk.h"
#include "database/KeyOrder.h"
#include "database/Profile.h"
#include "database/RecordStream.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDir.h"
#include "tools/writer/LiveSet.h"

namespace ondrel {
namespace {

using test::RecordingPlatform;
using test::TempDir;
using writer::Rewrite;
using writer::WriteLiveVersion;

// Opens LIVE via BYNO and walks it, again while the set changes during the
// opening, and records what was read.
bool Open(SharedState& state, RecordingPlatform& platform, const TempDir& dir,
          const std::function<void()>& during = [] {}) {
  SetIdentity identity;
  const bool read = ReadUnchanged(PathsOf(dir.str(), "LIVE"), identity, [&] {
    state = SharedState{};
    SetTextConstants(state);
    const auto profiles = LoadFileSet(state, platform, dir.str(), "LIVE");
    LoadProfile(state, platform, profiles, 0);
    during();
    BuildReferenceInformation(state, platform);
    LoadDefinition(state, platform);
  });
  state.FilesRead = identity;
  state.FilesKnown = read;
  return read;
}

TEST(FileIdentityTest, EveryRewriteBetweenTheOpeningAndAnAnswerIsSeen) {
  TempDir dir;
  RecordingPlatform platform;
  SharedState state;
  WriteLiveVersion(dir.path(), 1, Rewrite::InPlace);
  ASSERT_TRUE(Open(state, platform, dir));
  EXPECT_FALSE(FilesChanged(state));
  EXPECT_FALSE(LooksHalfWritten(state));

  // In place at once, within the tick the identities were taken in: version
  // 2001 has the same count, so every file keeps its size and inode.
  ASSERT_EQ(writer::LiveRecordCount(2001), writer::LiveRecordCount(1));
  WriteLiveVersion(dir.path(), 2001, Rewrite::InPlace);
  EXPECT_TRUE(FilesChanged(state));

  // New files renamed over the old.
  ASSERT_TRUE(Open(state, platform, dir));
  WriteLiveVersion(dir.path(), 2, Rewrite::Rename);
  EXPECT_TRUE(FilesChanged(state));

  // Between two batches of a long read: the records keep their keys, so
  // only the identities can tell that the rows mix two versions.
  ASSERT_TRUE(Open(state, platform, dir));
  ASSERT_EQ(writer::LiveRecordCount(2002), writer::LiveRecordCount(2));
  {
    ByteFile index(state.IndexPath);
    ByteFile data(state.DataPath);
    const KeyOrder order(state);
    FineProblems problems(platform);
    RecordStream stream(state, index, data, order, problems);
    stream.StartAt(1);
    StreamRow row;
    std::set<std::string> versions;
    for (int n = 0; stream.Next(row); ++n) {
      if (n == 100) WriteLiveVersion(dir.path(), 2002, Rewrite::InPlace);
      ASSERT_TRUE(stream.Decode(state, row));
      versions.insert(state.RecordLine.substr(7, 5));
    }
    EXPECT_FALSE(problems.Any());
    EXPECT_EQ(versions, (std::set<std::string>{"V0002", "V2002"})) << "the rewrite did not fall inside the read";
  }
  EXPECT_TRUE(FilesChanged(state));

  // The data of one version with the index of another, no file changing
  // after the opening: the counts tell, as long as the set is new.
  WriteLiveVersion(dir.path(), 3, Rewrite::InPlace);
  std::filesystem::copy_file(dir.path() / "_LIVE.DAT", dir.path() / "keep.DAT");
  WriteLiveVersion(dir.path(), 4, Rewrite::InPlace);
  std::filesystem::rename(dir.path() / "keep.DAT", dir.path() / "_LIVE.DAT");
  ASSERT_TRUE(Open(state, platform, dir));
  EXPECT_FALSE(FilesChanged(state));
  EXPECT_TRUE(LooksHalfWritten(state));
}

TEST(FileIdentityTest, ASetThatChangesWhileItIsOpenedIsOpenedAgainThenRefused) {
  TempDir dir;
  RecordingPlatform platform;
  SharedState state;
  WriteLiveVersion(dir.path(), 1, Rewrite::InPlace);
  // Rewritten during the first two openings (between the index header and
  // the walk): the third reads version 4 alone.
  int openings = 0;
  ASSERT_TRUE(Open(state, platform, dir, [&] {
    if (++openings <= 2) WriteLiveVersion(dir.path(), openings + 2, openings == 1 ? Rewrite::Rename : Rewrite::InPlace);
  }));
  EXPECT_EQ(openings, 3);
  EXPECT_EQ(EntryCount(state), writer::LiveRecordCount(4));
  EXPECT_EQ(state.RecordCount, writer::LiveRecordCount(4));
  EXPECT_EQ(state.FilesRead, IdentityOf(PathsOf(dir.str(), "LIVE")));
  EXPECT_FALSE(FilesChanged(state));

  openings = 0;
  EXPECT_FALSE(Open(state, platform, dir, [&] { WriteLiveVersion(dir.path(), 5 + openings++, Rewrite::InPlace); }));
  EXPECT_EQ(openings, kOpenAttempts);
}

}  // namespace
}  // namespace ondrel
