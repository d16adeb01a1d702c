// The in-memory baseline run: realistic pairs give a baseline consistent
// with the geometry of the scene point; degenerate states give the status
// that names what is wrong instead of numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "bperp/baseline/baseline_run.h"
#include "bperp/earth/rotation.h"
#include "bperp/geometry/settings.h"
#include "bperp/earth/earth_model.h"
#include "support/orbit_samples.h"

namespace bperp {
namespace {

using testing_orbits::state;
using testing_orbits::Uniform;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

double dot(const double* u, const double* v) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; }

// What a run must satisfy whatever the pair: the scene point on the scene
// ellipsoid at the slant range of the beam, and the two components the
// projections of B on the look vector and on the perpendicular in the plane
// of the centre, P and T (computed here from the scene point directly).
void expect_consistent(const BaselineRun& run, const StateVector& master,
                       const StateVector& slave) {
  ASSERT_EQ(run.status, RunStatus::ok);
  const double* P = master.position;
  const double* T = run.scene_point;
  const double L[3] = {T[0] - P[0], T[1] - P[1], T[2] - P[2]};
  const double B[3] = {P[0] - slave.position[0], P[1] - slave.position[1],
                       P[2] - slave.position[2]};
  const double rho = std::sqrt(dot(L, L));
  EXPECT_NEAR(rho, run.slant_range, 1e-9);
  const double a = 6378.137, b = 6356.7523141;
  EXPECT_NEAR((T[0] * T[0] + T[1] * T[1]) / (a * a) + T[2] * T[2] / (b * b), 1.0, 1e-12);
  // The local radius under the master on model 1 and the slant range on it.
  double sub[subpoint::size];
  earth_r1(P[0], P[1], P[2], sub, 1);
  EXPECT_EQ(run.earth_radius, sub[subpoint::radius]);
  const double theta = 34.3 * degrees_to_radians;
  const double r = std::sqrt(dot(P, P));
  EXPECT_NEAR(run.slant_range,
              r * std::cos(theta) -
                  std::sqrt(sub[0] * sub[0] - (r * std::sin(theta)) * (r * std::sin(theta))),
              1e-9);
  // Perpendicular unit vector: the part of the radial direction of P at
  // right angles to L, which lies in the plane and points away from the earth.
  double V[3];
  const double along = dot(P, L) / dot(L, L);
  for (int i = 0; i < 3; ++i) V[i] = P[i] - along * L[i];
  const double nV = std::sqrt(dot(V, V));
  EXPECT_NEAR(run.parallel, dot(B, L) / rho, 1e-12);
  EXPECT_NEAR(run.perpendicular, dot(B, V) / nV, 1e-11);
  EXPECT_TRUE(run.search.converged);
  // Incidence beyond the off-nadir angle, both near the beam's.
  EXPECT_GT(run.incidence, run.off_nadir);
  EXPECT_NEAR(run.off_nadir, theta, 0.01);
}

TEST(RunBaseline, ExamplePair) {
  // The repeat pass of examples/: 691 km up, the slave some 320 m away.
  const StateVector master = state(4066.372472, 4163.441233, 4014.008003, 4.163992967,
                                   1.803068918, -6.088507505);
  const StateVector slave = state(4066.224115, 4163.726359, 4014.012263, 4.164013759,
                                  1.803079737, -6.088507505);
  const BaselineRun run = run_baseline(master, slave);
  expect_consistent(run, master, slave);
  const double B[3] = {master.position[0] - slave.position[0],
                       master.position[1] - slave.position[1],
                       master.position[2] - slave.position[2]};
  EXPECT_NEAR(std::sqrt(dot(B, B)), 0.3215, 5e-4);
  EXPECT_LE(std::hypot(run.parallel, run.perpendicular), std::sqrt(dot(B, B)) + 1e-12);
}

TEST(RunBaseline, RandomRealisticPairs) {
  Uniform u(12);
  for (int k = 0; k < 300; ++k) {
    SCOPED_TRACE(testing::Message() << "pair " << k);
    const StateVector master = testing_orbits::random_satellite(u, u(400.0, 900.0));
    StateVector slave = master;
    for (int i = 0; i < 3; ++i) {
      slave.position[i] += u(-1.0, 1.0);
      slave.velocity[i] += u(-1e-3, 1e-3);
    }
    const BaselineRun run = run_baseline(master, slave);
    expect_consistent(run, master, slave);
    if (testing::Test::HasFailure()) return;
  }
}

TEST(RunBaseline, SamePassTwiceGivesZeroBaseline) {
  Uniform u(13);
  for (int k = 0; k < 50; ++k) {
    const StateVector sat = testing_orbits::random_satellite(u, u(400.0, 900.0));
    const BaselineRun run = run_baseline(sat, sat);
    ASSERT_EQ(run.status, RunStatus::ok);
    ASSERT_EQ(run.parallel, 0.0);
    ASSERT_EQ(run.perpendicular, 0.0);
  }
}

TEST(RunBaseline, EquatorialSatelliteSlantRange) {
  const StateVector master = state(7000, 0, 0, 0, 0, 7.5);
  const BaselineRun run = run_baseline(master, master);
  ASSERT_EQ(run.status, RunStatus::ok);
  EXPECT_NEAR(run.slant_range, 770.69117, 5e-6);
  EXPECT_NEAR(run.earth_radius, 6378.137, 1e-9);
  EXPECT_NEAR(run.scene_point[0], 6363.3329, 5e-5);
  EXPECT_NEAR(run.scene_point[1], 433.3015, 5e-5);
  EXPECT_NEAR(run.scene_point[2], -29.4904, 5e-5);
}

struct Degenerate {
  const char* what;
  StateVector master, slave;
  RunStatus status;
};

TEST(RunBaseline, DegenerateStatesGiveTheirStatus) {
  const StateVector good = state(7000, 0, 0, 0, 0, 7.5);
  const Degenerate cases[] = {
      // The beam at 34.3 degrees passes beside the earth: the slant range is
      // not a number.
      {"far out", state(30000, 0, 0, 0, 0, 3.6), good, RunStatus::beam_misses_earth},
      {"geostationary", state(42164, 0, 0, 0, 3.07, 0), good, RunStatus::beam_misses_earth},
      // The master at or inside the earth: slant range <= 0.
      {"inside", state(6000, 0, 0, 0, 0, 7.5), good, RunStatus::inside_earth},
      {"deep inside", state(100, 0, 0, 0, 0, 7.5), good, RunStatus::inside_earth},
      // No cross-track direction.
      {"zero velocity", state(7000, 0, 0, 0, 0, 0), good, RunStatus::no_cross_track},
      {"zero velocity over the pole", state(0, 0, 7000, 0, 0, 0), good, RunStatus::no_cross_track},
      {"velocity along the position", state(4000, 3000, 4800, 4, 3, 4.8), good,
       RunStatus::no_cross_track},
      {"velocity against the position", state(4000, 3000, 4800, -0.4, -0.3, -0.48), good,
       RunStatus::no_cross_track},
      // Numbers that are not finite.
      {"NaN master", state(kNaN, 0, 0, 0, 0, 7.5), good, RunStatus::not_finite_input},
      {"infinite master velocity", state(7000, 0, 0, 0, kInf, 7.5), good,
       RunStatus::not_finite_input},
      {"NaN slave", good, state(7000, 0, kNaN, 0, 0, 7.5), RunStatus::not_finite_input},
      {"infinite slave", good, state(7000, -kInf, 0, 0, 0, 7.5), RunStatus::not_finite_input},
  };
  for (const Degenerate& c : cases) {
    SCOPED_TRACE(c.what);
    const BaselineRun run = run_baseline(c.master, c.slave);
    EXPECT_EQ(static_cast<int>(run.status), static_cast<int>(c.status));
    if (c.status == RunStatus::beam_misses_earth) {
      EXPECT_TRUE(std::isnan(run.slant_range));
    }
    if (c.status == RunStatus::inside_earth) {
      EXPECT_LE(run.slant_range, 0.0);
    }
  }
}

// An earth-fixed velocity of -omega x r is no motion in the inertial frame:
// the cross-track axis of the scene point search is undefined, and the run
// says so before anything is computed.
TEST(RunBaseline, NoInertialMotionIsNotAResult) {
  const StateVector master = state(7000, 0, 0, 0, -run_omega * 7000, 0);
  const BaselineRun run = run_baseline(master, state(7000.1, 0, 0, 0, 0, 7.5));
  EXPECT_EQ(run.status, RunStatus::no_cross_track);
}

}  // namespace
}  // namespace bperp
