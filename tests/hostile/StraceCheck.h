// Reads a system-call trace (strace -f -y) of a program that was given a
// database directory, and lists everything it did to the files there that a
// read-only viewer must never do: open one for writing or creating, write,
// truncate, rename, unlink or lock one, map one writable and shared, or read
// past a file's end.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ondrel::test {

// The strace options the check understands: every process, file paths shown
// for descriptors, and the calls the check looks at.
std::string StraceCommand(const std::string& logPath);

struct TraceFindings {
  std::vector<std::string> violations;  // one line per forbidden call
  int databaseOpens = 0;                // opens of a database file, for reads
  int positionedReads = 0;              // preads of a database file checked against its size
};

// `sizes`: every file of the database directory with its size in bytes.
TraceFindings CheckTrace(const std::string& logPath, const std::string& databaseDir,
                         const std::map<std::string, std::uintmax_t>& sizes);

}  // namespace ondrel::test
