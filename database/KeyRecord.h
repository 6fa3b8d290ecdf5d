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
// the first entries of leaves spread over it all match their records.  Keys
// that are their fields in capitals are learnt too, so that a key typed in
// small letters can still be sought.
#pragma once

#include <string>
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
  // that failure is told elsewhere.
  // With `inCapitals`, the key is compared with the fields in capitals.
  bool RecordHoldsKey(ByteFile& data, Long record, const unsigned char* key, bool inCapitals = false) const;

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

// Text in the capitals a key folded to capitals is stored in: a to z become
// A to Z; every other byte stays as it is.
std::string KeyCapitals(std::string text);

// Learns KeyRecords from the first entry of up to kStorageSampleLeaves leaves
// spread over the leaf table: Yes when every one of them flagged "Y" whose
// record is active holds its key, and there was at least one; Capitals when
// each holds its key in capitals and at least one only so (its fields have
// small letters); No otherwise.
// Nothing is learnt (KeyRecords stays Unknown) before the definition is
// loaded.
void LearnKeyRecordCheck(SharedState& state, ByteFile& index, ByteFile& data);

}  // namespace ondrel
