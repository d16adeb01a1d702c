#include "bperp/stack/network/delaunay.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <tuple>

namespace bperp::stack {

namespace {

// Products of four lattice differences (each below 2^30) need 120 bits.
__extension__ typedef __int128 Wide;

// The lattice's steps across the larger side of the bounding box: with
// differences below 2^30, every in-circle determinant fits in Wide.
constexpr double lattice_steps = 536870911.0;  // 2^29 - 1

struct LatticePoint {
  std::int64_t x = 0, y = 0;
  std::size_t point = 0;  // index into the caller's points
};

// Twice the signed area of the triangle a b c: > 0 when counter-clockwise,
// 0 when on one line.
Wide orientation(const LatticePoint& a, const LatticePoint& b, const LatticePoint& c) {
  return Wide(b.x - a.x) * Wide(c.y - a.y) - Wide(b.y - a.y) * Wide(c.x - a.x);
}

// > 0 when d lies strictly inside the circle through the counter-clockwise
// triangle a b c, 0 on it, < 0 outside.
Wide in_circle(const LatticePoint& a, const LatticePoint& b, const LatticePoint& c, const LatticePoint& d) {
  const Wide adx = a.x - d.x, ady = a.y - d.y;
  const Wide bdx = b.x - d.x, bdy = b.y - d.y;
  const Wide cdx = c.x - d.x, cdy = c.y - d.y;
  return (adx * adx + ady * ady) * (bdx * cdy - cdx * bdy) + (bdx * bdx + bdy * bdy) * (cdx * ady - adx * cdy) +
         (cdx * cdx + cdy * cdy) * (adx * bdy - bdx * ady);
}

// The points on the lattice, ranked by x, y, name and index.
std::vector<LatticePoint> lattice_points(const std::vector<NetworkPoint>& points, const DistanceScale& scale) {
  const std::size_t n = points.size();
  if (n == 0) return {};
  std::vector<double> x(n), y(n);
  for (std::size_t i = 0; i < n; ++i) {
    x[i] = static_cast<double>(points[i].day.value_or(0)) / scale.days;
    y[i] = points[i].perpendicular / scale.metres;
  }
  const auto [min_x, max_x] = std::minmax_element(x.begin(), x.end());
  const auto [min_y, max_y] = std::minmax_element(y.begin(), y.end());
  const double span = std::max(*max_x - *min_x, *max_y - *min_y);
  const double step = span > 0.0 ? lattice_steps / span : 0.0;
  std::vector<LatticePoint> lattice(n);
  for (std::size_t i = 0; i < n; ++i)
    lattice[i] = {std::llround((x[i] - *min_x) * step), std::llround((y[i] - *min_y) * step), i};
  std::sort(lattice.begin(), lattice.end(), [&](const LatticePoint& a, const LatticePoint& b) {
    return std::tie(a.x, a.y, points[a.point].name, a.point) < std::tie(b.x, b.y, points[b.point].name, b.point);
  });
  return lattice;
}

// A triangulation of distinct lattice points (by rank), grown point by point
// in rank order and then made Delaunay by flipping edges.
class Triangulation {
 public:
  explicit Triangulation(const std::vector<LatticePoint>& p) : p_(p) {}

  // Triangulates points 0 .. n - 1, which are not all on one line.
  void build() {
    const std::size_t n = p_.size();
    std::size_t k = 2;
    while (orientation(p_[0], p_[1], p_[k]) == 0) ++k;
    // Points 0 .. k - 1 lie on one line, in order along it; k off it.
    const bool left = orientation(p_[0], p_[1], p_[k]) > 0;
    next_.assign(n, 0);
    prev_.assign(n, 0);
    for (std::size_t i = 0; i + 1 < k; ++i) {
      if (left) add_triangle(i, i + 1, k);
      else add_triangle(i + 1, i, k);
    }
    // The hull, counter-clockwise.
    std::vector<std::size_t> hull;
    if (left) {
      for (std::size_t i = 0; i < k; ++i) hull.push_back(i);
      hull.push_back(k);
    } else {
      hull.push_back(0);
      hull.push_back(k);
      for (std::size_t i = k - 1; i >= 1; --i) hull.push_back(i);
    }
    for (std::size_t h = 0; h < hull.size(); ++h) {
      next_[hull[h]] = hull[(h + 1) % hull.size()];
      prev_[hull[(h + 1) % hull.size()]] = hull[h];
    }
    for (std::size_t q = k + 1; q < n; ++q) add_outside(q, q - 1);
    make_delaunay();
  }

  // Every edge once, as ranks (smaller first).
  std::vector<std::pair<std::size_t, std::size_t>> edges() const {
    std::vector<std::pair<std::size_t, std::size_t>> out;
    for (const auto& [edge, triangle] : edge_triangle_)
      if (edge.first < edge.second || !edge_triangle_.contains({edge.second, edge.first}))
        out.emplace_back(std::min(edge.first, edge.second), std::max(edge.first, edge.second));
    return out;
  }

