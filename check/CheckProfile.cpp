// The steps of the check of one profile:
//
//   1. the files: the index and data files open, whole nodes and records, a
//      key that fits a node, a root inside the file;
//   2. the sample (CheckSample.h): the form each part of the key is stored
//      in, and whether the keys are made of the records at all;
//   3. the first walk (CheckWalk.h): the tree's shape, the order of the
//      keys, the votes on the interior-key convention, and the first step of
//      the record checks (CheckRecords.h);
//   4. one pass over the data file;
//   5. only when something was found in 3 or 4 that needs naming, a second
//      walk that names the entry, node and record of each interior key,
//      stored key, duplicate and purged record at fault;
//   6. the records no entry reaches, the notes on the counts, the summary.
//
// A record-ordered profile and one whose order scatters the records cost
// the same: one reading of the tree and one of the data file, front to back.
#include "check/CheckProfile.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <unordered_map>

#include "database/DataRecord.h"
#include "database/IndexWalk.h"
#include "database/KeyOrder.h"
#include "check/CheckKeys.h"
#include "check/CheckRecords.h"
#include "check/CheckSample.h"
#include "check/CheckWalk.h"
#include "database/Text.h"

namespace ondrel::check {
namespace {

struct Files {
  ByteFile index;
  ByteFile data;
  std::int64_t nodeCount = 0;
  std::int64_t dataRecords = 0;
};

// Step 1; false when the tree cannot be walked.
bool CheckFiles(const SharedState& state, Files& files, CheckReport& report) {
  const int nodeSize = state.NodeSize;
  if (!files.index.Open(state.IndexPath)) {
    report.Problem("index-file", "The index file " + Printable(state.IndexPath) + " cannot be opened.");
    return false;
  }
  if (!files.data.Open(state.DataPath))
    report.Problem("data-file", "The data file " + Printable(state.DataPath) + " cannot be opened.");

  // Node numbers are Longs: none from 2^31 on can be reached.  The marks are
  // kept in pages, so a file that claims more than it holds costs nothing.
  files.nodeCount = std::min<std::int64_t>(files.index.Size() / nodeSize, 0x7FFFFFFF);
  if (files.index.Size() % nodeSize != 0)
    report.Problem("index-file", "The index file holds " + std::to_string(files.index.Size()) +
                                     " bytes, not a whole number of " + std::to_string(nodeSize) + "-byte nodes.");
  // Record numbers are Longs too.
  files.dataRecords = std::min<std::int64_t>(WholeSlots(files.data, state.RecordLength), 0x7FFFFFFF);
  if (files.data.Size() % state.RecordLength != 0)
    report.Problem("data-file", "The data file holds " + std::to_string(files.data.Size()) +
                                    " bytes, not a whole number of " + std::to_string(state.RecordLength) +
                                    "-byte records.");

  const int entrySize = EntrySize(state);
  if (state.KeyLength < 1) {
    report.Problem("key", "The key description gives a key length of " + std::to_string(state.KeyLength) +
                              ": a key holds at least one byte.");
    return false;
  }
  if (entrySize > nodeSize - 4) {
    report.Problem("key", "The key description gives a key length of " + std::to_string(state.KeyLength) +
                              " and entries of " + std::to_string(entrySize) + " bytes, which no " +
                              std::to_string(nodeSize) + "-byte node can hold.");
    return false;
  }
  const Long root = state.KeyHead.RootNode;
  if (root < 2 || root > files.nodeCount) {
    report.Problem("node", "The root node " + std::to_string(root) +
                               " lies outside the tree nodes of the index file (2 to " +
                               std::to_string(files.nodeCount) + ").");
    return false;
  }
  return true;
}

// Step 3: the first walk.
class FirstWalk : public TreeVisitor {
 public:
  FirstWalk(const KeyOrder& order, const KeyFields& layout, InteriorKeys& interior, RecordCheck& records,
            CheckReport& report, int keyLength)
      : order_(order), layout_(layout), interior_(interior), records_(records), report_(report),
        keyLength_(keyLength), previous_(static_cast<std::size_t>(keyLength)),
        ascending_(std::none_of(order.Parts().begin(), order.Parts().end(),
                                [](const KeyPartOrder& part) { return part.descending; })) {}

  void Link(const InteriorLink& link) override { interior_.Count(link, keyLength_); }

