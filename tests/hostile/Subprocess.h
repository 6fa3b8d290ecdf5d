// Runs a command line through /bin/sh with a time limit and collects its
// standard output, standard error and exit status.
#pragma once

#include <string>

namespace ondrel::test {

struct RunResult {
  int status = -1;       // exit status; 124 when the time limit ended it
  std::string out;
  std::string err;
};

// `command` is a shell command line; the caller quotes its arguments.
RunResult RunCommand(const std::string& command, int seconds);

// A word quoted for the shell.
std::string Quote(const std::string& word);

}  // namespace ondrel::test
