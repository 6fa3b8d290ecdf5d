// The command line of ondrel-export.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ondrel::tool {

enum class Mode { ListIspecs, ListProfiles, Export, Window, Describe, Check, Help };
enum class Format { Text, Csv, Json };  // JSON: --check only

struct Options {
  Mode mode = Mode::Export;
  std::string directory;
  std::string ispec;
  std::string profile;
  Format format = Format::Text;
  std::int64_t from = 1;
  std::optional<std::int64_t> count;
  std::int64_t window = 1;
};

// Parses the arguments after the program's name.  On a usage error returns
// nothing and sets `error` to what was wrong.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);

// The usage, with an example, as --help prints it.
std::string UsageText();

}  // namespace ondrel::tool
