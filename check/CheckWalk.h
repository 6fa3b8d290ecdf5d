// The walk of one key's tree for the check: every node read once, depth first,
// left to right, with a stack of its own rather than recursion.
//
// The walk checks the shape of the tree (node layout in IndexWalk.cpp): used
// lengths, levels, child pointers inside the file, cycles, nodes reached
// twice, depth.  A child pointer that leads to a node already reached is
// reported (as a cycle when the node lies on the path from the root) and not
// followed, so the walk ends on any file and reports each problem once.  It
// hands every link from an interior entry to its child, and every leaf entry
// in key order, to a visitor, which makes the checks of keys and records.
//
// The first walk of each tree also records, in the ISPEC's NodeOwners, the
// tree and the entry each node was reached from, so that a node reached
// twice, from one tree or from two, is reported with both paths.
//
// Memory: one bit per node of the file, eight bytes per node of the index
// for the owners, and the path from the root (one node of bytes per level).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/ByteFile.h"
#include "database/NodeMap.h"
#include "database/SharedState.h"
#include "check/CheckReport.h"

namespace ondrel::check {

// One leaf entry; `key` is valid during the call only.
struct LeafEntry {
  std::int64_t number = 0;  // entry number in key order, from 1
  std::uint32_t node = 0;   // the leaf's node number
  int slot = 0;             // place in the leaf, from 0
  unsigned char flag = 0;
  std::uint32_t record = 0;
  const unsigned char* key = nullptr;
};

// An interior entry and the child it leads to, once the child has been read.
// The keys are valid during the call only; the child's are null when it has
// no entries.
struct InteriorLink {
  std::uint32_t node = 0;
  int position = 0;  // the entry's place in its node, from 1
  const unsigned char* key = nullptr;
  // The keys of the entries before and after it in its node, null at the
  // node's ends.
  const unsigned char* previousKey = nullptr;
  const unsigned char* nextKey = nullptr;
  std::uint32_t child = 0;
  const unsigned char* childFirst = nullptr;
  const unsigned char* childLast = nullptr;
};

// The entries of one leaf, in key order; the bytes are valid during the
// call only.
struct LeafNode {
  std::uint32_t node = 0;
  std::int64_t firstNumber = 0;  // entry number of its first entry
  int entries = 0;
  int entrySize = 0;
  const unsigned char* bytes = nullptr;  // its first entry

  LeafEntry At(int slot) const {
    const unsigned char* entry = bytes + static_cast<std::size_t>(slot) * static_cast<std::size_t>(entrySize);
    return {firstNumber + slot, node, slot, entry[0],
            static_cast<std::uint32_t>(entry[entrySize - 4]) << 24 | static_cast<std::uint32_t>(entry[entrySize - 3]) << 16 |
                static_cast<std::uint32_t>(entry[entrySize - 2]) << 8 | entry[entrySize - 1],
            entry + 1};
  }
};

// Which tree reached each node of an index file, and from where: the
// parent node and the 1-based entry (0 for a root).  Kept for all the
// profiles of an ISPEC checked in one run.
class NodeOwners {
 public:
  struct Owner {
    std::uint32_t parent = 0;
    std::uint16_t position = 0;
    std::uint16_t tree = 0;  // 1-based in Trees(); 0: not reached
  };

  // Starts a tree ("the tree of profile BYNO"); returns its number.
  std::uint16_t BeginTree(const std::string& name, std::int64_t nodeCount);
  Owner& At(std::uint32_t node) { return owners_.At(node); }
  // "node 5, entry 2 of the tree of profile BYNO", or "the root of ...".
  std::string Path(std::uint32_t node) const;
  // Nodes 2 to the end that no tree reached.
  std::int64_t Unowned() const;
  std::int64_t NodeCount() const { return owners_.Count() - 1; }

 private:
  // By node number, from 0; kept in pages, since an index file may be large
  // or claim to be (a sparse file).
  NodeMap<Owner> owners_;
  std::vector<std::string> trees_;
};

class TreeVisitor {
 public:
  virtual ~TreeVisitor() = default;
  virtual void Link(const InteriorLink&) {}
  virtual void Leaf(const LeafNode& leaf) = 0;
};

struct WalkCounts {
  std::int64_t entries = 0;
  std::int64_t leaves = 0;
  int depth = 0;
};

class TreeWalk {
 public:
  // `nodeCount`: the nodes of the index file that can be reached.  The root
  // must lie among them (2 to nodeCount).  Without a report the walk says
  // nothing: that is the second walk of a tree whose shape was reported.
  // `owners` with `tree` (from BeginTree) for the first walk, null for the
  // second.
  TreeWalk(const SharedState& state, ByteFile& index, std::int64_t nodeCount, CheckReport* report,
           NodeOwners* owners = nullptr, std::uint16_t tree = 0);

  WalkCounts Run(TreeVisitor& visitor);

 private:
  struct Frame {
    std::uint32_t node = 0;
    int level = 0;
    int depth = 0;
    int entries = 0;
    int next = 0;  // entries followed so far
    std::vector<unsigned char> bytes;
  };

  void Problem(const std::string& kind, const std::string& text, const ProblemPlace& place);
  // Reads and checks one node reached from the top of the stack (or the
  // root); a leaf is finished at once, an interior node pushed.
  void Visit(std::uint32_t node, bool fromParent, int depth, TreeVisitor& visitor);
  const unsigned char* EntryAt(const std::vector<unsigned char>& bytes, int entry) const;
  std::uint32_t PointerOf(const std::vector<unsigned char>& bytes, int entry) const;
  // Whether the child pointer of the top frame's current entry should be
  // followed; reports it when not.
  bool ChildIsNew(const Frame& parent, std::uint32_t child);
  bool OnPath(std::uint32_t node) const;
  // Whether another tree of the ISPEC reached `node` before.
  bool OwnedElsewhere(std::uint32_t node);

  const SharedState& state_;
  ByteFile& index_;
  std::int64_t nodeCount_;
  CheckReport* report_;
  NodeOwners* owners_;
  std::uint16_t tree_;
  int nodeSize_;
  int entrySize_;
  NodeBits reached_;  // by node number
  std::vector<Frame> stack_;
  std::vector<std::vector<unsigned char>> spare_;  // node buffers to use again
  WalkCounts counts_;
};

}  // namespace ondrel::check
