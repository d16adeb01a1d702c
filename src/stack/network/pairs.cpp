#include "bperp/stack/network/pairs.h"

#include <algorithm>
#include <cmath>

#include "bperp/numeric/units.h"

namespace bperp::stack {

namespace {

using units::metres_per_km;
using units::millimetres_per_metre;

// A length in m as whole millimetres, as the outputs round it (a double, so
// that no limit, however large, overflows an integer).
double millimetres(double metres) { return std::round(metres * millimetres_per_metre); }

// Whether points i and j may pair under the perpendicular and day limits.
bool within_limits(const std::vector<NetworkPoint>& points, std::size_t i, std::size_t j,
                   const PairLimits& limits) {
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
  return true;
}

// The order of the network: by date when every point has one, then by the
// order given.
bool earlier(const std::vector<NetworkPoint>& points, bool dated, std::size_t i, std::size_t j) {
  if (dated && *points[i].day != *points[j].day) return *points[i].day < *points[j].day;
  return i < j;
}

}  // namespace

std::vector<NetworkPoint> network_points(const StackRun& run) {
  std::vector<NetworkPoint> points;
  points.push_back({run.reference.name, run.reference.day, 0.0, true});
  for (const SecondaryResult& s : run.secondaries)
    if (s.ok())
      points.push_back({s.acquisition().name, s.acquisition().day,
                        s.baseline.perpendicular * metres_per_km, false});
  return points;
}

bool all_dated(const std::vector<NetworkPoint>& points) {
  return std::all_of(points.begin(), points.end(),
                     [](const NetworkPoint& p) { return p.day.has_value(); });
}

PairNetwork::PairNetwork(const std::vector<NetworkPoint>& points, const PairLimits& limits)
    : points_(points), limits_(limits) {
  const std::size_t n = points.size();
  dated_ = all_dated(points);
  none_ = !dated_ && (limits.max_days || limits.max_neighbours);
  order_.resize(n);
  for (std::size_t i = 0; i < n; ++i) order_[i] = i;
  std::stable_sort(order_.begin(), order_.end(),
                   [&](std::size_t a, std::size_t b) { return earlier(points, dated_, a, b); });
  if (none_ || !limits.max_neighbours) return;

  // Each point's N nearest candidates in time (the earlier partner first on
  // a tie), sorted by index for the look-up.
  const std::size_t keep_count = static_cast<std::size_t>(std::max(*limits.max_neighbours, 0));
  near_.resize(n);
  std::vector<std::size_t> partners;
  for (std::size_t i = 0; i < n; ++i) {
    partners.clear();
    for (std::size_t j = 0; j < n; ++j)
      if (j != i && within_limits(points, i, j, limits)) partners.push_back(j);
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

bool PairNetwork::keep(std::size_t i, std::size_t j) const {
  if (none_ || !within_limits(points_, i, j, limits_)) return false;
  if (!limits_.max_neighbours) return true;
  return std::binary_search(near_[i].begin(), near_[i].end(), j) &&
         std::binary_search(near_[j].begin(), near_[j].end(), i);
}

Pair PairNetwork::make_pair(std::size_t first, std::size_t second) const {
  Pair p;
  p.first = first;
  p.second = second;
  p.perpendicular = points_[second].perpendicular - points_[first].perpendicular;
  if (dated_) p.days = *points_[second].day - *points_[first].day;
  return p;
}

std::size_t PairNetwork::count() const {
  std::size_t count = 0;
  for_each([&](const Pair&) { ++count; });
  return count;
}

std::vector<Pair> select_pairs(const std::vector<NetworkPoint>& points, const PairLimits& limits) {
  std::vector<Pair> pairs;
  PairNetwork(points, limits).for_each([&](const Pair& p) { pairs.push_back(p); });
  return pairs;
}

}  // namespace bperp::stack
