// Rounding to the nearest whole number with halves going to the even
// neighbour (2.5 gives 2, 3.5 gives 4), as the screen's arithmetic rounds.
// Written out rather than left to the floating-point rounding mode, so that
// nothing set elsewhere in the process can change the result.
#pragma once

#include <cmath>

namespace ondrel {

inline double RoundHalfEven(double x) {
  const double down = std::floor(x);
  const double fraction = x - down;
  if (fraction < 0.5) return down;
  if (fraction > 0.5) return down + 1.0;
  return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

}  // namespace ondrel
