#include "screens/ControlTips.h"

namespace ondrel {

TipZone ZoneOf(const TwipsRect& c, Integer px, Integer py) {
  TipZone z;
  z.Left = static_cast<float>(c.Left - 3 * px);
  z.Right = static_cast<float>(c.Left + c.Width + 2 * px);
  z.Top = static_cast<float>(c.Top - 3 * py);
  z.Bottom = static_cast<float>(c.Top + c.Height + 2 * py);
  return z;
}

std::optional<TipZoneId> ZoneAt(const TipZones& zones, float x, float y) {
  for (int i = 0; i < kTipZoneCount; ++i) {
    const TipZone& z = zones[i];
    if (z.Left <= x && x <= z.Right && z.Top <= y && y <= z.Bottom) return static_cast<TipZoneId>(i);
  }
  return std::nullopt;
}

bool ZoneOfHideableControl(TipZoneId zone) {
  return zone == TipZoneId::CopyToClipboard || zone == TipZoneId::Print || zone == TipZoneId::Enter;
}

const char* TipText(TipZoneId zone) {
  switch (zone) {
    case TipZoneId::Tips:
      return "Explanations of controls under the mouse.\n"
             "Keys: Ctrl+G, Ctrl+F, F3, Shift+F3, F5 and Ctrl+K; F1 tells what each does.";
    case TipZoneId::FileTxt:
      return "Displays records from the file.  You can 'lock' a heading (when moving the file pointer) "
             "to be the rightmost heading in the display by highlighting it.";
    case TipZoneId::FilePos:
      return "Moves the display through the file, showing approximately 20 lines at a time.  Clicking "
             "the arrow button moves 1 record, the scroll bar one screenfull, dragging the scroll "
             "button allows you to position to any record in the file.";
    case TipZoneId::ChooseFile:
      return "Choose a file to display from the Ondrel run time database.";
    case TipZoneId::Exit:
      return "Take a guess!";
    case TipZoneId::Print:
      return "Prints the displayed records (up to 90 or so characters).";
    case TipZoneId::CopyToClipboard:
      return "Copies displayed records (in their full width) to the Clipboard.  From there, you can "
             "Paste them into another application.";
    case TipZoneId::Enter:
      return "Selects which section of the file to view.  Due to program limits, the file may be too "
             "large and is logically divided into sections.";
  }
  return "";
}

const char* KeysText() {
  return "Ctrl+G: go to a key, typed in one box per key field of the profile\n"
         "Ctrl+F: find a text, from the window's first line on\n"
         "F3: find the text again, after the first line\n"
         "Shift+F3: find the text again, before the first line\n"
         "F5: read the file again, as it is on disk now\n"
         "Ctrl+K: check the files of the ISPEC, every profile, and show what is wrong\n"
         "F1: these keys";
}

}  // namespace ondrel
