// Reading a database while its owner rewrites it, in place and by renaming
// new files over the old: every export, window and check run meanwhile ends,
// without a crash or a hang, and what it says is either consistent (lines of
// real records, in the key's order) or flagged (a message, exit status 1).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/hostile/Subprocess.h"
#include "tests/support/TempDir.h"
#include "tools/writer/LiveSet.h"

namespace ondrel::test {
namespace {

const std::string kExport = ONDREL_EXPORT_PATH;
const std::string kWriter = ONDREL_LIVE_WRITER_PATH;

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The record lines of a clean run: each a record of some version ("000042
// V0007R000042 "), its number in both places, the numbers rising (or falling
// for the descending profile) without a repeat.  Returns what is wrong, or "".
std::string Inconsistency(const std::vector<std::string>& lines, std::size_t from, bool falling) {
  long previous = falling ? 1000000 : 0;
  for (std::size_t i = from; i < lines.size(); ++i) {
    int no = 0, version = 0, record = 0;
    char end = 0;
    if (std::sscanf(lines[i].c_str(), "%6d V%4dR%6d%c", &no, &version, &record, &end) != 4 || end != ' ' ||
        no != record)
      return "line " + std::to_string(i) + " is no record of any version: " + lines[i];
    if (falling ? no >= previous : no <= previous)
      return "line " + std::to_string(i) + " is out of the key's order: " + lines[i];
    previous = no;
  }
  return "";
}

// The real screens, offscreen, scrolling and pressing F5 over the set while
// it is rewritten (when they are built): started before the writer, stopped
// after it.
class LiveViewer {
 public:
  explicit LiveViewer(const TempDir& db) : ready_(scratch_.str() + "/ready"), stop_(scratch_.str() + "/stop") {
#ifdef ONDREL_LIVE_VIEWER_PATH
    pid_ = fork();
    if (pid_ == 0) {
      const std::string log = scratch_.str() + "/log";
      std::freopen(log.c_str(), "w", stdout);
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      execl(ONDREL_LIVE_VIEWER_PATH, ONDREL_LIVE_VIEWER_PATH, db.str().c_str(), ready_.c_str(), stop_.c_str(),
            nullptr);
      _exit(127);
    }
    for (int i = 0; i < 600 && !std::filesystem::exists(ready_); ++i) usleep(50000);
    started_ = std::filesystem::exists(ready_);
#else
    (void)db;
#endif
  }
  bool Started() const { return started_ || pid_ == -1; }
  // Stops it and returns its report, or what went wrong.
  std::string Stop(int& status) {
    status = 0;
    if (pid_ <= 0) return "not built";
    std::fclose(std::fopen(stop_.c_str(), "w"));
    int raw = 0;
    for (int i = 0; i < 1200 && waitpid(pid_, &raw, WNOHANG) == 0; ++i) usleep(50000);
    if (waitpid(pid_, &raw, WNOHANG) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &raw, 0);
      status = -1;
      return "did not stop";
    }
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    std::ifstream in(scratch_.str() + "/log");
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

 private:
  TempDir scratch_;
  std::string ready_, stop_;
  pid_t pid_ = -1;
  bool started_ = false;
};

TEST(LiveWriterTest, ReadsDuringRewritesAreConsistentOrFlagged) {
  TempDir db;
  writer::WriteLiveVersion(db.path(), 0, writer::Rewrite::InPlace);
  LiveViewer viewer(db);
  ASSERT_TRUE(viewer.Started()) << "the viewer did not open the set";
  const pid_t writer = fork();
  if (writer == 0) {
    execl(kWriter.c_str(), kWriter.c_str(), db.str().c_str(), "150", nullptr);
    _exit(127);
  }
  ASSERT_GT(writer, 0);

  int runs = 0, clean = 0, flagged = 0;
  int status = 0;
  while (waitpid(writer, &status, WNOHANG) == 0) {
    const bool back = runs % 2 == 1;
    const std::string profile = back ? " LIVE BACK" : " LIVE BYNO";
    const int kind = runs % 3;
    const std::string options = kind == 0 ? "" : kind == 1 ? "--window 1500 " : "--check ";
    const RunResult r = RunCommand(Quote(kExport) + " " + options + Quote(db.str()) + profile, 60);
    ++runs;
    SCOPED_TRACE(options + profile);
    // The check says 3 when an index and data file of different moments
    // leave something it cannot judge; it must say what.
    if (kind == 2 && r.status == 3) {
      ++flagged;
      EXPECT_NE(r.out.find("Not judged: "), std::string::npos) << r.out;
      continue;
    }
    ASSERT_TRUE(r.status == 0 || r.status == 1) << "status " << r.status << "\n" << r.err;
    if (r.status == 1) {
      ++flagged;
      EXPECT_FALSE(r.err.empty() && r.out.find("Problem: ") == std::string::npos) << "a failure said nothing";
      continue;
    }
    ++clean;
    const auto lines = LinesOf(r.out);
    if (kind == 2) {
      // A clean check: the profile's summary, then the run's total, both
      // without a problem.
      ASSERT_GE(lines.size(), 2u) << r.out;
      EXPECT_EQ(lines[lines.size() - 2].rfind("Summary: ", 0), 0u) << r.out;
      EXPECT_EQ(lines.back().rfind("Total: ", 0), 0u) << r.out;
      EXPECT_NE(lines.back().find("problems 0"), std::string::npos) << r.out;
    } else {
      // The export: the heading, then the records; the window: its caption
      // line, the heading, then up to 21 records.
      EXPECT_EQ(Inconsistency(lines, kind == 0 ? 2 : 3, back), "") << r.out.substr(0, 2000);
      EXPECT_TRUE(r.err.empty()) << r.err;
    }
  }
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the writer failed";
  int viewerStatus = 0;
  const std::string viewerReport = viewer.Stop(viewerStatus);
  EXPECT_EQ(viewerStatus, 0) << viewerReport;
  std::printf("the viewer: %s", viewerReport.c_str());
  EXPECT_GE(runs, 6);
  EXPECT_GT(clean, 0);
  std::printf("%d runs during 150 rewrites: %d clean, %d flagged\n", runs, clean, flagged);
}

}  // namespace
}  // namespace ondrel::test
