// The earth models and the two conversions from earth-fixed positions to
// geodetic quantities, against the worked values and against GeographicLib's
// exact geocentric conversion on the same ellipsoid.
#include "bperp/earth/earth_model.h"

#include <GeographicLib/Geocentric.hpp>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>
#include <sstream>
#include <string>

#include "support/uniform.h"

namespace bperp {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Model 1: the WGS84 equatorial radius with the flattening 1/298.257222101.
constexpr double kA1 = 6378.137;
constexpr double kB1 = 6356.752314140355;
constexpr double kF1 = 0.003352810681182319;

struct ModelRow {
  int model;
  double a, b, dx, dy, dz, f, e;
};

TEST(EarthParameters, TableRows) {
  // Radii, offsets and flattening as stored; e = sqrt(a^2 - b^2) / a to ten
  // decimals from the same radii.
  const ModelRow rows[] = {
      {0, 6377.397155, 6356.07896283244, -0.14754, 0.50726, 0.68047, 0.0033427731799399794,
       0.0816968312},
      {1, 6378.137, 6356.752314140355, 0.0, 0.0, 0.0, 0.003352810681182319, 0.0818191910},
      {2, 6378.14, 6356.755, 0.0, 0.0, 0.0, 0.0033528583568250645, 0.0818197718},
  };
  for (const ModelRow& row : rows) {
    SCOPED_TRACE(testing::Message() << "model " << row.model);
    double record[ellipsoid::size];
    for (double& field : record) field = -999.0;  // every field must be written
    earth_parameters(record, row.model);
    EXPECT_EQ(record[ellipsoid::a], row.a);
    EXPECT_EQ(record[ellipsoid::b], row.b);
    EXPECT_EQ(record[ellipsoid::dx], row.dx);
    EXPECT_EQ(record[ellipsoid::dy], row.dy);
    EXPECT_EQ(record[ellipsoid::dz], row.dz);
    EXPECT_EQ(record[ellipsoid::f], row.f);
    EXPECT_NEAR(record[ellipsoid::e], row.e, 5e-11);
    // The stored b is a (1 - f) in double arithmetic (models 0 and 1) and f
    // is (a - b) / a for model 2.
    if (row.model != 2) {
      EXPECT_EQ(row.a * (1 - row.f), row.b);
    }
    // Two calls give the same record.
    double again[ellipsoid::size];
    earth_parameters(again, row.model);
    for (int i = 0; i < ellipsoid::size; ++i) EXPECT_EQ(again[i], record[i]) << "field " << i;
  }
}

TEST(EarthParameters, UnknownModelsGiveZerosAndNaNEccentricity) {
  for (int model : {3, -1, 4, 1000, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(testing::Message() << "model " << model);
    double record[ellipsoid::size];
    for (double& field : record) field = -999.0;
    earth_parameters(record, model);
    for (int i : {ellipsoid::a, ellipsoid::b, ellipsoid::dx, ellipsoid::dy, ellipsoid::dz,
                  ellipsoid::f})
      EXPECT_EQ(record[i], 0.0) << "field " << i;
    EXPECT_TRUE(std::isnan(record[ellipsoid::e]));
  }
}

// The sub-point record along the geocentric direction: worked values with
// model 1.
struct SubpointCase {
  double X, Y, Z;
  double radius, latitude, longitude, sx, sy, sz;
  double length_tol, angle_tol;  // half a unit of the last digit given
};

TEST(EarthR1, WorkedPositions) {
  const SubpointCase cases[] = {
      // On the equator: R = a, the surface point (a, 0, 0).
      {7000, 0, 0, kA1, 0.0, 0.0, kA1, 0.0, 0.0, 1e-9, 1e-15},
      {14000, 0, 0, kA1, 0.0, 0.0, kA1, 0.0, 0.0, 1e-9, 1e-15},
      // On the polar axis: z / p is infinite, R = b, latitude +-pi/2.
      {0, 0, 7000, kB1, kPi / 2, 0.0, 0.0, 0.0, kB1, 1e-9, 1e-15},
      {0, 0, -7000, kB1, -kPi / 2, 0.0, 0.0, 0.0, -kB1, 1e-9, 1e-15},
      // Second quadrant; the latitude of the surface point on the geocentric
      // line is larger than the position's own geodetic latitude.
      {-3000, 4000, 5000, 6367.4177249, 0.7887565821, 2.2142974356, kNaN, kNaN, kNaN, 5e-8,
       5e-11},
  };
  for (const SubpointCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "(" << c.X << ", " << c.Y << ", " << c.Z << ")");
    double record[subpoint::size];
    earth_r1(c.X, c.Y, c.Z, record, 1);
    EXPECT_NEAR(record[subpoint::radius], c.radius, c.length_tol);
    EXPECT_NEAR(record[subpoint::latitude], c.latitude, c.angle_tol);
    EXPECT_NEAR(record[subpoint::longitude], c.longitude, c.angle_tol);
    if (!std::isnan(c.sx)) {
      EXPECT_NEAR(record[subpoint::x], c.sx, 1e-9);
      EXPECT_NEAR(record[subpoint::y], c.sy, 1e-9);
      EXPECT_NEAR(record[subpoint::z], c.sz, 1e-9);
    }
  }
}

TEST(EarthR1, DoublingThePositionGivesTheSameRecord) {
  // Doubling is exact, so every quotient and with it every field is the same.
  const double positions[][3] = {{7000, 0, 0}, {-3000, 4000, 5000}, {1234.5, -6543.2, -987.6}};
  for (const auto& p : positions) {
    double r1[subpoint::size], r2[subpoint::size];
    earth_r1(p[0], p[1], p[2], r1, 1);
    earth_r1(2 * p[0], 2 * p[1], 2 * p[2], r2, 1);
    for (int i = 0; i < subpoint::size; ++i) EXPECT_EQ(r1[i], r2[i]) << "field " << i;
  }
}

TEST(EarthR1, AtTheCentreEveryFieldButTheLongitudeIsNaN) {
  double record[subpoint::size];
  earth_r1(0.0, 0.0, 0.0, record, 1);
  EXPECT_EQ(record[subpoint::longitude], 0.0);
  for (int i : {subpoint::radius, subpoint::latitude, subpoint::x, subpoint::y, subpoint::z})
    EXPECT_TRUE(std::isnan(record[i])) << "field " << i;
}

TEST(EarthR1, ModelCentreOffsetIsSubtracted) {
  // Model 0's centre is at (-0.14754, 0.50726, 0.68047) km: 7000 km out along
  // X from there lies on that model's equator.
  double ellipsoid0[ellipsoid::size];
  earth_parameters(ellipsoid0, 0);
  double record[subpoint::size];
  earth_r1(7000 - 0.14754, 0.50726, 0.68047, record, 0);
  EXPECT_NEAR(record[subpoint::radius], ellipsoid0[ellipsoid::a], 1e-9);
  EXPECT_NEAR(record[subpoint::latitude], 0.0, 1e-12);
  EXPECT_NEAR(record[subpoint::longitude], 0.0, 1e-12);
  // The surface point stays relative to the model's centre.
  EXPECT_NEAR(record[subpoint::x], ellipsoid0[ellipsoid::a], 1e-9);
  EXPECT_NEAR(record[subpoint::y], 0.0, 1e-9);
  EXPECT_NEAR(record[subpoint::z], 0.0, 1e-9);
}

// The reproducible uniform sample in [0, 1).
using test_support::Uniform;

std::string scientific(double value) {
  std::ostringstream out;
  out.precision(3);
  out << std::scientific << value;
  return out.str();
}

// The surface point of earth_r1 lies on the model ellipsoid, on the ray from
// the centre through the position, and its geodetic latitude (GeographicLib)
// is the record's latitude.
TEST(EarthR1, SurfacePointAgainstGeographicLib) {
  const GeographicLib::Geocentric reference(kA1 * 1000.0, kF1);
  Uniform u(11);
  for (int k = 0; k < 1000; ++k) {
    const double X = u(-8000, 8000), Y = u(-8000, 8000), Z = u(-8000, 8000);
    double record[subpoint::size];
    earth_r1(X, Y, Z, record, 1);
    const double sx = record[subpoint::x], sy = record[subpoint::y], sz = record[subpoint::z];
    double lat, lon, h;
    reference.Reverse(sx * 1000.0, sy * 1000.0, sz * 1000.0, lat, lon, h);
    ASSERT_NEAR(h / 1000.0, 0.0, 1e-9) << "(" << X << ", " << Y << ", " << Z << ")";
    ASSERT_NEAR(record[subpoint::latitude], lat * (kPi / 180), 1e-12);
    ASSERT_NEAR(record[subpoint::longitude], std::atan2(Y, X), 1e-15);
    const double r = std::sqrt(X * X + Y * Y + Z * Z);
    ASSERT_NEAR(record[subpoint::radius], std::sqrt(sx * sx + sy * sy + sz * sz), 1e-9);
    // On the ray: the surface point is the position scaled by R / r.
    ASSERT_NEAR(sx, X * record[subpoint::radius] / r, 1e-9);
    ASSERT_NEAR(sy, Y * record[subpoint::radius] / r, 1e-9);
    ASSERT_NEAR(sz, Z * record[subpoint::radius] / r, 1e-9);
  }
}

// The geodetic record along the ellipsoid's normal: worked values with
// model 1, with the number of passes.
struct GeodeticCase {
  double X, Y, Z;
  int passes;
  double radius, latitude, longitude, height;
  double length_tol, angle_tol;
};

TEST(EarthR2, WorkedPositions) {
  const GeodeticCase cases[] = {
      // Equatorial plane: no pass, height taken as 0 (not 621.863).
      {7000, 0, 0, 0, kA1, 0.0, 0.0, 0.0, 0.0, 0.0},
      {-7000, 0, 0, 0, kA1, 0.0, kPi, 0.0, 0.0, 0.0},
      // Just off the plane the passes run and give the true height.
      {7000, 0, 1e-9, -1, kA1, 1.44e-13, 0.0, 7000 - kA1, 1e-9, 5e-16},
      // Polar axis: one pass, height 7000 - b.
      {0, 0, 7000, 1, kB1, kPi / 2, 0.0, 643.2476858596, 1e-9, 1e-15},
      {0, 0, -7000, 1, kB1, -kPi / 2, 0.0, 643.2476858596, 1e-9, 1e-15},
      {-3000, 4000, 5000, 5, 6367.3799853, 0.7884223904, 2.2142974356, 703.6465136, 5e-8, 5e-11},
  };
  for (const GeodeticCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "(" << c.X << ", " << c.Y << ", " << c.Z << ")");
    double record[geodetic::size];
    const int passes = earth_r2(c.X, c.Y, c.Z, record, 1);
    if (c.passes >= 0) {
      EXPECT_EQ(passes, c.passes);
    } else {
      EXPECT_GE(passes, 1);
    }
    if (c.passes == 0) {
      EXPECT_EQ(record[geodetic::radius], c.radius);
      EXPECT_EQ(record[geodetic::latitude], 0.0);
      EXPECT_EQ(record[geodetic::longitude], c.longitude);
      EXPECT_EQ(record[geodetic::height], 0.0);
      continue;
    }
    EXPECT_NEAR(record[geodetic::radius], c.radius, c.length_tol);
    EXPECT_NEAR(record[geodetic::latitude], c.latitude, c.angle_tol);
    EXPECT_NEAR(record[geodetic::longitude], c.longitude, c.angle_tol);
    EXPECT_NEAR(record[geodetic::height], c.height, c.length_tol);
  }
}

