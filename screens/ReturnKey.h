// Return and the keypad's Enter press the button that has the keyboard, as
// Space does.
//
// Qt presses a focused push button on Return only when the button is a
// dialog's default candidate (autoDefault).  The contents screen is no
// dialog, and the chooser's buttons are deliberately not default candidates:
// Return in its directory list goes into a directory and must not press Ok
// as well.  So the key is taken here, on the button itself, and nowhere
// else: a list or a text box keeps its own meaning of Return.
#pragma once

class QWidget;

namespace ondrel {

// Makes Return and Enter press each push button inside `form`.
void PressButtonsOnReturn(QWidget* form);

}  // namespace ondrel
