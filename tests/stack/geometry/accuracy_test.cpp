// How exactly bperp-stack finds the secondary's state at its closest
// approach to the reference: orbits interpolated from rows at any spacing a
// product uses, state vectors moved along their orbit. The truth is the
// tests' own two-body motion (long-double Runge-Kutta), and for the example
// stack the closed form that wrote its files.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "bperp/stack/geometry/orbit_alignment.h"
#include "bperp/stack/geometry/propagation.h"
#include "bperp/stack/run/stack_run.h"
#include "two_body_orbit.h"

namespace bperp::stack {
namespace {

using stack_test::EarthFixedState;
using stack_test::InertialState;

constexpr double deg = std::numbers::pi / 180.0;

StateVector state_of(const EarthFixedState& e) {
  StateVector s;
  for (int i = 0; i < 3; ++i) {
    s.position[i] = e.position[i];
    s.velocity[i] = e.velocity[i];
  }
  return s;
}

// A reference pass and a secondary pass 300 m across and 40 m above it on
// two-body orbits; the truth is the secondary's own motion at the root of
// (S(t) - P) . S'(t), found by bisection on the integrated orbit.
struct Passes {
  InertialState secondary_epoch;
  StateVector reference;
  StateVector truth;
  double t_true = 0.0;
};

Passes make_passes(double t_pass) {
  Passes p;
  p.secondary_epoch = stack_test::orbit_epoch(6378.137L + 691.0L, 0.001L, 98.2L * deg, 0.7L, 1.1L, 2.0L);
  const EarthFixedState near = stack_test::earth_fixed_at(p.secondary_epoch, t_pass);
  const double* r = near.position;
  const double* v = near.velocity;
  const double n[3] = {r[1] * v[2] - r[2] * v[1], r[2] * v[0] - r[0] * v[2], r[0] * v[1] - r[1] * v[0]};
  const double nn = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  const double rr = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
  for (int i = 0; i < 3; ++i) {
    p.reference.position[i] = r[i] + 0.300 * n[i] / nn + 0.040 * r[i] / rr;
    p.reference.velocity[i] = v[i];
  }
  const double* P = p.reference.position;
  const auto g = [&](double t) {
    const EarthFixedState s = stack_test::earth_fixed_at(p.secondary_epoch, t);
    double d = 0.0;
    for (int i = 0; i < 3; ++i) d += (s.position[i] - P[i]) * s.velocity[i];
    return d;
  };
  double lo = t_pass - 1.0, hi = t_pass + 1.0;
  for (int k = 0; k < 60; ++k) (g(0.5 * (lo + hi)) < 0.0 ? lo : hi) = 0.5 * (lo + hi);
  p.t_true = 0.5 * (lo + hi);
  p.truth = state_of(stack_test::earth_fixed_at(p.secondary_epoch, p.t_true));
  return p;
}

// Rows every `step` seconds from `first` on, `count` of them.
Orbit sampled(const InertialState& epoch, double first, double step, int count) {
  Orbit orbit;
  for (int k = 0; k < count; ++k) {
    OrbitRow row;
    row.t = first + k * step;
    row.state = state_of(stack_test::earth_fixed_at(epoch, row.t));
    orbit.push_back(row);
  }
  return orbit;
}

// Every spacing of orbit products (10 s) and image parameter files (up to
// 60 s) and beyond: within 1 cm of the truth in both components, or refused
// by the error estimate; never a confident wrong baseline. On six rows the
// window shifts at the ends of the orbit.
TEST(OrbitSpacing, WithinACentimetreOrRefused) {
  const double t_pass = 1234.567;
  const Passes p = make_passes(t_pass);
  const ReferenceGeometry geometry = reference_geometry(p.reference);
  ASSERT_EQ(geometry.status, RunStatus::ok);
  const StackBaseline truth = stack_baseline(geometry, p.truth);
  struct Case {
    double step;     // s between rows
    int rows;
    double before;   // the first row this long before the pass, in steps
    bool accepted;   // expected to pass the 1 cm estimate
  };
  for (const Case& c : {Case{10.0, 13, 6.3, true}, Case{60.0, 13, 6.3, true},
                        Case{110.0, 13, 6.3, true}, Case{300.0, 13, 6.3, true},
                        Case{10.0, 6, 2.5, true},    // an image parameter file, pass mid-way
                        Case{10.0, 6, 0.3, true},    // near the first row
                        Case{10.0, 6, 4.7, true},    // near the last row
                        Case{60.0, 6, 4.7, true}, Case{600.0, 6, 2.5, false},
                        Case{10.0, 4, 1.5, true}}) {
    const Orbit orbit = sampled(p.secondary_epoch, t_pass - c.before * c.step, c.step, c.rows);
    const Alignment a = closest_approach(orbit, p.reference.position);
    const std::string label = std::to_string(c.step) + " s x " + std::to_string(c.rows);
    ASSERT_EQ(a.status, AlignStatus::ok) << label;
    EXPECT_EQ(a.interpolation_error <= max_interpolation_error, c.accepted)
        << label << ": estimate " << a.interpolation_error * 1e5 << " cm";
    const StackBaseline b = stack_baseline(geometry, a.state);
    if (a.interpolation_error <= max_interpolation_error) {
      EXPECT_NEAR(b.perpendicular, truth.perpendicular, 1e-5) << label;  // km: 1 cm
      EXPECT_NEAR(b.parallel, truth.parallel, 1e-5) << label;
      // The estimate bounds the error it stands for.
      const double d[3] = {a.state.position[0] - p.truth.position[0],
                           a.state.position[1] - p.truth.position[1],
                           a.state.position[2] - p.truth.position[2]};
      EXPECT_LE(std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]), a.interpolation_error + 1e-7)
          << label;
    }
  }
}

