// The command line of ondrel-export.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ondrel::tool {

enum class Mode { ListIspecs, ListProfiles, Export, Window, Describe, Check, Sqlite, Help, Version };
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
  // --seek: the typed key, one value per leading ordinate (UTF-8, as given).
  std::vector<std::string> seek;
  // --find, --match-case, --entry-numbers.
  std::optional<std::string> find;
  bool matchCase = false;
  bool entryNumbers = false;
  std::string sqliteOut;  // --sqlite OUT.db
  bool force = false;     // --force: replace an existing OUT.db
  // --check: the problems printed per profile (0: all); --strict: warnings
  // count as problems.
  std::int64_t maxProblems = 100;
  bool strict = false;
};

// Parses the arguments after the program's name.  On a usage error returns
// nothing and sets `error` to what was wrong.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);

// The usage, with an example, as --help prints it.
std::string UsageText();

// The program's name and version, one line, as --version prints it.
std::string VersionText();

}  // namespace ondrel::tool
