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

#include "database/LoadingPlatform.h"
#include "database/SharedState.h"

namespace ondrel::sql {

// What kind of failure a step met, for a front end that tells them apart:
// a file that cannot be opened (missing, or refused by the system), a file
// whose content is damaged, or anything else (a name that is not there).
enum class Failure { None, CannotOpen, Damaged, Other };

// The directory's own name for an ISPEC named `ispec`: the name itself when
// the directory lists it, else the listed name whose Windows-1252 bytes read
// as `ispec` in UTF-8, else `ispec` as it is.
std::string IspecFileName(const std::string& directory, const std::string& ispec);

// Chooses the ISPEC (LoadFileSet) and loads its definition.  `profiles`
// gets the profile list in file order.  `ispec` is the name as the
// directory holds it, or as SQL gives it: UTF-8 that reads as one of the
// directory's ISPEC names in Windows-1252 is taken as that name.  A file
// that is there but cannot be opened (too many open files, no permission)
// is told as such, not as a missing part of the database.
std::string OpenIspec(SharedState& state, LoadingPlatform& platform, const std::string& directory,
                      const std::string& ispec, std::vector<std::string>& profiles, Failure* kind = nullptr);

// Chooses the profile at `position` (LoadProfile) and, with `walk`, builds
// the reference information.  A walk that met any failure fails: the rows
// under a damaged branch would be missing without a word.
std::string ChooseProfile(SharedState& state, LoadingPlatform& platform,
                          const std::vector<std::string>& profiles, int position, bool walk,
                          Failure* kind = nullptr);

}  // namespace ondrel::sql
