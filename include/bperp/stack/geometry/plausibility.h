// Whether a state vector or an orbit can be a pass of an earth-orbiting SAR
// at all: what catches files in the wrong units (metres for km, m/s for
// km/s, a time column in days or milliseconds) and vectors that are no orbit
// (all zeros), before they give a confident baseline.
//
// Frame: earth-fixed. Units: km, km/s, s.
#pragma once

#include <string>

#include "bperp/geometry/state_vector.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/inputs/orbit_rows.h"

namespace bperp::stack {

// The heights (above the GRS80 ellipsoid, km) and the earth-fixed speeds
// (km/s) of the SAR satellites that fly: from 150 km (the lowest SARs fly
// near 400 km; the wide margin keeps decaying and very low orbits in) to
// 2000 km (the top of low earth orbit; every SAR so far is below 1000 km),
// while a position in metres lies thousands of km out; and the speeds of
// circular orbits there, 6.9 to 7.7 km/s inertial, give or take the 0.5 km/s
// of the earth's turning.
constexpr double min_sar_height = 150.0;
constexpr double max_sar_height = 2000.0;
constexpr double min_sar_speed = 5.5;
constexpr double max_sar_speed = 8.5;

// Empty when the state vector can be a SAR's; otherwise what is wrong and
// its likely cause, in words (no file name).
std::string implausible_state(const StateVector& state);

// The largest angle (rad) between the earth-fixed velocities of the
// reference and a secondary at their closest approach: 1 degree. Repeat
// passes of one track fly within far less than 0.1 degree of each other
// (orbits kept in a tube of some hundred metres: kilometres across the track
// tilt the velocity by km / 7000 km, 0.01 degree per km; inclinations held
// to thousandths of a degree). A secondary turned by 1 degree drifts across
// the track by 130 m/s, over a kilometre within one scene: another track (or
// another satellite), whose baseline is no repeat-pass baseline, as is a
// descending pass against an ascending one (some 150 degrees).
constexpr double max_velocity_turn = units::radians(1.0);

// Empty when the earth-fixed velocities (km/s, any length) point within
// max_velocity_turn of each other; otherwise the angle between them and
// its likely cause, in words (no file name). A zero or non-finite velocity
// gives its own words.
std::string other_direction(const double* reference_velocity, const double* secondary_velocity);

// How far the change of position between two rows may differ from the
// mean of their velocities times the time between them, as a share of the
// change: the trapezoid rule is off by (n dt)^2 / 12 of it on a circular
// orbit of rate n, 1 % at 300 s.
constexpr double max_row_mismatch = 0.1;
// Two neighbouring rows less than 1/max_spacing_ratio of the orbit's median
// spacing apart are refused: the interpolation through them cannot be
// trusted (a repeated or misplaced row).
constexpr double max_spacing_ratio = 10.0;

// Empty when every row of the orbit can be a SAR's, the velocities match
// the change of the positions from row to row (a time column in seconds)
// and no two neighbouring rows stand much closer than the rest;
// otherwise what is wrong, naming the row (its line of the file when
// row_lines are given, else its 1-based number) and the likely cause.
std::string implausible_orbit(const Orbit& orbit,
                              const std::vector<std::uint32_t>* row_lines = nullptr);

}  // namespace bperp::stack
