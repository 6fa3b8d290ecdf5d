// The modes of ondrel-export.  Each writes its result to standard output
// and returns the exit status; failures that end the viewer end the tool
// with status 1 before that.
#pragma once

#include "tools/export/Options.h"
#include "tools/export/Session.h"

namespace ondrel::tool {

int ListIspecsMode(const Options& options);    // DIR
int ListProfilesMode(const Options& options);  // DIR ISPEC
int ExportMode(const Options& options);        // text, CSV or JSON
// The export of a profile opened already, as OpenProfile leaves a session
// (its files' identities taken, its walk done): the page's export of the
// profile it shows, whose walk is not made again.
int ExportOpened(Session& session, const Options& options);
int WindowMode(const Options& options);        // --window N
int DescribeMode(const Options& options);      // --describe
int CheckMode(const Options& options);         // --check
int SqliteMode(const Options& options);        // --sqlite OUT.db DIR

}  // namespace ondrel::tool
