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
#include <functional>
#include <string>
#include <vector>

#include "database/ByteFile.h"
#include "database/FineProblems.h"
#include "database/SharedState.h"
#include "database/StdCompat.h"

namespace ondrel {

// One text to look for.
class TextMatcher {
 public:
  TextMatcher(std::string text, bool matchCase);
  // The prepared search refers to the text held here.
  TextMatcher(const TextMatcher&) = delete;
  TextMatcher& operator=(const TextMatcher&) = delete;

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
  // Prepared once: a record line is short, and a search that prepared its
  // text again for every line would spend most of its time doing so.
  compat::boyer_moore_horspool_searcher<std::string::const_iterator> searcher_;
  mutable std::string folded_;

  // Where the shown fields of a definition lie in a record slot, learnt at
  // the first slot searched, so that FindInSlot looks in them where they lie
  // instead of making each record's line first: each shown field's place in
  // the slot and its column in the line, the one-byte fields (a NUL there
  // ends the record early), and the terminator.
  void Learn(const SharedState& state) const;
  struct Span {
    std::size_t slot;
    std::size_t width;
    std::size_t column;
  };
  mutable std::vector<Span> shown_;
  // Runs of shown fields that lie next to each other in the slot, searched
  // in one piece: [first, last) of shown_.
  struct Run {
    std::size_t first;
    std::size_t last;
  };
  mutable std::vector<Run> runs_;
  mutable std::vector<std::size_t> oneByte_;
  mutable std::size_t terminator_ = 0;
  mutable bool usable_ = false;
  // The definition the layout was learnt for (record length and field count).
  mutable std::int64_t learntLength_ = -1;
  mutable int learntFields_ = -1;
};

// Told how far a long search has come; answers false to cancel it.
class SearchProgress {
 public:
  virtual ~SearchProgress() = default;
  // `done` of `total` entries are searched.
  virtual bool Continue(std::int64_t done, std::int64_t total) = 0;
  // The search stops to ask or to tell the user something: what shows the
  // progress goes now, and comes back only if the search goes on for long.
  virtual void Pause() {}
};

enum class FindOutcome { Found, NotFound, Cancelled };

struct FindResult {
  FindOutcome outcome = FindOutcome::NotFound;
  Long entry = 0;     // Found: the entry number
  long column = -1;   // Found: where the text starts in its record line
};

// The sizes of a long search's batches of entries: the first small, so that
// a match nearby comes at once; the largest still short enough that the
// progress is told and Cancel is seen several times a second.  Once at the
// largest, the rest may be searched through one pass over the data file.
struct FindBatches {
  std::int64_t first = 256;
  std::int64_t largest = std::int64_t{1} << 20;
};

// Looks through entries `first` to `last` (both included, 1-based; `last`
// below `first` searches nothing), forwards from `first` or backwards from
// `last`, for the first match met in that direction.  Needs the definition
// loaded; the data and index files are opened here, for the span of the
// search.  What cannot be read goes to `problems` and the search goes on.
FindResult FindInEntries(SharedState& state, const TextMatcher& matcher, Long first, Long last, bool forward,
                         FineProblems& problems, SearchProgress* progress, FindBatches batches = {});

}  // namespace ondrel
