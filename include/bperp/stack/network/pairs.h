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

#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bperp/stack/run/stack_run.h"
#include "bperp/stack/network/coherence.h"
#include "bperp/stack/network/sensors.h"

namespace bperp::stack {

// One acquisition of the network: the reference (perpendicular 0) or a
// usable secondary.
struct NetworkPoint {
  std::string name;
  std::optional<long> day;     // days since 1970-01-01
  double perpendicular = 0.0;  // m, against the reference geometry
  bool reference = false;
  double doppler_centroid = NAN;  // Hz, at the target, when known
};

// The scales of the network's distance between two acquisitions, with
// which --mst, --delaunay, the bridges of a split network and the choice of
// a reference weigh time against perpendicular baseline (--distance-scale):
// by default sqrt((days / 100)^2 + (B_perp / 100 m)^2), so that 100 days
// apart weighs as much as 100 m, about the limits commonly set for C-band
// small-baseline networks.
struct DistanceScale {
  double days = 100.0;    // > 0
  double metres = 100.0;  // > 0
};

// The limits of the selection; a missing limit does not limit.
struct PairLimits {
  std::optional<double> max_perpendicular;  // m, |B_perp(i, j)| at most this
  std::optional<long> max_days;             // |days(i, j)| at most this
  std::optional<int> max_neighbours;        // at most this many pairs per acquisition
  std::optional<int> sequential;            // each acquisition with its next N in time
  bool annual = false;                      // pairs a whole number of years apart
  bool mst = false;                         // a minimum spanning tree over all acquisitions
  std::optional<double> min_coherence;      // the modelled coherence at least this
  bool star = false;                        // every acquisition with the reference
  bool delaunay = false;                    // the Delaunay triangulation (network/delaunay.h)
  bool listed = false;                      // the pairs of a list (PairNetwork's listed), even none
  DistanceScale scale;                      // of --mst, --delaunay and the bridges
};

// Pairs given by index into the points (a pair list read back), each
// (smaller index, larger index).
using IndexPairs = std::vector<std::pair<std::size_t, std::size_t>>;

// How far from a whole number of years (365.25 days) an --annual pair may
// be, days: a month either way, so that a pair of the same season is found
// with the 6 to 46 days between repeat passes of the sensors in use.
constexpr double annual_tolerance_days = 30.0;

// The network's distance between points i and j (dimensionless): days
// apart over scale.days and perpendicular baselines apart over
// scale.metres, combined as a length; the days count 0 without dates.
double network_distance(const std::vector<NetworkPoint>& points, std::size_t i, std::size_t j,
                        const DistanceScale& scale = {});

// One pair: indices into the points, first the earlier one (or, without
// dates, the one given first).
struct Pair {
  std::size_t first = 0;
  std::size_t second = 0;
  double perpendicular = 0.0;  // m, B_perp(second) - B_perp(first)
  std::optional<long> days;    // day(second) - day(first), >= 0
  double height_of_ambiguity = NAN;  // m, of the pair's perpendicular baseline
  double coherence = NAN;            // the model's, NaN when it lacks a bandwidth or a date
};

// The modelled coherence of points i and j (their Doppler centroids'
// difference, when both are known).
double pair_coherence(const std::vector<NetworkPoint>& points, std::size_t i, std::size_t j,
                      const PairModel& model);

// The bandwidths a stack's products do not give: --range-bandwidth and
// --azimuth-bandwidth (Hz), else those of --sensor.
struct BandwidthOptions {
  std::optional<double> range_hz;
  std::optional<double> azimuth_hz;
  std::optional<SensorPreset> sensor;
};

// The coherence model of a run: the reference's wavelength, slant range and
// incidence at its target; the bandwidths of the reference product where it
// gives them, else of options; the Doppler term 1 for a Sentinel-1 TOPS
// reference (IW, EW).
CoherenceModel coherence_model(const StackRun& run, const BandwidthOptions& options,
                               const CoherenceParameters& parameters);

// The reference first, then every usable secondary in the order given,
// their perpendicular baselines times perpendicular_sign (-1 for a
// convention of the other sign, geometry/convention.h).
std::vector<NetworkPoint> network_points(const StackRun& run, double perpendicular_sign = 1.0);

// True when every point has a date.
bool all_dated(const std::vector<NetworkPoint>& points);

// The pairs of the network, enumerated without being held: a stack of n
// acquisitions has up to n (n - 1) / 2 of them (two million for 2,000), and
// every output writes them as they come.
//
// The candidates are the pairs within the limits: their perpendicular
// baseline, compared at the millimetre the outputs show (a pair printed as
// 150.000 m is within 150 m), and their days (whole) at most --max-perp and
// --max-days (all pairs when neither is given). Among the candidates:
//  - with max_neighbours N, each acquisition ranks its candidates by time
//    apart (the earlier partner first on a tie, then the order given) and a
//    pair is kept when each member has the other among its N nearest;
//  - with sequential N, each acquisition keeps its next N candidates in
//    time;
//  - with star, each candidate that has the reference as a member;
//  - with delaunay, each candidate that is an edge of the Delaunay
//    triangulation (delaunay_edges under limits.scale);
//  - with listed pairs, each candidate among them;
//  - with several of those, the pairs any keeps; with none, every
//    candidate.
// To those are added, when asked for:
//  - annual: the pairs a whole number of years apart (within
//    annual_tolerance_days) within --max-perp, whatever --max-days says;
//  - mst: the minimum spanning tree over all acquisitions by
//    network_distance, without any limit, so that the network always
//    connects.
// The network is the union. max_days, max_neighbours, sequential, annual and
// delaunay need dates on every point (without them those select nothing). The order:
// by the first member's date, then the second's (by the order given
// without dates).
class PairNetwork {
 public:
  // The pairs limits selects, their coherence (and min_coherence) by model.
  // points must outlive the network.
  // listed: pairs of a list read back, chosen like the other kinds.
  PairNetwork(const std::vector<NetworkPoint>& points, const PairLimits& limits, const CoherenceModel& model,
              IndexPairs listed = {});
  // A network of no pairs: the points alone, in the network's order, for a
  // stack whose pairs are not asked for (its plot and exports draw on the
  // points and the model).
  static PairNetwork without_pairs(const std::vector<NetworkPoint>& points, const CoherenceModel& model);

