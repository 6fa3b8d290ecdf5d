// Whether a profile's index can belong to its data file, judged from three
// counts that cost next to nothing to learn: the record count in the index
// header, the whole slots of the data file and the entries of the profile's
// tree.
//
// The header counts the slots the data file had when the index was last
// written, purged ones included, so a sound set has no more counted records
// than slots (an index that counted only active records would count fewer,
// never more).  Each record has at most one entry in a tree, so no profile
// has more entries than slots.  A profile without conditions has an entry for
// every active record (a purged record may keep its entry), so it has no
// fewer entries than active records; a profile with conditions may have any
// number fewer.  Active records are counted only when that last rule needs
// them: a profile without conditions that has fewer entries than slots.
//
// A set that breaks a rule has records its index does not know (an index
// older than its data file, or one the writer left half done) or has lost
// data records: every answer read through the profile misses records.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "database/SharedState.h"
#include "tools/export/Session.h"

namespace ondrel::tool {

struct RecordCounts {
  Long header = 0;          // the index header's record count
  std::int64_t slots = 0;   // whole slots of the data file
  Long entries = 0;         // entries of the profile's tree
  bool conditions = false;  // the profile has conditions
};

// The rule `counts` breaks, in words ("the profile has 90 entries for 100
// active records"), or empty when they can all be true of a sound set.
// `active` counts the active records, when they are needed; empty when it
// cannot (a data file that cannot be read is no disagreement: its reads fail
// on their own).
std::string CountDisagreement(const RecordCounts& counts,
                              const std::function<std::optional<std::int64_t>()>& active);

// The same for the profile opened in `state` after its walk: the header's
// count, the data file's whole slots and active records (the definition is
// loaded into a copy if it is not loaded), the entries the walk found.  Empty
// when the data file or the definition cannot be read.
std::string CountDisagreement(const SharedState& state, bool conditions);

// Tells the disagreement of the session's profile, when there is one, in one
// message line; true when it did.  A walk that failed has told already that
// entries were lost, and is not judged again.
bool TellCountDisagreement(Session& session);

}  // namespace ondrel::tool
