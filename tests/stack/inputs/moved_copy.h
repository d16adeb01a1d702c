// The check of a product against a copy of itself with its orbit moved (a
// fixed earth-fixed offset added to every position, a date some whole days
// later): the baseline the run prints against one worked out here on the
// file's own vectors, independently of the code under test (a cubic Hermite
// curve between the two vectors around each time, a bisection for the
// secondary's zero Doppler).
//
// Frame: earth-fixed. Units: m, m/s, s.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "stack_test_support.h"

namespace moved_copy {

using Vec = std::array<double, 3>;

// An orbit as a file gives it: times (s on any scale), positions (m) and
// velocities (m/s).
using Vectors = std::vector<stack_test::OrbitVector>;

// The vector at t of the positions and velocities p[3 k ..] and v[3 k ..].
inline stack_test::OrbitVector vector_at(double t, const std::vector<double>& p, const std::vector<double>& v,
                                         std::size_t k) {
  stack_test::OrbitVector o;
  o.t = t;
  for (std::size_t i = 0; i < 3; ++i) {
    o.position[i] = p[3 * k + i];
    o.velocity[i] = v[3 * k + i];
  }
  return o;
}

inline Vec plus(const Vec& a, const Vec& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
inline Vec minus(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline Vec scaled(const Vec& a, double k) { return {a[0] * k, a[1] * k, a[2] * k}; }
inline double dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline Vec cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline Vec unit(const Vec& a) { return scaled(a, 1.0 / std::sqrt(dot(a, a))); }

// Position and velocity at time t on the cubic Hermite curve through the two
// vectors around t.
inline std::pair<Vec, Vec> at(const Vectors& o, double t) {
  const stack_test::OrbitVector v = stack_test::hermite_at(o, t);
  return {Vec{v.position[0], v.position[1], v.position[2]}, Vec{v.velocity[0], v.velocity[1], v.velocity[2]}};
}

// The baseline of the copy of orbit moved by offset (m), at the target
// (m) the reference sees at zero Doppler at time t0 (on the orbit's
// scale), in the run's convention: B = R - S with S where the copy sees
// the target at zero Doppler, moved into the plane through R normal to the
// reference velocity; parallel = B . U (U from R to the target),
// perpendicular across U in that plane, positive away from the earth.
struct Baseline {
  double parallel = 0.0, perpendicular = 0.0;  // m
};
inline Baseline expected(const Vectors& orbit, double t0, const Vec& target, const Vec& offset) {
  const auto [R, V] = at(orbit, t0);
  // The copy's zero Doppler: (S(s) - T) . S'(s) = 0, by bisection over 2 s.
  const auto doppler = [&](double s) {
    const auto [p, v] = at(orbit, s);
    return dot(minus(plus(p, offset), target), v);
  };
  double lo = t0 - 1.0, hi = t0 + 1.0;
  for (int i = 0; i < 80; ++i) {
    const double mid = 0.5 * (lo + hi);
    (doppler(lo) < 0) == (doppler(mid) < 0) ? lo = mid : hi = mid;
  }
  const Vec S = plus(at(orbit, 0.5 * (lo + hi)).first, offset);
  const Vec along = unit(V);
  Vec B = minus(R, S);
  B = minus(B, scaled(along, dot(B, along)));
  const Vec U = unit(minus(target, R));
  const Vec across = minus(B, scaled(U, dot(B, U)));
  const double up = dot(across, R) >= 0 ? 1.0 : -1.0;
  return {dot(B, U), up * std::sqrt(dot(across, across))};
}

// The run's JSON of reference then secondaries (bperp-stack --format json
// ARGS...), its status 0 or 1 checked.
inline nlohmann::json run_json(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"--format", "json"};
  all.insert(all.end(), args.begin(), args.end());
  const stack_test::RunResult r = stack_test::run_stack(all);
  EXPECT_TRUE(r.status == 0 || r.status == 1) << r.err;
  return nlohmann::json::parse(r.out);
}

// The reference's target in the JSON (m, earth-fixed).
inline Vec json_target(const nlohmann::json& reference) {
  return {reference.at("x_km").get<double>() * 1000.0, reference.at("y_km").get<double>() * 1000.0,
          reference.at("z_km").get<double>() * 1000.0};
}

}  // namespace moved_copy
