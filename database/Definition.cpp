// Reader of the definition file _N.DFN: the fields of an ISPEC's records.
//
// 8-bit text, read one character at a time; lines end with LF, and a CR
// before the LF is tolerated where a number ends.
//
//   line 1       the format version, e.g. "V002.003.999", kept with its line
//                end; a version that compares greater than "V002.003.999" by
//                character codes (so that text itself, followed by its line
//                end, too) selects the newer layout
//   line 2       six characters holding a number no greater than 32766
//                (not used), then anything up to LF
//   line 3 ...   one field per line, in record order:
//                NAME NUMBER TYPE WIDTH DECIMALS
//                five items, each ended by one space; the last by LF, or in
//                the newer layout by a space and further ignored items up
//                to LF.  Two spaces in a row enclose an empty item.  An item
//                after the name may also end at LF, the next item following
//                on the next line.
//
// The bytes a field occupies in a data record: WIDTH, plus 1 when TYPE is
// none of "A", "N", "D", plus 1 more when DECIMALS is above 0.  A field whose
// name is empty or begins with a character below "[" is shown; any other is
// hidden but still occupies its bytes.  The record length is the sum of all
// widths plus the record's final byte.
//
// The heading above the record lines gives each shown field a column of its
// width plus one separator blank: names of type "A" (and names at least as
// long as the field) stand flush left, cut to the width; other names end one
// position short of the field's end.  Under it runs a line of "-" one shorter
// than the heading line.
#include "database/Definition.h"

#include <algorithm>

#include "database/ByteFile.h"
#include "database/Checked.h"
#include "database/Messages.h"

namespace ondrel {
namespace {

constexpr char kLF = '\n';
constexpr char kCR = '\r';
constexpr const char* kLayoutVersion = "V002.003.999";

// One failure of the load: the file is closed when the reader goes out of
// scope, and the caller shows the message.
struct Malformed {};

class FieldLineReader {
 public:
  explicit FieldLineReader(CharReader& reader) : reader_(reader) {}

  char Next() {
    char c;
    if (!reader_.Next(c)) throw Malformed{};  // the file ends inside a line
    return c;
  }

  // A text item: characters up to a space or LF (so it holds no blank to
  // trim).  Returns the item and stores its terminator.
  std::string Text(char& terminator) {
    std::string item;
    for (char c = Next();; c = Next()) {
      if (c == ' ' || c == kLF) {
        terminator = c;
        break;
      }
      item += c;
    }
    return item;
  }

  // A whole number item: the digits accumulate from 0; a CR leaves the value
  // unchanged; anything else but a digit, or a value above 32767, fails.
  Integer Number(char& terminator) {
    Integer value = 0;
    for (char c = Next();; c = Next()) {
      if (c == ' ' || c == kLF) {
        terminator = c;
        return value;
      }
      if (c == kCR) continue;
      if (c < '0' || c > '9') throw Malformed{};
      if (!CheckedMul(value, 10, value) || !CheckedAdd(value, c - '0', value)) throw Malformed{};
    }
  }

 private:
  CharReader& reader_;
};

// The six characters of line 2 must read as a number (surrounding blanks
// and a sign allowed) no greater than 32766.  Only a value above that fails:
// a negative number is read as written, whatever its size.
bool CountLineIsNumeric(const std::string& six) {
  const auto first = six.find_first_not_of(' ');
  if (first == std::string::npos) return false;
  const std::string text = six.substr(first, six.find_last_not_of(' ') - first + 1);
  const bool negative = text[0] == '-';
  std::size_t i = (text[0] == '+' || negative) ? 1 : 0;
  if (i == text.size()) return false;
  long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return negative || value <= 32766;
}

// The definition as read, before it replaces the shared one.
struct Definition {
  std::vector<FieldDef> fields{1};  // element 0 unused
  Long recordLength = 0;
  std::string heading;
};

Definition ReadDefinition(const std::string& path, const std::string& lineBreak) {
  ByteFile file;
  if (!file.Open(path)) throw Malformed{};
  CharReader chars(file);
  FieldLineReader line(chars);

  std::string version;
  for (char c = 0; c != kLF;) version += (c = line.Next());
  const bool newerLayout = version > kLayoutVersion;

  std::string six;
  for (int i = 0; i < 6; ++i) six += line.Next();
  if (!CountLineIsNumeric(six)) throw Malformed{};
  while (line.Next() != kLF) {
  }

  Definition def;
  Integer fieldCount = 0;
  while (!chars.AtEnd()) {
    if (!CheckedAdd(fieldCount, 1, fieldCount)) throw Malformed{};
    FieldDef field;
    char end = 0;
    // Each item is read up to a blank or LF and reading goes on with the
    // next item, so a field may break across lines after its number, type
    // or width ("NO 1" LF "A 4 0" is the field NO).  A name ended by LF
    // (an empty line among the fields, say) holds no field.
    field.Name = line.Text(end);
    if (end == kLF) throw Malformed{};
    field.Number = line.Number(end);
    field.Type = line.Text(end);
    field.Width = line.Number(end);
    field.Decimals = line.Number(end);
    if (newerLayout && end != kLF) {
      while (line.Next() != kLF) {
      }
    }
    if (field.Type != "A" && field.Type != "N" && field.Type != "D" &&
        !CheckedAdd(field.Width, 1, field.Width))
      throw Malformed{};
    if (field.Decimals > 0 && !CheckedAdd(field.Width, 1, field.Width)) throw Malformed{};
    def.fields.push_back(std::move(field));
  }

  std::string headingLine;
  for (std::size_t i = 1; i < def.fields.size(); ++i) {
    FieldDef& field = def.fields[i];
    if (!CheckedAdd(def.recordLength, field.Width, def.recordLength)) throw Malformed{};
    if (!IsDisplayedField(field.Name)) continue;
    if (headingLine.size() >= 32767) throw Malformed{};  // the column number would overflow
    field.Column = static_cast<Integer>(headingLine.size() + 1);
    const std::size_t width = static_cast<std::size_t>(field.Width);
    std::string column(width + 1, ' ');
    if (field.Type == "A" || field.Name.size() >= width)
      column.replace(0, std::min(width, field.Name.size()), field.Name.substr(0, width));
    else  // ends on the field's next-to-last position
      column.replace(width - field.Name.size() - 1, field.Name.size(), field.Name);
    headingLine += column;
  }
  if (!CheckedAdd(def.recordLength, 1, def.recordLength)) throw Malformed{};
  if (headingLine.empty()) throw Malformed{};  // no shown field: nothing to head
  def.heading = headingLine + lineBreak + std::string(headingLine.size() - 1, '-') + lineBreak;
  return def;
}

}  // namespace

bool IsDisplayedField(const std::string& name) {
  return name.empty() || static_cast<unsigned char>(name[0]) < '[';
}

bool LoadDefinition(SharedState& state, Platform& platform) {
  try {
    Definition def = ReadDefinition(state.DefinitionPath, state.LineBreak);
    state.FieldTable = std::move(def.fields);
    state.FieldCount = static_cast<Integer>(state.FieldTable.size() - 1);
    state.RecordLength = def.recordLength;
    state.Heading = std::move(def.heading);
    return true;
  } catch (const Malformed&) {
    state.FieldTable.assign(1, FieldDef{});
    state.FieldCount = 0;
    state.RecordLength = 0;
    state.Heading.clear();
    platform.MessageBox(msg::kNoDefinition, msg::kNoDefinitionTitle, MsgIcon::Critical,
                        MsgButtons::Ok);
    return false;
  }
}

}  // namespace ondrel
