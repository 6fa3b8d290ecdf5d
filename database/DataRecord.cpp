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
#include "database/DataRecord.h"

#include <vector>

#include "database/Checked.h"
#include "database/Definition.h"

namespace ondrel {

namespace {

// The record from its fields and terminator, taken from `slot`, the bytes of
// the whole record slot.
void RecordFromSlot(SharedState& state, const char* slot, Long& position) {
  const char* at = slot;
  for (Integer i = 1; i <= state.FieldCount; ++i) {
    const FieldDef& field = state.FieldTable[static_cast<std::size_t>(i)];
    const auto width = static_cast<std::size_t>(field.Width < 0 ? 0 : field.Width);
    position += static_cast<Long>(width);
    // A one-byte field holding NUL ends the record early: the rest, the
    // terminator included, is not taken and the record counts as active.
    if (width == 1 && *at == '\0') return;
    if (IsDisplayedField(field.Name)) {
      state.RecordLine.append(at, width);
      state.RecordLine += ' ';
    }
    at += width;
  }
  state.RecordFlag = *at == '\n' ? 'Y' : 'N';
}

}  // namespace

bool ReadRecord(SharedState& state, ByteFile& data, Long& position) {
  state.RecordLine.clear();
  state.RecordFlag = 'Y';
  const Integer fieldCount = state.FieldCount;
  if (static_cast<std::size_t>(fieldCount) >= state.FieldTable.size()) return false;

  // The whole slot in one read when it lies inside the file; the
  // field-by-field reads below give the same result and are left for a slot
  // that runs past the end, where the fields before the failing one still
  // count.  RecordLength is the slot's length, as the definition derived it.
  Long last;
  if (state.RecordLength > 0 && CheckedAdd(position, state.RecordLength - 1, last)) {
    const auto slotLength = static_cast<std::size_t>(state.RecordLength);
    char small[512];
    std::vector<char> large(slotLength > sizeof small ? slotLength : 0);
    char* slot = large.empty() ? small : large.data();
    if (data.Read(position, slot, slotLength)) {
      state.RecordLine.reserve(slotLength + static_cast<std::size_t>(fieldCount));
      RecordFromSlot(state, slot, position);
      return true;
    }
  }

  std::string text;
  for (Integer i = 1; i <= fieldCount; ++i) {
    const FieldDef& field = state.FieldTable[static_cast<std::size_t>(i)];
    const Integer width = field.Width < 0 ? 0 : field.Width;
    if (!data.ReadText(position, static_cast<std::size_t>(width), text)) return false;
    if (!CheckedAdd(position, width, position)) return false;
    if (text.size() == 1 && text[0] == '\0') return true;
    if (IsDisplayedField(field.Name)) {
      state.RecordLine += text;
      state.RecordLine += ' ';
    }
  }
  unsigned char terminator = 0;
  if (!data.Read(position, &terminator, 1)) return false;
  state.RecordFlag = terminator == '\n' ? 'Y' : 'N';
  return true;
}

}  // namespace ondrel
