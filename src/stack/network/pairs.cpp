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
  points.push_back({run.reference.path, run.reference.day, 0.0, true});
  for (const SecondaryResult& s : run.secondaries)
    if (s.ok())
      points.push_back({s.acquisition.path, s.acquisition.day,
                        s.baseline.perpendicular * metres_per_km, false});
  return points;
}

bool all_dated(const std::vector<NetworkPoint>& points) {
  return std::all_of(points.begin(), points.end(),
                     [](const NetworkPoint& p) { return p.day.has_value(); });
}

std::vector<Pair> select_pairs(const std::vector<NetworkPoint>& points, const PairLimits& limits) {
  const std::size_t n = points.size();
  const bool dated = all_dated(points);
  if (!dated && (limits.max_days || limits.max_neighbours)) return {};

  // candidate[i][j]: i and j may pair.
  std::vector<std::vector<bool>> candidate(n, std::vector<bool>(n, false));
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = i + 1; j < n; ++j)
      candidate[i][j] = candidate[j][i] = within_limits(points, i, j, limits);

  if (limits.max_neighbours) {
    // chosen[i][j]: j is among i's N nearest candidates in time.
    const std::size_t keep = static_cast<std::size_t>(std::max(*limits.max_neighbours, 0));
    std::vector<std::vector<bool>> chosen(n, std::vector<bool>(n, false));
    for (std::size_t i = 0; i < n; ++i) {
      std::vector<std::size_t> partners;
      for (std::size_t j = 0; j < n; ++j)
        if (candidate[i][j]) partners.push_back(j);
      const auto apart = [&](std::size_t j) { return std::labs(*points[j].day - *points[i].day); };
      const std::size_t kept = std::min(keep, partners.size());
      std::partial_sort(partners.begin(), partners.begin() + static_cast<std::ptrdiff_t>(kept),
                        partners.end(), [&](std::size_t a, std::size_t b) {
                          if (apart(a) != apart(b)) return apart(a) < apart(b);
                          return earlier(points, true, a, b);
                        });
      for (std::size_t k = 0; k < kept; ++k) chosen[i][partners[k]] = true;
    }
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j) candidate[i][j] = chosen[i][j] && chosen[j][i];
  }

  std::vector<Pair> pairs;
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = i + 1; j < n; ++j) {
      if (!candidate[i][j]) continue;
      Pair p;
      p.first = earlier(points, dated, i, j) ? i : j;
      p.second = (p.first == i) ? j : i;
      p.perpendicular = points[p.second].perpendicular - points[p.first].perpendicular;
      if (dated) p.days = *points[p.second].day - *points[p.first].day;
      pairs.push_back(p);
    }
  std::sort(pairs.begin(), pairs.end(), [&](const Pair& a, const Pair& b) {
    if (a.first != b.first) return earlier(points, dated, a.first, b.first);
    return earlier(points, dated, a.second, b.second);
  });
  return pairs;
}

}  // namespace bperp::stack
