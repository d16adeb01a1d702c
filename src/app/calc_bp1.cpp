#include "bperp/app/calc_bp1.h"

#include <string>

#include "bperp/io/state_vector_file.h"
#include "bperp/baseline/baseline_run.h"
#include "bperp/numeric/fatal_error.h"

namespace bperp {

namespace {

// Reads one state-vector file or throws the message that refuses it.
StateVector read_or_throw(const char* path) {
  StateVector sv;
  std::string problem;
  switch (read_state_vector_file(path, sv, &problem)) {
    case FileRead::ok:
      return sv;
    case FileRead::cannot_open:
      throw FatalError("can't open " + std::string(path) + "\n", FatalKind::refusal);
    case FileRead::refused:
      break;
  }
  throw FatalError("can't read state vector from " + std::string(path) + "\n  " + problem + "\n",
                   FatalKind::refusal);
}

}  // namespace

void Calc_Bp1(const char* master_path, const char* slave_path, double* out_parallel,
              double* out_perpendicular) {
  const StateVector master = read_or_throw(master_path);
  const StateVector slave = read_or_throw(slave_path);
  const BaselineRun run = run_baseline(master, slave);
  if (run.status != RunStatus::ok)
    throw FatalError(run_failure_message(run.status, master_path, slave_path),
                     FatalKind::refusal);
  *out_parallel = run.parallel;
  *out_perpendicular = run.perpendicular;
}

}  // namespace bperp
