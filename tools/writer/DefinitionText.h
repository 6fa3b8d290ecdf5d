#pragma once

// Text of an ISPEC's definition file (_N.DFN): a version line, a line whose
// first six characters hold a number, then one line per field.

#include <string>
#include <vector>

namespace ondrel::writer {

// The version line of the newer layout, in which a field line may carry
// further items after its fifth.
inline constexpr const char* kNewerVersion = "V002.004.000";
// A version line of the older layout: each field line ends with its fifth
// item.
inline constexpr const char* kOlderVersion = "V002.003.001";

// One field line: "Name Number Type Width Decimals[ Extra]".
struct FieldLine {
  std::string name;      // a name starting with '[' or above (e.g. lower case) is hidden
  int number = 0;        // second item, written as decimal digits
  std::string type = "A";  // "A", "N", "D" or any other code
  int width = 0;         // fourth item: the width before adjustment
  int decimals = 0;      // fifth item
  std::string extra;     // written after the fifth item and one blank, when not empty
};

struct DefinitionFile {
  std::string version = kNewerVersion;  // line 1, without its line end
  // Line 2.  Empty: the field count as six digits with leading zeros.
  std::string line2;
  std::vector<FieldLine> fields;
  bool crlf = false;            // end lines with CR LF instead of LF
  bool finalLineEnd = true;     // false: the last field line has no line end
};

// The whole definition file text.
std::string DefinitionText(const DefinitionFile& setup);

// Bytes the field occupies in a data record: the fourth item, plus 1 when the
// type is none of "A", "N", "D", plus 1 more when decimals > 0.
int AdjustedWidth(const FieldLine& field);

// Bytes per data record: the sum of the adjusted widths plus the terminator.
int RecordLength(const std::vector<FieldLine>& fields);

// A field is hidden when its name begins with a byte of code 91 ('[') or
// above; an empty name is displayed.
bool IsHidden(const FieldLine& field);

}  // namespace ondrel::writer
