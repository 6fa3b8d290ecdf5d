// One entry of the chosen key's tree by its number, read through the leaf
// table: for reading a run of entries backwards, and for looking at the
// keys on either side of an entry.  One leaf is held, so a run of numbers
// close together costs one read per leaf.
#pragma once

#include <vector>

#include "database/ByteFile.h"
#include "database/EntryCursor.h"
#include "database/SharedState.h"

namespace ondrel {

class EntryAt {
 public:
  EntryAt(const SharedState& state, ByteFile& index) : state_(state), index_(index) {}

  // Entry `number` (1-based): its key stays valid until the next call.
  // False when no leaf counts it, or its leaf is no sound leaf that agrees
  // with the leaf table (level 0, whole entries inside the node, as many
  // as the table counts for it).
  bool Read(Long number, TreeEntry& entry);

 private:
  bool Load(Long leaf);

  const SharedState& state_;
  ByteFile& index_;
  std::vector<unsigned char> node_;
  Long leaf_ = 0;  // the leaf held, 0 for none
  int entrySize_ = 0;
};

}  // namespace ondrel
