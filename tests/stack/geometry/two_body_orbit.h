// A satellite on a two-body orbit for the alignment tests, independent of
// the code under test: the inertial motion integrated with the shared
// fourth-order Runge-Kutta integrator in long double (steps of at most
// 0.25 s, from the epoch to any time) about an earth with its own mu, then
// turned into the earth-fixed frame.
//
// Units km, km/s, s. Earth-fixed velocity = R(-omega t) (v - omega x r).
#pragma once

#include <cmath>

#include "support/two_body.h"

namespace stack_test {

using Real = test_support::two_body::Real;

constexpr Real earth_mu = 398600.4418L;           // km^3/s^2
constexpr Real earth_omega = 7.292115854896798e-05L;  // rad/s
constexpr Real max_step = 0.25L;                   // s

using InertialState = test_support::two_body::State;

struct EarthFixedState {
  double position[3];
  double velocity[3];
};

// The earth-fixed state at time t of an inertial state at t, the frames
// coinciding at t = 0.
inline EarthFixedState earth_fixed(const InertialState& s, Real t) {
  const Real c = std::cos(earth_omega * t), sn = std::sin(earth_omega * t);
  const Real v[3] = {s.v[0] + earth_omega * s.r[1], s.v[1] - earth_omega * s.r[0], s.v[2]};
  EarthFixedState e;
  e.position[0] = static_cast<double>(c * s.r[0] + sn * s.r[1]);
  e.position[1] = static_cast<double>(-sn * s.r[0] + c * s.r[1]);
  e.position[2] = static_cast<double>(s.r[2]);
  e.velocity[0] = static_cast<double>(c * v[0] + sn * v[1]);
  e.velocity[1] = static_cast<double>(-sn * v[0] + c * v[1]);
  e.velocity[2] = static_cast<double>(v[2]);
  return e;
}

inline EarthFixedState earth_fixed_at(const InertialState& epoch, Real t) {
  return earth_fixed(test_support::two_body::propagate(epoch, t, max_step, earth_mu), t);
}

// The epoch state of an orbit with semi-major axis a (km), eccentricity e,
// inclination i, node raan, argument of perigee w and true anomaly nu (rad).
inline InertialState orbit_epoch(Real a, Real e, Real i, Real raan, Real w, Real nu) {
  const Real p = a * (1 - e * e);
  const Real r = p / (1 + e * std::cos(nu));
  const Real rp[2] = {r * std::cos(nu), r * std::sin(nu)};
  const Real k = std::sqrt(earth_mu / p);
  const Real vp[2] = {-k * std::sin(nu), k * (e + std::cos(nu))};
  // Perifocal to inertial: Rz(raan) Rx(i) Rz(w).
  const Real cO = std::cos(raan), sO = std::sin(raan), ci = std::cos(i), si = std::sin(i);
  const Real cw = std::cos(w), sw = std::sin(w);
  const Real P[3] = {cO * cw - sO * sw * ci, sO * cw + cO * sw * ci, sw * si};
  const Real Q[3] = {-cO * sw - sO * cw * ci, -sO * sw + cO * cw * ci, cw * si};
  InertialState s;
  for (int j = 0; j < 3; ++j) {
    s.r[j] = rp[0] * P[j] + rp[1] * Q[j];
    s.v[j] = vp[0] * P[j] + vp[1] * Q[j];
  }
  return s;
}

}  // namespace stack_test