  void Leaf(const LeafNode& leaf) override {
    // Each key against the one before it, within a leaf and across leaves.
    // A key out of place is reported once: the next key is judged against
    // it, so one key too high or too low makes one problem, not a run.
    if (order_.Judged()) {
      const unsigned char* previous = previousNumber_ > 0 ? previous_.data() : nullptr;
      for (int slot = 0; slot < leaf.entries; ++slot) {
        const unsigned char* key = leaf.bytes + static_cast<std::size_t>(slot) * leaf.entrySize + 1;
        if (previous && After(previous, key)) OutOfOrder(leaf.At(slot), previous, slot);
        previous = key;
      }
      std::copy(previous, previous + keyLength_, previous_.begin());
      previousNumber_ = leaf.firstNumber + leaf.entries - 1;
      previousNode_ = leaf.node;
    }
    records_.Reach(leaf);
    report_.Tick();
  }

 private:
  // Whether key `a` lies after key `b` in the tree's order.  A key of
  // ascending parts only is in the order of its bytes as a whole, compared
  // here eight at a time; any other goes through the key order.
  bool After(const unsigned char* a, const unsigned char* b) const {
    if (!ascending_) return order_.Compare(a, b) == KeyComparison::After;
    int i = 0;
    for (; i + 8 <= keyLength_; i += 8) {
      const std::uint64_t x = Word(a + i), y = Word(b + i);
      if (x != y) return x > y;
    }
    for (; i < keyLength_; ++i)
      if (a[i] != b[i]) return a[i] > b[i];
    return false;
  }

  // Eight bytes as a number whose order is theirs.
  static std::uint64_t Word(const unsigned char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
    return w;
  }

  void OutOfOrder(const LeafEntry& entry, const unsigned char* previous, int slot) {
    const std::int64_t number = slot > 0 ? entry.number - 1 : previousNumber_;
    const std::uint32_t node = slot > 0 ? entry.node : previousNode_;
    report_.Problem("key-order",
                    "Entry " + std::to_string(entry.number) + " (node " + std::to_string(entry.node) + ", record " +
                        std::to_string(entry.record) + "): its key " + StoredKeyText(layout_, entry.key) +
                        " comes before the key " + StoredKeyText(layout_, previous) + " of entry " + std::to_string(number) +
                        " (node " + std::to_string(node) + ").",
                    {.entry = entry.number, .node = entry.node, .record = entry.record});
  }

  const KeyOrder& order_;
  const KeyFields& layout_;
  InteriorKeys& interior_;
  RecordCheck& records_;
  CheckReport& report_;
  int keyLength_;
  std::vector<unsigned char> previous_;
  std::int64_t previousNumber_ = 0;
  std::uint32_t previousNode_ = 0;
  bool ascending_;
};

// Step 5: the second walk.
class SecondWalk : public TreeVisitor {
 public:
  SecondWalk(const KeyFields& layout, const InteriorKeys& interior, RecordCheck& records, CheckReport& report,
             int keyLength)
      : layout_(layout), interior_(interior), records_(records), report_(report), keyLength_(keyLength) {}

  // A child whose parent's entry breaks the convention may be another
  // tree's node, or a node from another moment: what its entries show
  // follows from that problem and is counted under it, not listed.
  void Link(const InteriorLink& link) override {
    const std::string problem = interior_.Problem(link, layout_, keyLength_);
    if (!problem.empty()) {
      report_.Problem("interior-key", problem, {.node = link.node, .position = link.position});
      records_.Follows(link.child, "node " + std::to_string(link.node) + ", entry " + std::to_string(link.position));
      under_[link.child] = link.child;
    } else if (const auto parent = under_.find(link.node); parent != under_.end()) {
      under_[link.child] = parent->second;
    }
  }
  void Leaf(const LeafNode& leaf) override {
    const auto found = under_.find(leaf.node);
    const std::uint32_t under = found == under_.end() ? 0 : found->second;
    for (int slot = 0; slot < leaf.entries; ++slot) records_.Locate(leaf.At(slot), under);
    report_.Tick();
  }

