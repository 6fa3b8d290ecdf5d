#include "database/RecordStream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>
#if ONDREL_READ_AHEAD_THREAD
#include <system_error>
#endif

#include "database/DataRecord.h"
#include "database/IndexWalk.h"
#include "database/LargeMemory.h"
#include "database/ShortBytes.h"
#include "database/StdCompat.h"

namespace ondrel {
namespace {

// Rows inspected per part of the inspection of a batch, which the caller's
// thread may share (SharedWork): a few hundred microseconds of work.
constexpr std::size_t kInspectedPerPart = 4096;

}  // namespace

// Keeps each slot of a batch at its place.
class RecordStream::Store : public SlotVisitor {
 public:
  Store(char* slots, std::vector<unsigned char>& read, std::size_t length)
      : slots_(slots), read_(read), length_(length) {}
  void Visit(std::size_t place, const char* slot) override {
    if (!slot) return;
    CopyShort(slots_ + place * length_, slot, length_);
    read_[place] = 1;
  }
  char* Room(std::size_t place, std::size_t /*count*/) override { return slots_ + place * length_; }
  void Filled(std::size_t place, std::size_t count) override {
    std::memset(read_.data() + place, 1, count);
  }

 private:
  char* slots_;
  std::vector<unsigned char>& read_;
  std::size_t length_;
};

std::size_t ScanBudget(const SharedState& state, std::size_t ceiling) {
  // What the tables reserved, not only what they use: measured, the export
  // of a profile of 10M entries in 512-byte nodes held what their capacity
  // says, some 27 MiB more than their sizes.
  const std::size_t walk = state.LeafTable.capacity() * sizeof(LeafRef) +
                           state.LeafReach.capacity() * sizeof(Long) + state.LeafKeys.capacity() +
                           state.LeafKeysRead.capacity();
  return walk + kLeastScanBudget >= ceiling ? kLeastScanBudget : ceiling - walk;
}

RecordStream::RecordStream(const SharedState& state, ByteFile& index, ByteFile& data, const KeyOrder& order,
                           FineProblems& problems, std::size_t budget)
    : state_(state), index_(index), data_(data), problems_(problems), read_(problems, FineProblems::Quiet{}),
      order_(order), cursor_(state, index, order_, read_), batch_(data, state.RecordLength),
      want_([](const TreeEntry& e) { return e.Flag == 'Y'; }), budget_(budget), work_([this] { Opened(); }) {}

void RecordStream::Opened() {
#if ONDREL_READ_AHEAD_THREAD
  {
    std::lock_guard lock(mutex_);
    ++opened_;
  }
  changed_.notify_all();
#endif
}

RecordStream::~RecordStream() {
#if ONDREL_READ_AHEAD_THREAD
  if (!thread_.joinable()) return;
  // The batch being read is never handed out: its read stops at the next
  // part (a reader that stopped after a page waits for no pass).
  work_.Cancel();
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
#endif
}

void RecordStream::StartAt(Long leaf, Long from, Long until, bool jump) {
#if ONDREL_READ_AHEAD_THREAD
  if (pending_ && handing_) HandOver(true);  // its batch is not read: it would not be handed out
#endif
  Settle();
  // A batch read ahead from where the stream was is not handed out, and
  // what its read met is not told.
  FineProblems dropped(problems_, FineProblems::Quiet{});
  dropped.Take(read_);
  Long skip = 0;
  if (jump && leaf >= 1 && static_cast<std::size_t>(leaf) < state_.LeafTable.size())
    skip = from - 1 - state_.LeafTable[static_cast<std::size_t>(leaf) - 1].CumCount;
  cursor_.StartAt(leaf, skip);
  from_ = from;
  until_ = until;
  lastHeld_ = 0;
  ended_ = false;
  capacity_ = 64;
  scattered_ = false;
  front_.held.clear();
  front_.last = false;
  pending_ = false;
  next_ = 0;
  nextSpare_ = 0;
  counter_ = cursor_.Counter();
}

bool RecordStream::HandsSlots() const {
  return handSlots_ && scattered_ && state_.RecordLength > 0 && state_.RecordLength <= kWholeSlotLimit;
}

void RecordStream::Fill(Batch& into) {
  into.held.clear();
  batch_.Clear();
  const std::size_t keyLength = static_cast<std::size_t>(std::max<Integer>(state_.KeyLength, 0));
  const bool slotsFit = state_.RecordLength > 0 && state_.RecordLength <= kWholeSlotLimit;
  const std::size_t slotLength = slotsFit ? static_cast<std::size_t>(state_.RecordLength) : 0;
  // Keys that serve the inspection only are kept by the reading side while
  // the batch is read, not with the batch; a record that is not read whole
  // keeps its key with the batch, so without whole slots every key is kept.
  const bool keepKeys = !keysInspectedOnly_ || !inspect_ || !slotsFit;
  // What one entry costs, and so how many the budget holds: the batch's
  // own arrays, twice over when one batch is read ahead while the other is
  // handed out, and the reading side's, once.  The sort of the record
  // numbers uses the slots' memory (a word each at least), so the reading
  // side's arrays take only the numbers.  A scattered batch read ahead
  // into the slots of the batch handed out before it (HandSlotsOn) has its
  // slots counted once, and its sort, done before they come, a word of its
  // own.
  const std::size_t budget = budget_ > 0 ? budget_ : ScanBudget(state_);
  const std::size_t entryOwn = sizeof(Held) + 1 + (keepKeys ? keyLength : 0);
  const std::size_t slotOwn = std::max<std::size_t>(slotLength, 8);
  const std::size_t own = entryOwn + slotOwn;
  const bool twoBatches = ahead_ || aheadOnceScattered_;
  const bool slotsHanded = twoBatches && HandsSlots();
  const std::size_t reading = (slotsHanded ? RecordBatch::kBytesPerRecord : RecordBatch::kBytesPerRecordLent) +
                              (keepKeys ? 0 : keyLength);
  const std::size_t perEntry = slotsHanded ? 2 * entryOwn + slotOwn + reading : (twoBatches ? 2 : 1) * own + reading;
  const std::size_t most = std::max<std::size_t>(64, budget / perEntry);
  std::size_t count = std::min(capacity_, most);
  // A scattered order's batch costs a pass whatever its size: the entries
  // left, as the leaf table counts them, are spread evenly over the passes
  // they need, and each batch holds no more than its share.  (A count that
  // is wrong, as in a damaged tree, changes only the sizes of the batches.)
  const Long total = EntryCount(state_);
  const Long end = until_ > 0 ? std::min(until_, total) : total;
  const Long left = end - std::max<Long>(from_ - 1, lastHeld_);
  if (scattered_ && left > 0) {
    const std::size_t passes = (static_cast<std::size_t>(left) + most - 1) / most;
    count = std::min(count, (static_cast<std::size_t>(left) + passes - 1) / passes);
  } else if (scattered_) {
    // Every entry counted is taken: the batch that finds the end (or the
    // entries a damaged tree holds past its count) holds what its arrays
    // hold already.  Grown to the budget's whole share, they would be copied
    // while the other batch's arrays are alive, past the budget.
    count = std::min(count, std::max<std::size_t>(into.held.capacity(), 64));
  }
  // No more entries than there are up to the last one wanted.
  if (until_ > 0) {
    const Long left = until_ - std::max<Long>(from_ - 1, lastHeld_);
    count = std::min<std::size_t>(count, static_cast<std::size_t>(std::max<Long>(left, 1)));
  }
  // Room for the whole batch at once: grown by doubling, the arrays could
  // hold twice what the budget allows.
  ReserveLarge(into.held, count);
  // Sized once: an entry's key goes to its place, with no growing per entry
  // (an empty key still has an address).
  const std::size_t keyBytes = std::max<std::size_t>(count * keyLength, 1);
  std::vector<unsigned char>& keys = keepKeys ? into.keys : readKeys_;
  if (keys.size() < keyBytes) {
    ReserveLarge(keys, keyBytes);  // just that: growing would take up to twice
    keys.resize(keyBytes);
  }
  into.keysKept = keepKeys;
  batch_.Reserve(count);

  TreeEntry entry;
  while (!ended_ && into.held.size() < count) {
    if ((into.held.size() & 0xFFFF) == 0xFFFF && work_.Cancelled()) return;  // the stream is being closed
    if (!cursor_.Next(entry)) {
      ended_ = true;
      break;
    }
    // Entries before the one asked for are read (and checked in order) but
    // not held: a batch holds the entries from there on.
    if (entry.Number < from_) continue;
    if (entry.Key && keyLength > 0)
      CopyShort(reinterpret_cast<char*>(keys.data()) + into.held.size() * keyLength,
                reinterpret_cast<const char*>(entry.Key), keyLength);
    Held held;
    held.number = entry.Number;
    held.record = entry.Record;
    held.flag = entry.Flag;
    held.keyRead = entry.Key != nullptr;
    held.mark = 0;
    const bool wanted = want_(entry);
    held.place = slotsFit && wanted ? static_cast<std::int32_t>(batch_.Add(entry.Record))
                 : wanted          ? -2  // asked for, read field by field
                                   : -1;
    into.held.push_back(held);
    lastHeld_ = entry.Number;
    if (until_ > 0 && entry.Number >= until_) ended_ = true;
  }
  into.last = ended_;
  into.counterAtEnd = cursor_.Counter();
#if ONDREL_READ_AHEAD_THREAD
  if (&into == &back_ && handing_) {
    // Sorted while the caller still works on the batch before; then the
    // read waits for that batch's slots.
    batch_.SortNow();
    if (!TakeGivenSlots(into)) return;  // the stream is being closed or started again
  }
#endif

  const std::size_t slotBytes = batch_.Size() * slotLength;
  const std::size_t words = std::max((slotBytes + 7) / 8, batch_.Size());
  if (words > into.slotWords) {
    into.slots = compat::make_unique_for_overwrite<std::uint64_t[]>(words);
    AdviseLargeMemory(into.slots.get(), words * sizeof(std::uint64_t));
    into.slotWords = words;
  }
  ReserveLarge(into.read, batch_.Size());
  into.read.assign(batch_.Size(), 0);
  Store store(reinterpret_cast<char*>(into.slots.get()), into.read, slotLength);
  // Read on the stream's thread, the caller shares the read and the
  // inspection while it would otherwise wait for them (Settle).
  SharedWork* const work = ahead_ ? &work_ : nullptr;
  if (data_.IsOpen()) batch_.Read(store, into.slots.get(), into.slotWords, work);
  if (inspect_) {
    const std::size_t n = into.held.size();
    const std::size_t parts = (n + kInspectedPerPart - 1) / kInspectedPerPart;
    const SharedWork::Part part = [&](std::size_t k, int /*worker*/) {
      for (std::size_t i = k * n / parts, end = (k + 1) * n / parts; i < end; ++i) {
        Held& held = into.held[i];
        if (held.place < 0 || !into.read[static_cast<std::size_t>(held.place)]) continue;
        held.mark = inspect_(held.keyRead ? keys.data() + i * keyLength : nullptr,
                             into.Slot(static_cast<std::size_t>(held.place), slotLength));
      }
    };
    RunParts(work, parts, part);
  }
  if (!keepKeys) {
    // Only the keys of records asked for and not read whole go with the
    // batch.  Few: a batch's records are all read whole unless the data file
    // is shorter than its entries say.
    into.spare.clear();
    for (std::size_t i = 0; i < into.held.size(); ++i) {
      Held& held = into.held[i];
      if (!held.keyRead) continue;
      if (held.place >= 0 && !into.read[static_cast<std::size_t>(held.place)])
        into.spare.push_back(i);
      else
        held.keyRead = false;
    }
    into.keys.resize(std::max<std::size_t>(into.spare.size() * keyLength, 1));
    for (std::size_t k = 0; k < into.spare.size(); ++k)
      CopyShort(reinterpret_cast<char*>(into.keys.data()) + k * keyLength,
                reinterpret_cast<const char*>(readKeys_.data()) + into.spare[k] * keyLength, keyLength);
  }

  // The size of the next batch (see the note atop RecordStream.h): small
  // while a batch costs little more than copying its own records, since a
  // larger one would then only hold more memory.
  const bool straight = batch_.ReadCost() <= 2 * static_cast<std::int64_t>(slotBytes);
  // A batch large enough to tell that is not read straight through costs a
  // pass over the data file, and a pass costs less the more entries it
  // serves: from there on each batch holds what its budget allows, the next
  // one at once.  Growing on by fours would cost a pass for each step
  // (two or three more over a profile of millions), where the larger batch
  // costs a reader that stops early only the reading of entries it does not
  // take, no more passes.
  if (!straight && slotBytes >= 4 * static_cast<std::size_t>(RecordBatch::kReadCost)) scattered_ = true;
  // Only the caller's thread gets here while ahead_ is false: no other reads it.
  if (scattered_ && aheadOnceScattered_) ahead_ = true;
  const std::size_t small =
      std::max<std::size_t>(64, std::min(twoBatches ? budget / 2 : budget, kStraightBudget) / (own + reading));
  if (scattered_)
    capacity_ = std::numeric_limits<std::size_t>::max();  // the next batch holds what its budget allows
  else
    capacity_ = std::min(capacity_ * 4, straight ? std::min(small, most) : most);
}

bool RecordStream::TakeBatch() {
  if (front_.last) return false;
  if (pending_) {
#if ONDREL_READ_AHEAD_THREAD
    if (handing_) HandOver(false);
#endif
    Settle();
#if ONDREL_READ_AHEAD_THREAD
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
#endif
    std::swap(front_, back_);
    pending_ = false;
  } else {
    Fill(front_);
  }
  ++batches_;
  next_ = 0;
  nextSpare_ = 0;
  // What reading the batch met is told before its first row.
  problems_.Take(read_);
#if ONDREL_READ_AHEAD_THREAD
  if (ahead_ && !front_.last) StartFill();
#endif
  // An empty batch is the last: the entries ended before it held one.
  return !front_.held.empty();
}

#if ONDREL_READ_AHEAD_THREAD
void RecordStream::StartFill() {
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
      ahead_ = false;  // no thread to be had: the batches are read in line
      return;
    }
  }
  {
    std::lock_guard lock(mutex_);
    working_ = true;
    // A scattered batch whose slots fit is read into those of the batch
    // handed out now, once the caller is done with it.
    handing_ = HandsSlots();
    slotsGiven_ = false;
    abandoned_ = false;
  }
  pending_ = true;
  changed_.notify_all();
}

