#include "tools/export/Output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "database/StdCompat.h"
#include "tools/export/System.h"

namespace ondrel::tool {
namespace {

constexpr std::size_t kBlock = 64 * 1024;

}  // namespace

void Output::Write(std::string_view bytes) {
  std::memcpy(Room(bytes.size()), bytes.data(), bytes.size());
  size_ += bytes.size();
  WriteIfFull();
}

char* Output::Room(std::size_t size) {
  if (capacity_ - size_ < size) {
    // Twice the block, so that a block of lines is written at once.
    const std::size_t wanted = std::max(size_ + size, 2 * kBlock);
    auto grown = compat::make_unique_for_overwrite<char[]>(wanted);
    if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = wanted;
  }
  return data_.get() + size_;
}

void Output::WriteIfFull() {
  if (size_ >= kBlock) Flush();
}

void Output::Flush() {
  if (size_ == 0) return;
  if (!WriteAll(Stream::Out, data_.get(), size_)) {
    const std::string line = std::string("Ondrel viewer: cannot write the output: ") +
                             std::strerror(errno) + "\n";
    WriteAll(Stream::Error, line.data(), line.size());
    EndNow(1);
  }
  size_ = 0;
}

Output& Stdout() {
  static Output out;
  return out;
}

namespace {

// The length of the well-formed UTF-8 character at the start of `text`, or
// 0 when its first byte starts none.
std::size_t Utf8Length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const auto follows = [&](std::size_t i, unsigned char low, unsigned char high) {
    return i < text.size() && byte(i) >= low && byte(i) <= high;
  };
  const unsigned char b = byte(0);
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) return follows(1, 0x80, 0xBF) ? 2 : 0;
  if (b >= 0xE0 && b <= 0xEF) {
    // No overlong form (E0 80..9F) and no surrogate (ED A0..BF).
    const unsigned char low = b == 0xE0 ? 0xA0 : 0x80, high = b == 0xED ? 0x9F : 0xBF;
    return follows(1, low, high) && follows(2, 0x80, 0xBF) ? 3 : 0;
  }
  if (b >= 0xF0 && b <= 0xF4) {
    // No overlong form (F0 80..8F) and nothing beyond U+10FFFF (F4 90..).
    const unsigned char low = b == 0xF0 ? 0x90 : 0x80, high = b == 0xF4 ? 0x8F : 0xBF;
    return follows(1, low, high) && follows(2, 0x80, 0xBF) && follows(3, 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

}  // namespace

std::string PrintableMessage(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8Length(text.substr(at));
    const auto b = static_cast<unsigned char>(text[at]);
    if (length == 1) {
      out += Printable(text.substr(at, 1));
    } else if (length == 0) {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else if (b == 0xC2 && static_cast<unsigned char>(text[at + 1]) <= 0x9F) {
      const auto c1 = static_cast<unsigned char>(text[at + 1]);
      out += "\\u00";
      out += kHex[c1 >> 4];
      out += kHex[c1 & 15];
    } else {
      out.append(text, at, length);
    }
    at += length == 0 ? 1 : length;
  }
  return out;
}

void ErrorLine(std::string_view line) {
  Stdout().Flush();
  std::string text = PrintableMessage(line);
  text += '\n';
  WriteAll(Stream::Error, text.data(), text.size());
}

void ErrorText(std::string_view text) {
  Stdout().Flush();
  WriteAll(Stream::Error, text.data(), text.size());
}

}  // namespace ondrel::tool
