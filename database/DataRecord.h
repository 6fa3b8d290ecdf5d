#pragma once

#include <cstdint>

#include "database/ByteFile.h"
#include "database/FineProblems.h"
#include "database/SharedState.h"

namespace ondrel {

// Turns the data record at `position` (1-based, in the open data file) into
// RecordLine (the displayed fields, each followed by one blank) and
// RecordFlag ("Y" active, "N" purged).  `position` is advanced past the
// fields.  Returns false when a read fails: RecordLine then holds the fields
// gathered so far and RecordFlag "Y"; the caller reports the failure.
bool ReadRecord(SharedState& state, ByteFile& data, std::int64_t& position);

// The same from the bytes of a whole record slot (RecordLength bytes) that
// were read already, as the batched record reader does.  Returns the bytes
// of fields taken: all of them, or up to the one-byte NUL field that ended
// the record early.
std::size_t RecordFromSlot(SharedState& state, const char* slot);

// Reads data record `recordNumber` into RecordLine and RecordFlag.  A record
// that cannot be located (number 0, or a position past 32 bits) or read, or
// a data file that is not open, counts as a record that could not be read;
// its RecordLine is then empty, or the fields read before the failure, never
// the line of an earlier record.  Nothing is read from a file not open.
// Returns whether the record was read.
bool ReadEntryRecord(SharedState& state, FineProblems& problems, ByteFile& data, Long recordNumber);

// The whole record slots in a data file of `bytes` bytes: the records it
// holds, numbered 1 on.  Bytes after the last whole slot are no record.  None
// when the record length is not positive.
inline std::int64_t WholeSlots(std::int64_t bytes, std::int64_t recordLength) {
  return recordLength > 0 && bytes > 0 ? bytes / recordLength : 0;
}
// The same for a data file as it was opened; none when it is not open.
inline std::int64_t WholeSlots(const ByteFile& data, std::int64_t recordLength) {
  return data.IsOpen() ? WholeSlots(data.Size(), recordLength) : 0;
}

// Slots up to this size are read in one piece; a longer slot is read field
// by field, taking only the bytes that can matter (shown fields and one-byte
// fields), so that a definition of huge hidden fields costs no more than the
// fields shown.
inline constexpr std::int64_t kWholeSlotLimit = 64 * 1024;

}  // namespace ondrel
