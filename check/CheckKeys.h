// The keys of a tree as the check shows and judges them: a stored key as
// text (the layout of its parts is KeyFields, database/KeyRecord.h), and the
// convention of the tree's interior keys.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "database/ByteFile.h"
#include "database/KeyOrder.h"
#include "database/KeyRecord.h"
#include "database/SharedState.h"
#include "check/CheckWalk.h"

namespace ondrel::check {

// A stored key as text, in quotes, its inverted parts turned back so that
// it reads as the record's fields do.
std::string StoredKeyText(const KeyFields& layout, const unsigned char* key);

// The compared parts in which a stored key differs from a record's fields
// in their stored form: `NAME "x" in the key, "y" in the record`, joined
// by "; ".  Empty when they agree.
std::string KeyDifferences(const KeyFields& layout, const unsigned char* stored, const unsigned char* expected);

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
  std::string Problem(const InteriorLink& link, const KeyFields& layout, int keyLength) const;

 private:
  // What breaks the bounds of `link` under the convention `last` (or the
  // first-key one); empty when nothing does.
  std::string Broken(const InteriorLink& link, bool last, const KeyFields* layout, int keyLength) const;
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
