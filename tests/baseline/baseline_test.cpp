// The parallel and perpendicular baseline: the unit look vector U and the
// unit perpendicular V, and the projections of B = P - S on them.
#include "bperp/baseline/baseline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "bperp/baseline/baseline_run.h"
#include "bperp/geometry/settings.h"
#include "bperp/geometry/doppler_record.h"
#include "support/orbit_samples.h"

namespace bperp {
namespace {

using testing_orbits::state;
using testing_orbits::Uniform;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double dot(const double* u, const double* v) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; }
double norm(const double* u) { return std::sqrt(dot(u, u)); }
void cross(const double* u, const double* v, double* w) {
  w[0] = u[1] * v[2] - u[2] * v[1];
  w[1] = u[2] * v[0] - u[0] * v[2];
  w[2] = u[0] * v[1] - u[1] * v[0];
}

// A master pass with its scene point located as the run does it.
struct Geometry {
  DMatrix m;
  double P[3], T[3], L[3];
  DVector fdm;
};

Geometry located(const StateVector& master) {
  Geometry g;
  g.m = state_vector_matrix(master);
  const double R = slant_range(g.m, data_vornix_off[run_beam] * degrees_to_radians);
  const DVector f = processing_parameters();
  g.fdm = dvector(0, 10);
  doppler_cal4z(R, g.m, f, g.fdm);
  for (int i = 0; i < 3; ++i) {
    g.P[i] = g.m[sv::x + i][sv::state];
    g.T[i] = g.fdm[fdm_slot::scene_x + i];
    g.L[i] = g.T[i] - g.P[i];
  }
  return g;
}

std::vector<Geometry> realistic_masters(int count, std::uint64_t seed) {
  Uniform u(seed);
  std::vector<Geometry> out;
  for (int k = 0; k < count; ++k)
    out.push_back(located(testing_orbits::random_satellite(u, u(400.0, 900.0))));
  return out;
}

struct Baseline {
  double parallel, perpendicular;
};

Baseline baseline(const Geometry& g, const double* S) {
  const DMatrix s = state_vector_matrix(state(S[0], S[1], S[2], 0, 0, 0));
  Baseline b{kNaN, kNaN};
  base_cal1(g.m, s, g.fdm, &b.parallel, &b.perpendicular);
  return b;
}

TEST(NormalVectors, UnitOrthogonalAndAwayFromTheEarth) {
  for (const Geometry& g : realistic_masters(500, 1)) {
    double U[3], V[3], W[3], VxU[3];
    normal_vectors(g.L, g.m, g.T, U, V);
    cross(g.P, g.T, W);
    const double nW = norm(W);
    cross(V, U, VxU);
    ASSERT_NEAR(norm(U), 1.0, 1e-15);
    ASSERT_NEAR(norm(V), 1.0, 1e-15);
    ASSERT_NEAR(dot(U, V), 0.0, 1e-15);
    ASSERT_NEAR(dot(V, W) / nW, 0.0, 1e-15);  // in the plane of centre, P and T
    for (int i = 0; i < 3; ++i) {
      ASSERT_NEAR(U[i], g.L[i] / norm(g.L), 1e-15);  // along the look vector
      ASSERT_NEAR(VxU[i], W[i] / nW, 1e-14);        // V x U = W / |W|
    }
    // Away from the earth: V . P = V . T = |W|^2 / |N| = |W| / |L| > 0.
    ASSERT_GT(dot(V, g.P), 0.0);
    ASSERT_NEAR(dot(V, g.P), nW / norm(g.L), 1e-9);
    ASSERT_NEAR(dot(V, g.T), nW / norm(g.L), 1e-9);
  }
}

TEST(NormalVectors, DegenerateGeometryGivesNaN) {
  // Scene point on the master: 0 / 0 in every component of U and V.
  const DMatrix m = state_vector_matrix(state(7000, 0, 0, 0, 0, 7.5));
  const double on_master[3] = {7000, 0, 0}, zero[3] = {0, 0, 0};
  double U[3], V[3];
  normal_vectors(zero, m, on_master, U, V);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(std::isnan(U[i]));
    EXPECT_TRUE(std::isnan(V[i]));
  }
  // Scene point at nadir: W = 0, U valid, V not a number.
  const double nadir[3] = {6378.137, 0, 0}, look[3] = {6378.137 - 7000, 0, 0};
  normal_vectors(look, m, nadir, U, V);
  EXPECT_EQ(U[0], -1.0);
  EXPECT_EQ(U[1], 0.0);
  EXPECT_EQ(U[2], 0.0);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isnan(V[i]));
}

