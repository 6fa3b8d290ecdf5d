#include "viewer/Refresh.h"

#include <algorithm>
#include <string>
#include <vector>

#include "database/Catalogue.h"
#include "database/FileIdentity.h"
#include "database/IndexWalk.h"
#include "database/LoadingPlatform.h"
#include "database/Profile.h"
#include "viewer/Commands.h"
#include "viewer/RecordWindow.h"
#include "viewer/Scrolling.h"

namespace ondrel {
namespace {

bool Fail(Platform& platform, const std::string& reason) {
  platform.MessageBox(reason + kRefreshStaysAsItWas, "", MsgIcon::Exclamation, MsgButtons::Ok);
  return false;
}

// The profile's place in the profile list read again: where it was, while
// the name there is still its own; else the first place with its name; -1
// when the list no longer has it.
int ProfilePosition(const SharedState& state, const std::vector<std::string>& profiles) {
  const int before = state.KeyNumber - 1;
  if (before >= 0 && before < static_cast<int>(profiles.size()) &&
      profiles[static_cast<std::size_t>(before)] == state.ProfileName)
    return before;
  const auto at = std::find(profiles.begin(), profiles.end(), state.ProfileName);
  return at == profiles.end() ? -1 : static_cast<int>(at - profiles.begin());
}

// Replaces what the header, the key description and the walk give.
void TakeFileSet(SharedState& state, SharedState& fresh) {
  state.NodeSize = fresh.NodeSize;
  state.RecordCount = fresh.RecordCount;
  state.KeyNumber = fresh.KeyNumber;
  state.KeyCounter = fresh.KeyCounter;
  state.KeyDescLength = fresh.KeyDescLength;
  state.KeyDescPos = fresh.KeyDescPos;
  state.KeyHead = fresh.KeyHead;
  state.KeyPart = fresh.KeyPart;
  state.KeyLength = fresh.KeyLength;
  state.EntryTail = fresh.EntryTail;
  state.EntryPad = fresh.EntryPad;
  state.LeafTable = std::move(fresh.LeafTable);
  state.LeafIndex = fresh.LeafIndex;
  state.LeafReach = std::move(fresh.LeafReach);
  state.LeafKeys = std::move(fresh.LeafKeys);
  state.LeafKeysRead = std::move(fresh.LeafKeysRead);
  state.LeadingDigits = fresh.LeadingDigits;
  state.Ordinates = std::move(fresh.Ordinates);
  state.KeyPartLengths = std::move(fresh.KeyPartLengths);
  state.KeyPartStorage = std::move(fresh.KeyPartStorage);
  state.SectionCount = SectionCountOf(state.RecordCount);
  state.FilesRead = fresh.FilesRead;
  state.FilesKnown = fresh.FilesKnown;
  state.FilesChangeTold = false;
  state.Walk = fresh.Walk;
}

}  // namespace

bool FileSetOpen(const SharedState& state) {
  return !state.DataPath.empty() && !state.ProfileName.empty() && state.LeafTable.size() >= 2;
}

double RefreshStartEntry(double firstShown, Long entries) {
  if (entries < 1) return 1;
  return std::min(std::max(firstShown, 1.0), static_cast<double>(entries));
}

std::string ReadChosenSet(SharedState& state, Platform& platform) {
  // The directory as the chooser gave it: the data file's path less the
  // file's name, so that the four paths come out exactly as they are.
  const std::string dataName = "_" + state.IspecName + ".DAT";
  if (state.DataPath.size() < dataName.size() ||
      state.DataPath.compare(state.DataPath.size() - dataName.size(), dataName.size(), dataName) != 0)
    return "The file " + state.DataPath + " is not the data file of " + state.IspecName + ".";
  const std::string directory = state.DataPath.substr(0, state.DataPath.size() - dataName.size());

  // The header, the key description and the tree must come from one state
  // of the files: a reading during which any of them changed is dropped and
  // made again, the walk's messages with it.
  SharedState fresh;
  // Stands in for the screen while the set is read again: the chooser's
  // labels and lists are not touched (the chooser shows the set as it was
  // opened), and a failed load unwinds to here before anything of the
  // shared state is replaced.
  LoadingPlatform quiet;
  std::string failure;
  SetIdentity identity;
  const bool settled = ReadUnchanged(PathsOf(state), identity, [&] {
    fresh = state;
    quiet.messages.clear();
    failure.clear();
    std::vector<std::string> profiles;
    try {
      profiles = LoadFileSet(fresh, quiet, directory, state.IspecName);
    } catch (const LoadEnded&) {
      failure = "The file " + fresh.CurrentPath + " cannot be read.";
      return;
    }
    const int position = ProfilePosition(state, profiles);
    if (position < 0) {
      failure = "The profile " + state.ProfileName + " is no longer in " + state.ProfilePath + ".";
      return;
    }
    try {
      LoadProfile(fresh, quiet, profiles, position);
    } catch (const LoadEnded&) {
      failure = quiet.LastMessage();
      return;
    }
    quiet.messages.clear();
    BuildReferenceInformation(fresh, quiet);
  });
  // A set that kept changing may fail to load for that alone.
  if (!settled)
    return "The files of " + state.IspecName + " kept changing on disk while they were being read; try again " +
           "when they are not being written.";
  if (!failure.empty()) return failure;
  // A damaged tree is reported as the walk reports it, and the set is taken
  // with what the walk found.
  for (const LoadMessage& message : quiet.messages)
    platform.MessageBox(message.text, message.title, message.icon, MsgButtons::Ok);
  fresh.FilesRead = identity;
  fresh.FilesKnown = true;
  TakeFileSet(state, fresh);
  return "";
}

bool RefreshFileSet(SharedState& state, Platform& platform, ContentsView& view) {
  if (!FileSetOpen(state) || !state.WindowIdle) return false;
  if (const std::string failure = ReadChosenSet(state, platform); !failure.empty()) return Fail(platform, failure);

  const double start = RefreshStartEntry(state.FirstShown, EntryCount(state));
  const Long section = static_cast<Long>((start - 1) / kSectionSize) + 1;
  state.Section = section;
  state.SectionEntry.clear();
  ShowSectionControls(state, view);
  const Long sectionStart = (section - 1) * kSectionSize;
  // The change events that the maximum and the value raise must not fill
  // the window: it is filled once, below.
  state.WindowIdle = false;
  view.SetFilePosMax(section >= state.SectionCount ? state.RecordCount - sectionStart : kSectionSize);
  view.SetFilePosValue(static_cast<Long>(start) - sectionStart);
  state.WindowIdle = true;
  state.StartRecord = start;
  FillRecordWindow(state, platform, view);
  return true;
}

}  // namespace ondrel
