#include "bperp/stack/geometry/zero_doppler.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "bperp/numeric/vec3.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double pi = std::numbers::pi;

// Below this share of |S| the part of -S normal to V is no direction: V runs
// along S (or S is the centre).
constexpr double min_nadir_share = 1e-9;
// Below this sine the line of sight runs along the reference velocity, or
// along the reference's own plane with the centre (N . R = 0), and the
// perpendicular direction or its sign is not defined.
constexpr double min_baseline_sine = 1e-9;

// Small vector helpers: all three components NaN, a copy, out = a - b.
void set_nan(double* v) { v[0] = v[1] = v[2] = nan; }

void copy3(const double* from, double* to) {
  for (int i = 0; i < 3; ++i) to[i] = from[i];
}

void difference(const double* a, const double* b, double* out) {
  for (int i = 0; i < 3; ++i) out[i] = a[i] - b[i];
}

// The angle between a and b (rad, 0 .. pi), atan2(|a x b|, a . b): exact to
// rounding at small angles too. NaN for a zero vector.
double angle_between(const double* a, const double* b) {
  if (norm(a) == 0.0 || norm(b) == 0.0) return nan;
  double c[3];
  cross(a, b, c);
  return std::atan2(norm(c), dot(a, b));
}

// The unit vectors of the zero-Doppler plane through S normal to V: n, the
// geocentric nadir -S with its part along v = V / |V| removed, and c, the
// side direction, n x v looking right, v x n looking left. False when V is
// zero or along S.
struct ZeroDopplerFrame {
  double n[3];
  double c[3];
};

bool zero_doppler_frame(const double* S, const double* V, LookSide side, ZeroDopplerFrame* frame) {
  const double speed = norm(V);
  if (!(speed > 0.0)) return false;
  const double v[3] = {V[0] / speed, V[1] / speed, V[2] / speed};
  const double along = dot(S, v);
  const double d[3] = {-S[0] + along * v[0], -S[1] + along * v[1], -S[2] + along * v[2]};
  const double length = norm(d);
  if (!(length > min_nadir_share * norm(S))) return false;
  for (int i = 0; i < 3; ++i) frame->n[i] = d[i] / length;
  if (side == LookSide::right) cross(frame->n, v, frame->c);
  else cross(v, frame->n, frame->c);
  return true;
}

// The point of the zero-Doppler circle at angle theta from n:
// T(theta) = S + R (cos theta n + sin theta c), km; and its derivative
// dT/dtheta = R (-sin theta n + cos theta c).
void circle_point(const double* S, const ZeroDopplerFrame& f, double R, double theta, double* T,
                  double* dT) {
  const double cs = std::cos(theta), sn = std::sin(theta);
  for (int i = 0; i < 3; ++i) {
    T[i] = S[i] + R * (cs * f.n[i] + sn * f.c[i]);
    dT[i] = R * (-sn * f.n[i] + cs * f.c[i]);
  }
}

// The height mismatch of the circle point at theta: height(T) - h (km) and
// its rate n_T . dT/dtheta (km/rad), n_T the ellipsoid normal at T (the
// gradient of the geodetic height). `deep` when T lies within
// geodetic_min_radius of the centre, far below any surface: then only its
// sign, negative, is known.
struct HeightMismatch {
  bool deep = false;
  bool finite = true;
  double dh = 0.0;     // km
  double slope = 0.0;  // km/rad
  double T[3] = {0.0, 0.0, 0.0};
  Geodetic geodetic;
};

HeightMismatch height_mismatch(const double* S, const ZeroDopplerFrame& f, double R, double h,
                               double theta) {
  HeightMismatch m;
  double dT[3];
  circle_point(S, f, R, theta, m.T, dT);
  const GeodeticFix fix = geodetic_from_earth_fixed(m.T);
  if (fix.status == GeodeticStatus::near_centre) {
    m.deep = true;
    m.dh = -1.0;
    return m;
  }
  if (fix.status != GeodeticStatus::ok) {
    m.finite = false;
    return m;
  }
  double normal[3];
  ellipsoid_normal(fix.point.latitude, fix.point.longitude, normal);
  m.geodetic = fix.point;
  m.dh = fix.point.height - h;
  m.slope = dot(normal, dT);
  m.finite = std::isfinite(m.dh) && std::isfinite(m.slope);
  return m;
}

