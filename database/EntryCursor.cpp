#include "database/EntryCursor.h"

#include <algorithm>
#include <cstring>

#include "database/BigEndian.h"
#include "database/Checked.h"
#include "database/ShortBytes.h"

namespace ondrel {

EntryCursor::EntryCursor(const SharedState& state, ByteFile& index, const KeyOrder& order, FineProblems& problems)
    : state_(state), order_(order), problems_(problems), node_(index),
      previous_(static_cast<std::size_t>(std::max<Integer>(state.KeyLength, 0)) + 1) {}

void EntryCursor::StartAt(Long leaf, Long skip) {
  leaf_ = leaf;
  skip_ = std::max<Long>(skip, 0);
  loaded_ = false;
  previousKey_ = nullptr;
}

void EntryCursor::KeepPrevious() {
  if (!previousKey_ || previousKey_ == previous_.data()) return;
  CopyShort(reinterpret_cast<char*>(previous_.data()), reinterpret_cast<const char*>(previousKey_),
            previous_.size() - 1);
  previousKey_ = previous_.data();
}

void EntryCursor::LoadLeaf() {
  loaded_ = true;
  slot_ = 0;
  cursor_ = end_ = 0;
  const Long k = leaf_;
  if (k < 1) {
    // No leaf precedes leaf 1: LeafTable(k - 1) would lie outside the table.
    problems_.Other();
  } else {
    counter_ = state_.LeafTable[static_cast<std::size_t>(k - 1)].CumCount;
  }
  if (k < 0) return;
  current_ = state_.LeafTable[static_cast<std::size_t>(k)];
  const std::int64_t position = current_.NodePos;
  const int nodeSize = state_.NodeSize;
  KeepPrevious();  // its leaf's bytes go
  node_.Load(position, position + nodeSize);

  // The used length, then the level word; each starts unread for each leaf,
  // so that an unreadable leaf never runs the entries of the one before.
  unsigned char bytes[2];
  Integer used = 0;
  bool sound = node_.Read(position, bytes, 2);
  if (sound) used = BE16(bytes);
  if (sound) sound = node_.Read(position + nodeSize - 2, bytes, 2);
  // A leaf has level 0; its entries end before the level word and fill the
  // used length with whole entries.
  const int entrySize = 1 + state_.KeyLength + state_.EntryTail;
  if (sound && (BE16(bytes) / 256 != 0 || used < 2 || used > nodeSize - 2 ||
                (entrySize > 0 && (used - 2) % entrySize != 0)))
    sound = false;
  if (!sound) problems_.Leaf();
  cursor_ = position + 2;
  end_ = position + used;
  if (skip_ > 0 && sound && entrySize > 0) {
    const Long skip = std::min<Long>(skip_, (used - 2) / entrySize);
    cursor_ += std::int64_t{skip} * entrySize;
    counter_ += skip;  // below the next leaf's count: no overflow
    slot_ = static_cast<int>(skip);
  }
  skip_ = 0;
}

bool EntryCursor::Next(TreeEntry& entry) {
  const auto bound = static_cast<Long>(state_.LeafTable.size()) - 1;
  for (;;) {
    if (!loaded_) {
      if (leaf_ > bound) return false;
      LoadLeaf();
    }
    // The cursor is 64-bit and every entry moves it forward, so a leaf of
    // any used length ends; reads beyond the file fail one by one.
    if (cursor_ < end_) break;
    ++leaf_;  // bounded by the table's size, far below 2^31
    loaded_ = false;
  }

  entry = TreeEntry{};
  entry.Leaf = leaf_;
  entry.LeafPos = current_.NodePos;
  entry.Slot = slot_++;
  const unsigned char* key = nullptr;
  if (node_.ReadEntry(cursor_, state_.KeyLength, state_.EntryTail, entry.Flag, entry.Record, &key) > 0)
    problems_.Entry();
  if (!CheckedAdd(counter_, 1, counter_)) problems_.Other();
  entry.Number = counter_;
  entry.Key = key;

  if (order_.Judged()) {
    if (key && previousKey_ && order_.Compare(previousKey_, key) == KeyComparison::After) problems_.Order();
    previousKey_ = key;
    // A key read piece by piece lies where the next such read puts its own.
    if (key && !node_.Holds(key)) KeepPrevious();
  }
  return true;
}

}  // namespace ondrel
