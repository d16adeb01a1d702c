#include "bperp/geometry/state_vector.h"

#include "bperp/earth/rotation.h"
#include "bperp/geometry/settings.h"

namespace bperp {

StateVector state_vector_from(const double* six) {
  StateVector sv;
  for (int i = 0; i < 3; ++i) {
    sv.position[i] = six[i];
    sv.velocity[i] = six[3 + i];
  }
  return sv;
}

void inertial_velocity(const StateVector& sv, double out[3]) {
  out[0] = sv.velocity[0] - run_omega * sv.position[1];
  out[1] = sv.velocity[1] + run_omega * sv.position[0];
  out[2] = sv.velocity[2];
}

DMatrix state_vector_matrix(const StateVector& sv) {
  DMatrix m = dmatrix(0, bperp::sv::row_high, 0, bperp::sv::col_high);
  for (int i = 0; i < bperp::sv::used_rows; ++i)
    for (int j = 0; j < bperp::sv::used_cols; ++j) m[i][j] = 0.0;
  const double X = sv.position[0], Y = sv.position[1], Z = sv.position[2];
  const double VX = sv.velocity[0], VY = sv.velocity[1], VZ = sv.velocity[2];
  using namespace bperp::sv;
  m[x][state] = X;
  m[y][state] = Y;
  m[z][state] = Z;
  m[x][as_read] = VX;
  m[y][as_read] = VY;
  m[z][as_read] = VZ;
  double inertial[3];
  inertial_velocity(sv, inertial);
  m[vx][state] = inertial[0];
  m[vy][state] = inertial[1];
  m[vz][state] = inertial[2];
  return m;
}

}  // namespace bperp