void RecordStream::HandOver(bool abandon) {
  {
    std::lock_guard lock(mutex_);
    if (!abandon) {
      givenSlots_ = std::move(front_.slots);
      givenSlotWords_ = std::exchange(front_.slotWords, 0);
    }
    abandoned_ = abandon;
    slotsGiven_ = true;
    waitingForSlots_ = false;
  }
  changed_.notify_all();
}

bool RecordStream::TakeGivenSlots(Batch& into) {
  std::unique_lock lock(mutex_);
  if (!slotsGiven_) {
    // Until the slots come the thread reads no file: the caller may (Settle).
    waitingForSlots_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return slotsGiven_ || stop_; });
  }
  waitingForSlots_ = false;
  // One room for slots stays: the larger of the two.
  if (givenSlotWords_ > into.slotWords) {
    into.slots = std::move(givenSlots_);
    into.slotWords = givenSlotWords_;
  }
  givenSlots_.reset();
  givenSlotWords_ = 0;
  return !stop_ && !abandoned_;
}

void RecordStream::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stop_ || working_; });
    if (stop_) return;
    lock.unlock();
    try {
      Fill(back_);
    } catch (...) {
      failure_ = std::current_exception();
    }
    lock.lock();
    working_ = false;
    changed_.notify_all();
  }
}
#endif

