// Many data records read at once, in record-number order.
//
// A profile whose key order scatters the records over the data file would
// cost one read per record, each in another part of the file.  A batch
// collects the record numbers of a run of entries, sorts them, and reads the
// data file from front to back in large pieces (runs of needed slots, the
// small gaps between them read along), handing each slot to a visitor in
// record-number order.  The callers put the results back in key order.  A
// run of slots one after another that was asked for in that same order (a
// profile in the order the records were written) goes straight to where
// the visitor keeps it, when it offers the room (Room), with no copy.  The
// sorted records are read in parts of a few thousand, which a second thread
// may share (SharedWork): a pass over the whole data file then runs on two
// processors.
//
// The slot layout is the data file's (DataRecord.cpp).  A slot longer than
// kWholeSlotLimit is not read here: the visitor gets null for it and the
// caller reads that record field by field (ReadRecord).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "database/ByteFile.h"
#include "database/PageBuffer.h"
#include "database/SharedState.h"
#include "database/SharedWork.h"

namespace ondrel {

class SlotVisitor {
 public:
  virtual ~SlotVisitor() = default;
  // The record asked for at `place` (the order of Add, from 0): its
  // RecordLength bytes, valid during the call only, or null when the record
  // number names no slot wholly inside the file.
  virtual void Visit(std::size_t place, const char* slot) = 0;
  // Where the records asked for at places `place` to `place + count - 1`,
  // when they are that many slots one after another in the file, may be
  // read to at once, each RecordLength bytes after the one before; null (as
  // by default) to be handed them by Visit.  Those read there are told by
  // Filled, and not visited; when the read fails, neither is called and
  // what was at the room counts for nothing.
  virtual char* Room(std::size_t /*place*/, std::size_t /*count*/) { return nullptr; }
  virtual void Filled(std::size_t /*place*/, std::size_t /*count*/) {}
};

class RecordBatch {
 public:
  RecordBatch(ByteFile& data, Long recordLength);

  // Bytes the batch keeps per record asked for: the sort's two arrays, or
  // the one when the caller lends the room for the other (Read).
  static constexpr std::size_t kBytesPerRecord = 16;
  static constexpr std::size_t kBytesPerRecordLent = 8;

  void Clear();
  // Asks for record `recordNumber` (1-based); returns its place.  (Here,
  // where the callers' loops over every entry can take it in line.)
  std::size_t Add(Long recordNumber) {
    const std::size_t place = items_.size();
    // A number below 1 names no slot; it is kept as 0, which sorts first.
    const std::uint64_t number = recordNumber < 1 ? 0 : static_cast<std::uint64_t>(recordNumber);
    if (!items_.empty() && (items_.back() >> 32) > number) sorted_ = false;
    items_.push_back(number << 32 | place);
    return place;
  }
  std::size_t Size() const { return items_.size(); }
  // Room for `count` records without growing.
  void Reserve(std::size_t count);
  // What the last Read cost: the bytes it read, each read counted as
  // kReadCost bytes more.
  std::int64_t ReadCost() const { return readCost_; }
  // A read costs about as much as copying this many bytes.
  static constexpr std::int64_t kReadCost = 16 * 1024;

  // Visits every record asked for, in record-number order (places in the
  // order they were asked for among equal numbers).  `lent`, when it holds
  // a word for each record asked for, is room the sort may use before the
  // first visit (the caller's memory for the slots, say), so that the batch
  // needs none of its own.  With `work`, the reads are its parts, and a
  // thread that joins it reads some of them: the visitor is then called on
  // both threads at once, for different places, and the order holds within
  // each part only.
  void Read(SlotVisitor& visitor, std::uint64_t* lent = nullptr, std::size_t lentWords = 0,
            SharedWork* work = nullptr);
  // Sorts the records asked for now, with memory of the batch's own (a
  // word each, kept for the next batch), for a caller that has no room to
  // lend until later; Read then sorts nothing.
  void SortNow();

 private:
  // A thread's room for the pieces it reads.
  struct Staging {
    PageBuffer<char> bytes;  // not cleared: every byte used is read first
    std::size_t size = 0;
  };

  // Reads the items from `begin` to before `end` of the sorted ones, of a
  // file of `slots` whole slots, with `staging`; `uncached` past the file's
  // cache of blocks.  Returns the cost (ReadCost).
  std::int64_t ReadItems(std::size_t begin, std::size_t end, std::int64_t slots, SlotVisitor& visitor,
                         Staging& staging, bool uncached);

  // Sorts the number and place of each record asked for, kept as
  // (number << 32) | place, using `scratch` of as many words.
  void Sort(std::uint64_t* scratch);

  ByteFile& data_;
  std::int64_t recordLength_;
  std::vector<std::uint64_t> items_;
  std::vector<std::uint64_t> scratch_;
  Staging staging_[2];  // the running thread's, and the joining one's
  bool sorted_ = true;
  std::int64_t readCost_ = 0;
};

}  // namespace ondrel
