// The chosen key's entries in key order, each with its data record, for the
// readers that go through a whole profile or a long run of it: the export,
// the scans for text, SQL.
//
// Entries come from the entry cursor in batches; the records of a batch are
// read in record-number order (RecordBatch) and handed out in key order.
// The first batches are small, so that a reader that wants a few rows gets
// them at once.  While a batch costs little more to read than copying its
// own records, as in a profile whose order is the order the records were
// written in, the batches stay small (kStraightBudget): the data file is then
// read straight through, and a larger batch would only hold more memory.
// Once a batch costs more (its records lie apart, so that reading them takes
// many reads or copies the records between them too), the next batch takes
// what the memory budget allows, so that a profile whose order scatters the
// records is read in a few passes over the data file instead of one read per
// record.  The record window's 21 lines do not come through here.
//
// A reader that works on each row as long as reading it takes (the export)
// can have the next batch read on a thread of the stream's own while it
// works on this one (ReadAhead).  Each of the two batches then has half the
// budget.  A profile whose order scatters the records then takes twice the
// passes over the data file, but the passes and the walk run beside the
// reader's own work, and that costs less than the passes it saves (see
// BENCHMARKS.md).  When the caller is done with its batch before the next
// is read, it does not wait idle: it takes a share of that batch's pass and
// of its inspection (SharedWork), so that a scattered order keeps both
// processors at work.  What the batch's read meets (FineProblems) is told when
// the batch is handed on, before its first row, as it is without the
// thread; and the files are the caller's only while no batch is being
// read (Data, Index).  A reader that is done with a batch sooner than a
// pass takes (the export) may have each scattered batch read into the slots
// of the one it has just finished (HandSlotsOn): the entries are walked and
// sorted beside its work, the pass waits for those slots, and with the slots
// held once the budget serves a third more entries a pass.  A reader that
// may stop after a page (SQL) reads ahead only from the first batch that
// costs a pass.  A build without threads (ONDREL_READ_AHEAD_THREAD 0) reads
// every batch in line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "database/ByteFile.h"
#include "database/EntryCursor.h"
#include "database/FineProblems.h"
#include "database/KeyOrder.h"
#include "database/RecordBatch.h"
#include "database/SharedState.h"
#include "database/SharedWork.h"
#include "database/Threads.h"

namespace ondrel {

// One entry and its record.  `entry.Key` and `slot` stay valid until the
// next call of Next.  Where the entry lies in its leaf (entry.Leaf, LeafPos,
// Slot) is not kept: no reader of a long run of entries asks, and a batch
// holds more entries without it.
struct StreamRow {
  TreeEntry entry;
  bool wanted = false;          // its record was asked for
  const char* slot = nullptr;   // the record's bytes, when asked for and read whole
  std::uint8_t mark = 0;        // what the stream's inspection made of it; 0 when not inspected
};

// Apart by this many bytes, variables written on two processors do not
// share a cache line.
inline constexpr std::size_t kCacheLine = 64;

// Memory a stream of a long scan may hold at once, where the caller gives
// a budget of its own (the tests).
inline constexpr std::size_t kScanBudget = 128 * 1024 * 1024;
// What a long scan holds at most, the walk's tables of the leaves and the
// stream's batches together, and the least budget of the batches.  The
// walk's tables grow with the leaves: 10 million entries of BYNAME in
// 512-byte nodes keep some 80 MiB.  A fixed budget beside them took the
// export past 200 MB; the batches take what is left (ScanBudget), so that
// the scan stays under that while the tables leave the least budget.  Two
// thirds of those tables are the leaves' keys, which only a seek reads: a
// reader that seeks no more gives them back first (ReleaseLeafKeys).
inline constexpr std::size_t kScanCeiling = 148 * 1024 * 1024;
inline constexpr std::size_t kLeastScanBudget = 16 * 1024 * 1024;
// The same ceiling for the export, in a process of its own where nothing
// else holds memory beside the walk's tables and the stream (measured, its
// peak lies a few MiB above the ceiling: 164 to 168 MiB for 10M entries of
// BYNAME in 512- or 2048-byte nodes): a scattered order then takes fewer
// passes.
// A scan inside another program (SQL) keeps kScanCeiling, below what that
// program holds of its own.
inline constexpr std::size_t kExportCeiling = 164 * 1024 * 1024;
// The budget of a stream over the profile `state` has walked: what the
// ceiling leaves after the walk's tables, and at least the least budget.
std::size_t ScanBudget(const SharedState& state, std::size_t ceiling = kScanCeiling);
// Memory of a batch while the records are read straight through.
inline constexpr std::size_t kStraightBudget = 1024 * 1024;

class RecordStream {
 public:
  // The records read are those of entries `want` accepts; by default those
  // flagged "Y", which the record window would show.  A `budget` of 0 is
  // ScanBudget's, taken when the first batch is read.
  RecordStream(const SharedState& state, ByteFile& index, ByteFile& data, const KeyOrder& order,
               FineProblems& problems, std::size_t budget = 0);
  ~RecordStream();
  RecordStream(const RecordStream&) = delete;
  RecordStream& operator=(const RecordStream&) = delete;

