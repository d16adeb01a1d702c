// Google Benchmark of the baseline computation: the whole in-memory run from
// two state vectors to the BaselineRun, and each stage on its own with the
// inputs it sees in that run (the example pair).
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

#include "bperp/baseline/baseline_run.h"
#include "bperp/geometry/settings.h"
#include "bperp/io/state_vector_file.h"
#include "bperp/baseline/baseline.h"
#include "bperp/earth/earth_model.h"
#include "example_pair.h"
#include "bperp/geometry/doppler_record.h"
#include "bperp/geometry/scene_point.h"

namespace {

using namespace bperp;

// What the stages receive in the run of the example pair.
struct Stages {
  StateVector master = bench::example_master();
  StateVector slave = bench::example_slave();
  DVector facter_m = processing_parameters();
  DMatrix data_m = state_vector_matrix(master);
  DMatrix data_s = state_vector_matrix(slave);
  double theta = data_vornix_off[run_beam] * degrees_to_radians;
  double R = slant_range(data_m, theta);
  DVector fdm = dvector(0, fdm_slot::high);
  SceneSearch search;
  // The Doppler block's inputs, formed as the scene-point search forms them.
  double P[3], Vs[3], e_r[3], T[3], L[3], r = 0.0;

  Stages() {
    doppler_cal4z(R, data_m, facter_m, fdm, &search);
    for (int i = 0; i < 3; ++i) {
      P[i] = data_m[sv::x + i][sv::state];
      Vs[i] = data_m[sv::vx + i][sv::state];
      T[i] = fdm[fdm_slot::scene_x + i];
      L[i] = T[i] - P[i];
    }
    r = std::sqrt((P[0] * P[0] + P[1] * P[1]) + P[2] * P[2]);
    const double inv_r = 1.0 / std::sqrt(P[0] * P[0] + P[1] * P[1] + P[2] * P[2]);
    for (int i = 0; i < 3; ++i) e_r[i] = P[i] * inv_r;
  }
  bool usable() const { return search.converged && std::isfinite(R); }
};

const Stages& stages() {
  static const Stages s;
  return s;
}

bool refuse_unusable(benchmark::State& state) {
  if (stages().usable()) return false;
  state.SkipWithError("the example pair gives no scene point");
  return true;
}

void BM_WholeRun(benchmark::State& state) {
  const StateVector master = bench::example_master();
  const StateVector slave = bench::example_slave();
  for (auto _ : state) {
    BaselineRun run = run_baseline(master, slave);
    benchmark::DoNotOptimize(run);
  }
  if (run_baseline(master, slave).status != RunStatus::ok)
    state.SkipWithError("the example pair gives no baseline");
}
BENCHMARK(BM_WholeRun);

void BM_ProcessingParameters(benchmark::State& state) {
  for (auto _ : state) {
    DVector f = processing_parameters();
    benchmark::DoNotOptimize(f.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ProcessingParameters);

void BM_StateVectorMatrix(benchmark::State& state) {
  const StateVector master = bench::example_master();
  for (auto _ : state) {
    DMatrix m = state_vector_matrix(master);
    benchmark::DoNotOptimize(m[sv::vx][sv::state]);
  }
}
BENCHMARK(BM_StateVectorMatrix);

void BM_SlantRange(benchmark::State& state) {
  if (refuse_unusable(state)) return;
  const Stages& s = stages();
  double theta = s.theta;
  for (auto _ : state) {
    benchmark::DoNotOptimize(theta);
    double Re = 0.0;
    double R = slant_range(s.data_m, theta, &Re);
    benchmark::DoNotOptimize(R);
    benchmark::DoNotOptimize(Re);
  }
}
BENCHMARK(BM_SlantRange);

void BM_EarthR1(benchmark::State& state) {
  const StateVector m = bench::example_master();
  double X = m.position[0], Y = m.position[1], Z = m.position[2];
  double record[subpoint::size];
  for (auto _ : state) {
    benchmark::DoNotOptimize(X);
    earth_r1(X, Y, Z, record, 1);
    benchmark::DoNotOptimize(record);
  }
}
BENCHMARK(BM_EarthR1);

void BM_EarthR2(benchmark::State& state) {
  const StateVector m = bench::example_master();
  double X = m.position[0], Y = m.position[1], Z = m.position[2];
  double record[geodetic::size];
  for (auto _ : state) {
    benchmark::DoNotOptimize(X);
    int passes = earth_r2(X, Y, Z, record, 1);
    benchmark::DoNotOptimize(passes);
    benchmark::DoNotOptimize(record);
  }
}
BENCHMARK(BM_EarthR2);

void BM_ScanPointSar2(benchmark::State& state) {
  if (refuse_unusable(state)) return;
  const Stages& s = stages();
  double R = s.R;
  double scene[3], block[doppler::size];
  SceneSearch search;
  for (auto _ : state) {
    benchmark::DoNotOptimize(R);
    scan_point_sar_2(s.facter_m, s.data_m, R, scene, block, 2, &search);
    benchmark::DoNotOptimize(scene);
    benchmark::DoNotOptimize(block);
  }
  state.counters["newton_iterations"] = search.iterations;
}
BENCHMARK(BM_ScanPointSar2);

void BM_DopplerDerivatives(benchmark::State& state) {
  if (refuse_unusable(state)) return;
  const Stages& s = stages();
  double r = s.r;
  double block[doppler::size];
  for (auto _ : state) {
    benchmark::DoNotOptimize(r);
    doppler_derivatives(s.P, s.Vs, r, s.e_r, s.T, s.L, setting::light_speed,
                        setting::carrier_frequency, 0, block);
    benchmark::DoNotOptimize(block);
  }
}
BENCHMARK(BM_DopplerDerivatives);

void BM_DopplerCal4z(benchmark::State& state) {
  if (refuse_unusable(state)) return;
  const Stages& s = stages();
  double R = s.R;
  DVector fdm = dvector(0, fdm_slot::high);
  for (auto _ : state) {
    benchmark::DoNotOptimize(R);
    doppler_cal4z(R, s.data_m, s.facter_m, fdm);
    benchmark::DoNotOptimize(fdm.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DopplerCal4z);

void BM_BaseCal1(benchmark::State& state) {
  if (refuse_unusable(state)) return;
  const Stages& s = stages();
  for (auto _ : state) {
    double parallel = 0.0, perpendicular = 0.0;
    base_cal1(s.data_m, s.data_s, s.fdm, &parallel, &perpendicular);
    benchmark::DoNotOptimize(parallel);
    benchmark::DoNotOptimize(perpendicular);
  }
}
BENCHMARK(BM_BaseCal1);

void BM_NormalVectors(benchmark::State& state) {
  if (refuse_unusable(state)) return;
  const Stages& s = stages();
  double U[3], V[3];
  for (auto _ : state) {
    normal_vectors(s.L, s.data_m, s.T, U, V);
    benchmark::DoNotOptimize(U);
    benchmark::DoNotOptimize(V);
  }
}
BENCHMARK(BM_NormalVectors);

void BM_CoefCalc21(benchmark::State& state) {
  if (refuse_unusable(state)) return;
  const Stages& s = stages();
  double R = s.R;
  for (auto _ : state) {
    benchmark::DoNotOptimize(R);
    double parallel = 0.0, perpendicular = 0.0;
    coef_calc21(R, s.facter_m, s.data_m, s.data_s, &parallel, &perpendicular);
    benchmark::DoNotOptimize(parallel);
    benchmark::DoNotOptimize(perpendicular);
  }
}
BENCHMARK(BM_CoefCalc21);

// Not in memory: one state-vector file read and parsed (the page cache keeps
// it warm), the other half of what a bperp process does.
void BM_ReadStateVectorFile(benchmark::State& state) {
  const std::string path = std::string(BPERP_SOURCE_DIR) + "/examples/master.txt";
  StateVector sv;
  std::string problem;
  for (auto _ : state) {
    if (read_state_vector_file(path.c_str(), sv, &problem) != FileRead::ok) {
      state.SkipWithError("can't read examples/master.txt");
      break;
    }
    benchmark::DoNotOptimize(sv);
  }
}
BENCHMARK(BM_ReadStateVectorFile);

}  // namespace

BENCHMARK_MAIN();
