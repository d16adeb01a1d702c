#include "bperp/numeric/scalar.h"

#include <climits>
#include <cmath>
#include <cstdio>

#include "bperp/numeric/fatal_error.h"

namespace bperp {

double ipow(double x, int n) {
  double product = 1.0;
  double flag = 1.0;
  // The magnitude is taken unsigned, so that INT_MIN has one too.
  unsigned int count = static_cast<unsigned int>(n);
  if (n < 0) {
    flag = -1.0;
    count = 0u - count;
  }
  for (unsigned int i = 0; i < count; ++i) product = product * x;
  if (flag != 1.0) return 1.0 / product;
  return product;
}

int rtoi(double r) {
  // Away from zero: floor for negative values (and NaN), ceil otherwise.
  const double ir = (r < 0.0 || std::isnan(r)) ? std::floor(r) : -std::floor(-r);
  const bool fits = ir >= static_cast<double>(INT_MIN) && ir <= static_cast<double>(INT_MAX);
  if (std::fabs(ir - r) > 1e-05 || (!fits && !std::isnan(r))) {
    const int shown = fits ? static_cast<int>(ir) : (ir < 0.0 ? INT_MIN : INT_MAX);
    char text[96];
    std::snprintf(text, sizeof text, "different!(m16.rtoi) r=%23.15e ir=%d\n", r, shown);
    throw FatalError(text, FatalKind::refusal);
  }
  return std::isnan(r) ? 0 : static_cast<int>(ir);
}

}  // namespace bperp
