#include "tools/export/Output.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace ondrel::tool {
namespace {

constexpr std::size_t kBlock = 64 * 1024;

[[noreturn]] void EndOnBrokenPipe() {
  std::signal(SIGPIPE, SIG_DFL);
  std::raise(SIGPIPE);
  std::_Exit(128 + SIGPIPE);
}

// Writes all bytes to a file descriptor; false on a failure other than a
// broken pipe, which ends the process.
bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EPIPE) EndOnBrokenPipe();
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

void Output::Write(std::string_view bytes) {
  buffer_.append(bytes);
  WriteIfFull();
}

void Output::WriteIfFull() {
  if (buffer_.size() >= kBlock) Flush();
}

void Output::Flush() {
  if (buffer_.empty()) return;
  if (!WriteAll(STDOUT_FILENO, buffer_.data(), buffer_.size())) {
    const std::string line = std::string("Ondrel viewer: cannot write the output: ") +
                             std::strerror(errno) + "\n";
    WriteAll(STDERR_FILENO, line.data(), line.size());
    std::_Exit(1);
  }
  buffer_.clear();
}

Output& Stdout() {
  static Output out;
  return out;
}

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 32 && b != 127) {
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

void ErrorLine(std::string_view line) {
  Stdout().Flush();
  std::string text = Printable(line);
  text += '\n';
  WriteAll(STDERR_FILENO, text.data(), text.size());
}

void ErrorText(std::string_view text) {
  Stdout().Flush();
  WriteAll(STDERR_FILENO, text.data(), text.size());
}

void EndQuietlyOnBrokenPipe() { std::signal(SIGPIPE, SIG_DFL); }

}  // namespace ondrel::tool
