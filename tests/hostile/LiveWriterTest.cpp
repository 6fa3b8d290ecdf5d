// Reading a database while its owner rewrites it, in place and by renaming
// new files over the old.  Every run of every reader mode is judged on its
// own, from what the writer wrote: version v of LIVE holds records 1 to
// LiveRecordCount(v), record n with NO n and NAME "V%04dR%06d" (v, n).  A
// run that ends with status 0 must show one version, consecutive records,
// the right start position, and for a full export every record of that
// version; any other run must say so and end with status 1.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <signal.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

#include "tests/hostile/LiveJudge.h"
#include "tests/hostile/Subprocess.h"
#include "tests/support/TempDir.h"
#include "tools/writer/LiveSet.h"

namespace ondrel::test {
namespace {

const std::string kExport = ONDREL_EXPORT_PATH;
const std::string kWriter = ONDREL_LIVE_WRITER_PATH;

struct Mode {
  std::string name;
  std::string options;  // before DIR; or the whole command, with %DIR% for DIR
  std::string after;    // after DIR
  // What is wrong with the output of a run that ended with status 0.
  std::function<std::string(const std::string& out)> judge;
  bool sqlite = false;
};

std::vector<Mode> Modes() {
  auto ascending = [](int, int k) { return 1 + k; };
  auto all = [](int count) { return count; };
  std::vector<Mode> modes;
  modes.push_back({"text export", "", " LIVE BYNO", [=](const std::string& out) {
                     return JudgeRows(LinesOf(out), 2, false, ascending, all);
                   }});
  modes.push_back({"text export BACK", "", " LIVE BACK", [=](const std::string& out) {
                     return JudgeRows(LinesOf(out), 2, false, [](int count, int k) { return count - k; }, all);
                   }});
  modes.push_back({"csv export", "--format csv ", " LIVE BYNO", [=](const std::string& out) {
                     const auto lines = LinesOf(out);
                     if (lines.empty() || lines[0] != "NO,NAME") return std::string("no header row");
                     return JudgeRows(lines, 1, true, ascending, all);
                   }});
  modes.push_back({"--from/--count", "--format csv --from 2990 --count 2000 ", " LIVE BYNO",
                   [](const std::string& out) {
                     return JudgeRows(LinesOf(out), 1, true, [](int, int k) { return 2990 + k; },
                                      [](int count) { return std::min(2000, count - 2989); });
                   }});
  modes.push_back({"--window", "--window 1500 ", " LIVE BYNO",
                   [](const std::string& out) { return JudgeWindow(out, "BYNO", false); }});
  modes.push_back({"--window BACK", "--window 1500 ", " LIVE BACK",
                   [](const std::string& out) { return JudgeWindow(out, "BACK", true); }});
  modes.push_back({"--window --seek", "--window --seek 1500 ", " LIVE BYNO",
                   [](const std::string& out) { return JudgeWindow(out, "BYNO", false); }});
  modes.push_back({"--describe --seek", "--describe --seek 1500 ", " LIVE BYNO", [](const std::string& out) {
                     const long records = NumberAfter(out, "Records: ");
                     const long entries = NumberAfter(out, "\nEntries: ");
                     if (NumberAfter(out, "\nSeek: ") != 1500) return "Seek is not 1500: " + out;
                     if (records != entries || records < 3000 || records >= 5000)
                       return "the header counts " + std::to_string(records) + ", the walk " + std::to_string(entries);
                     return std::string();
                   }});
  modes.push_back({"--find", "--find R00299 ", " LIVE BYNO", [](const std::string& out) {
                     // Records 2990 to 2999, which every version has, hold the text.
                     return JudgeRows(LinesOf(out), 2, false, [](int, int k) { return 2990 + k; },
                                      [](int) { return 10; });
                   }});
  modes.push_back({"--check", "--check ", " LIVE BYNO", [](const std::string& out) {
                     const long entries = NumberAfter(out, "Summary: entries ");
                     if (NumberAfter(out, "Total: ISPECs 1, profiles ") != 1 || out.find("problems 0\n") == std::string::npos)
                       return "not one profile without problems: " + out;
                     if (NumberAfter(out, "header record count ") != entries ||
                         NumberAfter(out, "data records ") != entries || NumberAfter(out, "active records ") != entries ||
                         entries < 3000 || entries >= 5000)
                       return "the counts disagree: " + out;
                     return std::string();
                   }});
  modes.push_back({"--sqlite", "", "", nullptr, true});
#if defined(ONDREL_SQL_EXTENSION_PATH)
  // SQL through the extension in the sqlite3 shell: its rows "1500|V0007R001500"
  // are judged as the CSV rows are.
  auto sql = [](const std::string& profile, const std::string& tail) {
    return std::string(ONDREL_SQL_PRELOAD) + "sqlite3 -bail :memory: -cmd " + Quote(".load " ONDREL_SQL_EXTENSION_PATH) +
           " \"CREATE VIRTUAL TABLE t USING ondrel('%DIR%', 'LIVE', '" + profile + "'); SELECT NO, NAME FROM t" +
           tail + ";\"";
  };
  auto rows = [](const std::string& out) {
    std::vector<std::string> lines;
    for (const std::string& line : LinesOf(out)) {
      int no = 0;
      char rest[64] = {};
      char text[96];
      if (std::sscanf(line.c_str(), "%d|%63s", &no, rest) == 2 && no >= 0 && no < 1000000)
        std::snprintf(text, sizeof text, "%06d,%s", no, rest);
      else
        std::snprintf(text, sizeof text, "%.80s", line.c_str());
      lines.push_back(text);
    }
    return lines;
  };
  modes.push_back({"SQL LIMIT OFFSET", sql("BYNO", " LIMIT 21 OFFSET 1499"), "", [=](const std::string& out) {
                     return JudgeRows(rows(out), 0, true, [](int, int k) { return 1500 + k; }, [](int) { return 21; });
                   }});
  modes.push_back({"SQL scan BACK", sql("BACK", ""), "", [=](const std::string& out) {
                     return JudgeRows(rows(out), 0, true, [](int count, int k) { return count - k; }, all);
                   }});
#endif
  return modes;
}

// Runs `command` with its standard output in a pipe of one page that is not
// read until its first bytes are there: the reader is then stopped in its
// first write, in the middle of its read, and `rewrite` runs before the rest
// is read.
RunResult RunStoppedAtOutput(const std::string& command, const std::function<void()>& rewrite) {
  TempDir scratch;
  const std::string errors = scratch.str() + "/err";
  int out[2];
  if (pipe(out) != 0) return {};
  fcntl(out[1], F_SETPIPE_SZ, 4096);
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    if (!std::freopen(errors.c_str(), "w", stderr)) _exit(126);
    execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
    _exit(127);
  }
  close(out[1]);
  pollfd ready{out[0], POLLIN, 0};
  poll(&ready, 1, 60000);
  rewrite();
  RunResult result;
  char buffer[65536];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) result.out.append(buffer, static_cast<std::size_t>(n));
  close(out[0]);
  int raw = 0;
  waitpid(child, &raw, 0);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  std::ifstream in(errors);
  result.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return result;
}

