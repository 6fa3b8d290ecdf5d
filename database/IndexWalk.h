#pragma once

#include <cstdint>

#include "database/ByteFile.h"
#include "database/Platform.h"
#include "database/SharedState.h"

namespace ondrel {

// Deepest descent the walk makes.  A sound tree of 2^31 entries in the
// smallest nodes is far shallower; anything deeper is a damaged tree.
inline constexpr int kMaxTreeDepth = 64;

// Walks the subtree under the node at `position` (1-based) in the open index
// file and appends its leaves to LeafTable.  Every failure shows the
// coarse-tables message once and the walk goes on with the next step.
void WalkIndex(SharedState& state, Platform& platform, ByteFile& index, Long position);

// What the chooser's Ok runs to build the reference information: resets
// LeafTable to elements 0 and 1, opens IndexPath, walks the tree from
// RootNode, and closes the file.
void BuildReferenceInformation(SharedState& state, Platform& platform);

// The first leaf k (1 to the upper bound of LeafTable) whose CumCount reaches
// the entry number, found by binary search; 0 when no leaf does.
Long FindLeaf(const SharedState& state, double entry);

// Bytes of one index entry: flag, key and tail.
inline int EntrySize(const SharedState& state) { return 1 + state.KeyLength + state.EntryTail; }

}  // namespace ondrel
