// The bperp executable under test run as a child process, through the
// shared process runner.
#pragma once

#include <string>
#include <vector>

#include "support/process.h"

namespace bperp_test {

using test_support::describe;
using test_support::ProcessOptions;
using test_support::ProcessResult;
using test_support::run_process;

// run_process with the bperp executable under test.
inline ProcessResult run_bperp(const std::vector<std::string>& args, const ProcessOptions& options = {}) {
  return run_process(BPERP_EXE, args, options);
}

}  // namespace bperp_test
