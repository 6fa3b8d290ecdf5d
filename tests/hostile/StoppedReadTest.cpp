// Readers stopped at a chosen point of their work, and the set rewritten
// there by its owner.  Each reader opens a file for the one operation it does
// (the walk, a window fill, a seek, a batch of records) and closes it, so a
// point is "before the k-th operation on a file": the calls to open, pread
// and close of the code under test are wrapped at the link (--wrap), and the
// first read of the k-th opening of the file rewrites the set first.
//
// Versions 4 and 2004 of LIVE have the same count and the same keys: every
// file keeps its size and inode, every record its key, and only the files'
// identities can tell the rewrite.  Each run is judged from what the test
// wrote: a run stopped and rewritten must end with status 1 and say the
// files changed on disk; the same run left alone must give exactly the
// right rows of version 4 at the right position.  The viewer's Ok, stopped
// under its walk and the set rewritten with another count, must read the
// set again and show that version alone; rewritten under every walk, it
// must refuse the set.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "database/Catalogue.h"
#include "database/Profile.h"
#include "tests/hostile/LiveJudge.h"
#include "tests/hostile/Subprocess.h"
#include "tests/support/RecordingPlatform.h"
#include "tests/support/TempDir.h"
#include "tools/export/Modes.h"
#include "tools/export/Output.h"
#include "tools/writer/LiveSet.h"
#include "viewer/Commands.h"
#include "viewer/PlainContentsView.h"
#include "viewer/RecordWindow.h"
#include "viewer/Refresh.h"
#include "viewer/Scrolling.h"

namespace ondrel::test {
namespace {

// Where a run is stopped: before the `operation`-th opening of `file` is
// first read (and every later one with `again`).
struct StopPoint {
  std::string file;
  int operation = 0;
  bool again = false;
  std::function<void()> rewrite = {};
  std::map<int, std::string> opened = {};  // the set's files opened and not read yet
  std::map<std::string, int> seen = {};    // openings read, by file
};

// The one point of the running process; the wrapped calls have no other way
// to it.
StopPoint* stop = nullptr;

}  // namespace
}  // namespace ondrel::test

extern "C" {
int __real_open(const char* path, int flags, ...);
ssize_t __real_pread(int fd, void* buffer, size_t n, off_t offset);
int __real_close(int fd);

int __wrap_open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & O_CREAT) {
    va_list rest;
    va_start(rest, flags);
    mode = va_arg(rest, mode_t);
    va_end(rest);
  }
  const int fd = __real_open(path, flags, mode);
  using ondrel::test::stop;
  if (fd < 0 || !stop) return fd;
  // The writer's own files are written through the C library, unwrapped.
  const std::string name = std::filesystem::path(path).filename();
  if (name.rfind("_LIVE", 0) == 0) stop->opened[fd] = name;
  return fd;
}

ssize_t __wrap_pread(int fd, void* buffer, size_t n, off_t offset) {
  using ondrel::test::stop;
  const auto opened = stop ? stop->opened.find(fd) : decltype(stop->opened)::iterator{};
  if (stop && opened != stop->opened.end()) {
    const int seen = ++stop->seen[opened->second];
    if (opened->second == stop->file && (seen == stop->operation || (stop->again && seen > stop->operation)))
      stop->rewrite();
    stop->opened.erase(opened);
  }
  return __real_pread(fd, buffer, n, offset);
}

int __wrap_close(int fd) {
  if (ondrel::test::stop) ondrel::test::stop->opened.erase(fd);
  return __real_close(fd);
}
}