struct Tally {
  int clean = 0, flagged = 0, wrong = 0, crashed = 0;
};

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
      if (!std::freopen(log.c_str(), "w", stdout)) _exit(126);
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

// One spell of reader runs, mode after mode, while `ondrel-live-writer`
// rewrites the set with rests of up to `pauseMs` between versions (0: none,
// as fast as it can); each run judged on its own into `tallies`.  The spell
// lasts `seconds`, and longer, up to three times as long, until it has made
// `leastRuns` runs: on a machine busy with other work the count it needs
// takes more time, and the judgement of each run stays the same.
int RunSpell(const TempDir& db, const TempDir& scratch, const char* pauseMs, int seconds, int leastRuns,
             std::map<std::string, Tally>& tallies, std::vector<std::string>& wrongs) {
  const pid_t writer = fork();
  if (writer == 0) {
    execl(kWriter.c_str(), kWriter.c_str(), db.str().c_str(), "1000000", pauseMs, nullptr);
    _exit(127);
  }
  if (writer <= 0) {
    wrongs.push_back("the writer could not be started");
    return 0;
  }
  const std::vector<Mode> modes = Modes();
  const auto start = std::chrono::steady_clock::now();
  const auto end = start + std::chrono::seconds(seconds), latest = start + std::chrono::seconds(3 * seconds);
  int runs = 0;
  const auto goOn = [&] {
    const auto now = std::chrono::steady_clock::now();
    return (now < end || runs < leastRuns) && now < latest;
  };
  for (; goOn() && waitpid(writer, nullptr, WNOHANG) == 0; ++runs) {
    const Mode& mode = modes[static_cast<std::size_t>(runs) % modes.size()];
    Tally& tally = tallies[mode.name];
    const std::string out = scratch.str() + "/out.db";
    std::filesystem::remove(out);
    std::string command = mode.sqlite ? Quote(kExport) + " --sqlite " + Quote(out) + " " + Quote(db.str())
                                      : Quote(kExport) + " " + mode.options + Quote(db.str()) + mode.after;
    if (const std::size_t at = mode.options.find("%DIR%"); at != std::string::npos)
      command = std::string(mode.options).replace(at, 5, db.str());
    const RunResult r = RunCommand(command, 60);
    std::string wrong;
    // The sqlite3 shell ends with the failed statement's code (SQLITE_ABORT
    // is 4); the tool with 1.
    const bool shell = mode.options.find("%DIR%") != std::string::npos;
    // The check says 3 when files of different moments leave something it
    // cannot judge.
    const bool failed = r.status == 1 || (mode.name == "--check" && r.status == 3) ||
                        (shell && r.status > 1 && r.status < 124);
    if (r.status != 0 && !failed) {
      ++tally.crashed;
      wrongs.push_back(mode.name + ": status " + std::to_string(r.status) + "\n" + r.err);
      continue;
    }
    if (failed) {
      // The check tells its problems on standard output.
      if (r.err.empty() && r.out.find("Problem: ") == std::string::npos &&
          r.out.find("Not judged: ") == std::string::npos)
        wrong = "a failure without a message";
      if (mode.sqlite && r.err.find("changed on disk") != std::string::npos && std::filesystem::exists(out))
        wrong = "--sqlite kept a file read while it changed";
      for (const auto& entry : std::filesystem::directory_iterator(scratch.path()))
        if (entry.path().filename().string().find(".partial-") != std::string::npos)
          wrong = "a failed --sqlite left its temporary file";
    } else {
      wrong = mode.sqlite ? JudgeSqlite(out) : mode.judge(r.out);
    }
    if (wrong.empty()) {
      ++(r.status == 0 ? tally.clean : tally.flagged);
    } else {
      ++tally.wrong;
      if (wrongs.size() < 10) wrongs.push_back(mode.name + ": " + wrong.substr(0, 500));
    }
  }
  kill(writer, SIGTERM);
  waitpid(writer, nullptr, 0);
  return runs;
}

