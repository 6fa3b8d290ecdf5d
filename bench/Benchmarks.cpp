// ondrel-bench: the viewer's costs on large generated databases, side by
// side with the floor each is bounded by and with SQLite paging the same
// rows.
//
//   ondrel-bench [--bench_dir=DIR] [--bench_records=1M,10M] [--bench_nodes=512,2048]
//                [--bench_export=PATH] [--bench_make_only] [Google Benchmark flags]
//
// The databases are written into DIR (default /tmp/ondrel-bench) when they
// are not there yet, then every file is read once so that all figures are
// taken with a warm cache.  Each measured run checks its own result (the
// leaf table's count, the window's lines, the tool's output) and reports an
// error instead of a figure when it is wrong.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "database/IndexWalk.h"
#include "bench/BenchFiles.h"
#include "bench/BenchSession.h"
#include "bench/BenchSettings.h"
#include "bench/SearchBench.h"
#include "bench/Subprocess.h"
#include "viewer/Scrolling.h"

#ifndef ONDREL_EXPORT_PATH
#define ONDREL_EXPORT_PATH ""
#endif

namespace ondrel::bench {
namespace {

// The floor's buffer: what a plain copy of the file (cat) reads at a time.
constexpr std::size_t kFloorBuffer = 128 * 1024;

// Benchmarks whose result was wrong; any makes the run end with status 1.
int failures = 0;

void Fail(benchmark::State& state, const std::string& problem) {
  ++failures;
  state.SkipWithError(problem.c_str());
}
int FailFromElsewhere(benchmark::State& state, const std::string& problem) {
  Fail(state, problem);
  return failures;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void MakeFiles(const std::vector<BenchProfile>& profiles) {
  for (const BenchProfile& profile : profiles) {
    auto start = std::chrono::steady_clock::now();
    if (EnsureProfile(profile))
      std::fprintf(stderr, "wrote %s in %.1f s\n", profile.directory.c_str(), Seconds(start));
    start = std::chrono::steady_clock::now();
    if (EnsureSqlite(profile))
      std::fprintf(stderr, "wrote %s in %.1f s\n", profile.sqlite.c_str(), Seconds(start));
  }
}

// --- the walk and its floor ---------------------------------------------

void RegisterWalk(const BenchProfile& profile, OpenedProfile& opened) {
  const std::string index = profile.IndexFile().string();
  benchmark::RegisterBenchmark(("walk_floor/" + profile.label).c_str(), [index](benchmark::State& state) {
    std::uint64_t bytes = 0;
    for (auto _ : state) benchmark::DoNotOptimize(bytes = ReadWholeFile(index, kFloorBuffer));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
  })->Unit(benchmark::kMillisecond)->UseRealTime();

  benchmark::RegisterBenchmark(("walk/" + profile.label).c_str(), [&opened, profile](benchmark::State& state) {
    opened.platform.messages = 0;
    for (auto _ : state) BuildReferenceInformation(opened.state, opened.platform);
    const Long counted = opened.state.LeafTable.back().CumCount;
    if (opened.platform.messages != 0 || counted != static_cast<Long>(profile.records))
      Fail(state, "the leaf table counts " + std::to_string(counted) + " entries");
    state.counters["leaves"] = static_cast<double>(opened.state.LeafIndex);
  })->Unit(benchmark::kMillisecond)->UseRealTime();
}

// --- the record window and the thumb drag ------------------------------

void RegisterWindows(const BenchProfile& profile, OpenedProfile& opened) {
  for (const WindowPoint& point : WindowPoints(profile.records)) {
    const std::string name = "window/" + profile.label + "/" + point.name;
    benchmark::RegisterBenchmark(name.c_str(), [&opened, profile, point](benchmark::State& state) {
      opened.platform.messages = 0;
      for (auto _ : state) FillAt(opened, static_cast<double>(point.entry));
      const std::string problem = WindowProblem(opened, point.entry, profile.records);
      if (!problem.empty()) Fail(state, problem);
      state.counters["entry"] = static_cast<double>(point.entry);
    })->Unit(benchmark::kMicrosecond)->UseRealTime();
  }

  // Drags in the last section, reached on the keypad as a user reaches it,
  // from the top of the bar to its bottom and round again, one scroll event
  // per position.
  benchmark::RegisterBenchmark(("drag/" + profile.label).c_str(), [&opened](benchmark::State& state) {
    GoToLastSection(opened);
    PlainContentsView& view = opened.view;
    const Long top = ScrollTop(view);
    Long value = 1;
    opened.platform.messages = 0;
    for (auto _ : state) {
      view.filePosValue = value;
      FilePos_Scroll(opened.state, opened.platform, view);
      value = value == top ? 1 : value + 1;
    }
    const Long shown = value == 1 ? top : value - 1;
    const std::string expected =
        std::to_string(static_cast<std::int64_t>(opened.state.Section - 1) * kSectionSize + shown);
    if (opened.platform.messages != 0 || view.ptrCaption != expected || !view.ptrVisible)
      Fail(state, "Ptr shows " + view.ptrCaption + ", not " + expected);
    state.counters["positions"] = static_cast<double>(top);
    ReopenAtFirstEntry(opened);
  })->Unit(benchmark::kNanosecond)->UseRealTime();
}

// --- the export and its floor -------------------------------------------

// Besides the time, each run of the tool gives its peak resident memory
// (peak_MiB), and the export is set beside cat of the data file through the
// same pipe (export_cat): what writing every byte of the data into a pipe
// costs at the least.
void RegisterExport(const BenchProfile& profile, const std::string& tool) {
  const std::string data = profile.DataFile().string();
  const auto records = static_cast<double>(profile.records);
  benchmark::RegisterBenchmark(("export_floor/" + profile.label).c_str(), [data, records](benchmark::State& state) {
    std::uint64_t bytes = 0;
    for (auto _ : state) benchmark::DoNotOptimize(bytes = ReadWholeFile(data, kFloorBuffer));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
    state.counters["records_per_s"] = benchmark::Counter(records, benchmark::Counter::kIsIterationInvariantRate);
  })->Unit(benchmark::kMillisecond)->UseRealTime();

  const auto dataBytes = static_cast<std::uint64_t>(std::filesystem::file_size(data));
  benchmark::RegisterBenchmark(("export_cat/" + profile.label).c_str(), [data, records, dataBytes](benchmark::State& state) {
    ToolRun run;
    for (auto _ : state) run = RunTool("/bin/cat", {data});
    if (run.exitStatus != 0 || run.bytes != dataBytes)
      Fail(state, "cat ended with status " + std::to_string(run.exitStatus) + " after " + std::to_string(run.bytes) +
                      " bytes");
    state.counters["records_per_s"] = benchmark::Counter(records, benchmark::Counter::kIsIterationInvariantRate);
  })->Unit(benchmark::kMillisecond)->UseRealTime();

  for (const char* format : {"text", "csv", "json"}) {
    const std::string name = std::string("export_") + format + "/" + profile.label;
    // The text has two heading lines, the CSV one header row, JSON Lines none.
    const std::uint64_t headingLines = std::strcmp(format, "text") == 0 ? 2 : std::strcmp(format, "csv") == 0 ? 1 : 0;
    const std::vector<std::string> args{"--format", format, profile.directory.string(), kIspec, kProfile};
    benchmark::RegisterBenchmark(name.c_str(), [tool, args, records, headingLines, profile](benchmark::State& state) {
      ToolRun run;
      long peakKiB = 0;
      for (auto _ : state) {
        run = RunTool(tool, args);
        peakKiB = std::max(peakKiB, run.peakKiB);
      }
      if (run.exitStatus != 0 || run.lines != profile.records + headingLines)
        Fail(state, "ondrel-export ended with status " + std::to_string(run.exitStatus) + " after " +
                        std::to_string(run.lines) + " lines");
      state.SetBytesProcessed(static_cast<std::int64_t>(run.bytes) * state.iterations());
      state.counters["records_per_s"] = benchmark::Counter(records, benchmark::Counter::kIsIterationInvariantRate);
      state.counters["peak_MiB"] = static_cast<double>(peakKiB) / 1024;
    })->Unit(benchmark::kMillisecond)->UseRealTime();
  }
}

// --- SQLite paging the same rows ------------------------------------------

struct SqliteHandle {
  sqlite3* db = nullptr;
  ~SqliteHandle() { sqlite3_close(db); }
};

// One page of 21 rows at an entry, each row made into a line as the window
// makes its lines.  Returns what is wrong with the page, or "".
std::string SqlitePage(sqlite3* db, std::uint64_t entry, std::uint64_t records, std::string& page) {
  static constexpr const char* kQuery =
      "SELECT keyno, name, city, amount FROM records ORDER BY keyno LIMIT 21 OFFSET ?1";
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, kQuery, -1, &statement, nullptr) != SQLITE_OK) return sqlite3_errmsg(db);
  sqlite3_bind_int64(statement, 1, static_cast<sqlite3_int64>(entry - 1));
  page.clear();
  std::uint64_t rows = 0;
  std::string problem;
  int step;
  while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
    const auto* key = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    if (problem.empty() && (key == nullptr || KeyOf(entry + rows) != key))
      problem = "row " + std::to_string(rows + 1) + " has key " + (key ? key : "NULL");
    for (int column = 0; column < 4; ++column) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      if (text) page += text;
      page += ' ';
    }
    page += "\r\n";
    ++rows;
  }
  if (step != SQLITE_DONE && problem.empty()) problem = sqlite3_errmsg(db);
  sqlite3_finalize(statement);
  const std::uint64_t expected = std::min<std::uint64_t>(21, records - entry + 1);
  if (problem.empty() && rows != expected) problem = "the page holds " + std::to_string(rows) + " rows";
  return problem;
}

