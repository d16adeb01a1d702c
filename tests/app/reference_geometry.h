// An independent computation of the geometry the tool prints, written from
// the physics rather than from the library: the slant range of beam 7 to the
// sphere of the local geocentric earth radius, the scene point by bisection
// on the look angle in the plane of the radial and cross-track directions,
// and the baseline projected on the look direction and on the component of
// the master position at right angles to it.
#pragma once

#include "test_files.h"

namespace bperp_test {

struct Vec {
  double x = 0.0, y = 0.0, z = 0.0;
};

inline Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec operator*(double s, Vec a) { return {s * a.x, s * a.y, s * a.z}; }
double dot(Vec a, Vec b);
Vec cross(Vec a, Vec b);
double norm(Vec a);
Vec unit(Vec a);

Vec position_of(const Six& s);
Vec velocity_of(const Six& s);

// Earth-fixed velocity v at position P (km/s, km) -> velocity in the
// non-rotating frame that coincides with the earth-fixed one now: v + w x P.
Vec inertial_velocity(Vec P, Vec v);

// The distance from P along a ray 34.3 deg off the direction to the earth's
// centre to the sphere whose radius is the WGS84 ellipsoid's geocentric
// radius in the direction of P. NaN when the ray misses that sphere.
double reference_slant_range(Vec P);

// The point at distance R from P, looking to the right of the inertial
// velocity Vs (towards Vs x P) and down, that lies on the ellipsoid of the
// scene (a = 6378.137 km, b = 6356.7523141 km). NaN components when no
// look angle in (0, 90 deg) reaches the ellipsoid.
Vec reference_scene_point(Vec P, Vec Vs, double R);

struct ReferenceBaseline {
  double slant_range = 0.0;  // km
  Vec scene;                 // T, km
  Vec U;                     // unit look vector, master towards T
  Vec V;                     // unit, at right angles to U, in the plane of 0, P, T, away from the earth
  double parallel = 0.0;     // (P - S) . U, km
  double perpendicular = 0.0;  // (P - S) . V, km
};

ReferenceBaseline reference_baseline(const Six& master, const Six& slave);

// A realistic satellite state: a circular orbit of radius r (km) through the
// position at geocentric latitude lat and longitude lon (rad), heading at
// azimuth az (rad, from north towards east), returned earth-fixed (the
// earth-fixed velocity is the inertial one less w x P).
Six circular_orbit_state(double r, double lat, double lon, double az);

}  // namespace bperp_test
