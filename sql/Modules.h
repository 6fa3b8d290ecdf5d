// The virtual tables of the SQL extension, each registered on a connection
// by its own function.
#pragma once

#include <sqlite3ext.h>

namespace ondrel::sql {

// ondrel(dir, ispec, profile) and CREATE VIRTUAL TABLE ... USING ondrel.
int RegisterProfileTable(sqlite3* db);
// ondrel_ispecs(dir) and ondrel_profiles(dir, ispec).
int RegisterCatalogueTables(sqlite3* db);

}  // namespace ondrel::sql
