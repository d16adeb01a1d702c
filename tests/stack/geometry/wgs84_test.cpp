// Geodetic coordinates on WGS84 against GeographicLib's geocentric
// conversion (GeographicLib::Geocentric::WGS84(), exact to rounding).
#include "bperp/stack/geometry/wgs84.h"

#include <GeographicLib/Geocentric.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace bperp::stack {
namespace {

constexpr double deg = std::numbers::pi / 180.0;

// GeographicLib in this library's units: rad and km.
Geodetic reference_geodetic(const double* xyz) {
  double lat = 0.0, lon = 0.0, h = 0.0;
  GeographicLib::Geocentric::WGS84().Reverse(xyz[0] * 1e3, xyz[1] * 1e3, xyz[2] * 1e3, lat, lon, h);
  return {lat * deg, lon * deg, h * 1e-3};
}

void reference_earth_fixed(const Geodetic& g, double* xyz, double* up) {
  std::vector<double> M(9);
  GeographicLib::Geocentric::WGS84().Forward(g.latitude / deg, g.longitude / deg, g.height * 1e3, xyz[0],
                                             xyz[1], xyz[2], M);
  for (int i = 0; i < 3; ++i) {
    xyz[i] *= 1e-3;
    up[i] = M[3 * i + 2];  // the third column of the local east-north-up frame
  }
}

// Longitude difference taken round the circle (rad).
double longitude_difference(double a, double b) { return std::remainder(a - b, 2.0 * std::numbers::pi); }

// Forward: a grid over latitudes from pole to pole (both poles, the
// equator), longitudes across the date line, and heights from 1000 km from
// the centre to 2000 km up.
TEST(Wgs84, EarthFixedAndNormalMatchGeographicLib) {
  for (const double lat : {-90.0, -89.999, -60.0, -12.5, 0.0, 0.001, 36.2, 78.0, 90.0}) {
    for (const double lon : {-180.0, -97.3, 0.0, 45.0, 128.48, 179.999}) {
      for (const double h : {-5378.0, -10.0, 0.0, 0.3, 693.0, 2000.0}) {
        const Geodetic g{lat * deg, lon * deg, h};
        double xyz[3], expected[3], up[3], normal[3];
        earth_fixed_from_geodetic(g, xyz);
        ellipsoid_normal(g.latitude, g.longitude, normal);
        reference_earth_fixed(g, expected, up);
        for (int i = 0; i < 3; ++i) {
          EXPECT_NEAR(xyz[i], expected[i], 1e-9) << lat << " " << lon << " " << h;  // km
          EXPECT_NEAR(normal[i], up[i], 1e-15) << lat << " " << lon;
        }
      }
    }
  }
}

// Inverse: random positions in the whole shell from 1000 km from the centre
// to 2000 km above the equator, and the positions on the axis and in the
// equatorial plane, where formulas that divide by p or z break.
TEST(Wgs84, GeodeticMatchesGeographicLibFromDeepInsideToHighOrbits) {
  std::mt19937_64 random(2024);
  std::uniform_real_distribution<double> unit(-1.0, 1.0), radius(1000.0, wgs84::a + 2000.0);
  std::vector<std::vector<double>> points = {
      {0.0, 0.0, 6356.7523142}, {0.0, 0.0, -7000.0}, {0.0, 0.0, 1000.0}, {1e-12, 0.0, 6400.0},
      {wgs84::a, 0.0, 0.0},     {0.0, -7071.0, 0.0}, {1000.0, 0.0, 0.0}, {-4000.0, -4000.0, 1e-9}};
  for (int k = 0; k < 20000; ++k) {
    double d[3] = {unit(random), unit(random), unit(random)};
    const double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    const double r = radius(random);
    points.push_back({d[0] / n * r, d[1] / n * r, d[2] / n * r});
  }
  int most_iterations = 0;
  for (const std::vector<double>& p : points) {
    const GeodeticFix fix = geodetic_from_earth_fixed(p.data());
    ASSERT_EQ(fix.status, GeodeticStatus::ok) << p[0] << " " << p[1] << " " << p[2];
    const Geodetic expected = reference_geodetic(p.data());
    EXPECT_NEAR(fix.point.latitude, expected.latitude, 1e-12) << p[0] << " " << p[1] << " " << p[2];  // rad
    EXPECT_NEAR(longitude_difference(fix.point.longitude, expected.longitude), 0.0, 1e-12);          // rad
    EXPECT_NEAR(fix.point.height, expected.height, 1e-9) << p[0] << " " << p[1] << " " << p[2];      // km
    most_iterations = std::max(most_iterations, fix.iterations);
  }
  EXPECT_LE(most_iterations, 6);
}

TEST(Wgs84, NoGeodeticCoordinatesAtTheCentreOrForNonFiniteInput) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double xyz[3];
    GeodeticStatus status;
  };
  for (const Case& c : {Case{{0.0, 0.0, 0.0}, GeodeticStatus::near_centre},
                        Case{{60.0, 0.0, 79.0}, GeodeticStatus::near_centre},   // 99.2 km out
                        Case{{60.0, 0.0, 81.0}, GeodeticStatus::ok},            // 100.8 km out
                        Case{{std::nan(""), 0.0, 7000.0}, GeodeticStatus::not_finite},
                        Case{{7000.0, inf, 0.0}, GeodeticStatus::not_finite}}) {
    const GeodeticFix fix = geodetic_from_earth_fixed(c.xyz);
    EXPECT_EQ(fix.status, c.status) << c.xyz[0] << " " << c.xyz[1] << " " << c.xyz[2];
    if (c.status != GeodeticStatus::ok) {
      EXPECT_TRUE(std::isnan(fix.point.height));
    }
  }
}

}  // namespace
}  // namespace bperp::stack
