#include "bperp/stack/run/grid.h"

#include <algorithm>
#include <string>

#include "bperp/numeric/units.h"
#include "bperp/stack/geometry/map_grid.h"
#include "bperp/stack/run/passes.h"
#include "bperp/stack/run/reference_view.h"

namespace bperp::stack {

namespace {

// The fraction k / (n - 1) of the way, the middle for n = 1.
double fraction(int k, int n) { return n == 1 ? 0.5 : static_cast<double>(k) / (n - 1); }

}  // namespace

std::optional<Refusal> grid_targets(const Acquisition& a, const TargetOptions& target, GridSize size,
                                    std::vector<GridPoint>& points) {
  const ProductInfo* product = a.product ? &*a.product : nullptr;
  if (product && product->epsg && !product->grid_x.empty() && !product->grid_y.empty()) {
    const std::vector<double>& gx = product->grid_x;
    const std::vector<double>& gy = product->grid_y;
    for (int i = 0; i < size.lines; ++i)
      for (int j = 0; j < size.ranges; ++j) {
        GridPoint p;
        p.line = i;
        p.range = j;
        p.y = gy.front() + fraction(i, size.lines) * (gy.back() - gy.front());
        p.x = gx.front() + fraction(j, size.ranges) * (gx.back() - gx.front());
        p.target = target;
        p.target.burst.reset();
        std::string problem;
        p.target.at_point =
            map_to_geodetic(*product->epsg, *p.x, *p.y, target.height.value_or(0.0), &problem);
        if (!p.target.at_point) return Refusal{RefusalKind::malformed, problem};
        points.push_back(std::move(p));
      }
    return std::nullopt;
  }
  const ImageTiming* image = product ? &product->image : nullptr;
  if (!image || !image->first_line || !image->last_line || !image->near_range_m || !image->far_range_m)
    return Refusal{RefusalKind::option,
                   "--grid needs a reference product with the times of its first and last lines and its "
                   "near and far slant ranges"};
  const double span = seconds_between(*image->first_line, *image->last_line);
  for (int i = 0; i < size.lines; ++i)
    for (int j = 0; j < size.ranges; ++j) {
      GridPoint p;
      p.line = i;
      p.range = j;
      p.target = target;
      p.target.at_point.reset();
      p.target.burst.reset();
      p.target.at_time = add_seconds(*image->first_line, fraction(i, size.lines) * span);
      const double range_m =
          *image->near_range_m + fraction(j, size.ranges) * (*image->far_range_m - *image->near_range_m);
      p.target.at_range = range_m / units::metres_per_km;
      points.push_back(std::move(p));
    }
  return std::nullopt;
}

namespace {

// Why a grid of size over run's secondaries asks for more baselines than
// one run computes, or nullopt.
std::optional<Refusal> too_many_baselines(const StackRun& run, GridSize size) {
  const std::size_t targets = static_cast<std::size_t>(size.lines) * static_cast<std::size_t>(size.ranges);
  const std::size_t n = run.secondaries.size();
  const std::size_t baselines = targets * std::max<std::size_t>(n, 1);
  if (baselines <= max_grid_baselines) return std::nullopt;
  return Refusal{RefusalKind::option,
                 "--grid " + std::to_string(size.lines) + "x" + std::to_string(size.ranges) + " with " +
                     std::to_string(n) + (n == 1 ? " secondary" : " secondaries") + " asks for " +
                     std::to_string(baselines) + " baselines; one run computes at most " +
                     std::to_string(max_grid_baselines) +
                     " (grid points x secondaries): use a coarser grid or fewer secondaries"};
}

// The result of run's pass k at a target the reference views so: of the
// input that covers it (chosen_input).
SecondaryResult pass_result(const StackRun& run, std::size_t k, const ReferenceView& view,
                            const StackOptions& options) {
  const PassInputs& inputs = run.passes[k];
  if (inputs.size() == 1) return run_secondary(run.reference, view, inputs.front(), options);
  std::vector<SecondaryResult> results;
  for (const std::shared_ptr<const Acquisition>& input : inputs)
    results.push_back(run_secondary(run.reference, view, input, options));
  return std::move(results[chosen_input(results)]);
}

// The reference's view of p's target and every secondary pass of run there;
// where the reference can't see it, each carries that refusal. A grid lies
// inside the image by construction.
void run_point(const StackRun& run, GridPoint& p, const StackOptions& options) {
  ZeroDopplerReference view;
  p.refusal = zero_doppler_view(run.reference, p.target, view);
  view.outside_image = false;
  p.view = view;
  const ReferenceView point_view = std::move(view);
  p.secondaries.reserve(run.secondaries.size());
  for (std::size_t k = 0; k < run.secondaries.size(); ++k) {
    if (p.refusal) {
      SecondaryResult r;
      r.source = run.secondaries[k].source;
      r.refusal = p.refusal;
      p.secondaries.push_back(std::move(r));
    } else {
      p.secondaries.push_back(pass_result(run, k, point_view, options));
    }
  }
}

}  // namespace

std::optional<Refusal> run_grid(StackRun& run, const StackOptions& options) {
  if (!zero_doppler_of(run.view))
    return Refusal{RefusalKind::option,
                   "--grid needs a product or a dated orbit as the reference, not a state vector"};
  const GridSize size = *options.grid;
  if (std::optional<Refusal> refused = too_many_baselines(run, size)) return refused;
  std::vector<GridPoint> points;
  points.reserve(static_cast<std::size_t>(size.lines) * static_cast<std::size_t>(size.ranges));
  if (std::optional<Refusal> refused = grid_targets(run.reference, options.target, size, points))
    return refused;
  for (GridPoint& p : points) {
    if (options.stop_requested && options.stop_requested()) {
      run.cancelled = true;
      return std::nullopt;
    }
    run_point(run, p, options);
  }
  run.grid_failures.assign(run.secondaries.size(), GridFailures{});
  for (std::size_t k = 0; k < run.secondaries.size(); ++k) {
    GridFailures& failures = run.grid_failures[k];
    for (const GridPoint& p : points) {
      const SecondaryResult& g = p.secondaries[k];
      if (g.ok()) continue;
      if (failures.count++ == 0) failures.first = g.refusal;
    }
    const SecondaryResult& s = run.secondaries[k];
    if (s.ok() && failures.count > 0)
      run.warnings.push_back({WarningKind::grid_gaps, s.acquisition().name + ": no baseline at " +
                                                          std::to_string(failures.count) + " of the " +
                                                          std::to_string(points.size()) +
                                                          " grid points; the first: " + failures.first->text});
  }
  run.grid = std::move(points);
  return std::nullopt;
}

}  // namespace bperp::stack
