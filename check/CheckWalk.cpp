#include "check/CheckWalk.h"

#include <algorithm>

#include "database/BigEndian.h"
#include "database/IndexWalk.h"

namespace ondrel::check {

std::uint16_t NodeOwners::BeginTree(const std::string& name, std::int64_t nodeCount) {
  if (NodeCount() < nodeCount) owners_.Resize(nodeCount + 1);
  trees_.push_back(name);
  return static_cast<std::uint16_t>(trees_.size());
}

std::string NodeOwners::Path(std::uint32_t node) const {
  const Owner& o = owners_.Get(node);
  const std::string tree = o.tree == 0 ? std::string("no tree") : trees_[o.tree - 1u];
  if (o.parent == 0) return "the root of " + tree;
  return "node " + std::to_string(o.parent) + ", entry " + std::to_string(o.position) + " of " + tree;
}

std::int64_t NodeOwners::Unowned() const {
  return owners_.CountFrom(2, [](const Owner& o) { return o.tree == 0; });
}

TreeWalk::TreeWalk(const SharedState& state, ByteFile& index, std::int64_t nodeCount, CheckReport* report,
                   NodeOwners* owners, std::uint16_t tree)
    : state_(state), index_(index), nodeCount_(nodeCount), report_(report), owners_(owners), tree_(tree),
      nodeSize_(state.NodeSize), entrySize_(EntrySize(state)) {}

void TreeWalk::Problem(const std::string& kind, const std::string& text, const ProblemPlace& place) {
  if (report_) report_->Problem(kind, text, place);
}

const unsigned char* TreeWalk::EntryAt(const std::vector<unsigned char>& bytes, int entry) const {
  return bytes.data() + 2 + static_cast<std::size_t>(entry) * static_cast<std::size_t>(entrySize_);
}

std::uint32_t TreeWalk::PointerOf(const std::vector<unsigned char>& bytes, int entry) const {
  return BE32(EntryAt(bytes, entry) + entrySize_ - 4);
}

bool TreeWalk::OwnedElsewhere(std::uint32_t node) {
  return owners_ && static_cast<std::int64_t>(node) <= owners_->NodeCount() && owners_->At(node).tree != 0 &&
         owners_->At(node).tree != tree_;
}

bool TreeWalk::OnPath(std::uint32_t node) const {
  return std::any_of(stack_.begin(), stack_.end(), [&](const Frame& f) { return f.node == node; });
}

void TreeWalk::Visit(std::uint32_t node, bool fromParent, int depth, TreeVisitor& visitor) {
  reached_.Set(node);
  if (owners_ && static_cast<std::int64_t>(node) <= owners_->NodeCount()) {
    const Frame* from = fromParent ? &stack_.back() : nullptr;
    owners_->At(node) = {from ? from->node : 0u, static_cast<std::uint16_t>(from ? from->next : 0), tree_};
  }
  Frame frame;
  frame.node = node;
  frame.depth = depth;
  // A node's buffer goes back to the spares when the node is done, so the
  // walk allocates no more buffers than the tree is deep.
  if (spare_.empty()) {
    frame.bytes.resize(static_cast<std::size_t>(nodeSize_));
  } else {
    frame.bytes = std::move(spare_.back());
    spare_.pop_back();
  }
  const std::int64_t position = (std::int64_t{node} - 1) * nodeSize_ + 1;
  const ProblemPlace here{.node = node};
  if (!index_.Read(position, frame.bytes.data(), frame.bytes.size())) {
    Problem("node", "Node " + std::to_string(node) + " lies partly past the end of the index file.", here);
    spare_.push_back(std::move(frame.bytes));
    return;
  }

  auto name = [node] { return "Node " + std::to_string(node); };
  // A used length that covers no whole number of entries says nothing of
  // how many of them are sound: none of the node's entries is used, and
  // what lies under them is reported once, as records no entry reaches.
  const Integer used = BE16(frame.bytes.data());
  const bool usedSound = used >= 2 && used <= nodeSize_ - 2 && (used - 2) % entrySize_ == 0;
  if (!usedSound)
    Problem("node",
            name() + ": its used length " + std::to_string(used) + " is not 2 to " + std::to_string(nodeSize_ - 2) +
                " bytes of whole " + std::to_string(entrySize_) + "-byte entries; its entries are not read.",
            here);
  frame.entries = usedSound ? (used - 2) / entrySize_ : 0;

  // The level is the first byte of the level word, 0 for a leaf; each level
  // lies one below its parent's.  A wrong level word is reported and the
  // node read at the level its place gives it, so that its children are
  // not reported for it again.
  frame.level = BE16(frame.bytes.data() + nodeSize_ - 2) / 256;
  const Frame* parent = fromParent ? &stack_.back() : nullptr;
  if (frame.level < 0) {
    Problem("node", name() + ": its level " + std::to_string(frame.level) + " is not plausible.", here);
  } else if (parent != nullptr && frame.level != parent->level - 1) {
    Problem("node",
            name() + ": its level " + std::to_string(frame.level) + " lies under node " + std::to_string(parent->node) +
                " of level " + std::to_string(parent->level) + "; it is read as level " +
                std::to_string(parent->level - 1) + ".",
            here);
    frame.level = parent->level - 1;
  }

  if (parent != nullptr) {
    InteriorLink link;
    link.node = parent->node;
    link.position = parent->next;
    link.key = EntryAt(parent->bytes, parent->next - 1) + 1;
    if (parent->next > 1) link.previousKey = EntryAt(parent->bytes, parent->next - 2) + 1;
    if (parent->next < parent->entries) link.nextKey = EntryAt(parent->bytes, parent->next) + 1;
    link.child = node;
    if (frame.entries > 0) {
      link.childFirst = EntryAt(frame.bytes, 0) + 1;
      link.childLast = EntryAt(frame.bytes, frame.entries - 1) + 1;
    }
    visitor.Link(link);
  }

  if (frame.level == 0) {
    ++counts_.leaves;
    counts_.depth = std::max(counts_.depth, depth);
    const LeafNode leaf{node, counts_.entries + 1, frame.entries, entrySize_, EntryAt(frame.bytes, 0)};
    counts_.entries += frame.entries;
    if (frame.entries > 0) visitor.Leaf(leaf);
    spare_.push_back(std::move(frame.bytes));
    return;
  }
  if (frame.entries == 0 && usedSound) Problem("node", name() + ": an interior node without entries.", here);
  stack_.push_back(std::move(frame));
}

bool TreeWalk::ChildIsNew(const Frame& parent, std::uint32_t child) {
  std::string what;
  if (child < 2 || child > nodeCount_)
    what = "lies outside the tree nodes of the index file (2 to " + std::to_string(nodeCount_) + ").";
  else if (reached_.Test(child) && OnPath(child))
    what = "leads back to a node on the path from the root (a cycle).";
  else if (reached_.Test(child))
    what = "leads to a node already reached" +
           (owners_ ? " from " + owners_->Path(child) + "." : std::string(" through another entry."));
  else if (OwnedElsewhere(child))
    what = "leads to a node of another tree, reached from " + owners_->Path(child) + "; it is not followed.";
  else if (parent.depth >= kMaxTreeDepth)
    what = "leads deeper than " + std::to_string(kMaxTreeDepth) + " levels.";
  else
    return true;
  Problem("child",
          "Node " + std::to_string(parent.node) + ", entry " + std::to_string(parent.next) + ": its child pointer " +
              std::to_string(child) + " " + what,
          {.node = parent.node, .position = parent.next});
  return false;
}

WalkCounts TreeWalk::Run(TreeVisitor& visitor) {
  counts_ = WalkCounts{};
  stack_.clear();
  reached_ = NodeBits(nodeCount_ + 1);
  const auto root = static_cast<std::uint32_t>(state_.KeyHead.RootNode);
  if (OwnedElsewhere(root)) {
    Problem("node",
            "The root node " + std::to_string(root) + " is a node of another tree, reached from " +
                owners_->Path(root) + "; the tree is not walked.",
            {.node = root});
    return counts_;
  }
  Visit(root, false, 1, visitor);
  while (!stack_.empty()) {
    Frame& top = stack_.back();
    if (top.next >= top.entries) {
      spare_.push_back(std::move(top.bytes));
      stack_.pop_back();
      continue;
    }
    ++top.next;  // 1-based in messages
    const std::uint32_t child = PointerOf(top.bytes, top.next - 1);
    // Visit may grow the stack: `top` is not used after it.
    if (ChildIsNew(top, child)) Visit(child, true, top.depth + 1, visitor);
  }
  return counts_;
}

}  // namespace ondrel::check
