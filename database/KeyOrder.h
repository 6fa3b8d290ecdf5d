// The order in which the chosen key's tree keeps its entries.
//
// A key is its parts one after another, one part per ordinate of the
// profile, in ordinate order, each as long as the key description says.  The
// tree keeps its entries in the order of the stored bytes, compared part by
// part as unsigned bytes (Windows-1252 bytes, no collation).  A descending
// ordinate's part runs the other way.  Such a part is stored either as
// written, and then compared in reverse, or inverted byte by byte (255 - b),
// so that its stored bytes rise like an ascending part's.  Which of the two a
// tree does is learnt from the tree itself (LearnPartStorage).
//
// The order can be judged only when the profile's ordinates match the key's
// parts: as many ordinates as parts and, once the definition is loaded, each
// ordinate a field of the definition exactly as wide as its part.  Otherwise
// nothing is said about the order, so that a sound profile never raises a
// false alarm.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "database/ByteFile.h"
#include "database/ShortBytes.h"
#include "database/SharedState.h"

namespace ondrel {

struct KeyPartOrder {
  int offset = 0;  // in the key
  int length = 0;
  bool descending = false;
  PartStorage storage = PartStorage::Plain;  // Unknown only for a descending part
  int field = 0;       // FieldTable index of the ordinate's field; 0 when not known
  std::string name;    // the ordinate's field name
};

enum class KeyComparison { Before, Same, After, Unknown };

class KeyOrder {
 public:
  // The order of the chosen key, from KeyPartLengths, the profile's
  // Ordinates, KeyPartStorage and, when it is loaded, the definition.
  explicit KeyOrder(const SharedState& state);

  bool Judged() const { return judged_; }
  // Why the order cannot be judged ("" when it can).
  const std::string& Unmatched() const { return unmatched_; }
  const std::vector<KeyPartOrder>& Parts() const { return parts_; }
  int KeyLength() const { return keyLength_; }

  // Where stored key `a` lies against stored key `b` in the tree's order.
  // Unknown when the order is not judged, or when the first part in which
  // they differ is a descending part whose storage is not known.
  KeyComparison Compare(const unsigned char* a, const unsigned char* b) const {
    // A key of ascending parts alone compares as one run of bytes: in line,
    // since a scan compares every entry's key with the one before.
    if (judged_ && ascending_) {
      const int cmp = keyLength_ > 0 ? CompareShort(a, b, static_cast<std::size_t>(keyLength_)) : 0;
      return cmp < 0 ? KeyComparison::Before : cmp > 0 ? KeyComparison::After : KeyComparison::Same;
    }
    return CompareByParts(a, b);
  }

 private:
  KeyComparison CompareByParts(const unsigned char* a, const unsigned char* b) const;

  std::vector<KeyPartOrder> parts_;
  int keyLength_ = 0;
  bool judged_ = false;
  bool ascending_ = false;  // no descending part: the key compares as one run of bytes
  std::string unmatched_;
};

// The first part in which two keys of `order`'s parts differ (-1 when none),
// the unsigned comparison of its bytes in `*sign`.
int FirstDifferingPart(const std::vector<KeyPartOrder>& parts, const unsigned char* a, const unsigned char* b,
                       int* sign);

// Learns how each descending part of the chosen key is stored, from the
// entries of up to kStorageSampleLeaves leaves spread over the leaf table:
// wherever two neighbouring keys first differ in a descending part, rising
// stored bytes mean inverted storage and falling ones plain storage; the
// majority decides, and a part never seen to decide stays Unknown.  Sets
// KeyPartStorage.  Reads nothing when the key has no descending part or its
// ordinates do not match its parts.
void LearnPartStorage(SharedState& state, ByteFile& index);
inline constexpr int kStorageSampleLeaves = 64;

}  // namespace ondrel
