#include "bperp/stack/geometry/orbit_alignment.h"

#include <cmath>
#include <limits>

#include "bperp/numeric/vec3.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

double distance_squared(const double* a, const double* b) {
  const double d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
  return dot(d, d);
}

// The range-rate function g = (S - P) . S' at one point of the curve, and
// its time derivative g' = |S'|^2 + (S - P) . S''. km^2/s and km^2/s^2.
struct RangeRate {
  double g = 0.0;
  double dg = 0.0;
};

RangeRate range_rate(const OrbitPoint& s, const double* P) {
  const double d[3] = {s.position[0] - P[0], s.position[1] - P[1], s.position[2] - P[2]};
  return {dot(d, s.velocity), dot(s.velocity, s.velocity) + dot(d, s.acceleration)};
}

// g at a row itself, where the curve passes through the row's state.
double row_range_rate(const OrbitRow& row, const double* P) {
  const double d[3] = {row.state.position[0] - P[0], row.state.position[1] - P[1],
                       row.state.position[2] - P[2]};
  return dot(d, row.state.velocity);
}

// Sub-intervals sampled when the ends of a segment do not bracket the root.
constexpr int bracket_samples = 32;

// A bracket [lo, hi] of times since row a (s) in segment (a, b), with
// g(lo) <= 0 <= g(hi), the first from a; false when g does not change sign
// from negative to positive there. Times since a keep their precision when
// the orbit's own times are large (GPS seconds, say).
bool find_bracket(const OrbitRow& a, const OrbitRow& b, const double* P, double* lo, double* hi) {
  const double ga = row_range_rate(a, P), gb = row_range_rate(b, P);
  if (ga <= 0.0 && gb >= 0.0) {
    *lo = 0.0;
    *hi = b.t - a.t;
    return true;
  }
  const double h = b.t - a.t;
  double t_prev = 0.0, g_prev = ga;
  for (int i = 1; i <= bracket_samples; ++i) {
    const double t = h * i / bracket_samples;
    const double g = range_rate(hermite_since(a, b, t), P).g;
    if (g_prev <= 0.0 && g >= 0.0) {
      *lo = t_prev;
      *hi = t;
      return true;
    }
    t_prev = t;
    g_prev = g;
  }
  return false;
}

// The root of g in [lo, hi] (times since row a, g(lo) <= 0 <= g(hi)) on
// segment (a, b):
// Newton from the middle, a bisection whenever a step would leave the
// bracket or g' is not positive. Writes the root (time since a) to *t.
AlignStatus bracketed_root(const OrbitRow& a, const OrbitRow& b, const double* P, double lo,
                           double hi, double* t, int* iterations) {
  double x = 0.5 * (lo + hi);
  for (int i = 1; i <= align_max_iterations; ++i) {
    *iterations = i;
    const RangeRate r = range_rate(hermite_since(a, b, x), P);
    if (!std::isfinite(r.g) || !std::isfinite(r.dg)) return AlignStatus::not_finite;
    if (r.g == 0.0) {
      *t = x;
      return AlignStatus::ok;
    }
    if (r.g < 0.0) lo = x;
    else hi = x;
    const double newton = (r.dg > 0.0) ? x - r.g / r.dg : nan;
    const double next = (newton > lo && newton < hi) ? newton : 0.5 * (lo + hi);
    const double step = std::fabs(next - x);
    x = next;
    if (step <= align_time_tolerance || hi - lo <= align_time_tolerance) {
      *t = x;
      return AlignStatus::ok;
    }
  }
  return AlignStatus::not_converged;
}

}  // namespace

OrbitPoint hermite_point(const OrbitRow& a, const OrbitRow& b, double t) {
  return hermite_since(a, b, t - a.t);
}

