// A stored key against the record it points at.
//
// A leaf entry's stored key is the record's ordinate fields taken in
// ordinate order, each as wide as its field: what the key is made of comes
// from the profile and the definition alone (KeyFields).  Each part is
// stored as written or folded to capitals, and a descending one either of
// those as it stands (the tree then keeps it in falling order) or inverted
// byte by byte (255 - b).  A key that is not its record's fields points at
// another record than the one it was made from: a leaf of another tree, or
// an entry torn by a rewrite under way, which no order check can see.
//
// Not every database makes its keys so; a key that is made some other way
// (folded to capitals, say) must raise no alarm.  So whether the readers
// compare keys at all is learnt from the tree (LearnKeyRecordCheck): only
// when most of the entries sampled from leaves spread over it match their
// records (as they stand, or with the fields in capitals), and none matches
// only once letters are taken without their case.  A verdict of Yes also
// says the keys are the records' bytes, which a key seek that starts from a
// field's value needs; Capitals says they are the fields in capitals, so a
// key typed in small letters can still be sought.  The deep check learns
// the form of each part for itself and sets it in the layout.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "database/ByteFile.h"
#include "database/KeyOrder.h"
#include "database/SharedState.h"

namespace ondrel {

// One ordinate's part of the key.
struct KeySegment {
  std::string name;              // the field's name
  int field = 0;                 // its FieldTable index
  int keyOffset = 0;             // where the part lies in the key
  int length = 0;                // the field's width
  std::int64_t fieldOffset = 0;  // where the field lies in the record
  bool descending = false;
  PartStorage storage = PartStorage::Plain;  // Unknown only for a descending part
  bool capitals = false;                     // stored folded to capitals
  bool compared = true;                      // false: left out, not judged
};

// A Windows-1252 byte folded to its capital: a to z, the accented small
// letters, and the small letters of 0x9A, 0x9C, 0x9E and 0xFF.
inline unsigned char Capital(unsigned char b) {
  if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7)) return static_cast<unsigned char>(b - 0x20);
  if (b == 0x9A || b == 0x9C || b == 0x9E) return static_cast<unsigned char>(b - 0x10);
  if (b == 0xFF) return 0x9F;
  return b;
}

// How a stored key's letters are compared with its record's fields: as they
// are, as the fields in capitals (a to z folded, the accented letters as
// they are or folded too), or without regard to case.
enum class KeyCase { Exact, Capitals, Caseless };

// Whether the readers compare each key with its record's fields, as the
// tree taught them (LearnKeyRecordCheck), and how.
inline bool KeysCompared(const SharedState& state) {
  return state.KeyRecords == KeyRecordCheck::Yes || state.KeyRecords == KeyRecordCheck::Capitals;
}
inline KeyCase ComparedCase(const SharedState& state) {
  return state.KeyRecords == KeyRecordCheck::Capitals ? KeyCase::Capitals : KeyCase::Exact;
}

// The key parts of the chosen profile over the loaded definition.
class KeyFields {
 public:
  // The ordinates of the chosen profile over the loaded definition.  An
  // ordinate holds ten characters of its field's name: a longer name is
  // known by its first ten when no other field shares them.
  explicit KeyFields(const SharedState& state);
  // The same, usable only when `order` is judged (the ordinates are the
  // key's parts one for one), as the readers compare keys.
  KeyFields(const SharedState& state, const KeyOrder& order);

  // Whether the ordinates' fields make the key: every ordinate a field of
  // the definition and their widths adding up to the key length.  When not,
  // WhyNot() says why, with names as the files hold them.
  bool Comparable() const { return whyNot_.empty(); }
  const std::string& WhyNot() const { return whyNot_; }
  // Whether the readers may compare keys with records through it.
  bool Usable() const { return usable_; }
  std::vector<KeySegment>& Segments() { return segments_; }
  const std::vector<KeySegment>& Segments() const { return segments_; }
  int KeyLength() const { return keyLength_; }
  // Whether the key description's parts are the ordinates' fields one for
  // one, so that KeyPartStorage(i) tells how segment i is stored.
  bool PartsMatch() const { return partsMatch_; }
  // Bytes of a record slot the fields of the key need (the terminator's
  // offset is RecordLength - 1).
  std::int64_t RecordLength() const { return recordLength_; }

