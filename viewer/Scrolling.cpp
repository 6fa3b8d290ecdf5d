#include "viewer/Scrolling.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "viewer/RecordWindow.h"
#include "viewer/Rounding.h"

namespace ondrel {
namespace {

// The entry number at scroll value v of section s.  Computed in 64 bits: the
// keypad keeps it within 32 bits for every value the bar can take in a
// section it has moved to, and a typed section used before "Enter" must not
// fail either.
std::int64_t EntryAt(Long section, Long value) {
  return (std::int64_t{section} - 1) * kSectionSize + value;
}

// The number the typed digits spell (leading zeros allowed; "" is 0).  The
// keypad keeps it small; the cap only guards against digits put there by
// anything else.
std::int64_t TypedNumber(const std::string& digits) {
  std::int64_t number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') continue;
    number = std::min<std::int64_t>(number * 10 + (c - '0'), INT32_MAX);
  }
  return number;
}

}  // namespace

Long ScrollTop(const ContentsView& view) { return std::max<Long>(1, view.FilePosMax()); }

Long OpeningScrollMaximum(Long recordCount) {
  return recordCount > kSectionSize ? kSectionSize : recordCount;
}

Long SectionCountOf(Long recordCount) { return recordCount / kSectionSize + 1; }

void FilePos_Change(SharedState& state, Platform& platform, ContentsView& view) {
  if (!state.WindowIdle) return;
  state.StartRecord = static_cast<double>(EntryAt(state.Section, view.FilePosValue()));
  FillRecordWindow(state, platform, view);
}

void FilePos_Scroll(SharedState& state, Platform& platform, ContentsView& view) {
  const Long value = view.FilePosValue();
  view.SetPtrCaption(std::to_string(EntryAt(state.Section, value)));
  view.SetPtrVisible(true);
  // Ptr runs from 150 below the bar's top (at the minimum) to 600 above its
  // bottom (at the maximum).  Without a maximum above 0 there is nothing to
  // divide by: Ptr stays at the top.
  const Long maximum = view.FilePosMax();
  std::int64_t offset = 0;
  if (maximum > 0) {
    const double span = RoundHalfEven(double(view.FilePosHeight() - 750) * double(value));
    offset = static_cast<std::int64_t>(span) / maximum;  // truncates toward zero
  }
  view.SetPtrTop(static_cast<Long>(std::int64_t{view.FilePosTop()} + 150 + offset));
  platform.DoEvents();
}

void Part_Click(SharedState& state, Platform& platform, ContentsView& view, int index) {
  if (index >= 0 && index <= 9) {
    // A digit that would take the number past what the scroll arithmetic
    // holds is ignored.
    const std::int64_t value = TypedNumber(state.SectionEntry) * 10 + index;
    if (value <= std::max<std::int64_t>(kLargestTypedSection, state.SectionCount)) {
      state.SectionEntry += static_cast<char>('0' + index);
      state.Section = static_cast<Long>(value);
    }
  } else if (index == kPartMinusOne) {
    if (state.Section >= 2) {
      --state.Section;
      state.SectionEntry = std::to_string(state.Section);
    }
  } else if (index == kPartPlusOne) {
    if (state.Section < state.SectionCount) {
      ++state.Section;
      state.SectionEntry = std::to_string(state.Section);
    }
  } else if (index == kPartEnter) {
    state.SectionEntry.clear();
    if (state.Section > state.SectionCount) state.Section = state.SectionCount;
    if (state.Section == state.SectionCount)
      view.SetFilePosMax(static_cast<Long>(state.RecordCount - EntryAt(state.Section, 0)));
    else
      view.SetFilePosMax(kSectionSize);
    view.SetFilePosValue(1);
    FilePos_Change(state, platform, view);
  }
  view.SetLabel1Caption(std::to_string(state.Section));
  view.SetLabel1Visible(true);
}

}  // namespace ondrel
