// A satellite about an oblate earth for the geometry tests, independent of
// the code under test: the inertial motion under a point mass plus the J2
// term of the earth's flattening, integrated by the classical fourth-order
// Runge-Kutta method in long double (steps of at most 0.25 s, from the epoch
// to any time), then turned into the earth-fixed frame, the two frames
// coinciding at t = 0.
//
//   a = -mu r / |r|^3 - (3/2) J2 mu Re^2 / |r|^5 (x (1 - 5 z^2/r^2), y (1 - 5 z^2/r^2), z (3 - 5 z^2/r^2))
//
// Units km, km/s, s. Earth-fixed position R(-omega t) r, velocity
// R(-omega t) (v - omega x r).
#pragma once

#include <cmath>

#include "support/two_body.h"

namespace test_support::j2_orbit {

using Real = long double;
using State = two_body::State;

constexpr Real mu = 398600.4418L;             // km^3/s^2
constexpr Real j2 = 1.08262668e-3L;           // second zonal harmonic
constexpr Real earth_radius = 6378.137L;      // km, the radius J2 refers to
constexpr Real omega = 7.292115e-05L;         // rad/s, the earth's rotation (WGS84)
constexpr Real max_step = 0.25L;              // s

// The time derivative of s: (v, point mass + J2 acceleration).
inline State rate(const State& s) {
  const Real x = s.r[0], y = s.r[1], z = s.r[2];
  const Real r2 = x * x + y * y + z * z;
  const Real r = std::sqrt(r2);
  const Real k = -mu / (r2 * r);
  const Real q = -1.5L * j2 * mu * earth_radius * earth_radius / (r2 * r2 * r);
  const Real zz = 5 * z * z / r2;
  State d;
  for (int i = 0; i < 3; ++i) d.r[i] = s.v[i];
  d.v[0] = k * x + q * x * (1 - zz);
  d.v[1] = k * y + q * y * (1 - zz);
  d.v[2] = k * z + q * z * (3 - zz);
  return d;
}

// One Runge-Kutta step of h seconds (h may be negative).
inline State rk4_step(const State& s, Real h) {
  const auto shifted = [&](const State& k, Real f) {
    State t;
    for (int i = 0; i < 3; ++i) {
      t.r[i] = s.r[i] + f * h * k.r[i];
      t.v[i] = s.v[i] + f * h * k.v[i];
    }
    return t;
  };
  const State k1 = rate(s);
  const State k2 = rate(shifted(k1, 0.5L));
  const State k3 = rate(shifted(k2, 0.5L));
  const State k4 = rate(shifted(k3, 1.0L));
  State out;
  for (int i = 0; i < 3; ++i) {
    out.r[i] = s.r[i] + h / 6 * (k1.r[i] + 2 * k2.r[i] + 2 * k3.r[i] + k4.r[i]);
    out.v[i] = s.v[i] + h / 6 * (k1.v[i] + 2 * k2.v[i] + 2 * k3.v[i] + k4.v[i]);
  }
  return out;
}

// The inertial state t seconds after (before, t < 0) s, in equal steps of
// at most max_step.
inline State propagate(const State& s, Real t) {
  const int steps = static_cast<int>(std::ceil(std::fabs(t) / max_step));
  State out = s;
  if (steps == 0) return out;
  const Real h = t / steps;
  for (int k = 0; k < steps; ++k) out = rk4_step(out, h);
  return out;
}

struct EarthFixedState {
  double position[3];  // km
  double velocity[3];  // km/s
};

// The earth-fixed state at time t of the inertial state s at t.
inline EarthFixedState earth_fixed(const State& s, Real t) {
  const Real c = std::cos(omega * t), sn = std::sin(omega * t);
  const Real v[3] = {s.v[0] + omega * s.r[1], s.v[1] - omega * s.r[0], s.v[2]};
  EarthFixedState e;
  e.position[0] = static_cast<double>(c * s.r[0] + sn * s.r[1]);
  e.position[1] = static_cast<double>(-sn * s.r[0] + c * s.r[1]);
  e.position[2] = static_cast<double>(s.r[2]);
  e.velocity[0] = static_cast<double>(c * v[0] + sn * v[1]);
  e.velocity[1] = static_cast<double>(-sn * v[0] + c * v[1]);
  e.velocity[2] = static_cast<double>(v[2]);
  return e;
}

// The earth-fixed state t seconds after the inertial epoch state.
inline EarthFixedState earth_fixed_at(const State& epoch, Real t) {
  return earth_fixed(propagate(epoch, t), t);
}

}  // namespace test_support::j2_orbit
