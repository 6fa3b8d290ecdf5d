#include "database/RecordStream.h"

#include <algorithm>
#include <cstring>

#include "database/DataRecord.h"
#include "database/StdCompat.h"

namespace ondrel {

// Keeps each slot of a batch at its place.
class RecordStream::Store : public SlotVisitor {
 public:
  Store(char* slots, std::vector<unsigned char>& read, std::size_t length)
      : slots_(slots), read_(read), length_(length) {}
  void Visit(std::size_t place, const char* slot) override {
    if (!slot) return;
    std::memcpy(slots_ + place * length_, slot, length_);
    read_[place] = 1;
  }

 private:
  char* slots_;
  std::vector<unsigned char>& read_;
  std::size_t length_;
};

RecordStream::RecordStream(const SharedState& state, ByteFile& index, ByteFile& data, const KeyOrder& order,
                           FineProblems& problems, std::size_t budget)
    : state_(state), data_(data), problems_(problems), cursor_(state, index, order, problems),
      batch_(data, state.RecordLength), want_([](const TreeEntry& e) { return e.Flag == 'Y'; }), budget_(budget) {}

void RecordStream::StartAt(Long leaf, Long from, Long until, bool jump) {
  Long skip = 0;
  if (jump && leaf >= 1 && static_cast<std::size_t>(leaf) < state_.LeafTable.size())
    skip = from - 1 - state_.LeafTable[static_cast<std::size_t>(leaf) - 1].CumCount;
  cursor_.StartAt(leaf, skip);
  from_ = from;
  until_ = until;
  lastHeld_ = 0;
  ended_ = false;
  held_.clear();
  next_ = 0;
  capacity_ = 64;
  counter_ = cursor_.Counter();
}

void RecordStream::Fill() {
  ++batches_;
  held_.clear();
  keys_.clear();
  batch_.Clear();
  next_ = 0;
  const std::size_t keyLength = static_cast<std::size_t>(std::max<Integer>(state_.KeyLength, 0));
  const bool slotsFit = state_.RecordLength > 0 && state_.RecordLength <= kWholeSlotLimit;
  const std::size_t slotLength = slotsFit ? static_cast<std::size_t>(state_.RecordLength) : 0;
  // What one entry of a batch costs, and so how many the budget holds.
  const std::size_t perEntry = sizeof(Held) + keyLength + slotLength + RecordBatch::kBytesPerRecord + 1;
  const std::size_t most = std::max<std::size_t>(64, budget_ / perEntry);
  std::size_t count = std::min(capacity_, most);
  // No more entries than there are up to the last one wanted.
  if (until_ > 0) {
    const Long left = until_ - std::max<Long>(from_ - 1, lastHeld_);
    count = std::min<std::size_t>(count, static_cast<std::size_t>(std::max<Long>(left, 1)));
  }
  // Room for the whole batch at once: grown by doubling, the arrays could
  // hold twice what the budget allows.
  held_.reserve(count);
  keys_.reserve(count * keyLength);
  batch_.Reserve(count);

  TreeEntry entry;
  while (held_.size() < count) {
    if (!cursor_.Next(entry)) {
      ended_ = true;
      break;
    }
    // Entries before the one asked for are read (and checked in order) but
    // not held: a batch holds the entries from there on.
    if (entry.Number < from_) continue;
    const std::size_t at = keys_.size();
    keys_.resize(at + keyLength);
    if (entry.Key && keyLength > 0) std::memcpy(keys_.data() + at, entry.Key, keyLength);
    Held held;
    held.number = entry.Number;
    held.record = entry.Record;
    held.leaf = entry.Leaf;
    held.leafPos = entry.LeafPos;
    held.slot = entry.Slot;
    held.counter = cursor_.Counter();
    held.flag = entry.Flag;
    held.keyRead = entry.Key != nullptr;
    const bool wanted = want_(entry);
    held.place = slotsFit && wanted ? static_cast<std::int32_t>(batch_.Add(entry.Record))
                 : wanted          ? -2  // asked for, read field by field
                                   : -1;
    held_.push_back(held);
    lastHeld_ = entry.Number;
    if (until_ > 0 && entry.Number >= until_) {
      ended_ = true;
      break;
    }
  }
  if (keyLength == 0) keys_.resize(1);  // an empty key still has an address

  const std::size_t slotBytes = batch_.Size() * slotLength;
  if (slotBytes > slotsCapacity_) {
    slots_ = compat::make_unique_for_overwrite<char[]>(slotBytes);
    slotsCapacity_ = slotBytes;
  }
  read_.assign(batch_.Size(), 0);
  Store store(slots_.get(), read_, slotLength);
  if (data_.IsOpen()) batch_.Read(store);

  // The size of the next batch (see the note atop RecordStream.h): small
  // while a batch costs little more than copying its own records, since a
  // larger one would then only hold more memory.
  const bool straight = batch_.ReadCost() <= 2 * static_cast<std::int64_t>(slotBytes);
  const std::size_t small = std::max<std::size_t>(64, std::min(budget_, kStraightBudget) / perEntry);
  capacity_ = std::min(capacity_ * 4, straight ? std::min(small, most) : most);
}

bool RecordStream::Next(StreamRow& row) {
  if (next_ == held_.size()) {
    if (ended_) {
      counter_ = cursor_.Counter();
      return false;
    }
    Fill();
    if (held_.empty()) {
      counter_ = cursor_.Counter();
      return false;
    }
  }
  const std::size_t i = next_++;
  const Held& held = held_[i];
  row.entry = TreeEntry{};
  row.entry.Number = held.number;
  row.entry.Flag = held.flag;
  row.entry.Record = held.record;
  row.entry.Key = held.keyRead ? keys_.data() + i * static_cast<std::size_t>(std::max<Integer>(state_.KeyLength, 0))
                               : nullptr;
  row.entry.Leaf = held.leaf;
  row.entry.LeafPos = held.leafPos;
  row.entry.Slot = held.slot;
  row.wanted = held.place != -1;
  row.slot = held.place >= 0 && read_[static_cast<std::size_t>(held.place)]
                 ? slots_.get() + static_cast<std::size_t>(held.place) * static_cast<std::size_t>(state_.RecordLength)
                 : nullptr;
  counter_ = held.counter;
  return true;
}

bool RecordStream::Decode(SharedState& state, const StreamRow& row) {
  if (row.slot) {
    RecordFromSlot(state, row.slot);
    return true;
  }
  return ReadEntryRecord(state, problems_, data_, row.entry.Record);
}

}  // namespace ondrel
