#include "tools/export/CheckSample.h"

#include <cstring>

#include "database/BigEndian.h"
#include "database/IndexWalk.h"
#include "database/KeyOrder.h"
#include "database/RecordBatch.h"
#include "tools/export/CheckReport.h"

namespace ondrel::tool {
namespace {

// Fewer sampled entries than this never make an ascending part be left out:
// a tree that small floods nobody, and each of its keys is worth comparing.
constexpr std::int64_t kLeastEvidence = 8;

// One node read whole: its level and the entries its used length covers.
struct SampleNode {
  std::vector<unsigned char> bytes;
  int level = -1;
  int entries = 0;
};

bool ReadSampleNode(const SharedState& state, ByteFile& index, std::uint32_t node, SampleNode& out) {
  const int nodeSize = state.NodeSize;
  const int entrySize = EntrySize(state);
  out.bytes.resize(static_cast<std::size_t>(nodeSize));
  if (!index.Read((std::int64_t{node} - 1) * nodeSize + 1, out.bytes.data(), out.bytes.size())) return false;
  const int used = BE16(out.bytes.data());
  if (used < 2 || used > nodeSize - 2 || (used - 2) % entrySize != 0) return false;
  out.entries = (used - 2) / entrySize;
  out.level = BE16(out.bytes.data() + nodeSize - 2) / 256;
  return out.level >= 0;
}

const char* FormName(PartStorage storage) { return storage == PartStorage::Inverted ? "inverted" : "as written"; }

}  // namespace

std::vector<std::uint32_t> SampleLeaves(const SharedState& state, ByteFile& index, std::int64_t nodeCount) {
  std::vector<std::uint32_t> leaves;
  const int entrySize = EntrySize(state);
  const auto root = static_cast<std::int64_t>(state.KeyHead.RootNode);
  if (root < 2 || root > nodeCount || entrySize > state.NodeSize - 4) return leaves;
  SampleNode node;
  for (int s = 0; s < kSampleLeaves; ++s) {
    double fraction = (s + 0.5) / kSampleLeaves;
    auto at = static_cast<std::uint32_t>(root);
    int parentLevel = -1;
    for (int depth = 1; depth <= kMaxTreeDepth; ++depth) {
      if (!ReadSampleNode(state, index, at, node) || (parentLevel >= 0 && node.level != parentLevel - 1)) break;
      if (node.level == 0) {
        if (leaves.empty() || leaves.back() != at) leaves.push_back(at);
        break;
      }
      if (node.entries == 0) break;
      const int child = std::min(node.entries - 1, static_cast<int>(fraction * node.entries));
      fraction = fraction * node.entries - child;
      const std::uint32_t next = BE32(node.bytes.data() + 2 + static_cast<std::size_t>(child) * entrySize + entrySize - 4);
      if (next < 2 || next > nodeCount) break;
      parentLevel = node.level;
      at = next;
    }
  }
  return leaves;
}

void LearnStorage(SharedState& state, ByteFile& index, const std::vector<std::uint32_t>& leaves) {
  // LearnPartStorage reads the leaves of a leaf table; a table of the
  // sampled leaves alone gives it the sample without a walk of the tree.
  SharedState sample = state;
  sample.LeafTable.assign(1, LeafRef{});
  for (const std::uint32_t leaf : leaves)
    sample.LeafTable.push_back(LeafRef{0, static_cast<Long>((std::int64_t{leaf} - 1) * state.NodeSize + 1)});
  LearnPartStorage(sample, index);
  state.KeyPartStorage = sample.KeyPartStorage;
}

namespace {

// Tallies, for each part, how the sampled entries' stored bytes compare
// with their active records' fields.
class PartTally : public SlotVisitor {
 public:
  PartTally(const KeyLayout& layout, ByteFile& data, const std::vector<unsigned char>& keys,
            const std::vector<std::uint32_t>& records)
      : layout_(layout), data_(data), keys_(keys), records_(records),
        fields_(static_cast<std::size_t>(layout.KeyLength()) + 1), asWritten(layout.Segments().size(), 0),
        inverted(layout.Segments().size(), 0) {}

  void Visit(std::size_t place, const char* slot) override {
    unsigned char terminator = 0;
    if (slot) {
      layout_.FieldsOfSlot(slot, fields_.data(), terminator);
    } else if (!layout_.FieldsOfFile(data_, records_[place], fields_.data(), terminator)) {
      return;
    }
    if (terminator != '\n') return;  // a purged record proves nothing
    ++counted;
    const unsigned char* key = keys_.data() + place * static_cast<std::size_t>(layout_.KeyLength());
    const auto& segments = layout_.Segments();
    for (std::size_t i = 0; i < segments.size(); ++i) {
      const KeySegment& s = segments[i];
      const unsigned char* stored = key + s.keyOffset;
      const unsigned char* field = fields_.data() + s.keyOffset;
      if (std::memcmp(stored, field, static_cast<std::size_t>(s.length)) == 0) ++asWritten[i];
      bool inverse = s.length > 0;
      for (int b = 0; b < s.length && inverse; ++b) inverse = stored[b] == 255 - field[b];
      if (inverse) ++inverted[i];
    }
  }

