// The deep check of one profile: its tree's shape, the order of its keys,
// its interior keys, and each leaf entry against the record it points at.
#pragma once

#include "database/SharedState.h"
#include "tools/export/CheckReport.h"

namespace ondrel::tool {

// Checks the chosen profile (LoadProfile has run and the definition is
// loaded) and writes its problems, notes and summary.  `conditions`: the
// profile has "C" records, so its key need not reach every active record.
void CheckProfile(SharedState& state, bool conditions, CheckReport& report);

}  // namespace ondrel::tool
