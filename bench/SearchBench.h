// The benchmarks of seeking a key, finding text and exporting in a
// scattering order (SearchBench.cpp).
#pragma once

#include <string>

#include "bench/BenchFiles.h"
#include "bench/BenchSession.h"

namespace benchmark {
class State;
}

namespace ondrel::bench {

// `keyed` and `scattered` are the profile opened through KEYNO and through
// BYNAME; `fail` marks a benchmark whose result was wrong.
void RegisterSearch(const BenchProfile& profile, OpenedProfile& keyed, OpenedProfile& scattered,
                    const std::string& tool, int (*fail)(benchmark::State&, const std::string&));

}  // namespace ondrel::bench
