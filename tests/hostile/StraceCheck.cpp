#include "tests/hostile/StraceCheck.h"

#include <fstream>
#include <regex>

namespace ondrel::test {
namespace {

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// The call name of a trace line ("1234 openat(...) = 3"), or "".
std::string CallName(const std::string& line, std::string& args) {
  static const std::regex call(R"(^(?:\[pid\s+)?\d*\]?\s*([a-z0-9_]+)\((.*)$)");
  std::smatch m;
  if (!std::regex_search(line, m, call)) return "";
  args = m[2];
  return m[1];
}

// The first "<path>" that names a file of the database directory.
bool NamesDatabaseFile(const std::string& args, const std::string& dir, std::string& path) {
  const std::string marker = "<" + dir + "/";
  const auto at = args.find(marker);
  if (at != std::string::npos) {
    const auto end = args.find('>', at);
    path = args.substr(at + 1, end - at - 1);
    return true;
  }
  const std::string quoted = "\"" + dir + "/";
  const auto q = args.find(quoted);
  if (q != std::string::npos) {
    const auto end = args.find('"', q + 1);
    path = args.substr(q + 1, end - q - 1);
    return true;
  }
  return false;
}

}  // namespace

std::string StraceCommand(const std::string& logPath) {
  // The leak checker of a sanitized build cannot run under ptrace; the
  // traced program runs without it (the untraced runs keep it).
  return "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 "
         "strace -f -y -qq -s 512 -o " + logPath +
         " -e trace=open,openat,creat,read,pread64,readv,preadv,write,pwrite64,writev,pwritev,"
         "truncate,ftruncate,rename,renameat,renameat2,unlink,unlinkat,flock,fcntl,mmap,"
         "link,linkat,symlink,symlinkat,chmod,fchmod,fchmodat,utimensat "
         "-e signal=none ";
}

TraceFindings CheckTrace(const std::string& logPath, const std::string& databaseDir,
                         const std::map<std::string, std::uintmax_t>& sizes) {
  TraceFindings found;
  std::ifstream log(logPath);
  std::string line;
  static const std::regex pread(R"(, (\d+), (\d+)\)\s+=\s+(-?\d+))");
  while (std::getline(log, line)) {
    std::string args;
    const std::string name = CallName(line, args);
    std::string path;
    if (name.empty() || !NamesDatabaseFile(args, databaseDir, path)) continue;
    auto bad = [&] { found.violations.push_back(line); };
    if (name == "open" || name == "openat") {
      if (args.find("O_WRONLY") != std::string::npos || args.find("O_RDWR") != std::string::npos ||
          args.find("O_CREAT") != std::string::npos || args.find("O_TRUNC") != std::string::npos ||
          args.find("O_APPEND") != std::string::npos)
        bad();
      else
        ++found.databaseOpens;
    } else if (name == "pread64") {
      std::smatch m;
      if (std::regex_search(args, m, pread)) {
        const std::uintmax_t count = std::stoull(m[1]);
        const std::uintmax_t offset = std::stoull(m[2]);
        const auto size = sizes.find(path);
        if (size == sizes.end() || offset + count > size->second) bad();
        ++found.positionedReads;
      }
    } else if (name == "read" || name == "readv" || name == "preadv") {
      // Reads the check cannot place are allowed; the reader only uses pread.
    } else if (name == "fcntl") {
      if (args.find("F_SETLK") != std::string::npos || args.find("F_OFD_SETLK") != std::string::npos)
        bad();
    } else if (name == "mmap") {
      if (args.find("PROT_WRITE") != std::string::npos && args.find("MAP_SHARED") != std::string::npos)
        bad();
    } else if (!StartsWith(name, "close")) {
      bad();  // write, truncate, rename, unlink, lock, link, chmod, utimens...
    }
  }
  return found;
}

}  // namespace ondrel::test
