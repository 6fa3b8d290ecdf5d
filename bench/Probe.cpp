// ondrel-bench-probe: what the timings cannot show.
//
//   ondrel-bench-probe rss PROFILE_DIR
//       Opens the profile as the viewer does (choose the ISPEC and the
//       profile, build the reference information, show the window at entry
//       1) and prints the process's resident memory before and after, and
//       its peak, in KiB.
//
//   ondrel-bench-probe drag-proof PROFILE_DIR
//       Runs `drag` below under strace and checks its log: between the
//       marks around the drags there must be no system call at all, and
//       between the marks around one record window there must be the opens
//       and reads of the index and the data file (which proves the log
//       would show a file touched by the drags).  Exit status 0 when both
//       hold.
//
//   ondrel-bench-probe drag PROFILE_DIR
//       Opens the profile, then drags the thumb over every position of
//       section 1 and of the last section, between two marks written to
//       standard error; then fills one window between two more marks.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchFiles.h"
#include "bench/BenchSession.h"
#include "bench/Subprocess.h"
#include "viewer/Scrolling.h"

namespace ondrel::bench {
namespace {

constexpr const char* kDragBegins = "ondrel-probe: drag begins";
constexpr const char* kDragEnds = "ondrel-probe: drag ends";
constexpr const char* kWindowBegins = "ondrel-probe: window begins";
constexpr const char* kWindowEnds = "ondrel-probe: window ends";

// A mark in the system-call log: one write of a fixed text to standard error.
void Mark(const char* text) {
  const std::string line = std::string(text) + "\n";
  if (::write(STDERR_FILENO, line.data(), line.size()) < 0) std::perror("write");
}

// A line "Name:   1234 kB" of /proc/self/status, in KiB; -1 when absent.
long StatusKib(const char* name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::size_t n = std::strlen(name);
  while (std::getline(status, line))
    if (line.compare(0, n, name) == 0 && line.size() > n && line[n] == ':') return std::stol(line.substr(n + 1));
  return -1;
}

BenchProfile ProfileAt(const std::string& directory) {
  BenchProfile profile;
  profile.directory = directory;
  return profile;
}

int Rss(const std::string& directory) {
  const long before = StatusKib("VmRSS");
  OpenedProfile opened;
  OpenProfile(opened, ProfileAt(directory), true);
  const long after = StatusKib("VmRSS");
  const long peak = StatusKib("VmHWM");
  const SharedState& state = opened.state;
  if (opened.platform.messages != 0 || state.FirstShown != 1) {
    std::fprintf(stderr, "the profile did not open cleanly: %s\n", opened.platform.lastMessage.c_str());
    return 1;
  }
  std::printf("entries %d\nleaves %d\nrss_before_kib %ld\nrss_open_kib %ld\nrss_peak_kib %ld\n",
              static_cast<int>(state.LeafTable.back().CumCount), static_cast<int>(state.LeafTable.size() - 1), before, after,
              peak);
  return 0;
}

// Every position of the bar, top to bottom, one scroll event each.
long DragOverBar(OpenedProfile& opened) {
  const Long top = ScrollTop(opened.view);
  for (Long value = 1; value <= top; ++value) {
    opened.view.filePosValue = value;
    FilePos_Scroll(opened.state, opened.platform, opened.view);
  }
  return top;
}

int Drag(const std::string& directory) {
  OpenedProfile opened;
  OpenProfile(opened, ProfileAt(directory), true);
  const double middle = static_cast<double>(opened.state.RecordCount / 2);
  // Moving to the last section fills a window; the drags come after it.
  GoToLastSection(opened);
  const long lastSectionPositions = ScrollTop(opened.view);
  ReopenAtFirstEntry(opened);

  Mark(kDragBegins);
  long events = DragOverBar(opened);
  const std::string firstSectionEnd = opened.view.ptrCaption;
  Mark(kDragEnds);

  GoToLastSection(opened);
  Mark(kDragBegins);
  events += DragOverBar(opened);
  const std::string lastSectionEnd = opened.view.ptrCaption;
  Mark(kDragEnds);

  Mark(kWindowBegins);
  FillAt(opened, middle);
  Mark(kWindowEnds);

  std::fprintf(stderr, "scroll events %ld (section 1 to entry %s, last section of %ld positions to entry %s)\n", events,
              firstSectionEnd.c_str(), lastSectionPositions, lastSectionEnd.c_str());
  return opened.platform.messages == 0 ? 0 : 1;
}

// The lines of the log between each begin mark and its end mark.
std::vector<std::vector<std::string>> Spans(const std::vector<std::string>& log, const char* begins,
                                            const char* ends) {
  std::vector<std::vector<std::string>> spans;
  bool inside = false;
  for (const std::string& line : log) {
    if (line.find(begins) != std::string::npos) {
      inside = true;
      spans.emplace_back();
    } else if (line.find(ends) != std::string::npos) {
      inside = false;
    } else if (inside) {
      spans.back().push_back(line);
    }
  }
  return spans;
}

bool Holds(const std::vector<std::string>& lines, const char* call, const char* file) {
  for (const std::string& line : lines)
    if (line.find(call) != std::string::npos && (!file || line.find(file) != std::string::npos)) return true;
  return false;
}

int DragProof(const std::string& directory) {
  // strace runs this same program; /proc/self/exe would name strace itself.
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) {
    std::perror("readlink");
    return 1;
  }
  self[length] = '\0';

