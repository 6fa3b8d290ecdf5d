#include "database/KeySeek.h"

#include <algorithm>
#include <cstring>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "database/BigEndian.h"
#include "database/IndexWalk.h"
#include "database/RandomAccessFile.h"

namespace ondrel {
namespace {

const char* kOutOfOrder =
    "The keys met on the way are not in the order of the profile's key: the index is damaged, or it has "
    "changed since the profile was opened.  Nothing was found.";
const char* kCountsSetBack =
    "The entry found cannot be shown at its number: the index counts fewer entries after a damaged leaf "
    "than before it.  Nothing was found.";

// One leaf read whole, when it is a sound leaf that agrees with the leaf
// table: level 0, a used length of whole entries inside the node, and as many
// entries as the table counts for it.  The walk keeps the first and last
// keys of the leaves it finds sound in the same way (IndexWalk.cpp).
class Leaf {
 public:
  bool Read(const SharedState& state, ByteFile& index, Long k) {
    own_.resize(static_cast<std::size_t>(std::max<Integer>(state.NodeSize, 4)));
    bytes_ = own_.data();
    size_ = own_.size();
    if (k < 1 || static_cast<std::size_t>(k) >= state.LeafTable.size()) return false;
    if (!index.Read(state.LeafTable[static_cast<std::size_t>(k)].NodePos, own_.data(), own_.size())) return false;
    return Judge(state, k);
  }
  // Leaf k as a seek kept it (SeekMemo), without reading it.
  bool Take(const SharedState& state, const std::vector<unsigned char>& kept, Long k) {
    bytes_ = kept.data();
    size_ = kept.size();
    return Judge(state, k);
  }
  int Entries() const { return entries_; }
  Long First() const { return first_; }  // entries before this leaf
  const unsigned char* Key(int e) const { return bytes_ + 2 + static_cast<std::size_t>(e) * entrySize_ + 1; }
  unsigned char Flag(int e) const { return Key(e)[-1]; }
  Long Record(int e) const { return static_cast<Long>(BE32(Key(e) + entrySize_ - 5)); }
  const unsigned char* Bytes() const { return bytes_; }
  std::size_t Size() const { return size_; }

 private:
  bool Judge(const SharedState& state, Long k) {
    entrySize_ = 1 + state.KeyLength + state.EntryTail;
    if (k < 1 || static_cast<std::size_t>(k) >= state.LeafTable.size() || entrySize_ <= 0 ||
        size_ != static_cast<std::size_t>(std::max<Integer>(state.NodeSize, 4)))
      return false;
    const int used = BE16(bytes_);
    const int level = BE16(bytes_ + size_ - 2) / 256;
    if (level != 0 || used < 2 || used > state.NodeSize - 2 || (used - 2) % entrySize_ != 0) return false;
    entries_ = (used - 2) / entrySize_;
    first_ = state.LeafTable[static_cast<std::size_t>(k) - 1].CumCount;
    return state.LeafTable[static_cast<std::size_t>(k)].CumCount - first_ == entries_;
  }

