// The generated databases the benchmarks measure, and their SQLite twins.
//
// Each profile is one ISPEC, LARGE, written by the database writer into a
// directory of its own under the scratch directory: records of 60 bytes with
// a 10-digit key, record n carrying key n, and two profiles: KEYNO in record
// order and BYNAME (the name, then the key), which scatters the records.  The
// SQLite twin of a record count holds the same rows with an index on the key.
// Both are written under a temporary name and renamed when complete, so a
// run that was interrupted never leaves a half-built set to be reused.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace ondrel::bench {

inline constexpr const char* kIspec = "LARGE";
inline constexpr const char* kProfile = "KEYNO";
// The profile whose key order scatters the records over the data file.
inline constexpr const char* kScatteredProfile = "BYNAME";

struct BenchProfile {
  std::uint64_t records = 0;
  int nodeSize = 512;
  std::string label;                // "10M_2048": records and node size
  std::filesystem::path directory;  // holds _LARGE.DFN, _LARGE_P.DFN, _LARGE.DAT, _LARGE.IDX
  std::filesystem::path sqlite;     // the SQLite twin, shared by both node sizes
  std::filesystem::path IndexFile() const { return directory / "_LARGE.IDX"; }
  std::filesystem::path DataFile() const { return directory / "_LARGE.DAT"; }
};

// "1M", "10M", "50K" or the plain number.
std::string CountLabel(std::uint64_t records);

// Every combination of the record counts and node sizes, under `root`.
std::vector<BenchProfile> ProfileSet(const std::filesystem::path& root,
                                     const std::vector<std::uint64_t>& records,
                                     const std::vector<int>& nodeSizes);

// Writes the profile's file set unless a complete one is there already.
// Returns true when it had to write it.
bool EnsureProfile(const BenchProfile& profile);

// Writes the SQLite twin unless a complete one is there already.
bool EnsureSqlite(const BenchProfile& profile);

// The 10-digit key of record n as the writer stores it.
std::string KeyOf(std::uint64_t record);

// Parses "1000000,10000000" (also "1M,10M" and "50K"); false on anything else.
bool ParseCounts(const std::string& text, std::vector<std::uint64_t>& out);
bool ParseNodeSizes(const std::string& text, std::vector<int>& out);

}  // namespace ondrel::bench
