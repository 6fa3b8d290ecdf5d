// Opening an ISPEC and a profile the way the file chooser's Ok does, for the
// modes that work on a profile.
#pragma once

#include <string>

#include "database/FineProblems.h"
#include "database/IndexWalk.h"
#include "database/SharedState.h"
#include "tools/export/Options.h"
#include "tools/export/ToolPlatform.h"

namespace ondrel::tool {

struct Session {
  SharedState state;  // state.Walk: how building the reference information went
  ToolPlatform platform;
};

// Sets the text constants, chooses the ISPEC (LoadFileSet) and the profile
// (LoadProfile), and builds the reference information and the section count;
// the leaves' keys, which only a seek reads, are kept when `seeks` is set.  The files' identities are taken before and after
// (state.FilesRead); a set that changed meanwhile is opened again, and after
// kOpenAttempts such openings the tool ends with status 1.  Exits with status 1, after the viewer's message or one
// of its own, when the ISPEC is incomplete or has no such profile.
void OpenProfile(Session& session, const Options& options, bool seeks);

// Whether any file of the set differs from what OpenProfile read; if so, it
// says so on standard error.  (A set the owner left half written, with no
// file changing while it is read, is told by the count comparison.)
bool FilesChanged(const Session& session);

// The end of a mode that read the profile's entries: 0 when the walk and
// the reads went without a problem.  Otherwise everything readable has been
// written, and one last message line counts what could not be read (the
// walk's errors, and `problems` when given), and the mode ends with 1.
int EndOfRead(const Session& session, const FineProblems* problems, const std::string& what);

// The entry --seek finds: its number, or one past the last entry when no
// entry reaches the key.  Exits with status 1 after a message when the key
// cannot be sought (the definition is loaded first).  `found` tells the two
// apart.
Long SeekEntry(Session& session, const Options& options, bool* found = nullptr);

// Loads the definition unless it is loaded; exits with status 1 when there
// is none (the viewer's message has been shown by then).
void RequireDefinition(Session& session);
// Exits with status 1 when the definition's load has failed.
void EndWithoutDefinition(const Session& session);

}  // namespace ondrel::tool
