#include "bperp/stack/network/connectivity.h"

#include "bperp/stack/network/spanning_forest.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>
#include <tuple>

namespace bperp::stack {

namespace {

// Disjoint sets of point indices (union by size, path halving).
class DisjointSets {
 public:
  explicit DisjointSets(std::size_t n) : parent_(n), size_(n, 1) { std::iota(parent_.begin(), parent_.end(), 0); }
  std::size_t find(std::size_t x) {
    while (parent_[x] != x) x = parent_[x] = parent_[parent_[x]];
    return x;
  }
  bool join(std::size_t a, std::size_t b) {
    a = find(a);
    b = find(b);
    if (a == b) return false;
    if (size_[a] < size_[b]) std::swap(a, b);
    parent_[b] = a;
    size_[a] += size_[b];
    return true;
  }

 private:
  std::vector<std::size_t> parent_, size_;
};

constexpr double no_bridge = std::numeric_limits<double>::infinity();

// A possible bridge between two parts: its points (low_point < high_point,
// indices into the points), their parts (low_part < high_part) and their
// network_distance. Ordered by distance, then the parts, then the points:
// a strict order, so that the tree of the parts is one however it grows,
// and between two parts the pair first in the points' order wins a tie.
struct Candidate {
  double distance = no_bridge;
  std::size_t low_part = 0, high_part = 0;
  std::size_t low_point = 0, high_point = 0;
  bool operator<(const Candidate& o) const {
    return std::tie(distance, low_part, high_part, low_point, high_point) <
           std::tie(o.distance, o.low_part, o.high_part, o.low_point, o.high_point);
  }
};

}  // namespace

Connectivity connectivity(const PairNetwork& network) {
  const std::vector<NetworkPoint>& points = network.points();
  const std::size_t n = points.size();
  Connectivity c;
  if (n == 0) return c;
  DisjointSets sets(n);
  NetworkSummary& summary = c.summary;
  summary.acquisitions = n;
  std::vector<std::size_t> degree(n, 0);
  // One pass over the pairs' indices, each working out only what the
  // summary reads (the values of make_pair, bit for bit): a model without a
  // coherence leaves it out.
  double coherence_sum = 0.0;
  bool coherence_known = network.pair_model().gives_coherence() && network.dated();
  const bool dated = network.dated();
  double max_abs_perpendicular = 0.0;
  long max_abs_days = 0;
  network.for_each_index([&](std::size_t first, std::size_t second) {
    sets.join(first, second);
    ++summary.pairs;
    ++degree[first];
    ++degree[second];
    const double perpendicular = points[second].perpendicular - points[first].perpendicular;
    max_abs_perpendicular = std::max(max_abs_perpendicular, std::fabs(perpendicular));
    if (dated) max_abs_days = std::max(max_abs_days, std::labs(*points[second].day - *points[first].day));
    if (!coherence_known) return;
    const double coherence = pair_coherence(points, first, second, network.pair_model());
    coherence_sum += coherence;
    coherence_known = std::isfinite(coherence);
  });
  if (summary.pairs > 0) {
    summary.max_abs_perpendicular = max_abs_perpendicular;
    if (dated) summary.max_abs_days = max_abs_days;
  }
  summary.pairs_per_acquisition_min = *std::min_element(degree.begin(), degree.end());
  summary.pairs_per_acquisition_mean = 2.0 * static_cast<double>(summary.pairs) / static_cast<double>(n);
  if (summary.pairs > 0 && coherence_known)
    summary.mean_coherence = coherence_sum / static_cast<double>(summary.pairs);

  // The parts in the network's order: each point's part by its root.
  const std::vector<std::size_t>& order = network.order();
  std::vector<std::size_t> part_of_root(n, n);
  for (const std::size_t i : order) {
    const std::size_t root = sets.find(i);
    if (part_of_root[root] == n) {
      part_of_root[root] = c.components.size();
      c.components.emplace_back();
    }
    c.components[part_of_root[root]].push_back(i);
  }
  const std::size_t parts = c.components.size();
  if (parts < 2) return c;

  // The tree of the parts, two parts apart by their closest pair of points
  // (each pair of points looked at once: O(n^2) distances, O(n) memory).
  const auto closest = [&](std::size_t p, std::size_t q) {
    std::optional<Candidate> best;
    for (const std::size_t i : c.components[p])
      for (const std::size_t j : c.components[q]) {
        const std::size_t lo = std::min(i, j), hi = std::max(i, j);
        const double d = network_distance(points, lo, hi, network.scale());
        if (!(d < no_bridge)) continue;
        const Candidate candidate{d, std::min(p, q), std::max(p, q), lo, hi};
        if (!best || candidate < *best) best = candidate;
      }
    return best;
  };
  for (const ForestEdge<Candidate>& edge : spanning_forest(parts, closest)) {
    const Candidate& e = edge.weight;
    const bool low_first = network.rank(e.low_point) < network.rank(e.high_point);
    c.bridges.push_back(network.make_pair(low_first ? e.low_point : e.high_point,
                                          low_first ? e.high_point : e.low_point));
  }
  std::sort(c.bridges.begin(), c.bridges.end(), [&](const Pair& x, const Pair& y) {
    if (network.rank(x.first) != network.rank(y.first)) return network.rank(x.first) < network.rank(y.first);
    return network.rank(x.second) < network.rank(y.second);
  });
  return c;
}

}  // namespace bperp::stack
