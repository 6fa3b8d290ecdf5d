// Entries by number, leaf by leaf (the node layout is described atop
// IndexWalk.cpp).
#include "database/EntryAt.h"

#include <algorithm>

#include "database/BigEndian.h"
#include "database/IndexWalk.h"

namespace ondrel {

bool EntryAt::Load(Long leaf) {
  if (leaf == leaf_) return true;
  leaf_ = 0;
  entrySize_ = EntrySize(state_);
  if (leaf < 1 || static_cast<std::size_t>(leaf) >= state_.LeafTable.size() || entrySize_ <= 0 ||
      state_.NodeSize < 4)
    return false;
  node_.resize(static_cast<std::size_t>(state_.NodeSize));
  if (!index_.Read(state_.LeafTable[static_cast<std::size_t>(leaf)].NodePos, node_.data(), node_.size())) return false;
  const int used = BE16(node_.data());
  const int level = BE16(node_.data() + node_.size() - 2) / 256;
  if (level != 0 || used < 2 || used > state_.NodeSize - 2 || (used - 2) % entrySize_ != 0) return false;
  const Long before = state_.LeafTable[static_cast<std::size_t>(leaf) - 1].CumCount;
  if (state_.LeafTable[static_cast<std::size_t>(leaf)].CumCount - before != (used - 2) / entrySize_) return false;
  leaf_ = leaf;
  return true;
}

bool EntryAt::Read(Long number, TreeEntry& entry) {
  if (number < 1) return false;
  Long leaf = leaf_;
  // The leaf held serves numbers it counts; any other is found again.
  if (leaf == 0 || number <= state_.LeafTable[static_cast<std::size_t>(leaf) - 1].CumCount ||
      number > state_.LeafTable[static_cast<std::size_t>(leaf)].CumCount)
    leaf = FindLeaf(state_, static_cast<double>(number));
  if (leaf == 0 || !Load(leaf)) return false;
  const Long slot = number - state_.LeafTable[static_cast<std::size_t>(leaf) - 1].CumCount - 1;
  if (slot < 0) return false;  // a leaf whose count was set back by one before it
  const unsigned char* at = node_.data() + 2 + static_cast<std::size_t>(slot) * static_cast<std::size_t>(entrySize_);
  entry.Number = number;
  entry.Flag = at[0];
  entry.Key = at + 1;
  entry.Record = static_cast<Long>(BE32(at + entrySize_ - 4));
  entry.Leaf = leaf;
  entry.LeafPos = state_.LeafTable[static_cast<std::size_t>(leaf)].NodePos;
  entry.Slot = static_cast<int>(slot);
  return true;
}

}  // namespace ondrel