  std::vector<unsigned char> own_;
  const unsigned char* bytes_ = nullptr;
  std::size_t size_ = 0;
  int entrySize_ = 0;
  int entries_ = 0;
  Long first_ = 0;
};

// What the memo may hold: about SQLite's own page cache and more, so that
// the leaves a join's inner lookups go back to stay in memory.
constexpr std::size_t kMemoBytes = 4 * 1024 * 1024;

// How a numeric part's stored values are written, from the keys of a few
// leaves.  Fill: a value that starts with a blank (after any sign) is
// blank-filled, one that starts with "0" zero-filled; the more frequent wins,
// and a part whose values all fill their width says nothing either way and is
// zero-filled.  Sign: a value that ends in "-" or "+" carries its sign last,
// and a value that holds "+" shows the sign of positive numbers too.
struct NumberStyle {
  char fill = '0';
  bool signLast = false;
  bool plusShown = false;
};

NumberStyle StyleOf(const SharedState& state, ByteFile& index, const KeyPartOrder& part) {
  long blanks = 0;
  long zeros = 0;
  long signsLast = 0;
  long signsFirst = 0;
  long pluses = 0;
  const std::size_t leaves = state.LeafTable.size() - 1;
  for (const std::size_t k : {std::size_t{1}, (leaves + 1) / 2, leaves}) {
    Leaf leaf;
    if (k < 1 || !leaf.Read(state, index, static_cast<Long>(k))) continue;
    for (int e = 0; e < leaf.Entries(); ++e) {
      std::string value(reinterpret_cast<const char*>(leaf.Key(e)) + part.offset, static_cast<std::size_t>(part.length));
      if (part.storage == PartStorage::Inverted)
        for (char& c : value) c = static_cast<char>(255 - static_cast<unsigned char>(c));
      if (value.size() < 2) continue;
      const std::size_t sign = value.find_first_of("+-");
      if (sign != std::string::npos) {
        ++(sign + 1 == value.size() ? signsLast : signsFirst);
        if (value[sign] == '+') ++pluses;
      }
      const std::size_t lead = sign == 0 ? 1 : 0;
      if (value[lead] == ' ' && value.find_first_not_of(' ', lead) != std::string::npos) ++blanks;
      if (value[lead] == '0') ++zeros;
    }
  }
  NumberStyle style;
  style.fill = blanks > zeros ? ' ' : '0';
  style.signLast = signsLast > signsFirst;
  style.plusShown = pluses > 0;
  return style;
}

// A typed number in the form `field` (called `name`) stores it, `length`
// characters: the digits and decimal places, the sign as the stored values
// show it (in front of the zeros of a zero-filled value, next to the digits
// of a blank-filled one, or last), filled on the left.  "500.5" for a field
// of 7 digits and 2 decimals filled with zeros is "00500.50"; "-5" is
// "-0005.00".  Not a number (blanks, an optional sign, digits with at most
// one point) gives false with `why` empty; a number the field cannot hold
// gives false with `why` set.
bool FormatNumber(const std::string& typed, const FieldDef& field, const std::string& name, int length,
                  const NumberStyle& style, std::string& stored, std::string& why) {
  const std::size_t first = typed.find_first_not_of(' ');
  if (first == std::string::npos) return false;
  const std::string text = typed.substr(first, typed.find_last_not_of(' ') - first + 1);
  std::size_t at = 0;
  const bool negative = text[0] == '-';
  if (text[0] == '-' || text[0] == '+') at = 1;
  const std::size_t point = text.find('.', at);
  std::string whole = text.substr(at, point == std::string::npos ? std::string::npos : point - at);
  std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
  const auto digits = [](const std::string& s) { return s.find_first_not_of("0123456789") == std::string::npos; };
  if (!digits(whole) || !digits(fraction) || whole.size() + fraction.size() == 0) return false;

  const std::size_t decimals = static_cast<std::size_t>(std::max<Integer>(field.Decimals, 0));
  // Decimal places beyond the field's are kept only when they are zeros: a
  // value the field cannot hold has no place among its values.
  if (fraction.size() > decimals) {
    if (fraction.find_first_not_of('0', decimals) != std::string::npos) {
      why = "The value typed for " + name + " has more than its " + std::to_string(decimals) +
            " decimal places.";
      return false;
    }
    fraction.resize(decimals);
  }
  fraction.append(decimals - fraction.size(), '0');
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
  if (whole.empty()) whole = "0";
  const bool zero = whole == "0" && fraction.find_first_not_of('0') == std::string::npos;

  std::string body = whole + (decimals > 0 ? "." + fraction : std::string());
  char sign = 0;
  if (negative && !zero) sign = '-';
  else if (style.plusShown) sign = '+';
  else if (style.signLast) sign = ' ';
  if (sign && style.signLast) body += sign;
  const std::size_t width = static_cast<std::size_t>(length);
  const std::size_t needed = body.size() + (sign && !style.signLast ? 1 : 0);
  if (needed > width) {
    why = "The value typed for " + name + " is longer than its " + std::to_string(length) + " characters.";
    return false;
  }
  const std::string fill(width - needed, style.fill);
  if (!sign || style.signLast)
    stored = fill + body;
  else if (style.fill == '0')
    stored = sign + fill + body;
  else
    stored = fill + sign + body;
  return true;
}

}  // namespace

bool PrepareTypedKey(const SharedState& state, const KeyOrder& order, ByteFile& index,
                     const std::vector<std::string>& typed, TypedKey& key, std::string& why) {
  key.parts.clear();
  if (!order.Judged()) {
    why = "The profile's key cannot be searched: " + order.Unmatched() + ".";
    return false;
  }
  const auto& parts = order.Parts();
  std::size_t count = typed.size();
  while (count > 0 && typed[count - 1].empty()) --count;
  if (count > parts.size()) {
    why = "The key has " + std::to_string(parts.size()) + " ordinates; " + std::to_string(count) +
          " values were given.";
    return false;
  }
  for (std::size_t p = 0; p < count; ++p) {
    const KeyPartOrder& part = parts[p];
    std::string value = typed[p];
    if (value.empty()) {
      why = "Type the ordinates from the first one on: " + part.name + " is empty, but a later one is not.";
      return false;
    }
    const FieldDef& field = state.FieldTable[static_cast<std::size_t>(part.field)];
    // A number typed for a numeric field is sought as the field stores that
    // number ("500.5" is "00500.50"), whatever its own form; any other text
    // is a prefix of the stored text.
    if (field.Type == "N") {
      std::string stored;
      std::string refused;
      if (FormatNumber(value, field, part.name, part.length, StyleOf(state, index, part), stored, refused)) {
        value = std::move(stored);
      } else if (!refused.empty()) {
        why = refused;
        return false;
      }
    }
    if (value.size() > static_cast<std::size_t>(part.length)) {
      why = "The value typed for " + part.name + " is longer than its " + std::to_string(part.length) +
            " characters.";
      return false;
    }
    if (part.descending && part.storage == PartStorage::Unknown) {
      why = "The order of the descending ordinate " + part.name +
            " cannot be learnt from the tree, so it cannot be searched.";
      return false;
    }
    // Only the last text typed is a prefix.  A part followed by another is
    // the whole field, padded with blanks as a text field is stored: a
    // prefix there would match keys that the next part orders apart, and no
    // single place in the tree would be "at or after" them all.
    if (p + 1 < count && value.size() < static_cast<std::size_t>(part.length))
      value.append(static_cast<std::size_t>(part.length) - value.size(), ' ');
    if (part.storage == PartStorage::Inverted)
      for (char& c : value) c = static_cast<char>(255 - static_cast<unsigned char>(c));
    key.parts.push_back(std::move(value));
  }
  return true;
}

KeyComparison CompareTyped(const KeyOrder& order, const TypedKey& typed, const unsigned char* key) {
  const auto& parts = order.Parts();
  for (std::size_t p = 0; p < typed.parts.size() && p < parts.size(); ++p) {
    const std::string& value = typed.parts[p];
    int cmp = value.empty() ? 0 : std::memcmp(key + parts[p].offset, value.data(), value.size());
    if (cmp == 0) continue;
    if (parts[p].descending && parts[p].storage == PartStorage::Plain) cmp = -cmp;
    return cmp < 0 ? KeyComparison::Before : KeyComparison::After;
  }
  return KeyComparison::Same;
}

SeekResult SeekStored(const SharedState& state, ByteFile& index, const KeyOrder& order, const TypedKey& key,
                      SeekMemo* memo) {
  SeekResult result;
  const Long leaves = static_cast<Long>(state.LeafTable.size()) - 1;
  const auto length = static_cast<std::size_t>(std::max<Integer>(state.KeyLength, 0));
  if (leaves < 0 || state.LeafKeysRead.size() < state.LeafTable.size() ||
      state.LeafKeys.size() < state.LeafTable.size() * 2 * length) {
    result.message = kOutOfOrder;  // no walk kept the leaves' keys
    return result;
  }
  auto firstOf = [&](Long k) { return state.LeafKeys.data() + static_cast<std::size_t>(k) * 2 * length; };
  auto lastOf = [&](Long k) { return firstOf(k) + length; };
  auto keys = [&](Long k) { return state.LeafKeysRead[static_cast<std::size_t>(k)]; };

  // A search that halves the leaves never sees the leaves it passes by: a
  // key moved into one of them from far away would be passed over, and the
  // entry found would not be the first at or after the typed key.  So it
  // answers only over a tree whose keys were seen to rise throughout, once
  // for the walk (KeysRise), and says nothing over any other.
  const bool rise = state.KeysRise >= 0 ? state.KeysRise == 1
                    : memo              ? memo->KeysRise(state, index, order)
                                        : LeavesRise(state, index, order);
  if (!rise) {
    result.message = kOutOfOrder;
    return result;
  }
  bool sound = true;
  // The first leaf with entries at or after leaf k (looking past a few empty
  // leaves), or 0 when the tree ends first.
  auto keyedFrom = [&](Long k) -> Long {
    for (int look = 0; k <= leaves && look < 8; ++k, ++look) {
      if (keys(k) == 2) continue;
      if (keys(k) != 1) {
        sound = false;
        return 0;
      }
      return k;
    }
    if (k <= leaves) sound = false;  // more empty leaves than a sound tree has
    return 0;
  };

  // The first leaf whose first key (or the first key after it) is not
  // before the typed key: a binary search over the keys the walk kept.
  Long lo = 1;
  Long hi = leaves + 1;
  while (lo < hi && sound) {
    const Long mid = lo + (hi - lo) / 2;
    const Long at = keyedFrom(mid);
    if (at == 0 || CompareTyped(order, key, firstOf(at)) != KeyComparison::Before)
      hi = mid;
    else
      lo = mid + 1;
  }
  const Long j = lo;

  // The answer is a later entry of leaf j - 1, or the first entry from leaf
  // j on.  Leaf j - 1 is the one leaf read: it must still be the leaf the
  // walk read and the proof of the order saw (the same first and last keys,
  // as many entries, in order within itself), or the index has changed
  // since.
  Long answerLeaf = 0;  // the leaf of the entry found
  if (sound && j > 1) {
    Leaf leaf;
    const std::vector<unsigned char>* kept = memo ? memo->Kept(j - 1) : nullptr;
    const bool read = keys(j - 1) == 1 && (kept ? leaf.Take(state, *kept, j - 1) : leaf.Read(state, index, j - 1));
    // A leaf taken from the memo is offered to the file's blocks, so that
    // the reader that goes on from the entry found reads it from there.
    if (read && kept) index.Offer(state.LeafTable[static_cast<std::size_t>(j - 1)].NodePos, leaf.Bytes(), leaf.Size());
    if (!read || leaf.Entries() == 0 ||
        (length > 0 && (std::memcmp(leaf.Key(0), firstOf(j - 1), length) != 0 ||
                        std::memcmp(leaf.Key(leaf.Entries() - 1), lastOf(j - 1), length) != 0))) {
      sound = false;
    } else {
      for (int e = 1; e < leaf.Entries() && sound && !kept; ++e)
        if (order.Compare(leaf.Key(e - 1), leaf.Key(e)) == KeyComparison::After) sound = false;
      if (sound && memo && !kept) memo->Keep(state, j - 1, leaf.Bytes(), leaf.Size());
    }
    // The leaf's keys rise, so the first not before the typed key is found
    // by halving.
    if (sound) {
      int lo2 = 0;
      int hi2 = leaf.Entries();
      while (lo2 < hi2) {
        const int mid = lo2 + (hi2 - lo2) / 2;
        if (CompareTyped(order, key, leaf.Key(mid)) == KeyComparison::Before) lo2 = mid + 1;
        else hi2 = mid;
      }
      if (lo2 < leaf.Entries()) {
        result.outcome = SeekOutcome::Found;
        result.entry = leaf.First() + lo2 + 1;
        answerLeaf = j - 1;
      }
    }
  }
  if (sound && result.outcome != SeekOutcome::Found) {
    const Long k = keyedFrom(j);
    if (k != 0) {
      result.outcome = SeekOutcome::Found;
      result.entry = state.LeafTable[static_cast<std::size_t>(k) - 1].CumCount + 1;
      answerLeaf = k;
    } else if (sound) {
      result.outcome = SeekOutcome::PastTheEnd;
    }
  }

  if (!sound) {
    result = SeekResult{};
    result.message = kOutOfOrder;
  }
  // A leaf of a negative used length sets the count of the leaves after it
  // back, so that their entries get numbers below 1 or numbers of entries
  // before it.  The window goes to a number through the leaf table
  // (FindLeaf): an entry it would not reach there is no answer.
  if (result.outcome == SeekOutcome::Found && (result.entry < 1 || FindLeaf(state, result.entry) != answerLeaf)) {
    result = SeekResult{};
    result.message = kCountsSetBack;
  }
  return result;
}

const std::vector<unsigned char>* SeekMemo::Kept(Long k) const {
  const auto at = static_cast<std::size_t>(k);
  return at < placeOf_.size() && placeOf_[at] >= 0 ? &kept_[static_cast<std::size_t>(placeOf_[at])].bytes : nullptr;
}

void SeekMemo::Keep(const SharedState& state, Long k, const unsigned char* bytes, std::size_t size) {
  const auto at = static_cast<std::size_t>(k);
  if (at >= state.LeafTable.size() || size == 0) return;
  Fit(state);
  if (placeOf_[at] >= 0) return;
  const std::size_t places = std::max<std::size_t>(1, kMemoBytes / size);
  std::size_t place = kept_.size();
  if (place < places) {
    kept_.push_back({k, {}});
  } else {
    place = next_;
    next_ = (next_ + 1) % places;
    placeOf_[static_cast<std::size_t>(kept_[place].leaf)] = kUnknown;
    kept_[place].leaf = k;
  }
  kept_[place].bytes.assign(bytes, bytes + size);
  placeOf_[at] = static_cast<std::int32_t>(place);
}

// A memo serves the seeks of one walk: a leaf table of another size is
// another walk's, and nothing of the last one is kept for it.
void SeekMemo::Fit(const SharedState& state) {
  if (placeOf_.size() == state.LeafTable.size()) return;
  placeOf_.assign(state.LeafTable.size(), kUnknown);
  kept_.clear();
  next_ = 0;
  keysRise_ = -1;
}

bool SeekMemo::KeysRise(const SharedState& state, ByteFile& index, const KeyOrder& order,
                        const UnshownCheck* unshown) {
  Fit(state);
  if (keysRise_ < 0) keysRise_ = LeavesRise(state, index, order, unshown) ? 1 : 0;
  return keysRise_ == 1;
}

void ReleaseLeafKeys(SharedState& state) {
  std::vector<unsigned char>().swap(state.LeafKeys);
  std::vector<unsigned char>().swap(state.LeafKeysRead);
#if defined(__GLIBC__)
  // The walk's freed arrays and these stay with the process otherwise: the
  // allocator keeps as much freed memory as the largest block it gave back
  // to the system (some 10 MiB of resident memory held through the scan of
  // 10M entries in 512-byte nodes, measured).
  malloc_trim(0);
#endif
}

bool LeavesRise(const SharedState& state, ByteFile& index, const KeyOrder& order, const UnshownCheck* unshown) {
  const auto length = static_cast<std::size_t>(std::max<Integer>(state.KeyLength, 0));
  const std::size_t leaves = state.LeafTable.size();
  if (!order.Judged() || state.LeafKeysRead.size() < leaves || state.LeafKeys.size() < leaves * 2 * length)
    return false;
  auto rises = [&](const unsigned char* a, const unsigned char* b) {
    const KeyComparison c = order.Compare(a, b);
    return c == KeyComparison::Before || c == KeyComparison::Same;
  };
  Leaf leaf;
  const unsigned char* last = nullptr;  // of the last leaf with keys
  for (std::size_t k = 1; k < leaves; ++k) {
    // A leaf the walk could not read holds no entry the window shows, and a
    // seek that leans on it is refused by itself.
    if (state.LeafKeysRead[k] != 1) continue;
    const unsigned char* first = state.LeafKeys.data() + k * 2 * length;
    if ((last && !rises(last, first)) || !leaf.Read(state, index, static_cast<Long>(k)) || leaf.Entries() == 0 ||
        std::memcmp(leaf.Key(0), first, length) != 0 ||
        std::memcmp(leaf.Key(leaf.Entries() - 1), first + length, length) != 0)
      return false;
    for (int e = 1; e < leaf.Entries(); ++e)
      if (!rises(leaf.Key(e - 1), leaf.Key(e))) return false;
    if (unshown)
      for (int e = 0; e < leaf.Entries(); ++e)
        if (leaf.Flag(e) != 'Y' && !(*unshown)(leaf.Key(e), leaf.Record(e))) return false;
    last = first + length;
  }
  return true;
}

SeekResult SeekKey(SharedState& state, ByteFile& index, const std::vector<std::string>& typed) {
  SeekResult result;
  const KeyOrder order(state);
  TypedKey key;
  if (!PrepareTypedKey(state, order, index, typed, key, result.message)) return result;
  // Learnt once for the walk: the seeks after it halve the leaves alone.
  if (state.KeysRise < 0) state.KeysRise = LeavesRise(state, index, order) ? 1 : 0;
  return SeekStored(state, index, order, key);
}

bool LearnSecondDigits(const SharedState& state) {
  const auto& parts = state.KeyPartLengths;
  if (parts.size() < 2 || parts[0] < 0 || parts[1] <= 0 || state.LeafTable.size() < 2 ||
      parts[0] + std::int64_t{parts[1]} > state.KeyLength)
    return false;
  ByteFile index;
  // The open file's identity where the system gives it so, else its name's.
  auto identity = [&](FileIdentity& id) {
    if (index.OpenIdentity(id)) return true;
    id = IdentityOfFile(state.IndexPath);
    return id.present;
  };
  FileIdentity before, after;
  if (!index.Open(state.IndexPath) || !identity(before) || (state.FilesKnown && before != state.FilesRead[3]))
    return false;
  Leaf leaf;
  for (Long k = 1; static_cast<std::size_t>(k) < state.LeafTable.size(); ++k) {
    if (!leaf.Read(state, index, k)) return false;
    for (int e = 0; e < leaf.Entries(); ++e)
      if (!DigitsOrBlanks(leaf.Key(e) + parts[0], static_cast<std::size_t>(parts[1]))) return false;
  }
  return identity(after) && after == before;
}

}  // namespace ondrel
