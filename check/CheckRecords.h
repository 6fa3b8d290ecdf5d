// The checks of what a tree's leaf entries point at: the record number lies
// in the data file, no two entries point at one record, no entry points at a
// purged record, the stored key is the record's ordinate fields, and (for a
// profile without conditions) every active record is reached.
//
// How it works, in three steps that keep memory to one bit per record and a
// table of constant size:
//
// 1. The first walk of the tree (Reach) marks each record reached in a bit
//    set; a record reached a second time is a duplicate.  Each entry adds a
//    64-bit hash of its record number and stored key to the sum of its
//    bucket, the run of record numbers it falls in (at most kBuckets of them).
// 2. One pass over the data file from front to back (ScanData) counts the
//    active records, finds those no entry reached, and adds, for each reached
//    record, the hash of its number and of the key its fields make to its
//    bucket's other sum.  A reached record that is purged marks its bucket.
//    On a sound tree every bucket's two sums agree: each record is reached
//    once with its own key.  A wrong key leaves its bucket's sums equal
//    only by a coincidence of about 1 in 2^64.
// 3. Only when some bucket disagrees (or holds a duplicate or a purged
//    record) does the second walk (Locate) look at the entries of those
//    buckets: it reads their records in batches, in record-number order
//    (RecordBatch), compares each key with its record and names the entry,
//    node and record of each problem.
//
// So a sound profile costs one reading of its tree and one of its data file,
// whatever order its key gives the records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/ByteFile.h"
#include "database/RecordBatch.h"
#include "check/CheckKeys.h"
#include "check/CheckReport.h"
#include "check/CheckWalk.h"

namespace ondrel::check {

// Buckets of record numbers: 2^16 sums of each side, 1 MiB in all.
inline constexpr std::int64_t kBuckets = 1 << 16;
// Records whose second entry is named with the first in the second walk;
// beyond this many a duplicate is reported when it is met, without the first.
inline constexpr std::size_t kMostDuplicatedRecords = 1 << 20;
// Memory one batch of the second walk may hold.
inline constexpr std::size_t kLocateBudget = 64 * 1024 * 1024;
// Record numbers the coverage problem names.
inline constexpr std::size_t kUnreachedShown = 10;

class RecordCheck {
 public:
  RecordCheck(const KeyFields& layout, ByteFile& data, std::int64_t dataRecords, CheckReport& report);

  // Step 1: the entries of one leaf of the first walk.
  void Reach(const LeafNode& leaf);
  // Step 2.
  void ScanData();
  // Whether step 3 has anything to look at.
  bool AnySuspect() const { return suspects_ > 0; }
  // Step 3: one leaf entry of the second walk; Finish reads the last batch.
  // `under`: the node found bad above the entry's leaf, 0 when none (see
  // Follows).
  void Locate(const LeafEntry& entry, std::uint32_t under = 0);
  void FinishLocate();
  // Names node `root`, found bad by `cause`: the problems of the entries
  // below it (keys unlike their records, records reached twice) are counted
  // under it in one note at FinishLocate, not listed.
  void Follows(std::uint32_t root, const std::string& cause);

  std::int64_t ActiveRecords() const { return active_; }
  std::int64_t UnreachedRecords() const { return unreached_; }
  const std::vector<std::uint32_t>& FirstUnreached() const { return firstUnreached_; }
  std::int64_t PurgedEntries() const { return purgedEntries_; }

 private:
  // One entry of a batch of the second walk.
  struct Pending {
    std::int64_t number = 0;
    std::uint32_t node = 0;
    std::uint32_t record = 0;
    std::int64_t firstEntry = 0;  // an earlier entry pointing at the same record, 0 when none
    std::uint32_t firstNode = 0;
    std::uint32_t under = 0;       // the bad node above the entry, 0 when none
    std::uint32_t firstUnder = 0;  // the same for the earlier entry
    bool purged = false;
    bool unread = false;
    std::int64_t expected = -1;  // offset of the record's key in expected_ when it differs
  };
  class Compare;

  std::size_t Bucket(std::uint32_t record) const { return static_cast<std::size_t>(record >> shift_); }
  // An entry whose record number lies outside the data file; an entry for a
  // record reached before.
  void Outside(const LeafEntry& entry);
  void Again(const LeafEntry& entry);
  void Suspect(std::uint32_t record);
  // The pass of ScanData over the records; it stops at a short read.
  void ScanRecords();
  void Flush();
  void Report(const Pending& item, const unsigned char* key);

  const KeyFields& layout_;
  ByteFile& data_;
  std::int64_t dataRecords_;
  CheckReport& report_;
  bool hashing_;
  // The hash of step 1 and 2 (see the .cpp).
  class KeyHasher {
   public:
    explicit KeyHasher(const KeyFields& layout);
    std::uint64_t Stored(std::uint32_t record, const unsigned char* key) const {
      return Hash(record, key, false, false);
    }
    std::uint64_t OfSlot(std::uint32_t record, const unsigned char* slot) const {
      return Hash(record, slot, true, true);
    }
    // Fields laid out as the key, as FieldsOfFile reads them.
    std::uint64_t OfFields(std::uint32_t record, const unsigned char* fields) const {
      return Hash(record, fields, false, true);
    }

   private:
    struct Part {
      int keyOffset;
      std::int64_t fieldOffset;
      int length;
      bool inverted;
      bool capitals;
    };
    std::uint64_t Hash(std::uint32_t record, const unsigned char* base, bool inSlot, bool fromRecord) const;
    std::vector<Part> parts_;
  };
  KeyHasher hasher_;
  int shift_ = 0;
  std::vector<std::uint64_t> reached_;  // one bit by record number
  bool Reached(std::uint32_t r) const { return (reached_[r >> 6] >> (r & 63)) & 1; }
  std::vector<std::uint64_t> entrySums_;
  std::vector<std::uint64_t> recordSums_;
  std::vector<bool> suspect_;  // by bucket
  std::int64_t suspects_ = 0;
  std::vector<std::uint32_t> duplicated_;
  std::vector<unsigned char> scratch_;

  std::int64_t active_ = 0;
  std::int64_t unreadFrom_ = std::int64_t{1} << 40;  // where the scan met a short read
  std::int64_t unreached_ = 0;
  std::vector<std::uint32_t> firstUnreached_;

  // The second walk.
  struct FirstSeen {
    std::int64_t entry = 0;
    std::uint32_t node = 0;
    std::uint32_t under = 0;
  };
  struct Following {
    std::uint32_t root = 0;
    std::string cause;
    std::int64_t problems = 0;
  };
  std::vector<Following> following_;  // in the order the nodes were found
  std::vector<FirstSeen> firstSeen_;  // parallel to duplicated_, once sorted
  RecordBatch batch_;
  std::vector<Pending> pending_;
  std::vector<unsigned char> keys_;
  std::vector<unsigned char> expected_;
  std::size_t capacity_ = 0;
  std::int64_t purgedEntries_ = 0;
};

}  // namespace ondrel::check
