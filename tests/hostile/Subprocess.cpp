#include "tests/hostile/Subprocess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace ondrel::test {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

std::string Quote(const std::string& word) {
  std::string q = "'";
  for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

RunResult RunCommand(const std::string& command, int seconds) {
  char outName[] = "/tmp/ondrel-run-out-XXXXXX";
  char errName[] = "/tmp/ondrel-run-err-XXXXXX";
  const int outFd = ::mkstemp(outName);
  const int errFd = ::mkstemp(errName);
  ::close(outFd);
  ::close(errFd);
  const std::string line = "timeout -k 5 " + std::to_string(seconds) + " /bin/sh -c " +
                           Quote(command) + " >" + outName + " 2>" + errName + " </dev/null";
  RunResult result;
  const int raw = std::system(line.c_str());
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  result.out = Slurp(outName);
  result.err = Slurp(errName);
  ::unlink(outName);
  ::unlink(errName);
  return result;
}

}  // namespace ondrel::test
