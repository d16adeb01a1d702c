// Earth ellipsoids and the conversions from earth-fixed positions to
// geodetic quantities.
//
// Frame: earth-fixed, origin at the earth's centre, z along the rotation
// axis. Units: km and rad.
#pragma once

namespace bperp {

// Fields of the ellipsoid record (seven doubles).
namespace ellipsoid {
constexpr int a = 0;   // equatorial radius, km
constexpr int b = 1;   // polar radius, km
constexpr int dx = 2;  // X of the model's centre, km
constexpr int dy = 3;  // Y of the model's centre, km
constexpr int dz = 4;  // Z of the model's centre, km
constexpr int e = 5;   // first eccentricity sqrt(a^2 - b^2) / a
constexpr int f = 6;   // flattening, as stored
constexpr int size = 7;
}  // namespace ellipsoid

// Fields of the sub-point record of earth_r1 (six doubles).
namespace subpoint {
constexpr int radius = 0;     // centre to surface along the position's direction, km
constexpr int latitude = 1;   // geodetic latitude of that surface point, rad
constexpr int longitude = 2;  // atan2(y, x), rad
constexpr int x = 3;          // surface point, relative to the model's centre, km
constexpr int y = 4;
constexpr int z = 5;
constexpr int size = 6;
}  // namespace subpoint

// Fields of the geodetic record of earth_r2 (four doubles).
namespace geodetic {
constexpr int radius = 0;     // a * (1 - ((a - b) / a) * sin^2(latitude)), km
constexpr int latitude = 1;   // geodetic latitude, rad
constexpr int longitude = 2;  // atan2(y, x), rad
constexpr int height = 3;     // height above the ellipsoid along its normal, km
constexpr int size = 4;
}  // namespace geodetic

// The most passes earth_r2 makes; from the surface upward it settles in a
// handful (four or five at satellite heights, one on the polar axis).
constexpr int earth_r2_max_passes = 100;

// Fills record[0..6] with the ellipsoid of the model: 0 (a = 6377.397155 km,
// centre offset), 1 (GRS80, a = 6378.137 km), 2 (a = 6378.14 km). Any other
// model number gives zeros and a NaN eccentricity.
void earth_parameters(double* record, int model);

// Earth-fixed position (X, Y, Z) in km -> record[0..5]: the local earth
// radius along the geocentric direction of the position, the geodetic
// latitude and the longitude of the surface point there, and its coordinates.
// Closed form; depends only on the direction. At the model's centre every
// field but the longitude (0) is NaN.
void earth_r1(double X, double Y, double Z, double* record, int model);

// Earth-fixed position (X, Y, Z) in km -> record[0..3]: approximate local
// radius, geodetic latitude, longitude and height along the normal, by
// correcting latitude and height together until the latitude step is at most
// 1e-12 rad (at most earth_r2_max_passes passes). A position with z exactly 0
// (after the model's offset) off the axis gives [a, 0, lambda, 0] without
// iteration. NaN input gives NaN fields. Returns the number of passes made
// (0 in the equatorial-plane case).
int earth_r2(double X, double Y, double Z, double* record, int model);

}  // namespace bperp
