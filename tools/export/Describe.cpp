// --describe: the index geometry, the chosen key, the leaf table's size and
// the profile's keys and conditions, one "Name: value" line each.
#include <algorithm>

#include "tools/export/Modes.h"
#include "tools/export/Output.h"
#include "tools/export/RecordCounts.h"
#include "tools/export/Session.h"
#include "viewer/Cp1252.h"

namespace ondrel::tool {

int DescribeMode(const Options& options) {
  Session session;
  OpenProfile(session, options, true);
  const SharedState& state = session.state;  // SeekEntry may load the definition
  const Long entries = state.LeafTable.empty() ? 0 : state.LeafTable.back().CumCount;

  std::string out;
  out += "Records: " + std::to_string(state.RecordCount) + "\n";
  out += "Node size: " + std::to_string(state.NodeSize) + "\n";
  out += "Root node: " + std::to_string(state.KeyHead.RootNode) + "\n";
  out += "Key length: " + std::to_string(state.KeyLength) + "\n";
  out += "Entry tail: " + std::to_string(state.EntryTail) + "\n";
  out += "Leaves: " + std::to_string(state.LeafIndex) + "\n";
  out += "Entries: " + std::to_string(entries) + "\n";
  out += "Sections: " + std::to_string(state.SectionCount) + "\n";
  // The chooser sorts its ISPEC(s) list by character code; ordinates and
  // conditions keep the profile file's order.
  std::vector<std::string> ispecs = session.platform.List(ChooserList::Ispecs);
  std::sort(ispecs.begin(), ispecs.end());
  for (const std::string& line : ispecs) out += "ISPEC: " + Cp1252ToUtf8(Printable(line)) + "\n";
  for (const std::string& line : session.platform.List(ChooserList::Ordinates))
    out += "Ordinate: " + Cp1252ToUtf8(Printable(line)) + "\n";
  for (const std::string& line : session.platform.List(ChooserList::Conditions))
    out += "Condition: " + Cp1252ToUtf8(Printable(line)) + "\n";
  if (!options.seek.empty()) {
    bool found = false;
    const Long entry = SeekEntry(session, options, &found);
    out += "Seek: " + std::to_string(found ? entry : 0) + "\n";
  }
  Stdout().Write(out);
  Stdout().Flush();
  // Counts read from files that changed since are no judge of the set.
  if (FilesChanged(session)) return 1;
  return TellCountDisagreement(session) ? 1 : 0;
}

}  // namespace ondrel::tool