// A first angle from the sphere through the height-h surface below S: with
// rho = |S| - (height of S) + h the law of cosines rho^2 = |S|^2 + R^2 -
// 2 |S| R cos theta gives theta. The middle of [0, pi] when S has no height.
double sphere_angle(const double* S, double R, double h) {
  const GeodeticFix s = geodetic_from_earth_fixed(S);
  if (s.status != GeodeticStatus::ok) return 0.5 * pi;
  const double r = norm(S);
  const double rho = r - s.point.height + h;
  const double c = (r * r + R * R - rho * rho) / (2.0 * r * R);
  return std::acos(std::clamp(c, -1.0, 1.0));
}

// The target fix of circle point m at angle theta (rad), status ok.
TargetFix fix_at(const HeightMismatch& m, double theta, int iterations) {
  TargetFix fix;
  copy3(m.T, fix.target);
  fix.geodetic = m.geodetic;
  fix.angle = theta;
  fix.iterations = iterations;
  return fix;
}

// A refused target: the status, NaN everywhere else.
TargetFix failed_target(ZeroDopplerStatus status, int iterations) {
  TargetFix fix;
  fix.status = status;
  set_nan(fix.target);
  fix.geodetic = {nan, nan, nan};
  fix.angle = nan;
  fix.iterations = iterations;
  return fix;
}

// The found target, refused when the line of sight reaches it from inside
// the ellipsoid (S - T on the inner side of T's normal): behind the horizon.
TargetFix checked_target(const double* S, const HeightMismatch& m, double theta, int iterations) {
  double normal[3], up_look[3];
  ellipsoid_normal(m.geodetic.latitude, m.geodetic.longitude, normal);
  difference(S, m.T, up_look);
  if (!(dot(normal, up_look) > 0.0)) return failed_target(ZeroDopplerStatus::beyond_horizon, iterations);
  return fix_at(m, theta, iterations);
}

// A refused geometry at time t (s; NaN when there is none): the status, NaN
// for every vector, length and angle.
ZeroDopplerGeometry failed_geometry(ZeroDopplerStatus status, double t) {
  ZeroDopplerGeometry g;
  g.status = status;
  g.t = t;
  set_nan(g.satellite);
  set_nan(g.velocity);
  set_nan(g.target);
  g.interpolation_error = nan;
  g.target_geodetic = {nan, nan, nan};
  g.slant_range = nan;
  g.angles = {nan, nan, nan, LookSide::right};
  return g;
}

// A refused baseline: the status, NaN for every vector and component.
ZeroDopplerBaseline failed_baseline(ZeroDopplerStatus status) {
  ZeroDopplerBaseline b;
  b.status = status;
  b.t = b.interpolation_error = nan;
  set_nan(b.secondary);
  set_nan(b.moved);
  set_nan(b.look);
  set_nan(b.up);
  b.parallel = b.perpendicular = b.length = b.along_track = b.along_track_removed = nan;
  b.secondary_range = nan;
  return b;
}

// A time on the rows' scale, "12.345 s"; the rows' span, "t = A s to B s".
std::string time_text(double t) { return fixed_text(t, 3) + " s"; }

std::string span_text(const Orbit& orbit) {
  if (orbit.empty()) return "no rows";
  return "t = " + time_text(orbit.front().t) + " to " + time_text(orbit.back().t);
}

// Why a closest approach to a point failed, for `whose` time ("the point's
// zero-Doppler time", "the secondary's zero-Doppler time").
std::string alignment_text(AlignStatus status, const Orbit& orbit, const std::string& whose) {
  switch (status) {
    case AlignStatus::ok:
      return {};
    case AlignStatus::too_few_rows:
      return "the orbit has " + std::to_string(orbit.size()) + " rows; its interpolation needs at least " +
             std::to_string(orbit_min_interpolation_rows);
    case AlignStatus::before_span:
      return whose + " lies before the orbit's first row (" + span_text(orbit) + ")";
    case AlignStatus::after_span:
      return whose + " lies after the orbit's last row (" + span_text(orbit) + ")";
    case AlignStatus::not_bracketed:
      return "no zero-Doppler time found between the rows nearest to the target";
    case AlignStatus::not_converged:
      return "the search for " + whose + " did not settle";
    case AlignStatus::not_finite:
      return whose + " is not a finite number";
  }
  return "the closest approach failed";
}

