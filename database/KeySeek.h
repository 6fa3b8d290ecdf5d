// Going to a key: the first entry of the chosen key's tree whose key lies at
// or after a typed key, in the tree's order (KeyOrder.h).
//
// The user types the leading ordinates, one text each (Windows-1252 bytes).
// The last text typed, when shorter than its part, is compared as a prefix;
// a text followed by another is the whole field, padded with blanks.  A
// number typed for a numeric ("N") ordinate is read as a number and written
// as the field writes its values: its width, its decimal places, its sign and
// the fill (zeros or blanks) its stored values show, so that "500.5",
// "500.50" and "+500.5" all go to "00500.50".  A descending part stored
// inverted is compared inverted.
//
// The search reads one node: a binary search in memory over the first key of
// each leaf, which the walk keeps with the leaf table, then the one leaf that
// may hold the answer.  Every key met on the way is checked against the
// tree's order, and each leaf the search leans on against the last key of
// the leaf before it, and the leaf read must be the leaf the walk read; if
// any of that fails (a damaged tree, or one rewritten since it was walked)
// the seek is refused with a message and no entry is given as found, so
// that a wrong record is never shown as the answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "database/ByteFile.h"
#include "database/KeyOrder.h"
#include "database/SharedState.h"

namespace ondrel {

// The typed key in the form the tree stores: one text per typed part, as
// many bytes as were typed (after alignment), inverted for an inverted part.
struct TypedKey {
  std::vector<std::string> parts;
};

enum class SeekOutcome { Found, PastTheEnd, Refused };

struct SeekResult {
  SeekOutcome outcome = SeekOutcome::Refused;
  Long entry = 0;       // Found: the entry number
  std::string message;  // Refused: what to tell the user
};

// Turns what was typed into the stored form.  False, with `why` set, when it
// cannot be: more texts than ordinates, a text longer than its field, a
// number with more decimal places than its field holds, a filled text after
// an empty one, ordinates that do not match the key, or a descending part
// whose storage the tree did not show.  Empty texts at the end are left out.  `index` is read for the alignment of numeric parts.
bool PrepareTypedKey(const SharedState& state, const KeyOrder& order, ByteFile& index,
                     const std::vector<std::string>& typed, TypedKey& key, std::string& why);

// Where a stored key lies against a typed key: Before, Same (equal on every
// typed part, as a prefix) or After.
KeyComparison CompareTyped(const KeyOrder& order, const TypedKey& typed, const unsigned char* key);

// The first entry at or after the typed key.  The definition must be loaded
// (the ordinates are matched to its fields).
// The first time after the walk it learns whether the tree's keys rise
// throughout (KeysRise).
SeekResult SeekKey(SharedState& state, ByteFile& index, const std::vector<std::string>& typed);

// Asked of an entry the window does not show: its key and record number.
using UnshownCheck = std::function<bool(const unsigned char* key, Long record)>;

// What seeks over the same files remember for the seeks after them: the
// leaves they read whole and found sound and in order, which a later seek
// that needs one of them neither reads nor checks again (the end of a range
// after its start, the next row of a join), and whether the tree's keys rise
// (LeavesRise), learnt by the first of them.
// The bytes are those of the files the walk read only while those files
// have not changed: a reader that keeps a memo from one seek to the next
// must look at the files after each read, as every scan does, and drop the
// memo with the walk once they have changed; a memo serves the seeks of one
// walk only.  It holds up to 4 MiB of leaves (a thousand or more), replaced
// in turn.  Empty at first.
class SeekMemo {
 public:
  // The bytes of leaf k of the leaf table as a seek kept them, or null.
  const std::vector<unsigned char>* Kept(Long k) const;
  // Keeps leaf k, found sound and in order.
  void Keep(const SharedState& state, Long k, const unsigned char* bytes, std::size_t size);
  // LeavesRise, learnt once, by the first call: `unshown` is asked only
  // then.
  bool KeysRise(const SharedState& state, ByteFile& index, const KeyOrder& order,
                const UnshownCheck* unshown = nullptr);

 private:
  void Fit(const SharedState& state);

  signed char keysRise_ = -1;  // not learnt yet
  // By leaf: the place of its bytes in `kept_`, or kUnknown.
  static constexpr std::int32_t kUnknown = -1;
  std::vector<std::int32_t> placeOf_;
  struct KeptLeaf {
    Long leaf;
    std::vector<unsigned char> bytes;
  };
  std::vector<KeptLeaf> kept_;
  std::size_t next_ = 0;  // the place replaced next once all are taken
};

// SecondDigits learnt after the walk, for a walk that was not asked to: every
// leaf of the leaf table read whole, each sound as a seek reads it (level 0,
// whole entries, as many as the table counts) and each key's second part
// digits across its width or blanks alone.  False when any of that fails,
// when the key has no second part, or when the index is no longer the file
// the table was built from (FilesRead).
bool LearnSecondDigits(const SharedState& state);

// Gives back the memory of the leaves' keys the walk kept, for a reader
// that seeks no more (a whole export, once it found where it starts): a
// scan's batches then have it (ScanBudget).  A seek after it is refused.
void ReleaseLeafKeys(SharedState& state);

// The same for a key in its stored form already (as PrepareTypedKey makes
// it): a binary search over the leaves' keys the walk kept (LeafKeys), then
// one leaf read.  Refused over a tree whose keys do not rise throughout:
// the state's KeysRise once learnt, else the memo's, else a pass of its own.
SeekResult SeekStored(const SharedState& state, ByteFile& index, const KeyOrder& order, const TypedKey& key,
                      SeekMemo* memo = nullptr);

// Whether the keys of the walked tree rise throughout: every leaf the walk
// read, read whole again, still the leaf it read (the same first and last
// keys, as many entries), its keys in order and its first key not before the
// last key of the leaf before it.  A leaf the walk could not read is left
// out: it holds no entry the window shows.  One pass over the leaves.
// With `unshown`, also false when it refuses an entry whose flag is not "Y"
// (its key and record number): a reader that lists those entries too asks
// there whether their records hold their keys, as a shown entry's record is
// checked when it is read.
bool LeavesRise(const SharedState& state, ByteFile& index, const KeyOrder& order,
                const UnshownCheck* unshown = nullptr);

}  // namespace ondrel