OrbitPoint hermite_since(const OrbitRow& a, const OrbitRow& b, double tau) {
  const double h = b.t - a.t;
  const double s = tau / h;
  const double s2 = s * s, s3 = s2 * s;
  // The four Hermite basis functions and their first two derivatives in s.
  const double h00 = 2.0 * s3 - 3.0 * s2 + 1.0, h10 = s3 - 2.0 * s2 + s;
  const double h01 = -2.0 * s3 + 3.0 * s2, h11 = s3 - s2;
  const double d00 = 6.0 * s2 - 6.0 * s, d10 = 3.0 * s2 - 4.0 * s + 1.0;
  const double d01 = -6.0 * s2 + 6.0 * s, d11 = 3.0 * s2 - 2.0 * s;
  const double e00 = 12.0 * s - 6.0, e10 = 6.0 * s - 4.0;
  const double e01 = -12.0 * s + 6.0, e11 = 6.0 * s - 2.0;
  OrbitPoint p;
  for (int i = 0; i < 3; ++i) {
    const double p0 = a.state.position[i], p1 = b.state.position[i];
    const double v0 = a.state.velocity[i], v1 = b.state.velocity[i];
    p.position[i] = h00 * p0 + h10 * h * v0 + h01 * p1 + h11 * h * v1;
    p.velocity[i] = (d00 * p0 + d01 * p1) / h + d10 * v0 + d11 * v1;
    p.acceleration[i] = (e00 * p0 + e01 * p1) / (h * h) + (e10 * v0 + e11 * v1) / h;
  }
  return p;
}

Alignment closest_approach(const Orbit& orbit, const double* P) {
  Alignment out;
  const std::size_t n = orbit.size();
  if (n < orbit_min_rows || !std::isfinite(P[0]) || !std::isfinite(P[1]) || !std::isfinite(P[2])) {
    out.status = AlignStatus::not_finite;
    return out;
  }
  // The row nearest P.
  std::size_t k = 0;
  double best = distance_squared(orbit[0].state.position, P);
  for (std::size_t i = 1; i < n; ++i) {
    const double d2 = distance_squared(orbit[i].state.position, P);
    if (d2 < best) {
      best = d2;
      k = i;
    }
  }
  if (!std::isfinite(best)) {
    out.status = AlignStatus::not_finite;
    return out;
  }
  const double gk = row_range_rate(orbit[k], P);
  if (!std::isfinite(gk)) {
    out.status = AlignStatus::not_finite;
    return out;
  }
  if (gk == 0.0) {
    // The nearest row is itself the closest approach.
    out.t = orbit[k].t;
    out.state = orbit[k].state;
    out.segment = (k + 1 < n) ? k : k - 1;
    return out;
  }
  // Still approaching at the nearest row: the minimum follows it; already
  // receding: the minimum came before it.
  if (gk < 0.0 && k + 1 == n) {
    out.status = AlignStatus::after_span;
    return out;
  }
  if (gk > 0.0 && k == 0) {
    out.status = AlignStatus::before_span;
    return out;
  }
  out.segment = (gk < 0.0) ? k : k - 1;
  const OrbitRow& a = orbit[out.segment];
  const OrbitRow& b = orbit[out.segment + 1];
  double lo = 0.0, hi = 0.0;
  if (!find_bracket(a, b, P, &lo, &hi)) {
    out.status = AlignStatus::not_bracketed;
    return out;
  }
  double tau = 0.0;
  out.status = bracketed_root(a, b, P, lo, hi, &tau, &out.iterations);
  if (out.status != AlignStatus::ok) return out;
  out.t = a.t + tau;
  const OrbitPoint s = hermite_since(a, b, tau);
  for (int i = 0; i < 3; ++i) {
    out.state.position[i] = s.position[i];
    out.state.velocity[i] = s.velocity[i];
  }
  return out;
}

std::string align_failure_text(const Alignment& alignment, const Orbit& orbit) {
  const auto time_text = [](double t) { return fixed_text(t, 3) + " s"; };
  switch (alignment.status) {
    case AlignStatus::ok:
      return {};
    case AlignStatus::before_span:
      return "the closest approach to the reference lies before the orbit's first row (t = " +
             time_text(orbit.front().t) + ")";
    case AlignStatus::after_span:
      return "the closest approach to the reference lies after the orbit's last row (t = " +
             time_text(orbit.back().t) + ")";
    case AlignStatus::not_bracketed:
      return "no closest approach to the reference found between the rows nearest to it";
    case AlignStatus::not_converged:
      return "the search for the closest approach to the reference did not settle";
    case AlignStatus::not_finite:
      return "the closest approach to the reference is not a finite number";
  }
  return "the alignment failed";
}

}  // namespace bperp::stack