TEST(EarthR2, EquatorialPlaneCaseIsDecidedAfterTheModelOffset) {
  double ellipsoid0[ellipsoid::size];
  earth_parameters(ellipsoid0, 0);
  double record[geodetic::size];
  // Model 0: Z = 0 lies 0.68047 km below that model's equatorial plane.
  EXPECT_GT(earth_r2(7000, 0, 0, record, 0), 0);
  EXPECT_LT(record[geodetic::latitude], 0.0);
  // Z = 0.68047 lies in it: no pass, height 0 and radius a of model 0.
  EXPECT_EQ(earth_r2(7000, 0, 0.68047, record, 0), 0);
  EXPECT_EQ(record[geodetic::radius], ellipsoid0[ellipsoid::a]);
  EXPECT_EQ(record[geodetic::latitude], 0.0);
  EXPECT_EQ(record[geodetic::height], 0.0);
  // The longitude is that of the position relative to the model's centre.
  EXPECT_EQ(record[geodetic::longitude], std::atan2(0.0 - 0.50726, 7000 + 0.14754));
}

TEST(EarthR2, ModelCentreOffsetIsSubtracted) {
  // 7000 km above model 0's centre along its axis: the pole of model 0.
  double ellipsoid0[ellipsoid::size];
  earth_parameters(ellipsoid0, 0);
  double record[geodetic::size];
  EXPECT_EQ(earth_r2(-0.14754, 0.50726, 0.68047 + 7000, record, 0), 1);
  EXPECT_NEAR(record[geodetic::latitude], kPi / 2, 1e-15);
  EXPECT_NEAR(record[geodetic::height], 7000 - ellipsoid0[ellipsoid::b], 1e-9);
}

