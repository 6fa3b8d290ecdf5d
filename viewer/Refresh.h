// Refreshing the open file set (F5 on the contents screen).
//
// The program that owns the database goes on adding, changing and removing
// records while the viewer shows them, and the viewer reads the index header
// and the tree only when a file set is opened.  A refresh reads them again:
// the header (node size, record count and so the sections), the key
// description of the profile on view (a root that split has moved) and the
// reference information of its tree.  The window is then shown again at the
// entry it started at, or at the last entry when the profile has fewer now.
//
// Everything is read into a copy of the shared state first, through the same
// loads as the chooser's (LoadFileSet, LoadProfile, the walk), but with their
// messages kept back and their end of the program turned into a failure.
// Only when every read succeeded does the copy replace the file-set part of
// the state; a file set that can no longer be read gives one message and
// leaves the state and the screen as they were.  The definition (field table
// and heading) is kept: a refresh is about records, and the definition of a
// live database does not change under a running application.
//
// The chooser's Ok reads the set the same way: the header it read when the
// ISPEC was clicked may be minutes older than the tree walked at the Ok.
#pragma once

#include <string>

#include "database/Platform.h"
#include "database/SharedState.h"
#include "viewer/ContentsView.h"

namespace ondrel {

// How a refresh that could not read the file set ends its message.
inline constexpr const char* kRefreshStaysAsItWas = "  The window stays as it was; F5 tries again.";

// Whether the contents screen shows a file set that a refresh can read again:
// an ISPEC and a profile were opened through the chooser's Ok.
bool FileSetOpen(const SharedState& state);

// The number of entries of the chosen key's tree, by the reference
// information.

// The entry a refreshed window starts at: the first entry it showed, the
// last entry when the tree now ends before it, and 1 when nothing was shown
// or the tree is empty.
double RefreshStartEntry(double firstShown, Long entries);

// What the chooser's Ok and a refresh read: the index header, the key
// description of the profile chosen in `state` and the reference
// information of its tree, into a copy of the state, all from one state of
// the files.  A reading during which any file of the set changed is made
// again, a few times (ReadUnchanged); the files' identities taken before the
// reading that counts become FilesRead.  Only then does the copy replace the
// file-set part of `state`, and the walk's messages are shown.  Returns ""
// or why the set could not be read (`state` is then as it was): a file that
// cannot be read, a profile no longer there, a set that kept changing.
std::string ReadChosenSet(SharedState& state, Platform& platform);

// Reads the open file set again and fills the window again, once: the
// section controls, the scroll maximum of the section (as "Enter" on the
// keypad sets it) and the scroll value follow the start entry.  Returns
// whether the file set was read again.  Nothing happens, and false is
// returned, when no file set is open or a fill is running; a failure shows
// its message and changes nothing.
bool RefreshFileSet(SharedState& state, Platform& platform, ContentsView& view);

}  // namespace ondrel
