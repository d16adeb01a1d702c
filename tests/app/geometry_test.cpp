// The printed baselines against geometry worked out independently: the
// example pair and random realistic pairs against a scene point found by
// bisection, and slaves moved along the look direction, across it and
// normal to the look plane.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bperp/baseline/baseline_run.h"
#include "process.h"
#include "reference_geometry.h"
#include "test_files.h"

namespace bperp_test {
namespace {

// A "%f" result lies within half a unit of its sixth decimal of the value
// it renders (km); the independent computation adds its own error, far
// below a micrometre (bisection to the last bit of the look angle).
constexpr double half_printed_digit = 0.5e-6;
constexpr double reference_error = 1e-9;

// Half a unit in the last digit of "%e" (seven significant digits) of x.
double half_e_digit(double x) {
  if (x == 0.0) return 0.0;
  return 0.5e-6 * std::pow(10.0, std::floor(std::log10(std::fabs(x))));
}

bperp::StateVector to_state(const Six& s) {
  bperp::StateVector sv;
  for (int i = 0; i < 3; ++i) {
    sv.position[i] = s[i];
    sv.velocity[i] = s[3 + i];
  }
  return sv;
}

TEST(ReferenceGeometry, ReproducesWorkedScenePoints) {
  // Satellite above the equator, 7000 km from the centre, moving north at
  // 7.5 km/s: slant range 7000 cos(34.3 deg) - sqrt(a^2 - (7000 sin(34.3 deg))^2)
  // = 770.69117 km (by hand, to the five decimals given), and the point the
  // look-angle search of the worked case reaches, (6363.3329, 433.3015,
  // -29.4904) km: east of the northbound track, a little south because the
  // inertial velocity leans east.
  const Vec P{7000.0, 0.0, 0.0};
  const double R = reference_slant_range(P);
  EXPECT_NEAR(R, 770.69117, 0.5e-5);
  Vec T = reference_scene_point(P, inertial_velocity(P, {0.0, 0.0, 7.5}), R);
  EXPECT_NEAR(T.x, 6363.3329, 0.5e-4);
  EXPECT_NEAR(T.y, 433.3015, 0.5e-4);
  EXPECT_NEAR(T.z, -29.4904, 0.5e-4);
  EXPECT_NEAR(norm(T - P), R, 1e-9);

  // An inclined case at a given range of 900 km, no attitude, looking right:
  // the worked point (3200.7231, 3230.9863, 4456.7774) km.
  const Vec Q{4000.0, 3000.0, 4800.0};
  T = reference_scene_point(Q, inertial_velocity(Q, {-3.0, -4.0, 5.0}), 900.0);
  EXPECT_NEAR(T.x, 3200.7231, 0.5e-4);
  EXPECT_NEAR(T.y, 3230.9863, 0.5e-4);
  EXPECT_NEAR(T.z, 4456.7774, 0.5e-4);
  EXPECT_NEAR(norm(T - Q), 900.0, 1e-9);
  const double level = (T.x * T.x + T.y * T.y) / (6378.137 * 6378.137) +
                        T.z * T.z / (6356.7523141 * 6356.7523141) - 1.0;
  EXPECT_NEAR(level, 0.0, 1e-13);
}

TEST(ReferenceGeometry, AgreesWithTheLibrarysScenePointForTheExample) {
  // The library stops its Newton search once a step is below 1e-9 of the
  // look angle (~0.6 rad) and keeps the point before that step: at 850 km
  // range that is within 1e-6 km of the exact crossing.
  const Six m = example_master();
  const bperp::BaselineRun run = bperp::run_baseline(to_state(m), to_state(example_slave()));
  ASSERT_EQ(run.status, bperp::RunStatus::ok);
  const ReferenceBaseline ref = reference_baseline(m, example_slave());
  EXPECT_NEAR(run.slant_range, ref.slant_range, 1e-9);
  EXPECT_NEAR(run.scene_point[0], ref.scene.x, 1e-6);
  EXPECT_NEAR(run.scene_point[1], ref.scene.y, 1e-6);
  EXPECT_NEAR(run.scene_point[2], ref.scene.z, 1e-6);
}

// Runs bperp on the pair in both forms and checks both results against the
// independent geometry, to the printed digit.
void expect_printed_matches_reference(const std::string& master_file, const std::string& slave_file,
                                      const ReferenceBaseline& ref) {
  const ProcessResult r = run_bperp({master_file, slave_file});
  ASSERT_TRUE(r.exited && r.status == 0) << describe(r);
  double par = 0.0, perp = 0.0;
  ASSERT_TRUE(parse_fixed_pair(r.out, &par, &perp)) << describe(r);
  EXPECT_NEAR(par, ref.parallel, half_printed_digit + reference_error) << r.out;
  EXPECT_NEAR(perp, ref.perpendicular, half_printed_digit + reference_error) << r.out;

  ProcessOptions o;
  o.input = master_file + " " + slave_file + "\n";
  const ProcessResult e = run_bperp({}, o);
  ASSERT_TRUE(e.exited && e.status == 0) << describe(e);
  ASSERT_TRUE(parse_labelled(e.out, &par, &perp)) << describe(e);
  EXPECT_NEAR(par, ref.parallel, half_e_digit(ref.parallel) + reference_error) << e.out;
  EXPECT_NEAR(perp, ref.perpendicular, half_e_digit(ref.perpendicular) + reference_error) << e.out;
}

TEST(PrintedBaseline, ExamplePairAgreesWithTheIndependentGeometry) {
  const ReferenceBaseline ref = reference_baseline(example_master(), example_slave());
  expect_printed_matches_reference(example_master_path(), example_slave_path(), ref);
  // The digits themselves, as the reference renders them.
  const ProcessResult r = run_bperp({example_master_path(), example_slave_path()});
  EXPECT_EQ(r.out, format("%f\n%f\n", ref.parallel, ref.perpendicular));
}

TEST(PrintedBaseline, SwappingMasterAndSlaveIsNotMerelyANegation) {
  // The scene point comes from the first file: with the passes swapped the
  // look direction is another one, and both results follow their own
  // geometry.
  const ReferenceBaseline swapped = reference_baseline(example_slave(), example_master());
  expect_printed_matches_reference(example_slave_path(), example_master_path(), swapped);

  double fp = 0, fq = 0, sp = 0, sq = 0;
  ASSERT_TRUE(parse_fixed_pair(run_bperp({example_master_path(), example_slave_path()}).out, &fp, &fq));
  ASSERT_TRUE(parse_fixed_pair(run_bperp({example_slave_path(), example_master_path()}).out, &sp, &sq));
  // The passes 320 m apart: the look direction of the other pass is turned
  // by ~4e-5 rad, which moves each component by ~1e-5 km, some ten printed
  // digits (the rounding of the two results accounts for at most two).
  EXPECT_GT(std::fabs(sp + fp), 5e-6) << "parallel " << sp << " against " << fp;
  EXPECT_GT(std::fabs(sq + fq), 5e-6)
      << "swapped " << sp << " " << sq << " forward " << fp << " " << fq;
}

TEST(PrintedBaseline, RealisticPairsAgreeWithTheIndependentGeometry) {
  // Satellites 400 to 900 km up on circular orbits through random points
  // and headings, slaves up to 1.5 km away in every direction.
  std::mt19937_64 rng(20240611);
  std::uniform_real_distribution<double> height(400.0, 900.0), lat(-1.4, 1.4),
      lon(-3.14159, 3.14159), az(0.0, 6.28318), offset(-1.5, 1.5);
  TempDir dir;
  for (int i = 0; i < 24; ++i) {
    const Six m = circular_orbit_state(6378.137 + height(rng), lat(rng), lon(rng), az(rng));
    Six s = m;
    for (int k = 0; k < 3; ++k) s[k] += offset(rng);
    SCOPED_TRACE(format("pair %d: master %.17g %.17g %.17g %.17g %.17g %.17g", i, m[0], m[1], m[2],
                        m[3], m[4], m[5]));
    const ReferenceBaseline ref = reference_baseline(m, s);
    ASSERT_TRUE(std::isfinite(ref.parallel) && std::isfinite(ref.perpendicular));
    expect_printed_matches_reference(dir.write("m.txt", state_vector_text(m)),
                                     dir.write("s.txt", state_vector_text(s)), ref);
  }
}

// A slave moved from the master by du along U, dv along V and dw along the
// normal W of the look plane: B = -(du U + dv V + dw W), so the tool must
// print -du and -dv.
struct Move {
  const char* name;
  double du, dv, dw;  // km
};

class MovedSlave : public testing::TestWithParam<Move> {};

// The printed "%f" of an exact expected value; a zero may carry either sign.
void expect_printed(const std::string& line, double expected) {
  if (expected == 0.0)
    EXPECT_TRUE(line == "0.000000" || line == "-0.000000") << line;
  else
    EXPECT_EQ(line, format("%f", expected));
}

TEST_P(MovedSlave, PrintsMinusTheMoveAlongUAndV) {
  const Move& mv = GetParam();
  const Six m = example_master();
  const bperp::BaselineRun run = bperp::run_baseline(to_state(m), to_state(m));
  ASSERT_EQ(run.status, bperp::RunStatus::ok);
  const Vec P = position_of(m);
  const Vec T{run.scene_point[0], run.scene_point[1], run.scene_point[2]};
  const Vec U = unit(T - P);
  const Vec W = unit(cross(P, T));
  const Vec V = unit(P - dot(P, U) * U);  // in the plane of 0, P, T; away from the earth
  ASSERT_NEAR(dot(U, V), 0.0, 1e-15);
  ASSERT_NEAR(dot(V, W), 0.0, 1e-15);
  ASSERT_GT(dot(V, P), 0.0);

  const Vec S = P + mv.du * U + mv.dv * V + mv.dw * W;
  const Six slave{S.x, S.y, S.z, m[3], m[4], m[5]};
  TempDir dir;
  const ProcessResult r = run_bperp(
      {dir.write("master.txt", state_vector_text(m)), dir.write("slave.txt", state_vector_text(slave))});
  ASSERT_TRUE(r.exited && r.status == 0) << describe(r);
  const std::vector<std::string> lines = lines_of(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  expect_printed(lines[0], -mv.du);
  expect_printed(lines[1], -mv.dv);
}

INSTANTIATE_TEST_SUITE_P(
    AlongTheLookFrame, MovedSlave,
    testing::Values(Move{"AlongU", 0.25, 0.0, 0.0}, Move{"AgainstU", -1.5, 0.0, 0.0},
                    Move{"OneMetreAlongU", 0.001, 0.0, 0.0}, Move{"AlongV", 0.0, 0.25, 0.0},
                    Move{"AgainstV", 0.0, -2.0, 0.0}, Move{"OneMetreAlongV", 0.0, 0.001, 0.0},
                    Move{"AlongW", 0.0, 0.0, 0.25}, Move{"FarAlongW", 0.0, 0.0, -5.0},
                    Move{"AllThree", 0.125, -0.375, 0.5}, Move{"TenKmAcross", 0.0, 10.0, 0.0}),
    [](const testing::TestParamInfo<Move>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace bperp_test