void RegisterSqlite(const BenchProfile& profile) {
  auto handle = std::make_shared<SqliteHandle>();
  if (sqlite3_open_v2(profile.sqlite.c_str(), &handle->db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    std::fprintf(stderr, "cannot open %s\n", profile.sqlite.c_str());
    std::exit(1);
  }
  for (const WindowPoint& point : WindowPoints(profile.records)) {
    const std::string name = "sqlite_window/" + CountLabel(profile.records) + "/" + point.name;
    const std::uint64_t records = profile.records;
    benchmark::RegisterBenchmark(name.c_str(), [handle, point, records](benchmark::State& state) {
      std::string page;
      std::string problem;
      for (auto _ : state) problem = SqlitePage(handle->db, point.entry, records, page);
      if (!problem.empty()) Fail(state, problem);
      state.counters["entry"] = static_cast<double>(point.entry);
    })->Unit(benchmark::kMicrosecond)->UseRealTime();
  }
}

// Reads every file the benchmarks touch once, so that the first measured
// run finds them in the page cache like the rest.
void WarmUp(const BenchProfile& profile) {
  ReadWholeFile(profile.IndexFile().string(), kFloorBuffer);
  ReadWholeFile(profile.DataFile().string(), kFloorBuffer);
  ReadWholeFile(profile.sqlite.string(), kFloorBuffer);
}

}  // namespace
}  // namespace ondrel::bench

