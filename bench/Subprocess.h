// Running a command-line tool as a user does and taking in all it writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ondrel::bench {

struct ToolRun {
  int exitStatus = -1;      // the exit code, or -1 when the tool did not exit normally
  std::uint64_t lines = 0;  // line feeds on standard output
  std::uint64_t bytes = 0;  // bytes on standard output
  long peakKiB = 0;         // its peak resident memory (VmHWM) up to its last output
};

// Runs `program` with `args`, reads its standard output through a pipe to
// the end, counting lines and bytes (and keeping them in `output` when one
// is given), and waits for it.  Standard error is left to the caller's.
// Throws when the program cannot be started.
ToolRun RunTool(const std::string& program, const std::vector<std::string>& args, std::string* output = nullptr);

// Reads a whole file with read() into one buffer of `bufferSize`, as the
// fastest reader of a file would; returns the bytes read.
std::uint64_t ReadWholeFile(const std::string& path, std::size_t bufferSize);

}  // namespace ondrel::bench
