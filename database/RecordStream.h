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
// many reads or copies the records between them too), the batches grow to
// what the memory budget allows, so that a profile whose order scatters the
// records is read in a few passes over the data file instead of one read per
// record.  The record window's 21 lines do not come through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "database/ByteFile.h"
#include "database/EntryCursor.h"
#include "database/FineProblems.h"
#include "database/KeyOrder.h"
#include "database/RecordBatch.h"
#include "database/SharedState.h"

namespace ondrel {

// One entry and its record.  `entry.Key` and `slot` stay valid until the
// next call of Next.
struct StreamRow {
  TreeEntry entry;
  bool wanted = false;          // its record was asked for
  const char* slot = nullptr;   // the record's bytes, when asked for and read whole
};

// Memory a stream of a long scan may hold at once.
inline constexpr std::size_t kScanBudget = 128 * 1024 * 1024;
// Memory of a batch while the records are read straight through.
inline constexpr std::size_t kStraightBudget = 1024 * 1024;

class RecordStream {
 public:
  // The records read are those of entries `want` accepts; by default those
  // flagged "Y", which the record window would show.
  RecordStream(const SharedState& state, ByteFile& index, ByteFile& data, const KeyOrder& order,
               FineProblems& problems, std::size_t budget = kScanBudget);

  void Want(std::function<bool(const TreeEntry&)> want) { want_ = std::move(want); }

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

  // The entry count of the cursor (EntryCounter).
  Long Counter() const { return counter_; }

  // How many batches have been read.  It moves when Next reads a batch,
  // before that batch's first row is handed out: a reader that must know
  // what it hands on was read from one state of the files looks at them
  // again then.
  std::uint64_t Batches() const { return batches_; }

 private:
  class Store;
  void Fill();

  const SharedState& state_;
  ByteFile& data_;
  FineProblems& problems_;
  EntryCursor cursor_;
  RecordBatch batch_;
  std::function<bool(const TreeEntry&)> want_;
  std::size_t budget_;
  std::size_t capacity_ = 64;  // entries of the next batch
  bool ended_ = false;
  Long from_ = 0;  // the first entry handed out (StartAt)
  Long until_ = 0;  // the last, when not 0
  Long lastHeld_ = 0;  // the number of the entry held last
  Long counter_ = 0;
  std::uint64_t batches_ = 0;

  // An entry of the batch being handed out, kept small so that a batch of
  // the budget holds many; its key lies in keys_ at its place.
  struct Held {
    Long number;
    Long record;
    Long leaf;
    Long leafPos;
    std::int32_t slot;
    std::int32_t place;  // of its slot in the batch; -1 when not asked for, -2 when read field by field
    Long counter;
    unsigned char flag;
    bool keyRead;
  };
  std::vector<Held> held_;
  std::vector<unsigned char> keys_;
  std::unique_ptr<char[]> slots_;  // not cleared: a slot is used only when read
  std::size_t slotsCapacity_ = 0;
  std::vector<unsigned char> read_;  // whether each slot place was read whole
  std::size_t next_ = 0;
};

}  // namespace ondrel
