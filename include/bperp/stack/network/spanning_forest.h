// The minimum spanning forest of n nodes under a weight of each pair (Prim:
// O(n^2) weights, O(n) memory, no list of all the pairs).
#pragma once

#include <cstddef>
#include <optional>
#include <type_traits>
#include <vector>

namespace bperp::stack {

// An edge of a spanning forest: `to` joined its tree through `from`, at
// `weight`.
template <typename Weight>
struct ForestEdge {
  std::size_t from = 0;
  std::size_t to = 0;
  Weight weight{};
};

// The minimum spanning forest of the nodes 0 .. n - 1. weight(i, j) is the
// weight of joining node j to node i (i in a tree, j not yet): a value
// ordered by <, or nullopt for no edge. A tree grows from its lowest node;
// each step the node outside with the least weight to the tree joins (the
// lowest node on a tie), through the node of the tree that first reached
// that weight; when no node outside has an edge to the tree, the lowest one
// starts a tree of its own. The edges in the order their nodes joined: n - 1
// for a connected graph, one fewer for each further tree. When no two edges
// weigh the same (a strict order), the forest is the one minimum spanning
// forest, however it is grown.
template <typename WeightOf>
auto spanning_forest(std::size_t n, WeightOf weight) {
  using Weight = typename std::invoke_result_t<WeightOf&, std::size_t, std::size_t>::value_type;
  std::vector<ForestEdge<Weight>> edges;
  std::vector<std::optional<Weight>> best(n);  // the least weight into the grown trees
  std::vector<std::size_t> from(n, 0);
  std::vector<bool> joined(n, false);
  if (n == 0) return edges;
  std::size_t current = 0;
  joined[0] = true;
  for (std::size_t count = 1; count < n; ++count) {
    std::size_t next = n, lowest_outside = n;
    for (std::size_t k = 0; k < n; ++k) {
      if (joined[k]) continue;
      if (lowest_outside == n) lowest_outside = k;
      std::optional<Weight> w = weight(current, k);
      if (w && (!best[k] || *w < *best[k])) {
        best[k] = std::move(w);
        from[k] = current;
      }
      if (best[k] && (next == n || *best[k] < *best[next])) next = k;
    }
    if (next == n)
      next = lowest_outside;  // a tree of its own
    else
      edges.push_back({from[next], next, *best[next]});
    joined[next] = true;
    current = next;
  }
  return edges;
}

}  // namespace bperp::stack
