// Names as a user types them.  A profile's name is stored in Windows-1252;
// the user types it as the listings show it, in UTF-8, with control
// characters written as the listings escape them.  The stored bytes
// themselves are taken too, for a name typed as raw bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ondrel {

// The position in `profiles` (file order) of the profile the user named;
// -1 when none is.  A name read as UTF-8 is preferred to the same bytes
// read raw: the user typed what the listing showed.  Of two profiles of one
// name the first is taken, as the chooser takes it.
int TypedProfilePosition(const std::vector<std::string>& profiles, std::string_view typed);

}  // namespace ondrel
