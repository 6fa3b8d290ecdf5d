#include "bench/BenchSession.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "database/Catalogue.h"
#include "database/IndexWalk.h"
#include "database/Profile.h"
#include "viewer/Commands.h"
#include "viewer/RecordWindow.h"
#include "viewer/Scrolling.h"

namespace ondrel::bench {

void BenchPlatform::EndProgram() {
  std::fprintf(stderr, "the viewer would end here: %s\n", lastMessage.c_str());
  std::exit(1);
}

void OpenProfile(OpenedProfile& opened, const BenchProfile& profile, bool walk, const char* profileName) {
  SharedState& state = opened.state;
  SetTextConstants(state);
  const std::vector<std::string> profiles =
      LoadFileSet(state, opened.platform, profile.directory.string(), kIspec);
  const auto chosen = std::find(profiles.begin(), profiles.end(), profileName);
  if (chosen == profiles.end()) {
    std::fprintf(stderr, "%s has no profile %s\n", profile.directory.c_str(), profileName);
    std::exit(1);
  }
  LoadProfile(state, opened.platform, profiles, static_cast<int>(chosen - profiles.begin()));
  if (!walk) return;
  BuildReferenceInformation(state, opened.platform);
  opened.view.SetFilePosMax(OpeningScrollMaximum(state.RecordCount));
  state.SectionCount = SectionCountOf(state.RecordCount);
  ShowChosenFile(state, opened.platform, opened.view, {});
}

void FillAt(OpenedProfile& opened, double entry) {
  opened.state.StartRecord = entry;
  FillRecordWindow(opened.state, opened.platform, opened.view);
}

void GoToLastSection(OpenedProfile& opened) {
  for (const char digit : std::to_string(opened.state.SectionCount))
    Part_Click(opened.state, opened.platform, opened.view, digit - '0');
  Part_Click(opened.state, opened.platform, opened.view, kPartEnter);
}

void ReopenAtFirstEntry(OpenedProfile& opened) {
  opened.view.SetFilePosMax(OpeningScrollMaximum(opened.state.RecordCount));
  ShowChosenFile(opened.state, opened.platform, opened.view, {});
}

std::string WindowProblem(const OpenedProfile& opened, std::uint64_t entry, std::uint64_t records) {
  const SharedState& state = opened.state;
  const std::uint64_t last = std::min<std::uint64_t>(entry + state.WindowLines - 1, records);
  if (opened.platform.messages != 0) return "a message was shown: " + opened.platform.lastMessage;
  if (state.FirstShown != static_cast<double>(entry) || state.LastRead != static_cast<double>(last))
    return "the window shows entries " + WholeNumberText(state.FirstShown) + " to " +
           WholeNumberText(state.LastRead) + ", not " + std::to_string(entry) + " to " + std::to_string(last);
  std::uint64_t expected = entry;
  std::size_t at = 0;
  const std::string& text = state.WindowText;
  while (at < text.size()) {
    const std::size_t end = text.find(state.LineBreak, at);
    if (end == std::string::npos) return "the window's last line has no line break";
    if (expected > last || text.compare(at, 10, KeyOf(expected)) != 0)
      return "line " + std::to_string(expected - entry + 1) + " is \"" + text.substr(at, end - at) + "\"";
    ++expected;
    at = end + state.LineBreak.size();
  }
  if (expected != last + 1) return "the window holds " + std::to_string(expected - entry) + " lines";
  return "";
}

std::vector<WindowPoint> WindowPoints(std::uint64_t records) {
  const std::uint64_t sections = records / kSectionSize + 1;
  std::uint64_t lastSection = (sections - 1) * kSectionSize + 1;
  // A count that is an exact multiple of 32000 has an empty last section;
  // its last entries lie in the one before.
  if (lastSection > records) lastSection -= kSectionSize;
  return {{"first", 1}, {"middle", std::max<std::uint64_t>(1, records / 2)}, {"last_section", lastSection}, {"last_entry", records}};
}

}  // namespace ondrel::bench
