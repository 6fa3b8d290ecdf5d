#pragma once

#include "database/Platform.h"
#include "database/SharedState.h"

namespace ondrel {

// Reads the definition file of the chosen ISPEC (DefinitionPath) into
// FieldTable, FieldCount, RecordLength and Heading.  On any failure it shows
// the no-definition message and leaves FieldCount and RecordLength at 0 and
// Heading empty; it returns whether the load succeeded.
bool LoadDefinition(SharedState& state, Platform& platform);

// Whether a field with this name is shown: its name is empty or begins with a
// character below "[" by character code.
bool IsDisplayedField(const std::string& name);

}  // namespace ondrel