int main(int argc, char** argv) {
  using namespace ondrel::bench;
  benchmark::Initialize(&argc, argv);
  BenchSettings settings;
  settings.exportTool = ONDREL_EXPORT_PATH;
  if (!ParseBenchSettings(argc, argv, settings, "ondrel-bench")) return 2;
  const std::vector<BenchProfile> profiles = ProfileSet(settings.directory, settings.records, settings.nodeSizes);
  try {
    MakeFiles(profiles);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ondrel-bench: %s\n", e.what());
    return 1;
  }
  if (settings.makeOnly) return 0;
  if (settings.exportTool.empty()) {
    std::fprintf(stderr, "ondrel-bench: no ondrel-export to run (--bench_export=PATH)\n");
    return 2;
  }

  // Opened for the whole run: the benchmarks refer to them.
  std::vector<std::unique_ptr<OpenedProfile>> opened;
  for (const BenchProfile& profile : profiles) {
    WarmUp(profile);
    opened.push_back(std::make_unique<OpenedProfile>());
    OpenedProfile& keyed = *opened.back();
    OpenProfile(keyed, profile, true);
    RegisterWalk(profile, keyed);
    RegisterWindows(profile, keyed);
    RegisterExport(profile, settings.exportTool);
    opened.push_back(std::make_unique<OpenedProfile>());
    OpenProfile(*opened.back(), profile, true, kScatteredProfile);
    RegisterSearch(profile, keyed, *opened.back(), settings.exportTool, FailFromElsewhere);
  }
  for (std::size_t i = 0; i < profiles.size(); ++i)
    if (i == 0 || profiles[i].records != profiles[i - 1].records) RegisterSqlite(profiles[i]);

  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (failures != 0) std::fprintf(stderr, "ondrel-bench: %d benchmarks measured a wrong result\n", failures);
  return failures == 0 ? 0 : 1;
}
