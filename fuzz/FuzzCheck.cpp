// Fuzz target: the deep check (--check) of one profile and of the whole
// ISPEC, on an arbitrary file set (chunks 0 to 3).
//
// Chunk 4 chooses: its first byte the profile (bits 2 and up), strict
// (bit 0) and JSON (bit 1); its second the most problems printed per profile
// (0 to 3; 0 prints all).  Each run is called as the command line calls it,
// with standard output caught in a file, and must
//   - end within a time bound proportional to the bytes of the files (the
//     processor time the run took, against a generous rate per byte);
//   - print what its exit status says: 1 when it printed a problem or
//     counted problems it did not print, else 3 when it printed a "not
//     judged" line, else 0; its last line totals the same counts.
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/FuzzFiles.h"
#include "tools/export/Modes.h"
#include "tools/export/Output.h"

namespace {

using namespace ondrel;

void Judge(bool holds) {
  if (!holds) __builtin_trap();
}

double ProcessorSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// What a run printed and returned.
struct Run {
  int status = -1;
  std::string out;
  double seconds = 0;
};

// Runs the check with standard output in a file of the fuzzer's own folder.
Run RunCheck(const tool::Options& options) {
  const std::string path = (fuzz::FuzzDir() / "work" / "check.out").string();
  std::filesystem::create_directories(fuzz::FuzzDir() / "work");
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (file < 0) __builtin_trap();
  tool::Stdout().Flush();
  const int saved = ::dup(1);
  ::dup2(file, 1);
  ::close(file);
  Run run;
  const double start = ProcessorSeconds();
  run.status = tool::CheckMode(options);
  run.seconds = ProcessorSeconds() - start;
  tool::Stdout().Flush();
  ::dup2(saved, 1);
  ::close(saved);
  std::ifstream in(path, std::ios::binary);
  run.out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return run;
}

// The number after `name` in `line` ("problems 3" or "\"problems\":3").
std::int64_t CountAfter(const std::string& line, const std::string& name) {
  const auto at = line.rfind(name);
  if (at == std::string::npos) __builtin_trap();
  return std::stoll(line.substr(at + name.size()));
}

bool Starts(const std::string& line, const char* head) { return line.rfind(head, 0) == 0; }

// Whether the exit status and the last line agree with the lines printed.
void JudgeOutput(const Run& run, bool json) {
  std::int64_t problems = 0;
  std::int64_t unjudged = 0;
  std::string last;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line); last = line) {
    if (json) {
      if (Starts(line, "{\"type\":\"problem\"")) ++problems;
      if (Starts(line, "{\"type\":\"unjudged\"")) ++unjudged;
      if (Starts(line, "{\"type\":\"summary\"")) problems += CountAfter(line, "\"problems_not_shown\":");
    } else {
      if (Starts(line, "Problem: ")) ++problems;
      if (Starts(line, "Not judged: ")) ++unjudged;
      if (Starts(line, "Summary: ")) problems += CountAfter(line, "problems not shown ");
    }
  }
  Judge(run.status == (problems > 0 ? 1 : unjudged > 0 ? 3 : 0));
  Judge(Starts(last, json ? "{\"type\":\"total\"" : "Total: "));
  Judge(CountAfter(last, json ? "\"problems\":" : "problems ") == problems);
  Judge(CountAfter(last, json ? "\"not_judged\":" : "not judged ") == unjudged);
}

// The bound on one run: a fixed allowance and a rate per byte of the files.
// An optimized build checks a file set of 100 KiB in a few milliseconds and
// a sanitized, instrumented one in some tens: both lie far inside, and a run
// whose work grows faster than its files falls outside soon.
constexpr double kStartSeconds = 0.25;
constexpr double kSecondsPerByte = 10e-6;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto chunks = fuzz::SplitChunks(data, size, 5);
  fuzz::WriteFileSet(chunks);
  const unsigned choice = chunks[4].empty() ? 0 : static_cast<unsigned char>(chunks[4][0]);
  const unsigned most = chunks[4].size() < 2 ? 0 : static_cast<unsigned char>(chunks[4][1]) % 4;
  double bytes = 0;
  for (std::size_t i = 0; i < 4; ++i) bytes += static_cast<double>(chunks[i].size());

  tool::Options options;
  options.mode = tool::Mode::Check;
  options.directory = fuzz::FuzzDir().string();
  options.ispec = "F";
  options.strict = (choice & 1) != 0;
  options.format = (choice & 2) != 0 ? tool::Format::Json : tool::Format::Text;
  options.maxProblems = most;

  // The whole ISPEC, then one of its profiles by name.
  std::vector<std::string> profiles;
  {
    SharedState state;
    SetTextConstants(state);
    fuzz::FuzzPlatform platform;
    try {
      profiles = LoadFileSet(state, platform, options.directory, "F");
    } catch (const fuzz::Ended&) {
    }
  }
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1) {
      if (profiles.empty()) break;
      options.profile = profiles[(choice >> 2) % profiles.size()];
    }
    const Run run = RunCheck(options);
    Judge(run.seconds <= kStartSeconds + kSecondsPerByte * bytes);
    JudgeOutput(run, options.format == tool::Format::Json);
  }
  return 0;
}
