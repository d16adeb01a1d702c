// A state vector moved along its own orbit for a few seconds: the motion
// under the earth's gravity (a point mass with the J2 term of its
// flattening) in the earth-fixed frame, and the time at which it passes
// closest to a fixed position.
//
// For the seconds a state vector is moved here the neglected forces (higher
// harmonics, drag, sun and moon) move it by well under a millimetre: the
// largest, J3, accelerates a low orbit by about 1.4e-5 m/s^2, 0.7 mm after
// 10 s.
//
// Frame: earth-fixed. Units: km, km/s, s.
#pragma once

#include "bperp/geometry/state_vector.h"

namespace bperp::stack {

// The earth of the propagation (EGM2008 / WGS84 values).
namespace gravity {
constexpr double mu = 398600.4418;         // km^3/s^2
constexpr double j2 = 1.08262668e-3;       // second zonal harmonic
constexpr double radius = 6378.137;        // km, the reference radius of j2
}  // namespace gravity

// The acceleration (km/s^2) of a satellite at position r moving with v in
// the earth-fixed frame: gravity with J2, Coriolis -2 w x v and centrifugal
// -w x (w x r), w the earth's rotation (run_omega) about z. A position at
// the centre gives NaN.
void earth_fixed_acceleration(const double* r, const double* v, double* a);

// The state `seconds` later (earlier when negative) by the classical
// fourth-order Runge-Kutta method in equal steps of at most
// propagation_max_step seconds.
constexpr double propagation_max_step = 1.0;
StateVector propagate(const StateVector& state, double seconds);

// How far a state vector may be moved, s: some 400 km along the track. A
// vector farther from the reference than that is not of the same place.
constexpr double max_time_shift = 60.0;

enum class ShiftStatus { ok, too_far, not_converged, not_finite };

// The state where the orbit through `state` passes closest to the fixed
// position P (km): the root of (S(t) - P) . S'(t) = 0 nearest t = 0, by
// Newton's method on the propagated motion (at most shift_max_iterations,
// to shift_time_tolerance s).
struct TimeShift {
  ShiftStatus status = ShiftStatus::ok;
  double seconds = 0.0;  // the time moved, s (negative: back along the orbit)
  StateVector state;     // km, km/s
};
constexpr int shift_max_iterations = 30;
constexpr double shift_time_tolerance = 1e-9;
TimeShift shift_to_closest_approach(const StateVector& state, const double* P);

}  // namespace bperp::stack
