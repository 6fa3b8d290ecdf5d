#pragma once

#include <string>
#include <vector>

#include "database/Platform.h"
#include "database/SharedState.h"

namespace ondrel {

// The ISPECs of a directory, in the order the directory listing gives them
// (the chooser sorts them for display).  Empty when the directory holds none
// or cannot be read; `readable`, when given, tells the two apart.
std::vector<std::string> ListIspecs(const std::string& directory, bool* readable = nullptr);

// The path of a file of the set: the directory, one separator (none when the
// directory already ends in one), then the file name.
std::string JoinPath(const std::string& directory, const std::string& fileName);

// Choosing an ISPEC: names its four files, lists its profiles (also through
// the chooser's Profiles list), reads the node size and record count from the
// index header and proves the data file can be opened.  Returns the profile
// list in file order.  On any failure it shows the incomplete-database
// message and ends the program through the platform; it does not return.
std::vector<std::string> LoadFileSet(SharedState& state, Platform& platform,
                                     const std::string& directory, const std::string& chosenEntry);

// The chooser's record-count label for a count: "5000 Records".
std::string RecordCountCaption(Long recordCount);

}  // namespace ondrel
