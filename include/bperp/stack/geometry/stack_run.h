// One run over a stack: the reference read and its geometry worked out,
// then every secondary read, aligned when it is an orbit, and decomposed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/geometry/orbit_alignment.h"
#include "bperp/stack/geometry/stack_baseline.h"

namespace bperp::stack {

// One secondary's outcome. ok() when error is empty; then baseline holds
// its numbers and state the vector they were computed from.
struct SecondaryResult {
  Acquisition acquisition;
  std::optional<Alignment> alignment;  // for orbits that reached the search
  StateVector state;                   // the vector used: as read, or aligned
  StackBaseline baseline;
  std::optional<long> days;  // secondary date - reference date, when both are known
  std::string error;         // why it cannot be used, naming the file
  bool ok() const { return error.empty(); }
};

struct StackRun {
  Acquisition reference;
  ReferenceGeometry geometry;
  std::string reference_error;  // non-empty: the run cannot go on
  std::vector<SecondaryResult> secondaries;
  bool all_ok() const;
};

// The reference file read and its geometry located. On failure
// reference_error says why and nothing else is filled.
StackRun start_stack(const std::string& reference_path);

// One secondary against a started stack (reference_error empty).
SecondaryResult run_secondary(const StackRun& run, Acquisition secondary);

// The whole stack: start_stack, then run_secondary for each path (skipped
// when the reference failed).
StackRun run_stack(const std::string& reference_path, const std::vector<std::string>& secondaries);

}  // namespace bperp::stack
