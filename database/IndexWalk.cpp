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
// The walk reads the interior levels entry by entry and, of each leaf, its
// used length, its level word and (unless told not to) its first and last
// keys (LeafKeys): a leaf's entries are counted from U.  Asked to, it also
// reads every entry of each leaf to learn whether all leading parts are
// digits (LeadingDigits), and all second parts (SecondDigits), which costs
// a copy of each leaf from the block cache.  The profile reader (Profile.cpp) reads the key
// descriptions.
#include "database/IndexWalk.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "database/Checked.h"
#include "database/KeyOrder.h"
#include "database/Messages.h"
#include "database/NodeMap.h"
#include "database/NodeReader.h"

namespace ondrel {
namespace {

class Walker {
 public:
  Walker(SharedState& state, Platform& platform, ByteFile& index, bool digits = false, bool keys = true)
      : state_(state), platform_(platform), index_(index), digits_(digits), keys_(keys || digits) {
    // Positions are 64-bit, so an index past 2 GiB is walked; node numbers
    // are Longs, so no node from number 2^31 on can be reached.  The visited
    // set grows with the nodes entered, whatever size the file claims (a
    // sparse file may claim terabytes).
    if (state_.NodeSize > 0) {
      nodes_ = std::min<std::int64_t>((index_.Size() + state_.NodeSize - 1) / state_.NodeSize, std::int64_t{1} << 31);
      visited_ = NodeBits(nodes_ + 1);
    }
  }

  // Walks the tree from its top node.
  WalkResult Start(std::int64_t position) {
    Enter(position);
    depth_ = 1;
    Walk(position);
    return result_;
  }

 private:
  // The open interior nodes on the path from the root: the entries of each
  // not yet followed are what an early end leaves unread.
  struct Frame {
    const std::int64_t* cursor;
    std::int64_t end;
  };

  void Walk(std::int64_t position);
  // One failure: the coarse-tables message, or past the limit the end of
  // the walk with one message that says how much was left.
  void Coarse();
  bool Stopped() const { return result_.stopped; }
  // Marks the node at a position as entered; false when it was entered
  // before (a cycle, or two parents sharing one child) or it would lie
  // deeper than any sound tree.  Positions outside the file are not nodes
  // and are let through: every read there fails.
  bool Enter(std::int64_t position);
  void AddLeaf(std::int64_t position, Integer used, const unsigned char* firstKey);
  void KeepLeafKeys(std::size_t k, std::int64_t position, Integer used, const unsigned char* firstKey);