  char logName[] = "/tmp/ondrel-drag-strace-XXXXXX";
  const int fd = ::mkstemp(logName);
  if (fd < 0) {
    std::perror("mkstemp");
    return 1;
  }
  ::close(fd);
  ToolRun run;
  try {
    run = RunTool("/usr/bin/strace", {"-f", "-qq", "-o", logName, self, "drag", directory});
  } catch (const std::exception& e) {
    ::unlink(logName);
    std::fprintf(stderr, "%s (the proof needs strace)\n", e.what());
    return 1;
  }
  std::vector<std::string> log;
  {
    std::ifstream in(logName);
    for (std::string line; std::getline(in, line);) log.push_back(line);
  }
  ::unlink(logName);
  if (run.exitStatus != 0) {
    std::fprintf(stderr, "strace of the drags ended with status %d\n", run.exitStatus);
    return 1;
  }

  int failures = 0;
  const auto drags = Spans(log, kDragBegins, kDragEnds);
  const auto windows = Spans(log, kWindowBegins, kWindowEnds);
  if (drags.size() != 2 || windows.size() != 1) {
    std::fprintf(stderr, "the log holds %zu drag spans and %zu window spans, not 2 and 1\n", drags.size(),
                 windows.size());
    return 1;
  }
  for (const auto& span : drags) {
    std::printf("system calls during a drag: %zu\n", span.size());
    for (const std::string& line : span) std::printf("  %s\n", line.c_str());
    if (!span.empty()) ++failures;
  }
  const auto& window = windows[0];
  const bool opensIndex = Holds(window, "open", "_LARGE.IDX");
  const bool opensData = Holds(window, "open", "_LARGE.DAT");
  const bool reads = Holds(window, "pread64(", nullptr);
  std::printf("system calls during one window: %zu (opens the index: %s, the data: %s, reads: %s)\n",
              window.size(), opensIndex ? "yes" : "no", opensData ? "yes" : "no", reads ? "yes" : "no");
  if (!opensIndex || !opensData || !reads) ++failures;
  std::printf(failures == 0 ? "drag proof: no file touched while dragging\n" : "drag proof FAILED\n");
  return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace ondrel::bench

int main(int argc, char** argv) {
  using namespace ondrel::bench;
  if (argc == 3 && std::strcmp(argv[1], "rss") == 0) return Rss(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "drag") == 0) return Drag(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "drag-proof") == 0) return DragProof(argv[2]);
  std::fprintf(stderr, "usage: ondrel-bench-probe rss|drag|drag-proof PROFILE_DIR\n");
  return 2;
}
