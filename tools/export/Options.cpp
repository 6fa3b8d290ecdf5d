#include "tools/export/Options.h"

#include <charconv>

#include "OndrelVersion.h"
#include "tools/export/System.h"

namespace ondrel::tool {
namespace {

bool ParseWhole(const std::string& text, std::int64_t& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  const auto [end, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && end == last && !text.empty();
}

}  // namespace

std::string UsageText() {
  return "Usage:\n"
         "  ondrel-export DIR                      the ISPECs of DIR, one per line, in the chooser's sorted order\n"
         "  ondrel-export DIR ISPEC                the ISPEC's profiles, one per line, in profile-file order\n"
         "  ondrel-export [OPTIONS] DIR ISPEC PROFILE\n"
         "\n"
         "With a PROFILE, writes the heading and one line per record of the profile, in\n"
         "key order, as the viewer's record window shows them (UTF-8, lines ended by LF).\n"
         "\n"
         "Options:\n"
         "  --format text|csv|json\n"
         "                     text (the default); CSV (RFC 4180): a header row of\n"
         "                     the shown field names, one row per active record; or\n"
         "                     json: one JSON object per active record, a line each,\n"
         "                     the shown fields by name (numeric fields as numbers,\n"
         "                     blank ones null); with --check, text or json\n"
         "  --from N           start at entry number N (default 1)\n"
         "  --count M          write at most M record lines or rows\n"
         "  --find TEXT        write only the records whose line, as the viewer shows it,\n"
         "                     holds TEXT (letters in either case)\n"
         "  --match-case       with --find: a letter matches only in its own case\n"
         "  --entry-numbers    put each record's entry number in front of its line (in ten\n"
         "                     columns), in a first CSV column ENTRY, or in a first\n"
         "                     JSON member \"entry\"\n"
         "  --seek VALUE       start at the first entry whose key is at or after VALUE (for\n"
         "                     the export and --window); give it once per leading\n"
         "                     ordinate, in order.  A number typed short is aligned as\n"
         "                     the field's stored values are; other text is a prefix.\n"
         "                     With --describe, adds the line \"Seek: N\" (0: no entry\n"
         "                     reaches the key)\n"
         "  --window [N]       write what \"Copy to Clipboard\" copies with the window at\n"
         "                     entry N, or at the entry --seek finds\n"
         "  --describe         describe the index, the key and the profile\n"
         "  --check            check the profile's tree against its data records (with\n"
         "                     only DIR ISPEC: every profile; with only DIR: every\n"
         "                     ISPEC): one line per problem, a summary per profile\n"
         "                     and a total; --format json writes one JSON object a\n"
         "                     line instead.  Exit status 0: everything checked and\n"
         "                     sound; 1: a problem; 3: no problem, but something\n"
         "                     could not be judged (a \"Not judged\" line says what)\n"
         "  --max-problems N   with --check: print at most N problems per profile (default\n"
         "                     100, 0 for all); the summary counts the ones not shown\n"
         "  --strict           with --check: warnings (entries that reach purged\n"
         "                     records) count as problems\n"
         "  --sqlite OUT.db    with DIR alone: write every ISPEC and profile of DIR into\n"
         "                     the SQLite file OUT.db (a table per ISPEC, a table and a\n"
         "                     view per profile)\n"
         "  --force            with --sqlite: replace an existing OUT.db\n"
         "  --help             show this text\n"
         "  --version          show the program's version\n"
         "\n"
         "Messages go to standard error as \"title: text\".  Exit status: 0 done, 1 the\n"
         "database could not be read as asked, 2 a usage error (--check: see above).\n"
         "\n"
         "Example:\n"
         "  ondrel-export --format csv --from 100 --count 50 /srv/db CUSTOMER BYNAME > customers.csv\n";
}

std::string VersionText() { return std::string("ondrel-export ") + kProgramVersion + "\n"; }

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  Options options;
  std::vector<std::string> positional;
  std::optional<Mode> chosenMode;
  bool exportOption = false;
  bool fromGiven = false;
  bool windowGiven = false;
  bool formatGiven = false;
  bool checkOption = false;  // --max-problems, --strict
  // --help and --version answer at once, whatever else is given; of the
  // two, the first given wins.
  std::optional<Mode> info;

  auto chooseMode = [&](Mode mode, const std::string& name) {
    if (chosenMode && *chosenMode != mode) {
      error = "only one of --window, --describe and --check may be given (" + name + ")";
      return false;
    }
    chosenMode = mode;
    return true;
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (arg == "--") {
      positional.insert(positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                        args.end());
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg[1] != '-') {
      error = "unknown option " + arg;
      return std::nullopt;
    }
    std::string value;
    bool hasValue = false;
    if (const auto eq = arg.find('='); eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      hasValue = true;
    }
    auto takeValue = [&]() {
      if (hasValue) return true;
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return false;
      }
      value = args[++i];
      return true;
    };
    auto takeNumber = [&](std::int64_t& number, std::int64_t least) {
      if (!takeValue()) return false;
      if (!ParseWhole(value, number) || number < least) {
        error = arg + " needs a whole number" + (least == 0 ? " of 0 or more" : "") + ", not \"" +
                value + "\"";
        return false;
      }
      return true;
    };

