#pragma once

// Helpers of the writer tests: a scratch directory per test and plain
// big-endian decoding done here, independently of the writer's own helpers.

#include <cstdint>
#include <filesystem>
#include <string>

namespace ondrel::writer::test {

// A fresh, empty directory under the system's temporary directory, removed
// when the object goes away.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string Slurp(const std::filesystem::path& path);

// Big-endian numbers at a 0-based offset of `bytes`.
unsigned Be16(const std::string& bytes, std::size_t offset);
std::uint32_t Be32(const std::string& bytes, std::size_t offset);

}  // namespace ondrel::writer::test