// A state vector taken off the reference's place along the track (by up to
// half a second, 3.7 km) is moved back along its orbit to the closest
// approach: the truth is the same two-body orbit, whose motion differs from
// the propagation's (with J2) by 0.5 a_J2 dt^2, 1.4 mm at 0.5 s.
TEST(StateVectorShift, LandsOnTheClosestApproach) {
  const Passes p = make_passes(0.0);
  const ReferenceGeometry geometry = reference_geometry(p.reference);
  const StackBaseline truth = stack_baseline(geometry, p.truth);
  for (const double off : {-0.5, -0.0021, 0.0, 0.004, 0.2, 0.5}) {
    const StateVector given = state_of(stack_test::earth_fixed_at(p.secondary_epoch, p.t_true + off));
    const TimeShift s = shift_to_closest_approach(given, p.reference.position);
    ASSERT_EQ(s.status, ShiftStatus::ok) << off;
    EXPECT_NEAR(s.seconds, -off, 1e-6) << off;  // s
    const StackBaseline b = stack_baseline(geometry, s.state);
    EXPECT_NEAR(b.perpendicular, truth.perpendicular, 2e-6) << off;  // km: 2 mm
    EXPECT_NEAR(b.parallel, truth.parallel, 2e-6) << off;
    EXPECT_LT(std::fabs(b.along_track), 1e-7) << off;  // 0.1 mm
  }
  // Far along the track: more than a minute of propagation is refused.
  const StateVector far = state_of(stack_test::earth_fixed_at(p.secondary_epoch, 90.0));
  EXPECT_EQ(shift_to_closest_approach(far, p.reference.position).status, ShiftStatus::too_far);
}

// The truth for the shift's error estimate: the propagation's own motion
// (gravity with J2, the earth's turning) plus the two largest terms it
// leaves out, J3 and C22/S22 (EGM2008, unnormalised), from their potential
// by central differences; Runge-Kutta in steps of 0.1 s.
namespace gravity_truth {

constexpr double mu = 398600.4418, re = 6378.137, j3 = -2.5327e-6, c22 = 1.5745e-6, s22 = -0.9039e-6;

// km^2/s^2: -mu J3 Re^3 P3(z / r) / r^4 + 3 mu Re^2 (C22 (x^2 - y^2) + 2 S22 x y) / r^5.
double potential(const double* p) {
  const double r = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]), u = p[2] / r;
  return -mu * j3 * re * re * re * (2.5 * u * u * u - 1.5 * u) / std::pow(r, 4) +
         3.0 * mu * re * re * (c22 * (p[0] * p[0] - p[1] * p[1]) + 2.0 * s22 * p[0] * p[1]) / std::pow(r, 5);
}

void rate(const double* y, double* dy) {  // y = (r, v)
  earth_fixed_acceleration(y, y + 3, dy + 3);
  for (int i = 0; i < 3; ++i) {
    constexpr double h = 1e-3;  // km
    double hi[3] = {y[0], y[1], y[2]}, lo[3] = {y[0], y[1], y[2]};
    hi[i] += h;
    lo[i] -= h;
    dy[3 + i] += (potential(hi) - potential(lo)) / (2.0 * h);
    dy[i] = y[3 + i];
  }
}

