#include "viewer/EntryScan.h"

#include "database/Checked.h"
#include "database/DataRecord.h"
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

void ReadEntryRecord(SharedState& state, FineProblems& problems, ByteFile& data, Long recordNumber) {
  state.RecordLine.clear();
  state.RecordFlag = 'Y';
  Long position = 0;
  if (!data.IsOpen() || !CheckedSub(recordNumber, 1, position) ||
      !CheckedMul(position, state.RecordLength, position) || !CheckedAdd(position, 1, position)) {
    problems.Record();
    return;
  }
  if (!ReadRecord(state, data, position)) problems.Record();
}

}  // namespace ondrel