TEST(EarthR2, NotANumberFlowsThroughAndEndsTheLoop) {
  double record[geodetic::size];
  const int passes = earth_r2(kNaN, 0.0, 7000.0, record, 1);
  EXPECT_GE(passes, 1);
  EXPECT_LE(passes, earth_r2_max_passes);
  EXPECT_TRUE(std::isnan(record[geodetic::latitude]));
  EXPECT_TRUE(std::isnan(record[geodetic::height]));
}

TEST(EarthR2, PositionsDeepInsideTheEarthEndWithinTheBound) {
  // The passes need not settle there; the bound ends them.
  const double positions[][3] = {{1, 1, 1}, {100, 0, 50}, {-5, 3, -2}, {30, 20, 1e-3}};
  for (const auto& p : positions) {
    double record[geodetic::size];
    const int passes = earth_r2(p[0], p[1], p[2], record, 1);
    EXPECT_GE(passes, 1);
    EXPECT_LE(passes, earth_r2_max_passes);
  }
}

// Against GeographicLib's exact conversion on model 1's ellipsoid (WGS84's a
// with model 1's flattening; WGS84's own flattening differs in the ninth
// digit, which moves the polar radius by 0.1 mm). Positions are made by the
// forward conversion from random geodetic coordinates, all latitudes, from
// the surface to 1000 km up, and compared with the reverse conversion.
TEST(EarthR2, AgainstGeographicLibFromTheSurfaceTo1000Km) {
  const GeographicLib::Geocentric reference(kA1 * 1000.0, kF1);
  const GeographicLib::Geocentric wgs84(6378137.0, 1 / 298.257223563);
  Uniform u(2024);
  double max_latitude = 0.0, max_height = 0.0, max_longitude = 0.0, max_wgs84_height = 0.0;
  int max_passes = 0, max_passes_satellite = 0;
  const int samples = 5000;
  for (int k = 0; k < samples; ++k) {
    // Every fourth sample within a degree of a pole, the rest uniform in
    // latitude; heights uniform from 0 to 1000 km, a few exactly at the ends.
    double lat_deg = (k % 4 == 0) ? (k % 8 == 0 ? 1 : -1) * u(89.0, 90.0) : u(-90.0, 90.0);
    const double lon_deg = u(-180.0, 180.0);
    const double h_km = (k % 97 == 0) ? 0.0 : (k % 89 == 0) ? 1000.0 : u(0.0, 1000.0);
    double Xm, Ym, Zm;
    reference.Forward(lat_deg, lon_deg, h_km * 1000.0, Xm, Ym, Zm);
    const double X = Xm / 1000.0, Y = Ym / 1000.0, Z = Zm / 1000.0;
    if (Z == 0.0) continue;  // the equatorial-plane case has its own test
    double lat, lon, h;
    reference.Reverse(X * 1000.0, Y * 1000.0, Z * 1000.0, lat, lon, h);
    double record[geodetic::size];
    const int passes = earth_r2(X, Y, Z, record, 1);
    const double dlat = std::fabs(record[geodetic::latitude] - lat * (kPi / 180));
    const double dh = std::fabs(record[geodetic::height] - h / 1000.0);
    double dlon = std::fabs(record[geodetic::longitude] - lon * (kPi / 180));
    if (dlon > kPi) dlon = std::fabs(dlon - 2 * kPi);  // +-pi are one longitude
    ASSERT_LE(dlat, 1e-9) << "lat " << lat_deg << " lon " << lon_deg << " h " << h_km;
    ASSERT_LE(dh, 1e-9) << "lat " << lat_deg << " lon " << lon_deg << " h " << h_km;
    ASSERT_LE(dlon, 1e-12) << "lat " << lat_deg << " lon " << lon_deg << " h " << h_km;
    // Radius field: a (1 - f' sin^2 phi) with f' = (a - b) / a.
    const double s = std::sin(record[geodetic::latitude]);
    ASSERT_NEAR(record[geodetic::radius], kA1 * (1 - ((kA1 - kB1) / kA1) * s * s), 1e-9);
    max_latitude = std::fmax(max_latitude, dlat);
    max_height = std::fmax(max_height, dh);
    max_longitude = std::fmax(max_longitude, dlon);
    max_passes = std::max(max_passes, passes);
    if (h_km >= 300.0) max_passes_satellite = std::max(max_passes_satellite, passes);
    double wlat, wlon, wh;
    wgs84.Reverse(X * 1000.0, Y * 1000.0, Z * 1000.0, wlat, wlon, wh);
    max_wgs84_height = std::fmax(max_wgs84_height, std::fabs(record[geodetic::height] - wh / 1000.0));
  }
  // From the surface up the passes settle in a handful, far below the bound.
  EXPECT_LE(max_passes, 6);
  RecordProperty("max_latitude_difference_rad", scientific(max_latitude));
  RecordProperty("max_height_difference_km", scientific(max_height));
  RecordProperty("max_longitude_difference_rad", scientific(max_longitude));
  RecordProperty("max_passes", max_passes);
  RecordProperty("max_height_difference_to_wgs84_flattening_km", scientific(max_wgs84_height));
  std::printf(
      "earth_r2 vs GeographicLib over %d positions: latitude %s rad, height %s km, "
      "longitude %s rad; passes at most %d (%d from 300 km up); against WGS84's own "
      "flattening the height differs by up to %s km\n",
      samples, scientific(max_latitude).c_str(), scientific(max_height).c_str(),
      scientific(max_longitude).c_str(), max_passes, max_passes_satellite,
      scientific(max_wgs84_height).c_str());
}

}  // namespace
}  // namespace bperp
