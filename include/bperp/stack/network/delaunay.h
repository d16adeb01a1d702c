// The Delaunay triangulation of a stack's acquisitions in the plane of days
// and perpendicular baseline, each axis over its scale: the small-baseline
// network whose triangles are as close to equilateral as the acquisitions
// allow, each pair joining acquisitions near in both time and baseline.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "bperp/stack/network/pairs.h"

namespace bperp::stack {

// The edges of the Delaunay triangulation of the points at (day / scale.days,
// perpendicular / scale.metres) (undated points at day 0), each edge as
// (smaller index, larger index), sorted.
//
// The positions are first put on an integer lattice of 2^29 steps across
// the larger side of the points' bounding box (a uniform scaling, which
// leaves the triangulation as it is), so that every orientation and
// in-circle test is exact. Then, with the points ranked by lattice x (time),
// then y (baseline), then name, then index:
//  - points on one lattice position (repeated points) are joined in that
//    order, a chain, and the first of them stands for all in the rest;
//  - points all on one line give the chain along it in that order;
//  - four points on one circle, where either diagonal would do, take the
//    diagonal from the lowest-ranked of the four (the earliest in time).
// The result depends on the points' positions and names, never on the
// order they are given in. O(n log n) for most stacks, O(n^2) at worst, in
// time; O(n) in memory.
std::vector<std::pair<std::size_t, std::size_t>> delaunay_edges(const std::vector<NetworkPoint>& points,
                                                                const DistanceScale& scale);

}  // namespace bperp::stack
