// Reader of the index file _N.IDX and builder of the leaf table.
//
// The index is a file of fixed-size nodes holding one B-tree per key.  Node
// n (1-based) occupies offsets (n - 1) * NodeSize to n * NodeSize - 1; node 1
// holds the header.  Numbers are big-endian (BigEndian.h).
//
// Header (node 1):
//
//   offset  size  form  meaning
//   ------  ----  ----  ----------------------------------------------------
//        6     1  byte  node size code: 7 = 2048-byte nodes, else 512
//       33     4  BE32  number of records
//       45     4  BE32  K: key descriptions start at offset K * NodeSize + 6
//
// Key descriptions follow one another, each starting with its own length;
// description 0 belongs to no profile, description i to the i-th profile:
//
//   offset  size  form  meaning
//   ------  ----  ----  ----------------------------------------------------
//        0     2  BE16  total length of this description, these two included
//        2     4  BE32  root node number of this key's tree
//        6     1        not used
//        7     1        0x00: entry tail of 4 bytes; anything else: 8
//        8     4        not used
//       12   5*p        key parts: BE16 part length, then 3 unused bytes
//
// A node:
//
//   offset         size     form  meaning
//   -------------  -------  ----  ----------------------------------------
//   0              2        BE16  U, bytes in use, these two included
//   2              U - 2          entries, packed, in key order
//   NodeSize - 2   2        BE16  level word: its first byte is the level,
//                                 0 for a leaf
//
// An entry, 1 + KeyLength + EntryTail bytes:
//
//   offset                      size       meaning
//   --------------------------  ---------  ---------------------------------
//   0                           1          flag: "Y" = shown by the viewer
//   1                           KeyLength  the key value
//   1 + KeyLength               4          only with a tail of 8: not used
//   1 + KeyLength + Tail - 4    4          BE32: child node number in an
//                                          interior node, data record number
//                                          in a leaf
//
// The walk reads the interior levels entry by entry and only the used length
// and level word of each leaf: a leaf's entries are counted from U.  The
// profile reader (Profile.cpp) reads the key descriptions.
#include "database/IndexWalk.h"

#include <algorithm>
#include <cmath>

#include "database/Checked.h"
#include "database/Messages.h"
#include "database/NodeReader.h"

namespace ondrel {
namespace {

class Walker {
 public:
  Walker(SharedState& state, Platform& platform, ByteFile& index)
      : state_(state), platform_(platform), index_(index) {
    if (state_.NodeSize > 0)
      visited_.assign(static_cast<std::size_t>(index_.Size() / state_.NodeSize + 1), false);
  }

  // Walks the tree from its top node.
  void Start(Long position) {
    Enter(position);
    Walk(position);
  }

 private:
  void Walk(Long position);
  void Coarse() {
    platform_.MessageBox(msg::kCoarse, msg::kCoarseTitle, MsgIcon::None, MsgButtons::Ok);
  }
  // Marks the node at a position as entered; false when it was entered
  // before (a cycle, or two parents sharing one child) or the descent is
  // deeper than any sound tree.  Positions outside the file are not nodes
  // and are let through: every read there fails.
  bool Enter(Long position);
  void AddLeaf(Long position, Integer used);

