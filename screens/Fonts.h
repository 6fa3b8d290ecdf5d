// The screens' fonts.
//
// The forms name the fonts of their home platform: MS Sans Serif for the
// screens, Courier New for the record window and the chooser's key lists,
// Arial for the ordinates label.  Where those are not installed, their metric
// twins stand in (Liberation Mono for Courier New, Liberation Sans for Arial
// and for MS Sans Serif, which has no twin), so that text keeps the width the
// layout was drawn for.
#pragma once

class QWidget;

namespace ondrel {

// Registers the stand-ins with Qt's font substitution table.  Call once,
// after the application object exists and before any screen is built.
void InstallFontFallbacks();

// The forms store whole points only; the screens' design size is 8.25 point
// (11 pixels at 96 dots per inch).  Gives every widget under `root` (itself
// included) whose own font is set at 8 point the size 8.25.
void ApplyDesignPointSize(QWidget* root);

// Marks the widget's font as a typewriter font, so that even without Courier
// New or its twin a fixed-pitch face is chosen.
void PreferFixedPitch(QWidget* widget);

}  // namespace ondrel
