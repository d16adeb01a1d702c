// The scene point at a slant range (Newton iteration on the look angle with
// the attitude applied) and the Doppler centroid with its time derivatives.
#include "bperp/geometry/scene_point.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <numbers>
#include <sstream>
#include <string>

#include "beam_range.h"
#include "bperp/geometry/beams.h"
#include "bperp/geometry/settings.h"
#include "bperp/earth/earth_model.h"
#include "bperp/numeric/fatal_error.h"
#include "bperp/numeric/scalar.h"
#include "support/orbit_samples.h"
#include "two_body_reference.h"

namespace bperp {
namespace {

using testing_orbits::state;
using testing_orbits::Uniform;

constexpr double kDeg = std::numbers::pi / 180;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The scene ellipsoid of the settings.
constexpr double kA = 6378.137;
constexpr double kB = 6356.7523141;

struct Attitude {
  double yaw, roll, pitch, side;
};

DVector settings(const Attitude& att) {
  DVector f = processing_parameters();
  f[param::yaw] = att.yaw;
  f[param::roll] = att.roll;
  f[param::pitch] = att.pitch;
  f[param::look_side] = att.side;
  return f;
}

struct Found {
  double T[3] = {kNaN, kNaN, kNaN};
  double block[doppler::size] = {kNaN, kNaN, kNaN, kNaN, kNaN};
  SceneSearch search;
};

Found locate(const DVector& f, const DMatrix& m, double R) {
  Found out;
  out.search.iterations = -1;
  scan_point_sar_2(f, m, R, out.T, out.block, 2, &out.search);
  return out;
}

double distance(const double* T, const DMatrix& m) {
  const double d[3] = {T[0] - m[sv::x][sv::state], T[1] - m[sv::y][sv::state],
                       T[2] - m[sv::z][sv::state]};
  return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

// X^2/a^2 + Y^2/a^2 + Z^2/b^2 - 1.
double ellipsoid_residual(const double* T, double a = kA, double b = kB) {
  return (T[0] * T[0] + T[1] * T[1]) / (a * a) + T[2] * T[2] / (b * b) - 1.0;
}

std::string scientific(double value) {
  std::ostringstream out;
  out.precision(3);
  out << std::scientific << value;
  return out.str();
}

// Satellite over the equator at 7000 km moving north: the slant range of beam
// 7 on the equatorial radius is 770.69117 km; the height in the equatorial
// plane is 0, so the look angle starts at 90 degrees.
TEST(ScanPointSar2, EquatorialSatelliteBothSides) {
  const DMatrix m = state_vector_matrix(state(7000, 0, 0, 0, 0, 7.5));
  const double R = test::beam_slant_range(m, data_vornix_off[run_beam] * degrees_to_radians);
  EXPECT_NEAR(R, 770.69117, 5e-6);
  const struct {
    double side, Tx, Ty, Tz;
  } cases[] = {
      // East of the satellite (right of the northbound track), slightly south
      // of the equator because Vs leans east.
      {1.0, 6363.3329, 433.3015, -29.4904},
      {-1.0, 6363.3329, -433.3015, 29.4904},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "side " << c.side);
    const Found found = locate(settings({0, 0, 0, c.side}), m, R);
    EXPECT_EQ(found.search.height, 0.0);
    EXPECT_TRUE(found.search.started);
    EXPECT_TRUE(found.search.converged);
    EXPECT_EQ(found.search.iterations, 6);
    EXPECT_NEAR(found.search.look_angle / kDeg, 34.299945, 5e-7);
    EXPECT_NEAR(found.T[0], c.Tx, 5e-5);
    EXPECT_NEAR(found.T[1], c.Ty, 5e-5);
    EXPECT_NEAR(found.T[2], c.Tz, 5e-5);
    EXPECT_NEAR(distance(found.T, m), R, 1e-9);
    EXPECT_NEAR(ellipsoid_residual(found.T), 0.0, 1e-12);
  }
}

// Attitude conventions: position (4000, 3000, 4800) km, velocity as read
// (-3, -4, 5) km/s, R = 900 km; height 563.23246 km.
TEST(ScanPointSar2, AttitudeCases) {
  const DMatrix m = state_vector_matrix(state(4000, 3000, 4800, -3, -4, 5));
  const struct {
    Attitude att;
    int iterations;  // 0: not given
    double theta_deg, Tx, Ty, Tz;
  } cases[] = {
      {{0.05, 0.03, -0.02, 1.0}, 4, 46.599642, 3191.4300, 3219.7276, 4471.4663},
      {{0.05, 0.03, -0.02, -1.0}, 0, 49.987683, 4129.0358, 2276.0684, 4281.0850},
      {{0.0, 0.0, 0.0, 1.0}, 0, 48.276338, 3200.7231, 3230.9863, 4456.7774},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "yaw " << c.att.yaw << " roll " << c.att.roll << " pitch "
                                    << c.att.pitch << " side " << c.att.side);
    const Found found = locate(settings(c.att), m, 900.0);
    EXPECT_NEAR(found.search.height, 563.23246, 5e-6);
    EXPECT_TRUE(found.search.converged);
    if (c.iterations > 0) {
      EXPECT_EQ(found.search.iterations, c.iterations);
    }
    EXPECT_NEAR(found.search.look_angle / kDeg, c.theta_deg, 5e-7);
    EXPECT_NEAR(found.T[0], c.Tx, 5e-5);
    EXPECT_NEAR(found.T[1], c.Ty, 5e-5);
    EXPECT_NEAR(found.T[2], c.Tz, 5e-5);
    EXPECT_NEAR(distance(found.T, m), 900.0, 1e-9);
    EXPECT_NEAR(ellipsoid_residual(found.T), 0.0, 1e-12);
  }
}

// Random realistic satellites: 400 to 900 km up, any inclination, both look
// sides. The point is at the slant range from the satellite and on the scene
// ellipsoid. The point is the one evaluated before the last Newton update,
// so its residual is that of the angle before a step of relative size up to
// 1e-9: at the system's beam with attitude angles up to a milliradian that
// stays below 1e-12; with every beam of the sensor and attitude angles up to
// 0.05 rad it is bounded by what the stop rule allows, 2 (R / a) theta 1e-9.
struct SampleSet {
  const char* name;
  std::uint64_t seed;
  double attitude;  // largest attitude angle, rad
  bool every_beam;
  bool tight;       // 1e-12 on the ellipsoid
};

TEST(ScanPointSar2, RandomSatellitesHitTheEllipsoidAtTheSlantRange) {
  const SampleSet sets[] = {
      {"beam 7, attitude up to 1 mrad", 7, 0.001, false, true},
      {"every beam, attitude up to 0.05 rad", 8, 0.05, true, false},
  };
  for (const SampleSet& set : sets) {
    SCOPED_TRACE(set.name);
    Uniform u(set.seed);
    double worst_range = 0.0, worst_ellipsoid = 0.0, worst_share = 0.0;
    int worst_iterations = 0;
    const int samples = 4000;
    for (int k = 0; k < samples; ++k) {
      const StateVector sat = testing_orbits::random_satellite(u, u(400.0, 900.0));
      const double s = set.attitude;
      const Attitude att = {u(-s, s), u(-s, s), u(-s, s), k % 2 == 0 ? 1.0 : -1.0};
      const DMatrix m = state_vector_matrix(sat);
      const int beam = set.every_beam ? k % beam_count : run_beam;
      const double R = test::beam_slant_range(m, data_vornix_off[beam] * degrees_to_radians);
      const Found found = locate(settings(att), m, R);
      SCOPED_TRACE(testing::Message() << "sample " << k << " R " << R);
      ASSERT_TRUE(found.search.started);
      ASSERT_TRUE(found.search.converged);
      const double dr = std::fabs(distance(found.T, m) - R);
      const double de = std::fabs(ellipsoid_residual(found.T));
      const double allowed = set.tight ? 1e-12 : 2.0 * (R / kA) * found.search.look_angle * 1e-9;
      ASSERT_LE(dr, 1e-9);
      ASSERT_LE(de, allowed);
      worst_range = std::fmax(worst_range, dr);
      worst_ellipsoid = std::fmax(worst_ellipsoid, de);
      worst_share = std::fmax(worst_share, de / allowed);
      worst_iterations = std::max(worst_iterations, found.search.iterations);
    }
    EXPECT_LE(worst_iterations, 6);
    const std::string key = set.tight ? "beam7" : "every_beam";
    RecordProperty("max_range_difference_km_" + key, scientific(worst_range));
    RecordProperty("max_relative_ellipsoid_residual_" + key, scientific(worst_ellipsoid));
    RecordProperty("max_iterations_" + key, worst_iterations);
    std::printf("scene point, %s, %d satellites: ||T - P| - R| <= %s km, ellipsoid residual <= "
                "%s (%.2f of the allowance), at most %d iterations\n",
                set.name, samples, scientific(worst_range).c_str(),
                scientific(worst_ellipsoid).c_str(), worst_share, worst_iterations);
  }
}

// With the attitude angles at 0 the look direction lies in the plane of the
// cross-track and radial axes: no along-track component, the cross-track
// component on the side of Vs x P for side +1 and on the other for -1.
TEST(ScanPointSar2, LookSideAndTheOrbitalPlane) {
  Uniform u(99);
  for (int k = 0; k < 500; ++k) {
    const StateVector sat = testing_orbits::random_satellite(u, u(400.0, 900.0));
    const double side = k % 2 == 0 ? 1.0 : -1.0;
    const DMatrix m = state_vector_matrix(sat);
    const double R = test::beam_slant_range(m, data_vornix_off[run_beam] * degrees_to_radians);
    const Found found = locate(settings({0, 0, 0, side}), m, R);
    double P[3], Vs[3], L[3];
    for (int i = 0; i < 3; ++i) {
      P[i] = m[sv::x + i][sv::state];
      Vs[i] = m[sv::vx + i][sv::state];
      L[i] = found.T[i] - P[i];
    }
    const double N[3] = {Vs[1] * P[2] - Vs[2] * P[1], Vs[2] * P[0] - Vs[0] * P[2],
                         Vs[0] * P[1] - Vs[1] * P[0]};
    const double nN = std::sqrt(N[0] * N[0] + N[1] * N[1] + N[2] * N[2]);
    const double nP = std::sqrt(P[0] * P[0] + P[1] * P[1] + P[2] * P[2]);
    // e_a = e_r x e_c.
    const double e_c[3] = {N[0] / nN, N[1] / nN, N[2] / nN};
    const double e_r[3] = {P[0] / nP, P[1] / nP, P[2] / nP};
    const double e_a[3] = {e_r[1] * e_c[2] - e_r[2] * e_c[1], e_r[2] * e_c[0] - e_r[0] * e_c[2],
                           e_r[0] * e_c[1] - e_r[1] * e_c[0]};
    const double along = L[0] * e_a[0] + L[1] * e_a[1] + L[2] * e_a[2];
    const double across = L[0] * e_c[0] + L[1] * e_c[1] + L[2] * e_c[2];
    const double down = -(L[0] * e_r[0] + L[1] * e_r[1] + L[2] * e_r[2]);
    ASSERT_NEAR(along, 0.0, 1e-9) << "sample " << k;
    ASSERT_GT(across * side, 0.0) << "sample " << k;
    ASSERT_GT(down, 0.0) << "sample " << k;
    // The returned look angle is the angle from the downward direction.
    ASSERT_NEAR(std::atan2(across * side, down), found.search.look_angle, 1e-8) << "sample " << k;
  }
}

// Each attitude angle turns the look direction the way its axis says: yaw
// (about the radial axis) and pitch (about the cross-track axis) move the
// point along track, roll (about the along-track axis) moves the look angle.
TEST(ScanPointSar2, AttitudeAnglesTurnAboutTheirAxes) {
  const DMatrix m = state_vector_matrix(state(7000, 0, 0, 0, 0, 7.5));
  const double R = 900.0;
  const Found level = locate(settings({0, 0, 0, 1}), m, R);
  // Along-track axis here: e_r x e_c with e_c along Vs x P.
  const double Vs[3] = {m[sv::vx][0], m[sv::vy][0], m[sv::vz][0]};
  const double N[3] = {Vs[1] * 0.0 - Vs[2] * 0.0, Vs[2] * 7000.0 - Vs[0] * 0.0,
                       Vs[0] * 0.0 - Vs[1] * 7000.0};
  const double nN = std::sqrt(N[0] * N[0] + N[1] * N[1] + N[2] * N[2]);
  const double e_c[3] = {N[0] / nN, N[1] / nN, N[2] / nN};
  const double e_a[3] = {0.0, -e_c[2], e_c[1]};  // (1, 0, 0) x e_c
  auto along = [&](const Found& f) {
    return (f.T[0] - 7000.0) * e_a[0] + f.T[1] * e_a[1] + f.T[2] * e_a[2];
  };
  EXPECT_NEAR(along(level), 0.0, 1e-9);
  const double angle = 0.02;
  // Yaw alpha about e_r turns e_c towards e_a (k_c = ca e_c + sa e_a).
  const Found yawed = locate(settings({angle, 0, 0, 1}), m, R);
  EXPECT_GT(along(yawed), 1.0);
  // Pitch gamma about e_c tilts k_r towards -e_a (k_r = -sg e_a + cg e_r):
  // the downward look -R k_r moves along +e_a for gamma > 0.
  const Found pitched = locate(settings({0, 0, angle, 1}), m, R);
  EXPECT_GT(along(pitched), 1.0);
  // Roll: beta = -entry 94 about e_a; k_r = sb e_c + cb e_r, so the downward
  // look leans towards -e_c by beta, that is the look angle grows by the
  // roll angle for side +1 and the point stays in the orbital plane.
  const Found rolled = locate(settings({0, angle, 0, 1}), m, R);
  EXPECT_NEAR(along(rolled), 0.0, 1e-9);
  EXPECT_NEAR(rolled.search.look_angle, level.search.look_angle - angle, 5e-3);
  double moved = 0;
  for (int i = 0; i < 3; ++i) moved += (rolled.T[i] - level.T[i]) * e_c[i];
  EXPECT_NEAR(moved, 0.0, 1e-6) << "the same point, reached at a smaller look angle";
}

TEST(ScanPointSar2, EarthModelEntrySetsTheHeightOfTheStartAngle) {
  const DMatrix m = state_vector_matrix(state(4000, 3000, 4800, -3, -4, 5));
  for (int model : {0, 1, 2}) {
    DVector f = settings({0, 0, 0, 1});
    f[param::earth_model] = model;
    double geo[geodetic::size];
    earth_r2(4000, 3000, 4800, geo, model);
    const Found found = locate(f, m, 900.0);
    EXPECT_EQ(found.search.height, geo[geodetic::height]) << "model " << model;
    // Whatever the start, the iteration ends on the settings' ellipsoid.
    EXPECT_NEAR(found.T[0], 3200.7231, 5e-5) << "model " << model;
    EXPECT_NEAR(ellipsoid_residual(found.T), 0.0, 1e-12) << "model " << model;
  }
}

TEST(ScanPointSar2, EllipsoidComesFromTheSettings) {
  const DMatrix m = state_vector_matrix(state(4000, 3000, 4800, -3, -4, 5));
  DVector f = settings({0, 0, 0, 1});
  f[param::ellipsoid_a] = 6300.0;
  f[param::ellipsoid_b] = 6250.0;
  const Found found = locate(f, m, 900.0);
  EXPECT_TRUE(found.search.converged);
  EXPECT_NEAR(ellipsoid_residual(found.T, 6300.0, 6250.0), 0.0, 1e-12);
  EXPECT_NEAR(distance(found.T, m), 900.0, 1e-9);
}

TEST(ScanPointSar2, SlantRangeShorterThanTheHeightGivesTheCentre) {
  const DMatrix m = state_vector_matrix(state(4000, 3000, 4800, -3, -4, 5));
  // h / R beyond 1 (h = 563 km) or not a number (R = 0, NaN).
  for (double R : {500.0, 100.0, 1e-3, 0.0, kNaN}) {
    SCOPED_TRACE(testing::Message() << "R " << R);
    const Found found = locate(settings({0, 0, 0, 1}), m, R);
    EXPECT_FALSE(found.search.started);
    EXPECT_EQ(found.search.iterations, 0);
    for (double t : found.T) EXPECT_EQ(t, 0.0);
    // The Doppler stage runs on L = -P: a finite block.
    if (!std::isnan(R)) {
      for (double value : found.block) EXPECT_TRUE(std::isfinite(value));
    }
  }
}

TEST(ScanPointSar2, SlantRangeEqualToTheHeightStartsAtNadir) {
  const DMatrix m = state_vector_matrix(state(4000, 3000, 4800, -3, -4, 5));
  double geo[geodetic::size];
  earth_r2(4000, 3000, 4800, geo, 1);
  const Found found = locate(settings({0, 0, 0, 1}), m, geo[geodetic::height]);
  // acos(1) = 0: 1 / 0 is infinite, so the iteration runs.
  EXPECT_TRUE(found.search.started);
  EXPECT_GE(found.search.iterations, 1);
}

// The stop test uses the updated angle, and the point is the one of the
// last iteration before the update: on a sphere through the point at the
// start angle, the first step is at rounding level, and the point is the
// start point.
TEST(ScanPointSar2, AStartOnTheEllipsoidStopsAfterOneIteration) {
  const DMatrix m = state_vector_matrix(state(4000, 3000, 4800, -3, -4, 5));
  const double R = 900.0;
  double geo[geodetic::size];
  earth_r2(4000, 3000, 4800, geo, 1);
  const double theta0 = std::acos(geo[geodetic::height] / R);
  const double P[3] = {4000, 3000, 4800};
  const double Vs[3] = {m[sv::vx][0], m[sv::vy][0], m[sv::vz][0]};
  const double N[3] = {Vs[1] * P[2] - Vs[2] * P[1], Vs[2] * P[0] - Vs[0] * P[2],
                       Vs[0] * P[1] - Vs[1] * P[0]};
  const double nN = std::sqrt(N[0] * N[0] + N[1] * N[1] + N[2] * N[2]);
  const double nP = std::sqrt(P[0] * P[0] + P[1] * P[1] + P[2] * P[2]);
  double T0[3];
  for (int i = 0; i < 3; ++i)
    T0[i] = P[i] + R * (std::sin(theta0) * N[i] / nN - std::cos(theta0) * P[i] / nP);
  const double radius = std::sqrt(T0[0] * T0[0] + T0[1] * T0[1] + T0[2] * T0[2]);
  DVector f = settings({0, 0, 0, 1});
  f[param::ellipsoid_a] = radius;
  f[param::ellipsoid_b] = radius;
  const Found found = locate(f, m, R);
  EXPECT_EQ(found.search.iterations, 1);
  EXPECT_TRUE(found.search.converged);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(found.T[i], T0[i], 1e-9) << i;
}

TEST(ScanPointSar2, NoIntersectionEndsAfterThe31stIteration) {
  // A scene ellipsoid far below the reach of the slant range: the steps never
  // settle.
  const DMatrix m = state_vector_matrix(state(4000, 3000, 4800, -3, -4, 5));
  DVector f = settings({0, 0, 0, 1});
  f[param::ellipsoid_a] = 3000.0;
  f[param::ellipsoid_b] = 3000.0;
  const Found found = locate(f, m, 900.0);
  EXPECT_TRUE(found.search.started);
  EXPECT_FALSE(found.search.converged);
  EXPECT_EQ(found.search.iterations, newton_max_iterations);
  EXPECT_EQ(newton_max_iterations, 31);
  EXPECT_NEAR(distance(found.T, m), 900.0, 1e-9);  // still a point at range R
}

TEST(ScanPointSar2, NotANumberResidualStopsTheIteration) {
  const DMatrix m = state_vector_matrix(state(4000, 3000, 4800, -3, -4, 5));
  DVector f = settings({0, 0, 0, 1});
  f[param::ellipsoid_a] = kNaN;
  const Found found = locate(f, m, 900.0);
  EXPECT_TRUE(found.search.started);
  EXPECT_FALSE(found.search.converged);
  EXPECT_EQ(found.search.iterations, 1);
}

TEST(ScanPointSar2, SelectorsAreConvertedEarthModelFirst) {
  const DMatrix m = state_vector_matrix(state(4000, 3000, 4800, -3, -4, 5));
  const struct {
    double model, derivative_switch;
    const char* text;
  } cases[] = {
      {1.5, 2.5, "different!(m16.rtoi) r=  1.500000000000000e+00 ir=2\n"},
      {1.0, 2.5, "different!(m16.rtoi) r=  2.500000000000000e+00 ir=3\n"},
      {1.0, 9.2, "different!(m16.rtoi) r=  9.199999999999999e+00 ir=10\n"},
  };
  for (const auto& c : cases) {
    DVector f = settings({0, 0, 0, 1});
    f[param::earth_model] = c.model;
    f[param::derivative_switch] = c.derivative_switch;
    double T[3], block[doppler::size];
    try {
      scan_point_sar_2(f, m, 900.0, T, block, 2);
      ADD_FAILURE() << "accepted " << c.model << ", " << c.derivative_switch;
    } catch (const FatalError& e) {
      EXPECT_EQ(std::string(e.text()), c.text);
      EXPECT_EQ(e.kind(), FatalKind::refusal);
    }
  }
}

// The Doppler block of the worked example: P = (6000, 3000, 1500) km,
// Vs = (-1.5, 1.0, 7.2) km/s, T = (5300, 2400, 1300) km, c = 300000 km/s,
// f0 = 1.27 GHz.
struct DopplerExample {
  double P[3] = {6000, 3000, 1500};
  double Vs[3] = {-1.5, 1.0, 7.2};
  double T[3] = {5300, 2400, 1300};
  double r, e_r[3], L[3];
  DopplerExample() {
    r = std::sqrt((P[0] * P[0] + P[1] * P[1]) + P[2] * P[2]);
    const double inv = 1.0 / std::sqrt(ipow(P[0], 2) + ipow(P[1], 2) + ipow(P[2], 2));
    for (int i = 0; i < 3; ++i) {
      e_r[i] = P[i] * inv;
      L[i] = T[i] - P[i];
    }
  }
  void block(int derivative_switch, double* out) const {
    doppler_derivatives(P, Vs, r, e_r, T, L, 300000.0, 1270000000.0, derivative_switch, out);
  }
};

constexpr double kScale = -2.0 * 1270000000.0 / 300000.0;  // -2 / wavelength, 1/km

TEST(DopplerDerivatives, WorkedExampleBlock) {
  EXPECT_NEAR(kScale, -8466.6667, 5e-5);
  const DopplerExample ex;
  EXPECT_NEAR(std::sqrt(ex.L[0] * ex.L[0] + ex.L[1] * ex.L[1] + ex.L[2] * ex.L[2]), 943.39811,
              5e-6);
  double block[doppler::size];
  ex.block(0, block);
  EXPECT_NEAR(block[doppler::centroid], -7903.2396, 5e-5);
  EXPECT_NEAR(block[doppler::rate], -407.41619, 5e-6);
  EXPECT_NEAR(block[doppler::rate2], 1.3549008, 5e-8);
  EXPECT_NEAR(block[doppler::rate3], 0.057352295, 5e-10);
  EXPECT_EQ(block[doppler::spare], 0.0);
  // The range derivatives behind them.
  EXPECT_NEAR(block[doppler::centroid] / kScale, 0.93345349, 5e-9);
  EXPECT_NEAR(block[doppler::rate] / kScale, 0.048120022, 5e-10);
  EXPECT_NEAR(block[doppler::rate2] / kScale, -0.00016002765, 5e-12);
  EXPECT_NEAR(block[doppler::rate3] / kScale, -6.7738932e-06, 5e-14);
}

TEST(DopplerDerivatives, SwitchNineClearsTheSecondAndThirdDerivatives) {
  const DopplerExample ex;
  double plain[doppler::size], cleared[doppler::size];
  ex.block(0, plain);
  for (int s : {1, 8, 10, -9, 90}) {
    double other[doppler::size];
    ex.block(s, other);
    for (int i = 0; i < doppler::size; ++i) EXPECT_EQ(other[i], plain[i]) << "switch " << s;
  }
  ex.block(9, cleared);
  EXPECT_EQ(cleared[doppler::centroid], plain[doppler::centroid]);
  EXPECT_EQ(cleared[doppler::rate], plain[doppler::rate]);
  EXPECT_EQ(cleared[doppler::rate2], 0.0);
  EXPECT_EQ(cleared[doppler::rate3], 0.0);
  EXPECT_EQ(cleared[doppler::spare], 0.0);
}

TEST(DopplerDerivatives, SwitchNineThroughTheSettings) {
  const DMatrix m = state_vector_matrix(state(4000, 3000, 4800, -3, -4, 5));
  DVector f = settings({0, 0, 0, 1});
  const Found plain = locate(f, m, 900.0);
  f[param::derivative_switch] = 9.0;
  const Found cleared = locate(f, m, 900.0);
  EXPECT_EQ(cleared.block[doppler::centroid], plain.block[doppler::centroid]);
  EXPECT_EQ(cleared.block[doppler::rate], plain.block[doppler::rate]);
  EXPECT_NE(plain.block[doppler::rate2], 0.0);
  EXPECT_EQ(cleared.block[doppler::rate2], 0.0);
  EXPECT_EQ(cleared.block[doppler::rate3], 0.0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(cleared.T[i], plain.T[i]);
}

TEST(DopplerDerivatives, RelativeVelocityAcrossTheLineOfSightGivesZeroCentroid) {
  // T on the z axis does not move; Vs at right angles to L = T - P.
  const double P[3] = {7000, 0, 0}, Vs[3] = {0, 7.5, 0}, T[3] = {0, 0, 6356.0};
  const double L[3] = {T[0] - P[0], T[1] - P[1], T[2] - P[2]};
  const double e_r[3] = {1, 0, 0};
  double block[doppler::size];
  doppler_derivatives(P, Vs, 7000.0, e_r, T, L, 300000.0, 1270000000.0, 0, block);
  EXPECT_EQ(block[doppler::centroid], 0.0);
  // With d01 = 0: d2 rho / dt2 = (|L1|^2 + L . L2) / rho, L1 = -Vs and
  // L2 = mu e_r / r^2 (the scene point on the axis does not move).
  const double rho = std::sqrt(7000.0 * 7000.0 + 6356.0 * 6356.0);
  const double R2 = (7.5 * 7.5 + (-7000.0) * 398600.5 / (7000.0 * 7000.0)) / rho;
  EXPECT_NEAR(block[doppler::rate] / kScale, R2, 1e-15);
}

// R1 to R3 against the satellite propagated on the two-body orbit and the
// scene point turned with the earth; R4 lacks the term 6 mu s Vs / r^5 of
// the exact fourth derivative of the orbit, and with it matches too.
struct Comparison {
  double worst[4] = {0, 0, 0, 0};   // relative differences of R1..R3, and R4 corrected
  double missing = 0;               // the uncorrected R4 difference, km/s^4
};

void compare_with_orbit(const double* P, const double* Vs, const double* T, const double* block,
                        double scale, Comparison& out, const char* what) {
  two_body::Real reference[5];
  two_body::range_derivatives(P, Vs, T, reference);
  const double L[3] = {T[0] - P[0], T[1] - P[1], T[2] - P[2]};
  const double rho = std::sqrt(L[0] * L[0] + L[1] * L[1] + L[2] * L[2]);
  const double r = std::sqrt(P[0] * P[0] + P[1] * P[1] + P[2] * P[2]);
  const double s = P[0] * Vs[0] + P[1] * Vs[1] + P[2] * Vs[2];
  const double LVs = L[0] * Vs[0] + L[1] * Vs[1] + L[2] * Vs[2];
  const double R[4] = {block[0] / scale, block[1] / scale, block[2] / scale, block[3] / scale};
  const double correction = -6.0 * 398600.5 * s * LVs / (std::pow(r, 5) * rho);
  const double mine[4] = {R[0], R[1], R[2], R[3] + correction};
  for (int k = 0; k < 4; ++k) {
    const double exact = static_cast<double>(reference[k + 1]);
    const double relative = std::fabs(mine[k] - exact) / std::fabs(exact);
    EXPECT_LE(relative, 1e-7) << what << ": R" << k + 1 << " = " << mine[k] << ", orbit "
                              << exact;
    out.worst[k] = std::fmax(out.worst[k], relative);
  }
  out.missing = std::fmax(out.missing, std::fabs(R[3] - static_cast<double>(reference[4])));
}

TEST(DopplerDerivatives, WorkedExampleAgainstThePropagatedOrbit) {
  const DopplerExample ex;
  double block[doppler::size];
  ex.block(0, block);
  Comparison c;
  compare_with_orbit(ex.P, ex.Vs, ex.T, block, kScale, c, "worked example");
  // The missing term of R4 is about 8e-10 km/s^4 here.
  EXPECT_NEAR(c.missing, 8e-10, 0.5e-10);
  std::printf("worked example vs orbit: R1 %s, R2 %s, R3 %s, corrected R4 %s relative; "
              "R4 misses %s km/s^4\n",
              scientific(c.worst[0]).c_str(), scientific(c.worst[1]).c_str(),
              scientific(c.worst[2]).c_str(), scientific(c.worst[3]).c_str(),
              scientific(c.missing).c_str());
}

TEST(DopplerDerivatives, SceneOnTheRotationAxisAgainstThePropagatedOrbit) {
  const double P[3] = {1200, -800, 6900}, Vs[3] = {7.1, 2.0, -1.0}, T[3] = {0, 0, 6356.7523141};
  const double r = std::sqrt((P[0] * P[0] + P[1] * P[1]) + P[2] * P[2]);
  const double e_r[3] = {P[0] / r, P[1] / r, P[2] / r};
  const double L[3] = {T[0] - P[0], T[1] - P[1], T[2] - P[2]};
  double block[doppler::size];
  doppler_derivatives(P, Vs, r, e_r, T, L, 300000.0, 1270000000.0, 0, block);
  Comparison c;
  compare_with_orbit(P, Vs, T, block, kScale, c, "scene on the axis");
}

TEST(DopplerDerivatives, RandomSatellitesAgainstThePropagatedOrbit) {
  Uniform u(31);
  Comparison c;
  const int samples = 40;
  for (int k = 0; k < samples; ++k) {
    const StateVector sat = testing_orbits::random_satellite(u, u(400.0, 900.0));
    const Attitude att = {u(-0.05, 0.05), u(-0.05, 0.05), u(-0.05, 0.05), k % 2 == 0 ? 1.0 : -1.0};
    const DMatrix m = state_vector_matrix(sat);
    const double R = test::beam_slant_range(m, data_vornix_off[run_beam] * degrees_to_radians);
    const DVector f = settings(att);
    const Found found = locate(f, m, R);
    const double P[3] = {m[sv::x][0], m[sv::y][0], m[sv::z][0]};
    const double Vs[3] = {m[sv::vx][0], m[sv::vy][0], m[sv::vz][0]};
    const double scale = (-2.0 * f[param::carrier_frequency]) / f[param::light_speed];
    compare_with_orbit(P, Vs, found.T, found.block, scale, c, "random satellite");
  }
  RecordProperty("max_relative_R1", scientific(c.worst[0]));
  RecordProperty("max_relative_R2", scientific(c.worst[1]));
  RecordProperty("max_relative_R3", scientific(c.worst[2]));
  RecordProperty("max_relative_R4_corrected", scientific(c.worst[3]));
  std::printf("%d satellites vs orbit: R1 %s, R2 %s, R3 %s, corrected R4 %s relative; "
              "R4 misses up to %s km/s^4\n",
              samples, scientific(c.worst[0]).c_str(), scientific(c.worst[1]).c_str(),
              scientific(c.worst[2]).c_str(), scientific(c.worst[3]).c_str(),
              scientific(c.missing).c_str());
}

}  // namespace
}  // namespace bperp
