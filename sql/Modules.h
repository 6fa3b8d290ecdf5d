// The virtual tables of the SQL extension, each registered on a connection
// by its own function.
#pragma once

#include <sqlite3ext.h>

#include "sql/ProfileSource.h"

namespace ondrel::sql {

// The result code a module gives for a failure: a file that cannot be
// opened, damage in a file, or anything else.
inline int ResultCode(Failure kind) {
  switch (kind) {
    case Failure::CannotOpen: return SQLITE_CANTOPEN;
    case Failure::Damaged: return SQLITE_CORRUPT_VTAB;
    default: return SQLITE_ERROR;
  }
}

// ondrel(dir, ispec, profile) and CREATE VIRTUAL TABLE ... USING ondrel.
int RegisterProfileTable(sqlite3* db);
// ondrel_ispecs(dir) and ondrel_profiles(dir, ispec).
int RegisterCatalogueTables(sqlite3* db);

}  // namespace ondrel::sql
