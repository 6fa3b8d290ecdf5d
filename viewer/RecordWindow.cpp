#include "viewer/RecordWindow.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "database/ByteFile.h"
#include "database/Checked.h"
#include "database/Definition.h"
#include "database/FileIdentity.h"
#include "database/FineProblems.h"
#include "database/IndexWalk.h"
#include "database/KeyOrder.h"
#include "database/KeyRecord.h"
#include "viewer/EntryScan.h"
#include "viewer/Rounding.h"
#include "viewer/Scrolling.h"

namespace ondrel {
namespace {

// Turns each shown entry into one line of WindowText.
class WindowLinesSink : public EntrySink {
 public:
  WindowLinesSink(SharedState& state, FineProblems& problems, ByteFile& data, const KeyFields* keys)
      : state_(state), problems_(problems), data_(data), keys_(keys) {}

  bool WantsMore() const override { return lines_ < state_.WindowLines; }

  void Show(const TreeEntry& entry) override {
    const bool read = ReadEntryRecord(state_, problems_, data_, entry.Record);
    if (state_.RecordFlag == 'Y') {
      state_.WindowText += state_.RecordLine;
      // A key that is not its record's fields points at another record than
      // the one it was made from (see KeyRecord.h).
      if (read && keys_ && !keys_->RecordHoldsKey(data_, entry.Record, entry.Key, ComparedCase(state_)))
        problems_.Mismatch();
    } else {
      state_.WindowText += kRecordPurged;
    }
    state_.WindowText += state_.LineBreak;
    ++lines_;
    if (state_.FirstShown == 0) state_.FirstShown = state_.EntryCounter;
  }

 private:
  SharedState& state_;
  FineProblems& problems_;
  ByteFile& data_;
  const KeyFields* keys_;
  int lines_ = 0;
};

// Sets the scroll value when it lies in the bar's range, else counts a
// problem and leaves the bar as it was.
void SetScrollValue(FineProblems& problems, ContentsView& view, double value) {
  if (value >= 1 && value <= ScrollTop(view))
    view.SetFilePosValue(static_cast<Long>(value));
  else
    problems.Other();
}

}  // namespace

std::string WholeNumberText(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0f", value);
  return text;
}

std::string PositionCaption(const SharedState& state) {
  return "Record " + WholeNumberText(state.FirstShown) + " thru " + WholeNumberText(state.LastRead) +
         " of " + std::to_string(state.RecordCount);
}

namespace {

// After a fill: a fill from files that changed on disk is marked on the
// screen, and the first such fill says so in a message, once.
void TellChangedFiles(SharedState& state, Platform& platform, ContentsView& view) {
  if (!(FilesChanged(state) || LooksHalfWritten(state))) return;
  view.ShowFilesChanged();
  if (state.FilesChangeTold) return;
  state.FilesChangeTold = true;
  platform.MessageBox(kFilesChanged, kFilesChangedTitle, MsgIcon::Exclamation, MsgButtons::Ok);
}

}  // namespace

void FillRecordWindow(SharedState& state, Platform& platform, ContentsView& view) {
  // Ptr hidden; the definition loaded when the heading is empty; nothing to
  // show (and nothing to print or copy) without a record length.
  view.SetPtrVisible(false);
  if (state.Heading.empty()) LoadDefinition(state, platform);
  if (state.RecordLength == 0) {
    view.SetCommandVisible(2, false);
    view.SetCommandVisible(3, false);
    return;
  }
  view.SetCommandVisible(2, true);
  view.SetCommandVisible(3, true);

  // One fill at a time.  The fill's own assignments of the scroll value
  // raise the bar's change event, which must not start a second fill.
  if (!state.WindowIdle) return;
  state.WindowIdle = false;

  // The caret is put back where it was once the text is replaced.
  const Long caret = view.FileTxtSelStart();
  state.FirstShown = 0;
  state.LastRead = 0;
  state.EntryCounter = 0;

  // The leaf holding the start entry, found in the leaf table without
  // touching the index.
  state.LeafIndex = FindLeaf(state, state.StartRecord);
  if (state.LeafIndex == 0) {
    state.WindowText = kNoEntries;
    state.FirstShown = 1;
    view.SetFileTxtText(state.Heading + state.WindowText);
    view.SetFileTxtSelStart(1);
    view.SetFilePosValue(1);
    state.WindowIdle = true;
    TellChangedFiles(state, platform, view);
    return;
  }

  // Both files are open for the span of this fill only.  Whatever cannot be
  // read in this fill is told once (FineProblems); nothing is read from a
  // file that could not be opened.
  FineProblems problems(platform);
  ByteFile index;
  ByteFile data;
  if (!state.IdxOpen) {
    if (!index.Open(state.IndexPath)) problems.Other();
    state.IdxOpen = index.IsOpen();
  }
  if (!state.DatOpen) {
    if (!data.Open(state.DataPath)) problems.Other();
    state.DatOpen = data.IsOpen();
  }
  state.WindowText.clear();
  const bool indexRead = index.IsOpen();
  if (indexRead) {
    LearnKeyRecordCheck(state, index, data);
    const KeyOrder order(state);
    const KeyFields keys(state, order);
    const bool compare = KeysCompared(state) && keys.Usable();
    WindowLinesSink sink(state, problems, data, compare ? &keys : nullptr);
    ScanEntries(state, index, order, problems, sink);
  }
  data.Close();
  state.DatOpen = false;
  index.Close();
  state.IdxOpen = false;

  // The section and the scroll value follow the first line shown.  An index
  // that could not be read says nothing about the profile: the window then
  // holds the heading alone, not a profile said to be empty.
  state.LastRead = state.EntryCounter;
  if (state.FirstShown == 0 && state.Section == 1) {
    view.SetFilePosValue(1);
    if (indexRead) {
      state.WindowText += kProfileEmpty;
      state.WindowText += state.LineBreak;
    }
  } else {
    const double first = RoundHalfEven(state.FirstShown);
    state.Section = first > kSectionSize ? static_cast<Long>((first - 1) / kSectionSize) + 1 : 1;
    const double value = state.FirstShown - double{kSectionSize} * (state.Section - 1);
    // Nothing shown outside section 1 leaves the first line at entry 0, below
    // the bar's minimum: the bar then stands at its first position, which is
    // where section 1 begins.
    SetScrollValue(problems, view, value < 1 ? 1 : value);
  }

  // The text, the caret, the section label and the position caption.
  view.SetFileTxtText(state.Heading + state.WindowText);
  const auto length = static_cast<Long>(std::min<std::size_t>(
      state.Heading.size() + state.WindowText.size(), static_cast<std::size_t>(INT32_MAX)));
  view.SetFileTxtSelStart(std::clamp<Long>(caret, 0, length));
  view.SetLabel1Caption(" " + std::to_string(state.Section));
  view.SetFilePosTxtCaption(PositionCaption(state));
  state.WindowIdle = true;
  TellChangedFiles(state, platform, view);
}

}  // namespace ondrel
