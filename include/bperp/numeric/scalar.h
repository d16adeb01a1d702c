// Integer power and the rounding of whole-number settings.
#pragma once

namespace bperp {

// x to the integer power n, by n successive multiplications starting from
// 1.0 (not by squaring, not by pow); n < 0 gives 1.0 divided by x^|n| under
// IEEE rules (x = 0 gives an infinity); n = 0 gives 1.0 for every x.
double ipow(double x, int n);

// A double meant to hold a whole number (a selector or model number stored
// among the settings), converted to int. The integer is taken away from zero
// (floor below 0, ceil from 0 up): 2.3 -> 3, -2.3 -> -3. If it differs from r
// by more than 1e-05, or does not fit in an int, throws FatalError
// (refusal) with "different!(m16.rtoi) r=%23.15e ir=%d\n". NaN passes
// the test and gives 0.
int rtoi(double r);

}  // namespace bperp
