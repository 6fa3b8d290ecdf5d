// Database text on the screen.
//
// The files of a run time database are 8-bit text, one character per byte,
// written in the Windows-1252 code page of the platform they come from.  The
// screens turn those bytes into Qt strings here, one character per byte, so
// that no byte is dropped or merged and the columns of a record window stay
// aligned.  The mapping is a bijection: ToCp1252(FromCp1252(b)) == b for
// every byte string b.
#pragma once

#include <string>
#include <string_view>

#include <QString>

#include "database/SharedState.h"

namespace ondrel {

// One character per byte, by the record viewer's table of the code page:
// bytes 0x80 to 0x9F take the code page's characters, its five undefined
// bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) the C1 control code points of the same
// value, and every other byte the code point of its own value.
QString FromCp1252(std::string_view bytes);

// The inverse; a character that no byte gives becomes "?".
std::string ToCp1252(const QString& text);

// What the record window's text box draws for its text: each CR LF pair is
// one line break, and every other byte that draws nothing (the C0 controls,
// a lone CR or LF, DEL and the undefined C1 bytes) is shown as a white square,
// so that it still takes its one column and never breaks a line.
QString TextBoxDisplay(std::string_view bytes);

// A label's caption: the characters of FromCp1252, with CR LF pairs as line
// breaks.
QString LabelDisplay(std::string_view bytes);

// Caret positions.  The text box counts a CR LF line end as two positions,
// as the record viewer does; its drawing (TextBoxDisplay) shows it as one
// line break.  These convert between the two counts for `bytes`, the text
// as the viewer set it.  Positions are 0-based and clamped to the text.
Long DisplayToTextPosition(std::string_view bytes, Long displayPosition);
Long TextToDisplayPosition(std::string_view bytes, Long textPosition);

}  // namespace ondrel
