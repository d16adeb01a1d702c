// The stack's decomposition against bperp's own baseline run, the extra
// quantities it reports, and the reference geometry.
#include "bperp/stack/geometry/stack_baseline.h"

#include <GeographicLib/Geocentric.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>

namespace bperp::stack {
namespace {

constexpr double deg = std::numbers::pi / 180.0;

// The example pair's master (examples/master.txt): 691 km up, descending.
StateVector example_master() {
  const double six[6] = {4066.372472, 4163.441233, 4014.008003,
                         4.163992967, 1.803068918, -6.088507505};
  return state_vector_from(six);
}

StateVector example_slave() {
  const double six[6] = {4066.224115, 4163.726359, 4014.012263,
                         4.164013759, 1.803079737, -6.088507505};
  return state_vector_from(six);
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The whole point of locating the scene point once: for any secondary the
// two components are bit for bit those of bperp's run of the pair.
TEST(StackBaseline, BitForBitTheBaselineRunOfThePair) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> offset(-2.0, 2.0);  // km
  std::uniform_real_distribution<double> speed(-0.01, 0.01); // km/s
  // The example orbit, the same turned about z, and mirrored to the south.
  const StateVector m = example_master();
  StateVector references[3] = {m, m, m};
  const double c = std::cos(1.3), sn = std::sin(1.3);
  references[1].position[0] = c * m.position[0] - sn * m.position[1];
  references[1].position[1] = sn * m.position[0] + c * m.position[1];
  references[1].velocity[0] = c * m.velocity[0] - sn * m.velocity[1];
  references[1].velocity[1] = sn * m.velocity[0] + c * m.velocity[1];
  references[2].position[2] = -m.position[2];
  references[2].velocity[2] = -m.velocity[2];
  for (const StateVector& reference : references) {
    const ReferenceGeometry geometry = reference_geometry(reference);
    ASSERT_EQ(geometry.status, RunStatus::ok);
    for (int k = 0; k < 200; ++k) {
      StateVector secondary = reference;
      for (int i = 0; i < 3; ++i) {
        secondary.position[i] += offset(random);
        secondary.velocity[i] += speed(random);
      }
      const BaselineRun pair = run_baseline(reference, secondary);
      ASSERT_EQ(pair.status, RunStatus::ok);
      const StackBaseline b = stack_baseline(geometry, secondary);
      ASSERT_EQ(b.status, RunStatus::ok);
      EXPECT_TRUE(same_bits(b.parallel, pair.parallel)) << b.parallel << " " << pair.parallel;
      EXPECT_TRUE(same_bits(b.perpendicular, pair.perpendicular))
          << b.perpendicular << " " << pair.perpendicular;
    }
    // The reference against itself: zero (a zero that may carry a sign).
    const StackBaseline self = stack_baseline(geometry, reference);
    EXPECT_EQ(self.parallel, 0.0);
    EXPECT_EQ(self.perpendicular, 0.0);
    EXPECT_EQ(self.length, 0.0);
    EXPECT_TRUE(std::isnan(self.height_of_ambiguity));
  }
}

// B = reference - secondary on the secondary's unit velocity: a secondary
// ahead of the reference along its own track by d has an along-track offset
// of -d; one moved across or up has none; the length is |d| in all cases.
TEST(StackBaseline, AlongTrackOffsetAndLength) {
  const StateVector reference = example_master();
  const ReferenceGeometry geometry = reference_geometry(reference);
  ASSERT_EQ(geometry.status, RunStatus::ok);
  const double* P = reference.position;
  const double* v = reference.velocity;
  const double speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  const double along[3] = {v[0] / speed, v[1] / speed, v[2] / speed};
  const double rp = std::sqrt(P[0] * P[0] + P[1] * P[1] + P[2] * P[2]);
  double up[3] = {P[0] / rp, P[1] / rp, P[2] / rp};
  // Up, made orthogonal to the velocity; across = along x up.
  const double ua = up[0] * along[0] + up[1] * along[1] + up[2] * along[2];
  for (int i = 0; i < 3; ++i) up[i] -= ua * along[i];
  const double nu = std::sqrt(up[0] * up[0] + up[1] * up[1] + up[2] * up[2]);
  for (double& x : up) x /= nu;
  const double across[3] = {along[1] * up[2] - along[2] * up[1], along[2] * up[0] - along[0] * up[2],
                            along[0] * up[1] - along[1] * up[0]};
  struct Case {
    const double* direction;
    double d;         // km
    double expected;  // along-track offset, km
  };
  for (const Case& c : {Case{along, 0.030, -0.030}, Case{along, -0.051, 0.051},
                        Case{across, 0.3, 0.0}, Case{up, -0.2, 0.0}}) {
    StateVector secondary = reference;
    for (int i = 0; i < 3; ++i) secondary.position[i] += c.d * c.direction[i];
    const StackBaseline b = stack_baseline(geometry, secondary);
    EXPECT_NEAR(b.along_track, c.expected, 1e-12);  // km
    EXPECT_NEAR(b.length, std::fabs(c.d), 1e-12);
  }
  StateVector still = reference;
  for (double& x : still.velocity) x = 0.0;
  EXPECT_TRUE(std::isnan(stack_baseline(geometry, still).along_track));
  StateVector broken = reference;
  broken.position[1] = std::nan("");
  EXPECT_EQ(stack_baseline(geometry, broken).status, RunStatus::not_finite_input);
  broken.position[1] = 1e308;
  EXPECT_EQ(stack_baseline(geometry, broken).status, RunStatus::not_finite_result);
}

// Worked by hand for the example pair from its printed geometry: lambda =
// 3e5 km/s / 1.27e9 Hz = 0.2362205 m, R = 868.4064 km, incidence (from the
// ellipsoid normal) 38.700916 deg, perpendicular 208.2926 m: 0.2362205 *
// 868406.4 * 0.6252866 / (2 * 208.2926) = 307.889 m. The geocentric
// incidence (38.67879 deg) would give 307.740 m, the off-nadir angle 277 m,
// a km/m slip a factor 1000.
TEST(StackBaseline, HeightOfAmbiguityOfTheExamplePair) {
  const ReferenceGeometry geometry = reference_geometry(example_master());
  ASSERT_EQ(geometry.status, RunStatus::ok);
  EXPECT_DOUBLE_EQ(geometry.wavelength, 300000.0 / 1.27e9);  // km
  const StackBaseline b = stack_baseline(geometry, example_slave());
  EXPECT_NEAR(b.perpendicular * 1e3, 208.2926, 1e-4);          // m
  EXPECT_NEAR(b.height_of_ambiguity * 1e3, 307.889, 0.001);    // m
  // Slave and master swapped in position: the sign follows the perpendicular.
  StateVector mirrored = example_master();
  for (int i = 0; i < 3; ++i)
    mirrored.position[i] = 2.0 * example_master().position[i] - example_slave().position[i];
  const StackBaseline m = stack_baseline(geometry, mirrored);
  EXPECT_NEAR(m.perpendicular, -b.perpendicular, 1e-9);
  EXPECT_NEAR(m.height_of_ambiguity, -b.height_of_ambiguity, 1e-6);
}

// The scene point's geodetic coordinates against GeographicLib's exact
// conversion on the ellipsoid of earth model 1 (a = 6378.137 km, flattening
// 1/298.257222101, GRS80, whose b differs from WGS84's by 0.1 mm); the point
// lies on the scene ellipsoid (b = 6356.7523141 km, 0.04 mm from GRS80's),
// seen by the beam at about its 34.3 degrees off nadir.
TEST(ReferenceGeometry, ScenePointGeodeticAgainstGeographicLib) {
  const GeographicLib::Geocentric grs80(6378137.0, 1.0 / 298.257222101);
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> angle(-std::numbers::pi, std::numbers::pi);
  const StateVector m = example_master();
  for (int k = 0; k < 50; ++k) {
    // The example orbit turned about z and about x: other latitudes and headings.
    const double a = angle(random), b = 0.5 * angle(random);
    StateVector s;
    const double* src[2] = {m.position, m.velocity};
    double* dst[2] = {s.position, s.velocity};
    for (int j = 0; j < 2; ++j) {
      const double x1 = std::cos(a) * src[j][0] - std::sin(a) * src[j][1];
      const double y1 = std::sin(a) * src[j][0] + std::cos(a) * src[j][1];
      dst[j][0] = x1;
      dst[j][1] = std::cos(b) * y1 - std::sin(b) * src[j][2];
      dst[j][2] = std::sin(b) * y1 + std::cos(b) * src[j][2];
    }
    const ReferenceGeometry g = reference_geometry(s);
    ASSERT_EQ(g.status, RunStatus::ok);
    double lat, lon, h;
    grs80.Reverse(g.scene_point[0] * 1e3, g.scene_point[1] * 1e3, g.scene_point[2] * 1e3, lat, lon, h);
    EXPECT_NEAR(g.latitude / deg, lat, 1e-9);   // deg
    EXPECT_NEAR(g.longitude / deg, lon, 1e-9);  // deg
    EXPECT_NEAR(g.height * 1e3, h, 1e-6);       // m
    EXPECT_LT(std::fabs(h), 1e-3);              // m: on the ellipsoid
    // The slant range comes from a sphere of the local radius, the point
    // from the ellipsoid: the angle at the satellite differs by a little.
    EXPECT_NEAR(g.off_nadir / deg, 34.3, 0.25);
    EXPECT_GT(g.incidence, g.off_nadir);        // the earth curves away
    // The incidence against the ellipsoid normal of GeographicLib's
    // latitude and longitude (the scene ellipsoid's normal is 1e-11 rad off).
    const double n[3] = {std::cos(lat * deg) * std::cos(lon * deg),
                         std::cos(lat * deg) * std::sin(lon * deg), std::sin(lat * deg)};
    double d[3], dn = 0.0, dd = 0.0;
    for (int i = 0; i < 3; ++i) {
      d[i] = s.position[i] - g.scene_point[i];
      dn += d[i] * n[i];
      dd += d[i] * d[i];
    }
    EXPECT_NEAR(g.incidence, std::acos(dn / std::sqrt(dd)), 1e-9);  // rad
  }
}

// A reference that bperp refuses as a master is refused with the same verdict.
TEST(ReferenceGeometry, RefusedAsBperpRefusesTheMaster) {
  struct Case {
    double position[3];
    double velocity[3];
    RunStatus status;
  };
  for (const Case& c : {Case{{3000.0, 0.0, 1000.0}, {0.0, 7.5, 0.0}, RunStatus::inside_earth},
                        Case{{1e6, 0.0, 0.0}, {0.0, 7.5, 0.0}, RunStatus::beam_misses_earth},
                        Case{{7000.0, 0.0, 0.0}, {0.0, 0.0, 0.0}, RunStatus::no_cross_track},
                        Case{{7000.0, 0.0, 0.0}, {7.5, 0.0, 0.0}, RunStatus::no_cross_track},
                        Case{{7000.0, 0.0, 0.0}, {0.0, 7.5, 0.0}, RunStatus::ok}}) {
    StateVector s;
    for (int i = 0; i < 3; ++i) s.position[i] = c.position[i], s.velocity[i] = c.velocity[i];
    const ReferenceGeometry g = reference_geometry(s);
    EXPECT_EQ(g.status, c.status) << c.position[0];
    EXPECT_EQ(g.status, run_baseline(s, example_slave()).status) << c.position[0];
    if (g.status != RunStatus::ok) {
      EXPECT_NE(reference_failure_text(g.status, "ref.txt").find("ref.txt"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace bperp::stack
