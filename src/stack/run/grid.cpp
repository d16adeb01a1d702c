#include "bperp/stack/run/grid.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "bperp/numeric/units.h"
#include "bperp/stack/geometry/map_grid.h"
#include "bperp/stack/run/passes.h"
#include "bperp/stack/run/reference_view.h"

namespace bperp::stack {

namespace {

// The fraction k / (n - 1) of the way, the middle for n = 1.
double fraction(int k, int n) { return n == 1 ? 0.5 : static_cast<double>(k) / (n - 1); }

std::size_t target_count(GridSize size) {
  return static_cast<std::size_t>(size.lines) * static_cast<std::size_t>(size.ranges);
}

// Why a grid of size over run's secondaries asks for more baselines than
// one run computes, or nullopt.
std::optional<Refusal> too_many_baselines(const StackRun& run, GridSize size) {
  const std::size_t n = run.secondaries.size();
  const std::size_t baselines = target_count(size) * std::max<std::size_t>(n, 1);
  if (baselines <= max_grid_baselines) return std::nullopt;
  return Refusal{RefusalKind::option,
                 "--grid " + std::to_string(size.lines) + "x" + std::to_string(size.ranges) + " with " +
                     std::to_string(n) + (n == 1 ? " secondary" : " secondaries") + " asks for " +
                     std::to_string(baselines) + " baselines; one run computes at most " +
                     std::to_string(max_grid_baselines) +
                     " (grid points x secondaries): use a coarser grid or fewer secondaries"};
}

// The target (line, range) of run's grid with the reference's view of it.
// A grid lies inside the image by construction.
GridPoint viewed_point(const StackRun& run, int line, int range) {
  GridPoint p;
  grid_target(run.reference, run.options.target, *run.grid(), line, range, p);  // placeable: check_grid
  ZeroDopplerReference view;
  p.refusal = zero_doppler_view(run.reference, p.target, view);
  view.outside_image = false;
  p.view = std::move(view);
  return p;
}

// Secondary pass k's result at p: of the input of the pass that covers it
// (chosen_input); p's refusal when the reference can't see it.
SecondaryResult result_at(const StackRun& run, const GridPoint& p, std::size_t k) {
  if (p.refusal) {
    SecondaryResult r;
    r.source = run.secondaries[k].source;
    r.refusal = p.refusal;
    return r;
  }
  const ReferenceView view(p.view);
  const PassInputs& inputs = run.passes[k];
  if (inputs.size() == 1) return run_secondary(run.reference, view, inputs.front(), run.options);
  std::vector<SecondaryResult> results;
  for (const std::shared_ptr<const Acquisition>& input : inputs)
    results.push_back(run_secondary(run.reference, view, input, run.options));
  return std::move(results[chosen_input(results)]);
}

bool stopped(const StopCheck& stop) { return stop && stop(); }

}  // namespace

std::optional<Refusal> grid_target(const Acquisition& a, const TargetOptions& target, GridSize size, int line,
                                   int range, GridPoint& p) {
  p.line = line;
  p.range = range;
  p.target = target;
  p.target.burst.reset();  // each grid point is its own target
  const ProductInfo* product = a.product ? &*a.product : nullptr;
  if (product && product->epsg && !product->grid_x.empty() && !product->grid_y.empty()) {
    const std::vector<double>& gx = product->grid_x;
    const std::vector<double>& gy = product->grid_y;
    p.y = gy.front() + fraction(line, size.lines) * (gy.back() - gy.front());
    p.x = gx.front() + fraction(range, size.ranges) * (gx.back() - gx.front());
    std::string problem;
    p.target.at_point = map_to_geodetic(*product->epsg, *p.x, *p.y, target.height.value_or(0.0), &problem);
    if (!p.target.at_point) return Refusal{RefusalKind::malformed, problem};
    return std::nullopt;
  }
  const ImageTiming* image = product ? &product->image : nullptr;
  if (!image || !image->first_line || !image->last_line || !image->near_range_m || !image->far_range_m)
    return Refusal{RefusalKind::option,
                   "--grid needs a reference product with the times of its first and last lines and its "
                   "near and far slant ranges"};
  const double span = seconds_between(*image->first_line, *image->last_line);
  p.target.at_point.reset();
  p.target.at_time = add_seconds(*image->first_line, fraction(line, size.lines) * span);
  const double range_m =
      *image->near_range_m + fraction(range, size.ranges) * (*image->far_range_m - *image->near_range_m);
  p.target.at_range = range_m / units::metres_per_km;
  return std::nullopt;
}

std::optional<Refusal> check_grid(const StackRun& run) {
  if (!zero_doppler_of(run.view))
    return Refusal{RefusalKind::option,
                   "--grid needs a product or a dated orbit as the reference, not a state vector"};
  const GridSize size = *run.grid();
  if (std::optional<Refusal> refused = too_many_baselines(run, size)) return refused;
  // Every target lies between the corners (the map coordinates of a
  // product's grid are each within the projection's area when read).
  for (const int line : {0, size.lines - 1})
    for (const int range : {0, size.ranges - 1}) {
      GridPoint p;
      if (std::optional<Refusal> refused = grid_target(run.reference, run.options.target, size, line, range, p))
        return refused;
    }
  return std::nullopt;
}

bool for_each_grid_point(const StackRun& run, const std::function<void(const GridPoint&)>& visit,
                         const StopCheck& stop) {
  if (!run.grid()) return true;
  for (int i = 0; i < run.grid()->lines; ++i)
    for (int j = 0; j < run.grid()->ranges; ++j) {
      if (stopped(stop)) return false;
      visit(viewed_point(run, i, j));
    }
  return true;
}

bool for_each_grid_result(const StackRun& run, const GridVisit& visit, const StopCheck& stop) {
  if (!run.grid()) return true;
  const GridSize size = *run.grid();
  const std::size_t n = run.secondaries.size();
  // The views of every target, worked out once, when there are several
  // secondaries to share them and they fit the bound; else each line's
  // worked out anew for each secondary.
  std::vector<GridPoint> kept;
  if (n > 1 && target_count(size) <= max_kept_grid_views) {
    kept.reserve(target_count(size));
    if (!for_each_grid_point(run, [&](const GridPoint& p) { kept.push_back(p); }, stop)) return false;
  }
  std::vector<GridPoint> line;
  for (std::size_t k = 0; k < n; ++k)
    for (int i = 0; i < size.lines; ++i) {
      const GridPoint* points = nullptr;
      if (!kept.empty()) {
        points = kept.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(size.ranges);
      } else {
        line.clear();
        for (int j = 0; j < size.ranges; ++j) line.push_back(viewed_point(run, i, j));
        points = line.data();
      }
      for (int j = 0; j < size.ranges; ++j) {
        if (stopped(stop)) return false;
        visit(points[j], k, result_at(run, points[j], k));
      }
    }
  return true;
}

GridTally::GridTally(const StackRun& run)
    : points_(run.grid() ? target_count(*run.grid()) : 0),
      failures_(run.secondaries.size()),
      spreads_(run.secondaries.size()) {}

void GridTally::add(std::size_t k, const SecondaryResult& g) {
  if (!g.ok()) {
    if (failures_[k].count++ == 0) failures_[k].first = g.refusal;
    return;
  }
  GridSpread& s = spreads_[k];
  const double parallel = g.baseline.parallel, perpendicular = g.baseline.perpendicular;
  const auto widen = [](double& lo, double& hi, double v) {
    lo = std::isnan(lo) ? v : std::fmin(lo, v);
    hi = std::isnan(hi) ? v : std::fmax(hi, v);
  };
  widen(s.parallel_min, s.parallel_max, parallel);
  widen(s.perpendicular_min, s.perpendicular_max, perpendicular);
  s.parallel_sum += parallel;
  s.perpendicular_sum += perpendicular;
  ++s.count;
}

void GridTally::finish(StackRun& run) const {
  run.grid_failures = failures_;
  run.grid_spreads = spreads_;
  std::vector<Warning> warnings;
  for (std::size_t k = 0; k < run.secondaries.size(); ++k) {
    const SecondaryResult& s = run.secondaries[k];
    const GridFailures& f = failures_[k];
    if (s.ok() && f.count > 0)
      warnings.push_back({WarningKind::grid_gaps,
                          s.acquisition().name + ": no baseline at " + std::to_string(f.count) + " of the " +
                              std::to_string(points_) + " grid points; the first: " + f.first->text});
  }
  const std::size_t at = std::min(run.grid_warnings_at, run.warnings.size());
  run.warnings.insert(run.warnings.begin() + static_cast<std::ptrdiff_t>(at), warnings.begin(),
                      warnings.end());
}

bool tally_grid(StackRun& run, const StopCheck& stop) {
  GridTally tally(run);
  if (!for_each_grid_result(
          run, [&](const GridPoint&, std::size_t k, const SecondaryResult& r) { tally.add(k, r); }, stop))
    return false;
  tally.finish(run);
  return true;
}

}  // namespace bperp::stack
