#include "database/RecordStream.h"

#include <algorithm>
#include <cstring>

#include "database/DataRecord.h"

namespace ondrel {

// Keeps each slot of a batch at its place.
class RecordStream::Store : public SlotVisitor {
 public:
  Store(std::vector<char>& slots, std::vector<unsigned char>& read, std::size_t length)
      : slots_(slots), read_(read), length_(length) {}
  void Visit(std::size_t place, const char* slot) override {
    if (!slot) return;
    std::memcpy(slots_.data() + place * length_, slot, length_);
    read_[place] = 1;
  }

 private:
  std::vector<char>& slots_;
  std::vector<unsigned char>& read_;
  std::size_t length_;
};

RecordStream::RecordStream(const SharedState& state, ByteFile& index, ByteFile& data, const KeyOrder& order,
                           FineProblems& problems, std::size_t budget)
    : state_(state), data_(data), problems_(problems), cursor_(state, index, order, problems),
      batch_(data, state.RecordLength), want_([](const TreeEntry& e) { return e.Flag == 'Y'; }), budget_(budget) {}

void RecordStream::StartAt(Long leaf) {
  cursor_.StartAt(leaf);
  ended_ = false;
  entries_.clear();
  next_ = 0;
  capacity_ = 64;
  counter_ = cursor_.Counter();
}

void RecordStream::Fill() {
  ++batches_;
  entries_.clear();
  keys_.clear();
  place_.clear();
  counters_.clear();
  batch_.Clear();
  next_ = 0;
  const std::size_t keyLength = static_cast<std::size_t>(std::max<Integer>(state_.KeyLength, 0));
  const bool slotsFit = state_.RecordLength > 0 && state_.RecordLength <= kWholeSlotLimit;
  const std::size_t slotLength = slotsFit ? static_cast<std::size_t>(state_.RecordLength) : 0;
  // What one entry of a batch costs, and so how many the budget holds.
  const std::size_t perEntry = sizeof(TreeEntry) + keyLength + 1 + slotLength + RecordBatch::kBytesPerRecord +
                               sizeof(std::int64_t) + sizeof(Long);
  const std::size_t most = std::max<std::size_t>(64, budget_ / perEntry);
  const std::size_t count = std::min(capacity_, most);
  capacity_ = std::min(capacity_ * 4, most);

  std::vector<bool> keyRead;
  TreeEntry entry;
  while (entries_.size() < count) {
    if (!cursor_.Next(entry)) {
      ended_ = true;
      break;
    }
    const std::size_t at = keys_.size();
    keys_.resize(at + keyLength);
    if (entry.Key && keyLength > 0) std::memcpy(keys_.data() + at, entry.Key, keyLength);
    keyRead.push_back(entry.Key != nullptr);
    entry.Key = nullptr;
    entries_.push_back(entry);
    counters_.push_back(cursor_.Counter());
    place_.push_back(slotsFit && want_(entry) ? static_cast<std::int64_t>(batch_.Add(entry.Record))
                     : !slotsFit && want_(entry) ? -2  // asked for, read field by field
                                                 : -1);
  }
  // The keys are in place now: point each entry at its own.
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (keyRead[i]) entries_[i].Key = keys_.data() + i * keyLength;
  if (keyLength == 0) keys_.resize(1);  // an empty key still has an address

  slots_.resize(batch_.Size() * slotLength);
  read_.assign(batch_.Size(), 0);
  Store store(slots_, read_, slotLength);
  if (data_.IsOpen()) batch_.Read(store);
}

bool RecordStream::Next(StreamRow& row) {
  if (next_ == entries_.size()) {
    if (ended_) {
      counter_ = cursor_.Counter();
      return false;
    }
    Fill();
    if (entries_.empty()) {
      counter_ = cursor_.Counter();
      return false;
    }
  }
  const std::size_t i = next_++;
  row.entry = entries_[i];
  const std::int64_t place = place_[i];
  row.wanted = place != -1;
  row.slot = place >= 0 && read_[static_cast<std::size_t>(place)]
                 ? slots_.data() + static_cast<std::size_t>(place) * static_cast<std::size_t>(state_.RecordLength)
                 : nullptr;
  counter_ = counters_[i];
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
