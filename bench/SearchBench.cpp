// Benchmarks of reaching records by key and by text, and of reading a whole
// profile in an order that scatters the records:
//
// - seek/LABEL/PROFILE/WHERE: SeekKey for the key of the first entry, the
//   middle one and the last, on KEYNO (one part) and BYNAME (two parts);
//   each must find the entry it was given the key of.
// - find/LABEL/PROFILE: FindInEntries through the whole profile for a text
//   only the record of the profile's last entry holds (record n carries n
//   only in its key field, so the text is that record's 10-digit key): all
//   records are read and tested; it must find the last entry.
// - export_text/LABEL/BYNAME: the text export of the scattering profile, to
//   set beside the one of KEYNO (Benchmarks.cpp), with its peak memory.
#include "bench/SearchBench.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>

#include "bench/Subprocess.h"
#include "database/ByteFile.h"
#include "database/Definition.h"
#include "database/EntryCursor.h"
#include "database/IndexWalk.h"
#include "database/KeySeek.h"
#include "viewer/Search.h"
#include "viewer/TextFind.h"

namespace ondrel::bench {
namespace {

// Entry `entry` of the profile: its key as stored, split into the
// profile's parts, and the record it points at.
struct EntryKey {
  std::vector<std::string> parts;
  Long record = 0;
};

EntryKey EntryKeyOf(OpenedProfile& opened, Long entry) {
  SharedState& state = opened.state;
  ByteFile index(state.IndexPath);
  FineProblems problems(opened.platform);
  const KeyOrder order(state);
  EntryCursor cursor(state, index, order, problems);
  cursor.StartAt(FindLeaf(state, static_cast<double>(entry)));
  TreeEntry e;
  while (cursor.Next(e) && e.Number < entry) {
  }
  EntryKey key;
  key.record = e.Record;
  for (const KeyPartOrder& part : order.Parts())
    key.parts.emplace_back(reinterpret_cast<const char*>(e.Key) + part.offset, static_cast<std::size_t>(part.length));
  return key;
}

class NoProgress : public SearchProgress {
 public:
  bool Continue(std::int64_t, std::int64_t) override { return true; }
};

}  // namespace

void RegisterSearch(const BenchProfile& profile, OpenedProfile& keyed, OpenedProfile& scattered,
                    const std::string& tool, int (*fail)(benchmark::State&, const std::string&)) {
  for (OpenedProfile* opened : {&keyed, &scattered}) {
    if (opened->state.Heading.empty()) LoadDefinition(opened->state, opened->platform);
    const std::string name = opened == &keyed ? kProfile : kScatteredProfile;
    const auto total = static_cast<Long>(profile.records);
    for (const auto& [where, entry] : {std::pair<const char*, Long>{"first", 1}, {"middle", total / 2},
                                       {"last", total}}) {
      const std::vector<std::string> typed = EntryKeyOf(*opened, entry).parts;
      benchmark::RegisterBenchmark(("seek/" + profile.label + "/" + name + "/" + where).c_str(),
                                   [opened, typed, entry, fail](benchmark::State& state) {
                                     SeekResult result;
                                     for (auto _ : state) {
                                       ByteFile index(opened->state.IndexPath);
                                       result = SeekKey(opened->state, index, typed);
                                     }
                                     if (result.outcome != SeekOutcome::Found || result.entry != entry)
                                       fail(state, "the seek found entry " + std::to_string(result.entry) + ": " +
                                                       result.message);
                                   })
          ->Unit(benchmark::kMicrosecond)
          ->UseRealTime();
    }

    // The key field of the record under the profile's last entry: only
    // that record's line holds it, so the search reads and tests every
    // record before it finds it at the last entry.
    const std::string text = KeyOf(static_cast<std::uint64_t>(EntryKeyOf(*opened, total).record));
    benchmark::RegisterBenchmark(("find/" + profile.label + "/" + name).c_str(),
                                 [opened, text, total, fail](benchmark::State& state) {
                                   FindResult result;
                                   NoProgress progress;
                                   for (auto _ : state) {
                                     FineProblems problems(opened->platform);
                                     result = FindInEntries(opened->state, TextMatcher(text, true), 1, total, true,
                                                            problems, &progress);
                                   }
                                   if (result.outcome != FindOutcome::Found || result.entry != total ||
                                       opened->platform.messages != 0)
                                     fail(state, "the search did not find the last entry's record, but entry " +
                                                     std::to_string(result.entry));
                                   state.counters["records_per_s"] = benchmark::Counter(
                                       static_cast<double>(total), benchmark::Counter::kIsIterationInvariantRate);
                                 })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }

  const std::vector<std::string> args{"--format", "text", profile.directory.string(), kIspec, kScatteredProfile};
  const auto records = static_cast<double>(profile.records);
  benchmark::RegisterBenchmark(("export_text/" + profile.label + "/" + kScatteredProfile).c_str(),
                               [tool, args, records, profile, fail](benchmark::State& state) {
                                 ToolRun run;
                                 long peakKiB = 0;
                                 for (auto _ : state) {
                                   run = RunTool(tool, args);
                                   peakKiB = std::max(peakKiB, run.peakKiB);
                                 }
                                 state.counters["peak_MiB"] = static_cast<double>(peakKiB) / 1024;
                                 if (run.exitStatus != 0 || run.lines != profile.records + 2)
                                   fail(state, "ondrel-export ended with status " + std::to_string(run.exitStatus) +
                                                   " after " + std::to_string(run.lines) + " lines");
                                 state.counters["records_per_s"] =
                                     benchmark::Counter(records, benchmark::Counter::kIsIterationInvariantRate);
                               })
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
}

}  // namespace ondrel::bench