  SharedState& state_;
  Platform& platform_;
  ByteFile& index_;
  std::vector<bool> visited_;  // by node number
  int depth_ = 0;
};

bool Walker::Enter(Long position) {
  if (depth_ >= kMaxTreeDepth) return false;
  if (state_.NodeSize <= 0 || position < 1 || (position - 1) % state_.NodeSize != 0) return true;
  const auto node = static_cast<std::size_t>((position - 1) / state_.NodeSize);
  if (node >= visited_.size()) return true;
  if (visited_[node]) return false;
  visited_[node] = true;
  return true;
}

void Walker::AddLeaf(Long position, Integer used) {
  // Step 4.1: one more leaf.
  Long leaf;
  if (CheckedAdd(state_.LeafIndex, 1, leaf)) {
    state_.LeafIndex = leaf;
    state_.LeafTable.resize(static_cast<std::size_t>(leaf) + 1);
    state_.LeafReach.resize(static_cast<std::size_t>(leaf) + 1);
  } else {
    Coarse();
  }
  const auto k = static_cast<std::size_t>(state_.LeafIndex);
  // Step 4.2.
  state_.LeafTable[k].NodePos = position;
  // Step 4.3: the leaf's entries counted from its used length, rounded half
  // to even (exact for a sound leaf).
  Integer entrySize = 0;
  const bool sizeOk = CheckedAdd(state_.KeyLength, state_.EntryTail, entrySize) &&
                      CheckedAdd(entrySize, 1, entrySize) && entrySize != 0;
  const double cum =
      sizeOk ? std::nearbyint(static_cast<double>(state_.LeafTable[k - 1].CumCount) +
                              (static_cast<double>(used) - 2.0) / entrySize)
             : 0.0;
  if (sizeOk && cum >= -2147483648.0 && cum <= 2147483647.0)
    state_.LeafTable[k].CumCount = static_cast<Long>(cum);
  else
    Coarse();
  state_.LeafReach[k] = std::max(state_.LeafReach[k - 1], state_.LeafTable[k].CumCount);
}

void Walker::Walk(Long position) {
  Integer used = 0;
  Integer level = 0;
  Long levelPos = 0;
  if (!index_.ReadBE16(position, used)) Coarse();                            // step 1
  if (!CheckedAdd(position, state_.NodeSize - 2, levelPos) ||                // step 2
      !index_.ReadBE16(levelPos, level))
    Coarse();
  if (level / 256 == 0) {                                                   // step 4
    AddLeaf(position, used);
    return;
  }
  // Step 5: every entry of an interior node leads to one child.  The cursor
  // (step 3) is 64-bit, so it always advances and the loop ends on any used
  // length; reads beyond the file fail one by one.
  std::int64_t cursor = std::int64_t{position} + 2;
  const std::int64_t end = std::int64_t{position} + used;
  // The node's entries in one read; the last entry may reach past U.
  NodeReader node(index_);
  node.Load(cursor, end + 1 + std::max<Integer>(state_.KeyLength, 0) + state_.EntryTail);
  unsigned char flag = 0;
  Long pointer = 0;
  while (cursor < end) {
    for (int failed = node.ReadEntry(cursor, state_.KeyLength, state_.EntryTail, flag, pointer);
         failed > 0; --failed)
      Coarse();
    Long child;
    if (!CheckedSub(pointer, 1, child) || !CheckedMul(child, Long{state_.NodeSize}, child) ||
        !CheckedAdd(child, 1, child) || !Enter(child)) {
      Coarse();
    } else {
      ++depth_;
      Walk(child);
      --depth_;
    }
  }
}

}  // namespace

void WalkIndex(SharedState& state, Platform& platform, ByteFile& index, Long position) {
  Walker walker(state, platform, index);
  walker.Start(position);
}

void BuildReferenceInformation(SharedState& state, Platform& platform) {
  state.LeafTable.assign(2, LeafRef{});
  state.LeafReach.assign(2, 0);
  state.LeafIndex = 0;
  // An index that cannot be opened, or a root whose position does not fit,
  // is one coarse failure: the table stays empty and nothing is walked.
  ByteFile index;
  Long root = 0;
  if (!index.Open(state.IndexPath) || !CheckedSub(state.KeyHead.RootNode, 1, root) ||
      !CheckedMul(root, Long{state.NodeSize}, root) || !CheckedAdd(root, 1, root)) {
    platform.MessageBox(msg::kCoarse, msg::kCoarseTitle, MsgIcon::None, MsgButtons::Ok);
    return;
  }
  Walker walker(state, platform, index);
  walker.Start(root);
}

Long FindLeaf(const SharedState& state, double entry) {
  // LeafReach never decreases, and its first element reaching the entry is
  // the first leaf whose CumCount reaches it.
  const std::size_t bound = std::min(state.LeafTable.size(), state.LeafReach.size());
  if (bound < 2) return 0;
  const auto first = state.LeafReach.begin() + 1;
  const auto last = state.LeafReach.begin() + static_cast<std::ptrdiff_t>(bound);
  const auto it = std::lower_bound(first, last, entry,
                                   [](Long reach, double e) { return static_cast<double>(reach) < e; });
  return it == last ? 0 : static_cast<Long>(it - state.LeafReach.begin());
}

}  // namespace ondrel