  std::int64_t counted = 0;

 private:
  const KeyLayout& layout_;
  ByteFile& data_;
  const std::vector<unsigned char>& keys_;
  const std::vector<std::uint32_t>& records_;
  std::vector<unsigned char> fields_;

 public:
  std::vector<std::int64_t> asWritten;
  std::vector<std::int64_t> inverted;
};

}  // namespace

std::vector<std::string> ProveParts(KeyLayout& layout, SharedState& state, ByteFile& index, ByteFile& data,
                                    const std::vector<std::uint32_t>& leaves, std::int64_t dataRecords) {
  std::vector<std::string> notes;
  if (!layout.Comparable()) return notes;
  const auto keyLength = static_cast<std::size_t>(state.KeyLength);
  const int entrySize = EntrySize(state);

  // The sampled entries, in the order their records are asked for.
  std::vector<unsigned char> keys;
  std::vector<std::uint32_t> records;
  RecordBatch batch(data, state.RecordLength);
  SampleNode node;
  for (const std::uint32_t leaf : leaves) {
    if (!ReadSampleNode(state, index, leaf, node) || node.level != 0) continue;
    for (int e = 0; e < node.entries; ++e) {
      const unsigned char* entry = node.bytes.data() + 2 + static_cast<std::size_t>(e) * entrySize;
      const std::uint32_t record = BE32(entry + entrySize - 4);
      if (record < 1 || record > dataRecords) continue;
      keys.insert(keys.end(), entry + 1, entry + 1 + keyLength);
      records.push_back(record);
      batch.Add(static_cast<Long>(record));
    }
  }
  PartTally tally(layout, data, keys, records);
  batch.Read(tally);

  // An ascending part is stored as written; it is left out only when most
  // of a fair sample disagrees with its field, which says the key is not
  // made of that field (a profile file out of step with the index) rather
  // than that the entries are damaged.
  //
  // A descending part is compared only when the sample shows its form
  // exactly: at least half of the sampled entries hold it as written, or at
  // least half hold it inverted (no entry can do both), and the tree's own
  // order, where it tells, agrees.  Anything else is a transform the check
  // cannot prove, and the part is left out with a note.
  auto& segments = layout.Segments();
  const std::int64_t n = tally.counted;
  const bool partsMatch = layout.PartsMatch() && state.KeyPartStorage.size() == segments.size();
  for (std::size_t i = 0; i < segments.size(); ++i) {
    KeySegment& s = segments[i];
    const std::string name = "The " + std::string(s.descending ? "descending " : "") + "key part " +
                             ReportText(s.name) + " is not compared with the records: ";
    const std::int64_t plain = tally.asWritten[i];
    const std::int64_t inverted = tally.inverted[i];
    if (!s.descending) {
      if (n >= kLeastEvidence && plain * 2 < n) {
        s.compared = false;
        notes.push_back(name + "it equals its field in only " + std::to_string(plain) + " of " + std::to_string(n) +
                        " sampled entries, so the key may not be made of that field.");
      }
      continue;
    }
    PartStorage shown = PartStorage::Unknown;
    if (plain > 0 && plain * 2 >= n && inverted * 2 < n) shown = PartStorage::Plain;
    if (inverted > 0 && inverted * 2 >= n && plain * 2 < n) shown = PartStorage::Inverted;
    if (n == 0) {
      // An empty tree has nothing to compare; a note is due only when the
      // sample met entries and none could tell.
      s.compared = false;
      if (!records.empty()) notes.push_back(name + "no sampled entry shows how it is stored.");
    } else if (shown == PartStorage::Unknown) {
      s.compared = false;
      notes.push_back(name + "the sampled entries hold it as written in " + std::to_string(plain) +
                      " and inverted in " + std::to_string(inverted) + " of " + std::to_string(n) +
                      ", which proves no form.");
    } else if (s.storage != PartStorage::Unknown && s.storage != shown) {
      s.compared = false;
      notes.push_back(name + "the tree's order says it is stored " + FormName(s.storage) + ", its sampled keys " +
                      FormName(shown) + ".");
    } else {
      s.storage = shown;
      if (partsMatch) state.KeyPartStorage[i] = shown;
    }
  }
  return notes;
}

}  // namespace ondrel::tool
