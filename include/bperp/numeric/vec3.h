// Three-vectors as plain arrays of three doubles: the dot and cross products,
// the length, and the finiteness test that the run's checks share.
//
// The operations are written out in one fixed order (x, then y, then z;
// each cross component as a product minus a product), so that every caller
// gets bit for bit the results it had when it wrote them by hand.
#pragma once

#include <cmath>

namespace bperp {

// a . b = (a0 b0 + a1 b1) + a2 b2, in the units of the product.
inline double dot(const double* a, const double* b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// out = a x b = (a1 b2 - a2 b1, a2 b0 - a0 b2, a0 b1 - a1 b0); out must not
// alias a or b.
inline void cross(const double* a, const double* b, double* out) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

// |a| = sqrt(a . a); overflows to infinity for components beyond about
// 1e154 (use std::hypot where that matters).
inline double norm(const double* a) { return std::sqrt(dot(a, a)); }

// True when all three components are finite numbers.
inline bool all_finite(const double* a) {
  return std::isfinite(a[0]) && std::isfinite(a[1]) && std::isfinite(a[2]);
}

}  // namespace bperp
