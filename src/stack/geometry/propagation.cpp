#include "bperp/stack/geometry/propagation.h"

#include <cmath>

#include "bperp/earth/rotation.h"
#include "bperp/numeric/vec3.h"

namespace bperp::stack {

void earth_fixed_acceleration(const double* r, const double* v, double* a) {
  const double r2 = dot(r, r);
  const double rn = std::sqrt(r2);
  // Point mass: -mu r / |r|^3.
  const double k = -gravity::mu / (r2 * rn);
  // J2: -(3/2) J2 mu Re^2 / |r|^5 (x (1 - 5 z^2/r^2), y (1 - 5 z^2/r^2), z (3 - 5 z^2/r^2)).
  const double z2 = (r[2] * r[2]) / r2;
  const double j = -1.5 * gravity::j2 * gravity::mu * gravity::radius * gravity::radius /
                   (r2 * r2 * rn);
  const double w = run_omega;
  a[0] = k * r[0] + j * r[0] * (1.0 - 5.0 * z2) + 2.0 * w * v[1] + w * w * r[0];
  a[1] = k * r[1] + j * r[1] * (1.0 - 5.0 * z2) - 2.0 * w * v[0] + w * w * r[1];
  a[2] = k * r[2] + j * r[2] * (3.0 - 5.0 * z2);
}

namespace {

struct Derivative {
  double dr[3];
  double dv[3];
};

// (v, a) at the state r + f h k.dr, v + f h k.dv.
Derivative rate(const StateVector& s, const Derivative* k, double fh) {
  double r[3], v[3];
  for (int i = 0; i < 3; ++i) {
    r[i] = s.position[i] + (k ? fh * k->dr[i] : 0.0);
    v[i] = s.velocity[i] + (k ? fh * k->dv[i] : 0.0);
  }
  Derivative d;
  for (int i = 0; i < 3; ++i) d.dr[i] = v[i];
  earth_fixed_acceleration(r, v, d.dv);
  return d;
}

StateVector rk4_step(const StateVector& s, double h) {
  const Derivative k1 = rate(s, nullptr, 0.0);
  const Derivative k2 = rate(s, &k1, 0.5 * h);
  const Derivative k3 = rate(s, &k2, 0.5 * h);
  const Derivative k4 = rate(s, &k3, h);
  StateVector out;
  for (int i = 0; i < 3; ++i) {
    out.position[i] = s.position[i] + h / 6.0 * (k1.dr[i] + 2.0 * k2.dr[i] + 2.0 * k3.dr[i] + k4.dr[i]);
    out.velocity[i] = s.velocity[i] + h / 6.0 * (k1.dv[i] + 2.0 * k2.dv[i] + 2.0 * k3.dv[i] + k4.dv[i]);
  }
  return out;
}

}  // namespace

StateVector propagate(const StateVector& state, double seconds) {
  const int steps = static_cast<int>(std::ceil(std::fabs(seconds) / propagation_max_step));
  if (steps == 0) return state;
  const double h = seconds / steps;
  StateVector s = state;
  for (int k = 0; k < steps; ++k) s = rk4_step(s, h);
  return s;
}

double shift_error(double seconds) { return 0.5 * unmodelled_acceleration * seconds * seconds; }

TimeShift shift_to_closest_approach(const StateVector& state, const double* P) {
  TimeShift out;
  out.state = state;
  double t = 0.0;
  for (int i = 0; i < shift_max_iterations; ++i) {
    const StateVector s = propagate(state, t);
    double a[3];
    earth_fixed_acceleration(s.position, s.velocity, a);
    const double d[3] = {s.position[0] - P[0], s.position[1] - P[1], s.position[2] - P[2]};
    // g = (S - P) . S', g' = |S'|^2 + (S - P) . S''.
    const double g = dot(d, s.velocity);
    const double dg = dot(s.velocity, s.velocity) + dot(d, a);
    const double step = -g / dg;
    if (!std::isfinite(step)) {
      out.status = ShiftStatus::not_finite;
      return out;
    }
    t += step;
    if (std::fabs(t) > max_time_shift) {
      out.status = ShiftStatus::too_far;
      out.seconds = t;
      return out;
    }
    if (std::fabs(step) <= shift_time_tolerance) {
      // A root with g' <= 0 is a maximum of |S - P|: the far side of the
      // orbit, where no pass of P's place is.
      if (!(dg > 0.0)) {
        out.status = ShiftStatus::farthest;
        out.seconds = t;
        return out;
      }
      out.seconds = t;
      out.state = propagate(state, t);
      out.error = shift_error(t);
      return out;
    }
  }
  out.status = ShiftStatus::not_converged;
  return out;
}

}  // namespace bperp::stack
