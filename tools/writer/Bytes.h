#pragma once

// Small byte helpers shared by the writer: big-endian numbers as the index
// file stores them, and whole-file reads and writes.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace ondrel::writer {

// Stores `value` as two bytes, most significant first, at `out`.
inline void PutBE16(unsigned char* out, std::uint16_t value) {
  out[0] = static_cast<unsigned char>(value >> 8);
  out[1] = static_cast<unsigned char>(value);
}

// Stores `value` as four bytes, most significant first, at `out`.
inline void PutBE32(unsigned char* out, std::uint32_t value) {
  out[0] = static_cast<unsigned char>(value >> 24);
  out[1] = static_cast<unsigned char>(value >> 16);
  out[2] = static_cast<unsigned char>(value >> 8);
  out[3] = static_cast<unsigned char>(value);
}

inline std::uint16_t GetBE16(const unsigned char* in) {
  return static_cast<std::uint16_t>((in[0] << 8) | in[1]);
}

inline std::uint32_t GetBE32(const unsigned char* in) {
  return (std::uint32_t{in[0]} << 24) | (std::uint32_t{in[1]} << 16) |
         (std::uint32_t{in[2]} << 8) | std::uint32_t{in[3]};
}

// Writes `bytes` to `path`, replacing the file.  Throws std::runtime_error.
void WriteWholeFile(const std::filesystem::path& path, std::string_view bytes);

// Reads all of `path`.  Throws std::runtime_error when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);

}  // namespace ondrel::writer
