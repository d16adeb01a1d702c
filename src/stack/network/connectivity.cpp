#include "bperp/stack/network/connectivity.h"

#include <algorithm>
#include <limits>
#include <numeric>

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

}  // namespace

Connectivity connectivity(const PairNetwork& network) {
  const std::vector<NetworkPoint>& points = network.points();
  const std::size_t n = points.size();
  Connectivity c;
  if (n == 0) return c;
  DisjointSets sets(n);
  network.for_each([&](const Pair& p) { sets.join(p.first, p.second); });

  // The parts in the network's order: each point's part by its root.
  const std::vector<std::size_t>& order = network.order();
  std::vector<std::size_t> part_of_root(n, n), part(n);
  for (const std::size_t i : order) {
    const std::size_t root = sets.find(i);
    if (part_of_root[root] == n) {
      part_of_root[root] = c.components.size();
      c.components.emplace_back();
    }
    part[i] = part_of_root[root];
    c.components[part[i]].push_back(i);
  }
  const std::size_t parts = c.components.size();
  if (parts < 2) return c;

  // The closest pair between every two parts, then Kruskal over the parts.
  struct Edge {
    double distance;
    std::size_t a, b;  // points
  };
  std::vector<Edge> closest(parts * parts, Edge{std::numeric_limits<double>::infinity(), 0, 0});
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = i + 1; j < n; ++j) {
      if (part[i] == part[j]) continue;
      const std::size_t key = std::min(part[i], part[j]) * parts + std::max(part[i], part[j]);
      const double d = network_distance(points, i, j);
      if (d < closest[key].distance) closest[key] = {d, i, j};
    }
  std::vector<Edge> edges;
  for (const Edge& e : closest)
    if (e.distance < std::numeric_limits<double>::infinity()) edges.push_back(e);
  std::stable_sort(edges.begin(), edges.end(), [](const Edge& x, const Edge& y) { return x.distance < y.distance; });
  DisjointSets joined(parts);
  for (const Edge& e : edges)
    if (joined.join(part[e.a], part[e.b])) {
      const bool a_first = network.rank(e.a) < network.rank(e.b);
      c.bridges.push_back(network.make_pair(a_first ? e.a : e.b, a_first ? e.b : e.a));
    }
  std::sort(c.bridges.begin(), c.bridges.end(), [&](const Pair& x, const Pair& y) {
    if (network.rank(x.first) != network.rank(y.first)) return network.rank(x.first) < network.rank(y.first);
    return network.rank(x.second) < network.rank(y.second);
  });
  return c;
}

}  // namespace bperp::stack
