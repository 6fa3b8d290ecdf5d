#pragma once

// Data file (_N.DAT): fixed-length record slots with no header.  Each slot is
// the fields at their adjusted widths followed by one terminator byte: LF for
// an active record, anything else (0x00 here) for a purged one.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tools/writer/DefinitionText.h"

namespace ondrel::writer {

inline constexpr unsigned char kActive = 0x0A;
inline constexpr unsigned char kPurged = 0x00;

// `value` fitted to `width` bytes: cut to its first `width` bytes, or padded
// with blanks, on the right for type "A" and on the left for other types (so
// that numbers line up).  Bytes are copied as they are, 0x80-0xFF included.
std::string FitField(std::string_view value, const FieldLine& field);

// One record slot: the values of `fields` fitted in order (missing values are
// blank), then `terminator`.  Its size is RecordLength(fields).
std::string DataRecord(const std::vector<FieldLine>& fields, const std::vector<std::string>& values,
                       unsigned char terminator = kActive);

// Writes record slots one after another without keeping them in memory.
class DataFileWriter {
 public:
  explicit DataFileWriter(const std::filesystem::path& path);
  ~DataFileWriter();
  DataFileWriter(const DataFileWriter&) = delete;
  DataFileWriter& operator=(const DataFileWriter&) = delete;

  // Appends raw bytes (normally one slot made by DataRecord).
  void Append(std::string_view slot);
  // Closes the file; throws std::runtime_error when a write failed.
  void Close();
  std::uint64_t RecordsWritten() const { return slots_; }

 private:
  std::FILE* file_ = nullptr;
  std::uint64_t slots_ = 0;
};

}  // namespace ondrel::writer
