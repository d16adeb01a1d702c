// One orbit state vector of a pass and the state-vector matrix the
// computation reads it from.
//
// Frame: earth-fixed (origin at the earth's centre, z along the rotation
// axis). Units: km and km/s.
#pragma once

#include <cstddef>

#include "bperp/numeric/arrays.h"

namespace bperp {

// One earth-fixed state vector: position in km, velocity in km/s.
struct StateVector {
  double position[3] = {0.0, 0.0, 0.0};
  double velocity[3] = {0.0, 0.0, 0.0};
};

// Numbers in a state vector: X Y Z VX VY VZ.
constexpr std::size_t state_vector_numbers = 6;

// The state vector held in six numbers X Y Z VX VY VZ (km, km/s).
StateVector state_vector_from(const double* six);

// The inertial velocity of the earth-fixed state sv, v + omega x r with
// omega = run_omega along z (km/s): (VX - w Y, VY + w X, VZ), the one the
// baseline run works with. Any numbers are taken as they stand.
void inertial_velocity(const StateVector& sv, double out[3]);

// The state-vector matrix dmatrix(0, 6, 0, 3) of a pass (layout in
// settings.h, namespace sv): position in rows 0..2, inertial velocity
// v + omega x r (run_omega) in rows 3..5 of column 0, the velocity as read
// in column 1, zeros elsewhere in columns 0..2. Any numbers are taken as
// they stand (NaN flows on).
DMatrix state_vector_matrix(const StateVector& sv);

}  // namespace bperp