// The words of the statuses the target and the baseline share.
std::string shared_status_text(ZeroDopplerStatus status) {
  switch (status) {
    case ZeroDopplerStatus::not_finite:
      return "a coordinate, time or range is not a finite number";
    case ZeroDopplerStatus::no_zero_doppler_plane:
      return "the velocity is zero or along the position: no plane normal to it through the nadir";
    case ZeroDopplerStatus::no_line_of_sight:
      return "the target coincides with the reference position, or the line of sight runs along the "
             "reference velocity, straight down or level with the reference: no perpendicular direction";
    default:
      return "the zero-Doppler geometry failed";
  }
}

}  // namespace

TargetFix zero_doppler_target(const double* S, const double* V, double slant_range, double height,
                              LookSide side) {
  const double R = slant_range, h = height;
  if (!all_finite(S) || !all_finite(V) || !std::isfinite(R) || !std::isfinite(h))
    return failed_target(ZeroDopplerStatus::not_finite, 0);
  ZeroDopplerFrame frame;
  if (!zero_doppler_frame(S, V, side, &frame)) return failed_target(ZeroDopplerStatus::no_zero_doppler_plane, 0);
  if (!(R > 0.0)) return failed_target(ZeroDopplerStatus::too_short, 0);

  // The bracket: straight down along n the circle must lie below height h,
  // straight up above it.
  double lo = 0.0, hi = pi;
  const HeightMismatch down = height_mismatch(S, frame, R, h, lo);
  if (!down.finite) return failed_target(ZeroDopplerStatus::not_finite, 0);
  if (!down.deep && std::fabs(down.dh) <= target_height_tolerance) return checked_target(S, down, lo, 0);
  if (down.dh > 0.0) return failed_target(ZeroDopplerStatus::too_short, 0);
  const HeightMismatch up = height_mismatch(S, frame, R, h, hi);
  if (!up.finite) return failed_target(ZeroDopplerStatus::not_finite, 0);
  if (up.dh < -target_height_tolerance) return failed_target(ZeroDopplerStatus::out_of_reach, 0);

  // Newton steps on height(T(theta)) - h, a bisection whenever a step would
  // leave the bracket or the height does not rise with theta.
  double theta = std::clamp(sphere_angle(S, R, h), lo, hi);
  int i = 1;
  for (; i <= target_max_iterations; ++i) {
    const HeightMismatch m = height_mismatch(S, frame, R, h, theta);
    if (!m.finite) return failed_target(ZeroDopplerStatus::not_finite, i);
    if (!m.deep && std::fabs(m.dh) <= target_height_tolerance) return checked_target(S, m, theta, i);
    if (m.dh < 0.0) lo = theta;
    else hi = theta;
    // Newton: theta - (height - h) / (n_T . dT/dtheta).
    const double newton = (!m.deep && m.slope > 0.0) ? theta - m.dh / m.slope : nan;
    const double next = (newton > lo && newton < hi) ? newton : 0.5 * (lo + hi);
    if (next == theta) break;  // the bracket has shrunk to rounding
    theta = next;
  }
  return failed_target(ZeroDopplerStatus::not_converged, std::min(i, target_max_iterations));
}

ViewingAngles viewing_angles(const double* S, const double* V, const double* T, const Geodetic& t_geodetic) {
  ViewingAngles a;
  double look[3], to_satellite[3], minus_s[3] = {-S[0], -S[1], -S[2]};
  difference(T, S, look);
  difference(S, T, to_satellite);
  a.look_angle = angle_between(look, minus_s);

  double normal[3];
  ellipsoid_normal(t_geodetic.latitude, t_geodetic.longitude, normal);
  a.incidence = angle_between(to_satellite, normal);

  // East (-sin lon, cos lon, 0) and north (-sin lat cos lon, -sin lat sin lon,
  // cos lat) at the sub-point, which shares the geodetic latitude and
  // longitude of S.
  const GeodeticFix sub = geodetic_from_earth_fixed(S);
  if (sub.status == GeodeticStatus::ok && all_finite(V)) {
    const double lat = sub.point.latitude, lon = sub.point.longitude;
    const double east[3] = {-std::sin(lon), std::cos(lon), 0.0};
    const double north[3] = {-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat)};
    a.heading = std::atan2(dot(V, east), dot(V, north));  // azimuth, clockwise from north
  } else {
    a.heading = nan;
  }

  double w[3];
  cross(look, V, w);
  a.side = dot(w, S) > 0.0 ? LookSide::right : LookSide::left;  // ((T - S) x V) . S
  return a;
}

