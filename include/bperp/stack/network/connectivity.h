// Whether a pair network holds together: its connected parts and, for a
// network split into parts (which breaks a small-baseline time-series
// inversion), the shortest extra pairs that would join them.
#pragma once

#include <cstddef>
#include <vector>

#include "bperp/stack/network/pairs.h"

namespace bperp::stack {

struct Connectivity {
  // The connected parts, each its points in the network's order, the parts
  // ordered by their first point.
  std::vector<std::vector<std::size_t>> components;
  // For a split network, components - 1 pairs that join every part: the
  // minimum spanning tree of the parts under network_distance, each bridge
  // the closest pair of points between the two parts it joins; in the
  // network's order.
  std::vector<Pair> bridges;
  bool connected() const { return components.size() <= 1; }
};

// The connectivity of the network (one enumeration of its pairs; the
// bridges O(n^2) in time and O(n) in memory in the points). Should the
// distances leave some parts with no finite bridge, the bridges join what
// they can (fewer than components - 1).
Connectivity connectivity(const PairNetwork& network);

}  // namespace bperp::stack