Tally Report(const char* spell, int runs, const std::map<std::string, Tally>& tallies) {
  Tally total;
  std::printf("%s\n", spell);
  for (const auto& [name, t] : tallies) {
    std::printf("%-18s clean %4d  flagged %4d  wrong %d  crashed %d\n", name.c_str(), t.clean, t.flagged, t.wrong,
                t.crashed);
    total.clean += t.clean;
    total.flagged += t.flagged;
    total.wrong += t.wrong;
    total.crashed += t.crashed;
  }
  std::printf("%d runs: %d clean, %d flagged, %d wrong, %d crashed\n", runs, total.clean, total.flagged,
              total.wrong, total.crashed);
  return total;
}

TEST(LiveWriterTest, EveryRunIsOneVersionOrFlagged) {
  TempDir db;
  TempDir scratch;
  writer::WriteLiveVersion(db.path(), 0, writer::Rewrite::InPlace);
  LiveViewer viewer(db);
  ASSERT_TRUE(viewer.Started()) << "the viewer did not open the set";
  const std::size_t modeCount = Modes().size();

  // First the owner with rests of up to 150 ms between versions: quiet
  // spells and versions written back to back, so every mode must give some
  // clean answers too (a mode never clean would prove nothing of them).
  std::map<std::string, Tally> resting;
  std::vector<std::string> wrongs;
  const int restingRuns = RunSpell(db, scratch, "150", 60, static_cast<int>(modeCount) * 5, resting, wrongs);
  const Tally restingTotal = Report("writer resting up to 150 ms between versions:", restingRuns, resting);
  for (const auto& [name, t] : resting) EXPECT_GT(t.clean, 0) << name;
  EXPECT_GE(restingRuns, static_cast<int>(modeCount) * 5);

  // Then the owner writing version after version with no rest: nearly every
  // answer is refused or flagged, and none may be wrong.
  std::map<std::string, Tally> flatOut;
  const int flatOutRuns = RunSpell(db, scratch, "0", 20, static_cast<int>(modeCount), flatOut, wrongs);
  const Tally flatOutTotal = Report("writer never resting:", flatOutRuns, flatOut);
  EXPECT_GE(flatOutRuns, static_cast<int>(modeCount));

  int viewerStatus = 0;
  const std::string viewerReport = viewer.Stop(viewerStatus);
  EXPECT_EQ(viewerStatus, 0) << viewerReport;
  std::printf("the viewer: %s", viewerReport.c_str());
  EXPECT_EQ(restingTotal.wrong + flatOutTotal.wrong, 0);
  EXPECT_EQ(restingTotal.crashed + flatOutTotal.crashed, 0);
  for (const std::string& w : wrongs) ADD_FAILURE() << w;
}

