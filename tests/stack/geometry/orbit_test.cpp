// Interpolation of orbit rows and alignment to the closest approach.
#include "bperp/stack/geometry/orbit_alignment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "bperp/stack/geometry/stack_baseline.h"
#include "two_body_orbit.h"

namespace bperp::stack {
namespace {

using stack_test::EarthFixedState;
using stack_test::InertialState;

double norm3(const double* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }
double distance3(const double* a, const double* b) {
  const double d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
  return norm3(d);
}

OrbitRow row_at(double t, const double* p, const double* v) {
  OrbitRow r;
  r.t = t;
  for (int i = 0; i < 3; ++i) {
    r.state.position[i] = p[i];
    r.state.velocity[i] = v[i];
  }
  return r;
}

// A cubic in time is reproduced exactly by the Hermite curve through two of
// its points, with its first and second derivatives, inside the segment and
// beyond it: a wrong basis function or a lost factor h shows at once.
TEST(HermitePoint, ReproducesACubicWithItsDerivatives) {
  const double c[3][4] = {{7000.0, 1.5, -0.02, 3e-4}, {-120.0, 7.3, 0.004, -1e-5},
                          {15.0, -0.2, 0.3, 2e-3}};
  const auto x = [&](int i, double t) { return c[i][0] + t * (c[i][1] + t * (c[i][2] + t * c[i][3])); };
  const auto dx = [&](int i, double t) { return c[i][1] + t * (2 * c[i][2] + t * 3 * c[i][3]); };
  const auto ddx = [&](int i, double t) { return 2 * c[i][2] + 6 * c[i][3] * t; };
  const double t0 = 3.0, t1 = 13.0;
  double p0[3], v0[3], p1[3], v1[3];
  for (int i = 0; i < 3; ++i) {
    p0[i] = x(i, t0), v0[i] = dx(i, t0), p1[i] = x(i, t1), v1[i] = dx(i, t1);
  }
  const OrbitRow a = row_at(t0, p0, v0), b = row_at(t1, p1, v1);
  for (const double t : {3.0, 4.25, 8.0, 12.999, 13.0, 15.5}) {
    const OrbitPoint s = hermite_point(a, b, t);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(s.position[i], x(i, t), 1e-9) << "t " << t << " axis " << i;      // km
      EXPECT_NEAR(s.velocity[i], dx(i, t), 1e-11) << "t " << t << " axis " << i;    // km/s
      EXPECT_NEAR(s.acceleration[i], ddx(i, t), 1e-11) << "t " << t << " axis " << i;
    }
  }
}

// Straight-line motion S(t) = S0 + v t is a cubic, so the Hermite curve is
// the line itself and the closest approach to P is (P - S0) . v / |v|^2.
TEST(ClosestApproach, OnAStraightLineIsTheProjectionTime) {
  const double S0[3] = {7000.0, -30.0, 12.0}, v[3] = {0.3, 7.4, -1.1};
  Orbit orbit;
  for (int k = 0; k < 6; ++k) {  // rows at t = 0, 10, ..., 50
    const double t = 10.0 * k;
    const double p[3] = {S0[0] + v[0] * t, S0[1] + v[1] * t, S0[2] + v[2] * t};
    orbit.push_back(row_at(t, p, v));
  }
  const double vv = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  struct Case {
    double t;         // time of closest approach, s
    double offset[3]; // P - S(t), at right angles to v
  };
  const double n1[3] = {7.4, -0.3, 0.0};  // . v = 0
  for (const Case& c : {Case{23.4, {0.3, 0.0, 0.0}}, Case{20.0, {0.1, 0.0, 0.0}},
                        Case{0.0, {0.0, 0.0, 0.0}}, Case{50.0, {0.0, 0.0, 0.0}},
                        Case{0.001, {n1[0] * 0.01, n1[1] * 0.01, 0.0}},
                        Case{49.2, {-0.2, 0.0, 0.0}}}) {
    double P[3];
    for (int i = 0; i < 3; ++i) P[i] = S0[i] + v[i] * c.t;
    // An offset at right angles to v: v x (offset x v) / |v|^2 keeps its
    // perpendicular part.
    const double* o = c.offset;
    const double ov = o[0] * v[0] + o[1] * v[1] + o[2] * v[2];
    for (int i = 0; i < 3; ++i) P[i] += o[i] - ov / vv * v[i];
    const Alignment a = closest_approach(orbit, P);
    ASSERT_EQ(a.status, AlignStatus::ok) << "t " << c.t;
    EXPECT_NEAR(a.t, c.t, 1e-8) << "t " << c.t;  // s
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(a.state.position[i], S0[i] + v[i] * c.t, 1e-9);  // km
      EXPECT_NEAR(a.state.velocity[i], v[i], 1e-12);               // km/s
    }
  }
}

