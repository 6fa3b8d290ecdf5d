// The deep check: the check to run before trusting or migrating a
// database, for any front end.
//
//   {dir}                  every ISPEC of the directory
//   {dir, ISPEC}           every profile of the ISPEC
//   {dir, ISPEC, PROFILE}  that profile
//
// Each profile is checked in full: the shape of its tree (pointers, levels,
// cycles, used lengths), the order of its keys, the convention of its
// interior keys, each stored key against its record's ordinate fields, no
// two entries for one record and none for a purged one, and, for a profile
// without conditions, every active record reached (CheckProfile.h).  What
// it finds goes to the report as values (CheckReport.h), with its progress;
// the verdict on an ISPEC holds for one state of its files, so a set that
// changed while it was checked is a problem whatever the check found.
#pragma once

#include <string>

#include "check/CheckReport.h"

namespace ondrel::check {

struct CheckScope {
  std::string directory;
  std::string ispec;    // empty: every ISPEC of the directory
  std::string profile;  // empty: every profile of the ISPEC
};

// Checks `scope` into `report` and ends with its total.  False when the
// report's listener ended the check: the report then holds what was found
// so far, and no total.
bool RunCheck(const CheckScope& scope, CheckReport& report);

}  // namespace ondrel::check
