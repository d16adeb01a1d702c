// Reproducible random satellite states for the geometry and baseline tests:
// circular-ish low earth orbits of any inclination, as a state-vector file
// would hold them (earth-fixed position and velocity).
#pragma once

#include <cmath>
#include <numbers>

#include "bperp/io/state_vector_file.h"
#include "support/uniform.h"

namespace bperp::testing_orbits {

using test_support::Uniform;

constexpr double mu_km3_s2 = 398600.5;
constexpr double earth_rate = 7.292115854896798e-05;  // rad/s, as the run adds it

// A satellite altitude_km above the equatorial radius, in a random
// direction, on an orbit of random heading (so any inclination) with a
// small radial velocity; returned earth-fixed (inertial velocity minus
// omega x r).
inline StateVector random_satellite(Uniform& u, double altitude_km) {
  // Direction uniform on the sphere.
  const double z = u(-1.0, 1.0);
  const double lon = u(-std::numbers::pi, std::numbers::pi);
  const double c = std::sqrt(1.0 - z * z);
  const double e_r[3] = {c * std::cos(lon), c * std::sin(lon), z};
  const double r = 6378.137 + altitude_km;
  // East and north at that point (north falls back to a fixed axis at the poles).
  double east[3] = {-std::sin(lon), std::cos(lon), 0.0};
  const double north[3] = {e_r[1] * east[2] - e_r[2] * east[1], e_r[2] * east[0] - e_r[0] * east[2],
                           e_r[0] * east[1] - e_r[1] * east[0]};
  const double heading = u(-std::numbers::pi, std::numbers::pi);
  const double speed = std::sqrt(mu_km3_s2 / r) * u(0.995, 1.005);
  const double radial = u(-0.02, 0.02);  // km/s
  StateVector sv;
  double v[3];
  for (int i = 0; i < 3; ++i) {
    sv.position[i] = r * e_r[i];
    v[i] = speed * (std::cos(heading) * north[i] + std::sin(heading) * east[i]) + radial * e_r[i];
  }
  // Earth-fixed velocity: inertial minus omega x r (omega along z).
  sv.velocity[0] = v[0] + earth_rate * sv.position[1];
  sv.velocity[1] = v[1] - earth_rate * sv.position[0];
  sv.velocity[2] = v[2];
  return sv;
}

inline StateVector state(double x, double y, double z, double vx, double vy, double vz) {
  StateVector sv;
  sv.position[0] = x;
  sv.position[1] = y;
  sv.position[2] = z;
  sv.velocity[0] = vx;
  sv.velocity[1] = vy;
  sv.velocity[2] = vz;
  return sv;
}

}  // namespace bperp::testing_orbits