  // Whether the stored key is the fields of the slot (RecordLength bytes).
  // A part left out, or descending with its storage not known, is not
  // compared.
  bool SlotHoldsKey(const unsigned char* key, const char* slot, KeyCase match = KeyCase::Exact) const;
  // The same for record `record` of the open data file, read through its
  // cache (the record has just been read).  True when it cannot be read:
  // that failure is told elsewhere.  `match`: how the key's letters are
  // compared with the fields' (KeyCase).
  bool RecordHoldsKey(ByteFile& data, Long record, const unsigned char* key, KeyCase match = KeyCase::Exact) const;

  // The ordinate fields of a record as written, laid out as the key: from a
  // whole slot, or read from the data file field by field (a slot too long
  // to be read whole).  The file read gives false when a field lies outside
  // the file.  `terminator` is the slot's last byte.
  void FieldsOfSlot(const char* slot, unsigned char* out, unsigned char& terminator) const {
    for (const KeySegment& s : segments_) CopyField(out + s.keyOffset, slot + s.fieldOffset, s.length);
    terminator = static_cast<unsigned char>(slot[recordLength_ - 1]);
  }
  bool FieldsOfFile(ByteFile& data, std::int64_t record, unsigned char* out, unsigned char& terminator) const;

  // Turns fields laid out as the key into the key they should be stored as:
  // parts stored in capitals folded, inverted parts inverted, parts left out
  // set to 0.
  void ToStoredForm(unsigned char* key) const;
  // A stored key with the parts left out set to 0, to compare with the above.
  void Masked(const unsigned char* stored, unsigned char* out) const;
  // The bytes of one part of a stored key as they are written in the
  // record: an inverted part turned back.
  std::string AsWritten(const KeySegment& segment, const unsigned char* part) const;

 private:
  // Copies a field of a few bytes, eight at a time, the last eight
  // overlapping the ones before: no call per field, no byte outside it read.
  static void CopyField(unsigned char* to, const char* from, int length) {
    if (length < 8) {
      for (int i = 0; i < length; ++i) to[i] = static_cast<unsigned char>(from[i]);
      return;
    }
    for (int i = 0; i + 8 <= length; i += 8) std::memcpy(to + i, from + i, 8);
    std::memcpy(to + length - 8, from + length - 8, 8);
  }

  std::vector<KeySegment> segments_;
  int keyLength_ = 0;
  std::int64_t recordLength_ = 0;
  bool partsMatch_ = false;
  bool usable_ = false;
  std::string whyNot_;
};

// Text in the capitals a key folded to capitals is stored in: a to z become
// A to Z; every other byte stays as it is.
std::string KeyCapitals(std::string text);

// Learns KeyRecords from the first kKeyRecordSamplesPerLeaf entries of up to
// kStorageSampleLeaves leaves spread over the leaf table, taking those
// flagged "Y" whose records are active: No as soon as one holds its key
// only with letters taken without their case, and not as the fields in
// capitals either (the keys are folded some other way); otherwise, when
// more of them hold their keys than not, Capitals if any holds it only as
// its fields in capitals, else Yes.  A damaged entry that is sampled is thus
// outvoted, and left for the reader's own check to find; one bad sample
// never turns the check off.
// Nothing is learnt (KeyRecords stays Unknown) before the definition is
// loaded.
void LearnKeyRecordCheck(SharedState& state, ByteFile& index, ByteFile& data);
inline constexpr int kKeyRecordSamplesPerLeaf = 4;

}  // namespace ondrel
