// The deep check of one profile: its tree's shape, the order of its keys,
// its interior keys, and each leaf entry against the record it points at.
#pragma once

#include "database/SharedState.h"
#include "check/CheckReport.h"
#include "check/CheckWalk.h"

namespace ondrel::check {

// Checks the chosen profile (LoadProfile has run and the definition is
// loaded) and writes its problems, notes and summary.  `conditions`: the
// profile has "C" records, so its key need not reach every active record.
// `owners` holds the nodes the ISPEC's trees checked before reached.
void CheckProfile(SharedState& state, bool conditions, NodeOwners& owners, CheckReport& report);

}  // namespace ondrel::check
