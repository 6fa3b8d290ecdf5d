// The flags the benchmark programs take besides Google Benchmark's own:
// where the databases lie, which of them, and which ondrel-export to run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ondrel::bench {

struct BenchSettings {
  std::string directory = "/tmp/ondrel-bench";
  std::vector<std::uint64_t> records{1000000, 10000000};
  std::vector<int> nodeSizes{512, 2048};
  std::string exportTool;  // the program's own build of ondrel-export by default
  bool makeOnly = false;
};

// Takes `arg` when it is "NAME=VALUE" for this name.
bool TakeFlag(const char* arg, const char* name, std::string& value);

// --bench_dir, --bench_records, --bench_nodes, --bench_export and
// --bench_make_only; false, after a line naming `program` and the flag and
// the usage, on any other or on a value that cannot be read.
bool ParseBenchSettings(int argc, char** argv, BenchSettings& settings, const char* program);

}  // namespace ondrel::bench