// The export, and a scan through the extension, stopped in their first
// write of output and the set rewritten in place there with a version of the
// same count: the files keep their sizes, the records their keys, and only
// the files' identities tell.  Both must end flagged.
TEST(LiveWriterTest, AReadStoppedInTheMiddleAndRewrittenIsFlagged) {
  TempDir db;
  const int before = 4, after = 2004;
  ASSERT_EQ(writer::LiveRecordCount(before), writer::LiveRecordCount(after));
  std::vector<std::pair<std::string, std::string>> readers = {
      {"the export", Quote(kExport) + " " + Quote(db.str()) + " LIVE BACK"}};
#if defined(ONDREL_SQL_EXTENSION_PATH)
  readers.push_back({"SQL", std::string(ONDREL_SQL_PRELOAD) + "sqlite3 -bail :memory: -cmd " +
                                Quote(".load " ONDREL_SQL_EXTENSION_PATH) + " \"SELECT fields FROM ondrel('" +
                                db.str() + "', 'LIVE', 'BYNO');\""});
#endif
  for (const auto& [name, command] : readers) {
    SCOPED_TRACE(name);
    writer::WriteLiveVersion(db.path(), before, writer::Rewrite::InPlace);
    // Unchanged, the read is whole and clean.
    const RunResult whole = RunCommand(command, 60);
    ASSERT_EQ(whole.status, 0) << whole.err;
    const RunResult r = RunStoppedAtOutput(
        command, [&] { writer::WriteLiveVersion(db.path(), after, writer::Rewrite::InPlace); });
    EXPECT_NE(r.status, 0);
    EXPECT_LT(r.status, 124) << "crashed";
    EXPECT_NE(r.err.find("changed on disk"), std::string::npos) << r.err;
    EXPECT_LT(r.out.size(), whole.out.size() + 1);
  }
}

}  // namespace
}  // namespace ondrel::test
