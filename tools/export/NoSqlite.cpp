// --sqlite in a build without SQLite (the WebAssembly one): every other mode
// is there, and this one says that it is not, as a usage error does (status
// 2), since no database could make the run succeed.
#include "tools/export/Modes.h"
#include "tools/export/Output.h"

namespace ondrel::tool {

int SqliteMode(const Options&) {
  ErrorLine("ondrel-export: --sqlite is not available in this build; the native ondrel-export writes SQLite files");
  return 2;
}

}  // namespace ondrel::tool
