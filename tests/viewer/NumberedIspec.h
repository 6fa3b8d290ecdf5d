// A writer-built ISPEC whose records are numbered 1 to N in key order, so
// that the text of any window can be written down from the entry numbers.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/writer/IspecBuilder.h"

namespace ondrel::test {

// Record i of the numbered ISPEC: a six-digit number (the key), a name and a
// hidden tag.  Its line in the window is "000042 N0000042 ".
inline std::vector<writer::FieldLine> NumberedFields() {
  return {{"NO", 1, "N", 6, 0}, {"NAME", 2, "A", 8, 0}, {"[TAG]", 3, "A", 2, 0}};
}
inline std::string NumberedLine(long i) {
  char line[64];
  std::snprintf(line, sizeof line, "%06ld N%07ld ", i, i);
  return line;
}

// An ISPEC of `count` numbered records with one profile, BYNO, in record
// order.  `headerCount` replaces the index header's record count when >= 0.
inline writer::IspecLayout BuildNumbered(const std::string& dir, const std::string& name, long count,
                                         long headerCount = -1) {
  writer::IspecContent setup;
  setup.name = name;
  setup.definition.fields = NumberedFields();
  setup.records.reserve(static_cast<std::size_t>(count));
  for (long i = 1; i <= count; ++i) {
    const std::string line = NumberedLine(i);
    setup.records.push_back({{line.substr(0, 6), line.substr(7, 8), "zz"}});
  }
  setup.profiles = {{.name = "BYNO", .keyFields = {{"NO"}}}};
  if (headerCount >= 0) setup.recordCount = static_cast<std::uint32_t>(headerCount);
  return writer::BuildIspec(dir, setup);
}

// The lines of entries first..last of a numbered ISPEC, each ended by CR LF.
inline std::string NumberedLines(long first, long last) {
  std::string text;
  for (long i = first; i <= last; ++i) text += NumberedLine(i) + "\r\n";
  return text;
}

}  // namespace ondrel::test
