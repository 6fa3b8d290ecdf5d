// Choosing an ISPEC and one of its profiles the way the file chooser does,
// for a front end that must report failures instead of ending: the SQL
// extension and the SQLite export.
//
// Each step returns the viewer's message when it fails ("" when it did
// not): the incomplete-database message of LoadFileSet, the "FileOpen"
// message of LoadProfile, the no-definition message of LoadDefinition, and
// the coarse-tables message of a walk that met a damaged tree.
#pragma once

#include <string>
#include <vector>

#include "database/SharedState.h"
#include "sql/CatchingPlatform.h"

namespace ondrel::sql {

// Chooses the ISPEC (LoadFileSet) and loads its definition.  `profiles`
// gets the profile list in file order.
std::string OpenIspec(SharedState& state, CatchingPlatform& platform, const std::string& directory,
                      const std::string& ispec, std::vector<std::string>& profiles);

// The position of a profile in the list by its name as SQL gives it (UTF-8;
// the profile file's names are Windows-1252); -1 when there is none.
int ProfilePosition(const std::vector<std::string>& profiles, const std::string& name);

// Chooses the profile at `position` (LoadProfile) and, with `walk`, builds
// the reference information.  A walk that met any failure fails: the rows
// under a damaged branch would be missing without a word.
std::string ChooseProfile(SharedState& state, CatchingPlatform& platform,
                          const std::vector<std::string>& profiles, int position, bool walk);

}  // namespace ondrel::sql
