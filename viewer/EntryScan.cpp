#include "viewer/EntryScan.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "database/Checked.h"
#include "database/DataRecord.h"
#include "database/Messages.h"
#include "database/NodeReader.h"

namespace ondrel {

void ShowFineProblem(Platform& platform) {
  platform.MessageBox(msg::kFine, msg::kFineTitle, MsgIcon::None, MsgButtons::Ok);
}

void ScanEntries(SharedState& state, Platform& platform, ByteFile& index, EntrySink& sink) {
  const auto bound = static_cast<std::int64_t>(state.LeafTable.size()) - 1;
  NodeReader node(index);

  while (state.LeafIndex <= bound && sink.WantsMore()) {
    const auto k = static_cast<std::int64_t>(state.LeafIndex);
    if (k < 1) {
      // No leaf precedes leaf 1: LeafTable(k - 1) would lie outside the table.
      ShowFineProblem(platform);
    } else {
      state.EntryCounter = state.LeafTable[static_cast<std::size_t>(k - 1)].CumCount;
    }
    if (k >= 0) {
      const LeafRef leaf = state.LeafTable[static_cast<std::size_t>(k)];
      Integer used = 0;
      if (!index.ReadBE16(leaf.NodePos, used)) ShowFineProblem(platform);
      // The cursor is 64-bit, so it always advances and the loop ends on any
      // used length; reads beyond the file fail one by one.
      std::int64_t cursor = std::int64_t{leaf.NodePos} + 2;
      const std::int64_t end = std::int64_t{leaf.NodePos} + used;
      // The leaf's entries in one read; the last entry may reach past U.
      node.Load(cursor, end + 1 + std::max<Integer>(state.KeyLength, 0) + state.EntryTail);
      while (cursor < end && sink.WantsMore()) {
        // Each entry starts afresh: a field that cannot be read never carries
        // the entry before's flag or record number.
        unsigned char flag = 0;
        Long recordNumber = 0;
        for (int failed = node.ReadEntry(cursor, state.KeyLength, state.EntryTail, flag, recordNumber);
             failed > 0; --failed)
          ShowFineProblem(platform);
        if (!CheckedAdd(state.EntryCounter, 1, state.EntryCounter)) ShowFineProblem(platform);
        if (state.EntryCounter >= state.StartRecord && flag == 'Y') sink.Show(recordNumber);
      }
    }
    ++state.LeafIndex;  // bounded by the table's size, far below 2^31
  }
}

void ReadEntryRecord(SharedState& state, Platform& platform, ByteFile& data, Long recordNumber) {
  state.RecordLine.clear();
  state.RecordFlag = 'Y';
  Long position = 0;
  if (!CheckedSub(recordNumber, 1, position) || !CheckedMul(position, state.RecordLength, position) ||
      !CheckedAdd(position, 1, position)) {
    ShowFineProblem(platform);
    return;
  }
  if (!ReadRecord(state, data, position)) ShowFineProblem(platform);
}

}  // namespace ondrel
