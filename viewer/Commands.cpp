#include "viewer/Commands.h"

#include <algorithm>

#include "viewer/RecordWindow.h"
#include "viewer/Rounding.h"

namespace ondrel {
namespace {

void PrintCentred(Printer& printer, const std::string& text) {
  printer.PrintLine(std::string(static_cast<std::size_t>(CentringBlanks(text.size())), ' ') + text);
}

void PrintEmptyLines(Printer& printer, int count) {
  for (int i = 0; i < count; ++i) printer.PrintEmptyLine();
}

// The window's text as one print item: its own CR LF line ends start new
// lines, and the item ends with a line end of its own, so a text that ends
// with CR LF closes with an empty line.
void PrintWindowText(Printer& printer, const std::string& text) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      printer.PrintLine(text.substr(start));
      return;
    }
    printer.PrintLine(text.substr(start, end - start));
    start = end + 2;
  }
}

void PrintWindowBlock(const SharedState& state, const ContentsView& view, Printer& printer) {
  PrintEmptyLines(printer, 3);
  PrintCentred(printer, state.IspecName + " via " + state.ProfileName);
  PrintCentred(printer, view.FilePosTxtCaption());
  PrintEmptyLines(printer, 2);
  PrintWindowText(printer, view.FileTxtText());
}

}  // namespace

void ShowSectionControls(const SharedState& state, ContentsView& view) {
  const bool sections = state.SectionCount >= 2;
  view.SetKeypadVisible(sections);
  if (sections) view.SetLabel1Caption(std::to_string(state.Section));
  view.SetLabel1Visible(sections);
  view.SetLabel2Caption(std::to_string(state.SectionCount) + " Section(s)");
  view.SetLabel2Visible(true);
}

bool ShowChosenFile(SharedState& state, Platform& platform, ContentsView& view,
                    const std::vector<std::string>& ordinates) {
  if (state.ChooserCancelled || state.DataPath.empty()) return false;
  state.Section = 1;
  state.SectionEntry.clear();
  ShowSectionControls(state, view);

  view.SetOrdsVisible(true);
  view.SetOrdsCaption("");
  std::string ords;
  for (std::size_t i = 0; i < ordinates.size() && i < 3; ++i) ords += ordinates[i] + state.LineBreak;
  view.SetOrdsCaption(ords);

  // The change event this assignment may raise must not fill the window.
  state.WindowIdle = false;
  view.SetFilePosValue(1);
  state.WindowIdle = true;
  platform.DoEvents();

  state.StartRecord = 1;
  FillRecordWindow(state, platform, view);
  // Without a definition the fill changes nothing but the Print and Copy
  // buttons, which keeps a window on screen while its file set stays the
  // same.  Here the file set is a new one: the window and the position of
  // the one before must not stand under its title.
  if (state.RecordLength == 0) {
    view.SetFileTxtText("");
    view.SetFilePosTxtCaption("");
  }
  return true;
}

std::optional<OpenIspec> OpenIspecOf(const SharedState& state) {
  if (state.DataPath.empty() || state.IspecName.empty()) return std::nullopt;
  // The directory as the chooser gave it: the data file's path less the
  // file's name.
  const std::string dataName = "_" + state.IspecName + ".DAT";
  if (state.DataPath.size() < dataName.size() ||
      state.DataPath.compare(state.DataPath.size() - dataName.size(), dataName.size(), dataName) != 0)
    return std::nullopt;
  return OpenIspec{state.DataPath.substr(0, state.DataPath.size() - dataName.size()), state.IspecName};
}

std::optional<std::string> ClipboardText(const SharedState& state, const ContentsView& view) {
  const std::string text = view.FileTxtText();
  if (text.empty()) return std::nullopt;
  return state.IspecName + " via " + state.ProfileName + ": " + view.FilePosTxtCaption() + state.LineBreak +
         text;
}

int CentringBlanks(std::size_t length) {
  const double blanks = RoundHalfEven(45.0 - static_cast<double>(length) / 2.0);
  return blanks > 0 ? static_cast<int>(blanks) : 0;
}

void PrintCommand(SharedState& state, const ContentsView& view, Printer& printer) {
  if (state.PrintPhase == 2) {
    state.PrintPhase = 1;
    PrintWindowBlock(state, view, printer);
    printer.EndDocument();
  } else {
    state.PrintPhase = 2;
    PrintEmptyLines(printer, 2);
    PrintCentred(printer, "Version " + state.VersionText);
    PrintWindowBlock(state, view, printer);
  }
}

}  // namespace ondrel
