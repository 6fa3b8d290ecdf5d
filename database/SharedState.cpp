#include "database/SharedState.h"

namespace ondrel {

void SetTextConstants(SharedState& state) {
  state.LineBreak = "\r\n";
  state.Delimiter = "\n";
  state.TabChar = "\t";
  state.WindowLines = 21;
  state.WindowIdle = true;
}

}  // namespace ondrel