 private:
  using Edge = std::pair<std::size_t, std::size_t>;
  using Triangle = std::array<std::size_t, 3>;  // counter-clockwise

  void add_triangle(std::size_t a, std::size_t b, std::size_t c) { set_triangle(triangles_.size(), {a, b, c}); }

  void set_triangle(std::size_t t, const Triangle& v) {
    if (t == triangles_.size()) triangles_.push_back(v);
    else triangles_[t] = v;
    for (int e = 0; e < 3; ++e) edge_triangle_[{v[e], v[(e + 1) % 3]}] = t;
  }

  void remove_edges(const Triangle& v) {
    for (int e = 0; e < 3; ++e) edge_triangle_.erase({v[e], v[(e + 1) % 3]});
  }

  // Point q, outside the hull and ranked above every point in it, joined to
  // every hull edge it sees, starting at the last point added (a hull
  // vertex, which sees q across one of its edges).
  void add_outside(std::size_t q, std::size_t last) {
    std::size_t first = last, end = last;
    while (orientation(p_[end], p_[next_[end]], p_[q]) < 0) {
      add_triangle(next_[end], end, q);
      end = next_[end];
    }
    while (orientation(p_[prev_[first]], p_[first], p_[q]) < 0) {
      add_triangle(first, prev_[first], q);
      first = prev_[first];
    }
    next_[first] = q;
    prev_[q] = first;
    next_[q] = end;
    prev_[end] = q;
  }

  // The vertex of triangle t that is neither a nor b.
  std::size_t third(std::size_t t, std::size_t a, std::size_t b) const {
    for (const std::size_t v : triangles_[t])
      if (v != a && v != b) return v;
    return a;
  }

  // Whether the edge u v between the triangles u v c and v u d should be
  // the diagonal c d instead: d strictly inside the circle through u v c,
  // or on it with the lowest rank of the four at c or d.
  bool should_flip(std::size_t u, std::size_t v, std::size_t c, std::size_t d) const {
    const Wide inside = in_circle(p_[u], p_[v], p_[c], p_[d]);
    if (inside != 0) return inside > 0;
    return std::min(c, d) < std::min(u, v);
  }

  // Lawson's flips until every inner edge is locally Delaunay.
  void make_delaunay() {
    std::vector<Edge> pending;
    for (const auto& [edge, triangle] : edge_triangle_)
      if (edge.first < edge.second) pending.push_back(edge);
    while (!pending.empty()) {
      const auto [u, v] = pending.back();
      pending.pop_back();
      const auto one = edge_triangle_.find({u, v}), other = edge_triangle_.find({v, u});
      if (one == edge_triangle_.end() || other == edge_triangle_.end()) continue;
      const std::size_t t1 = one->second, t2 = other->second;
      const std::size_t c = third(t1, u, v), d = third(t2, u, v);
      if (!should_flip(u, v, c, d)) continue;
      remove_edges(triangles_[t1]);
      remove_edges(triangles_[t2]);
      set_triangle(t1, {c, u, d});
      set_triangle(t2, {d, v, c});
      pending.insert(pending.end(), {{u, d}, {d, v}, {v, c}, {c, u}});
    }
  }

  const std::vector<LatticePoint>& p_;
  std::vector<Triangle> triangles_;
  std::map<Edge, std::size_t> edge_triangle_;  // each directed edge of a triangle: the triangle
  std::vector<std::size_t> next_, prev_;       // the hull, counter-clockwise
};

}  // namespace

std::vector<std::pair<std::size_t, std::size_t>> delaunay_edges(const std::vector<NetworkPoint>& points,
                                                                const DistanceScale& scale) {
  std::vector<std::pair<std::size_t, std::size_t>> edges;
  const auto join = [&](std::size_t i, std::size_t j) { edges.emplace_back(std::min(i, j), std::max(i, j)); };
  // Repeated points chained in rank order; the first of each stands for
  // them.
  std::vector<LatticePoint> distinct;
  std::size_t last_repeat = 0;
  for (const LatticePoint& q : lattice_points(points, scale)) {
    if (!distinct.empty() && distinct.back().x == q.x && distinct.back().y == q.y) {
      join(last_repeat, q.point);
    } else {
      distinct.push_back(q);
    }
    last_repeat = q.point;
  }
  const std::size_t n = distinct.size();
  std::size_t off_line = 2;
  while (off_line < n && orientation(distinct[0], distinct[1], distinct[off_line]) == 0) ++off_line;
  if (off_line >= n) {
    // All on one line (or fewer than three): the chain along it.
    for (std::size_t k = 1; k < n; ++k) join(distinct[k - 1].point, distinct[k].point);
  } else {
    Triangulation t(distinct);
    t.build();
    for (const auto& [a, b] : t.edges()) join(distinct[a].point, distinct[b].point);
  }
  std::sort(edges.begin(), edges.end());
  return edges;
}

}  // namespace bperp::stack
