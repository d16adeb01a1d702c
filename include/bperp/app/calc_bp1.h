// The baseline run over two state-vector files, as the bperp command makes it.
#pragma once

namespace bperp {

// Reads the master file, closes it, then reads the slave file, and writes
// the parallel and perpendicular baselines (km, earth-fixed B = master -
// slave on the master's look geometry) to *out_parallel and
// *out_perpendicular. On any failure throws FatalError (refusal) with the
// message for the user: "can't open %s", "can't read state vector from %s"
// followed by an indented reason, or the message of a failed run
// (run_failure_message); an exhausted heap throws it as heap_exhausted.
void Calc_Bp1(const char* master_path, const char* slave_path, double* out_parallel,
              double* out_perpendicular);

}  // namespace bperp
