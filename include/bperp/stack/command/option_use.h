// Options that a run did not use: each is said in a warning, so that an
// option given for nothing does not pass for one that took effect.
#pragma once

#include <string>
#include <vector>

#include "bperp/stack/command/request.h"
#include "bperp/stack/run/stack_run.h"

namespace bperp::stack {

// One warning per option of request that run's inputs (the reference and
// every input of every secondary pass) gave nothing to do, naming it and
// why: --swath or --polarisation without a SAFE product, --hdf5-orbit
// without an HDF5 product, --orbit and --orbit-dir without an input that
// states a Sentinel-1 mission, --require-orbit-files without either,
// --as-given
// without a state-vector secondary, --look with a state-vector reference,
// --range-bandwidth or --azimuth-bandwidth where the reference states it,
// and --sensor where the reference states what the preset would give (or,
// where it states its frequency, that the preset serves only for its
// bandwidths). None for a refused reference.
std::vector<std::string> unused_option_warnings(const StackRequest& request, const StackRun& run);

}  // namespace bperp::stack
