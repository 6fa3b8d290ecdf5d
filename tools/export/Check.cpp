// --check: an integrity check of the chosen profile's tree and of the data
// records its leaves point at.
//
// The tree is walked depth first with a stack of its own, never by
// recursion, and every node is read once: a child pointer that leads to a
// node already reached is reported (as a cycle when the node lies on the path
// from the root) and not followed, so the check ends on any file and reports
// each problem once.  Nothing stops it at the first problem.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "database/BigEndian.h"
#include "database/ByteFile.h"
#include "database/IndexWalk.h"
#include "tools/export/Modes.h"
#include "tools/export/Output.h"
#include "tools/export/Session.h"

namespace ondrel::tool {
namespace {

class TreeCheck {
 public:
  explicit TreeCheck(const SharedState& state) : state_(state) {}

  // Writes one line per problem and the summary; returns the problem count.
  std::int64_t Run();

 private:
  enum Mark : unsigned char { kUnseen, kOnPath, kDone };

  struct Frame {
    std::uint32_t node = 0;
    int level = 0;
    int depth = 0;
    int entries = 0;
    int next = 0;
    std::vector<unsigned char> bytes;
  };

  void Problem(const std::string& text);
  bool CheckFiles();
  // Reads and checks one node reached from `parent` (nullptr for the root);
  // pushes an interior node on the stack, finishes a leaf at once.
  void Visit(std::uint32_t node, const Frame* parent, int depth);
  void CheckLeafEntries(std::uint32_t node, const std::vector<unsigned char>& bytes, int entries);
  std::uint32_t PointerOf(const std::vector<unsigned char>& bytes, int entry) const;
  // Checks a child pointer of the node on top of the stack; true when the
  // child should be visited.
  bool ChildIsNew(const Frame& parent, std::uint32_t child);

  const SharedState& state_;
  ByteFile index_;
  ByteFile data_;
  std::int64_t nodeCount_ = 0;
  std::int64_t dataRecords_ = 0;
  int nodeSize_ = 0;
  int entrySize_ = 0;
  std::vector<unsigned char> marks_;
  std::vector<Frame> stack_;

