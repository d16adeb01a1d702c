// The spanning forest against Kruskal over every pair (a minimum spanning
// forest built the other way round, from the sorted list of all edges), on
// random points, on a grid full of equal distances, and split into groups
// with no edge between them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <random>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "bperp/stack/network/spanning_forest.h"

namespace bperp::stack {
namespace {

struct Point {
  double x, y;
  int group;  // no edge between groups
};

using Edges = std::set<std::pair<std::size_t, std::size_t>>;
// A strict order of the edges: the distance, then the nodes.
using Key = std::tuple<double, std::size_t, std::size_t>;

std::optional<Key> key(const std::vector<Point>& p, std::size_t i, std::size_t j) {
  if (p[i].group != p[j].group) return std::nullopt;
  return Key{std::hypot(p[j].x - p[i].x, p[j].y - p[i].y), std::min(i, j), std::max(i, j)};
}

// Kruskal: every edge by key, kept when it joins two trees.
Edges kruskal(const std::vector<Point>& p) {
  std::vector<Key> all;
  for (std::size_t i = 0; i < p.size(); ++i)
    for (std::size_t j = i + 1; j < p.size(); ++j)
      if (const auto k = key(p, i, j)) all.push_back(*k);
  std::sort(all.begin(), all.end());
  std::vector<std::size_t> root(p.size());
  std::iota(root.begin(), root.end(), 0);
  const auto find = [&](std::size_t x) {
    while (root[x] != x) x = root[x];
    return x;
  };
  Edges tree;
  for (const auto& [d, i, j] : all)
    if (find(i) != find(j)) {
      root[find(i)] = find(j);
      tree.insert({i, j});
    }
  return tree;
}

double total(const std::vector<Point>& p, const Edges& edges) {
  double sum = 0.0;
  for (const auto& [i, j] : edges) sum += std::get<0>(*key(p, i, j));
  return sum;
}

TEST(SpanningForest, IsKruskalsForest) {
  struct Case {
    const char* name;
    std::size_t n;
    bool grid;   // integer coordinates 0..3: many equal distances
    int groups;  // parts without an edge between them
  };
  std::mt19937 random(20250406);
  for (const Case& c : {Case{"none", 0, false, 1}, Case{"one", 1, false, 1}, Case{"two", 2, false, 1},
                        Case{"random", 60, false, 1}, Case{"grid", 40, true, 1},
                        Case{"random groups", 50, false, 4}, Case{"grid groups", 30, true, 3}}) {
    std::vector<Point> p;
    for (std::size_t k = 0; k < c.n; ++k) {
      const double x = c.grid ? static_cast<double>(random() % 4) : std::uniform_real_distribution<>(-1, 1)(random);
      const double y = c.grid ? static_cast<double>(random() % 4) : std::uniform_real_distribution<>(-1, 1)(random);
      p.push_back({x, y, static_cast<int>(random() % static_cast<unsigned>(c.groups))});
    }
    const Edges expected = kruskal(p);

    // With the strict key: exactly Kruskal's edges, each joining a node
    // new to its tree through one already in it.
    const auto forest = spanning_forest(p.size(), [&](std::size_t i, std::size_t j) { return key(p, i, j); });
    Edges found;
    std::vector<bool> in_tree(p.size(), false);
    for (const auto& e : forest) {
      found.insert({std::min(e.from, e.to), std::max(e.from, e.to)});
      EXPECT_FALSE(in_tree[e.to]) << c.name;
      in_tree[e.from] = in_tree[e.to] = true;
      EXPECT_EQ(e.weight, *key(p, e.from, e.to)) << c.name;
    }
    EXPECT_EQ(found, expected) << c.name;
    EXPECT_EQ(forest.size(), expected.size()) << c.name;

    // With the distance alone (as --mst weighs), ties go by the order of
    // growth: maybe another tree, but as short.
    const auto by_distance = spanning_forest(p.size(), [&](std::size_t i, std::size_t j) {
      const auto k = key(p, i, j);
      return k ? std::optional<double>(std::get<0>(*k)) : std::nullopt;
    });
    double length = 0.0;
    for (const auto& e : by_distance) length += e.weight;
    EXPECT_EQ(by_distance.size(), expected.size()) << c.name;
    EXPECT_NEAR(length, total(p, expected), 1e-9) << c.name;
  }
}

}  // namespace
}  // namespace bperp::stack
