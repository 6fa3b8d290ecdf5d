#include "tools/writer/DataFile.h"

#include <stdexcept>

namespace ondrel::writer {

std::string FitField(std::string_view value, const FieldLine& field) {
  const std::size_t width = static_cast<std::size_t>(AdjustedWidth(field));
  if (value.size() >= width) return std::string(value.substr(0, width));
  std::string padding(width - value.size(), ' ');
  return field.type == "A" ? std::string(value) + padding : padding + std::string(value);
}

std::string DataRecord(const std::vector<FieldLine>& fields, const std::vector<std::string>& values,
                       unsigned char terminator) {
  std::string slot;
  slot.reserve(static_cast<std::size_t>(RecordLength(fields)));
  for (std::size_t i = 0; i < fields.size(); ++i)
    slot += FitField(i < values.size() ? std::string_view(values[i]) : std::string_view(), fields[i]);
  slot += static_cast<char>(terminator);
  return slot;
}

DataFileWriter::DataFileWriter(const std::filesystem::path& path) {
  file_ = std::fopen(path.string().c_str(), "wb");
  if (!file_) throw std::runtime_error("cannot create " + path.string());
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
}

DataFileWriter::~DataFileWriter() {
  if (file_) std::fclose(file_);
}

void DataFileWriter::Append(std::string_view slot) {
  if (!file_) throw std::runtime_error("data file already closed");
  if (std::fwrite(slot.data(), 1, slot.size(), file_) != slot.size())
    throw std::runtime_error("cannot write the data file");
  ++slots_;
}

void DataFileWriter::Close() {
  if (!file_) return;
  const bool failed = std::ferror(file_) != 0;
  const bool closeFailed = std::fclose(file_) != 0;
  file_ = nullptr;
  if (failed || closeFailed) throw std::runtime_error("cannot write the data file");
}

}  // namespace ondrel::writer
