// A hint for the large arrays of a batch: memory of many megabytes, touched
// once from front to back.
//
// On Linux a process's memory is mapped a 4 KiB page at a time, each page on
// its first touch: the batches of a scan whose key order scatters the
// records (RecordStream) hold over 100 MB, some 40,000 faults, which took an
// eighth of the export of 10 million such entries.  Asked for huge pages
// (2 MiB) where the system gives them on request, the same memory takes a
// few hundred.  Elsewhere, and for less than a few megabytes, nothing is
// done.
#pragma once

#include <cstddef>
#include <vector>

namespace ondrel {

// Asks for huge pages for the whole pages in [start, start + bytes), before
// they are first touched.  A hint: the memory is the same either way.
void AdviseLargeMemory(const void* start, std::size_t bytes);

// Room for n elements in `array` (exactly, as reserve gives it), asked for
// huge pages when it has to be made; room it has already is left alone.
template <typename T>
void ReserveLarge(std::vector<T>& array, std::size_t n) {
  if (array.capacity() >= n) return;
  array.reserve(n);
  AdviseLargeMemory(array.data(), n * sizeof(T));
}

}  // namespace ondrel
