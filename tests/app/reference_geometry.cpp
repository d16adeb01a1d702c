#include "reference_geometry.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace bperp_test {

namespace {

// WGS84 as the tool's earth model holds it: a and the flattening of the
// geodetic reference system (1/298.257222101), km.
constexpr double wgs84_a = 6378.137;
const double wgs84_b = wgs84_a * (1.0 - 1.0 / 298.257222101);
// The scene point's ellipsoid: the same a, b to ten significant digits.
constexpr double scene_a = 6378.137;
constexpr double scene_b = 6356.7523141;
// Earth rotation rate, rad/s, and the off-nadir angle of beam 7.
constexpr double omega = 7.292115854896798e-05;
constexpr double beam7 = 34.3 * std::numbers::pi / 180.0;
// Earth's gravitational parameter, km^3/s^2 (only to make orbits realistic).
constexpr double mu = 398600.4418;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

}  // namespace

double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec cross(Vec a, Vec b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double norm(Vec a) { return std::sqrt(dot(a, a)); }
Vec unit(Vec a) { return (1.0 / norm(a)) * a; }

Vec position_of(const Six& s) { return {s[0], s[1], s[2]}; }
Vec velocity_of(const Six& s) { return {s[3], s[4], s[5]}; }

Vec inertial_velocity(Vec P, Vec v) { return v + cross(Vec{0.0, 0.0, omega}, P); }

double reference_slant_range(Vec P) {
  const double r = norm(P);
  const Vec u = (1.0 / r) * P;
  // The point t u on the ellipsoid: t^2 ((ux^2 + uy^2) / a^2 + uz^2 / b^2) = 1.
  const double Re = 1.0 / std::sqrt((u.x * u.x + u.y * u.y) / (wgs84_a * wgs84_a) +
                                    u.z * u.z / (wgs84_b * wgs84_b));
  // Law of cosines in the triangle centre - satellite - point on the sphere:
  // Re^2 = r^2 + R^2 - 2 r R cos(beam), the nearer root.
  const double p = r * std::cos(beam7);
  const double disc = p * p - (r * r - Re * Re);
  if (disc < 0.0) return nan;
  return p - std::sqrt(disc);
}

Vec reference_scene_point(Vec P, Vec Vs, double R) {
  const Vec e_r = unit(P);
  const Vec e_c = unit(cross(Vs, P));
  auto point = [&](double theta) {
    return P + (R * std::sin(theta)) * e_c - (R * std::cos(theta)) * e_r;
  };
  // Signed level of the ellipsoid: negative inside, positive outside.
  auto level = [&](double theta) {
    const Vec t = point(theta);
    return (t.x * t.x + t.y * t.y) / (scene_a * scene_a) + t.z * t.z / (scene_b * scene_b) - 1.0;
  };
  // Along the circle of radius R about P in this plane, the distance from
  // the centre grows with theta on (0, pi): one crossing at most.
  double lo = 0.0, hi = std::numbers::pi / 2.0;
  if (!(level(lo) < 0.0) || !(level(hi) > 0.0)) return {nan, nan, nan};
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    if (mid <= lo || mid >= hi) break;
    (level(mid) < 0.0 ? lo : hi) = mid;
  }
  return point(0.5 * (lo + hi));
}

ReferenceBaseline reference_baseline(const Six& master, const Six& slave) {
  ReferenceBaseline b;
  const Vec P = position_of(master);
  const Vec S = position_of(slave);
  b.slant_range = reference_slant_range(P);
  b.scene = reference_scene_point(P, inertial_velocity(P, velocity_of(master)), b.slant_range);
  b.U = unit(b.scene - P);
  // The part of P at right angles to the line of sight: it lies in the plane
  // of the centre, P and T, and points away from the earth.
  b.V = unit(P - dot(P, b.U) * b.U);
  const Vec B = P - S;
  b.parallel = dot(B, b.U);
  b.perpendicular = dot(B, b.V);
  return b;
}

Six circular_orbit_state(double r, double lat, double lon, double az) {
  const Vec up{std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
  const Vec east{-std::sin(lon), std::cos(lon), 0.0};
  const Vec north = cross(up, east);
  const Vec P = r * up;
  const Vec v_inertial = std::sqrt(mu / r) * (std::cos(az) * north + std::sin(az) * east);
  const Vec v = v_inertial - cross(Vec{0.0, 0.0, omega}, P);
  return {P.x, P.y, P.z, v.x, v.y, v.z};
}

}  // namespace bperp_test
