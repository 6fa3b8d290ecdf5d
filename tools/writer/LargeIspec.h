#pragma once

// A generated ISPEC of any size, written in one streaming pass (for
// benchmarks): records of 60 bytes with a 10-digit key, a name, a city and an
// amount, and one profile, KEYNO, whose key is that 10-digit number.  Record n
// carries key n, so key order is record order.  Nothing grows with the record
// count except the tree layout (one number per node).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/writer/IspecBuilder.h"

namespace ondrel::writer {

struct LargeIspecOptions {
  std::string name = "LARGE";
  std::uint64_t records = 1000000;
  int nodeSize = 512;
  int entryTail = 4;
  // true: key description 0 is an empty tree; false: a record-number key over
  // all records (doubles the index work).
  bool emptyKey0 = true;
};

// Writes the four files; IspecLayout::entryRecords stays empty.
IspecLayout BuildLargeIspec(const std::filesystem::path& dir, const LargeIspecOptions& setup);

// The field values of record `n` (1-based) as BuildLargeIspec writes them.
std::vector<std::string> LargeRecordValues(std::uint64_t n);

}  // namespace ondrel::writer