// Orbit times on a large scale (GPS seconds, 1e12 s) move only the time
// axis: the aligned state is the one found on the same rows at t = 0 .. 50,
// to 1e-9 km, and its time is the shifted one.
TEST(ClosestApproach, LargeTimesKeepTheAlignedState) {
  const double S0[3] = {7000.0, -30.0, 12.0}, v[3] = {0.3, 7.4, -1.1};
  const double P[3] = {S0[0] + v[0] * 23.4 + 0.3, S0[1] + v[1] * 23.4, S0[2] + v[2] * 23.4};
  Alignment reference;
  for (double epoch : {0.0, 1.2e9, 1e12}) {
    Orbit orbit;
    for (int k = 0; k < 6; ++k) {
      const double t = 10.0 * k;
      const double p[3] = {S0[0] + v[0] * t, S0[1] + v[1] * t, S0[2] + v[2] * t};
      orbit.push_back(row_at(epoch + t, p, v));
    }
    const Alignment a = closest_approach(orbit, P);
    ASSERT_EQ(a.status, AlignStatus::ok) << "epoch " << epoch;
    if (epoch == 0.0) reference = a;
    EXPECT_NEAR(a.t - epoch, reference.t, 1e-3) << "epoch " << epoch;  // s, the scale's own rounding
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(a.state.position[i], reference.state.position[i], 1e-9) << "epoch " << epoch;
  }
}

TEST(ClosestApproach, OutsideTheTimeSpanOrNotFiniteIsRefused) {
  const double S0[3] = {7000.0, 0.0, 0.0}, v[3] = {0.0, 7.5, 0.0};
  Orbit orbit;
  for (int k = 0; k < 4; ++k) {
    const double p[3] = {S0[0], 7.5 * 10.0 * k, 0.0};
    orbit.push_back(row_at(10.0 * k, p, v));
  }
  struct Case {
    double y;  // km along the track; the rows cover 0 .. 225
    AlignStatus status;
  };
  for (const Case& c : {Case{-0.001, AlignStatus::before_span}, Case{-100.0, AlignStatus::before_span},
                        Case{225.001, AlignStatus::after_span}, Case{1e4, AlignStatus::after_span},
                        Case{0.0, AlignStatus::ok}, Case{225.0, AlignStatus::ok},
                        Case{std::nan(""), AlignStatus::not_finite}}) {
    const double P[3] = {S0[0] + 0.2, c.y, 0.1};
    EXPECT_EQ(closest_approach(orbit, P).status, c.status) << "y " << c.y;
  }
  const double P[3] = {7000.0, 1.0, 0.0};
  EXPECT_EQ(closest_approach(Orbit(orbit.begin(), orbit.begin() + 3), P).status,
            AlignStatus::too_few_rows);
}

// The alignment against a satellite on a two-body orbit sampled every 10 s
// (rows -60 .. +60 s): the reference position P stands off the track across
// it and in height at a time between the rows; the truth is the propagated
// orbit at the root of (S(t) - P) . S'(t) found by bisection on the
// integrated motion itself.
struct TwoBodyCase {
  const char* name;
  double altitude;     // km above 6378.137
  double eccentricity;
  double inclination;  // deg
  double t_near;       // s, where P is placed
  double cross;        // m, across the track (positive: along r x v)
  double radial;       // m, in height
};

void PrintTo(const TwoBodyCase& c, std::ostream* os) { *os << c.name; }

class TwoBodyAlignment : public ::testing::TestWithParam<TwoBodyCase> {};

