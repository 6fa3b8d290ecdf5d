// Which records of the data file hold a text, found in one pass over the
// whole file from front to back.
//
// A long search through a profile whose key order scatters the records
// would read the data file again for every batch of entries.  Once the
// entries still to search are a large share of the file's records, one
// pass over the file costs less: each slot is tested once, in file order,
// and one bit a record keeps the answer.  The caller then walks the entries
// in key order and tests bits, reading again only the record it stops at.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "database/ByteFile.h"
#include "database/SharedState.h"
#include "viewer/TextFind.h"

namespace ondrel {

class RecordMatches {
 public:
  // The most records a pass takes: the bits of 2^28 records are 32 MiB.  A
  // larger data file is searched batch by batch instead.
  static constexpr std::int64_t kMostRecords = std::int64_t{1} << 28;

  enum class Outcome { Done, Cancelled, Unusable };
  // Tests every slot of the file.  `step` is told the share of the file
  // done (0 to 1) after each piece and answers false to cancel.  Unusable:
  // the file is too large for the bits, its slots too long to read whole or
  // a piece could not be read; the bits are then not to be used.
  Outcome Scan(const SharedState& state, const TextMatcher& matcher, ByteFile& data,
            const std::function<bool(double)>& step);

  // Record `record` (1-based) lies wholly inside the file as it was read.
  bool Read(Long record) const { return record >= 1 && record <= records_; }
  // Its line, as the window shows it, holds the text.
  bool Matches(Long record) const {
    const auto at = static_cast<std::uint64_t>(record - 1);
    return Read(record) && (bits_[at >> 6] >> (at & 63) & 1) != 0;
  }

 private:
  std::int64_t records_ = 0;
  std::vector<std::uint64_t> bits_;
};

}  // namespace ondrel