    if (arg == "--help" || arg == "--version") {
      if (!info) info = arg == "--help" ? Mode::Help : Mode::Version;
    } else if (arg == "--format") {
      if (!takeValue()) return std::nullopt;
      if (value == "text") {
        options.format = Format::Text;
      } else if (value == "csv") {
        options.format = Format::Csv;
      } else if (value == "json") {
        options.format = Format::Json;
      } else {
        error = "--format is text, csv or json, not \"" + value + "\"";
        return std::nullopt;
      }
      formatGiven = true;
    } else if (arg == "--from") {
      if (!takeNumber(options.from, INT64_MIN)) return std::nullopt;
      exportOption = true;
      fromGiven = true;
    } else if (arg == "--count") {
      std::int64_t count = 0;
      if (!takeNumber(count, 0)) return std::nullopt;
      options.count = count;
      exportOption = true;
    } else if (arg == "--window") {
      // The entry may be left out when --seek gives it: the value is taken
      // only when it is a number.
      std::int64_t number = 0;
      const bool next = !hasValue && i + 1 < args.size() && ParseWhole(args[i + 1], number);
      if (hasValue || next) {
        if (!takeNumber(options.window, INT64_MIN)) return std::nullopt;
        windowGiven = true;
      }
      if (!chooseMode(Mode::Window, arg)) return std::nullopt;
    } else if (arg == "--seek") {
      if (!takeValue()) return std::nullopt;
      options.seek.push_back(value);
    } else if (arg == "--find") {
      if (!takeValue()) return std::nullopt;
      if (value.empty()) {
        error = "--find needs a text to look for";
        return std::nullopt;
      }
      options.find = value;
      exportOption = true;
    } else if (arg == "--match-case") {
      options.matchCase = true;
      exportOption = true;
    } else if (arg == "--entry-numbers") {
      options.entryNumbers = true;
      exportOption = true;
    } else if (arg == "--describe") {
      if (!chooseMode(Mode::Describe, arg)) return std::nullopt;
    } else if (arg == "--check") {
      if (!chooseMode(Mode::Check, arg)) return std::nullopt;
    } else if (arg == "--sqlite") {
      if (!takeValue() || !chooseMode(Mode::Sqlite, arg)) return std::nullopt;
      options.sqliteOut = value;
    } else if (arg == "--force") {
      options.force = true;
    } else if (arg == "--max-problems") {
      if (!takeNumber(options.maxProblems, 0)) return std::nullopt;
      checkOption = true;
    } else if (arg == "--strict") {
      options.strict = true;
      checkOption = true;
    } else {
      error = "unknown option " + arg;
      return std::nullopt;
    }
    if (hasValue &&
        (arg == "--help" || arg == "--version" || arg == "--describe" || arg == "--check" ||
         arg == "--match-case" || arg == "--entry-numbers" || arg == "--force" || arg == "--strict")) {
      error = arg + " takes no value";
      return std::nullopt;
    }
  }

  if (info) {
    options.mode = *info;
    return options;
  }
  if (positional.empty() || positional.size() > 3) {
    error = positional.empty() ? "a database directory is needed" : "too many arguments";
    return std::nullopt;
  }
  options.directory = positional[0];
  if (chosenMode == Mode::Sqlite || options.force) {
    if (chosenMode != Mode::Sqlite || positional.size() != 1 || exportOption || checkOption ||
        !options.seek.empty()) {
      error = chosenMode == Mode::Sqlite ? "--sqlite takes the database directory alone" : "--force applies only to --sqlite";
      return std::nullopt;
    }
    options.mode = Mode::Sqlite;
    return options;
  }
  if (positional.size() >= 2) options.ispec = DatabaseNameFromArgument(positional[1]);
  if (positional.size() == 3) options.profile = positional[2];

  // The check takes a whole directory or ISPEC too, and writes text or JSON.
  if (chosenMode == Mode::Check) {
    if (exportOption || options.format == Format::Csv || !options.seek.empty()) {
      error = "--check writes text or json; --from, --count, --seek, --find, --match-case and "
              "--entry-numbers apply only to the export";
      return std::nullopt;
    }
    options.mode = Mode::Check;
    return options;
  }
  if (checkOption) {
    error = "--max-problems and --strict apply only to --check";
    return std::nullopt;
  }
  exportOption = exportOption || formatGiven;

  if (positional.size() < 3) {
    if (chosenMode || exportOption || !options.seek.empty()) {
      error = "the options need a PROFILE";
      return std::nullopt;
    }
    options.mode = positional.size() == 1 ? Mode::ListIspecs : Mode::ListProfiles;
    return options;
  }
  if (options.matchCase && !options.find) {
    error = "--match-case goes with --find";
    return std::nullopt;
  }
  if (chosenMode && exportOption) {
    error = "--format, --from, --count, --find, --match-case and --entry-numbers apply only to the export";
    return std::nullopt;
  }
  if (!options.seek.empty() && fromGiven) {
    error = "--seek and --from both give the start entry: give one of them";
    return std::nullopt;
  }
  if (chosenMode == Mode::Window && windowGiven == !options.seek.empty()) {
    error = windowGiven ? "--window N and --seek both give the window's entry: give one of them"
                        : "--window needs an entry number, or --seek";
    return std::nullopt;
  }
  options.mode = chosenMode.value_or(Mode::Export);
  return options;
}

}  // namespace ondrel::tool
