// A small database for the hostile-input tests: one ISPEC, ORD, of 300
// records with purged ones, and a profile ORDNO whose tree is three levels
// deep in 512-byte nodes, so that damage can reach every level.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "tools/writer/IspecBuilder.h"

namespace ondrel::test {

writer::IspecLayout BuildHostileIspec(const std::filesystem::path& dir);

// Every file of a directory with its size.
std::map<std::string, std::uintmax_t> FileSizes(const std::filesystem::path& dir);

// Every file of a directory with its bytes and modification time, to prove
// that nothing changed.
struct FileState {
  std::string bytes;
  std::filesystem::file_time_type modified;
  bool operator==(const FileState&) const = default;
};
std::map<std::string, FileState> Snapshot(const std::filesystem::path& dir);

}  // namespace ondrel::test
