// A state vector moved along its own orbit for a few seconds: the motion
// under the earth's gravity (a point mass with the J2 term of its
// flattening) in the earth-fixed frame, and the time at which it passes
// closest to a fixed position.
//
// The forces left out (every harmonic of the earth's field but J2, drag,
// sun and moon) accelerate a low orbit by up to some 4e-4 m/s^2 (see
// unmodelled_acceleration): 0.5 a t^2 is 2 mm after 3 s, 1 cm after 7 s and
// 0.7 m after the longest shift, 60 s. Each shift carries that estimate.
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

// The largest acceleration (km/s^2) that the propagation leaves out, at
// the heights SARs fly (400 km and up): 4e-4 m/s^2. It is the earth's
// gravity beyond J2. Its harmonics of degree 2 to 4 other than J2 (EGM2008:
// C22/S22, the degree 3 and the degree 4 terms) reach 3.1e-4 m/s^2 at
// 400 km and 2.5e-4 m/s^2 at 700 km, each alone at most 1.1e-4, 1.5e-4
// and 1.0e-4 m/s^2 at 700 km (J3 by itself 2.2e-5 to 5.9e-5, the most
// over the poles), in every direction, across the track and radially; the
// higher degrees add about 1e-4 m/s^2 rms (Kaula's rule, 1e-5 / n^2 for each
// normalised coefficient), seldom at the peak of the low ones. Drag, the
// sun, the moon and the tides each stay below 2e-6 m/s^2.
constexpr double unmodelled_acceleration = 4e-7;

// The estimated error (km) of a state vector propagated `seconds` (either
// sign) along its orbit: 0.5 unmodelled_acceleration t^2, the most the
// forces left out can move it in that time, across the track as along it
// (and so a bound on the error of any baseline component). 0 for 0 s; NaN
// for NaN.
double shift_error(double seconds);

// farthest: the root found is where the orbit passes farthest from P (the
// other side of the earth), not closest.
enum class ShiftStatus { ok, too_far, not_converged, not_finite, farthest };

// The state where the orbit through `state` passes closest to the fixed
// position P (km): the root of (S(t) - P) . S'(t) = 0 nearest t = 0, by
// Newton's method on the propagated motion (at most shift_max_iterations,
// to shift_time_tolerance s).
struct TimeShift {
  ShiftStatus status = ShiftStatus::ok;
  double seconds = 0.0;  // the time moved, s (negative: back along the orbit)
  StateVector state;     // km, km/s
  double error = 0.0;    // km, shift_error(seconds) once ok
};
constexpr int shift_max_iterations = 30;
constexpr double shift_time_tolerance = 1e-9;
TimeShift shift_to_closest_approach(const StateVector& state, const double* P);

}  // namespace bperp::stack
