// The work of the contents screen's commands that does not depend on the
// toolkit: showing a file set the chooser has just opened, the clipboard
// text of "Copy to Clipboard", the document of "Print", and the ISPEC the
// check of Ctrl+K reads.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "database/Platform.h"
#include "database/SharedState.h"
#include "viewer/ContentsView.h"

namespace ondrel {

// The section controls of a file set: the keypad, and Label1 with Section,
// when SectionCount is 2 or more; Label2 with the section count.
void ShowSectionControls(const SharedState& state, ContentsView& view);

// "Choose File" once the chooser has hidden itself: unless the chooser was
// cancelled or no file set was ever chosen, resets the section controls,
// lists the first three ordinates of the profile in Ords, puts the scroll bar
// at 1 and fills the window from entry 1.  `ordinates` are the lines of the
// chooser's ordinates list.  When the new file set has no definition, the
// window and its position caption are emptied.  Returns whether the window
// was refilled.
bool ShowChosenFile(SharedState& state, Platform& platform, ContentsView& view,
                    const std::vector<std::string>& ordinates);

// What "Copy to Clipboard" puts on the clipboard: the ISPEC, " via ", the
// profile, ": ", the position caption, CR LF, then the window's text.  Empty
// when the window shows nothing; the clipboard is then left alone.
std::optional<std::string> ClipboardText(const SharedState& state, const ContentsView& view);

// The file set on view, as the chooser opened it: its directory (with its
// separator at the end) and its ISPEC.
struct OpenIspec {
  std::string directory;
  std::string ispec;
};
// Nothing when no file set is open, or when the data file's path is not
// the directory and the set's data file name.
std::optional<OpenIspec> OpenIspecOf(const SharedState& state);

// The printer operations "Print" needs.  The screen prints on the system's
// printer; tests record the lines.
class Printer {
 public:
  virtual ~Printer() = default;
  // A text followed by a line end.
  virtual void PrintLine(const std::string& text) = 0;
  virtual void PrintEmptyLine() = 0;
  // Sends the document's pages to the printer.
  virtual void EndDocument() = 0;
};

// Blanks that put a text of `length` characters in the middle of a
// 90-character line: 45 - length / 2, halves to the even count; 0 for a text
// too long to centre.
int CentringBlanks(std::size_t length);

// "Print": the first press of a pair starts a document with the version
// header and prints the window block; the second prints the window block and
// ends the document.
void PrintCommand(SharedState& state, const ContentsView& view, Printer& printer);

}  // namespace ondrel
