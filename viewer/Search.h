// Reaching a record by its key or by its text, in the record window: go to
// an entry as the section keypad would, go to a key (KeySeek.h), find text
// forwards or backwards (TextFind.h) with the question whether to go on from
// the other end.
#pragma once

#include <string>
#include <vector>

#include "database/ByteFile.h"
#include "database/Platform.h"
#include "database/SharedState.h"
#include "viewer/ContentsView.h"
#include "viewer/TextFind.h"

namespace ondrel {

// Shows the window from entry `entry` on, leaving the screen as the section
// keypad leaves it after "Enter" and a move of the scroll bar: the entry's
// section current, its scroll maximum set as "Enter" sets it, the bar at the
// entry, the caption and section label from the fill, Ptr hidden.  An entry
// past the last shows the window beyond the end (">> No Entries <<").
void GoToEntry(SharedState& state, Platform& platform, ContentsView& view, Long entry);

// Ctrl+G: the window from the first entry at or after the typed key (one
// text per leading ordinate, Windows-1252 bytes), sought in capitals when
// the keys are stored so; a key that cannot be sought, or that lies past the
// last key, is told in a message and the window stays as it was.  Returns
// whether the window moved.
bool GoToKey(SharedState& state, Platform& platform, ContentsView& view, const std::vector<std::string>& typed);

// The typed values as a key is sought for them: in capitals where the
// profile keeps its keys in capitals (learnt from the tree and the records
// when not yet known), whatever case they were typed in.
std::vector<std::string> SoughtKey(SharedState& state, ByteFile& index, std::vector<std::string> typed);

// Messages of the text search.
inline constexpr const char* kEndReached =
    "The search has reached the end of the profile.  Go on from the beginning?";
inline constexpr const char* kBeginningReached =
    "The search has reached the beginning of the profile.  Go on from the end?";
inline constexpr const char* kTextNotFound = "The text was not found.";

// F3 and Shift+F3: the next match after the window's first line (or the one
// before it going backwards), asking at the end of the profile whether to go
// on from the other end.  A match shows the window with its entry on the
// first line and selects the text found; no match, or a cancelled search,
// leaves the window as it was.  Returns the outcome.  `fromFirstLine` (a new
// search, Ctrl+F) looks at the window's first line itself first.
FindOutcome FindNext(SharedState& state, Platform& platform, ContentsView& view, const TextMatcher& matcher,
                     bool forward, SearchProgress* progress, bool fromFirstLine = false);

}  // namespace ondrel