TEST_P(TwoBodyAlignment, MatchesThePropagatedOrbitAtTheTrueClosestApproach) {
  const TwoBodyCase& c = GetParam();
  const double deg = std::numbers::pi / 180.0;
  const InertialState epoch = stack_test::orbit_epoch(
      6378.137L + c.altitude, c.eccentricity, c.inclination * deg, 0.7L, 1.1L, 2.0L);
  constexpr double row_step = 10.0;  // s
  constexpr int rows_each_side = 6;
  Orbit orbit;
  for (int k = -rows_each_side; k <= rows_each_side; ++k) {
    const EarthFixedState s = stack_test::earth_fixed_at(epoch, k * row_step);
    orbit.push_back(row_at(k * row_step, s.position, s.velocity));
  }

  const EarthFixedState near = stack_test::earth_fixed_at(epoch, c.t_near);
  const double* r = near.position;
  const double* v = near.velocity;
  const double n[3] = {r[1] * v[2] - r[2] * v[1], r[2] * v[0] - r[0] * v[2],
                       r[0] * v[1] - r[1] * v[0]};
  double P[3];
  for (int i = 0; i < 3; ++i)
    P[i] = r[i] + c.cross * 1e-3 * n[i] / norm3(n) + c.radial * 1e-3 * r[i] / norm3(r);

  const auto g = [&](double t) {
    const EarthFixedState s = stack_test::earth_fixed_at(epoch, t);
    double d = 0.0;
    for (int i = 0; i < 3; ++i) d += (s.position[i] - P[i]) * s.velocity[i];
    return d;
  };
  double lo = c.t_near - 2.0, hi = c.t_near + 2.0;
  ASSERT_LT(g(lo), 0.0);
  ASSERT_GT(g(hi), 0.0);
  for (int k = 0; k < 60; ++k) (g(0.5 * (lo + hi)) < 0.0 ? lo : hi) = 0.5 * (lo + hi);
  const double t_true = 0.5 * (lo + hi);
  const EarthFixedState truth = stack_test::earth_fixed_at(epoch, t_true);

  const Alignment a = closest_approach(orbit, P);
  ASSERT_EQ(a.status, AlignStatus::ok);
  EXPECT_NEAR(a.t, t_true, 1e-6);  // s (7.5 mm along the track)
  EXPECT_LT(distance3(a.state.position, truth.position), 1e-6);  // 1 mm
  EXPECT_LT(distance3(a.state.velocity, truth.velocity), 1e-6);  // 1 mm/s
  EXPECT_EQ(a.segment, static_cast<std::size_t>(static_cast<long>(std::floor(t_true / row_step)) + rows_each_side));

  // The along-track offset of the aligned vector against the reference at P
  // (moving as the orbit there) is gone.
  StateVector reference;
  for (int i = 0; i < 3; ++i) {
    reference.position[i] = P[i];
    reference.velocity[i] = v[i];
  }
  const ReferenceGeometry geometry = reference_geometry(reference);
  ASSERT_EQ(geometry.status, RunStatus::ok);
  const StackBaseline b = stack_baseline(geometry, a.state);
  EXPECT_LT(std::fabs(b.along_track), 1e-6);  // km: 1 mm
  // And the whole offset is what was put across the track and in height.
  EXPECT_NEAR(b.length * 1e3, std::hypot(c.cross, c.radial), 0.01);  // m
}

INSTANTIATE_TEST_SUITE_P(
    Orbits, TwoBodyAlignment,
    ::testing::Values(TwoBodyCase{"sun_synchronous_mid_segment", 691.0, 0.001, 98.2, 23.4, 300.0, 20.0},
                      TwoBodyCase{"sun_synchronous_left_of_track", 691.0, 0.001, 98.2, -47.9, -250.0, -15.0},
                      TwoBodyCase{"just_after_a_row", 691.0, 0.001, 98.2, 30.0004, 100.0, 0.0},
                      TwoBodyCase{"last_segment", 691.0, 0.001, 98.2, 55.0, 500.0, 40.0},
                      TwoBodyCase{"first_segment", 691.0, 0.001, 98.2, -58.7, 120.0, -30.0},
                      TwoBodyCase{"low_orbit", 400.0, 0.0005, 51.6, 12.3, 800.0, 60.0},
                      TwoBodyCase{"high_eccentric", 900.0, 0.01, 63.4, -3.3, -600.0, 25.0},
                      TwoBodyCase{"equatorial", 691.0, 0.002, 0.0, 41.7, 200.0, 10.0}),
    [](const ::testing::TestParamInfo<TwoBodyCase>& param_info) { return std::string(param_info.param.name); });

TEST(OrbitFromNumbers, TakesRowsOfSevenWithIncreasingTimes) {
  const auto numbers = [](std::vector<double> times) {
    std::vector<double> n;
    for (const double t : times) n.insert(n.end(), {t, 7000.0, 0.0, 0.0, 0.0, 7.5, 0.0});
    return n;
  };
  std::string problem;
  const Orbit four = orbit_from_numbers(numbers({0.0, 10.0, 20.0, 30.0}), &problem);
  ASSERT_EQ(four.size(), 4u);
  EXPECT_EQ(four[1].t, 10.0);
  EXPECT_EQ(four[1].state.position[0], 7000.0);
  EXPECT_EQ(four[1].state.velocity[1], 7.5);

  struct Case {
    std::vector<double> numbers;
    const char* words;  // in the reason
  };
  std::vector<double> twenty_seven = numbers({0.0, 10.0, 20.0, 30.0});
  twenty_seven.pop_back();
  for (const Case& c : {Case{numbers({0.0, 10.0, 20.0}), "at least 4 rows"},
                        Case{twenty_seven, "27 numbers"},
                        Case{numbers({0.0, 10.0, 10.0, 20.0}), "row 3"},
                        Case{numbers({0.0, 10.0, 5.0, 20.0}), "row 3"},
                        Case{numbers({10.0, 0.0, 20.0, 30.0}), "row 2"}}) {
    problem.clear();
    EXPECT_TRUE(orbit_from_numbers(c.numbers, &problem).empty());
    EXPECT_NE(problem.find(c.words), std::string::npos) << problem;
  }
}

}  // namespace
}  // namespace bperp::stack
