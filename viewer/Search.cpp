#include "viewer/Search.h"

#include <algorithm>

#include "database/ByteFile.h"
#include "database/Definition.h"
#include "database/IndexWalk.h"
#include "database/KeyRecord.h"
#include "database/KeySeek.h"
#include "viewer/RecordWindow.h"
#include "viewer/Scrolling.h"

namespace ondrel {

void GoToEntry(SharedState& state, Platform& platform, ContentsView& view, Long entry) {
  bool sectionStart = false;
  if (entry >= 1 && entry <= EntryCount(state)) {
    // What "Enter" on the keypad does for the entry's section, and then the
    // bar's move within it.
    const Long section = 1 + (entry - 1) / kSectionSize;
    state.SectionEntry.clear();
    state.Section = section;
    state.WindowIdle = false;
    if (section >= state.SectionCount)
      view.SetFilePosMax(state.RecordCount - (section - 1) * kSectionSize);
    else
      view.SetFilePosMax(kSectionSize);
    view.SetFilePosValue(entry - (section - 1) * kSectionSize);
    state.WindowIdle = true;
    sectionStart = entry == (section - 1) * kSectionSize + 1;
  }
  state.StartRecord = entry;
  FillRecordWindow(state, platform, view);
  // At a section's first entry "Enter" alone makes the move, and the keypad
  // writes the section label last, without the fill's leading blank.
  if (sectionStart && state.FirstShown == entry) view.SetLabel1Caption(std::to_string(state.Section));
}

namespace {

// The texts typed, as the user typed them, for a message: each in quotes,
// the empty ones at the end left out.
std::string TypedForMessage(const std::vector<std::string>& typed) {
  std::size_t count = typed.size();
  while (count > 0 && typed[count - 1].empty()) --count;
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += (i > 0 ? ", \"" : "\"") + typed[i] + "\"";
  return text;
}

}  // namespace

std::vector<std::string> SoughtKey(SharedState& state, ByteFile& index, std::vector<std::string> typed) {
  if (state.KeyRecords == KeyRecordCheck::Unknown) {
    ByteFile data;
    if (data.Open(state.DataPath)) LearnKeyRecordCheck(state, index, data);
  }
  if (state.KeyRecords == KeyRecordCheck::Capitals)
    for (std::string& text : typed) text = KeyCapitals(text);
  return typed;
}

bool GoToKey(SharedState& state, Platform& platform, ContentsView& view, const std::vector<std::string>& typed) {
  if (state.Heading.empty() && !LoadDefinition(state, platform)) return false;
  ByteFile index;
  SeekResult result;
  if (!index.Open(state.IndexPath)) {
    result.message = "The index file " + state.IndexPath + " cannot be opened.";
  } else {
    result = SeekKey(state, index, SoughtKey(state, index, typed));
  }
  if (result.outcome == SeekOutcome::PastTheEnd) {
    // The window stays where it was, for another key to be typed.
    result.outcome = SeekOutcome::Refused;
    result.message = "No key at or after " + TypedForMessage(typed) + ".";
  }
  if (result.outcome == SeekOutcome::Refused) {
    platform.MessageBox(result.message, "", MsgIcon::Exclamation, MsgButtons::Ok);
    return false;
  }
  GoToEntry(state, platform, view, result.entry);
  return true;
}

FindOutcome FindNext(SharedState& state, Platform& platform, ContentsView& view, const TextMatcher& matcher,
                     bool forward, SearchProgress* progress, bool fromFirstLine) {
  if (state.Heading.empty() && !LoadDefinition(state, platform)) return FindOutcome::NotFound;
  const Long total = EntryCount(state);
  const Long here = std::clamp<Long>(static_cast<Long>(state.FirstShown), 0, total);
  // Where the first pass starts: a new search at the first line itself, F3
  // after it (Shift+F3 before it).
  const Long forwardFrom = fromFirstLine ? std::max<Long>(here, 1) : here + 1;
  const Long backwardFrom = fromFirstLine ? here : here - 1;
  FineProblems problems(platform);
  // From there to the end, then, when asked, from the beginning to the first
  // line; backwards the other way round.
  FindResult found = forward ? FindInEntries(state, matcher, forwardFrom, total, true, problems, progress)
                             : FindInEntries(state, matcher, 1, backwardFrom, false, problems, progress);
  if (found.outcome == FindOutcome::NotFound) {
    // No progress stays over the question, nor comes up while it waits.
    if (progress) progress->Pause();
    if (platform.MessageBox(forward ? kEndReached : kBeginningReached, "", MsgIcon::Question,
                            MsgButtons::OkCancel) != MsgAnswer::Ok)
      return found.outcome;  // the user chose to stop there
    found = forward ? FindInEntries(state, matcher, 1, std::max<Long>(here, 1), true, problems, progress)
                    : FindInEntries(state, matcher, std::max<Long>(here, 1), total, false, problems, progress);
    if (found.outcome == FindOutcome::NotFound) {
      if (progress) progress->Pause();
      platform.MessageBox(kTextNotFound, "", MsgIcon::Information, MsgButtons::Ok);
    }
  }
  if (found.outcome != FindOutcome::Found) return found.outcome;

  GoToEntry(state, platform, view, found.entry);
  // The entry is the first line, right under the two heading lines.
  view.SelectFileTxt(static_cast<Long>(state.Heading.size() + static_cast<std::size_t>(found.column)),
                     static_cast<Long>(matcher.Length()));
  return found.outcome;
}

}  // namespace ondrel
