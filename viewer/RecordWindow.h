// The record window: at most WindowLines (21) lines of the chosen ISPEC's
// records, in the order of the chosen profile's key, under the two heading
// lines.
#pragma once

#include <string>

#include "database/Platform.h"
#include "database/SharedState.h"
#include "viewer/ContentsView.h"

namespace ondrel {

// Texts the window shows instead of, or after, record lines.
inline constexpr const char* kRecordPurged = ">> Record Purged <<";
inline constexpr const char* kProfileEmpty = ">> Profile is empty <<";
inline constexpr const char* kNoEntries = ">> No Entries <<";

// What the first fill after the files changed on disk says, once per
// opening of the set: the window may mix what was read before and after.
inline constexpr const char* kFilesChangedTitle = "Files changed";
inline constexpr const char* kFilesChanged =
    "The files of this ISPEC have changed on disk since the profile was opened, so the window may be out of "
    "date.  Press F5 to read them again.";

// Fills the window from entry StartRecord on: loads the definition when the
// heading is empty, finds the leaf holding the entry, reads entries and their
// data records until the window is full or the tree ends, and sets the text
// box, the scroll value, the section label and the position caption.  Does
// nothing but hide Ptr and set the Print and Copy buttons while another fill
// runs (WindowIdle false).  Every failure shows the fine-tables message once
// and the fill goes on with its next step, so it always ends with the files
// closed and WindowIdle true.  The first fill that finds the files changed
// since the leaf table was built says so in one message box.
void FillRecordWindow(SharedState& state, Platform& platform, ContentsView& view);

// "Record 1 thru 21 of 5000": the position caption for the current window.
std::string PositionCaption(const SharedState& state);

// A whole number held in a double, written as plain decimal digits.
std::string WholeNumberText(double value);

}  // namespace ondrel
