#pragma once

#include "database/ByteFile.h"
#include "database/SharedState.h"

namespace ondrel {

// Turns the data record at `position` (1-based, in the open data file) into
// RecordLine (the displayed fields, each followed by one blank) and
// RecordFlag ("Y" active, "N" purged).  `position` is advanced past the
// fields.  Returns false when a read fails: RecordLine then holds the fields
// gathered so far and RecordFlag "Y"; the caller reports the failure.
bool ReadRecord(SharedState& state, ByteFile& data, Long& position);

}  // namespace ondrel