// The slave moved from the master by d along U, V and W: B = -d U, -d V,
// -d W, so (parallel, perpendicular) = (-d, 0), (0, -d), (0, 0) up to the
// rounding of positions some 7000 km from the centre.
TEST(BaseCal1, MovesAlongUVAndW) {
  const double tolerance = 8e-12;  // km: a few units in the last place of 7000 km
  for (const Geometry& g : realistic_masters(200, 2)) {
    double U[3], V[3], W[3];
    normal_vectors(g.L, g.m, g.T, U, V);
    cross(g.P, g.T, W);
    const double nW = norm(W);
    for (double d : {0.32, 0.001, 2.5, -1.2}) {
      double along_U[3], along_V[3], along_W[3];
      for (int i = 0; i < 3; ++i) {
        along_U[i] = g.P[i] + d * U[i];
        along_V[i] = g.P[i] + d * V[i];
        along_W[i] = g.P[i] + d * W[i] / nW;
      }
      const Baseline bu = baseline(g, along_U), bv = baseline(g, along_V), bw = baseline(g, along_W);
      ASSERT_NEAR(bu.parallel, -d, tolerance);
      ASSERT_NEAR(bu.perpendicular, 0.0, tolerance);
      ASSERT_NEAR(bv.parallel, 0.0, tolerance);
      ASSERT_NEAR(bv.perpendicular, -d, tolerance);
      ASSERT_NEAR(bw.parallel, 0.0, tolerance);
      ASSERT_NEAR(bw.perpendicular, 0.0, tolerance);
    }
  }
}

// parallel^2 + perpendicular^2 is the part of |B|^2 in the plane of the
// centre, P and T: |B|^2 - (B . W / |W|)^2.
TEST(BaseCal1, ComponentsHoldThePartOfTheBaselineInThePlane) {
  Uniform u(3);
  for (const Geometry& g : realistic_masters(300, 4)) {
    double W[3];
    cross(g.P, g.T, W);
    const double nW = norm(W);
    for (int k = 0; k < 5; ++k) {
      const double reach = k == 0 ? 0.5 : 20.0;  // km
      const double S[3] = {g.P[0] + u(-reach, reach), g.P[1] + u(-reach, reach),
                           g.P[2] + u(-reach, reach)};
      const double B[3] = {g.P[0] - S[0], g.P[1] - S[1], g.P[2] - S[2]};
      const Baseline b = baseline(g, S);
      const double in_plane = dot(B, B) - (dot(B, W) / nW) * (dot(B, W) / nW);
      ASSERT_NEAR(b.parallel * b.parallel + b.perpendicular * b.perpendicular, in_plane,
                  1e-12 * dot(B, B) + 1e-22);
      // And each component is the projection on its own unit vector.
      ASSERT_NEAR(b.parallel, dot(B, g.L) / norm(g.L), 1e-12);
    }
  }
}

// The master lying higher across the line of sight than the slave (in the
// direction of V) gives a positive perpendicular baseline; the master lying
// farther along the line of sight towards the scene, a positive parallel one.
TEST(BaseCal1, SignConvention) {
  const Geometry g = located(state(4066.372472, 4163.441233, 4014.008003, 4.163992967,
                                   1.803068918, -6.088507505));
  double U[3], V[3];
  normal_vectors(g.L, g.m, g.T, U, V);
  // A slave nearer the earth's centre (radially below) lies below the master
  // across the line of sight too.
  const double r = norm(g.P);
  const double below[3] = {g.P[0] * (1 - 0.5 / r), g.P[1] * (1 - 0.5 / r), g.P[2] * (1 - 0.5 / r)};
  const Baseline b = baseline(g, below);
  EXPECT_GT(b.perpendicular, 0.0);
  // Radially below means farther along the downward line of sight: the
  // master is behind the slave, parallel < 0.
  EXPECT_LT(b.parallel, 0.0);
  const double behind[3] = {g.P[0] - 0.3 * U[0], g.P[1] - 0.3 * U[1], g.P[2] - 0.3 * U[2]};
  EXPECT_GT(baseline(g, behind).parallel, 0.0);
}

