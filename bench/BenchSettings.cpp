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

namespace {

// Names the argument that cannot be taken, then shows the usage; false.
bool Usage(const char* program, const char* argument) {
  std::fprintf(stderr, "%s: cannot take the argument %s\n", program, argument);
  std::fprintf(stderr,
               "usage: %s [--bench_dir=DIR] [--bench_records=1M,10M] [--bench_nodes=512,2048]\n"
               "         [--bench_export=PATH] [--bench_make_only] [benchmark flags]\n",
               program);
  return false;
}

}  // namespace

bool ParseBenchSettings(int argc, char** argv, BenchSettings& settings, const char* program) {
  for (int i = 1; i < argc; ++i) {
    std::string value;
    if (TakeFlag(argv[i], "--bench_dir", value)) {
      settings.directory = value;
    } else if (TakeFlag(argv[i], "--bench_records", value)) {
      if (!ParseCounts(value, settings.records)) return Usage(program, argv[i]);
    } else if (TakeFlag(argv[i], "--bench_nodes", value)) {
      if (!ParseNodeSizes(value, settings.nodeSizes)) return Usage(program, argv[i]);
    } else if (TakeFlag(argv[i], "--bench_export", value)) {
      settings.exportTool = value;
    } else if (std::strcmp(argv[i], "--bench_make_only") == 0) {
      settings.makeOnly = true;
    } else {
      return Usage(program, argv[i]);
    }
  }
  return true;
}

}  // namespace ondrel::bench
