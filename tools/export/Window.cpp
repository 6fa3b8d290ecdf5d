// --window N: what "Copy to Clipboard" copies after the file was opened
// through "Choose File" (the window at entry 1) and then moved to entry N.
#include "tools/export/Modes.h"
#include "tools/export/Output.h"
#include "tools/export/RecordCounts.h"
#include "tools/export/Session.h"
#include "viewer/Commands.h"
#include "viewer/Cp1252.h"
#include "viewer/PlainContentsView.h"
#include "viewer/RecordWindow.h"
#include "viewer/Scrolling.h"

namespace ondrel::tool {

int WindowMode(const Options& options) {
  Session session;
  OpenProfile(session, options, true);
  SharedState& state = session.state;
  PlainContentsView view;
  view.SetFilePosMax(OpeningScrollMaximum(state.RecordCount));
  // The tool tells of changed files at its end, not as the screen's message.
  state.FilesChangeTold = true;
  ShowChosenFile(state, session.platform, view, session.platform.List(ChooserList::Ordinates));
  EndWithoutDefinition(session);

  state.StartRecord = static_cast<double>(options.seek.empty() ? options.window : SeekEntry(session, options));
  FillRecordWindow(state, session.platform, view);

  const std::optional<std::string> text = ClipboardText(state, view);
  if (text) {
    // The ISPEC's name is a file name and stays as it is; the rest is
    // database text.
    const std::size_t nameLength = state.IspecName.size();
    Stdout().Write(text->substr(0, nameLength));
    Stdout().Write(Cp1252ToUtf8(std::string_view(*text).substr(nameLength)));
  }
  Stdout().Flush();
  const int status = EndOfRead(session, nullptr, "window");
  return TellCountDisagreement(session) ? 1 : status;
}

}  // namespace ondrel::tool
