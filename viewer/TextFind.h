// Finding text in the records of the chosen profile.
//
// What is searched is what the record window shows: the record line of each
// entry flagged "Y" whose record is active (the shown fields, each at its
// full width and followed by one blank), in key order.  Purged records and
// entries the window does not show never match.  The text is Windows-1252
// bytes, as the record line is; without "Match case" letters match in either
// case, by the code page's own pairs of capital and small letters (A-Z, the
// accented letters of the upper half, and the pairs S/s, OE/oe, Z/z, Y with
// diaeresis).
//
// A long search reads the records of a run of entries in batches, in
// record-number order (RecordBatch), testing each record as it is read and
// keeping only where it matched; then the batch is gone through in key
// order.  The batches start small, so that a match nearby is found at once,
// and grow, so that a whole profile is one or a few passes over the data
// file whatever its key order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/ByteFile.h"
#include "database/FineProblems.h"
#include "database/SharedState.h"

namespace ondrel {

// One text to look for.
class TextMatcher {
 public:
  TextMatcher(std::string text, bool matchCase);

  // Where the text first occurs in `line`, or -1.
  long Find(const char* line, std::size_t length) const;
  // The same in the record line of a whole slot, made as RecordFromSlot makes
  // it (into `scratch`); -1 for a purged record.
  long FindInSlot(const SharedState& state, const char* slot, std::string& scratch) const;

  bool Empty() const { return text_.empty(); }
  std::size_t Length() const { return text_.size(); }

 private:
  std::string text_;  // folded when the case does not matter
  bool matchCase_;
  mutable std::string folded_;
};

// Told how far a long search has come; answers false to cancel it.
class SearchProgress {
 public:
  virtual ~SearchProgress() = default;
  // `done` of `total` entries are searched.
  virtual bool Continue(std::int64_t done, std::int64_t total) = 0;
};

enum class FindOutcome { Found, NotFound, Cancelled };

struct FindResult {
  FindOutcome outcome = FindOutcome::NotFound;
  Long entry = 0;     // Found: the entry number
  long column = -1;   // Found: where the text starts in its record line
};

// Looks through entries `first` to `last` (both included, 1-based; `last`
// below `first` searches nothing), forwards from `first` or backwards from
// `last`, for the first match met in that direction.  Needs the definition
// loaded; the data and index files are opened here, for the span of the
// search.  What cannot be read goes to `problems` and the search goes on.
FindResult FindInEntries(SharedState& state, const TextMatcher& matcher, Long first, Long last, bool forward,
                         FineProblems& problems, SearchProgress* progress);

}  // namespace ondrel
