// One run over a stack: the reference read and its geometry worked out,
// then every secondary read, checked for what can be a repeat pass, moved to
// its closest approach to the reference (an orbit interpolated there, a
// state vector propagated along its orbit) and decomposed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bperp/stack/geometry/orbit_alignment.h"
#include "bperp/stack/geometry/propagation.h"
#include "bperp/stack/geometry/stack_baseline.h"
#include "bperp/stack/inputs/acquisition.h"

namespace bperp::stack {

// The most a secondary's position may differ from where the alignment put
// it before its baseline is refused, km (1 cm).
constexpr double max_interpolation_error = 1e-5;

// The default longest baseline, km: above the critical baseline of every
// sensor in use (about 46 km for an L-band SAR at 84 MHz of range bandwidth,
// a few km for C band), so that no usable pair is refused, and far below the
// thousands of km of another track or another satellite.
constexpr double default_max_length = 50.0;

// How the run treats its secondaries.
struct StackOptions {
  // Use state-vector secondaries where they stand, as bperp does for a pair.
  bool as_given = false;
  // A baseline longer than this (km) cannot be a repeat pass and is refused.
  double max_length = default_max_length;
};

// One secondary's outcome. ok() when error is empty; then baseline holds
// its numbers and state the vector they were computed from.
struct SecondaryResult {
  Acquisition acquisition;
  std::optional<Alignment> alignment;  // for orbits that reached the search
  std::optional<TimeShift> shift;      // for state vectors moved along their orbit
  StateVector state;                   // the vector used: as read, aligned or moved
  StackBaseline baseline;
  std::optional<long> days;  // secondary date - reference date, when both are known
  std::string error;         // why it cannot be used, naming the file
  bool ok() const { return error.empty(); }
};

struct StackRun {
  Acquisition reference;
  ReferenceGeometry geometry;
  std::string reference_error;        // non-empty: the run cannot go on
  std::vector<SecondaryResult> secondaries;
  std::vector<std::string> warnings;  // one line each, naming the files; not errors
  bool all_ok() const;
};

// The reference file read and its geometry located. On failure
// reference_error says why and nothing else is filled.
StackRun start_stack(const std::string& reference_path);

// One secondary against a started stack (reference_error empty).
SecondaryResult run_secondary(const StackRun& run, Acquisition secondary,
                              const StackOptions& options = {});

// The whole stack: start_stack, then run_secondary for each path (skipped
// when the reference failed). A file given twice (under two names, or the
// reference among the secondaries) is used once, and two files of the same
// date are noted, with a warning each.
StackRun run_stack(const std::string& reference_path, const std::vector<std::string>& secondaries,
                   const StackOptions& options = {});

}  // namespace bperp::stack