 private:
  const KeyFields& layout_;
  const InteriorKeys& interior_;
  RecordCheck& records_;
  CheckReport& report_;
  int keyLength_;
  std::unordered_map<std::uint32_t, std::uint32_t> under_;  // node: the child found bad above it
};

std::string Listed(const std::vector<std::uint32_t>& numbers) {
  std::string text;
  for (std::size_t i = 0; i < numbers.size(); ++i)
    text += (i == 0 ? "" : i + 1 == numbers.size() ? " and " : ", ") + std::to_string(numbers[i]);
  return text;
}

}  // namespace

void CheckProfile(SharedState& state, bool conditions, NodeOwners& owners, CheckReport& report) {
  Files files;
  WalkCounts counts;
  std::int64_t active = 0, unreached = 0, purged = 0;
  auto summary = [&] {
    report.Summary({{"entries", counts.entries},
                    {"leaves", counts.leaves},
                    {"depth", counts.depth},
                    {"purged records", purged},
                    {"header record count", state.RecordCount},
                    {"data records", files.dataRecords},
                    {"active records", active},
                    {"unreached records", unreached}});
  };
  if (!CheckFiles(state, files, report)) {
    summary();
    return;
  }

  // Step 2.
  const std::vector<std::uint32_t> sample = SampleLeaves(state, files.index, files.nodeCount);
  LearnStorage(state, files.index, sample);
  KeyFields layout(state);
  if (!layout.Comparable())
    report.Unjudged("The stored keys are not compared with the records: " + ReportText(layout.WhyNot()) + ".");
  ProveParts(layout, state, files.index, files.data, sample, files.dataRecords, report);
  // The key order as the viewer judges it, with each ordinate known by its
  // field's whole name (an ordinate holds only the first ten characters).
  SharedState named = state;
  for (std::size_t i = 0; i < layout.Segments().size() && i < named.Ordinates.size(); ++i)
    named.Ordinates[i].Name = layout.Segments()[i].name;
  const KeyOrder order(named);
  if (!order.Judged()) report.Unjudged("The key order is not judged: " + order.Unmatched() + ".");

  // Steps 3 and 4.
  InteriorKeys interior(&order);
  RecordCheck records(layout, files.data, files.dataRecords, report);
  FirstWalk first(order, layout, interior, records, report, state.KeyLength);
  const std::uint16_t tree = owners.BeginTree("the tree of profile " + ReportText(state.ProfileName), files.nodeCount);
  counts = TreeWalk(state, files.index, files.nodeCount, &report, &owners, tree).Run(first);
  // A tree of fewer than two entries has no order to judge.
  for (const KeyPartOrder& part : order.Parts())
    if (order.Judged() && counts.entries > 1 && part.descending && part.storage == PartStorage::Unknown)
      report.Unjudged("The order of the descending key part " + ReportText(part.name) +
                  " is not judged: the tree does not show how it is stored.");
  interior.Decide();
  if (const std::string note = interior.Undecided(); !note.empty()) report.Unjudged(note);
  records.ScanData();

  // Step 5.
  if (records.AnySuspect() || interior.Breaks() > 0) {
    SecondWalk second(layout, interior, records, report, state.KeyLength);
    TreeWalk(state, files.index, files.nodeCount, nullptr).Run(second);
    records.FinishLocate();
  }

  // Step 6.
  active = records.ActiveRecords();
  unreached = records.UnreachedRecords();
  purged = records.PurgedEntries();
  if (!conditions && unreached > 0) {
    const auto& shown = records.FirstUnreached();
    const std::string count = std::to_string(unreached) + (unreached == 1 ? " active record is" : " active records are");
    report.Problem("unreached",
                   unreached <= static_cast<std::int64_t>(shown.size())
                       ? count + " reached by no entry: " + Listed(shown) + "."
                       : count + " reached by no entry; the first " + std::to_string(shown.size()) + ": " +
                             Listed(shown) + ".",
                   {.record = shown.front()});
  }
  // Entries and active records that disagree in number say the index and
  // the data file are of different moments, even where each entry is sound.
  // The entries that reach purged records are warned of already.
  if (!conditions && counts.entries - purged != active) {
    const std::string text = "The profile has " + std::to_string(counts.entries) + " entries for " +
                             std::to_string(active) + " active records.";
    // After a problem it tells what follows from that; alone, it says the
    // index and the data file disagree where nothing else shows it.
    if (report.ProfileProblems() > 0) report.Note(text);
    else report.Unjudged(text);
  }
  summary();
}

}  // namespace ondrel::check
