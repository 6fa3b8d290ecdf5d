#include "database/LargeMemory.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace ondrel {

void AdviseLargeMemory(const void* start, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Below this, few faults are saved and a huge page may hold more than is used.
  constexpr std::size_t kLeast = 4 * 1024 * 1024;
  constexpr std::uintptr_t kPage = 4096;
  if (bytes < kLeast) return;
  const auto from = (reinterpret_cast<std::uintptr_t>(start) + kPage - 1) & ~(kPage - 1);
  const auto to = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(kPage - 1);
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);  // a hint: a refusal changes nothing
#else
  (void)start;
  (void)bytes;
#endif
}

}  // namespace ondrel
