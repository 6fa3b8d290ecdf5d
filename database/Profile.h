#pragma once

#include <string>
#include <vector>

#include "database/Platform.h"
#include "database/SharedState.h"

namespace ondrel {

// Choosing a profile: fills the chooser's title and its ISPEC(s), ordinates
// and conditions lists from the profile file, and reads the key description
// at the chosen position of the profile list from the index file (RootNode,
// KeyLength, EntryTail, EntryPad).  On any failure it shows the error's
// description titled "FileOpen" and ends the program; it does not return.
void LoadProfile(SharedState& state, Platform& platform, const std::vector<std::string>& profileList,
                 int chosenPosition);

// The display line of one condition or ordinate record (the record as read,
// its LF included).  Empty optional when the record is too short to read.
bool ConditionLine(const std::string& record, std::string& line);
std::string OrdinateLine(const std::string& record);

}  // namespace ondrel
