#include "TestFiles.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace ondrel::writer::test {

ScratchDir::ScratchDir() {
  std::random_device seed;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate =
        std::filesystem::temp_directory_path() / ("ondrel-writer-" + std::to_string(seed()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no scratch directory");
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path.string());
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

unsigned Be16(const std::string& bytes, std::size_t offset) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
  return (unsigned{b[0]} << 8) | b[1];
}

std::uint32_t Be32(const std::string& bytes, std::size_t offset) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
  return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

}  // namespace ondrel::writer::test
