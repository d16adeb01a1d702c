#include "bperp/stack/geometry/wgs84.h"

#include <cmath>
#include <limits>

#include "bperp/numeric/vec3.h"

namespace bperp::stack {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// The geodetic latitude (rad) whose normal passes through (p, z), the
// distance from the axis and the height above the equator (km), from the
// parametric latitude beta of a point on the meridian ellipse near the foot
// point (Bowring 1976).
double bowring_latitude(double p, double z, double beta) {
  const double s = std::sin(beta), c = std::cos(beta);
  return std::atan2(z + wgs84::ep2 * wgs84::b * s * s * s, p - wgs84::e2 * wgs84::a * c * c * c);
}

// The parametric latitude of geodetic latitude lat: tan beta = (1 - f) tan lat.
double parametric_latitude(double lat) {
  return std::atan2((1.0 - wgs84::f) * std::sin(lat), std::cos(lat));
}

}  // namespace

void earth_fixed_from_geodetic(const Geodetic& g, double* xyz) {
  const double s = std::sin(g.latitude), c = std::cos(g.latitude);
  const double N = wgs84::a / std::sqrt(1.0 - wgs84::e2 * s * s);  // prime vertical radius
  xyz[0] = (N + g.height) * c * std::cos(g.longitude);
  xyz[1] = (N + g.height) * c * std::sin(g.longitude);
  xyz[2] = (N * (1.0 - wgs84::e2) + g.height) * s;
}

void ellipsoid_normal(double latitude, double longitude, double* n) {
  const double c = std::cos(latitude);
  n[0] = c * std::cos(longitude);
  n[1] = c * std::sin(longitude);
  n[2] = std::sin(latitude);
}

GeodeticFix geodetic_from_earth_fixed(const double* xyz) {
  GeodeticFix fix;
  fix.point = {nan, nan, nan};
  if (!all_finite(xyz)) {
    fix.status = GeodeticStatus::not_finite;
    return fix;
  }
  const double p = std::hypot(xyz[0], xyz[1]);
  const double z = xyz[2];
  if (std::hypot(p, z) < geodetic_min_radius) {
    fix.status = GeodeticStatus::near_centre;
    return fix;
  }
  // Start from the parametric latitude of the ellipsoid point on the
  // geocentric direction, (p, z) = (a cos beta, b sin beta) scaled.
  double beta = std::atan2(z, (1.0 - wgs84::f) * p);
  double lat = bowring_latitude(p, z, beta);
  for (int i = 1; i <= geodetic_max_iterations; ++i) {
    fix.iterations = i;
    const double next = parametric_latitude(lat);
    const double step = std::fabs(next - beta);
    beta = next;
    lat = bowring_latitude(p, z, beta);
    if (!(step > geodetic_latitude_step)) break;  // also leaves on NaN
  }
  const double s = std::sin(lat), c = std::cos(lat);
  fix.point.latitude = lat;
  fix.point.longitude = std::atan2(xyz[1], xyz[0]);
  fix.point.height = p * c + z * s - wgs84::a * std::sqrt(1.0 - wgs84::e2 * s * s);
  fix.status = std::isfinite(lat) ? GeodeticStatus::ok : GeodeticStatus::not_finite;
  return fix;
}

}  // namespace bperp::stack
