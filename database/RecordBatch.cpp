#include "database/RecordBatch.h"

#include <algorithm>
#include <array>

#include "database/DataRecord.h"
#include "database/LargeMemory.h"

namespace ondrel {
namespace {

// The largest piece read at once, and the largest gap between two needed
// slots that is read along rather than skipped with a read of its own: a
// read costs about as much as copying a few tens of kilobytes.
constexpr std::int64_t kLargestRead = 1024 * 1024;
constexpr std::int64_t kLargestGap = RecordBatch::kReadCost;

std::int64_t NumberOf(std::uint64_t item) { return static_cast<std::int64_t>(item >> 32); }
std::size_t PlaceOf(std::uint64_t item) { return static_cast<std::size_t>(item & 0xFFFFFFFFu); }
// Records asked for per part of a Read: a part of a scattered pass reads
// some ten megabytes of the data file, a millisecond or two.
constexpr std::size_t kPartItems = 8192;
// The item of the next slot asked for at the next place.
constexpr std::uint64_t kNextSlot = (std::uint64_t{1} << 32) | 1;

}  // namespace

RecordBatch::RecordBatch(ByteFile& data, Long recordLength) : data_(data), recordLength_(recordLength) {}

void RecordBatch::Reserve(std::size_t count) {
  ReserveLarge(items_, count);
}

void RecordBatch::Clear() {
  items_.clear();
  sorted_ = true;
}

void RecordBatch::Sort(std::uint64_t* scratch) {
  // Least significant digit first, eleven bits at a time, over the 31 bits
  // of the record number; a digit that is the same for every item is
  // skipped.  Stable, so equal numbers keep the order they were asked in.
  const std::size_t n = items_.size();
  std::uint64_t* from = items_.data();
  std::uint64_t* to = scratch;
  for (int shift = 32; shift < 64; shift += 11) {
    std::array<std::size_t, 2048> count{};
    for (std::size_t i = 0; i < n; ++i) ++count[(from[i] >> shift) & 2047];
    if (std::any_of(count.begin(), count.end(), [&](std::size_t c) { return c == n; })) continue;
    std::size_t sum = 0;
    for (std::size_t& c : count) {
      const std::size_t here = c;
      c = sum;
      sum += here;
    }
    for (std::size_t i = 0; i < n; ++i) to[count[(from[i] >> shift) & 2047]++] = from[i];
    std::swap(from, to);
  }
  if (from != items_.data()) std::copy(from, from + n, items_.data());
  sorted_ = true;
}

void RecordBatch::SortNow() {
  if (sorted_) return;
  if (scratch_.size() < items_.size()) {
    ReserveLarge(scratch_, items_.size());
    scratch_.resize(items_.size());
  }
  Sort(scratch_.data());
}

void RecordBatch::Read(SlotVisitor& visitor, std::uint64_t* lent, std::size_t lentWords, SharedWork* work) {
  if (!sorted_) {
    if (!lent || lentWords < items_.size()) {
      scratch_.resize(items_.size());
      lent = scratch_.data();
    }
    Sort(lent);
  }
  readCost_ = 0;
  if (recordLength_ <= 0 || recordLength_ > kWholeSlotLimit) {
    for (const std::uint64_t item : items_) visitor.Visit(PlaceOf(item), nullptr);
    return;
  }
  const std::int64_t slots = WholeSlots(data_, recordLength_);
  // Parts of the sorted items, each read on its own (a run of slots that
  // spans two parts is two reads), so that two threads may share them.
  const std::size_t n = items_.size();
  const std::size_t parts = (n + kPartItems - 1) / kPartItems;
  std::int64_t costs[2] = {0, 0};
  const SharedWork::Part part = [&](std::size_t k, int worker) {
    costs[worker] += ReadItems(k * n / parts, (k + 1) * n / parts, slots, visitor, staging_[worker], worker != 0);
  };
  RunParts(work, parts, part);
  readCost_ = costs[0] + costs[1];
}

std::int64_t RecordBatch::ReadItems(std::size_t begin, std::size_t end, std::int64_t slots, SlotVisitor& visitor,
                                    Staging& staging, bool uncached) {
  const std::int64_t length = recordLength_;
  // Where slot n lies, and whether all of it is in the file.
  auto offsetOf = [&](std::int64_t number) { return (number - 1) * length; };
  auto inFile = [&](std::int64_t number) { return number >= 1 && number <= slots; };
  // The joining thread reads beside the running one, past the file's cache
  // of blocks, which is the running thread's.
  auto read = [&](std::int64_t offset, char* into, std::size_t size) {
    return uncached ? data_.ReadUncached(offset + 1, into, size) : data_.Read(offset + 1, into, size);
  };

  std::int64_t cost = 0;
  for (std::size_t i = begin; i < end;) {
    const std::int64_t first = NumberOf(items_[i]);
    if (!inFile(first)) {
      visitor.Visit(PlaceOf(items_[i]), nullptr);
      ++i;
      continue;
    }
    const std::int64_t start = offsetOf(first);
    // The slots after `first` one by one, asked for at the places after
    // its own one by one, as a profile in the order the records were
    // written asks for them: the visitor may take them where it keeps them,
    // with no copy, while the run is no shorter than a read with a gap
    // would have made it.
    const std::size_t most = std::min({end - i, static_cast<std::size_t>(kLargestRead / length),
                                       static_cast<std::size_t>(slots - first + 1)});
    std::size_t serial = i + 1;
    while (serial < i + most && items_[serial] == items_[serial - 1] + kNextSlot) ++serial;
    if (serial - i == most || static_cast<std::int64_t>(serial - i) * length >= kReadCost) {
      if (char* room = visitor.Room(PlaceOf(items_[i]), serial - i)) {
        const auto size = static_cast<std::size_t>(serial - i) * static_cast<std::size_t>(length);
        cost += static_cast<std::int64_t>(size) + kReadCost;
        if (read(start, room, size)) visitor.Filled(PlaceOf(items_[i]), serial - i);
        i = serial;
        continue;
      }
    }
    // The run of slots read in one piece.
    std::int64_t last = start + length;
    std::size_t j = i + 1;
    for (; j < end; ++j) {
      const std::int64_t number = NumberOf(items_[j]);
      if (!inFile(number)) break;
      const std::int64_t slotEnd = offsetOf(number) + length;
      if (offsetOf(number) - last > kLargestGap || std::max(last, slotEnd) - start > kLargestRead) break;
      last = std::max(last, slotEnd);
    }
    const auto size = static_cast<std::size_t>(last - start);
    if (size > staging.size) {
      staging.bytes = NewPageBuffer<char>(size);
      staging.size = size;
    }
    const bool whole = read(start, staging.bytes.get(), size);
    cost += static_cast<std::int64_t>(size) + kReadCost;
    for (std::size_t k = i; k < j; ++k) {
      const char* slot = whole ? staging.bytes.get() + (offsetOf(NumberOf(items_[k])) - start) : nullptr;
      visitor.Visit(PlaceOf(items_[k]), slot);
    }
    i = j;
  }
  return cost;
}

}  // namespace ondrel
