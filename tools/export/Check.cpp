// --check: the integrity check a user runs before trusting or migrating a
// database.
//
//   ondrel-export --check DIR ISPEC PROFILE   that profile
//   ondrel-export --check DIR ISPEC           every profile of the ISPEC
//   ondrel-export --check DIR                 every ISPEC of the directory
//
// Each profile is checked in full (CheckProfile.h); nothing stops the check
// at the first problem.  An ISPEC or profile that cannot be opened is
// reported with the viewer's message and the run goes on with the next: the
// viewer's loads end the program when they fail, so the check gives them a
// platform whose end of the program is an exception caught here.  The exit
// status is 1 when anything was found.
#include <algorithm>
#include <string>
#include <vector>

#include "database/ByteFile.h"
#include "database/Catalogue.h"
#include "database/Definition.h"
#include "database/FileIdentity.h"
#include "database/Profile.h"
#include "database/Text.h"
#include "tools/export/CheckProfile.h"
#include "tools/export/CheckReport.h"
#include "tools/export/Modes.h"
#include "tools/export/Output.h"
#include "tools/export/ToolPlatform.h"

namespace ondrel::tool {
namespace {

// Thrown where the viewer would end the program after a failed load.
struct LoadEnded {};

// The tool's platform (messages on standard error, the chooser's lists
// kept) that remembers the last message and does not end the program.
class CheckPlatform : public ToolPlatform {
 public:
  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                       MsgButtons buttons) override {
    lastMessage = (title.empty() ? std::string(kApplicationTitle) : title) + ": " + text;
    return ToolPlatform::MessageBox(text, title, icon, buttons);
  }
  [[noreturn]] void EndProgram() override { throw LoadEnded{}; }

  std::string lastMessage;
};

struct Tally {
  std::int64_t ispecs = 0;
  std::int64_t profiles = 0;
  std::int64_t notOpened = 0;
};

void NoteCounts(const SharedState& state, CheckReport& report) {
  ByteFile data;
  if (!data.Open(state.DataPath) || state.RecordLength <= 0) return;
  const std::int64_t records = data.Size() / state.RecordLength;
  if (records != state.RecordCount)
    report.Note("The index header of " + Printable(state.IspecName) + " counts " + std::to_string(state.RecordCount) +
                " records; its data file holds " + std::to_string(records) + ".");
}

void CheckIspecOnce(const Options& options, const std::string& ispec, CheckReport& report, Tally& tally);

// The verdict on an ISPEC holds only for one state of its files: a set that
// changed while it was checked is reported, whatever the check found.
void CheckIspec(const Options& options, const std::string& ispec, CheckReport& report, Tally& tally) {
  const SetPaths paths = PathsOf(options.directory, ispec);
  SetIdentity before;
  const bool quiet = QuietIdentityOf(paths, before);
  CheckIspecOnce(options, ispec, report, tally);
  if (!quiet || IdentityOf(paths) != before)
    report.Problem("open", ChangedFilesText(Printable(TrimSpaces(ispec))));
}

void CheckIspecOnce(const Options& options, const std::string& ispec, CheckReport& report, Tally& tally) {
  ++tally.ispecs;
  report.BeginIspec(ispec);
  CheckPlatform platform;
  SharedState base;
  SetTextConstants(base);
  std::vector<std::string> profiles;
  try {
    profiles = LoadFileSet(base, platform, options.directory, ispec);
  } catch (const LoadEnded&) {
    ++tally.notOpened;
    report.Problem("open", "The ISPEC " + Printable(ispec) + " cannot be opened: " + Printable(platform.lastMessage));
    return;
  }
  if (!LoadDefinition(base, platform)) {
    ++tally.notOpened;
    report.Problem("open", "The ISPEC " + Printable(ispec) + " has no definition that can be read, so its profiles " +
                               "are not checked: " + Printable(platform.lastMessage));
    return;
  }
  NoteCounts(base, report);

  std::vector<int> chosen;
  for (std::size_t i = 0; i < profiles.size(); ++i)
    if (options.profile.empty() || profiles[i] == options.profile) {
      chosen.push_back(static_cast<int>(i));
      // The chooser opens the first of two profiles of one name.
      if (!options.profile.empty()) break;
    }
  if (!options.profile.empty() && chosen.empty()) {
    ++tally.notOpened;
    report.Problem("open", "The ISPEC " + Printable(ispec) + " has no profile " + Printable(options.profile) + ".");
    return;
  }
  for (const int position : chosen) {
    ++tally.profiles;
    SharedState state = base;
    report.BeginProfile(profiles[static_cast<std::size_t>(position)]);
    try {
      LoadProfile(state, platform, profiles, position);
    } catch (const LoadEnded&) {
      ++tally.notOpened;
      report.Problem("open", "The profile cannot be opened: " + Printable(platform.lastMessage));
      report.Summary({});
      continue;
    }
    CheckProfile(state, !platform.List(ChooserList::Conditions).empty(), report);
  }
}

}  // namespace

int CheckMode(const Options& options) {
  CheckReport report(options.format == Format::Json ? ReportFormat::Json : ReportFormat::Text);
  Tally tally;
  std::vector<std::string> ispecs;
  if (!options.ispec.empty()) {
    ispecs.push_back(options.ispec);
  } else {
    bool readable = false;
    ispecs = ListIspecs(options.directory, &readable);
    if (!readable) report.Problem("open", "The directory " + Printable(options.directory) + " cannot be read.");
    // In the chooser's order: sorted by character code.
    std::sort(ispecs.begin(), ispecs.end());
  }
  for (const std::string& ispec : ispecs) CheckIspec(options, ispec, report, tally);
  report.Total(tally.ispecs, tally.profiles, tally.notOpened);
  Stdout().Flush();
  return report.Problems() > 0 ? 1 : 0;
}

}  // namespace ondrel::tool
