// The process's peak resident memory so far, in KiB, for tests that bound
// what a read may cost.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <psapi.h>
// windows.h names MessageBox as a macro; the platform interface has a
// member of that name.
#undef MessageBox
#else
#include <sys/resource.h>
#endif

namespace ondrel::test {

inline long PeakResidentKiB() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<long>(counters.PeakWorkingSetSize / 1024);
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
#endif
}

}  // namespace ondrel::test
