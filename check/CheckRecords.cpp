#include "check/CheckRecords.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "database/DataRecord.h"
#include "database/ReadAhead.h"

namespace ondrel::check {
namespace {

// The largest node of an index file, and so the longest key part.
constexpr std::size_t kLargestNode = 2048;

// The finishing mix of SplitMix64: a bijection of 64-bit values whose every
// output bit depends on every input bit.
std::uint64_t Mix(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

}  // namespace

// The hash of a record number and a key: the sum of the record number and of
// each eight bytes of each compared part (a part whose length is no multiple
// of eight ends with the eight bytes before its end), each times an odd
// number of its own place, then the finishing mix.  The products do not wait
// for one another, so a long key costs little more than a short one.  Two
// keys that differ in one word never share a hash (a product by an odd
// number is a bijection); any other two share one by a coincidence of about
// 1 in 2^64.  The mix spreads the sum over all 64 bits for the bucket sums.
//
// The parts are taken where they lie, from a stored key or from a record's
// slot, and a part stored inverted is inverted as it is read from the
// record, so neither side copies a byte; only a part stored in capitals is
// folded into a copy first, on both sides: a key may have been folded a to z
// alone, and its accented small letters then stand in it as written.
RecordCheck::KeyHasher::KeyHasher(const KeyFields& layout) {
  for (const KeySegment& s : layout.Segments())
    if (s.compared)
      parts_.push_back({s.keyOffset, s.fieldOffset, s.length, s.storage == PartStorage::Inverted, s.capitals});
}

std::uint64_t RecordCheck::KeyHasher::Hash(std::uint32_t record, const unsigned char* base, bool inSlot,
                                           bool fromRecord) const {
  constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15ull;
  constexpr std::uint64_t kStep = 0x632BE59BD9B4E01Aull;  // even: every factor stays odd
  std::uint64_t h = (std::uint64_t{record} + 1) * kOdd;
  std::uint64_t factor = kOdd;
  // A key fits a node, so no part is longer than one.
  std::array<unsigned char, kLargestNode> folded;
  for (const Part& part : parts_) {
    const unsigned char* p = base + (inSlot ? part.fieldOffset : part.keyOffset);
    if (part.capitals) {
      for (int b = 0; b < part.length; ++b)
        folded[static_cast<std::size_t>(b)] =
            fromRecord || !part.inverted ? Capital(p[b])
                                         : static_cast<unsigned char>(255 - Capital(static_cast<unsigned char>(255 - p[b])));
      p = folded.data();
    }
    const std::uint64_t flip = fromRecord && part.inverted ? ~std::uint64_t{0} : 0;
    const int length = part.length;
    std::uint64_t word;
    int i = 0;
    for (; i + 8 <= length; i += 8) {
      std::memcpy(&word, p + i, 8);
      h += (word ^ flip) * (factor += kStep);
    }
    if (i == length) continue;
    if (length >= 8) {
      std::memcpy(&word, p + length - 8, 8);
      h += (word ^ flip) * (factor += kStep);
    } else {
      word = 0;
      for (int b = 0; b < length; ++b) word |= std::uint64_t{p[b]} << (8 * b);
      h += (word ^ (flip >> (64 - 8 * length))) * (factor += kStep);
    }
  }
  return Mix(h);
}

namespace {

// Pieces of the data file read at once in the scan: large enough that
// handing them from the reading thread costs little, small enough to stay
// in the processor's cache.
constexpr std::int64_t kScanPiece = 1024 * 1024;

std::string Where(std::int64_t entry, std::uint32_t node, std::uint32_t record) {
  return "Entry " + std::to_string(entry) + " (node " + std::to_string(node) + ", record " + std::to_string(record) +
         ")";
}

}  // namespace

RecordCheck::RecordCheck(const KeyFields& layout, ByteFile& data, std::int64_t dataRecords, CheckReport& report)
    : layout_(layout), data_(data), dataRecords_(dataRecords), report_(report), hashing_(layout.Comparable()),
      hasher_(layout),
      batch_(data, static_cast<Long>(layout.RecordLength())) {
  while ((dataRecords_ >> shift_) >= kBuckets) ++shift_;
  const auto buckets = static_cast<std::size_t>((dataRecords_ >> shift_) + 1);
  reached_.assign(static_cast<std::size_t>(dataRecords_ / 64) + 1, 0);
  entrySums_.assign(buckets, 0);
  recordSums_.assign(buckets, 0);
  suspect_.assign(buckets, false);
  scratch_.assign(static_cast<std::size_t>(layout.KeyLength()) + 1, 0);
}

void RecordCheck::Suspect(std::uint32_t record) {
  const std::size_t bucket = Bucket(record);
  if (suspect_[bucket]) return;
  suspect_[bucket] = true;
  ++suspects_;
}

void RecordCheck::Reach(const LeafNode& leaf) {
  for (int slot = 0; slot < leaf.entries; ++slot) {
    const LeafEntry entry = leaf.At(slot);
    const std::uint32_t r = entry.record;
    if (r < 1 || r > dataRecords_) {
      Outside(entry);
      continue;
    }
    if (Reached(r)) Again(entry);
    reached_[r >> 6] |= std::uint64_t{1} << (r & 63);
    if (hashing_) entrySums_[Bucket(r)] += hasher_.Stored(r, entry.key);
  }
}

void RecordCheck::Outside(const LeafEntry& entry) {
  report_.Problem("record-number",
                  "Entry " + std::to_string(entry.number) + " (node " + std::to_string(entry.node) +
                      "): its record number " + std::to_string(entry.record) +
                      " lies outside the data file, which holds " + std::to_string(dataRecords_) + " records.",
                  {.entry = entry.number, .node = entry.node, .record = entry.record});
}

void RecordCheck::Again(const LeafEntry& entry) {
  const std::uint32_t r = entry.record;
  Suspect(r);
  if (duplicated_.size() < kMostDuplicatedRecords)
    duplicated_.push_back(r);
  else
    report_.Problem("duplicate", Where(entry.number, entry.node, r) + ": an earlier entry points at the same record.",
                    {.entry = entry.number, .node = entry.node, .record = r});
}

void RecordCheck::ScanData() {
  ScanRecords();
  // Whether or not the scan reached the end, the second walk looks up the
  // duplicated records in order and keeps one first entry for each.
  for (std::size_t b = 0; b < entrySums_.size(); ++b)
    if (entrySums_[b] != recordSums_[b] && !suspect_[b]) {
      suspect_[b] = true;
      ++suspects_;
    }
  std::sort(duplicated_.begin(), duplicated_.end());
  duplicated_.erase(std::unique(duplicated_.begin(), duplicated_.end()), duplicated_.end());
  firstSeen_.assign(duplicated_.size(), FirstSeen{});
}

void RecordCheck::ScanRecords() {
  const std::int64_t length = layout_.RecordLength();
  const bool whole = length <= kWholeSlotLimit;
  const std::int64_t perPiece = whole ? std::max<std::int64_t>(1, kScanPiece / length) : 1;
  // Whole slots come from a thread that reads the file a few pieces ahead.
  ReadAhead ahead(data_, 0, whole ? dataRecords_ * length : 0, static_cast<std::size_t>(perPiece * length));
  for (std::int64_t first = 1; first <= dataRecords_; first += perPiece) {
    const std::int64_t count = std::min(perPiece, dataRecords_ - first + 1);
    report_.Tick(std::max<std::int64_t>(1, count * length / 4096));
    const ReadAhead::Piece piece = whole ? ahead.Next() : ReadAhead::Piece{};
    const bool read = !whole || (piece.read && piece.size == static_cast<std::size_t>(count * length));
    if (!read) {
      // The file shrank while it was read: the rest cannot be judged.
      unreadFrom_ = first;
      report_.Problem("data-file", "The data file could not be read from record " + std::to_string(first) + " on.",
                      {.record = first});
      return;
    }
    for (std::int64_t i = 0; i < count; ++i) {
      const auto r = static_cast<std::uint32_t>(first + i);
      unsigned char terminator = 0;
      const auto* slot = whole ? reinterpret_cast<const unsigned char*>(piece.bytes + i * length) : nullptr;
      if (whole) {
        terminator = slot[length - 1];
      } else if (!layout_.FieldsOfFile(data_, r, scratch_.data(), terminator)) {
        unreadFrom_ = r;
        report_.Problem("data-file", "The data file could not be read from record " + std::to_string(r) + " on.",
                        {.record = r});
        return;
      }
      const bool active = terminator == '\n';
      if (active) ++active_;
      if (!Reached(r)) {
        if (active && ++unreached_ <= static_cast<std::int64_t>(kUnreachedShown)) firstUnreached_.push_back(r);
        continue;
      }
      if (!active) Suspect(r);
      if (hashing_) recordSums_[Bucket(r)] += whole ? hasher_.OfSlot(r, slot) : hasher_.OfFields(r, scratch_.data());
    }
  }
}

// Compares each record of a batch with the entries that asked for it.
class RecordCheck::Compare : public SlotVisitor {
 public:
  explicit Compare(RecordCheck& check)
      : check_(check), fields_(static_cast<std::size_t>(check.layout_.KeyLength()) + 1),
        stored_(fields_.size()) {}

