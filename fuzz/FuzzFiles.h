// Turns one fuzzer input into the files of a file set.
//
// The input is a run of chunks, each a BE32 length followed by that many
// bytes (a length past the end takes what is left).  Chunk i becomes file i
// of the names given; a file without a chunk is written empty, so every file
// of the set exists and only its content is arbitrary.  The files live in one
// directory per process, under /dev/shm when it exists, removed when the
// process ends normally.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "database/Catalogue.h"
#include "database/Definition.h"
#include "database/IndexWalk.h"
#include "database/Platform.h"
#include "database/Profile.h"
#include "database/SharedState.h"

namespace ondrel::fuzz {

inline const std::filesystem::path& FuzzDir() {
  struct Dir {
    std::filesystem::path path;
    ~Dir() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  };
  static const Dir dir = [] {
    const std::filesystem::path base =
        std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    auto d = base / ("ondrel-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return Dir{d};
  }();
  return dir.path;
}

inline std::vector<std::string> SplitChunks(const std::uint8_t* data, std::size_t size, std::size_t count) {
  std::vector<std::string> chunks(count);
  std::size_t at = 0;
  for (std::size_t i = 0; i < count && at + 4 <= size; ++i) {
    std::uint32_t n = (std::uint32_t{data[at]} << 24) | (std::uint32_t{data[at + 1]} << 16) |
                      (std::uint32_t{data[at + 2]} << 8) | data[at + 3];
    at += 4;
    if (n > size - at) n = static_cast<std::uint32_t>(size - at);
    chunks[i].assign(reinterpret_cast<const char*>(data + at), n);
    at += n;
  }
  return chunks;
}

// The inverse, for writing seeds.
inline std::string JoinChunks(const std::vector<std::string>& chunks) {
  std::string out;
  for (const auto& c : chunks) {
    const auto n = static_cast<std::uint32_t>(c.size());
    out += static_cast<char>(n >> 24);
    out += static_cast<char>(n >> 16);
    out += static_cast<char>(n >> 8);
    out += static_cast<char>(n);
    out += c;
  }
  return out;
}

inline std::string WriteFile(const std::string& name, const std::string& bytes) {
  const auto path = FuzzDir() / name;
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  return path.string();
}

struct Ended {};

// Messages go nowhere; the end of the program becomes an exception.
class FuzzPlatform : public QuietPlatform {
 public:
  [[noreturn]] void EndProgram() override { throw Ended{}; }
};

// Writes chunks 0 to 3 as the definition, profile, index and data files of
// the ISPEC "F".
inline void WriteFileSet(const std::vector<std::string>& chunks) {
  WriteFile("_F.DFN", chunks.at(0));
  WriteFile("_F_P.DFN", chunks.at(1));
  WriteFile("_F.IDX", chunks.at(2));
  WriteFile("_F.DAT", chunks.at(3));
}

// Opens "F" as the chooser does, with its definition, profile `choice`
// (modulo the profiles there are) and the reference information; false
// when any load ends the program.
inline bool OpenProfile(SharedState& state, Platform& platform, std::size_t choice) {
  SetTextConstants(state);
  try {
    const auto profiles = LoadFileSet(state, platform, FuzzDir().string(), "F");
    if (profiles.empty() || !LoadDefinition(state, platform)) return false;
    LoadProfile(state, platform, profiles, static_cast<int>(choice % profiles.size()));
  } catch (const Ended&) {
    return false;
  }
  BuildReferenceInformation(state, platform);
  return true;
}

}  // namespace ondrel::fuzz