StateVector propagated(const StateVector& s, double seconds) {
  double y[6] = {s.position[0], s.position[1], s.position[2], s.velocity[0], s.velocity[1], s.velocity[2]};
  const int steps = static_cast<int>(std::ceil(std::fabs(seconds) / 0.1));
  const double h = seconds / steps;
  for (int n = 0; n < steps; ++n) {
    double k[4][6], t[6];
    rate(y, k[0]);
    for (int j = 1; j < 4; ++j) {
      for (int i = 0; i < 6; ++i) t[i] = y[i] + (j == 3 ? h : 0.5 * h) * k[j - 1][i];
      rate(t, k[j]);
    }
    for (int i = 0; i < 6; ++i) y[i] += h / 6.0 * (k[0][i] + 2.0 * k[1][i] + 2.0 * k[2][i] + k[3][i]);
  }
  return state_of({{y[0], y[1], y[2]}, {y[3], y[4], y[5]}});
}

}  // namespace gravity_truth

// A state vector moved along its orbit carries an estimate of its error,
// 0.5 a t^2 with a = 4e-4 m/s^2 (by hand: 0.2 mm at 1 s, 5 mm at 5 s, 1 cm
// at 7.07 s): against the truth with J3 and C22/S22 it bounds the error of
// the moved position where those terms are largest (C22 on the equator at
// longitude -15 degrees, J3 over the pole; there the error is 0.27 of it,
// 2.7 mm at 7 s), and is no bound ten times too wide.
TEST(StateVectorShift, ErrorEstimateBoundsTheGravityLeftOut) {
  struct Case {
    double latitude_deg, longitude_deg;
  };
  for (const Case& c : {Case{0.0, -15.0}, Case{0.0, 75.0}, Case{85.0, 0.0}, Case{-60.0, 120.0}}) {
    // A polar orbit at 700 km through the place, heading north.
    const double lat = c.latitude_deg * deg, lon = c.longitude_deg * deg, r = 6378.137 + 700.0,
                 speed = 7.5;
    StateVector passing;
    const double up[3] = {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
    const double north[3] = {-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat)};
    for (int i = 0; i < 3; ++i) {
      passing.position[i] = r * up[i];
      passing.velocity[i] = speed * north[i];
    }
    for (const double off : {1.0, 3.0, 5.0, 7.0}) {
      const std::string label = std::to_string(c.latitude_deg) + "," + std::to_string(c.longitude_deg) +
                                " off " + std::to_string(off);
      const StateVector given = gravity_truth::propagated(passing, -off);
      const TimeShift s = shift_to_closest_approach(given, passing.position);
      ASSERT_EQ(s.status, ShiftStatus::ok) << label;
      EXPECT_NEAR(s.error, 0.5 * 4e-7 * off * off, 2e-3 * 0.5 * 4e-7 * off * off) << label;  // km
      const StateVector truth = gravity_truth::propagated(given, s.seconds);
      const double d[3] = {s.state.position[0] - truth.position[0], s.state.position[1] - truth.position[1],
                           s.state.position[2] - truth.position[2]};
      const double miss = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
      EXPECT_LE(miss, s.error) << label << ": " << miss * 1e6 << " mm";
      if (c.latitude_deg == 0.0 && c.longitude_deg == -15.0) {
        EXPECT_GT(miss, 0.1 * s.error) << label << ": " << miss * 1e6 << " mm";
      }
    }
  }
  // The estimate of 1 cm: at sqrt(2 cm / 4e-4 m/s^2) = 7.07 s.
  EXPECT_NEAR(shift_error(-7.0710678), max_interpolation_error, 1e-11);
}