  void Visit(std::size_t place, const char* slot) override {
    RecordCheck& c = check_;
    Pending& item = c.pending_[place];
    unsigned char terminator = 0;
    if (slot) {
      c.layout_.FieldsOfSlot(slot, fields_.data(), terminator);
    } else if (!c.layout_.FieldsOfFile(c.data_, item.record, fields_.data(), terminator)) {
      item.unread = true;
      return;
    }
    if (terminator != '\n') {
      item.purged = true;
      return;
    }
    if (!c.layout_.Comparable()) return;
    const auto n = static_cast<std::size_t>(c.layout_.KeyLength());
    c.layout_.ToStoredForm(fields_.data());
    c.layout_.Masked(c.keys_.data() + place * n, stored_.data());
    if (n == 0 || std::memcmp(stored_.data(), fields_.data(), n) == 0) return;
    item.expected = static_cast<std::int64_t>(c.expected_.size());
    c.expected_.insert(c.expected_.end(), fields_.begin(), fields_.begin() + static_cast<std::ptrdiff_t>(n));
  }

 private:
  RecordCheck& check_;
  std::vector<unsigned char> fields_;
  std::vector<unsigned char> stored_;
};

void RecordCheck::Follows(std::uint32_t root, const std::string& cause) { following_.push_back({root, cause, 0}); }

void RecordCheck::Locate(const LeafEntry& entry, std::uint32_t under) {
  const std::uint32_t r = entry.record;
  if (r < 1 || r > dataRecords_ || !suspect_[Bucket(r)]) return;
  if (capacity_ == 0) {
    // Each entry of a batch holds its key, perhaps its record's key, and
    // what the batch and the sort keep per record.
    const std::size_t perEntry =
        sizeof(Pending) + 2 * static_cast<std::size_t>(layout_.KeyLength()) + RecordBatch::kBytesPerRecord;
    capacity_ = std::max<std::size_t>(1024, kLocateBudget / perEntry);
  }
  Pending item;
  item.number = entry.number;
  item.node = entry.node;
  item.record = r;
  item.under = under;
  const auto it = std::lower_bound(duplicated_.begin(), duplicated_.end(), r);
  if (it != duplicated_.end() && *it == r) {
    FirstSeen& first = firstSeen_[static_cast<std::size_t>(it - duplicated_.begin())];
    if (first.entry == 0) {
      first = {entry.number, entry.node, under};
    } else {
      item.firstEntry = first.entry;
      item.firstNode = first.node;
      item.firstUnder = first.under;
    }
  }
  const auto n = static_cast<std::size_t>(layout_.KeyLength());
  keys_.insert(keys_.end(), entry.key, entry.key + n);
  pending_.push_back(item);
  batch_.Add(static_cast<Long>(r));
  if (pending_.size() >= capacity_) Flush();
}

void RecordCheck::Report(const Pending& item, const unsigned char* key) {
  const std::string where = Where(item.number, item.node, item.record);
  const ProblemPlace place{.entry = item.number, .node = item.node, .record = item.record};
  auto followed = [&](std::uint32_t root) {
    if (root == 0) return false;
    for (Following& f : following_)
      if (f.root == root) ++f.problems;
    return true;
  };
  if (item.firstEntry != 0 && !followed(item.under != 0 ? item.under : item.firstUnder))
    report_.Problem("duplicate",
                    where + ": entry " + std::to_string(item.firstEntry) + " (node " + std::to_string(item.firstNode) +
                        ") points at the same record.",
                    place);
  // A record past the point where the scan stopped is covered by its
  // problem of the data file.
  if (item.unread && item.record < unreadFrom_) report_.Problem("record", where + ": its record could not be read.", place);
  if (item.purged) {
    ++purgedEntries_;
    // The viewer shows such an entry as a purged record: a live file may
    // hold it between a purge and the rewrite of the tree.
    report_.Warning("purged", where + ": its record is purged.", place);
  }
  if (item.expected >= 0 && !followed(item.under))
    report_.Problem("key-record",
                    where + ": its key differs from the record's fields: " +
                        KeyDifferences(layout_, key, expected_.data() + item.expected) + ".",
                    place);
}

void RecordCheck::Flush() {
  if (pending_.empty()) return;
  Compare compare(*this);
  batch_.Read(compare);
  const auto n = static_cast<std::size_t>(layout_.KeyLength());
  for (std::size_t i = 0; i < pending_.size(); ++i) Report(pending_[i], keys_.data() + i * n);
  pending_.clear();
  keys_.clear();
  expected_.clear();
  batch_.Clear();
}

void RecordCheck::FinishLocate() {
  Flush();
  for (const Following& f : following_)
    if (f.problems > 0)
      report_.Note(std::to_string(f.problems) + (f.problems == 1 ? " problem" : " problems") +
                   " of the entries below node " + std::to_string(f.root) +
                   " (keys unlike their records, records other entries reach) follow from the problem of " + f.cause +
                   ", and are not listed.");
}

}  // namespace ondrel::check
