#include "viewer/EntryScan.h"

#include "database/EntryCursor.h"

namespace ondrel {

void ScanEntries(SharedState& state, ByteFile& index, const KeyOrder& order, FineProblems& problems,
                 EntrySink& sink) {
  EntryCursor cursor(state, index, order, problems);
  cursor.StartAt(state.LeafIndex);
  TreeEntry entry;
  bool ended = false;
  while (sink.WantsMore()) {
    if (!cursor.Next(entry)) {
      ended = true;
      break;
    }
    state.EntryCounter = cursor.Counter();
    if (state.EntryCounter >= state.StartRecord && entry.Flag == 'Y') sink.Show(entry.Record);
  }
  // Leaves after the last entry read still set the count they start from;
  // LeafIndex ends one past the last leaf read.
  state.EntryCounter = cursor.Counter();
  state.LeafIndex = ended ? cursor.Leaf() : cursor.Leaf() + 1;
}

}  // namespace ondrel
