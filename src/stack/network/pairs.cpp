#include "bperp/stack/network/pairs.h"

#include <algorithm>
#include <cmath>

#include "bperp/numeric/units.h"
#include "bperp/stack/network/delaunay.h"
#include "bperp/stack/network/spanning_forest.h"

namespace bperp::stack {

namespace {

using units::metres_per_km;
using units::millimetres_per_metre;

// A length in m as whole millimetres, as the outputs round it (a double, so
// that no limit, however large, overflows an integer).
double millimetres(double metres) { return std::round(metres * millimetres_per_metre); }

// Whether points i and j may pair under the perpendicular, day and
// coherence limits (the coherence by model).
bool within_limits(const std::vector<NetworkPoint>& points, std::size_t i, std::size_t j,
                   const PairLimits& limits, const PairModel& model) {
  const NetworkPoint& a = points[i];
  const NetworkPoint& b = points[j];
  if (limits.max_perpendicular &&
      std::fabs(millimetres(b.perpendicular - a.perpendicular)) >
          millimetres(*limits.max_perpendicular))
    return false;
  if (limits.max_days) {
    if (!a.day || !b.day) return false;
    if (std::labs(*b.day - *a.day) > *limits.max_days) return false;
  }
  if (limits.min_coherence && !(pair_coherence(points, i, j, model) >= *limits.min_coherence))
    return false;
  return true;
}

// The order of the network: by date when every point has one, then by the
// order given.
bool earlier(const std::vector<NetworkPoint>& points, bool dated, std::size_t i, std::size_t j) {
  if (dated && *points[i].day != *points[j].day) return *points[i].day < *points[j].day;
  return i < j;
}

}  // namespace

double pair_coherence(const std::vector<NetworkPoint>& points, std::size_t i, std::size_t j,
                      const PairModel& model) {
  const NetworkPoint& a = points[i];
  const NetworkPoint& b = points[j];
  const double days = (a.day && b.day) ? static_cast<double>(*b.day - *a.day) : NAN;
  return model.coherence(b.perpendicular - a.perpendicular, days, b.doppler_centroid - a.doppler_centroid);
}

CoherenceModel coherence_model(const StackRun& run, const BandwidthOptions& options,
                               const CoherenceParameters& parameters) {
  CoherenceModel m;
  m.parameters = parameters;
  if (const ZeroDopplerReference* z = zero_doppler_of(run.view)) {
    m.wavelength_m = z->wavelength * metres_per_km;
    m.slant_range_m = z->view.slant_range * metres_per_km;
    m.incidence_rad = z->view.angles.incidence;
  } else {
    const ReferenceGeometry& g = std::get<ReferenceGeometry>(run.view);
    m.wavelength_m = g.wavelength * metres_per_km;
    m.slant_range_m = g.slant_range * metres_per_km;
    m.incidence_rad = g.incidence;
  }
  const ProductInfo* p = run.reference.product ? &*run.reference.product : nullptr;
  const auto pick = [](std::optional<double> product, std::optional<double> option, double preset) {
    if (product && *product > 0.0) return *product;
    if (option) return *option;
    return preset;
  };
  m.range_bandwidth_hz = pick(p ? p->range_bandwidth_hz : std::nullopt, options.range_hz,
                              options.sensor ? options.sensor->range_bandwidth_hz : NAN);
  m.azimuth_bandwidth_hz = pick(p ? p->azimuth_bandwidth_hz : std::nullopt, options.azimuth_hz,
                                options.sensor ? options.sensor->azimuth_bandwidth_hz : NAN);
  // Sentinel-1's interferometric and extra-wide swaths are TOPS.
  m.doppler_term_is_one = p && p->mission.starts_with("S1") &&
                          (p->swath.starts_with("IW") || p->swath.starts_with("EW"));
  return m;
}

std::vector<NetworkPoint> network_points(const StackRun& run, double perpendicular_sign) {
  std::vector<NetworkPoint> points;
  points.push_back({run.reference.name, run.reference.day, 0.0, true, reference_doppler_centroid(run.view)});
  for (const SecondaryResult& s : run.secondaries)
    if (s.ok())
      points.push_back({s.acquisition().name, s.acquisition().day,
                        perpendicular_sign * s.baseline.perpendicular * metres_per_km, false, s.doppler_centroid});
  return points;
}

bool all_dated(const std::vector<NetworkPoint>& points) {
  return std::all_of(points.begin(), points.end(),
                     [](const NetworkPoint& p) { return p.day.has_value(); });
}

double network_distance(const std::vector<NetworkPoint>& points, std::size_t i, std::size_t j,
                        const DistanceScale& scale) {
  const double days = (points[i].day && points[j].day)
                          ? static_cast<double>(*points[j].day - *points[i].day) / scale.days
                          : 0.0;
  const double metres = (points[j].perpendicular - points[i].perpendicular) / scale.metres;
  return std::hypot(days, metres);
}

namespace {

// Whether i and j are a whole number of years apart (at least one).
bool whole_years_apart(const std::vector<NetworkPoint>& points, std::size_t i, std::size_t j) {
  constexpr double year_days = 365.25;
  const double days = std::fabs(static_cast<double>(*points[j].day - *points[i].day));
  const double years = std::round(days / year_days);
  return years >= 1.0 && std::fabs(days - years * year_days) <= annual_tolerance_days;
}

// The minimum spanning forest of the points under network_distance (no
// limit, the scales given) as each point's parent in it (a root its own):
// O(n^2) distances, O(n) memory.
std::vector<std::size_t> spanning_tree_parents(const std::vector<NetworkPoint>& points,
                                               const DistanceScale& scale) {
  const auto distance = [&](std::size_t i, std::size_t j) {
    const double d = network_distance(points, i, j, scale);
    return std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
  };
  std::vector<std::size_t> parent(points.size());
  for (std::size_t i = 0; i < parent.size(); ++i) parent[i] = i;
  for (const ForestEdge<double>& e : spanning_forest(points.size(), distance)) parent[e.to] = e.from;
  return parent;
}

}  // namespace

PairNetwork PairNetwork::without_pairs(const std::vector<NetworkPoint>& points, const CoherenceModel& model) {
  PairNetwork network(points, PairLimits{}, model);
  network.any_pairs_ = network.every_pair_ = false;
  return network;
}

PairNetwork::PairNetwork(const std::vector<NetworkPoint>& points, const PairLimits& limits,
                         const CoherenceModel& model, IndexPairs listed)
    : points_(points), limits_(limits), model_(model), chosen_(std::move(listed)) {
  const std::size_t n = points.size();
  dated_ = all_dated(points);
  order_.resize(n);
  for (std::size_t i = 0; i < n; ++i) order_[i] = i;
  std::stable_sort(order_.begin(), order_.end(),
                   [&](std::size_t a, std::size_t b) { return earlier(points, dated_, a, b); });
  rank_.resize(n);
  for (std::size_t k = 0; k < n; ++k) rank_[order_[k]] = k;
  every_pair_ = !limits.max_perpendicular && !limits.max_days && !limits.min_coherence && !limits.max_neighbours &&
                !limits.sequential && !limits.star && !limits.delaunay && !limits.listed;
  if (limits.mst) tree_parent_ = spanning_tree_parents(points, limits.scale);
  if (limits.delaunay && dated_) {
    const IndexPairs triangulation = delaunay_edges(points, limits.scale);
    chosen_.insert(chosen_.end(), triangulation.begin(), triangulation.end());
  }
  for (auto& [i, j] : chosen_)
    if (i > j) std::swap(i, j);
  std::sort(chosen_.begin(), chosen_.end());
  chosen_.erase(std::unique(chosen_.begin(), chosen_.end()), chosen_.end());
  if (!dated_) return;

  if (limits.max_neighbours) {
    // Each point's N nearest candidates in time (the earlier partner first
    // on a tie), sorted by index for the look-up.
    const std::size_t keep_count = static_cast<std::size_t>(std::max(*limits.max_neighbours, 0));
    near_.resize(n);
    std::vector<std::size_t> partners;
    for (std::size_t i = 0; i < n; ++i) {
      partners.clear();
      for (std::size_t j = 0; j < n; ++j)
        if (j != i && within_limits(points, i, j, limits, model_)) partners.push_back(j);
      const auto apart = [&](std::size_t j) { return std::labs(*points[j].day - *points[i].day); };
      const std::size_t kept = std::min(keep_count, partners.size());
      std::partial_sort(partners.begin(), partners.begin() + static_cast<std::ptrdiff_t>(kept),
                        partners.end(), [&](std::size_t a, std::size_t b) {
                          if (apart(a) != apart(b)) return apart(a) < apart(b);
                          return earlier(points, true, a, b);
                        });
      near_[i].assign(partners.begin(), partners.begin() + static_cast<std::ptrdiff_t>(kept));
      std::sort(near_[i].begin(), near_[i].end());
    }
  }
  if (limits.sequential) {
    // Each point's next N candidates in the network's order.
    const std::size_t keep_count = static_cast<std::size_t>(std::max(*limits.sequential, 0));
    next_.resize(n);
    for (std::size_t a = 0; a < n; ++a)
      for (std::size_t b = a + 1; b < n && next_[order_[a]].size() < keep_count; ++b)
        if (within_limits(points, order_[a], order_[b], limits, model_)) next_[order_[a]].push_back(order_[b]);
    for (auto& v : next_) std::sort(v.begin(), v.end());
  }
}

bool PairNetwork::chosen(std::size_t i, std::size_t j) const {
  const bool neighbours = limits_.max_neighbours.has_value(), sequential = limits_.sequential.has_value();
  if (!dated_ && (limits_.max_days || neighbours || sequential)) return false;
  if (!within_limits(points_, i, j, limits_, model_)) return false;
  const bool kinds = limits_.star || limits_.delaunay || limits_.listed;
  if (!neighbours && !sequential && !kinds) return true;
  if (limits_.star && (points_[i].reference || points_[j].reference)) return true;
  if (std::binary_search(chosen_.begin(), chosen_.end(), std::make_pair(std::min(i, j), std::max(i, j))))
    return true;
  if (neighbours && std::binary_search(near_[i].begin(), near_[i].end(), j) &&
      std::binary_search(near_[j].begin(), near_[j].end(), i))
    return true;
  if (sequential) {
    const std::size_t first = rank_[i] < rank_[j] ? i : j, second = first == i ? j : i;
    if (std::binary_search(next_[first].begin(), next_[first].end(), second)) return true;
  }
  return false;
}

bool PairNetwork::keep(std::size_t i, std::size_t j) const {
  if (every_pair_) return true;
  if (!any_pairs_) return false;
  if (chosen(i, j)) return true;
  if (limits_.annual && dated_ && whole_years_apart(points_, i, j)) {
    PairLimits perpendicular_only;
    perpendicular_only.max_perpendicular = limits_.max_perpendicular;
    if (within_limits(points_, i, j, perpendicular_only, model_)) return true;
  }
  if (limits_.mst) return tree_parent_[i] == j || tree_parent_[j] == i;
  return false;
}

std::size_t PairNetwork::count() const {
  std::size_t count = 0;
  for_each([&](const Pair&) { ++count; });
  return count;
}

std::vector<Pair> select_pairs(const std::vector<NetworkPoint>& points, const PairLimits& limits,
                               const CoherenceModel& model) {
  std::vector<Pair> pairs;
  PairNetwork(points, limits, model).for_each([&](const Pair& p) { pairs.push_back(p); });
  return pairs;
}

}  // namespace bperp::stack
