// Reading the chosen key's entries in key order, leaf by leaf, and the data
// record of each entry shown.
//
// The record window reads at most 21 lines this way.  Whatever cannot be
// read, or is out of the tree's order, goes to the read's FineProblems,
// which tells the user once; the scan goes on with its next step.
#pragma once

#include "database/ByteFile.h"
#include "database/DataRecord.h"
#include "database/FineProblems.h"
#include "database/KeyOrder.h"
#include "database/SharedState.h"

namespace ondrel {

// What the scan hands each entry it shows.
class EntrySink {
 public:
  virtual ~EntrySink() = default;
  // Whether another entry should be read; checked before every leaf and every
  // entry (the record window stops once it holds 21 lines).
  virtual bool WantsMore() const = 0;
  // An entry numbered at or after StartRecord and flagged "Y".  EntryCounter
  // holds its entry number; `recordNumber` is 0 when it could not be read.
  virtual void Show(Long recordNumber) = 0;
};

// Reads the leaves from LeafTable(LeafIndex) on, entry by entry, as far as
// the sink wants, keeping LeafIndex and EntryCounter up to date.  Entries
// before StartRecord and entries whose flag is not "Y" are counted, not shown.
//
// The values of one leaf (its used length) and of one entry (its flag and
// record number) start unread for that leaf or entry: a read that fails never
// lends an entry the flag or the record of the entry before it.
void ScanEntries(SharedState& state, ByteFile& index, const KeyOrder& order, FineProblems& problems,
                 EntrySink& sink);

}  // namespace ondrel
