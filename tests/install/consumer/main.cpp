// consumer MASTER SLAVE: the baselines of two state-vector files in km, in
// bperp's "%f\n%f\n", computed through the installed library.
#include <bperp/app/state_vector_file.h>
#include <bperp/baseline/baseline_run.h>
#include <bperp/version.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: consumer MASTER SLAVE (bperp %s)\n", BPERP_VERSION);
    return 2;
  }
  bperp::StateVector master, slave;
  std::string problem;
  if (bperp::read_state_vector_file(argv[1], master, &problem) != bperp::FileRead::ok ||
      bperp::read_state_vector_file(argv[2], slave, &problem) != bperp::FileRead::ok) {
    std::fprintf(stderr, "consumer: can't read the state vectors: %s\n", problem.c_str());
    return 1;
  }
  const bperp::BaselineRun run = bperp::run_baseline(master, slave);
  if (run.status != bperp::RunStatus::ok) {
    std::fputs(bperp::run_failure_message(run.status, argv[1], argv[2]).c_str(), stderr);
    return 1;
  }
  std::printf("%f\n%f\n", run.parallel, run.perpendicular);
  return 0;
}
