// ondrel-check-bench: the deep check of a profile (ondrel-export --check) on
// the large generated databases, against the floor of reading the files it
// checks.
//
//   ondrel-check-bench [--bench_dir=DIR] [--bench_records=1M,10M] [--bench_nodes=512,2048]
//                      [--bench_export=PATH] [--bench_make_only] [Google Benchmark flags]
//
// For each database (BenchFiles.h: the ISPEC LARGE, written when missing):
//
//   check_floor/<label>    reading the index file and the data file once
//                          with read() in 128 KiB pieces, as bench/Benchmarks
//                          measures its floors;
//   check/<label>/KEYNO    ondrel-export --check DIR LARGE KEYNO, the
//                          profile in record order, run as a process;
//   check/<label>/BYNAME   the same for BYNAME, whose order scatters the
//                          records over the data file.
//
// Each run of the tool must exit 0 with its three lines (the profile, its
// summary with "problems 0", the total): a sound database has no problem,
// so anything else means the run did not do the work it claims.  The
// counter peak_kib is the tool's peak resident memory in the last run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchFiles.h"
#include "bench/BenchSettings.h"
#include "bench/Subprocess.h"

#ifndef ONDREL_EXPORT_PATH
#define ONDREL_EXPORT_PATH ""
#endif

namespace ondrel::bench {
namespace {

constexpr std::size_t kFloorBuffer = 128 * 1024;

int failures = 0;

// What is wrong with a check of a sound profile of `records` entries.
std::string CheckProblem(const ToolRun& run, const std::string& out, std::uint64_t records) {
  const std::string entries = "Summary: entries " + std::to_string(records) + ",";
  if (run.exitStatus != 0 || run.lines != 3 || out.find(entries) == std::string::npos ||
      out.find(", problems 0\nTotal: ") == std::string::npos)
    return "ondrel-export --check ended with status " + std::to_string(run.exitStatus) + ": " + out;
  return "";
}

void Register(const BenchProfile& profile, const std::string& tool) {
  const std::string index = profile.IndexFile().string();
  const std::string data = profile.DataFile().string();
  benchmark::RegisterBenchmark(("check_floor/" + profile.label).c_str(), [index, data](benchmark::State& state) {
    std::uint64_t bytes = 0;
    for (auto _ : state) {
      bytes = ReadWholeFile(index, kFloorBuffer) + ReadWholeFile(data, kFloorBuffer);
      benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
  })->Unit(benchmark::kMillisecond)->UseRealTime();

  for (const char* name : {"KEYNO", "BYNAME"}) {
    const std::vector<std::string> args{"--check", profile.directory.string(), kIspec, name};
    const std::uint64_t records = profile.records;
    benchmark::RegisterBenchmark(("check/" + profile.label + "/" + name).c_str(),
                                 [tool, args, records](benchmark::State& state) {
                                   ToolRun run;
                                   std::string out;
                                   for (auto _ : state) {
                                     out.clear();
                                     run = RunTool(tool, args, &out);
                                   }
                                   const std::string problem = CheckProblem(run, out, records);
                                   if (!problem.empty()) {
                                     ++failures;
                                     state.SkipWithError(problem.c_str());
                                   }
                                   state.counters["peak_kib"] = static_cast<double>(run.peakKiB);
                                   state.counters["records_per_s"] = benchmark::Counter(
                                       static_cast<double>(records), benchmark::Counter::kIsIterationInvariantRate);
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
}

}  // namespace
}  // namespace ondrel::bench

int main(int argc, char** argv) {
  using namespace ondrel::bench;
  benchmark::Initialize(&argc, argv);
  BenchSettings settings;
  settings.exportTool = ONDREL_EXPORT_PATH;
  if (!ParseBenchSettings(argc, argv, settings, "ondrel-check-bench")) return 2;
  const std::vector<BenchProfile> profiles = ProfileSet(settings.directory, settings.records, settings.nodeSizes);
  try {
    for (const BenchProfile& profile : profiles)
      if (EnsureProfile(profile)) std::fprintf(stderr, "wrote %s\n", profile.directory.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ondrel-check-bench: %s\n", e.what());
    return 1;
  }
  if (settings.makeOnly) return 0;
  if (settings.exportTool.empty()) {
    std::fprintf(stderr, "ondrel-check-bench: no ondrel-export to run (--bench_export=PATH)\n");
    return 2;
  }
  for (const BenchProfile& profile : profiles) {
    // Every figure with a warm cache, as the other benchmarks take theirs.
    ReadWholeFile(profile.IndexFile().string(), kFloorBuffer);
    ReadWholeFile(profile.DataFile().string(), kFloorBuffer);
    Register(profile, settings.exportTool);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (failures != 0) std::fprintf(stderr, "ondrel-check-bench: %d benchmarks measured a wrong result\n", failures);
  return failures == 0 ? 0 : 1;
}