ZeroDopplerGeometry geometry_at_range(const Orbit& orbit, double t, double slant_range, double height,
                                      LookSide side) {
  const std::size_t n = orbit.size();
  if (n < orbit_min_interpolation_rows) return failed_geometry(ZeroDopplerStatus::too_few_rows, t);
  if (!std::isfinite(t)) return failed_geometry(ZeroDopplerStatus::not_finite, t);
  if (t < orbit.front().t || t > orbit.back().t) return failed_geometry(ZeroDopplerStatus::outside_span, t);
  // The segment [t_k, t_k+1] holding t; the last one for t on the last row.
  const auto after = std::upper_bound(orbit.begin(), orbit.end(), t,
                                      [](double x, const OrbitRow& row) { return x < row.t; });
  const std::size_t k = std::min(static_cast<std::size_t>(after - orbit.begin()) - 1, n - 2);
  const InterpolatedState s = interpolate_in_segment(orbit, k, t - orbit[k].t);

  const TargetFix fix = zero_doppler_target(s.point.position, s.point.velocity, slant_range, height, side);
  ZeroDopplerGeometry g = failed_geometry(fix.status, t);
  g.segment = k;
  g.iterations = fix.iterations;
  if (fix.status != ZeroDopplerStatus::ok) return g;
  copy3(s.point.position, g.satellite);
  copy3(s.point.velocity, g.velocity);
  g.interpolation_error = s.error;
  copy3(fix.target, g.target);
  g.target_geodetic = fix.geodetic;
  g.slant_range = slant_range;
  g.angles = viewing_angles(g.satellite, g.velocity, g.target, g.target_geodetic);
  return g;
}

ZeroDopplerGeometry geometry_at_point(const Orbit& orbit, const Geodetic& point) {
  if (!std::isfinite(point.latitude) || !std::isfinite(point.longitude) || !std::isfinite(point.height))
    return failed_geometry(ZeroDopplerStatus::not_finite, nan);
  if (std::fabs(point.latitude) > 0.5 * pi) return failed_geometry(ZeroDopplerStatus::bad_point, nan);
  double T[3];
  earth_fixed_from_geodetic(point, T);
  const Alignment a = closest_approach(orbit, T);
  if (a.status == AlignStatus::too_few_rows) return failed_geometry(ZeroDopplerStatus::too_few_rows, nan);
  if (a.status != AlignStatus::ok) {
    ZeroDopplerGeometry g = failed_geometry(ZeroDopplerStatus::no_closest_approach, nan);
    g.alignment = a.status;
    return g;
  }
  ZeroDopplerGeometry g;
  g.t = a.t;
  g.segment = a.segment;
  g.iterations = a.iterations;
  copy3(a.state.position, g.satellite);
  copy3(a.state.velocity, g.velocity);
  g.interpolation_error = a.interpolation_error;
  copy3(T, g.target);
  g.target_geodetic = point;
  double look[3];
  difference(T, g.satellite, look);
  g.slant_range = norm(look);
  g.angles = viewing_angles(g.satellite, g.velocity, g.target, g.target_geodetic);
  // Seen through the earth (incidence 90 degrees or more): no view of the point.
  if (!(g.angles.incidence < 0.5 * pi)) return failed_geometry(ZeroDopplerStatus::beyond_horizon, g.t);
  return g;
}

std::string zero_doppler_failure_text(const ZeroDopplerGeometry& geometry, const Orbit& orbit) {
  switch (geometry.status) {
    case ZeroDopplerStatus::ok:
      return {};
    case ZeroDopplerStatus::too_few_rows:
      return alignment_text(AlignStatus::too_few_rows, orbit, {});
    case ZeroDopplerStatus::outside_span:
      return "the time t = " + time_text(geometry.t) + " lies outside the orbit's rows (" + span_text(orbit) + ")";
    case ZeroDopplerStatus::bad_point:
      return "the latitude lies beyond +-90 degrees";
    case ZeroDopplerStatus::too_short:
      return "the slant range does not reach down to the target's height below the satellite";
    case ZeroDopplerStatus::out_of_reach:
      return "the target's height lies more than the slant range above the satellite";
    case ZeroDopplerStatus::beyond_horizon:
      return "at that slant range and height the target lies beyond the horizon, hidden by the earth";
    case ZeroDopplerStatus::not_converged:
      return "the search for the look angle did not settle within " + std::to_string(target_max_iterations) +
             " steps";
    case ZeroDopplerStatus::no_closest_approach:
      return alignment_text(geometry.alignment, orbit, "the point's zero-Doppler time");
    default:
      return shared_status_text(geometry.status);
  }
}

