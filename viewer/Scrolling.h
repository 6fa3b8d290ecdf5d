// Moving through the file: the scroll bar FilePos within a section of 32000
// entries, the pointer label Ptr beside the thumb while it is dragged, and the
// section keypad Part.
//
// An entry number n and the pair (section s, scroll value v) map to each
// other as n = (s - 1) * 32000 + v.
#pragma once

#include <cstdint>

#include "database/Platform.h"
#include "database/SharedState.h"
#include "viewer/ContentsView.h"

namespace ondrel {

// Keypad button indices: 0 to 9 are the digits.
inline constexpr int kPartMinusOne = 10;
inline constexpr int kPartPlusOne = 11;
inline constexpr int kPartEnter = 12;

// The largest section number the keypad takes by its digits: every entry
// number of a section up to this one, (s - 1) * 32000 + 32000, fits in 32
// bits.  A file's last section may lie one beyond; the keypad takes that one
// too.
inline constexpr Long kLargestTypedSection = INT32_MAX / kSectionSize;

// The highest value the scroll bar can take.  Its minimum is 1; a maximum
// below 1 (a file without entries, or the empty last section of a file whose
// count is a multiple of 32000) leaves the bar one position, 1.
Long ScrollTop(const ContentsView& view);

// What opening a file sets: the scroll maximum (the entry count, at most one
// section) and the number of sections (an exact multiple of 32000 entries
// gets an empty last section).
Long OpeningScrollMaximum(Long recordCount);
Long SectionCountOf(Long recordCount);

// The scroll value has changed (a click, the end of a drag, an assignment by
// the program): refills the window at (Section - 1) * 32000 + value, unless a
// fill is running.
void FilePos_Change(SharedState& state, Platform& platform, ContentsView& view);

// The thumb is being dragged: shows the entry number at the thumb in Ptr and
// moves Ptr beside it.  Touches no file; the change event at the end of the
// drag refills the window.
void FilePos_Scroll(SharedState& state, Platform& platform, ContentsView& view);

// A keypad button: a digit types a section number, "-1" and "+1" step it,
// "Enter" moves the window to the section's first entry.
void Part_Click(SharedState& state, Platform& platform, ContentsView& view, int index);

}  // namespace ondrel
