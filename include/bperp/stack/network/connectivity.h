// Whether a pair network holds together: its connected parts and, for a
// network split into parts (which breaks a small-baseline time-series
// inversion), the shortest extra pairs that would join them.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "bperp/stack/network/pairs.h"

namespace bperp::stack {

// What a network amounts to, for its report: its size, how evenly the pairs
// spread over the acquisitions and how far its pairs reach.
struct NetworkSummary {
  std::size_t acquisitions = 0;
  std::size_t pairs = 0;
  std::size_t pairs_per_acquisition_min = 0;   // the fewest pairs any acquisition is in
  double pairs_per_acquisition_mean = 0.0;     // 2 pairs / acquisitions (0 without acquisitions)
  std::optional<double> max_abs_perpendicular;  // m; none without pairs
  std::optional<long> max_abs_days;             // none without pairs or without dates
  std::optional<double> mean_coherence;         // the model's; none without pairs or with a pair it can't give
};

struct Connectivity {
  // The connected parts, each its points in the network's order, the parts
  // ordered by their first point.
  std::vector<std::vector<std::size_t>> components;
  // For a split network, components - 1 pairs that join every part: the
  // minimum spanning tree of the parts under network_distance, each bridge
  // the closest pair of points between the two parts it joins; in the
  // network's order.
  std::vector<Pair> bridges;
  NetworkSummary summary;
  bool connected() const { return components.size() <= 1; }
};

// The connectivity of the network and its summary (one enumeration of its
// pairs; the bridges O(n^2) in time and O(n) in memory in the points), the
// bridges by network_distance under the network's scale. Should the
// distances leave some parts with no finite bridge, the bridges join what
// they can (fewer than components - 1).
Connectivity connectivity(const PairNetwork& network);

}  // namespace bperp::stack
