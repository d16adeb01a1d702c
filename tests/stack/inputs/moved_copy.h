// The check of a product against a copy of itself with its orbit moved (a
// fixed earth-fixed offset added to every position, a date some whole days
// later): the baseline the run prints against one worked out here on the
// file's own vectors, independently of the code under test (a cubic Hermite
// curve between the two vectors around each time, a bisection for the
// secondary's zero Doppler), and the real samples' folder.
//
// Frame: earth-fixed. Units: m, m/s, s.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "stack_test_support.h"

namespace moved_copy {

using Vec = std::array<double, 3>;

// The real samples beside the project (its README says what each holds):
// the folder, or "" when it is absent.
inline std::string shared_data(const std::string& folder) {
  const std::filesystem::path dir = std::filesystem::path(BPERP_SOURCE_DIR) / ".." / "shared" / "data" / folder;
  return std::filesystem::is_directory(dir) ? dir.lexically_normal().string() + "/" : std::string();
}

// Declares the string `var`, the samples' folder `folder`, and ends the test
// when it is absent: skipped with a message, failed where CI is set.
#define REQUIRE_SHARED_DATA(var, folder)                                                      \
  const std::string var = moved_copy::shared_data(folder);                                  \
  if (var.empty()) {                                                                        \
    if (std::getenv("CI") != nullptr) FAIL() << "../shared/data/" << folder << " is missing"; \
    GTEST_SKIP() << "../shared/data/" << folder << " is absent: the real sample is not read"; \
  }

// An orbit as a file gives it: times (s on any scale), positions (m) and
// velocities (m/s).
struct Vectors {
  std::vector<double> t;
  std::vector<Vec> position, velocity;
};

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
  std::size_t k = 0;
  while (k + 2 < o.t.size() && o.t[k + 1] <= t) ++k;
  const double h = o.t[k + 1] - o.t[k], s = (t - o.t[k]) / h;
  const double h00 = 2 * s * s * s - 3 * s * s + 1, h10 = s * s * s - 2 * s * s + s;
  const double h01 = -2 * s * s * s + 3 * s * s, h11 = s * s * s - s * s;
  const double d00 = (6 * s * s - 6 * s) / h, d10 = 3 * s * s - 4 * s + 1;
  const double d01 = (-6 * s * s + 6 * s) / h, d11 = 3 * s * s - 2 * s;
  Vec p{}, v{};
  for (int i = 0; i < 3; ++i) {
    p[i] = h00 * o.position[k][i] + h10 * h * o.velocity[k][i] + h01 * o.position[k + 1][i] +
           h11 * h * o.velocity[k + 1][i];
    v[i] = d00 * o.position[k][i] + d10 * o.velocity[k][i] + d01 * o.position[k + 1][i] + d11 * o.velocity[k + 1][i];
  }
  return {p, v};
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
