#pragma once

#include <cstdint>

#include "database/ByteFile.h"
#include "database/Platform.h"
#include "database/SharedState.h"

namespace ondrel {

// Deepest tree the walk and the check accept, in levels: the root is level 1.
// A sound tree of 2^31 entries in the smallest nodes is far shallower;
// anything deeper is a damaged tree.
inline constexpr int kMaxTreeDepth = 64;

// Failures one walk reports one by one.  The failure after them ends the
// walk with one message saying how much of the tree was left unread, so that
// a tree damaged all over costs a handful of messages, not millions.
inline constexpr int kWalkFailureLimit = 5;

// Walks the subtree under the node at `position` (1-based) in the open index
// file and appends its leaves to LeafTable.  Every failure shows the
// coarse-tables message once and the walk goes on with the next step, up to
// the failure limit.  The leaf table never holds more leaves than the file
// has nodes.
WalkResult WalkIndex(SharedState& state, Platform& platform, ByteFile& index, std::int64_t position);

// What the chooser's Ok runs to build the reference information: resets
// LeafTable to elements 0 and 1, opens IndexPath, walks the tree from
// RootNode, learns how the key's descending parts are stored
// (KeyPartStorage), and closes the file.  The identities of the files the
// table is built from are forgotten (FilesKnown): the front end that read the
// header and the walk puts in those it took before it began (ReadUnchanged).
// With `learnDigits`, the walk also reads every entry to learn LeadingDigits
// and SecondDigits (for the SQL table, whose numeric key parts are taken in
// the tree's order only where they hold); without it both stay -1.
// Without `leafKeys`, the leaves' keys are not kept (LeafKeys and
// LeafKeysRead stay empty, and a seek is refused), for a reader that goes
// through the entries from a number and seeks no key: in a tree of many
// leaves, growing those tables costs more than the rest of the walk.
WalkResult BuildReferenceInformation(SharedState& state, Platform& platform, bool learnDigits = false,
                                     bool leafKeys = true);

// Whether n bytes are digits across, or blanks alone: a numeric key part
// whose stored order is its values' (LeadingDigits, SecondDigits).
bool DigitsOrBlanks(const unsigned char* bytes, std::size_t n);

// The first leaf k (1 to the upper bound of LeafTable) whose CumCount reaches
// the entry number, found by binary search; 0 when no leaf does.
Long FindLeaf(const SharedState& state, double entry);

// The number of entries the leaf table counts (the highest count it reaches;
// 0 when it holds no leaf).
inline Long EntryCount(const SharedState& state) { return state.LeafReach.empty() ? 0 : state.LeafReach.back(); }

// Bytes of one index entry: flag, key and tail.
inline int EntrySize(const SharedState& state) { return 1 + state.KeyLength + state.EntryTail; }

}  // namespace ondrel
