// The WGS84 ellipsoid, on which radar products give their geometry:
// geodetic latitude, longitude and height to earth-fixed coordinates and
// back, and the ellipsoid's unit normal.
//
// Frame: earth-fixed (origin at the earth's centre, z along the rotation
// axis, x through longitude 0). Units: km and rad; heights along the
// ellipsoid normal, km.
#pragma once

namespace bperp::stack {

namespace wgs84 {
constexpr double a = 6378.137;                            // equatorial radius, km
constexpr double f = 1.0 / 298.257223563;                 // flattening
constexpr double b = a * (1.0 - f);                       // polar radius, km
constexpr double e2 = f * (2.0 - f);                      // first eccentricity squared
constexpr double ep2 = e2 / ((1.0 - f) * (1.0 - f));      // second eccentricity squared
}  // namespace wgs84

// A point in geodetic coordinates on WGS84.
struct Geodetic {
  double latitude = 0.0;   // rad, -pi/2 .. pi/2
  double longitude = 0.0;  // rad, -pi .. pi
  double height = 0.0;     // km above the ellipsoid along its normal
};

// Earth-fixed position xyz (km) of the geodetic point g:
//   N = a / sqrt(1 - e^2 sin^2 lat), the radius of curvature in the prime vertical,
//   x = (N + h) cos lat cos lon, y = (N + h) cos lat sin lon, z = (N (1 - e^2) + h) sin lat.
// Any latitude is taken as it stands; NaN flows through to xyz.
void earth_fixed_from_geodetic(const Geodetic& g, double* xyz);

// The outward unit normal of the ellipsoid at geodetic latitude and
// longitude (rad): (cos lat cos lon, cos lat sin lon, sin lat). It is also
// the gradient of the geodetic height: a small move d of a point changes
// its height by n . d.
void ellipsoid_normal(double latitude, double longitude, double* n);

enum class GeodeticStatus {
  ok,
  not_finite,   // a coordinate is NaN or infinite
  near_centre,  // closer to the centre than geodetic_min_radius
};

// Within this distance of the centre (km) a position has no unique foot
// point on the ellipsoid: the evolute of the meridian ellipse, the locus of
// its centres of curvature, reaches a e^2 = 42.7 km from the centre.
constexpr double geodetic_min_radius = 100.0;

// The iteration's cap and the step of the parametric latitude (rad) at
// which it stops. Against GeographicLib, Bowring's iteration settles to
// rounding (5e-16 rad, 5e-12 km) in three passes from 3000 km from the
// centre to 20,000 km, in four or five down to 100 km.
constexpr int geodetic_max_iterations = 30;
constexpr double geodetic_latitude_step = 1e-15;

struct GeodeticFix {
  GeodeticStatus status = GeodeticStatus::ok;
  Geodetic point;       // NaN unless ok
  int iterations = 0;   // passes of the latitude iteration made
};

// Geodetic coordinates of the earth-fixed position xyz (km): Bowring's
// formula in the parametric latitude beta of the foot point, iterated
//   tan lat = (z + e'^2 b sin^3 beta) / (p - e^2 a cos^3 beta),  tan beta = (1 - f) tan lat,
// p = |(x, y)|, then the height h = p cos lat + z sin lat - a sqrt(1 - e^2 sin^2 lat)
// (exact at the poles too). To 1e-15 rad and 1e-11 km from
// geodetic_min_radius out to far beyond satellite heights. A non-finite coordinate gives
// not_finite, a position within geodetic_min_radius of the centre near_centre.
GeodeticFix geodetic_from_earth_fixed(const double* xyz);

}  // namespace bperp::stack
