// The screens' layout unit.
//
// The screens were designed in twips (1440 to the inch) on a screen of 96
// dots per inch, that is 15 twips to a pixel.  The forms are laid out in
// pixels at that ratio, and Qt keeps widget geometry in device-independent
// pixels whatever the screen's real density, so the screen's twips per pixel
// are 15 both ways and every length converts exactly.
#pragma once

#include <cmath>

#include "database/SharedState.h"

namespace ondrel {

inline constexpr int kTwipsPerPixel = 15;

inline Long ToTwips(int pixels) { return static_cast<Long>(pixels) * kTwipsPerPixel; }

// A length or position in twips as the nearest whole pixel.
inline int ToPixels(Long twips) {
  return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

}  // namespace ondrel