  // Reads each next batch on a thread of its own while the caller works on
  // the rows of this one.  Set before the first row; `want` then runs on
  // that thread.
  void ReadAhead() { ahead_ = true; }
  // The same from the first batch found to cost a pass over the data file
  // on, for a caller that may stop after a few rows (SQL, whose statement
  // may want one page): a short read starts no thread, a scattered one has
  // its passes run beside the caller's work.  The batches are sized for two
  // from the first, so the budget holds either way.
  void ReadAheadOnceScattered() { aheadOnceScattered_ = true; }
  // For a caller of ReadAhead that is done with a batch sooner than a pass
  // over the data file takes (the export, whose writing of a batch takes
  // half a pass): a scattered batch is read into the slots of the batch
  // handed out before it, once the caller has taken its last row.  The
  // slots are then held once, not twice, so that each batch holds more
  // entries and the order takes fewer passes; the entries are walked and
  // sorted while the caller works, and the pass no longer runs beside its
  // work but with it.  A slow caller (SQL) would lose more than the passes
  // it saves.  Set before the first row.
  void HandSlotsOn() { handSlots_ = true; }

  void Want(std::function<bool(const TreeEntry&)> want) { want_ = std::move(want); }

  // Work on a row that needs only its key (null when not read) and its
  // record's bytes, done for each row whose record was read whole, once its
  // batch is read: on the stream's own thread when it reads ahead, beside
  // the caller's work on the batch before.  It must read nothing the caller
  // changes meanwhile.  What it returns is the row's `mark`.  Set before the
  // first row.
  using Inspection = std::function<std::uint8_t(const unsigned char* key, const char* slot)>;
  void Inspect(Inspection inspect) { inspect_ = std::move(inspect); }
  // For a caller that wants a row's key only where its record was asked
  // for and not read whole (row.slot null): the keys of the other rows
  // serve the inspection alone and are not kept with the batch, which then
  // holds more entries (a scattered order takes fewer passes).  The other
  // rows' `entry.Key` is null.  Set before the first row, with Inspect.
  void KeysForInspectionOnly() { keysInspectedOnly_ = true; }

  // Goes to the first entry of leaf `leaf` of LeafTable, or to entry
  // `from` when that lies further on in the leaf: the entries before it are
  // passed over, not handed out.  They are read and checked in order, or,
  // with `jump`, not read at all (for a reader that found `from` by a seek,
  // which checked that leaf).  `until`, when not 0, is the last entry
  // wanted: no batch reaches past it, and the stream ends there.
  void StartAt(Long leaf, Long from = 0, Long until = 0, bool jump = false);
  // The next entry, with its record read; false at the end of the tree.
  bool Next(StreamRow& row);

  // The record of a row, into RecordLine and RecordFlag as the record window
  // makes them: from its slot, or, when the slot could not be taken whole,
  // by reading the record field by field (the fields before a failure
  // count).  A record that cannot be read counts as a problem; false then.
  bool Decode(SharedState& state, const StreamRow& row);

  // The data file, for a read of the caller's own until its next call of
  // Next: no batch is being read meanwhile.
  ByteFile& Data();
  // The same for the index file.
  ByteFile& Index();

  // The entry count of the cursor (EntryCounter).
  Long Counter() const { return counter_; }

  // How many batches have been read.  It moves when Next reads a batch,
  // before that batch's first row is handed out: a reader that must know
  // what it hands on was read from one state of the files looks at them
  // again then.
  std::uint64_t Batches() const { return batches_; }

 private:
  class Store;

