// Orbits as rows of state vectors: their interpolation, with an estimate of
// its error, and the point of closest approach to a fixed position.
//
// The interpolant is the Hermite polynomial through the positions and the
// velocities of several neighbouring rows (degree 2k - 1 for k rows): it
// uses every number an orbit product gives, works on as few as four rows
// (an image parameter file holds six), and on six rows 10 to 300 s apart it
// follows a low earth orbit to well under a millimetre. Its error is
// estimated by the difference to the interpolant of the two inner rows
// fewer (four rows instead of six), which bounds the error of the six-row
// value from above by far.
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

// Rows used by the interpolant (at most interpolation_max_rows) and by the
// one it is checked against; the fewest rows an orbit may have.
constexpr std::size_t interpolation_rows = 6;
constexpr std::size_t estimate_rows = 4;
constexpr std::size_t interpolation_max_rows = 8;
constexpr std::size_t orbit_min_interpolation_rows = 4;

// A run of consecutive rows: first .. first + count - 1.
struct RowWindow {
  std::size_t first = 0;
  std::size_t count = 0;
};

// The `rows` rows around segment (segment, segment + 1) of an orbit of n
// rows: as many before the segment as after it, shifted to stay inside the
// orbit at its ends; all n rows when there are fewer.
RowWindow window_around(std::size_t n, std::size_t segment, std::size_t rows);

// The Hermite interpolant through the rows of window (2 to 8 rows, times
// strictly increasing) at tau seconds after row `origin` (any row; times are
// taken relative to it, which keeps their precision where the orbit's own
// times are large): position, velocity (its derivative) and acceleration.
// A window outside the orbit or of 0, 1 or more than 8 rows gives NaN.
OrbitPoint hermite_interpolate(const Orbit& orbit, RowWindow window, std::size_t origin, double tau);

// The same interpolant with its Newton coefficients worked out once, for a
// search that evaluates it at many times: hermite_curve(orbit, window,
// origin).at(tau) is hermite_interpolate(orbit, window, origin, tau) to the
// last bit. Times in units of the window's mean row spacing h (s) from the
// origin row.
class HermiteCurve {
 public:
  HermiteCurve(const Orbit& orbit, RowWindow window, std::size_t origin);
  // Position, velocity and acceleration at tau seconds after the origin row
  // (NaN for a window hermite_interpolate refuses).
  OrbitPoint at(double tau) const;

 private:
  static constexpr std::size_t max_nodes = 2 * interpolation_max_rows;
  std::size_t nodes_ = 0;         // 0 for a refused window
  double h_ = 0.0;                // s
  double z_[max_nodes] = {};      // node times / h
  double c_[3][max_nodes] = {};   // divided differences per axis, km
};

// The interpolated state at tau seconds after row `segment`, in that
// segment's window of interpolation_rows rows, and the estimate of its
// position error: the distance to the interpolant of estimate_rows rows
// (km). The orbit needs at least orbit_min_interpolation_rows rows.
struct InterpolatedState {
  OrbitPoint point;
  double error = 0.0;  // km
};
InterpolatedState interpolate_in_segment(const Orbit& orbit, std::size_t segment, double tau);

// The cubic Hermite curve through rows a and b alone (positions and, as its
// derivative, velocities) at time t (s).
OrbitPoint hermite_point(const OrbitRow& a, const OrbitRow& b, double t);

enum class AlignStatus {
  ok,
  too_few_rows,   // fewer than orbit_min_interpolation_rows rows
  before_span,    // the closest approach lies before the first row
  after_span,     // the closest approach lies after the last row
  not_bracketed,  // no change of sign of the range rate in the segment found
  not_converged,  // the root search did not settle within its cap
  not_finite,     // a NaN or an infinity met on the way
};

// What the alignment found: the time of closest approach, the state vector
// there (velocity the interpolant's derivative), the segment it lies in and
// the estimated error of the interpolated position.
struct Alignment {
  AlignStatus status = AlignStatus::ok;
  double t = 0.0;                   // s, on the orbit's time scale
  StateVector state;                // km, km/s
  std::size_t segment = 0;          // rows segment and segment + 1
  int iterations = 0;               // root-search iterations made
  double interpolation_error = 0.0; // km
};

// The most root-search iterations and the time tolerance (s) they work to:
// bisection alone halves a 10 s segment to 1e-9 s in 34 steps.
constexpr int align_max_iterations = 200;
constexpr double align_time_tolerance = 1e-9;

// The time at which the orbit is closest to the fixed position P (km): the
// root of g(t) = (S(t) - P) . S'(t) where g goes from negative to positive,
// searched in the segment next to the row nearest P, by Newton steps kept
// inside a bracket (bisection when a step leaves it). Fewer than four rows
// give too_few_rows; a non-finite P gives not_finite.
Alignment closest_approach(const Orbit& orbit, const double* P);

// One line saying why an alignment failed (empty for ok).
std::string align_failure_text(const Alignment& alignment, const Orbit& orbit);

}  // namespace bperp::stack
