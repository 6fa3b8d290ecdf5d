// Standard output and standard error of the tool.
//
// Standard output is buffered and written with plain write calls, so that a
// failed write is seen at once.  A reader that goes away (`| head`) ends the
// tool quietly, as it ends any filter; any other write failure is reported on
// standard error and ends the tool with status 1.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "database/Text.h"

namespace ondrel::tool {

class Output {
 public:
  // Appends bytes; written out whenever the buffer fills.
  void Write(std::string_view bytes);
  // Room for `size` more bytes at the end of the buffer, for a caller that
  // writes a line in place; Commit then counts the bytes written there.
  char* Room(std::size_t size);
  void Commit(char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }
  // What the buffer holds, not written yet.
  std::string_view Pending() const { return {data_.get(), size_}; }
  // Writes what the buffer holds when it has grown past its block size.
  void WriteIfFull();
  void Flush();

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// The one standard output of the process.
Output& Stdout();

// A message as it is printed: a message is UTF-8 text, which may carry what
// the user typed or a file name as it is on disk.  Control characters are
// written as Printable writes them, a C1 control character (U+0080 to
// U+009F, which some terminals act on) as \u0080 to \u009F, and each byte
// that is no part of a well-formed UTF-8 character as \xHH.
std::string PrintableMessage(std::string_view text);

// Writes one line to standard error (PrintableMessage), after flushing
// standard output so that the two streams stay in order on a terminal.
void ErrorLine(std::string_view line);

// Writes a text of several lines (the usage) to standard error as it is.
void ErrorText(std::string_view text);

}  // namespace ondrel::tool