  // An entry of a batch, kept small so that a batch of the budget holds
  // many (16 bytes); its key lies in keys at its place.  The cursor's count
  // after it is its number.
  struct Held {
    Long number;
    Long record;
    std::int32_t place;  // of its slot in the batch; -1 when not asked for, -2 when read field by field
    unsigned char flag;
    bool keyRead;
    std::uint8_t mark;
  };
  static_assert(sizeof(Held) == 16);
  // One batch as it is read: its entries, their keys and slots, and where
  // the entries stopped.
  struct Batch {
    std::vector<Held> held;
    // The keys: of every entry at its place, or, when the keys serve the
    // inspection only (keysKept false), of the entries `spare` names, in
    // its order.
    std::vector<unsigned char> keys;
    bool keysKept = true;
    std::vector<std::size_t> spare;
    // The slots, in words: before the records are read, the sort of their
    // numbers uses the same memory.  Not cleared: a slot is used only when
    // read.
    std::unique_ptr<std::uint64_t[]> slots;
    std::size_t slotWords = 0;
    std::vector<unsigned char> read;  // whether each slot place was read whole
    bool last = false;  // the entries ended with it
    Long counterAtEnd = 0;
    const char* Slot(std::size_t place, std::size_t length) const {
      return reinterpret_cast<const char*>(slots.get()) + place * length;
    }
  };

  // Whether the next scattered batch is read into the slots of the one
  // handed out (HandSlotsOn), its records' slots being whole.
  bool HandsSlots() const;
  // The key of entry i of the batch handed out, held.keyRead being true.
  const unsigned char* KeyOf(std::size_t i);
  // Reads the next batch into `into`: the reading side, which alone uses
  // the cursor, the record batch and the data file while it runs.
  void Fill(Batch& into);
  // Makes the next batch the one handed out; false when there is none.
  bool TakeBatch();
  // Waits until no batch is being read, sharing its work meanwhile.
  void Settle();
  // Tells the caller's thread that work of the batch being read may be
  // shared (SharedWork).
  void Opened();
#if ONDREL_READ_AHEAD_THREAD
  void StartFill();
  void Work();
  // The caller's side: the slots of the batch handed out go to the one being
  // read, which waits for them (handing_); or, with `abandon`, that batch is
  // not to be read.
  void HandOver(bool abandon);
  // The reading side: waits for the slots, and keeps the larger room; false
  // when the batch is not to be read after all.
  bool TakeGivenSlots(Batch& into);
#endif

  const SharedState& state_;
  ByteFile& index_;
  ByteFile& data_;
  FineProblems& problems_;

  // The reading side's own.  With the thread, the two sides run on two
  // processors at once: what each writes for every entry lies in cache
  // lines of its own (kCacheLine apart), or each write would take the line
  // from the other side's reads of its neighbours, for every entry.
  alignas(kCacheLine) FineProblems read_;  // what the reading side meets, told when its batch is taken
  const KeyOrder order_;  // the caller's, copied: it lies among the caller's own variables
  EntryCursor cursor_;
  RecordBatch batch_;
  std::function<bool(const TreeEntry&)> want_;
  Inspection inspect_;
  bool keysInspectedOnly_ = false;
  std::vector<unsigned char> readKeys_;  // a batch's keys while it is read, when not kept with it
  std::size_t budget_;
  bool ahead_ = false;
  bool aheadOnceScattered_ = false;
  bool handSlots_ = false;
  std::size_t capacity_ = 64;  // entries of the next batch
  bool ended_ = false;
  Long from_ = 0;  // the first entry handed out (StartAt)
  Long until_ = 0;  // the last, when not 0
  Long lastHeld_ = 0;  // the number of the entry held last
  bool scattered_ = false;  // a batch was found to cost a pass over the data file
  SharedWork work_;  // the read and the inspection of a batch read ahead

  // The handing side's own; back_ is the reading side's while it is read.
  alignas(kCacheLine) Batch front_;  // the batch being handed out
  alignas(kCacheLine) Batch back_;   // the next one, read ahead
  alignas(kCacheLine) bool pending_ = false;  // back_ is being read or holds a batch not taken
  std::size_t next_ = 0;
  std::size_t nextSpare_ = 0;  // of front_.spare, at next_ or past it
  Long counter_ = 0;
  std::uint64_t batches_ = 0;

#if ONDREL_READ_AHEAD_THREAD
  alignas(kCacheLine) std::mutex mutex_;
  std::condition_variable changed_;
  bool working_ = false;  // the thread is reading back_
  std::uint64_t opened_ = 0;  // work of back_'s that could be shared so far
  std::uint64_t joined_ = 0;  // how much of it the caller has joined
  bool stop_ = false;
  bool handing_ = false;  // the batch being read takes the slots of the one handed out
  bool slotsGiven_ = false;
  bool waitingForSlots_ = false;  // its entries walked, the batch being read waits for them
  bool abandoned_ = false;
  std::unique_ptr<std::uint64_t[]> givenSlots_;
  std::size_t givenSlotWords_ = 0;
  std::exception_ptr failure_;
  std::thread thread_;
#endif
};

}  // namespace ondrel
