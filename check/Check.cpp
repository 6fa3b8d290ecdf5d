// The deep check of a directory, an ISPEC or one profile (Check.h).
//
// Each profile is checked in full (CheckProfile.h); nothing stops the check
// at the first problem.  An ISPEC or profile that cannot be opened is
// reported with the viewer's message and the run goes on with the next: the
// viewer's loads end the program when they fail, so the check gives them a
// platform whose end of the program is an exception caught here.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "database/BigEndian.h"
#include "database/ByteFile.h"
#include "database/DataRecord.h"
#include "database/IndexWalk.h"
#include "database/LoadingPlatform.h"
#include "database/Catalogue.h"
#include "database/Definition.h"
#include "database/FileIdentity.h"
#include "database/Profile.h"
#include "database/RandomAccessFile.h"
#include "database/Text.h"
#include "check/Check.h"
#include "check/CheckProfile.h"
#include "check/CheckReport.h"
#include "viewer/TypedNames.h"

namespace ondrel::check {
namespace {

// The title of a message box that has none.
constexpr const char* kApplicationTitle = "Ondrel viewer";

// A load's message as the report gives it: "title: text".
std::string MessageLine(const std::string& title, const std::string& text) {
  return (title.empty() ? std::string(kApplicationTitle) : title) + ": " + text;
}

// Hands each message of a load to the report as it comes, so that it stands
// before the items that follow from it.
class ReportMessages : public QuietPlatform {
 public:
  explicit ReportMessages(CheckReport& report) : report_(report) {}
  MsgAnswer MessageBox(const std::string& text, const std::string& title, MsgIcon, MsgButtons) override {
    report_.Message(MessageLine(title, text));
    return MsgAnswer::Ok;
  }
  // Only messages are passed on; the loading platform ends a load itself.
  [[noreturn]] void EndProgram() override { throw LoadEnded("The database cannot be read."); }