  std::int64_t problems_ = 0;
  std::int64_t entries_ = 0;
  std::int64_t leaves_ = 0;
  std::int64_t purged_ = 0;
  int depth_ = 0;
};

void TreeCheck::Problem(const std::string& text) {
  ++problems_;
  Stdout().Write("Problem: " + text + "\n");
}

bool TreeCheck::CheckFiles() {
  nodeSize_ = state_.NodeSize;
  entrySize_ = EntrySize(state_);
  if (!index_.Open(state_.IndexPath)) {
    Problem("The index file " + state_.IndexPath + " cannot be opened.");
    return false;
  }
  if (!data_.Open(state_.DataPath)) Problem("The data file " + state_.DataPath + " cannot be opened.");

  // Node positions are Longs: nodes that start at 2^31 or beyond cannot be
  // reached, so the marks cover what can be, whatever size the file claims.
  nodeCount_ = std::min<std::int64_t>(index_.Size(), std::int64_t{1} << 31) / nodeSize_;
  if (index_.Size() % nodeSize_ != 0)
    Problem("The index file holds " + std::to_string(index_.Size()) + " bytes, not a whole number of " +
            std::to_string(nodeSize_) + "-byte nodes.");
  dataRecords_ = data_.Size() / state_.RecordLength;
  if (data_.Size() % state_.RecordLength != 0)
    Problem("The data file holds " + std::to_string(data_.Size()) + " bytes, not a whole number of " +
            std::to_string(state_.RecordLength) + "-byte records.");

  if (state_.KeyLength < 1) {
    Problem("The key description gives a key length of " + std::to_string(state_.KeyLength) +
            ": a key holds at least one byte.");
    return false;
  }
  if (entrySize_ > nodeSize_ - 4) {
    Problem("The key description gives a key length of " + std::to_string(state_.KeyLength) +
            " and entries of " + std::to_string(entrySize_) + " bytes, which no " +
            std::to_string(nodeSize_) + "-byte node can hold.");
    return false;
  }
  const Long root = state_.KeyHead.RootNode;
  if (root < 2 || root > nodeCount_) {
    Problem("The root node " + std::to_string(root) + " lies outside the tree nodes of the index file (2 to " +
            std::to_string(nodeCount_) + ").");
    return false;
  }
  return true;
}

std::uint32_t TreeCheck::PointerOf(const std::vector<unsigned char>& bytes, int entry) const {
  const std::size_t at = 2 + static_cast<std::size_t>(entry) * static_cast<std::size_t>(entrySize_) +
                         static_cast<std::size_t>(entrySize_) - 4;
  return BE32(bytes.data() + at);
}

void TreeCheck::Visit(std::uint32_t node, const Frame* parent, int depth) {
  marks_[node] = kOnPath;
  Frame frame;
  frame.node = node;
  frame.depth = depth;
  frame.bytes.resize(static_cast<std::size_t>(nodeSize_));
  const std::int64_t position = (std::int64_t{node} - 1) * nodeSize_ + 1;
  if (!index_.Read(position, frame.bytes.data(), frame.bytes.size())) {
    Problem("Node " + std::to_string(node) + " lies partly past the end of the index file.");
    marks_[node] = kDone;
    return;
  }

  const std::string name = "Node " + std::to_string(node);
  const Integer used = BE16(frame.bytes.data());
  if (used < 2 || used > nodeSize_ - 2 || (used - 2) % entrySize_ != 0)
    Problem(name + ": its used length " + std::to_string(used) + " is not 2 to " +
            std::to_string(nodeSize_ - 2) + " bytes of whole " + std::to_string(entrySize_) +
            "-byte entries.");
  const int usable = std::min<int>(std::max<int>(used, 2), nodeSize_ - 2);
  frame.entries = (usable - 2) / entrySize_;

  // The level is the first byte of the level word, 0 for a leaf; each level
  // lies one below its parent's.
  frame.level = BE16(frame.bytes.data() + nodeSize_ - 2) / 256;
  if (frame.level < 0)
    Problem(name + ": its level " + std::to_string(frame.level) + " is not plausible.");
  else if (parent != nullptr && frame.level != parent->level - 1)
    Problem(name + ": its level " + std::to_string(frame.level) + " lies under node " +
            std::to_string(parent->node) + " of level " + std::to_string(parent->level) + ".");

  if (frame.level == 0) {
    ++leaves_;
    if (depth > depth_) depth_ = depth;
    CheckLeafEntries(node, frame.bytes, frame.entries);
    marks_[node] = kDone;
    return;
  }
  if (frame.entries == 0) Problem(name + ": an interior node without entries.");
  stack_.push_back(std::move(frame));
}

void TreeCheck::CheckLeafEntries(std::uint32_t node, const std::vector<unsigned char>& bytes,
                                 int entries) {
  for (int i = 0; i < entries; ++i) {
    ++entries_;
    const std::uint32_t record = PointerOf(bytes, i);
    if (record == 0 || record > dataRecords_) {
      Problem("Entry " + std::to_string(entries_) + " (node " + std::to_string(node) +
              "): its record number " + std::to_string(record) +
              " lies outside the data file, which holds " + std::to_string(dataRecords_) +
              " records.");
      continue;
    }
    unsigned char terminator = 0;
    if (data_.Read(std::int64_t{record} * state_.RecordLength, &terminator, 1) && terminator != '\n')
      ++purged_;
  }
}

bool TreeCheck::ChildIsNew(const Frame& parent, std::uint32_t child) {
  const std::string where = "Node " + std::to_string(parent.node) + ", entry " +
                            std::to_string(parent.next) + ": its child pointer " +
                            std::to_string(child);
  if (child < 2 || child > nodeCount_) {
    Problem(where + " lies outside the tree nodes of the index file (2 to " +
            std::to_string(nodeCount_) + ").");
    return false;
  }
  if (marks_[child] == kOnPath) {
    Problem(where + " leads back to a node on the path from the root (a cycle).");
    return false;
  }
  if (marks_[child] == kDone) {
    Problem(where + " leads to a node already reached through another entry.");
    return false;
  }
  if (parent.depth >= kMaxTreeDepth) {
    Problem(where + " leads deeper than " + std::to_string(kMaxTreeDepth) + " levels.");
    return false;
  }
  return true;
}

std::int64_t TreeCheck::Run() {
  if (CheckFiles()) {
    marks_.assign(static_cast<std::size_t>(nodeCount_) + 1, kUnseen);
    Visit(static_cast<std::uint32_t>(state_.KeyHead.RootNode), nullptr, 1);
    while (!stack_.empty()) {
      Frame& top = stack_.back();
      if (top.next >= top.entries) {
        marks_[top.node] = kDone;
        stack_.pop_back();
        continue;
      }
      ++top.next;  // 1-based in messages
      const std::uint32_t child = PointerOf(top.bytes, top.next - 1);
      if (ChildIsNew(top, child)) {
        const Frame parent{top.node, top.level, top.depth, 0, 0, {}};
        Visit(child, &parent, top.depth + 1);  // may grow the stack: `top` is not used after
      }
    }
  }
  Stdout().Write("Summary: entries " + std::to_string(entries_) + ", leaves " +
                 std::to_string(leaves_) + ", depth " + std::to_string(depth_) +
                 ", purged records " + std::to_string(purged_) + ", header record count " +
                 std::to_string(state_.RecordCount) + ", problems " + std::to_string(problems_) +
                 "\n");
  return problems_;
}

}  // namespace

int CheckMode(const Options& options) {
  Session session;
  OpenProfile(session, options, false);
  RequireDefinition(session);
  TreeCheck check(session.state);
  const std::int64_t problems = check.Run();
  Stdout().Flush();
  return problems > 0 ? 1 : 0;
}

}  // namespace ondrel::tool
