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

#include "database/Checked.h"
#include "database/Definition.h"

namespace ondrel {

bool ReadRecord(SharedState& state, ByteFile& data, Long& position) {
  state.RecordLine.clear();
  state.RecordFlag = 'Y';
  const Integer fieldCount = state.FieldCount;
  std::string text;
  for (Integer i = 1; i <= fieldCount && static_cast<std::size_t>(i) < state.FieldTable.size();
       ++i) {
    const FieldDef& field = state.FieldTable[i];
    const Integer width = field.Width < 0 ? 0 : field.Width;
    if (!data.ReadText(position, static_cast<std::size_t>(width), text)) return false;
    if (!CheckedAdd(position, width, position)) return false;
    // A one-byte field holding NUL ends the record early: the rest, the
    // terminator included, is not read and the record counts as active.
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
