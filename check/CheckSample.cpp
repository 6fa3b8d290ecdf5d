#include "check/CheckSample.h"

#include <array>
#include <cstring>
#include <iterator>

#include "database/BigEndian.h"
#include "database/IndexWalk.h"
#include "database/KeyOrder.h"
#include "database/RecordBatch.h"
#include "check/CheckReport.h"

namespace ondrel::check {
namespace {

// Fewer sampled entries than this are no fair sample of how a profile's
// keys agree with their records.
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
    sample.LeafTable.push_back(LeafRef{0, (std::int64_t{leaf} - 1) * state.NodeSize + 1});
  LearnPartStorage(sample, index);
  state.KeyPartStorage = sample.KeyPartStorage;
}

namespace {

// The forms a part can be stored in, in the order a tie prefers them: as
// written before capitals, as it stands before inverted.
struct Form {
  bool inverted;
  bool capitals;
};
constexpr Form kForms[] = {{false, false}, {false, true}, {true, false}, {true, true}};

std::string FormName(const Form& form) {
  if (form.inverted) return form.capitals ? "inverted capitals" : "inverted";
  return form.capitals ? "capitals" : "as written";
}

// Tallies, for each part and each form, how many sampled entries hold their
// active record's field in that form.
class PartTally : public SlotVisitor {
 public:
  PartTally(const KeyFields& layout, ByteFile& data, const std::vector<unsigned char>& keys,
            const std::vector<std::uint32_t>& records)
      : layout_(layout), data_(data), keys_(keys), records_(records),
        fields_(static_cast<std::size_t>(layout.KeyLength()) + 1), agree(layout.Segments().size()) {}

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
      for (std::size_t f = 0; f < std::size(kForms); ++f) {
        bool same = true;
        for (int b = 0; b < s.length && same; ++b) {
          unsigned char expected = fields_[static_cast<std::size_t>(s.keyOffset + b)];
          if (kForms[f].capitals) expected = Capital(expected);
          if (kForms[f].inverted) expected = static_cast<unsigned char>(255 - expected);
          same = key[s.keyOffset + b] == expected;
        }
        if (same) ++agree[i][f];
      }
    }
  }

  std::int64_t counted = 0;

 private:
  const KeyFields& layout_;
  ByteFile& data_;
  const std::vector<unsigned char>& keys_;
  const std::vector<std::uint32_t>& records_;
  std::vector<unsigned char> fields_;

 public:
  std::vector<std::array<std::int64_t, std::size(kForms)>> agree;  // by part, by form
};

}  // namespace

void ProveParts(KeyFields& layout, SharedState& state, ByteFile& index, ByteFile& data,
                const std::vector<std::uint32_t>& leaves, std::int64_t dataRecords, CheckReport& report) {
  if (!layout.Comparable()) return;
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

  // Each part takes the form most sampled entries hold it in.  An ascending
  // part is never inverted, and is as written when no entry tells
  // otherwise; a descending part whose order the tree shows takes a form of
  // that kind.  A descending part that no sampled entry holds in any form
  // it may take is not learnt: it is left out, not judged.
  //
  // Once learnt, a form holds for every entry.  When most of a fair sample
  // still disagrees with the records, the profile's keys are not made of
  // the records the data file holds (a data file of another generation,
  // another tree's root): the gravest finding, above the problems of the
  // entries themselves.
  auto& segments = layout.Segments();
  const std::int64_t n = tally.counted;
  const bool partsMatch = layout.PartsMatch() && state.KeyPartStorage.size() == segments.size();
  for (std::size_t i = 0; i < segments.size(); ++i) {
    KeySegment& s = segments[i];
    const std::string part = std::string(s.descending ? "descending " : "") + "key part " + ReportText(s.name);
    std::size_t best = 0;
    std::int64_t most = -1;
    for (std::size_t f = 0; f < std::size(kForms); ++f) {
      const PartStorage kind = kForms[f].inverted ? PartStorage::Inverted : PartStorage::Plain;
      if (kForms[f].inverted && !s.descending) continue;
      if (s.descending && s.storage != PartStorage::Unknown && s.storage != kind) continue;
      if (tally.agree[i][f] > most) most = tally.agree[i][f], best = f;
    }
    if (s.descending && most <= 0) {
      s.compared = false;
      if (n == 0 && records.empty()) continue;  // an empty tree: nothing to tell
      std::string shown;
      for (std::size_t f = 0; f < std::size(kForms); ++f)
        shown += (f == 0 ? "" : f + 1 == std::size(kForms) ? " and " : ", ") + FormName(kForms[f]) + " in " +
                 std::to_string(tally.agree[i][f]);
      report.Unjudged("The " + part + " is not compared with the records: " +
                      (n == 0 ? std::string("no sampled entry reaches an active record")
                              : "of " + std::to_string(n) + " sampled entries, " + shown + " hold it" +
                                    (s.storage == PartStorage::Unknown ? ""
                                                                       : std::string(" (the tree's order says ") +
                                                                             (s.storage == PartStorage::Inverted
                                                                                  ? "inverted)"
                                                                                  : "as it stands)"))) +
                      ", which shows no form it may be stored in.");
      continue;
    }
    s.capitals = kForms[best].capitals;
    s.storage = kForms[best].inverted ? PartStorage::Inverted : PartStorage::Plain;
    if (s.descending && partsMatch) state.KeyPartStorage[i] = s.storage;
    if (n >= kLeastEvidence && most * 2 < n)
      report.Problem("key", "The " + part + " equals its records' field (" + FormName(kForms[best]) + ") in only " +
                                std::to_string(most) + " of " + std::to_string(n) +
                                " sampled entries: the profile's keys are not made of the records of the data "
                                "file.");
  }
}

}  // namespace ondrel::check
