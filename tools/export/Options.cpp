#include "tools/export/Options.h"

#include <charconv>

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
         "  --format text|csv  text (the default), or CSV (RFC 4180): a header row of the\n"
         "                     shown field names, one row per active record; with\n"
         "                     --check, text or json\n"
         "  --from N           start at entry number N (default 1)\n"
         "  --count M          write at most M record lines or rows\n"
         "  --window N         write what \"Copy to Clipboard\" copies with the window at\n"
         "                     entry N\n"
         "  --describe         describe the index, the key and the profile\n"
         "  --check            check the profile's tree against its data records (with\n"
         "                     only DIR ISPEC: every profile; with only DIR: every\n"
         "                     ISPEC): one line per problem, a summary per profile\n"
         "                     and a total; --format json writes one JSON object a\n"
         "                     line instead; exit status 1 on a problem\n"
         "  --help             show this text\n"
         "\n"
         "Messages go to standard error as \"title: text\".  Exit status: 0 done, 1 the\n"
         "database could not be read as asked, 2 a usage error.\n"
         "\n"
         "Example:\n"
         "  ondrel-export --format csv --from 100 --count 50 /srv/db CUSTOMER BYNAME > customers.csv\n";
}

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  Options options;
  std::vector<std::string> positional;
  std::optional<Mode> chosenMode;
  bool exportOption = false;
  bool formatGiven = false;
  bool help = false;

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

    if (arg == "--help") {
      help = true;
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
    } else if (arg == "--count") {
      std::int64_t count = 0;
      if (!takeNumber(count, 0)) return std::nullopt;
      options.count = count;
      exportOption = true;
    } else if (arg == "--window") {
      if (!takeNumber(options.window, INT64_MIN) || !chooseMode(Mode::Window, arg))
        return std::nullopt;
    } else if (arg == "--describe") {
      if (!chooseMode(Mode::Describe, arg)) return std::nullopt;
    } else if (arg == "--check") {
      if (!chooseMode(Mode::Check, arg)) return std::nullopt;
    } else {
      error = "unknown option " + arg;
      return std::nullopt;
    }
    if (hasValue && (arg == "--help" || arg == "--describe" || arg == "--check")) {
      error = arg + " takes no value";
      return std::nullopt;
    }
  }

  if (help) {
    options.mode = Mode::Help;
    return options;
  }
  if (positional.empty() || positional.size() > 3) {
    error = positional.empty() ? "a database directory is needed" : "too many arguments";
    return std::nullopt;
  }
  options.directory = positional[0];
  if (positional.size() >= 2) options.ispec = positional[1];
  if (positional.size() == 3) options.profile = positional[2];

  // The check takes a whole directory or ISPEC too, and writes text or JSON.
  if (chosenMode == Mode::Check) {
    if (exportOption || options.format == Format::Csv) {
      error = "--check writes text or json; --from and --count apply only to the export";
      return std::nullopt;
    }
    options.mode = Mode::Check;
    return options;
  }
  if (options.format == Format::Json) {
    error = "--format json applies only to --check";
    return std::nullopt;
  }
  exportOption = exportOption || formatGiven;

  if (positional.size() < 3) {
    if (chosenMode || exportOption) {
      error = "the options need a PROFILE";
      return std::nullopt;
    }
    options.mode = positional.size() == 1 ? Mode::ListIspecs : Mode::ListProfiles;
    return options;
  }
  if (chosenMode && exportOption) {
    error = "--format, --from and --count apply only to the export";
    return std::nullopt;
  }
  options.mode = chosenMode.value_or(Mode::Export);
  return options;
}

}  // namespace ondrel::tool
