// Reader of the data file _N.DAT: fixed-length record slots, no header.
//
//   offset                      size           meaning
//   --------------------------  -------------  -------------------------------
//   (n - 1) * RecordLength      Width(1)       field 1 of record n
//   ...                         Width(i)       field i, in field-table order
//   n * RecordLength - 1        1              terminator: LF (0x0A) = active,
//                                              any other byte = purged
//
// Record n is the number an index entry carries.  Fields follow one another
// with no separator; hidden fields occupy their bytes like shown ones.  Field
// bytes are single-byte text taken as they stand.
//
// A one-byte field holding NUL ends the record early: the fields after it
// and the terminator are not taken, and the record counts as active.
#include "database/DataRecord.h"

#include <string>

#include "database/Checked.h"
#include "database/Definition.h"

namespace ondrel {
namespace {

// Whether the bytes [position, position + length) lie inside the file.
bool InFile(const ByteFile& data, std::int64_t position, std::int64_t length) {
  return position >= 1 && length >= 0 && position - 1 <= data.Size() - length;
}

// Field by field, for a slot too long to take in one piece or one that runs
// past the end of the file: the fields before the first that cannot be read
// still count.  Nothing is allocated for a field before it is known to lie in
// the file, and hidden fields wider than one byte are not read at all.
bool ReadByFields(SharedState& state, ByteFile& data, std::int64_t& position, int fieldCount) {
  std::string text;
  for (int i = 1; i <= fieldCount; ++i) {
    const FieldDef& field = state.FieldTable[static_cast<std::size_t>(i)];
    const Integer width = field.Width < 0 ? 0 : field.Width;
    if (!InFile(data, position, width)) return false;
    const bool shown = IsDisplayedField(field.Name);
    if (shown || width == 1) {
      text.resize(static_cast<std::size_t>(width));
      if (width > 0 && !data.Read(position, text.data(), text.size())) return false;
    }
    position += width;
    if (width == 1 && text[0] == '\0') return true;
    if (shown) {
      state.RecordLine += text;
      state.RecordLine += ' ';
    }
  }
  unsigned char terminator = 0;
  if (!data.Read(position, &terminator, 1)) return false;
  state.RecordFlag = terminator == '\n' ? 'Y' : 'N';
  return true;
}

}  // namespace

std::size_t RecordFromSlot(SharedState& state, const char* slot) {
  state.RecordLine.clear();
  state.RecordFlag = 'Y';
  const char* at = slot;
  const int fieldCount = state.FieldCount;
  for (int i = 1; i <= fieldCount; ++i) {
    const FieldDef& field = state.FieldTable[static_cast<std::size_t>(i)];
    const auto width = static_cast<std::size_t>(field.Width < 0 ? 0 : field.Width);
    if (width == 1 && *at == '\0') return static_cast<std::size_t>(at - slot) + 1;
    if (IsDisplayedField(field.Name)) {
      state.RecordLine.append(at, width);
      state.RecordLine += ' ';
    }
    at += width;
  }
  state.RecordFlag = *at == '\n' ? 'Y' : 'N';
  return static_cast<std::size_t>(at - slot);
}

bool ReadRecord(SharedState& state, ByteFile& data, std::int64_t& position) {
  state.RecordLine.clear();
  state.RecordFlag = 'Y';
  // The field count is taken once, as a whole number: a 16-bit counter would
  // wrap on a definition of 32767 fields.
  const int fieldCount = state.FieldCount;
  if (fieldCount < 0 || static_cast<std::size_t>(fieldCount) >= state.FieldTable.size()) return false;

  // The whole slot in one read when it lies inside the file and is not
  // huge; the field-by-field reads give the same result.  RecordLength is
  // the slot's length, as the definition derived it.
  const std::int64_t slotLength = state.RecordLength;
  if (slotLength > 0 && slotLength <= kWholeSlotLimit && InFile(data, position, slotLength)) {
    char small[1024];
    std::string large;
    char* slot = small;
    if (slotLength > static_cast<std::int64_t>(sizeof small)) {
      large.resize(static_cast<std::size_t>(slotLength));
      slot = large.data();
    }
    if (data.Read(position, slot, static_cast<std::size_t>(slotLength))) {
      // Past the fields, or past the field that ended the record early.
      position += static_cast<std::int64_t>(RecordFromSlot(state, slot));
      return true;
    }
  }
  return ReadByFields(state, data, position, fieldCount);
}

bool ReadEntryRecord(SharedState& state, FineProblems& problems, ByteFile& data, Long recordNumber) {
  state.RecordLine.clear();
  state.RecordFlag = 'Y';
  if (!data.IsOpen()) {
    problems.Record();
    return false;
  }
  // The record's place in 64 bits: a data file may reach past 2 GiB, which a
  // 32-bit position cannot.  A number below 1 names a place before the file,
  // which no read finds.
  std::int64_t position = (std::int64_t{recordNumber} - 1) * std::int64_t{state.RecordLength} + 1;
  if (ReadRecord(state, data, position)) return true;
  problems.Record();
  return false;
}

}  // namespace ondrel
