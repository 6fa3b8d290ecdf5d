// The entry point of the loadable SQLite extension libondrel.so: the one
// symbol the library exports.  The sqlite3 shell loads it with
//
//   .load ./libondrel
//
// and Python with connection.load_extension("./libondrel").
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

#include "sql/Modules.h"

extern "C" __attribute__((visibility("default"))) int sqlite3_ondrel_init(sqlite3* db, char** error,
                                                                         const sqlite3_api_routines* api) {
  SQLITE_EXTENSION_INIT2(api);
  int rc = ondrel::sql::RegisterProfileTable(db);
  if (rc == SQLITE_OK) rc = ondrel::sql::RegisterCatalogueTables(db);
  if (rc != SQLITE_OK && error) *error = sqlite3_mprintf("ondrel: the virtual tables cannot be registered");
  return rc;
}