  // Calls visit(pair) for every pair, in order. Memory: the points' order
  // and, with the choosers, N partners per point; time O(n^2), each pair
  // told in constant time (with max_neighbours and sequential, a binary
  // search among the N partners).
  template <typename Visit>
  void for_each(Visit&& visit) const {
    for_each_index([&](std::size_t first, std::size_t second) { visit(make_pair(first, second)); });
  }
  // Calls visit(first, second) with the points' indices of every pair, in
  // order, without working out the pair's values (for what needs only some
  // of them).
  template <typename Visit>
  void for_each_index(Visit&& visit) const {
    const std::size_t n = order_.size();
    for (std::size_t a = 0; a < n; ++a)
      for (std::size_t b = a + 1; b < n; ++b)
        if (every_pair_ || keep(order_[a], order_[b])) visit(order_[a], order_[b]);
  }

  // The number of pairs (one enumeration).
  std::size_t count() const;

  const std::vector<NetworkPoint>& points() const { return points_; }
  const CoherenceModel& model() const { return model_.model(); }
  const DistanceScale& scale() const { return limits_.scale; }
  // The shared factors of the model as the pairs use them (pair_coherence).
  const PairModel& pair_model() const { return model_; }
  // Whether every point has a date (every pair then has its days).
  bool dated() const { return dated_; }
  // The points in the network's order, and each point's place in it.
  const std::vector<std::size_t>& order() const { return order_; }
  std::size_t rank(std::size_t point) const { return rank_[point]; }
  // The pair of points i and j as the network orients it.
  Pair make_pair(std::size_t first, std::size_t second) const {
    Pair p;
    p.first = first;
    p.second = second;
    p.perpendicular = points_[second].perpendicular - points_[first].perpendicular;
    if (dated_) p.days = *points_[second].day - *points_[first].day;
    p.height_of_ambiguity = model_.height_of_ambiguity(p.perpendicular);
    if (model_.gives_coherence()) p.coherence = pair_coherence(points_, first, second, model_);
    return p;
  }

 private:
  bool keep(std::size_t i, std::size_t j) const;
  bool chosen(std::size_t i, std::size_t j) const;

  const std::vector<NetworkPoint>& points_;
  PairLimits limits_;
  PairModel model_;
  bool any_pairs_ = true;  // false: a network without pairs
  bool every_pair_ = false;  // no limit and no chooser: every pair kept, told at once
  bool dated_ = false;
  std::vector<std::size_t> order_;              // the points in the network's order
  std::vector<std::size_t> rank_;               // each point's place in order_
  std::vector<std::vector<std::size_t>> near_;  // with max_neighbours: each point's N nearest
  std::vector<std::vector<std::size_t>> next_;  // with sequential: each point's next N
  // With mst: each point's parent in the spanning forest (itself for a
  // tree's root), so that whether a pair is an edge of it is told at once.
  std::vector<std::size_t> tree_parent_;
  IndexPairs chosen_;  // with delaunay or listed pairs: their pairs, sorted
};

// Every pair of the network, held in a vector (for small stacks and tests).
std::vector<Pair> select_pairs(const std::vector<NetworkPoint>& points, const PairLimits& limits,
                               const CoherenceModel& model = {});

}  // namespace bperp::stack
