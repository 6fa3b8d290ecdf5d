// Fuzz target: going to a key, on an arbitrary file set (chunks 0 to 3).
//
// Chunk 4 chooses: its first byte the number of typed parts (1 to 4, low two
// bits) and the profile (the rest); chunks 5 to 8 are the typed texts, any
// bytes.  Whatever the seek answers must hold against the tree as an entry
// cursor reads it on its own, from the first leaf:
//   - a typed key that cannot be prepared is refused;
//   - a found entry is where the window shows its number, its key is at or
//     after the typed key, and the entry before it (if any) is before it;
//   - past the end: the last entry's key is before the typed key.
// Where the cursor cannot read an entry the answer leans on, or the order of
// two keys is not known, nothing is judged.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "database/EntryCursor.h"
#include "database/KeySeek.h"
#include "fuzz/FuzzFiles.h"

namespace {

using namespace ondrel;

// An entry's key as the cursor read it; none when it could not be read.
struct SeenKey {
  Long number = 0;
  std::optional<std::vector<unsigned char>> key;
};

// The entries numbered `wanted` - 1 and `wanted` (or the last entry, for 0),
// read by the cursor from the first leaf.
struct Neighbours {
  std::optional<SeenKey> before;
  std::optional<SeenKey> at;
  std::optional<SeenKey> last;
};

Neighbours ReadNeighbours(const SharedState& state, ByteFile& index, const KeyOrder& order, Long wanted) {
  Neighbours seen;
  fuzz::FuzzPlatform quiet;
  FineProblems problems(quiet);
  EntryCursor cursor(state, index, order, problems);
  cursor.StartAt(1);
  TreeEntry entry;
  // A damaged leaf table may give a number twice: the entry of a number is
  // the one the window shows there, in the leaf the table places it in.
  while (cursor.Next(entry)) {
    if (FindLeaf(state, entry.Number) != entry.Leaf) continue;
    SeenKey key{entry.Number, {}};
    if (entry.Key) key.key.emplace(entry.Key, entry.Key + state.KeyLength);
    if (entry.Number == wanted - 1 && !seen.before) seen.before = key;
    if (entry.Number == wanted && !seen.at) seen.at = key;
    seen.last = key;
  }
  return seen;
}

void Judge(bool holds) {
  if (!holds) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto chunks = fuzz::SplitChunks(data, size, 9);
  fuzz::WriteFileSet(chunks);
  const unsigned choice = chunks[4].empty() ? 0 : static_cast<unsigned char>(chunks[4][0]);
  std::vector<std::string> typed(chunks.begin() + 5, chunks.begin() + 5 + (choice & 3) + 1);

  SharedState state;
  fuzz::FuzzPlatform platform;
  if (!fuzz::OpenProfile(state, platform, choice >> 2)) return 0;
  ByteFile index;
  if (!index.Open(state.IndexPath)) return 0;
  const SeekResult result = SeekKey(state, index, typed);
  const Long total = EntryCount(state);

  const KeyOrder order(state);
  TypedKey key;
  std::string why;
  if (!PrepareTypedKey(state, order, index, typed, key, why)) {
    Judge(result.outcome == SeekOutcome::Refused);
    return 0;
  }
  switch (result.outcome) {
    case SeekOutcome::Refused:
      Judge(!result.message.empty());
      break;
    case SeekOutcome::Found: {
      Judge(result.entry >= 1 && result.entry <= total);
      const Neighbours seen = ReadNeighbours(state, index, order, result.entry);
      Judge(seen.at.has_value());
      if (seen.at->key) Judge(CompareTyped(order, key, seen.at->key->data()) != KeyComparison::Before);
      if (seen.before && seen.before->key)
        Judge(CompareTyped(order, key, seen.before->key->data()) == KeyComparison::Before);
      break;
    }
    case SeekOutcome::PastTheEnd: {
      const Neighbours seen = ReadNeighbours(state, index, order, 0);
      if (seen.last && seen.last->key)
        Judge(CompareTyped(order, key, seen.last->key->data()) == KeyComparison::Before);
      break;
    }
  }
  return 0;
}
