#include "bench/BenchSettings.h"

#include <cstdio>
#include <cstring>

#include "bench/BenchFiles.h"

namespace ondrel::bench {

bool TakeFlag(const char* arg, const char* name, std::string& value) {
  const std::size_t n = std::strlen(name);
  if (std::strncmp(arg, name, n) != 0 || arg[n] != '=') return false;
  value = arg + n + 1;
  return true;
}

bool ParseBenchSettings(int argc, char** argv, BenchSettings& settings, const char* program) {
  for (int i = 1; i < argc; ++i) {
    std::string value;
    if (TakeFlag(argv[i], "--bench_dir", value)) {
      settings.directory = value;
    } else if (TakeFlag(argv[i], "--bench_records", value)) {
      if (!ParseCounts(value, settings.records)) return false;
    } else if (TakeFlag(argv[i], "--bench_nodes", value)) {
      if (!ParseNodeSizes(value, settings.nodeSizes)) return false;
    } else if (TakeFlag(argv[i], "--bench_export", value)) {
      settings.exportTool = value;
    } else if (std::strcmp(argv[i], "--bench_make_only") == 0) {
      settings.makeOnly = true;
    } else {
      std::fprintf(stderr, "%s: unknown argument %s\n", program, argv[i]);
      return false;
    }
  }
  return true;
}

}  // namespace ondrel::bench