void RecordStream::Settle() {
#if ONDREL_READ_AHEAD_THREAD
  if (!thread_.joinable()) return;
  std::unique_lock lock(mutex_);
  for (;;) {
    // Work of the batch being read that this thread may share: it joins
    // each once, and waits for the rest.
    changed_.wait(lock, [&] { return !working_ || waitingForSlots_ || opened_ != joined_; });
    if (!working_ || waitingForSlots_) return;
    joined_ = opened_;
    lock.unlock();
    work_.Join();
    lock.lock();
  }
#endif
}

ByteFile& RecordStream::Data() {
  Settle();
  return data_;
}

ByteFile& RecordStream::Index() {
  Settle();
  return index_;
}

bool RecordStream::Next(StreamRow& row) {
  if (next_ == front_.held.size() && !TakeBatch()) {
    counter_ = front_.counterAtEnd;
    return false;
  }
  const std::size_t i = next_++;
  const Held& held = front_.held[i];
  row.entry = TreeEntry{};
  row.entry.Number = held.number;
  row.entry.Flag = held.flag;
  row.entry.Record = held.record;
  row.entry.Key = held.keyRead ? KeyOf(i) : nullptr;
  row.wanted = held.place != -1;
  row.slot = held.place >= 0 && front_.read[static_cast<std::size_t>(held.place)]
                 ? front_.Slot(static_cast<std::size_t>(held.place), static_cast<std::size_t>(state_.RecordLength))
                 : nullptr;
  row.mark = held.mark;
  counter_ = held.number;
  return true;
}

const unsigned char* RecordStream::KeyOf(std::size_t i) {
  const auto length = static_cast<std::size_t>(std::max<Integer>(state_.KeyLength, 0));
  if (front_.keysKept) return front_.keys.data() + i * length;
  // The rows are handed out in order, and so are the spare keys.
  while (nextSpare_ < front_.spare.size() && front_.spare[nextSpare_] < i) ++nextSpare_;
  return front_.keys.data() + nextSpare_ * length;
}

bool RecordStream::Decode(SharedState& state, const StreamRow& row) {
  if (row.slot) {
    RecordFromSlot(state, row.slot);
    return true;
  }
  return ReadEntryRecord(state, problems_, Data(), row.entry.Record);
}

}  // namespace ondrel
