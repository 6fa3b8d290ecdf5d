#include "bench/Subprocess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace ondrel::bench {
namespace {

constexpr std::size_t kPipeChunk = 1 << 20;

// The peak resident memory of a running process (VmHWM), in KiB; 0 when it
// cannot be read (the process has ended).
long HighWaterKiB(pid_t pid) {
  std::FILE* status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
  if (!status) return 0;
  long kib = 0;
  char line[256];
  while (std::fgets(line, sizeof line, status))
    if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
  std::fclose(status);
  return kib;
}

}  // namespace

ToolRun RunTool(const std::string& program, const std::vector<std::string>& args, std::string* output) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
  // A pipe as large as the system allows, so that the tool is not stopped
  // every 64 KiB waiting for this reader.
  ::fcntl(pipeFds[0], F_SETPIPE_SZ, static_cast<int>(kPipeChunk));

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    throw std::runtime_error("cannot start " + program + ": " + std::strerror(spawned));
  }

  ToolRun run;
  std::vector<char> buffer(kPipeChunk);
  for (;;) {
    const ssize_t n = ::read(pipeFds[0], buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    run.bytes += static_cast<std::uint64_t>(n);
    // The high-water mark only grows: the last reading taken while the
    // program writes is its peak up to its last output.
    if (const long kib = HighWaterKiB(pid); kib > 0) run.peakKiB = kib;
    run.lines += static_cast<std::uint64_t>(std::count(buffer.data(), buffer.data() + n, '\n'));
    if (output) output->append(buffer.data(), static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // The system's own figure counts the memory of this process too, which
  // the program shared until it started (posix_spawn): taken only when no
  // reading of the program's own could be made.
  if (run.peakKiB == 0) run.peakKiB = usage.ru_maxrss;
  return run;
}

std::uint64_t ReadWholeFile(const std::string& path, std::size_t bufferSize) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  std::vector<char> buffer(bufferSize);
  std::uint64_t total = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += static_cast<std::uint64_t>(n);
  }
  ::close(fd);
  return total;
}

}  // namespace ondrel::bench
