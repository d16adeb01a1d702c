// The cubic Hermite interpolation of an orbit and the point of closest
// approach to a fixed position.
//
// Frame: earth-fixed. Units: s, km, km/s.
#pragma once

#include <cstddef>
#include <string>

#include "bperp/stack/inputs/orbit_rows.h"

namespace bperp::stack {

// Position, velocity and acceleration of an interpolated orbit at one time.
struct OrbitPoint {
  double position[3] = {0.0, 0.0, 0.0};      // km
  double velocity[3] = {0.0, 0.0, 0.0};      // km/s
  double acceleration[3] = {0.0, 0.0, 0.0};  // km/s^2
};

// The cubic Hermite curve through rows a and b (positions and, as its
// derivative, velocities) evaluated at time t (s): the position, its first
// derivative (the velocity) and its second. Between a.t and b.t the position
// is accurate to about h^4 |r''''| / 384 for the row spacing h (0.2 mm at
// 10 s on a low orbit). a.t == b.t gives NaN.
OrbitPoint hermite_point(const OrbitRow& a, const OrbitRow& b, double t);
// The same at tau = t - a.t (s), which keeps its precision where the
// orbit's times are large.
OrbitPoint hermite_since(const OrbitRow& a, const OrbitRow& b, double tau);

enum class AlignStatus {
  ok,
  before_span,    // the closest approach lies before the first row
  after_span,     // the closest approach lies after the last row
  not_bracketed,  // no change of sign of the range rate in the segment found
  not_converged,  // the root search did not settle within its cap
  not_finite,     // a NaN or an infinity met on the way
};

// What the alignment found: the time of closest approach, the state vector
// there (velocity the Hermite derivative) and the segment it lies in.
struct Alignment {
  AlignStatus status = AlignStatus::ok;
  double t = 0.0;            // s, on the orbit's time scale
  StateVector state;         // km, km/s
  std::size_t segment = 0;   // rows segment and segment + 1
  int iterations = 0;        // root-search iterations made
};

// The most root-search iterations and the time tolerance (s) they work to:
// bisection alone halves a 10 s segment to 1e-9 s in 34 steps.
constexpr int align_max_iterations = 200;
constexpr double align_time_tolerance = 1e-9;

// The time at which the orbit is closest to the fixed position P (km): the
// root of g(t) = (S(t) - P) . S'(t) where g goes from negative to positive,
// searched in the segment next to the row nearest P, by Newton steps kept
// inside a bracket (bisection when a step leaves it). An orbit of fewer than
// 2 rows or a non-finite P gives not_finite.
Alignment closest_approach(const Orbit& orbit, const double* P);

// One line saying why an alignment failed (empty for ok).
std::string align_failure_text(const Alignment& alignment, const Orbit& orbit);

}  // namespace bperp::stack
