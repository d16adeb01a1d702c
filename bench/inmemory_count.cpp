// run_baseline on the example pair, N times over (default 1000), for an
// instruction count of the in-memory computation:
//
//   valgrind --tool=callgrind --toggle-collect='bperp::run_baseline*' bperp_inmemory_count 1000
//
// counts only what run_baseline and its callees execute. It then prints
// every field of the last BaselineRun in hexadecimal floating point, so that
// a change of a single bit in any result shows (bench/startup.sh compares
// the lines with bench/example_run.txt).
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "bperp/baseline/baseline_run.h"
#include "example_pair.h"

int main(int argc, char** argv) {
  long calls = 1000;
  if (argc > 2) {
    std::fputs("usage: bperp_inmemory_count [calls]\n", stdout);
    return 1;
  }
  if (argc == 2) {
    char* end = nullptr;
    errno = 0;
    calls = std::strtol(argv[1], &end, 10);
    if (errno != 0 || end == argv[1] || *end != '\0' || calls < 1 || calls > 100000000) {
      std::fprintf(stdout, "calls must be a whole number from 1 to 100000000, not \"%s\"\n",
                   argv[1]);
      return 1;
    }
  }

  const bperp::StateVector master = bperp::bench::example_master();
  const bperp::StateVector slave = bperp::bench::example_slave();
  bperp::BaselineRun run;
  // Every call must give the same bits; a mismatch means state leaks
  // between runs.
  bool same = true;
  for (long i = 0; i < calls; ++i) {
    const bperp::BaselineRun next = bperp::run_baseline(master, slave);
    if (i > 0 && (next.parallel != run.parallel || next.perpendicular != run.perpendicular))
      same = false;
    run = next;
  }
  if (!same) {
    std::fputs("run_baseline gave different results for the same input\n", stdout);
    return 1;
  }
  if (run.status != bperp::RunStatus::ok) {
    std::fprintf(stdout, "the example pair gives no baseline (status %d)\n",
                 static_cast<int>(run.status));
    return 1;
  }
  std::printf("parallel %a\n", run.parallel);
  std::printf("perpendicular %a\n", run.perpendicular);
  std::printf("slant_range %a\n", run.slant_range);
  std::printf("earth_radius %a\n", run.earth_radius);
  std::printf("scene_point %a %a %a\n", run.scene_point[0], run.scene_point[1],
              run.scene_point[2]);
  std::printf("doppler %a %a %a %a\n", run.doppler_centroid, run.doppler_rate,
              run.doppler_rate2, run.doppler_rate3);
  std::printf("incidence %a\n", run.incidence);
  std::printf("off_nadir %a\n", run.off_nadir);
  std::printf("search %d %d %d %a %a\n", run.search.started ? 1 : 0, run.search.converged ? 1 : 0,
              run.search.iterations, run.search.look_angle, run.search.height);
  return 0;
}
