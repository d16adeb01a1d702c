// Baselines across the scene: a grid of targets over the reference's image,
// and the stack's baselines at each. No grid of results is held: the
// baselines are worked out as they are gone over, a grid line at a time,
// once to tally each secondary's failures and spread, and again as the
// outputs write them (or once, the tally made as they are written).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "bperp/stack/run/stack_run.h"

namespace bperp::stack {

// The most targets whose reference views are kept while a grid of several
// secondaries is gone over (some 30 MB): within it each view is worked out
// once, beyond it again for each secondary, a line at a time.
constexpr std::size_t max_kept_grid_views = std::size_t{1} << 16;

// The target (line, range) of a grid of size over the reference's image:
// its time from the first to the last line and slant range from near to
// far, or for a geocoded product its grid from corner to corner (lines
// along y, its rows; ranges along x, its columns), each at the fraction
// k / (n - 1) of the way (the middle for n = 1); the other target options
// as given. Into point (its view not worked out); the refusal when the
// reference has no such image or the target can't be placed.
std::optional<Refusal> grid_target(const Acquisition& reference, const TargetOptions& target, GridSize size,
                                   int line, int range, GridPoint& point);

// The refusal, before any baseline is worked out, of the grid run.options
// asks for: of a state-vector reference, of more than max_grid_baselines
// baselines (grid points x secondaries), or whose targets can't be placed
// (its corners tried).
std::optional<Refusal> check_grid(const StackRun& run);

// Goes over run's targets line by line, each with the reference's view of
// it (or why it can't see it), handed to visit; stop, when given, asked
// before each: false when it stopped the going over.
bool for_each_grid_point(const StackRun& run, const std::function<void(const GridPoint&)>& visit,
                         const StopCheck& stop = {});

// The result of one secondary (its index in run.secondaries) at one target.
using GridVisit = std::function<void(const GridPoint& point, std::size_t secondary, const SecondaryResult& result)>;

// Goes over run's grid: for each secondary in the stack's order, for each
// target line by line, the reference's view of it (or why it can't see it,
// which is then each secondary's refusal there) and the secondary's result
// there (of the input of its pass that covers the target), handed to visit.
// stop, when given, is asked before each target: false when it stopped the
// going over, true when every result was handed.
bool for_each_grid_result(const StackRun& run, const GridVisit& visit, const StopCheck& stop = {});

// Each secondary's failures and spread over a grid, tallied one result at
// a time in the grid's order.
class GridTally {
 public:
  explicit GridTally(const StackRun& run);
  void add(std::size_t secondary, const SecondaryResult& result);
  // The tallies into run (grid_failures, grid_spreads) and, at
  // run.grid_warnings_at, a warning for each usable secondary that lacks a
  // baseline somewhere.
  void finish(StackRun& run) const;

 private:
  std::size_t points_;
  std::vector<GridFailures> failures_;
  std::vector<GridSpread> spreads_;
};

// Goes over run's grid once, keeping its tallies alone (GridTally::finish);
// false, nothing kept, when stop stopped it.
bool tally_grid(StackRun& run, const StopCheck& stop = {});

}  // namespace bperp::stack
