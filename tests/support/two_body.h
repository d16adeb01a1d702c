// The inertial motion of a satellite about a point mass, independent of the
// code under test: the classical fourth-order Runge-Kutta method in long
// double. The gravitational parameter mu (km^3/s^2) is the caller's, so each
// test states which earth it integrates about.
//
// Units km, km/s, s.
#pragma once

#include <cmath>

namespace test_support::two_body {

using Real = long double;

struct State {
  Real r[3];  // position, km
  Real v[3];  // velocity, km/s
};

// The time derivative of s: (v, -mu r / |r|^3).
inline State rate(const State& s, Real mu) {
  const Real r2 = s.r[0] * s.r[0] + s.r[1] * s.r[1] + s.r[2] * s.r[2];
  const Real k = -mu / (r2 * std::sqrt(r2));
  State d;
  for (int i = 0; i < 3; ++i) {
    d.r[i] = s.v[i];
    d.v[i] = k * s.r[i];
  }
  return d;
}

// One Runge-Kutta step of h seconds (h may be negative).
inline State rk4_step(const State& s, Real h, Real mu) {
  State t;
  const auto stage = [&](const State& k, Real f) {
    for (int i = 0; i < 3; ++i) {
      t.r[i] = s.r[i] + f * h * k.r[i];
      t.v[i] = s.v[i] + f * h * k.v[i];
    }
  };
  const State k1 = rate(s, mu);
  stage(k1, 0.5L);
  const State k2 = rate(t, mu);
  stage(k2, 0.5L);
  const State k3 = rate(t, mu);
  stage(k3, 1.0L);
  const State k4 = rate(t, mu);
  State out;
  for (int i = 0; i < 3; ++i) {
    out.r[i] = s.r[i] + h / 6 * (k1.r[i] + 2 * k2.r[i] + 2 * k3.r[i] + k4.r[i]);
    out.v[i] = s.v[i] + h / 6 * (k1.v[i] + 2 * k2.v[i] + 2 * k3.v[i] + k4.v[i]);
  }
  return out;
}

// The state t seconds after (or before, t < 0) the state s, in equal steps
// of at most max_step seconds.
inline State propagate(const State& s, Real t, Real max_step, Real mu) {
  const int steps = static_cast<int>(std::ceil(std::fabs(t) / max_step));
  State out = s;
  if (steps == 0) return out;
  const Real h = t / steps;
  for (int k = 0; k < steps; ++k) out = rk4_step(out, h, mu);
  return out;
}

}  // namespace test_support::two_body
