#include "bperp/stack/geometry/orbit_alignment.h"

#include <algorithm>
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

OrbitPoint nan_point() {
  OrbitPoint p;
  for (int i = 0; i < 3; ++i) p.position[i] = p.velocity[i] = p.acceleration[i] = nan;
  return p;
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

// g at a row itself, where every interpolant passes through the row's state.
double row_range_rate(const OrbitRow& row, const double* P) {
  const double d[3] = {row.state.position[0] - P[0], row.state.position[1] - P[1],
                       row.state.position[2] - P[2]};
  return dot(d, row.state.velocity);
}

// The interpolant of segment k, in times since its first row.
HermiteCurve segment_curve(const Orbit& orbit, std::size_t k) {
  return HermiteCurve(orbit, window_around(orbit.size(), k, interpolation_rows), k);
}

// The point at tau seconds after row segment on curve, that segment's
// interpolant, and the estimate of its position error (km).
InterpolatedState checked_point(const Orbit& orbit, std::size_t segment, const HermiteCurve& curve, double tau) {
  const RowWindow high = window_around(orbit.size(), segment, interpolation_rows);
  // The check: two rows fewer, around the same segment, inside the same window.
  RowWindow low = window_around(high.count, segment - high.first, high.count - 2);
  low.first += high.first;
  InterpolatedState s;
  s.point = curve.at(tau);
  const OrbitPoint q = hermite_interpolate(orbit, low, segment, tau);
  s.error = std::sqrt(distance_squared(s.point.position, q.position));
  return s;
}

// Sub-intervals sampled when the ends of a segment do not bracket the root.
constexpr int bracket_samples = 32;

// A bracket [lo, hi] of times since row k (s) in segment k (its interpolant
// curve), with g(lo) <= 0 <= g(hi), the first from row k; false when g does
// not change sign from negative to positive there.
bool find_bracket(const Orbit& orbit, std::size_t k, const HermiteCurve& curve, const double* P, double* lo,
                  double* hi) {
  const OrbitRow& a = orbit[k];
  const OrbitRow& b = orbit[k + 1];
  const double ga = row_range_rate(a, P), gb = row_range_rate(b, P);
  const double h = b.t - a.t;
  if (ga <= 0.0 && gb >= 0.0) {
    *lo = 0.0;
    *hi = h;
    return true;
  }
  double t_prev = 0.0, g_prev = ga;
  for (int i = 1; i <= bracket_samples; ++i) {
    const double t = h * i / bracket_samples;
    const double g = range_rate(curve.at(t), P).g;
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

// The root of g in [lo, hi] (times since the first row of the segment
// whose interpolant is curve, g(lo) <= 0 <= g(hi)): Newton from the
// middle, a bisection whenever a step would leave the bracket or g' is not
// positive. Writes the root to *t.
AlignStatus bracketed_root(const HermiteCurve& curve, const double* P, double lo, double hi, double* t,
                           int* iterations) {
  double x = 0.5 * (lo + hi);
  for (int i = 1; i <= align_max_iterations; ++i) {
    *iterations = i;
    const RangeRate r = range_rate(curve.at(x), P);
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

RowWindow window_around(std::size_t n, std::size_t segment, std::size_t rows) {
  if (n <= rows) return {0, n};
  // rows / 2 rows up to the segment's first, the rest from its second on.
  const std::size_t before = rows / 2 - 1;
  std::size_t first = segment > before ? segment - before : 0;
  first = std::min(first, n - rows);
  return {first, rows};
}

HermiteCurve::HermiteCurve(const Orbit& orbit, RowWindow window, std::size_t origin) {
  const std::size_t k = window.count;
  if (k < 2 || k > interpolation_max_rows || window.first + k > orbit.size() || origin >= orbit.size())
    return;
  // Nodes z: every row's time twice (value and derivative), in units of the
  // window's mean spacing h from the origin row, so that the divided
  // differences stay of the size of the values.
  const std::size_t m = 2 * k;
  const double t0 = orbit[origin].t;
  nodes_ = m;
  h_ = (orbit[window.first + k - 1].t - orbit[window.first].t) / static_cast<double>(k - 1);
  for (std::size_t j = 0; j < m; ++j) z_[j] = (orbit[window.first + j / 2].t - t0) / h_;
  for (int axis = 0; axis < 3; ++axis) {
    // Newton's divided differences with repeated nodes, in place: c[j]
    // ends as f[z_0 .. z_j]; f' at a doubled node is the velocity times h.
    double* c = c_[axis];
    for (std::size_t j = 0; j < m; ++j) c[j] = orbit[window.first + j / 2].state.position[axis];
    for (std::size_t j = m - 1; j >= 1; --j) {
      c[j] = (j % 2 == 1) ? orbit[window.first + j / 2].state.velocity[axis] * h_
                          : (c[j] - c[j - 1]) / (z_[j] - z_[j - 1]);
    }
    for (std::size_t order = 2; order < m; ++order)
      for (std::size_t j = m - 1; j >= order; --j) c[j] = (c[j] - c[j - 1]) / (z_[j] - z_[j - order]);
  }
}

OrbitPoint HermiteCurve::at(double tau) const {
  if (nodes_ == 0) return nan_point();
  const std::size_t m = nodes_;
  const double x = tau / h_;
  OrbitPoint p;
  for (int axis = 0; axis < 3; ++axis) {
    // Horner on the Newton form, with the first two derivatives.
    const double* c = c_[axis];
    double value = c[m - 1], d1 = 0.0, d2 = 0.0;
    for (std::size_t j = m - 1; j-- > 0;) {
      const double w = x - z_[j];
      d2 = d2 * w + 2.0 * d1;
      d1 = d1 * w + value;
      value = value * w + c[j];
    }
    p.position[axis] = value;
    p.velocity[axis] = d1 / h_;
    p.acceleration[axis] = d2 / (h_ * h_);
  }
  return p;
}

OrbitPoint hermite_interpolate(const Orbit& orbit, RowWindow window, std::size_t origin, double tau) {
  return HermiteCurve(orbit, window, origin).at(tau);
}

InterpolatedState interpolate_in_segment(const Orbit& orbit, std::size_t segment, double tau) {
  const std::size_t n = orbit.size();
  if (n < orbit_min_interpolation_rows || segment + 1 >= n) {
    InterpolatedState s;
    s.point = nan_point();
    s.error = nan;
    return s;
  }
  return checked_point(orbit, segment, segment_curve(orbit, segment), tau);
}

OrbitPoint hermite_point(const OrbitRow& a, const OrbitRow& b, double t) {
  const Orbit two = {a, b};
  return hermite_interpolate(two, {0, 2}, 0, t - a.t);
}

Alignment closest_approach(const Orbit& orbit, const double* P) {
  Alignment out;
  const std::size_t n = orbit.size();
  if (n < orbit_min_interpolation_rows) {
    out.status = AlignStatus::too_few_rows;
    return out;
  }
  if (!all_finite(P)) {
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
  const double gk = row_range_rate(orbit[k], P);
  if (!std::isfinite(best) || !std::isfinite(gk)) {
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
  const HermiteCurve curve = segment_curve(orbit, out.segment);
  double lo = 0.0, hi = 0.0;
  if (!find_bracket(orbit, out.segment, curve, P, &lo, &hi)) {
    out.status = AlignStatus::not_bracketed;
    return out;
  }
  double tau = 0.0;
  out.status = bracketed_root(curve, P, lo, hi, &tau, &out.iterations);
  if (out.status != AlignStatus::ok) return out;
  out.t = orbit[out.segment].t + tau;
  const InterpolatedState s = checked_point(orbit, out.segment, curve, tau);
  for (int i = 0; i < 3; ++i) {
    out.state.position[i] = s.point.position[i];
    out.state.velocity[i] = s.point.velocity[i];
  }
  out.interpolation_error = s.error;
  if (!all_finite(out.state.position) || !all_finite(out.state.velocity) ||
      !std::isfinite(out.interpolation_error))
    out.status = AlignStatus::not_finite;
  return out;
}

std::string align_failure_text(const Alignment& alignment, const Orbit& orbit) {
  const auto time_text = [](double t) { return fixed_text(t, 3) + " s"; };
  switch (alignment.status) {
    case AlignStatus::ok:
      return {};
    case AlignStatus::too_few_rows:
      return "the orbit has " + std::to_string(orbit.size()) + (orbit.size() == 1 ? " row" : " rows") +
             "; its interpolation needs at least " + std::to_string(orbit_min_interpolation_rows);
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