 private:
  CheckReport& report_;
};

// The last message of a load, which names what ended it.
std::string LastLine(const LoadingPlatform& platform) {
  return platform.messages.empty() ? std::string()
                                   : MessageLine(platform.messages.back().title, platform.messages.back().text);
}

struct Tally {
  std::int64_t ispecCount = 0;  // of the run, for its progress
  std::int64_t ispecs = 0;
  std::int64_t profiles = 0;
  std::int64_t notOpened = 0;
};

void NoteCounts(const SharedState& state, CheckReport& report) {
  ByteFile data;
  if (!data.Open(state.DataPath) || state.RecordLength <= 0) return;
  const std::int64_t records = WholeSlots(data, state.RecordLength);
  if (records != state.RecordCount)
    report.Unjudged("The index header of " + Printable(state.IspecName) + " counts " + std::to_string(state.RecordCount) +
                " records; its data file holds " + std::to_string(records) + ".");
}

// Counts as reached, before the profiles' trees are walked, the nodes that
// hold the key descriptions (the first `descriptions` of them) and the tree
// of the first description, which is no profile's.  What cannot be read is
// left alone: the profiles' own checks report it.
void OwnNodesOfNoProfile(const SharedState& base, std::size_t descriptions, NodeOwners& owners) {
  ByteFile index;
  const std::int64_t nodeSize = base.NodeSize;
  if (nodeSize <= 0 || !index.Open(base.IndexPath)) return;
  const std::int64_t nodeCount = std::min<std::int64_t>(index.Size() / nodeSize, 0x7FFFFFFF);
  unsigned char field[12];
  if (!index.Read(46, field, 4)) return;
  const std::int64_t k = BE32(field);
  // 1-based positions, as ByteFile reads them.
  const std::int64_t first = k * nodeSize + 7;
  std::int64_t at = first;
  SharedState key = base;
  for (std::size_t d = 0; d <= descriptions; ++d) {
    if (!index.Read(at, field, 12)) return;
    const int length = BE16(field);
    if (length < 12) return;
    if (d == 0) {
      key.KeyHead.RootNode = static_cast<Long>(BE32(field + 2));
      key.EntryTail = field[7] == 0 ? 4 : 8;
      key.KeyLength = 0;
      for (int part = 12; part + 5 <= length; part += 5) {
        unsigned char bytes[2];
        if (!index.Read(at + part, bytes, 2)) return;
        key.KeyLength += BE16(bytes);
      }
    }
    at += length;
  }
  const std::uint16_t descriptionTree = owners.BeginTree("the key descriptions", nodeCount);
  for (std::int64_t node = (first - 1) / nodeSize + 1; node <= (at - 2) / nodeSize + 1 && node <= nodeCount; ++node)
    owners.At(static_cast<std::uint32_t>(node)) = {0, 0, descriptionTree};
  const std::int64_t root = key.KeyHead.RootNode;
  if (root < 2 || root > nodeCount || key.KeyLength < 1 || EntrySize(key) > nodeSize - 4 ||
      owners.At(static_cast<std::uint32_t>(root)).tree != 0)
    return;
  struct Nothing : TreeVisitor {
    void Leaf(const LeafNode&) override {}
  } nothing;
  const std::uint16_t tree = owners.BeginTree("the tree of the first key description", nodeCount);
  TreeWalk(key, index, nodeCount, nullptr, &owners, tree).Run(nothing);
}


void CheckIspecOnce(const CheckScope& options, const std::string& ispec, CheckReport& report, Tally& tally);

// The verdict on an ISPEC holds only for one state of its files: a set that
// changed while it was checked is reported, whatever the check found.
void CheckIspec(const CheckScope& options, const std::string& ispec, CheckReport& report, Tally& tally) {
  const SetPaths paths = PathsOf(options.directory, ispec);
  SetIdentity before;
  const bool quiet = QuietIdentityOf(paths, before);
  CheckIspecOnce(options, ispec, report, tally);
  if (!quiet || IdentityOf(paths) != before)
    report.Problem("open", ChangedFilesText(Printable(TrimSpaces(ispec))));
}

void CheckIspecOnce(const CheckScope& options, const std::string& ispec, CheckReport& report, Tally& tally) {
  ++tally.ispecs;
  report.BeginIspec(ispec);
  ReportMessages toReport(report);
  LoadingPlatform platform(toReport);
  SharedState base;
  SetTextConstants(base);
  std::vector<std::string> profiles;
  try {
    profiles = LoadFileSet(base, platform, options.directory, ispec);
  } catch (const LoadEnded&) {
    ++tally.notOpened;
    report.Problem("open", "The ISPEC " + Printable(ispec) + " cannot be opened: " + Printable(LastLine(platform)));
    return;
  }
  if (!LoadDefinition(base, platform)) {
    ++tally.notOpened;
    report.Problem("open", "The ISPEC " + Printable(ispec) + " has no definition that can be read, so its profiles " +
                               "are not checked: " + Printable(LastLine(platform)));
    return;
  }
  NoteCounts(base, report);

  std::vector<int> chosen;
  if (options.profile.empty()) {
    for (std::size_t i = 0; i < profiles.size(); ++i) chosen.push_back(static_cast<int>(i));
  } else if (const int position = TypedProfilePosition(profiles, options.profile); position >= 0) {
    chosen.push_back(position);
  }
  if (profiles.empty()) {
    report.Unjudged("The ISPEC " + Printable(ispec) + " has no profiles: none of its keys is checked.");
    return;
  }
  if (!options.profile.empty() && chosen.empty()) {
    ++tally.notOpened;
    report.Problem("open", "The ISPEC " + Printable(ispec) + " has no profile " + Printable(options.profile) + ".");
    return;
  }
  NodeOwners owners;
  OwnNodesOfNoProfile(base, profiles.size(), owners);
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    const int position = chosen[i];
    ++tally.profiles;
    SharedState state = base;
    report.Progress(Printable(ispec), ReportText(profiles[static_cast<std::size_t>(position)]),
                    (static_cast<double>(tally.ispecs - 1) + static_cast<double>(i) / static_cast<double>(chosen.size())) /
                        static_cast<double>(tally.ispecCount));
    report.BeginProfile(profiles[static_cast<std::size_t>(position)]);
    try {
      LoadProfile(state, platform, profiles, position);
    } catch (const LoadEnded&) {
      ++tally.notOpened;
      report.Problem("open", "The profile cannot be opened: " + Printable(LastLine(platform)));
      report.Summary({});
      continue;
    }
    CheckProfile(state, !platform.lists[ChooserList::Conditions].empty(), owners, report);
  }
  // Nodes no tree reaches are no damage: the file keeps its free nodes.
  if (options.profile.empty() && owners.NodeCount() > 1)
    if (const std::int64_t unowned = owners.Unowned(); unowned > 0)
      report.Note(std::to_string(unowned) + " of the index file's " + std::to_string(owners.NodeCount() - 1) +
                  " nodes after the header are reached by no tree (free nodes, perhaps).");
}

// Definition file names the catalogue leaves out because no file lies
// behind them (a dangling link, a name that cannot be examined): an ISPEC
// that may be meant but cannot be checked.
void NoteUnreadableDefinitions(const std::string& directory, CheckReport& report) {
  std::vector<std::string> names;
  if (!DirectoryNames(directory, names)) return;
  for (const std::string& name : names) {
    if (name.size() < 5) continue;
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::toupper(c); });
    if (tail != ".DFN" || (name.size() >= 6 && name.compare(name.size() - 6, 6, "_P.DFN") == 0)) continue;
    if (KindOfPath(JoinPath(directory, name)) == PathKind::Missing)
      report.Unjudged("The definition file " + Printable(name) + " leads to no file: its ISPEC is not checked.");
  }
}

}  // namespace

bool RunCheck(const CheckScope& options, CheckReport& report) {
  Tally tally;
  try {
    std::vector<std::string> ispecs;
    if (!options.ispec.empty()) {
      ispecs.push_back(options.ispec);
    } else {
      bool readable = false;
      ispecs = ListIspecs(options.directory, &readable);
      if (!readable) report.Problem("open", "The directory " + Printable(options.directory) + " cannot be read.");
      // In the chooser's order: sorted by character code.
      std::sort(ispecs.begin(), ispecs.end());
      if (readable) {
        NoteUnreadableDefinitions(options.directory, report);
        if (ispecs.empty())
          report.Unjudged("The directory " + Printable(options.directory) + " holds no ISPEC to check.");
      }
    }
    tally.ispecCount = static_cast<std::int64_t>(ispecs.size());
    for (const std::string& ispec : ispecs) {
      report.Progress(Printable(ispec), "", static_cast<double>(tally.ispecs) / static_cast<double>(ispecs.size()));
      CheckIspec(options, ispec, report, tally);
    }
    report.Progress("", "", 1);
  } catch (const Cancelled&) {
    return false;
  }
  report.Total(tally.ispecs, tally.profiles, tally.notOpened);
  return true;
}

}  // namespace ondrel::check
