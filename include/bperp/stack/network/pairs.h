// The pair network of a stack: which interferograms to form, chosen by
// perpendicular and temporal baseline.
//
// A pair's perpendicular baseline is the difference of its two members'
// perpendicular baselines against the reference geometry (the usual
// approximation of stack tools: the look direction of the reference is taken
// for every pair). The pair (i, j) with i the earlier acquisition has
// B_perp(i, j) = B_perp(j) - B_perp(i), the baseline of i as master and j as
// slave in the sign convention of B = master - slave.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "bperp/stack/geometry/stack_run.h"

namespace bperp::stack {

// One acquisition of the network: the reference (perpendicular 0) or a
// usable secondary.
struct NetworkPoint {
  std::string name;
  std::optional<long> day;     // days since 1970-01-01
  double perpendicular = 0.0;  // m, against the reference geometry
  bool reference = false;
};

// The limits of the selection; a missing limit does not limit.
struct PairLimits {
  std::optional<double> max_perpendicular;  // m, |B_perp(i, j)| at most this
  std::optional<long> max_days;             // |days(i, j)| at most this
  std::optional<int> max_neighbours;        // at most this many pairs per acquisition
};

// One pair: indices into the points, first the earlier one (or, without
// dates, the one given first).
struct Pair {
  std::size_t first = 0;
  std::size_t second = 0;
  double perpendicular = 0.0;  // m, B_perp(second) - B_perp(first)
  std::optional<long> days;    // day(second) - day(first), >= 0
};

// The reference first, then every usable secondary in the order given.
std::vector<NetworkPoint> network_points(const StackRun& run);

// True when every point has a date.
bool all_dated(const std::vector<NetworkPoint>& points);

// The pairs within the limits, enumerated without being held: a stack of
// n acquisitions has up to n (n - 1) / 2 of them (two million for 2,000),
// and every output writes them as they come.
//
// A pair is within the limits when its perpendicular baseline, compared at
// the millimetre the outputs show (a pair printed as 150.000 m is within
// 150 m), and its days (whole) are at most the limits. With max_neighbours
// N, each acquisition ranks its candidates (the pairs within the other
// limits) by time apart (the earlier partner first on a tie, then the order
// given) and a pair is kept only when each member has the other among its
// N nearest, so no acquisition is in more than N pairs. max_days and
// max_neighbours need dates on every point (without them they select
// nothing). The order: by the first member's date, then the second's (by
// the order given without dates).
class PairNetwork {
 public:
  // points must outlive the network.
  PairNetwork(const std::vector<NetworkPoint>& points, const PairLimits& limits);

  // Calls visit(pair) for every pair, in order. Memory: the points' order
  // and, with max_neighbours, N partners per point; time O(n^2).
  template <typename Visit>
  void for_each(Visit&& visit) const {
    const std::size_t n = order_.size();
    for (std::size_t a = 0; a < n; ++a)
      for (std::size_t b = a + 1; b < n; ++b)
        if (keep(order_[a], order_[b])) visit(make_pair(order_[a], order_[b]));
  }

  // The number of pairs (one enumeration).
  std::size_t count() const;

 private:
  bool keep(std::size_t i, std::size_t j) const;
  Pair make_pair(std::size_t first, std::size_t second) const;

  const std::vector<NetworkPoint>& points_;
  PairLimits limits_;
  bool dated_ = false;
  bool none_ = false;                           // a limit that needs dates without them
  std::vector<std::size_t> order_;              // the points in the network's order
  std::vector<std::vector<std::size_t>> near_;  // with max_neighbours: each point's N nearest
};

// Every pair of the network, held in a vector (for small stacks and tests).
std::vector<Pair> select_pairs(const std::vector<NetworkPoint>& points, const PairLimits& limits);

}  // namespace bperp::stack
