// The keys of a tree as --check judges them: the key as the profile's
// ordinates make it from a data record, and the convention of the tree's
// interior keys.
//
// A leaf entry's stored key is the record's ordinate fields taken in order,
// each as wide as its field: what the key is made of comes from the profile
// and the definition alone.  Each part is stored as written or folded to
// capitals, and a descending one either of those as it stands (the tree then
// keeps it in falling order) or inverted byte by byte (255 - b).  Which form
// a tree uses is learnt from the tree (CheckSample.h); once it is learnt,
// every entry that disagrees with its record is a problem.  A descending
// part whose form the tree does not show is left out of every comparison,
// and the check says it could not be judged.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "database/ByteFile.h"
#include "database/KeyOrder.h"
#include "database/SharedState.h"
#include "check/CheckWalk.h"

namespace ondrel::check {

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

class KeyLayout {
 public:
  // The ordinates of the chosen profile over the loaded definition.
  explicit KeyLayout(const SharedState& state);

  // Whether the ordinates' fields make the key: every ordinate a field of
  // the definition and their widths adding up to the key length.  When not,
  // WhyNot() says why.
  bool Comparable() const { return whyNot_.empty(); }
  const std::string& WhyNot() const { return whyNot_; }
  std::vector<KeySegment>& Segments() { return segments_; }
  const std::vector<KeySegment>& Segments() const { return segments_; }
  int KeyLength() const { return keyLength_; }
  // Whether the key description's parts are the ordinates' fields one for
  // one, so that KeyPartStorage(i) tells how segment i is stored.
  bool PartsMatch() const { return partsMatch_; }
  // Bytes of a record slot the fields of the key need (the terminator's
  // offset is RecordLength - 1).
  std::int64_t RecordLength() const { return recordLength_; }

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

  // The compared parts in which a stored key differs from a record's fields
  // in their stored form: `NAME "x" in the key, "y" in the record`, joined
  // by "; ".  Empty when they agree.
  std::string Differences(const unsigned char* stored, const unsigned char* expected) const;
  // A stored key as text, in quotes, its inverted parts turned back so that
  // it reads as the record's fields do.
  std::string Text(const unsigned char* key) const;

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

  std::string SegmentText(const KeySegment& segment, const unsigned char* bytes) const;

  std::vector<KeySegment> segments_;
  int keyLength_ = 0;
  std::int64_t recordLength_ = 0;
  bool partsMatch_ = false;
  std::string whyNot_;
};

// Whether each interior entry of a tree carries the first or the last key of
// its child.  The layout does not say; each tree is judged by what it holds.
//
// A tree keeps an interior key when the key it was taken from is deleted
// below it, so an interior key is judged by the bound it sets, not by
// equality: under the last-key convention the child's keys lie at or before
// the entry's key and at or after the key of the entry before it; under the
// first-key convention at or after the entry's key and at or before the key
// of the entry after it.  Without a judged key order only equality can be
// judged.
class InteriorKeys {
 public:
  enum class Convention { Unknown, FirstOfChild, LastOfChild };

  explicit InteriorKeys(const KeyOrder* order = nullptr) : order_(order) {}

  // Counts one link of the first walk.
  void Count(const InteriorLink& link, int keyLength);
  // Decides the tree's convention after the first walk (see the .cpp).
  Convention Decide();
  Convention Decided() const { return convention_; }
  // Interior entries of the first walk that break the decided convention.
  std::int64_t Breaks() const;
  // A note when the tree holds keys that break both conventions in equal
  // numbers, so that none is judged; empty otherwise.
  std::string Undecided() const;

  // The problem text of a link of the second walk when it breaks the decided
  // convention; empty when it keeps it.
  std::string Problem(const InteriorLink& link, const KeyLayout& layout, int keyLength) const;

 private:
  // What breaks the bounds of `link` under the convention `last` (or the
  // first-key one); empty when nothing does.
  std::string Broken(const InteriorLink& link, bool last, const KeyLayout* layout, int keyLength) const;
  // Whether key `a` lies after key `b`.
  bool After(const unsigned char* a, const unsigned char* b, int keyLength) const;

  const KeyOrder* order_;
  std::int64_t firstOnly_ = 0;  // equal to the child's first key and not its last
  std::int64_t lastOnly_ = 0;   // equal to its last key and not its first
  std::int64_t both_ = 0;       // equal to both (a child whose keys are all equal)
  std::int64_t neither_ = 0;
  std::int64_t breaksFirst_ = 0;  // links that break the bounds of each convention
  std::int64_t breaksLast_ = 0;
  Convention convention_ = Convention::Unknown;
};

}  // namespace ondrel::check
