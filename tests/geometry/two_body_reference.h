// An independent reference for the time derivatives of the slant range: the
// satellite propagated on the two-body orbit (the shared fourth-order
// Runge-Kutta integrator in long double, about the mu of the library's
// Doppler model) and the scene point turned with the earth about z; the
// derivatives at t = 0 come from a 13-point central stencil (Fornberg's
// weights) on the sampled range.
#pragma once

#include <cmath>
#include <initializer_list>

#include "support/two_body.h"

namespace bperp::two_body {

using Real = test_support::two_body::Real;

constexpr Real mu = 398600.5L;              // km^3/s^2
constexpr Real omega = 7.2921158548968e-05L;  // rad/s

using State = test_support::two_body::State;

// Distance between the satellite and the scene point at time t.
inline Real range(const State& sat, const double* T, Real t) {
  const Real c = std::cos(omega * t), s = std::sin(omega * t);
  const Real X = c * T[0] - s * T[1], Y = s * T[0] + c * T[1], Z = T[2];
  const Real dx = X - sat.r[0], dy = Y - sat.r[1], dz = Z - sat.r[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

constexpr int half_width = 6;                  // samples on each side of t = 0
constexpr int points = 2 * half_width + 1;
constexpr Real sample_step = 2.0L;             // s between samples
constexpr int substeps = 16;                   // Runge-Kutta steps per sample

// d^k rho / dt^k at t = 0, k = 1..4, for the satellite at P with inertial
// velocity Vs (km, km/s) and the scene point T (km, earth-fixed at t = 0).
inline void range_derivatives(const double* P, const double* Vs, const double* T, Real out[5]) {
  Real rho[points];
  for (int direction : {1, -1}) {
    State s;
    for (int i = 0; i < 3; ++i) {
      s.r[i] = P[i];
      s.v[i] = Vs[i];
    }
    rho[half_width] = range(s, T, 0.0L);
    const Real dt = direction * sample_step / substeps;
    for (int j = 1; j <= half_width; ++j) {
      for (int k = 0; k < substeps; ++k) s = test_support::two_body::rk4_step(s, dt, mu);
      rho[half_width + direction * j] = range(s, T, direction * j * sample_step);
    }
  }
  // Fornberg's recursion for the weights of derivatives 0..4 at 0 on the
  // nodes x_j = (j - half_width) * sample_step.
  constexpr int orders = 5;
  Real x[points], c[points][orders] = {};
  for (int j = 0; j < points; ++j) x[j] = (j - half_width) * sample_step;
  c[0][0] = 1;
  Real c1 = 1, c4 = x[0];
  for (int i = 1; i < points; ++i) {
    const int mn = i < orders - 1 ? i : orders - 1;
    Real c2 = 1;
    const Real c5 = c4;
    c4 = x[i];
    for (int j = 0; j < i; ++j) {
      const Real c3 = x[i] - x[j];
      c2 *= c3;
      if (j == i - 1) {
        for (int k = mn; k >= 1; --k) c[i][k] = c1 * (k * c[i - 1][k - 1] - c5 * c[i - 1][k]) / c2;
        c[i][0] = -c1 * c5 * c[i - 1][0] / c2;
      }
      for (int k = mn; k >= 1; --k) c[j][k] = (c4 * c[j][k] - k * c[j][k - 1]) / c3;
      c[j][0] = c4 * c[j][0] / c3;
    }
    c1 = c2;
  }
  for (int k = 0; k < orders; ++k) {
    Real sum = 0;
    for (int j = 0; j < points; ++j) sum += c[j][k] * (rho[j] - rho[half_width]);
    out[k] = sum;
  }
  out[0] = rho[half_width];
}

}  // namespace bperp::two_body
