// The entries of the chosen key's tree in key order, read leaf by leaf
// through the leaf table (the index layout is described in IndexWalk.cpp).
//
// The cursor reads each leaf node in one piece and hands out its entries one
// at a time, numbered as the record window numbers them: the entries of leaf
// k count on from CumCount(k - 1).  It is the one reader of leaf entries: the
// record window, the export and the scans all go through it.
//
// Besides every read that fails, it notices what a leaf read while the
// owning application rewrites the file can show: a leaf whose level word says
// it is no leaf, a used length no sound leaf has, and a key that comes before
// the key before it in the tree's order (KeyOrder.h).  Each goes to the
// FineProblems of the read.
#pragma once

#include <cstdint>
#include <vector>

#include "database/ByteFile.h"
#include "database/FineProblems.h"
#include "database/KeyOrder.h"
#include "database/NodeReader.h"
#include "database/SharedState.h"

namespace ondrel {

// One entry as the cursor read it.  A field that could not be read keeps its
// start value: flag 0, record 0, key null.
struct TreeEntry {
  Long Number = 0;                     // entry number in key order
  unsigned char Flag = 0;              // "Y": the viewer shows it
  Long Record = 0;                     // the data record it points at
  const unsigned char* Key = nullptr;  // KeyLength bytes, valid until the next call
  Long Leaf = 0;                       // its leaf's element of LeafTable
  std::int64_t LeafPos = 0;            // the 1-based position of that leaf node
  int Slot = 0;                        // its place in the leaf, from 0
};

class EntryCursor {
 public:
  // `order` judges the keys; a key order that cannot be judged checks none.
  EntryCursor(const SharedState& state, ByteFile& index, const KeyOrder& order, FineProblems& problems);

  // Goes to the first entry of leaf `leaf` of LeafTable, or, with `skip`,
  // that many entries further on in the leaf (at most to its end): those are
  // neither read nor checked in order.
  void StartAt(Long leaf, Long skip = 0);
  // The next entry; false when the leaf table is read to its end.
  bool Next(TreeEntry& entry);

  // The leaf being read, and the count of entries so far (the entry number
  // of the last entry handed out, or CumCount(k - 1) at the start of leaf k).
  Long Leaf() const { return leaf_; }
  Long Counter() const { return counter_; }

 private:
  // Reads leaf leaf_: its used length, its level word and its bytes.
  void LoadLeaf();
  // Copies the last key into previous_, when it lies elsewhere.
  void KeepPrevious();

  const SharedState& state_;
  const KeyOrder& order_;
  FineProblems& problems_;
  NodeReader node_;
  Long leaf_ = 0;
  bool loaded_ = false;
  Long counter_ = 0;
  LeafRef current_{};
  std::int64_t cursor_ = 0;
  std::int64_t end_ = 0;
  int slot_ = 0;
  Long skip_ = 0;  // entries of the first leaf passed over (StartAt)
  // The last key read, for the order check (null: none): in place in the
  // leaf loaded, or, once that is left or when it was read piece by piece
  // into the reader's own buffer, in previous_.  A copy of every key would
  // cost more than its bytes: the next comparison would read the copy back
  // before its stores had settled.
  const unsigned char* previousKey_ = nullptr;
  std::vector<unsigned char> previous_;
};

}  // namespace ondrel
