// A stored key against the record it points at.
//
// The key of an entry is the ordinate fields of its record, taken in
// ordinate order, each part as the field's bytes (a descending part stored
// inverted holds 255 - b of each).  A key that is not that points at another
// record than the one it was made from: a leaf of another tree, or an entry
// torn by a rewrite under way, which no order check can see.
//
// Not every database makes its keys so; a key that is made some other way
// (folded to capitals, say) must raise no alarm.  So whether keys are
// compared at all is learnt from the tree (LearnKeyRecordCheck): only when
// most of the entries sampled from leaves spread over it match their
// records, and none matches only once letters are taken without their case.
// A verdict of Yes also says the keys are the records' bytes, which a key
// seek that starts from a field's value needs.
#pragma once

#include <vector>

#include "database/ByteFile.h"
#include "database/KeyOrder.h"
#include "database/SharedState.h"

namespace ondrel {

// Where each key part's field lies in a record slot.
class KeyFields {
 public:
  // Needs the definition loaded and `order` judged; otherwise Usable() is
  // false.
  KeyFields(const SharedState& state, const KeyOrder& order);
  bool Usable() const { return usable_; }

  // Whether the stored key is the fields of the slot (RecordLength bytes).
  // A descending part whose storage is not known is not compared.
  bool SlotHoldsKey(const unsigned char* key, const char* slot) const;
  // The same for record `record` of the open data file, read through its
  // cache (the record has just been read).  True when it cannot be read:
  // that failure is told elsewhere.  `caseless`: ASCII letters compare
  // without their case.
  bool RecordHoldsKey(ByteFile& data, Long record, const unsigned char* key, bool caseless = false) const;

 private:
  struct Span {
    int keyOffset;
    int length;
    std::int64_t slotOffset;
    PartStorage storage;
  };
  std::vector<Span> spans_;
  std::int64_t recordLength_ = 0;
  bool usable_ = false;
};

// Learns KeyRecords from the first kKeyRecordSamplesPerLeaf entries of up to
// kStorageSampleLeaves leaves spread over the leaf table, taking those
// flagged "Y" whose records are active: No as soon as one holds its key
// only with letters taken without their case (the keys are folded);
// otherwise Yes when more of them hold their keys than not.  A damaged
// entry that is sampled is thus outvoted, and left for the reader's own
// check to find; one bad sample never turns the check off.
// Nothing is learnt (KeyRecords stays Unknown) before the definition is
// loaded.
void LearnKeyRecordCheck(SharedState& state, ByteFile& index, ByteFile& data);
inline constexpr int kKeyRecordSamplesPerLeaf = 4;

}  // namespace ondrel