// The example stack's state-vector secondaries against the closed form that
// wrote them (examples/stack/make_example_stack.py, re-evaluated here): a
// circular two-body orbit per pass, turned across the track and raised, in
// the earth-fixed frame of its pass time; its closest approach to the
// reference position by bisection. The stack's baselines agree to 1 cm.
namespace example {

using Real = long double;
constexpr Real mu = 398600.4418L, omega = 7.292115854896798e-05L, a_eq = 6378.137L,
               altitude = 691.65L;
const Real inclination = 98.16L * deg, latitude = 35.4L * deg, raan = -52.0L * deg;

struct V3 {
  Real x, y, z;
};
V3 add(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 scale(V3 a, Real s) { return {a.x * s, a.y * s, a.z * s}; }
Real dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Real norm(V3 a) { return std::sqrt(dot(a, a)); }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V3 rotate(V3 v, V3 axis, Real angle) {
  const Real c = std::cos(angle), s = std::sin(angle);
  return add(add(scale(v, c), scale(cross(axis, v), s)), scale(axis, dot(axis, v) * (1 - c)));
}

// The pass's inertial state at its time 0, across the track by cross_m and
// up by height_m from the reference orbit.
void displaced(Real cross_m, Real height_m, V3* r, V3* v) {
  const Real r0n = a_eq + altitude;
  const Real u = std::numbers::pi_v<Real> - std::asin(std::sin(latitude) / std::sin(inclination));
  const V3 node = {std::cos(raan), std::sin(raan), 0};
  const V3 normal = {std::sin(raan) * std::sin(inclination), -std::cos(raan) * std::sin(inclination),
                     std::cos(inclination)};
  const V3 in_plane = cross(normal, node);
  const V3 r0 = scale(add(scale(node, std::cos(u)), scale(in_plane, std::sin(u))), r0n);
  const V3 v0 = scale(add(scale(node, -std::sin(u)), scale(in_plane, std::cos(u))), std::sqrt(mu / r0n));
  const Real rn = r0n + height_m / 1000;
  const V3 r1 = scale(r0, rn / r0n);
  const V3 v1 = scale(v0, std::sqrt(mu / rn) / norm(v0));
  const V3 along = scale(v1, 1 / norm(v1));
  const Real angle = -(cross_m / 1000) / rn;
  *r = rotate(r1, along, angle);
  *v = rotate(v1, along, angle);
}

// The earth-fixed state t seconds after the pass time.
StateVector at(Real cross_m, Real height_m, Real t) {
  V3 r0, v0;
  displaced(cross_m, height_m, &r0, &v0);
  const Real n = norm(v0) / norm(r0);
  const V3 r = add(scale(r0, std::cos(n * t)), scale(v0, std::sin(n * t) / n));
  const V3 v = add(scale(r0, -n * std::sin(n * t)), scale(v0, std::cos(n * t)));
  const Real th = omega * t, c = std::cos(th), s = std::sin(th);
  const V3 vi = {v.x + omega * r.y, v.y - omega * r.x, v.z};
  StateVector out;
  const V3 rf = {c * r.x + s * r.y, -s * r.x + c * r.y, r.z};
  const V3 vf = {c * vi.x + s * vi.y, -s * vi.x + c * vi.y, vi.z};
  const Real pr[3] = {rf.x, rf.y, rf.z}, pv[3] = {vf.x, vf.y, vf.z};
  for (int i = 0; i < 3; ++i) {
    out.position[i] = static_cast<double>(pr[i]);
    out.velocity[i] = static_cast<double>(pv[i]);
  }
  return out;
}

}  // namespace example

TEST(StateVectorShift, ExampleStackAgreesWithItsClosedForm) {
  struct Pass {
    const char* file;
    double cross_m, height_m;  // the script's table
  };
  const std::string dir = std::string(BPERP_SOURCE_DIR) + "/examples/stack/";
  const StackRun run = run_stack(dir + "reference.txt",
                                 {dir + "20070612.txt", dir + "20071028.txt", dir + "20080128.txt",
                                  dir + "20080730.txt", dir + "20081030.txt", dir + "20090502.txt"});
  ASSERT_TRUE(run.all_ok());
  const Pass passes[] = {{"20070612.txt", 415.0, 12.0},  {"20071028.txt", -148.0, 6.0},
                         {"20080128.txt", 297.0, -9.0},  {"20080730.txt", 151.0, -22.0},
                         {"20081030.txt", -91.0, 17.0},  {"20090502.txt", 238.0, 8.0}};
  const ReferenceGeometry& geometry = std::get<ReferenceGeometry>(run.view);
  const double* P = geometry.state.position;
  for (std::size_t k = 0; k < std::size(passes); ++k) {
    const Pass& pass = passes[k];
    const auto g = [&](double t) {
      const StateVector s = example::at(pass.cross_m, pass.height_m, t);
      double d = 0.0;
      for (int i = 0; i < 3; ++i) d += (s.position[i] - P[i]) * s.velocity[i];
      return d;
    };
    double lo = -1.0, hi = 1.0;
    for (int i = 0; i < 60; ++i) (g(0.5 * (lo + hi)) < 0.0 ? lo : hi) = 0.5 * (lo + hi);
    const StackBaseline exact = stack_baseline(geometry, example::at(pass.cross_m, pass.height_m, lo));
    const StackBaseline& got = run.secondaries[k].baseline;
    EXPECT_NEAR(got.perpendicular, exact.perpendicular, 1e-5) << pass.file;  // km: 1 cm
    EXPECT_NEAR(got.parallel, exact.parallel, 1e-5) << pass.file;
  }
  // The three the README once printed off by up to 1.6 m (exact: closed form).
  EXPECT_NEAR(run.secondaries[4].baseline.perpendicular * 1e3, -84.547, 0.01);
  EXPECT_NEAR(run.secondaries[5].baseline.perpendicular * 1e3, 191.581, 0.01);
  EXPECT_NEAR(run.secondaries[0].baseline.perpendicular * 1e3, 335.160, 0.01);
}

}  // namespace
}  // namespace bperp::stack
