// Baselines across the scene: a grid of targets over the reference's image,
// and the stack's baselines at each.
#pragma once

#include <optional>
#include <vector>

#include "bperp/stack/run/stack_run.h"

namespace bperp::stack {

// The targets of a grid of lines x ranges over the reference's image: times
// from its first to its last line and slant ranges from near to far, or for
// a geocoded product its grid from corner to corner (lines along y, its
// rows; ranges along x, its columns), each at the fraction k / (n - 1) of
// the way (the middle for n = 1); the other target options as given. The
// refusal when the reference has no such image or its grid can't be placed.
std::optional<Refusal> grid_targets(const Acquisition& reference, const TargetOptions& target, GridSize size,
                                    std::vector<GridPoint>& points);

// The stack's baselines at every target of the grid of run's reference
// (its secondaries as read, computed again at each), with each secondary's
// failures over the grid counted and a warning for each usable secondary
// that lacks a baseline somewhere. The refusal, before anything is
// computed, of a grid asked of a state-vector reference, of more than
// max_grid_baselines baselines, or that grid_targets refuses. Stopped by
// options.stop_requested before a point: run.cancelled, no grid.
std::optional<Refusal> run_grid(StackRun& run, const StackOptions& options);

}  // namespace bperp::stack