ZeroDopplerBaseline zero_doppler_baseline(const double* T, const double* R, const double* V_R,
                                          const double* S_s) {
  if (!all_finite(T) || !all_finite(R) || !all_finite(V_R) || !all_finite(S_s))
    return failed_baseline(ZeroDopplerStatus::not_finite);
  const double speed = norm(V_R);
  if (!(speed > 0.0)) return failed_baseline(ZeroDopplerStatus::no_zero_doppler_plane);
  const double v[3] = {V_R[0] / speed, V_R[1] / speed, V_R[2] / speed};

  ZeroDopplerBaseline b;
  copy3(S_s, b.secondary);
  // S' = S_s - ((S_s - R) . v) v: into the plane through R normal to V_R.
  double offset[3];
  difference(S_s, R, offset);
  b.along_track_removed = dot(offset, v);
  for (int i = 0; i < 3; ++i) b.moved[i] = S_s[i] - b.along_track_removed * v[i];

  // U = (T - R) / |T - R|; N = +-(v x U) / |v x U|, the sign that makes N . R > 0.
  double line[3];
  difference(T, R, line);
  const double range = norm(line);
  if (!(range > 0.0)) return failed_baseline(ZeroDopplerStatus::no_line_of_sight);
  for (int i = 0; i < 3; ++i) b.look[i] = line[i] / range;
  double w[3];
  cross(v, b.look, w);
  const double sine = norm(w);
  if (!(sine > min_baseline_sine)) return failed_baseline(ZeroDopplerStatus::no_line_of_sight);
  const double up_sign = dot(w, R) >= 0.0 ? 1.0 : -1.0;
  for (int i = 0; i < 3; ++i) b.up[i] = up_sign * w[i] / sine;
  if (!(std::fabs(dot(b.up, R)) > min_baseline_sine * norm(R)))
    return failed_baseline(ZeroDopplerStatus::no_line_of_sight);

  double B[3];
  difference(R, b.moved, B);  // B = reference - secondary
  b.parallel = dot(B, b.look);
  b.perpendicular = dot(B, b.up);
  b.length = norm(B);
  b.along_track = dot(B, v);
  double to_secondary[3];
  difference(T, S_s, to_secondary);
  b.secondary_range = norm(to_secondary);
  b.t = nan;
  b.interpolation_error = nan;
  return b;
}

ZeroDopplerBaseline secondary_baseline(const ZeroDopplerGeometry& reference, const Orbit& secondary) {
  if (reference.status != ZeroDopplerStatus::ok) return failed_baseline(reference.status);
  const Alignment a = closest_approach(secondary, reference.target);
  if (a.status == AlignStatus::too_few_rows) {
    ZeroDopplerBaseline b = failed_baseline(ZeroDopplerStatus::too_few_rows);
    b.alignment = a.status;
    return b;
  }
  if (a.status != AlignStatus::ok) {
    ZeroDopplerBaseline b = failed_baseline(ZeroDopplerStatus::no_closest_approach);
    b.alignment = a.status;
    return b;
  }
  ZeroDopplerBaseline b =
      zero_doppler_baseline(reference.target, reference.satellite, reference.velocity, a.state.position);
  b.alignment = a.status;
  b.t = a.t;
  b.interpolation_error = a.interpolation_error;
  copy3(a.state.velocity, b.secondary_velocity);
  return b;
}

double height_of_ambiguity(double wavelength, double reference_range, double incidence,
                           double perpendicular) {
  if (perpendicular == 0.0) return nan;
  return wavelength * reference_range * std::sin(incidence) / (2.0 * perpendicular);
}

std::string zero_doppler_baseline_failure_text(const ZeroDopplerBaseline& baseline, const Orbit& secondary) {
  switch (baseline.status) {
    case ZeroDopplerStatus::ok:
      return {};
    case ZeroDopplerStatus::too_few_rows:
    case ZeroDopplerStatus::no_closest_approach:
      return alignment_text(baseline.alignment, secondary, "the secondary's zero-Doppler time for the target");
    case ZeroDopplerStatus::not_finite:
    case ZeroDopplerStatus::no_zero_doppler_plane:
    case ZeroDopplerStatus::no_line_of_sight:
      return shared_status_text(baseline.status);
    default:
      return "the reference geometry failed, so no baseline";
  }
}

}  // namespace bperp::stack
