// The zero-Doppler target, the reference's view of a point and the
// baseline of a secondary: against a case worked by hand in the equatorial
// plane, against satellites on J2 orbits whose truth is found on the
// integrated motion itself (GeographicLib for the heights), and on the real
// track-108 Sentinel-1 pair against another processor's published baselines.
#include "bperp/stack/geometry/zero_doppler.h"

#include <GeographicLib/Geocentric.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "bperp/stack/inputs/s1_annotation.h"
#include "support/j2_orbit.h"
#include "two_body_orbit.h"

namespace bperp::stack {
namespace {

namespace j2 = test_support::j2_orbit;
constexpr double deg = std::numbers::pi / 180.0;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

double dot3(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double distance3(const double* a, const double* b) {
  const double d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
  return std::sqrt(dot3(d, d));
}

// GeographicLib's geodetic coordinates (rad, km) of xyz (km), and back.
Geodetic geographiclib_geodetic(const double* xyz) {
  double lat = 0.0, lon = 0.0, h = 0.0;
  GeographicLib::Geocentric::WGS84().Reverse(xyz[0] * 1e3, xyz[1] * 1e3, xyz[2] * 1e3, lat, lon, h);
  return {lat * deg, lon * deg, h * 1e-3};
}
void geographiclib_earth_fixed(const Geodetic& g, double* xyz) {
  GeographicLib::Geocentric::WGS84().Forward(g.latitude / deg, g.longitude / deg, g.height * 1e3, xyz[0],
                                             xyz[1], xyz[2]);
  for (int i = 0; i < 3; ++i) xyz[i] *= 1e-3;
}

// Worked by hand. A satellite 700 km over the equator at longitude 0 flying
// north or south along z: the zero-Doppler plane is the equatorial plane,
// where the ellipsoid is the circle of radius a and the height is |T| - a.
// With r = |S|, rho = a + h the law of cosines in the triangle centre-S-T
// gives the angle at the centre, cos gamma = (r^2 + rho^2 - R^2) / (2 r rho),
// and the look angle, cos alpha = (r^2 + R^2 - rho^2) / (2 r R);
// T = rho (cos gamma, +-sin gamma, 0), incidence alpha + gamma. Flying north,
// a right-looking radar sees east (positive longitude).
struct HandCase {
  const char* name;
  double vz;  // km/s
  LookSide side;
  double height;   // km
  double east;     // sign of T's longitude
  double heading;  // rad
};
void PrintTo(const HandCase& c, std::ostream* os) { *os << c.name; }
class EquatorByHand : public ::testing::TestWithParam<HandCase> {};

TEST_P(EquatorByHand, TargetAndAnglesFromTheLawOfCosines) {
  const HandCase& c = GetParam();
  const double r = wgs84::a + 700.0, R = 850.0, rho = wgs84::a + c.height;
  const double S[3] = {r, 0.0, 0.0}, V[3] = {0.0, 0.0, c.vz};
  const double gamma = std::acos((r * r + rho * rho - R * R) / (2.0 * r * rho));
  const double alpha = std::acos((r * r + R * R - rho * rho) / (2.0 * r * R));
  const TargetFix fix = zero_doppler_target(S, V, R, c.height, c.side);
  ASSERT_EQ(fix.status, ZeroDopplerStatus::ok);
  const double expected[3] = {rho * std::cos(gamma), c.east * rho * std::sin(gamma), 0.0};
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(fix.target[i], expected[i], 1e-9);  // km
  EXPECT_NEAR(fix.geodetic.longitude, c.east * gamma, 1e-12);               // rad
  const ViewingAngles a = viewing_angles(S, V, fix.target, fix.geodetic);
  EXPECT_NEAR(a.look_angle, alpha, 1e-12);         // rad
  EXPECT_NEAR(a.incidence, alpha + gamma, 1e-12);  // rad
  EXPECT_NEAR(a.heading, c.heading, 1e-12);        // rad
  EXPECT_EQ(a.side, c.side);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EquatorByHand,
    ::testing::Values(HandCase{"north_right_sees_east", 7.5, LookSide::right, 0.0, 1.0, 0.0},
                      HandCase{"north_left_sees_west", 7.5, LookSide::left, 0.0, -1.0, 0.0},
                      HandCase{"south_right_sees_west", -7.5, LookSide::right, 0.0, -1.0, std::numbers::pi},
                      HandCase{"north_right_on_a_mountain", 7.5, LookSide::right, 4.2, 1.0, 0.0},
                      HandCase{"south_left_below_the_ellipsoid", -7.5, LookSide::left, -0.4, 1.0,
                               std::numbers::pi}),
    [](const ::testing::TestParamInfo<HandCase>& p) { return std::string(p.param.name); });

TEST(ZeroDopplerTarget, DegenerateGeometryIsRefused) {
  // The same satellite; its horizon lies sqrt(r^2 - a^2) = 3,069 km away.
  const double S[3] = {wgs84::a + 700.0, 0.0, 0.0}, V[3] = {0.0, 0.0, 7.5};
  const double zero[3] = {0.0, 0.0, 0.0}, radial[3] = {7.5, 0.0, 0.0};
  struct Case {
    const double* V;
    double R, h;
    ZeroDopplerStatus status;
  };
  for (const Case& c : {Case{V, 699.0, 0.0, ZeroDopplerStatus::too_short}, Case{V, -850.0, 0.0, ZeroDopplerStatus::too_short},
                        Case{V, 850.0, 1600.0, ZeroDopplerStatus::out_of_reach},
                        Case{V, 3100.0, 0.0, ZeroDopplerStatus::beyond_horizon},
                        Case{zero, 850.0, 0.0, ZeroDopplerStatus::no_zero_doppler_plane},
                        Case{radial, 850.0, 0.0, ZeroDopplerStatus::no_zero_doppler_plane},
                        Case{V, nan, 0.0, ZeroDopplerStatus::not_finite},
                        Case{V, 700.0, 0.0, ZeroDopplerStatus::ok},      // straight down
                        Case{V, 3060.0, 0.0, ZeroDopplerStatus::ok}}) {  // just inside the horizon
    const TargetFix fix = zero_doppler_target(S, c.V, c.R, c.h, LookSide::right);
    EXPECT_EQ(fix.status, c.status) << c.R << " " << c.h;
    EXPECT_EQ(std::isnan(fix.target[0]), c.status != ZeroDopplerStatus::ok);
  }
}

// The decomposition by hand: the reference over the equator flying north,
// the target east of it (the case above), U = (T - R)/|T - R|, N = (U_y, -U_x,
// 0) at right angles to U in the equatorial plane with N . R > 0. A secondary
// at R + u U + n N + s v has B = -(u U + n N): parallel -u, perpendicular -n,
// the along-track s removed.
TEST(ZeroDopplerBaseline, SignsOfTheComponentsByHand) {
  const double Rp[3] = {wgs84::a + 700.0, 0.0, 0.0}, V[3] = {0.0, 0.0, 7.5};
  const TargetFix fix = zero_doppler_target(Rp, V, 850.0, 0.0, LookSide::right);
  ASSERT_EQ(fix.status, ZeroDopplerStatus::ok);
  const double U[3] = {(fix.target[0] - Rp[0]) / 850.0, fix.target[1] / 850.0, 0.0};
  const double N[3] = {U[1], -U[0], 0.0};
  struct Case {
    const char* name;
    double u, n, s;  // km along U, N and v
  };
  for (const Case& c : {Case{"nearer the target", 0.1, 0.0, 0.0}, Case{"farther from the target", -0.1, 0.0, 0.0},
                        Case{"higher across the line of sight", 0.0, 0.2, 0.0},
                        Case{"lower across the line of sight", 0.0, -0.2, 0.0},
                        Case{"ahead along the track", 0.03, -0.15, 0.05}, Case{"behind", -0.07, 0.11, -2.0}}) {
    double S[3];
    for (int i = 0; i < 3; ++i) S[i] = Rp[i] + c.u * U[i] + c.n * N[i] + (i == 2 ? c.s : 0.0);
    const ZeroDopplerBaseline b = zero_doppler_baseline(fix.target, Rp, V, S);
    ASSERT_EQ(b.status, ZeroDopplerStatus::ok) << c.name;
    EXPECT_NEAR(b.parallel, -c.u, 1e-12) << c.name;       // km
    EXPECT_NEAR(b.perpendicular, -c.n, 1e-12) << c.name;  // km
    EXPECT_NEAR(b.along_track_removed, c.s, 1e-12) << c.name;
    EXPECT_NEAR(b.length, std::hypot(c.u, c.n), 1e-12) << c.name;
    EXPECT_NEAR(b.secondary_range, distance3(fix.target, S), 1e-12) << c.name;
  }
}

TEST(ZeroDopplerBaseline, DegenerateInputIsRefused) {
  const double R[3] = {7078.137, 0.0, 0.0}, V[3] = {0.0, 0.0, 7.5}, T[3] = {6300.0, 300.0, 0.0};
  const double S[3] = {7078.2, 0.1, 0.0}, zero[3] = {0.0, 0.0, 0.0}, bad[3] = {nan, 0.0, 0.0};
  const double below[3] = {6378.137, 0.0, 0.0}, ahead[3] = {7078.137, 0.0, 100.0};
  struct Case {
    const double *T, *V, *S;
    ZeroDopplerStatus status;
  };
  for (const Case& c : {Case{T, zero, S, ZeroDopplerStatus::no_zero_doppler_plane},
                        Case{R, V, S, ZeroDopplerStatus::no_line_of_sight},       // target at the reference
                        Case{ahead, V, S, ZeroDopplerStatus::no_line_of_sight},   // looking along the track
                        Case{below, V, S, ZeroDopplerStatus::no_line_of_sight},   // straight down
                        Case{T, V, bad, ZeroDopplerStatus::not_finite}}) {
    const ZeroDopplerBaseline b = zero_doppler_baseline(c.T, R, c.V, c.S);
    EXPECT_EQ(b.status, c.status);
    EXPECT_TRUE(std::isnan(b.perpendicular));
  }
}

// Sentinel-1 (lambda = c / 5.405 GHz = 55.4658 mm) at 850 km and 38 degrees
// of incidence (sin = 0.615661) with 100 m of perpendicular baseline:
// 55.4658e-3 * 850e3 * 0.615661 / 200 = 145.130 m, by hand.
TEST(HeightOfAmbiguity, ValueAndNoneWithoutPerpendicularBaseline) {
  const double lambda = 299792.458 / 5.405e9;  // km
  EXPECT_NEAR(height_of_ambiguity(lambda, 850.0, 38.0 * deg, -0.1) * 1e3, -145.130, 0.001);  // m
  EXPECT_TRUE(std::isnan(height_of_ambiguity(lambda, 850.0, 38.0 * deg, 0.0)));
}

// Satellites on J2 orbits sampled every 10 s, the truth on the integrated
// motion: the target T0 is a point at height h (put there by GeographicLib)
// some ground distance to the look side of the satellite at t0; the true
// zero-Doppler time of an orbit for T0 is the root of (S(t) - T0) . V(t),
// found by bisection on the propagated orbit.
struct J2Case {
  const char* name;
  double altitude;     // km
  double inclination;  // deg
  double u;            // rad, argument of latitude at the epoch (where along the orbit)
  double t0;           // s, where the target is picked
  double ground;       // km to the look side
  LookSide side;
  double height;                // km of the target
  double cross, radial, along;  // m, the secondary's epoch offset from the reference
};
void PrintTo(const J2Case& c, std::ostream* os) { *os << c.name; }

constexpr double secondary_clock = 5000.0;  // s: the secondary's rows have their own time scale
constexpr double secondary_phase = 3.7;     // s: and lie between the reference's

// Rows every 10 s at clock + phase + (-100 .. 100 s) of the orbit from epoch.
Orbit sampled(const j2::State& epoch, double clock, double phase) {
  Orbit orbit;
  for (int k = -10; k <= 10; ++k) {
    const j2::EarthFixedState s = j2::earth_fixed_at(epoch, 10.0 * k + phase);
    OrbitRow row;
    row.t = clock + 10.0 * k + phase;
    for (int i = 0; i < 3; ++i) row.state.position[i] = s.position[i], row.state.velocity[i] = s.velocity[i];
    orbit.push_back(row);
  }
  return orbit;
}

j2::State epoch_state(double altitude, double inclination, double u) {
  constexpr double perigee = 1.1;  // rad, argument of perigee
  return stack_test::orbit_epoch(wgs84::a + altitude, 0.001L, inclination * deg, 0.7L, perigee, u - perigee);
}

// The true zero-Doppler time (s) of the orbit for T, within 5 s of t_guess.
double true_zero_doppler_time(const j2::State& epoch, const double* T, double t_guess) {
  const auto g = [&](double t) {
    const j2::EarthFixedState s = j2::earth_fixed_at(epoch, t);
    const double d[3] = {s.position[0] - T[0], s.position[1] - T[1], s.position[2] - T[2]};
    return dot3(d, s.velocity);
  };
  double lo = t_guess - 5.0, hi = t_guess + 5.0;
  EXPECT_TRUE(g(lo) < 0.0 && g(hi) > 0.0);
  for (int k = 0; k < 60; ++k) (g(0.5 * (lo + hi)) < 0.0 ? lo : hi) = 0.5 * (lo + hi);
  return 0.5 * (lo + hi);
}

// The epoch state moved by cross, radial and along (m) on r x v, r and v.
j2::State offset_epoch(const j2::State& s, double cross, double radial, double along) {
  const long double *r = s.r, *v = s.v;
  const long double n[3] = {r[1] * v[2] - r[2] * v[1], r[2] * v[0] - r[0] * v[2], r[0] * v[1] - r[1] * v[0]};
  const auto len = [](const long double* a) { return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]); };
  j2::State out = s;
  for (int i = 0; i < 3; ++i)
    out.r[i] += 1e-3L * (cross * n[i] / len(n) + radial * r[i] / len(r) + along * v[i] / len(v));
  return out;
}

class J2Geometry : public ::testing::TestWithParam<J2Case> {};

TEST_P(J2Geometry, MatchesTheTruthOnTheIntegratedMotion) {
  const J2Case& c = GetParam();
  const j2::State reference_epoch = epoch_state(c.altitude, c.inclination, c.u);
  const j2::State secondary_epoch = offset_epoch(reference_epoch, c.cross, c.radial, c.along);
  const Orbit reference = sampled(reference_epoch, 0.0, 0.0);
  const Orbit secondary = sampled(secondary_epoch, secondary_clock, secondary_phase);

  // T0: the ground point below S(t0), moved to the look side (V x S points
  // right) and put at height h.
  const j2::EarthFixedState s0 = j2::earth_fixed_at(reference_epoch, c.t0);
  double side[3] = {s0.velocity[1] * s0.position[2] - s0.velocity[2] * s0.position[1],
                    s0.velocity[2] * s0.position[0] - s0.velocity[0] * s0.position[2],
                    s0.velocity[0] * s0.position[1] - s0.velocity[1] * s0.position[0]};
  const double side_scale = (c.side == LookSide::right ? c.ground : -c.ground) / std::sqrt(dot3(side, side));
  const double r0 = std::sqrt(dot3(s0.position, s0.position));
  double guess[3], T0[3];
  for (int i = 0; i < 3; ++i) guess[i] = s0.position[i] * (wgs84::a / r0) + side[i] * side_scale;
  Geodetic point = geographiclib_geodetic(guess);
  point.height = c.height;
  geographiclib_earth_fixed(point, T0);
  const double t_true = true_zero_doppler_time(reference_epoch, T0, c.t0);
  const j2::EarthFixedState truth = j2::earth_fixed_at(reference_epoch, t_true);
  const double range_true = distance3(T0, truth.position);

  // The target from the time and the slant range.
  const ZeroDopplerGeometry g = geometry_at_range(reference, t_true, range_true, c.height, c.side);
  ASSERT_EQ(g.status, ZeroDopplerStatus::ok) << zero_doppler_failure_text(g, reference);
  EXPECT_LT(distance3(g.satellite, truth.position), 1e-6);  // km: 1 mm
  EXPECT_LT(distance3(g.target, T0), 1e-6);                  // km: 1 mm
  EXPECT_NEAR(distance3(g.target, g.satellite), range_true, 1e-9);  // km
  const double look[3] = {g.target[0] - g.satellite[0], g.target[1] - g.satellite[1], g.target[2] - g.satellite[2]};
  EXPECT_NEAR(dot3(look, g.velocity) / std::sqrt(dot3(g.velocity, g.velocity)), 0.0, 1e-9);  // km
  EXPECT_NEAR(geographiclib_geodetic(g.target).height, c.height, 1e-9);                      // km
  EXPECT_EQ(g.angles.side, c.side);
  EXPECT_LT(g.interpolation_error, 1e-6);  // km
  // The incidence against GeographicLib's local vertical at T0.
  std::vector<double> M(9);
  double xyz[3];
  GeographicLib::Geocentric::WGS84().Forward(point.latitude / deg, point.longitude / deg, 0.0, xyz[0], xyz[1],
                                             xyz[2], M);
  const double up[3] = {M[2], M[5], M[8]};
  EXPECT_NEAR(g.angles.incidence, std::acos(-dot3(look, up) / range_true), 1e-9);  // rad

  // The same point given directly.
  const ZeroDopplerGeometry p = geometry_at_point(reference, point);
  ASSERT_EQ(p.status, ZeroDopplerStatus::ok) << zero_doppler_failure_text(p, reference);
  EXPECT_NEAR(p.t, t_true, 1e-6);                          // s: 7.5 mm along the track
  EXPECT_LT(distance3(p.satellite, truth.position), 1e-6);  // km
  EXPECT_NEAR(p.slant_range, range_true, 1e-6);            // km
  EXPECT_EQ(p.angles.side, c.side);

  // The secondary's zero-Doppler position against its own truth, and the
  // invariants of the decomposition.
  const double ts_true = true_zero_doppler_time(secondary_epoch, T0, t_true);
  const j2::EarthFixedState s_truth = j2::earth_fixed_at(secondary_epoch, ts_true);
  const ZeroDopplerBaseline b = secondary_baseline(p, secondary);
  ASSERT_EQ(b.status, ZeroDopplerStatus::ok) << zero_doppler_baseline_failure_text(b, secondary);
  EXPECT_NEAR(b.t, secondary_clock + ts_true, 1e-6);          // s
  EXPECT_LT(distance3(b.secondary, s_truth.position), 1e-6);  // km
  EXPECT_NEAR(dot3(b.look, b.up), 0.0, 1e-15);
  EXPECT_GT(dot3(b.up, p.satellite), 0.0);
  for (int i = 0; i < 3; ++i)  // B = R - S' = parallel U + perpendicular N, km
    EXPECT_NEAR(p.satellite[i] - b.moved[i], b.parallel * b.look[i] + b.perpendicular * b.up[i], 1e-12);
  EXPECT_NEAR(b.along_track, 0.0, 1e-12);

  // Reference and secondary swapped, at the same target: the components
  // change sign up to the turn of the line of sight between the two
  // positions by perp / R: par' = -(par + perp^2 / R), perp' = -(perp - par perp / R).
  const ZeroDopplerGeometry q = geometry_at_point(secondary, point);
  ASSERT_EQ(q.status, ZeroDopplerStatus::ok);
  const ZeroDopplerBaseline swapped = secondary_baseline(q, reference);
  ASSERT_EQ(swapped.status, ZeroDopplerStatus::ok);
  const double R = p.slant_range, par = b.parallel, perp = b.perpendicular;
  EXPECT_NEAR(swapped.parallel, -(par + perp * perp / R), 2e-7);  // km
  EXPECT_NEAR(swapped.perpendicular, -(perp - par * perp / R), 2e-7);
}

INSTANTIATE_TEST_SUITE_P(
    Orbits, J2Geometry,
    ::testing::Values(
        J2Case{"sentinel_ascending_right", 693.0, 98.18, 0.6, 23.4, 500.0, LookSide::right, 0.0, 150.0, 60.0, 20.0},
        J2Case{"sentinel_descending_mountain", 693.0, 98.18, 2.5, -47.9, 390.0, LookSide::right, 3.1, -120.0,
               -45.0, -35.0},
        J2Case{"alos_left_looking_south", 628.0, 97.9, -0.3, 5.0, 420.0, LookSide::left, 0.2, 300.0, 20.0, 0.0},
        J2Case{"northernmost_towards_the_pole", 693.0, 98.18, 1.5708, 61.0, 320.0, LookSide::right, 0.0, 80.0,
               -30.0, 10.0},
        J2Case{"low_inclined_steep", 450.0, 51.6, 2.0, -72.5, 150.0, LookSide::right, -0.05, -60.0, 90.0, 5.0},
        J2Case{"high_far_range", 1200.0, 63.4, 4.0, 88.0, 1300.0, LookSide::right, 0.0, 200.0, 150.0, -40.0}),
    [](const ::testing::TestParamInfo<J2Case>& p) { return std::string(p.param.name); });

TEST(ZeroDopplerGeometry, RefusalsSayWhy) {
  const Orbit orbit = sampled(epoch_state(693.0, 98.18, 0.0), 0.0, 0.0);  // t = -100 .. 100 s, over the equator
  struct Case {
    double t;
    ZeroDopplerStatus status;
  };
  for (const Case& c : {Case{-100.001, ZeroDopplerStatus::outside_span}, Case{100.5, ZeroDopplerStatus::outside_span},
                        Case{-100.0, ZeroDopplerStatus::ok}, Case{100.0, ZeroDopplerStatus::ok},
                        Case{nan, ZeroDopplerStatus::not_finite}})
    EXPECT_EQ(geometry_at_range(orbit, c.t, 850.0, 0.0, LookSide::right).status, c.status) << c.t;
  const std::string text =
      zero_doppler_failure_text(geometry_at_range(orbit, 130.25, 850.0, 0.0, LookSide::right), orbit);
  EXPECT_NE(text.find("t = 130.250 s"), std::string::npos) << text;
  EXPECT_NE(text.find("t = -100.000 s to 100.000 s"), std::string::npos) << text;
  EXPECT_EQ(geometry_at_range(Orbit(orbit.begin(), orbit.begin() + 3), 5.0, 850.0, 0.0, LookSide::right).status,
            ZeroDopplerStatus::too_few_rows);

  // Points in the zero-Doppler plane of t = 0: 30 degrees from the sub-point
  // to the right, behind the horizon (25.9 degrees away from 693 km), and
  // 30 degrees to the north, which the orbit passes some 500 s later.
  const double *S = orbit[10].state.position, *V = orbit[10].state.velocity;
  const double right[3] = {V[1] * S[2] - V[2] * S[1], V[2] * S[0] - V[0] * S[2], V[0] * S[1] - V[1] * S[0]};
  double hidden_xyz[3];
  for (int i = 0; i < 3; ++i)
    hidden_xyz[i] = wgs84::a * (std::cos(30.0 * deg) * S[i] / std::sqrt(dot3(S, S)) +
                                std::sin(30.0 * deg) * right[i] / std::sqrt(dot3(right, right)));
  Geodetic hidden = geographiclib_geodetic(hidden_xyz);
  hidden.height = 0.0;
  const Geodetic sub = geographiclib_geodetic(S);
  struct PointCase {
    Geodetic point;
    ZeroDopplerStatus status;
  };
  for (const PointCase& c : {PointCase{{95.0 * deg, 0.0, 0.0}, ZeroDopplerStatus::bad_point},
                             PointCase{hidden, ZeroDopplerStatus::beyond_horizon},
                             PointCase{{sub.latitude + 30.0 * deg, sub.longitude, 0.0},
                                       ZeroDopplerStatus::no_closest_approach}}) {
    const ZeroDopplerGeometry g = geometry_at_point(orbit, c.point);
    EXPECT_EQ(g.status, c.status);
    EXPECT_FALSE(zero_doppler_failure_text(g, orbit).empty());
  }
}

// The real track-108 Sentinel-1A pair (tests/data/README.md), at mid range
// of the first and the last burst of each swath, against the baselines ISCE2
// published for it (Bpar = -parallel, Bperp = perpendicular). The annotation's
// orbits are not the precise ones that processor used: ours differ from the
// published values by a nearly constant 1.5 cm (par -14 to -15 mm, perp +4 to
// +6 mm), as one orbit offset seen from the three look angles would. What
// that offset hardly touches, the change of the components from the first to
// the last burst of a swath, agrees to a fraction of a millimetre.
struct PublishedBaseline {
  const char* swath;
  int burst;
  double bpar, bperp;  // m
};

// The annotation file of swath ("iw1") and date ("20250406") in the data folder.
std::string track108_file(const std::string& swath, const std::string& date) {
  const std::filesystem::path dir = std::filesystem::path(BPERP_SOURCE_DIR) / "tests/data/s1-track108-annotation";
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().filename().string().starts_with("s1a-" + swath + "-slc-vv-" + date)) return entry.path().string();
  return {};
}

