// Runs the built ondrel-export with arguments and collects what it wrote and
// how it ended.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace ondrel::test {

struct ToolRun {
  std::string out;
  std::string err;
  int status = -1;  // exit status; -1 when ended by a signal
  long peakKiB = 0;  // the tool's peak resident memory
};

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline ToolRun RunTool(const std::vector<std::string>& args) {
  TempDir scratch;
  const std::string outPath = scratch.str() + "/out", errPath = scratch.str() + "/err";
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>(ONDREL_EXPORT_PATH)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(ONDREL_EXPORT_PATH, argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return {ReadAll(outPath), ReadAll(errPath), WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
}

// The lines of a text, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace ondrel::test
