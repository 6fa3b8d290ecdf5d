#pragma once

// A generated ISPEC of any size, written in one streaming pass (for
// benchmarks): records of 60 bytes with a 10-digit key, a name, a city and an
// amount, and two profiles.  KEYNO's key is that 10-digit number; record n
// carries key n, so key order is record order.  BYNAME's key is the name
// (one of 128) and then the number, so each name's records lie one in about
// 128 all over the data file: the order of an alternate key, which scatters
// the records.  Nothing grows with the record count except the tree layout
// (one number per node) and one byte per record while BYNAME is written.

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
  // false: KEYNO alone.
  bool nameProfile = true;
};

// The name of record n, as BuildLargeIspec writes it (before padding).
std::string LargeRecordName(std::uint64_t n);

// Writes the four files; IspecLayout::entryRecords stays empty.
IspecLayout BuildLargeIspec(const std::filesystem::path& dir, const LargeIspecOptions& setup);

// The field values of record `n` (1-based) as BuildLargeIspec writes them.
std::vector<std::string> LargeRecordValues(std::uint64_t n);

}  // namespace ondrel::writer