// Slave at the master: both components are the sum of three signed zeros,
// negative exactly when all three components of the unit vector are.
TEST(BaseCal1, CoincidentPassesGiveSignedZeros) {
  int negative_parallel = 0, positive_parallel = 0;
  for (const Geometry& g : realistic_masters(400, 5)) {
    double U[3], V[3];
    normal_vectors(g.L, g.m, g.T, U, V);
    const Baseline b = baseline(g, g.P);
    ASSERT_EQ(b.parallel, 0.0);
    ASSERT_EQ(b.perpendicular, 0.0);
    const bool all_U = U[0] < 0 && U[1] < 0 && U[2] < 0;
    const bool all_V = V[0] < 0 && V[1] < 0 && V[2] < 0;
    ASSERT_EQ(std::signbit(b.parallel), all_U);
    ASSERT_EQ(std::signbit(b.perpendicular), all_V);
    (all_U ? negative_parallel : positive_parallel)++;
  }
  EXPECT_GT(negative_parallel, 0);
  EXPECT_GT(positive_parallel, 0);
}

TEST(BaseCal1, OnlyTheScenePointSlotsOfTheRecordMatter) {
  for (const Geometry& g : realistic_masters(20, 6)) {
    const double S[3] = {g.P[0] + 0.2, g.P[1] - 0.1, g.P[2] + 0.05};
    const Baseline plain = baseline(g, S);
    Geometry changed = located(state(g.P[0], g.P[1], g.P[2], g.m[sv::x][sv::as_read],
                                     g.m[sv::y][sv::as_read], g.m[sv::z][sv::as_read]));
    for (int i = 0; i <= fdm_slot::high; ++i)
      if (i < fdm_slot::scene_x || i > fdm_slot::scene_z) changed.fdm[i] = i % 2 ? kNaN : 1e300;
    const Baseline other = baseline(changed, S);
    ASSERT_EQ(other.parallel, plain.parallel);
    ASSERT_EQ(other.perpendicular, plain.perpendicular);
  }
}

TEST(BaseCal1, DegenerateScenePoints) {
  const DMatrix m = state_vector_matrix(state(7000, 0, 0, 0, 0, 7.5));
  const DMatrix s = state_vector_matrix(state(7000.1, 0.2, -0.3, 0, 0, 7.5));
  DVector fdm = dvector(0, 10);
  double parallel, perpendicular;
  // On the master: both not a number.
  fdm[2] = 7000;
  fdm[3] = 0;
  fdm[4] = 0;
  base_cal1(m, s, fdm, &parallel, &perpendicular);
  EXPECT_TRUE(std::isnan(parallel));
  EXPECT_TRUE(std::isnan(perpendicular));
  // At nadir: the parallel component stands, the perpendicular is NaN.
  fdm[2] = 6378.137;
  base_cal1(m, s, fdm, &parallel, &perpendicular);
  EXPECT_NEAR(parallel, 0.1, 1e-12);
  EXPECT_TRUE(std::isnan(perpendicular));
}

// coef_calc21 is the record filled by doppler_cal4z and decomposed by
// base_cal1, the first result the parallel one.
TEST(CoefCalc21, RecordThenDecomposition) {
  Uniform u(8);
  for (int k = 0; k < 50; ++k) {
    const StateVector master = testing_orbits::random_satellite(u, u(400.0, 900.0));
    StateVector slave = master;
    for (int i = 0; i < 3; ++i) slave.position[i] += u(-0.5, 0.5);
    const DMatrix m = state_vector_matrix(master), s = state_vector_matrix(slave);
    const double R = slant_range(m, data_vornix_off[run_beam] * degrees_to_radians);
    const DVector f = processing_parameters();
    double parallel = kNaN, perpendicular = kNaN, fdm_out[fdm_slot::high + 1];
    SceneSearch search;
    coef_calc21(R, f, m, s, &parallel, &perpendicular, fdm_out, &search);
    DVector fdm = dvector(0, fdm_slot::high);
    SceneSearch direct_search;
    doppler_cal4z(R, m, f, fdm, &direct_search);
    double p2 = kNaN, q2 = kNaN;
    base_cal1(m, s, fdm, &p2, &q2);
    ASSERT_EQ(parallel, p2);
    ASSERT_EQ(perpendicular, q2);
    ASSERT_NE(parallel, perpendicular);
    for (int i = 0; i < fdm_slot::high; ++i) ASSERT_EQ(fdm_out[i], fdm[i]) << "slot " << i;
    ASSERT_EQ(search.iterations, direct_search.iterations);
    ASSERT_EQ(search.converged, direct_search.converged);
  }
}

}  // namespace
}  // namespace bperp