TEST(Track108, BaselinesMatchThePublishedOnes) {
  const PublishedBaseline published[] = {
      {"iw1", 0, 84.41506003137187, -129.02564735771583}, {"iw1", 8, 84.26683146095992, -128.4478925081657},
      {"iw2", 0, 94.56284022076824, -121.75556328218755}, {"iw2", 8, 94.37923056626455, -121.17848139467209},
      {"iw3", 0, 102.65007330452994, -115.07647495287986}, {"iw3", 8, 102.4408800312023, -114.51092258523053}};
  double ours[6][2];  // m: Bpar, Bperp in the published convention
  for (int k = 0; k < 6; ++k) {
    const PublishedBaseline& c = published[k];
    Refusal problem;
    const auto ref = read_s1_annotation(track108_file(c.swath, "20250406"), &problem);
    ASSERT_TRUE(ref) << problem.text;
    const auto sec = read_s1_annotation(track108_file(c.swath, "20250418"), &problem);
    ASSERT_TRUE(sec) << problem.text;
    ASSERT_TRUE(ref->lines_per_burst && ref->samples_per_burst && ref->image.line_interval_s &&
                ref->image.near_range_m && ref->image.range_pixel_spacing_m);
    // Mid burst: its azimuth time plus (lines - 1) / 2 lines; mid range:
    // (samples - 1) / 2 range pixels beyond the near range.
    const double t = seconds_between(ref->orbit.epoch, ref->burst_times.at(c.burst)) +
                     0.5 * static_cast<double>(*ref->lines_per_burst - 1) * *ref->image.line_interval_s;
    const double range = 1e-3 * (*ref->image.near_range_m + 0.5 * static_cast<double>(*ref->samples_per_burst - 1) *
                                                                *ref->image.range_pixel_spacing_m);
    const ZeroDopplerGeometry g = geometry_at_range(ref->orbit.rows, t, range, 0.0, LookSide::right);
    ASSERT_EQ(g.status, ZeroDopplerStatus::ok) << zero_doppler_failure_text(g, ref->orbit.rows);
    const ZeroDopplerBaseline b = secondary_baseline(g, sec->orbit.rows);
    ASSERT_EQ(b.status, ZeroDopplerStatus::ok) << zero_doppler_baseline_failure_text(b, sec->orbit.rows);
    ours[k][0] = -b.parallel * 1e3;
    ours[k][1] = b.perpendicular * 1e3;
    EXPECT_NEAR(ours[k][0], c.bpar, 0.02) << c.swath << " burst " << c.burst;   // m
    EXPECT_NEAR(ours[k][1], c.bperp, 0.02) << c.swath << " burst " << c.burst;  // m
    // Ascending on a sun-synchronous orbit (98.2 degrees): heading west of
    // north by 8 to 20 degrees at latitudes below 60 degrees.
    EXPECT_TRUE(g.angles.heading > -20.0 * deg && g.angles.heading < -8.0 * deg) << g.angles.heading / deg;
  }
  for (int k = 0; k < 6; k += 2) {
    EXPECT_NEAR(ours[k + 1][0] - ours[k][0], published[k + 1].bpar - published[k].bpar, 5e-4);    // m
    EXPECT_NEAR(ours[k + 1][1] - ours[k][1], published[k + 1].bperp - published[k].bperp, 5e-4);  // m
  }
}

}  // namespace
}  // namespace bperp::stack