  SharedState& state_;
  Platform& platform_;
  ByteFile& index_;
  bool digits_;                        // learning LeadingDigits and SecondDigits
  bool keys_;                          // keeping LeafKeys (learning the digits needs them too)
  // Neither part is all digits, or that cannot be known.
  void Unlearn() {
    if (!digits_) return;
    state_.LeadingDigits = 0;
    state_.SecondDigits = 0;
  }
  std::vector<unsigned char> leaf_;    // a leaf's entries, when learning it
  std::vector<unsigned char> head_;    // a node's used length, flag and first key
  std::int64_t nodes_ = 0;     // whole or partial nodes of the file that can be reached
  NodeBits visited_;           // by node number, from 0
  int depth_ = 0;              // level of the node being walked; the root is 1
  std::vector<Frame> path_;
  WalkResult result_;
};

void Walker::Coarse() {
  if (Stopped()) return;
  ++result_.failures;
  if (result_.failures <= kWalkFailureLimit) {
    platform_.MessageBox(msg::kCoarse, msg::kCoarseTitle, MsgIcon::None, MsgButtons::Ok);
    return;
  }
  result_.stopped = true;
  const std::int64_t entrySize = std::max(1, 1 + state_.KeyLength + state_.EntryTail);
  for (const Frame& frame : path_)
    if (*frame.cursor < frame.end) result_.skipped += (frame.end - *frame.cursor + entrySize - 1) / entrySize;
  platform_.MessageBox(msg::WalkStopped(state_.IndexPath, result_.failures, result_.skipped), msg::kCoarseTitle,
                       MsgIcon::None, MsgButtons::Ok);
}

bool Walker::Enter(std::int64_t position) {
  if (depth_ + 1 > kMaxTreeDepth) return false;
  if (state_.NodeSize <= 0 || position < 1 || (position - 1) % state_.NodeSize != 0) return true;
  const std::int64_t node = (position - 1) / state_.NodeSize;
  if (node >= nodes_ + 1) return true;
  if (visited_.Test(node)) return false;
  visited_.Set(node);
  return true;
}

void Walker::AddLeaf(std::int64_t position, Integer used, const unsigned char* firstKey) {
  // Step 4.1: one more leaf, unless the table already holds as many leaves
  // as the file has nodes: no sound tree has more.
  // A leaf beyond that is reported and left out, so that it cannot
  // overwrite the last leaf described.
  Long leaf;
  if (state_.LeafIndex >= std::max<std::int64_t>(nodes_, 1) || !CheckedAdd(state_.LeafIndex, 1, leaf)) {
    Coarse();
    return;
  }
  state_.LeafIndex = leaf;
  state_.LeafTable.resize(static_cast<std::size_t>(leaf) + 1);
  state_.LeafReach.resize(static_cast<std::size_t>(leaf) + 1);
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
  if (keys_) KeepLeafKeys(k, position, used, firstKey);
}

// The first and last keys of leaf k, read only from a sound leaf that the
// table counts as the seek reads one (KeySeek.cpp): whole entries inside the
// node, as many as the table counts.  Anything else is marked unread, and a
// seek that leans on it is refused.
void Walker::KeepLeafKeys(std::size_t k, std::int64_t position, Integer used, const unsigned char* firstKey) {
  const auto length = static_cast<std::size_t>(std::max<Integer>(state_.KeyLength, 0));
  const std::int64_t entrySize = std::int64_t{1} + std::max<Integer>(state_.KeyLength, 0) + state_.EntryTail;
  state_.LeafKeys.resize((k + 1) * 2 * length);
  state_.LeafKeysRead.resize(k + 1, 0);
  state_.LeafKeysRead[k] = 0;
  const std::int64_t entries = entrySize > 0 && used >= 2 ? (used - 2) / entrySize : -1;
  const bool sound = entries >= 0 && (used - 2) % entrySize == 0 && used <= state_.NodeSize - 2 &&
                     state_.LeafTable[k].CumCount - std::int64_t{state_.LeafTable[k - 1].CumCount} == entries;
  if (!sound) {
    Unlearn();
    return;
  }
  if (entries == 0) {
    state_.LeafKeysRead[k] = 2;
    return;
  }
  if (length == 0) {  // keys of no bytes: nothing to keep, and no part of digits
    Unlearn();
    state_.LeafKeysRead[k] = 1;
    return;
  }
  unsigned char* first = state_.LeafKeys.data() + k * 2 * length;
  unsigned char* last = first + length;
  const std::int64_t start = position + 2;  // the first entry's flag
  const std::int64_t lastAt = start + (entries - 1) * entrySize;
  if (!digits_ || (state_.LeadingDigits == 0 && state_.SecondDigits == 0)) {
    if (firstKey) std::memcpy(first, firstKey, length);
    if ((firstKey || index_.Read(start + 1, first, length)) && index_.Read(lastAt + 1, last, length))
      state_.LeafKeysRead[k] = 1;
    return;
  }
  leaf_.resize(static_cast<std::size_t>(used - 2));
  if (!index_.Read(start, leaf_.data(), leaf_.size())) {
    Unlearn();
    return;
  }
  std::memcpy(first, leaf_.data() + 1, length);
  std::memcpy(last, leaf_.data() + (entries - 1) * entrySize + 1, length);
  state_.LeafKeysRead[k] = 1;
  // The leading and the second part: digits across the width, or blanks alone.
  const auto& parts = state_.KeyPartLengths;
  auto width = [&](std::size_t p) {
    return parts.size() <= p ? 0 : static_cast<std::size_t>(std::max<Integer>(parts[p], 0));
  };
  const std::size_t lead = std::min(length, width(0));
  const std::size_t second = std::min(length - lead, width(1));
  if (lead == 0) state_.LeadingDigits = 0;
  if (second == 0) state_.SecondDigits = 0;
  for (std::int64_t e = 0; e < entries; ++e) {
    const unsigned char* key = leaf_.data() + e * entrySize + 1;
    if (state_.LeadingDigits == 1 && !DigitsOrBlanks(key, lead)) state_.LeadingDigits = 0;
    if (state_.SecondDigits == 1 && !DigitsOrBlanks(key + lead, second)) state_.SecondDigits = 0;
    if (state_.LeadingDigits != 1 && state_.SecondDigits != 1) break;
  }
}

void Walker::Walk(std::int64_t position) {
  Integer used = 0;
  Integer level = 0;
  std::int64_t levelPos = 0;
  // The used length and, for a leaf, its first key, in one read; a node
  // too short for that (the last of a cut file) is read as before.
  head_.resize(3 + static_cast<std::size_t>(std::max<Integer>(state_.KeyLength, 0)));
  const bool head = index_.Read(position, head_.data(), head_.size());
  if (head) used = static_cast<Integer>(BE16(head_.data()));
  else if (!index_.ReadBE16(position, used)) Coarse();                     // step 1
  if (!CheckedAdd(position, state_.NodeSize - 2, levelPos) ||                // step 2
      !index_.ReadBE16(levelPos, level))
    Coarse();
  if (Stopped()) return;
  if (level / 256 == 0) {                                                   // step 4
    AddLeaf(position, used, head ? head_.data() + 3 : nullptr);
    return;
  }
  // Step 5: every entry of an interior node leads to one child.  The cursor
  // (step 3) is 64-bit, so it always advances and the loop ends on any used
  // length; reads beyond the file fail one by one.
  std::int64_t cursor = position + 2;
  const std::int64_t end = position + used;
  // The node's entries in one read; the last entry may reach past U.
  NodeReader node(index_);
  node.Load(cursor, end + 1 + std::max<Integer>(state_.KeyLength, 0) + state_.EntryTail);
  unsigned char flag = 0;
  Long pointer = 0;
  path_.push_back({&cursor, end});
  while (cursor < end && !Stopped()) {
    for (int failed = node.ReadEntry(cursor, state_.KeyLength, state_.EntryTail, flag, pointer);
         failed > 0; --failed)
      Coarse();
    std::int64_t child;
    if (!CheckedSub(pointer, 1, child) || !CheckedMul(child, std::int64_t{state_.NodeSize}, child) ||
        !CheckedAdd(child, 1, child) || !Enter(child)) {
      Coarse();
    } else if (!Stopped()) {
      ++depth_;
      Walk(child);
      --depth_;
    }
  }
  path_.pop_back();
}

}  // namespace

WalkResult WalkIndex(SharedState& state, Platform& platform, ByteFile& index, std::int64_t position) {
  Walker walker(state, platform, index);
  return walker.Start(position);
}

WalkResult BuildReferenceInformation(SharedState& state, Platform& platform, bool learnDigits, bool leafKeys) {
  state.LeafTable.assign(2, LeafRef{});
  state.LeafReach.assign(2, 0);
  state.LeafKeys.clear();
  state.LeafKeysRead.clear();
  state.KeysRise = -1;
  state.LeadingDigits = learnDigits ? 1 : -1;
  state.SecondDigits = state.LeadingDigits;
  state.LeafIndex = 0;
  state.KeyPartStorage.clear();
  state.KeyRecords = KeyRecordCheck::Unknown;
  // Which files the table is built from is for the front end that opened
  // the set to say: only it knows when it began to read them (FileIdentity.h).
  state.FilesKnown = false;
  state.FilesChangeTold = false;
  // An index that cannot be opened, or a root whose position does not fit,
  // is one coarse failure: the table stays empty and nothing is walked.
  ByteFile index;
  std::int64_t root = 0;
  if (!index.Open(state.IndexPath) || !CheckedSub(state.KeyHead.RootNode, 1, root) ||
      !CheckedMul(root, std::int64_t{state.NodeSize}, root) || !CheckedAdd(root, 1, root)) {
    platform.MessageBox(msg::kCoarse, msg::kCoarseTitle, MsgIcon::None, MsgButtons::Ok);
    state.Walk = WalkResult{};
    state.Walk.failures = 1;
    if (learnDigits) state.LeadingDigits = state.SecondDigits = 0;
    return state.Walk;
  }
  Walker walker(state, platform, index, learnDigits, leafKeys);
  state.Walk = walker.Start(root);
  if (!leafKeys) {
    // Kept only while the digits were learnt from them: a seek is refused.
    std::vector<unsigned char>().swap(state.LeafKeys);
    std::vector<unsigned char>().swap(state.LeafKeysRead);
  }
  // Leaves left unread say nothing about their keys.
  if (learnDigits && state.Walk.failures > 0) state.LeadingDigits = state.SecondDigits = 0;
  LearnPartStorage(state, index);
  return state.Walk;
}

bool DigitsOrBlanks(const unsigned char* bytes, std::size_t n) {
  if (n > 0 && bytes[0] == ' ') return std::all_of(bytes, bytes + n, [](unsigned char c) { return c == ' '; });
  unsigned bad = 0;  // no branch a byte
  for (std::size_t i = 0; i < n; ++i) bad |= static_cast<unsigned char>(bytes[i] - '0') > 9 ? 1u : 0u;
  return bad == 0;
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
