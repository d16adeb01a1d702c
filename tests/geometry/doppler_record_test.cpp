// The Doppler record of the master pass and the viewing angles at the scene
// point.
#include "bperp/geometry/doppler_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "beam_range.h"
#include "bperp/geometry/beams.h"
#include "bperp/geometry/settings.h"
#include "bperp/numeric/fatal_error.h"
#include "support/orbit_samples.h"

namespace bperp {
namespace {

using testing_orbits::state;
using testing_orbits::Uniform;

constexpr double kDeg = std::numbers::pi / 180;
constexpr double kPi = std::numbers::pi;

struct Angles {
  double incidence, off_nadir, beta;
};

Angles angles(const double* T, const DMatrix& m) {
  Angles a{-1, -1, -1};
  inci_off_beta(T, m, &a.incidence, &a.off_nadir, &a.beta);
  return a;
}

DMatrix satellite_at(double x, double y, double z) { return state_vector_matrix(state(x, y, z, 0, 7.5, 0)); }

TEST(InciOffBeta, SceneThreeDegreesAlongTheEquator) {
  // P = (7000, 0, 0), T = 6378 km out at 3 degrees of longitude: the
  // triangle centre-satellite-point by hand: beta = 3 deg, the off-nadir
  // angle from tan = 6378 sin 3 / (7000 - 6378 cos 3), incidence = sum.
  const DMatrix m = satellite_at(7000, 0, 0);
  const double T[3] = {6378 * std::cos(3 * kDeg), 6378 * std::sin(3 * kDeg), 0};
  const Angles a = angles(T, m);
  EXPECT_NEAR(a.beta, 0.052359878, 5e-10);
  EXPECT_NEAR(a.off_nadir, 0.48674704, 5e-9);
  EXPECT_NEAR(a.incidence, 0.53910692, 5e-9);
  EXPECT_NEAR(a.off_nadir, std::atan2(T[1], 7000 - T[0]), 1e-12);
}

TEST(InciOffBeta, NadirPointGivesZeroAngles) {
  const DMatrix m = satellite_at(7000, 0, 0);
  const double T[3] = {6300, 0, 0};
  const Angles a = angles(T, m);
  EXPECT_EQ(a.off_nadir, 0.0);
  EXPECT_EQ(a.incidence, 0.0);
  EXPECT_EQ(a.beta, 0.0);
}

// Where no clamp applies the incidence angle is the exterior angle at the
// scene point of the triangle centre-satellite-point: off_nadir + beta.
TEST(InciOffBeta, IncidenceIsOffNadirPlusBeta) {
  Uniform u(3);
  for (int k = 0; k < 2000; ++k) {
    const StateVector sat = testing_orbits::random_satellite(u, u(400.0, 900.0));
    const DMatrix m = state_vector_matrix(sat);
    const double R = test::beam_slant_range(m, data_vornix_off[k % beam_count] * degrees_to_radians);
    DVector f = processing_parameters();
    f[param::look_side] = k % 2 == 0 ? 1.0 : -1.0;
    DVector fdm = dvector(0, fdm_slot::high);
    doppler_cal4z(R, m, f, fdm);
    const double T[3] = {fdm[fdm_slot::scene_x], fdm[fdm_slot::scene_y], fdm[fdm_slot::scene_z]};
    const Angles a = angles(T, m);
    ASSERT_NEAR(a.incidence, a.off_nadir + a.beta, 1e-12) << "sample " << k;
    // The off-nadir angle is that of the beam to within the earth's shape:
    // the slant range was taken on the sphere of the local radius.
    ASSERT_NEAR(a.off_nadir, data_vornix_off[k % beam_count] * degrees_to_radians, 0.01)
        << "sample " << k;
  }
}

// The cosines formed as the angles are: each vector scaled by the reciprocal
// of its length, then a plain dot product.
double unit_dot(const double* u, const double* v) {
  const double iu = 1.0 / std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
  const double iv = 1.0 / std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  const double a[3] = {u[0] * iu, u[1] * iu, u[2] * iu};
  const double b[3] = {v[0] * iv, v[1] * iv, v[2] * iv};
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Collinear points: the cosines are +-1 up to rounding. A cosine that
// rounding carries beyond +-1 gives exactly 0.0 (never NaN, and 0.0 rather
// than pi below -1); one that stays within goes through acos.
TEST(InciOffBeta, CosinesBeyondOneByRoundingGiveZero) {
  Uniform u(5);
  int above = 0, below = 0;
  for (int k = 0; k < 4000; ++k) {
    const double z = u(-1.0, 1.0), lon = u(-kPi, kPi), c = std::sqrt(1 - z * z);
    const double P[3] = {7000 * c * std::cos(lon), 7000 * c * std::sin(lon), 7000 * z};
    // Below the satellite (t < 1) or beyond it (t > 1) on the same ray.
    const double t = k % 2 == 0 ? u(0.85, 0.95) : u(1.05, 1.5);
    const double T[3] = {t * P[0], t * P[1], t * P[2]};
    const DMatrix m = satellite_at(P[0], P[1], P[2]);
    const Angles a = angles(T, m);
    const double d[3] = {P[0] - T[0], P[1] - T[1], P[2] - T[2]};
    const double cos_off = unit_dot(d, P), cos_inc = unit_dot(d, T), cos_beta = unit_dot(P, T);
    const struct {
      double angle, cosine;
    } checks[] = {{a.off_nadir, cos_off}, {a.incidence, cos_inc}, {a.beta, cos_beta}};
    for (const auto& check : checks) {
      ASSERT_FALSE(std::isnan(check.angle)) << "sample " << k;
      if (std::fabs(check.cosine) > 1.0) {
        ASSERT_EQ(check.angle, 0.0) << "sample " << k << " cosine " << check.cosine;
        (check.cosine > 0 ? above : below)++;
      } else {
        ASSERT_EQ(check.angle, std::acos(check.cosine)) << "sample " << k;
      }
    }
    // Beyond the satellite the direction to it points inwards: the angles at
    // the satellite and the scene point are pi unless clamped.
    if (t > 1) {
      for (double angle : {a.off_nadir, a.incidence})
        ASSERT_TRUE(angle == 0.0 || std::fabs(angle - kPi) < 3e-8) << "sample " << k;
    } else {
      ASSERT_LT(a.off_nadir, 3e-8);
      ASSERT_LT(a.incidence, 3e-8);
    }
    ASSERT_LT(a.beta, 3e-8);
  }
  // The sample does reach both sides of the clamp.
  EXPECT_GT(above, 0);
  EXPECT_GT(below, 0);
}

TEST(InciOffBeta, SceneAtTheCentre) {
  // T = 0 makes the direction to the satellite the radial one (off_nadir 0)
  // and the scene point's radial undefined.
  const DMatrix m = satellite_at(7000, 0, 0);
  const double T[3] = {0, 0, 0};
  const Angles a = angles(T, m);
  EXPECT_EQ(a.off_nadir, 0.0);
  EXPECT_TRUE(std::isnan(a.incidence));
  EXPECT_TRUE(std::isnan(a.beta));
}

// The record: Doppler values 0 and 1, the scene point, values 2 to 4, the
// incidence and the off-nadir angle; slot 10 untouched.
TEST(DopplerCal4z, RecordLayout) {
  const DMatrix m = state_vector_matrix(state(4000, 3000, 4800, -3, -4, 5));
  const DVector f = processing_parameters();
  DVector fdm = dvector(0, fdm_slot::high);
  for (int i = 0; i <= fdm_slot::high; ++i) fdm[i] = -12345.0;
  SceneSearch search;
  doppler_cal4z(900.0, m, f, fdm, &search);

  double T[3], block[doppler::size];
  scan_point_sar_2(f, m, 900.0, T, block, 2);
  const Angles a = angles(T, m);
  EXPECT_EQ(fdm[0], block[doppler::centroid]);
  EXPECT_EQ(fdm[1], block[doppler::rate]);
  EXPECT_EQ(fdm[2], T[0]);
  EXPECT_EQ(fdm[3], T[1]);
  EXPECT_EQ(fdm[4], T[2]);
  EXPECT_EQ(fdm[5], block[doppler::rate2]);
  EXPECT_EQ(fdm[6], block[doppler::rate3]);
  EXPECT_EQ(fdm[7], 0.0);
  EXPECT_EQ(fdm[8], a.incidence);
  EXPECT_EQ(fdm[9], a.off_nadir);
  EXPECT_EQ(fdm[10], -12345.0);
  // The scene point of the attitude-free case of this satellite.
  EXPECT_NEAR(fdm[2], 3200.7231, 5e-5);
  EXPECT_NEAR(fdm[3], 3230.9863, 5e-5);
  EXPECT_NEAR(fdm[4], 4456.7774, 5e-5);
  EXPECT_TRUE(search.converged);
  // Incidence exceeds the off-nadir angle by the angle at the centre.
  EXPECT_GT(fdm[8], fdm[9]);
}

TEST(DopplerCal4z, DerivativeSwitchClearsOnlySlotsFiveAndSix) {
  const DMatrix m = state_vector_matrix(state(4000, 3000, 4800, -3, -4, 5));
  DVector f = processing_parameters();
  DVector plain = dvector(0, fdm_slot::high), cleared = dvector(0, fdm_slot::high);
  doppler_cal4z(900.0, m, f, plain);
  f[param::derivative_switch] = 9.0;
  doppler_cal4z(900.0, m, f, cleared);
  for (int i = 0; i < fdm_slot::high; ++i) {
    if (i == fdm_slot::rate2 || i == fdm_slot::rate3) {
      EXPECT_NE(plain[i], 0.0) << i;
      EXPECT_EQ(cleared[i], 0.0) << i;
    } else {
      EXPECT_EQ(cleared[i], plain[i]) << i;
    }
  }
}

TEST(DopplerCal4z, OtherWholeSelectorsFillZeros) {
  // Selectors other than 4 do not locate a scene point; the record holds
  // zeros for the Doppler values and the point.
  const DMatrix m = state_vector_matrix(state(4000, 3000, 4800, -3, -4, 5));
  for (double selector : {0.0, 3.0, 5.0, -4.0}) {
    DVector f = processing_parameters();
    f[param::doppler_model] = selector;
    DVector fdm = dvector(0, fdm_slot::high);
    SceneSearch search;
    search.started = true;
    doppler_cal4z(900.0, m, f, fdm, &search);
    for (int i = 0; i <= fdm_slot::spare; ++i) EXPECT_EQ(fdm[i], 0.0) << "selector " << selector;
    EXPECT_FALSE(search.started);
  }
}

TEST(DopplerCal4z, SelectorThatIsNotWholeIsRejected) {
  const DMatrix m = state_vector_matrix(state(4000, 3000, 4800, -3, -4, 5));
  DVector f = processing_parameters();
  f[param::doppler_model] = 4.5;
  DVector fdm = dvector(0, fdm_slot::high);
  try {
    doppler_cal4z(900.0, m, f, fdm);
    ADD_FAILURE() << "selector 4.5 accepted";
  } catch (const FatalError& e) {
    EXPECT_EQ(std::string(e.text()), "different!(m16.rtoi) r=  4.500000000000000e+00 ir=5\n");
    EXPECT_EQ(e.kind(), FatalKind::refusal);
  }
}

}  // namespace
}  // namespace bperp