namespace ondrel::test {
namespace {

constexpr int kBefore = 4, kAfter = 2004;

// The contents screen over the viewer's core, headless: the chooser's clicks
// on LIVE and the profile, its Ok, then the window at entry 1500, copied as
// --window prints it.  The messages go to standard error; status 1 when the
// set was refused or the window said its files changed.
int ViewerWindow(const std::string& dir, const std::string& profile) {
  SharedState state;
  RecordingPlatform platform;
  PlainContentsView view;
  SetTextConstants(state);
  const std::vector<std::string> profiles = LoadFileSet(state, platform, dir, "LIVE");
  const auto chosen = std::find(profiles.begin(), profiles.end(), profile);
  LoadProfile(state, platform, profiles, static_cast<int>(chosen - profiles.begin()));
  if (const std::string failure = ReadChosenSet(state, platform); !failure.empty()) {
    tool::ErrorLine("viewer: " + failure);
    return 1;
  }
  state.SectionCount = SectionCountOf(state.RecordCount);
  view.SetFilePosMax(OpeningScrollMaximum(state.RecordCount));
  ShowChosenFile(state, platform, view, platform.lists[ChooserList::Ordinates]);
  state.StartRecord = 1500;
  FillRecordWindow(state, platform, view);
  tool::Stdout().Write(ClipboardText(state, view).value_or(""));
  for (const RecordedMessage& message : platform.messages) tool::ErrorLine(message.title + ": " + message.text);
  return platform.messages.empty() ? 0 : 1;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs `reader` in a child process (the tool's modes end the process on a
// failure), stopped at `point` when it has one.
RunResult RunStopped(const std::function<int()>& reader, StopPoint point, const TempDir& scratch) {
  const std::string out = scratch.str() + "/stdout", err = scratch.str() + "/stderr";
  const pid_t child = fork();
  if (child == 0) {
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(126);
    if (!point.file.empty()) stop = &point;
    const int status = reader();
    tool::Stdout().Flush();
    _exit(status);
  }
  int raw = 0;
  waitpid(child, &raw, 0);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), Slurp(out), Slurp(err)};
}

enum class Outcome { Flagged, OpenedAgain, Refused };

struct Case {
  std::string name;
  std::vector<std::string> args;  // the tool's arguments, "DIR" for the set; none: the viewer
  std::string profile;            // the viewer's
  StopPoint point;
  std::function<std::string(const RunResult&)> judge;  // of a run that ended with status 0
  Outcome stopped = Outcome::Flagged;
  int rewriteTo = kAfter;
};

std::vector<Case> Cases() {
  auto window = [](const std::string& profile) {
    return [profile](const RunResult& r) { return JudgeWindow(r.out, profile, profile == "BACK"); };
  };
  auto seek = [](const RunResult& r) {
    return JudgeRows(LinesOf(r.out), 1, true, [](int, int k) { return 1500 + k; }, [](int) { return 21; });
  };
  auto describe = [](const RunResult& r) {
    const long records = NumberAfter(r.out, "Records: "), entries = NumberAfter(r.out, "\nEntries: ");
    if (NumberAfter(r.out, "\nSeek: ") != 1500 || records != writer::LiveRecordCount(kBefore) || entries != records)
      return "not the count of version 4 and entry 1500: " + r.out;
    return std::string();
  };
  auto check = [](const RunResult& r) {
    if (NumberAfter(r.out, "Total: ISPECs 1, profiles ") != 2 || r.out.find("problems 0\n") == std::string::npos ||
        NumberAfter(r.out, "Summary: entries ") != writer::LiveRecordCount(kBefore))
      return "not two profiles of version 4 without problems: " + r.out;
    return std::string();
  };
  // The operations on the index, in order: the header, the key description
  // and the walk (the viewer reads the first two at the clicks and all three
  // again at the Ok), then each fill and seek as the reader does them; the
  // first fill of a window is at entry 1.
  const std::string dat = "_LIVE.DAT", idx = "_LIVE.IDX";
  return {
      {"--window: between the walk and the first fill", {"--window", "1500", "DIR", "LIVE", "BYNO"}, "", {idx, 4},
       window("BYNO")},
      {"--window --seek: between the walk and the seek", {"--window", "--seek", "1500", "DIR", "LIVE", "BYNO"}, "",
       {idx, 5}, window("BYNO")},
      {"--window --seek: between the seek and the fill", {"--window", "--seek", "1500", "DIR", "LIVE", "BYNO"}, "",
       {idx, 6}, window("BYNO")},
      {"--seek: between the seek and the records",
       {"--format", "csv", "--seek", "1500", "--count", "21", "DIR", "LIVE", "BYNO"}, "", {idx, 5}, seek},
      {"--describe --seek: between the walk and the seek", {"--describe", "--seek", "1500", "DIR", "LIVE", "BYNO"},
       "", {idx, 4}, describe},
      {"--check: between its two profiles", {"--check", "DIR", "LIVE"}, "", {idx, 5}, check},
      {"--sqlite: at its last read, before the commit", {"--sqlite", "OUT", "DIR"}, "", {dat, 3},
       [](const RunResult& r) { return JudgeSqlite(r.out); }},
      {"the viewer's window: between the fill at entry 1 and the one at 1500", {}, "BACK", {idx, 7}, window("BACK")},
      {"the viewer's Ok: a set rewritten under the walk is read again", {}, "BYNO", {idx, 5}, window("BYNO"),
       Outcome::OpenedAgain, 5},
      {"the viewer's Ok: a set rewritten under every walk is refused", {}, "BYNO", {idx, 5, true}, window("BYNO"),
       Outcome::Refused, 5},
  };
}

TEST(StoppedReadTest, ARewriteAtAChosenPointIsFlaggedAndAnUntouchedReadIsExact) {
  ASSERT_EQ(writer::LiveRecordCount(kBefore), writer::LiveRecordCount(kAfter));
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    TempDir db, scratch;
    const std::string sqliteOut = scratch.str() + "/out.db";
    std::vector<std::string> args = c.args;
    for (std::string& arg : args) arg = arg == "DIR" ? db.str() : arg == "OUT" ? sqliteOut : arg;
    auto reader = [&] {
      if (args.empty()) return ViewerWindow(db.str(), c.profile);
      std::string error;
      const auto options = tool::ParseOptions(args, error);
      if (!options) return 2;
      switch (options->mode) {
        case tool::Mode::Window: return tool::WindowMode(*options);
        case tool::Mode::Describe: return tool::DescribeMode(*options);
        case tool::Mode::Check: return tool::CheckMode(*options);
        case tool::Mode::Sqlite: return tool::SqliteMode(*options);
        default: return tool::ExportMode(*options);
      }
    };
    // --sqlite's result is its file.
    auto judge = [&](RunResult r) {
      if (!args.empty() && args[0] == "--sqlite") r.out = sqliteOut;
      return c.judge(r);
    };

    // Left alone, the read is exact.
    writer::WriteLiveVersion(db.path(), kBefore, writer::Rewrite::InPlace);
    const RunResult whole = RunStopped(reader, {}, scratch);
    EXPECT_EQ(whole.status, 0) << whole.err;
    EXPECT_EQ(judge(whole), "");
    std::filesystem::remove(sqliteOut);

    StopPoint point = c.point;
    point.rewrite = [&db, to = c.rewriteTo] { writer::WriteLiveVersion(db.path(), to, writer::Rewrite::InPlace); };
    const RunResult r = RunStopped(reader, point, scratch);
    // The set on disk tells whether the stop was reached.
    const std::string data = Slurp(db.str() + "/_LIVE.DAT");
    ASSERT_NE(data.find(c.rewriteTo == kAfter ? "V2004R000001" : "V0005R000001"), std::string::npos)
        << "the run never reached its stop";
    switch (c.stopped) {
      case Outcome::Flagged:
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_NE((r.err + r.out).find("changed on disk"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(sqliteOut));
        break;
      case Outcome::OpenedAgain:
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(judge(r), "");
        EXPECT_NE(r.out.find("V0005R001500"), std::string::npos) << r.out;
        break;
      case Outcome::Refused:
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("kept changing"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        break;
    }
    for (const auto& entry : std::filesystem::directory_iterator(scratch.path()))
      EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos) << "a temporary file is left";
  }
}

}  // namespace
}  // namespace ondrel::test
