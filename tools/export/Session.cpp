#include "tools/export/Session.h"

#include <algorithm>
#include <cstdlib>

#include "database/Catalogue.h"
#include "database/Definition.h"
#include "database/FileIdentity.h"
#include "database/IndexWalk.h"
#include "database/KeySeek.h"
#include "database/Profile.h"
#include "database/Text.h"
#include "tools/export/Output.h"
#include "viewer/Cp1252.h"
#include "viewer/Scrolling.h"
#include "viewer/Search.h"
#include "viewer/TypedNames.h"

namespace ondrel::tool {

namespace {

void OpenOnce(Session& session, const Options& options, bool seeks) {
  SharedState& state = session.state;
  state = SharedState{};
  session.platform.lists.clear();
  SetTextConstants(state);
  const std::vector<std::string> profiles =
      LoadFileSet(state, session.platform, options.directory, options.ispec);
  const int chosen = TypedProfilePosition(profiles, options.profile);
  if (chosen < 0) {
    session.platform.Show();
    Fail("The ISPEC " + state.IspecName + " has no profile " + options.profile + ".");
  }
  LoadProfile(state, session.platform, profiles, chosen);
  BuildReferenceInformation(state, session.platform, false, seeks);  // how it went: state.Walk
  state.SectionCount = SectionCountOf(state.RecordCount);
}

}  // namespace

void OpenProfile(Session& session, const Options& options, bool seeks) {
  // The set is read while its owner may write it: an opening during which
  // any of its files changed is dropped, messages and all, and made again.
  SetIdentity identity;
  session.platform.Hold();
  const bool settled = ReadUnchanged(PathsOf(options.directory, options.ispec), identity, [&] {
    session.platform.Drop();
    OpenOnce(session, options, seeks);
  });
  session.platform.Show();
  if (!settled)
    Fail("The files of the ISPEC " + Printable(TrimSpaces(options.ispec)) + " kept changing on disk while " +
         "they were being opened; try again when they are not being written.");
  session.state.FilesRead = identity;
  session.state.FilesKnown = true;
}

bool FilesChanged(const Session& session) {
  const SharedState& state = session.state;
  if (!FilesChanged(state)) return false;
  ErrorLine(std::string(kApplicationTitle) + ": " + ChangedFilesText(Printable(state.IspecName)));
  return true;
}

int EndOfRead(const Session& session, const FineProblems* problems, const std::string& what) {
  const bool changed = FilesChanged(session);
  std::vector<std::string> parts;
  const WalkResult& walk = session.state.Walk;
  if (walk.failures > 0) {
    std::string part = "building the reference information met " + std::to_string(walk.failures) +
                       (walk.failures == 1 ? " error" : " errors");
    if (walk.stopped) part += " and left " + std::to_string(walk.skipped) + " branches of the tree unread";
    parts.push_back(part);
  }
  if (problems && problems->Any()) parts.push_back(problems->Summary());
  const int fine = session.platform.FineMessages();
  if (!problems && fine > 0) parts.push_back("reading the entries and records met a problem");
  if (parts.empty()) return changed ? 1 : 0;
  std::string text = "The " + what + " is incomplete: ";
  for (std::size_t i = 0; i < parts.size(); ++i) text += (i > 0 ? "; " : "") + parts[i];
  ErrorLine(std::string(kApplicationTitle) + ": " + text + ".");
  return 1;
}

Long SeekEntry(Session& session, const Options& options, bool* found) {
  RequireDefinition(session);
  SharedState& state = session.state;
  std::vector<std::string> typed;
  for (const std::string& value : options.seek) {
    std::string bytes;
    if (!Utf8ToCp1252(value, bytes))
      Fail("The value " + value + " of --seek holds a character the database's code page cannot hold.");
    typed.push_back(bytes);
  }
  ByteFile index;
  if (!index.Open(state.IndexPath)) Fail("The index file " + state.IndexPath + " cannot be opened.");
  // As the viewer's Ctrl+G seeks it.
  const SeekResult result = SeekKey(state, index, SoughtKey(state, index, typed));
  if (result.outcome == SeekOutcome::Refused) Fail(Cp1252ToUtf8(result.message));
  if (found) *found = result.outcome == SeekOutcome::Found;
  if (result.outcome == SeekOutcome::Found) return result.entry;
  return EntryCount(state) + 1;
}

void RequireDefinition(Session& session) {
  if (session.state.Heading.empty()) LoadDefinition(session.state, session.platform);
  EndWithoutDefinition(session);
}

void EndWithoutDefinition(const Session& session) {
  if (session.state.RecordLength != 0) return;
  Stdout().Flush();
  std::exit(1);
}

}  // namespace ondrel::tool
