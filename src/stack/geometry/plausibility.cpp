#include "bperp/stack/geometry/plausibility.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "bperp/earth/earth_model.h"
#include "bperp/numeric/units.h"
#include "bperp/numeric/vec3.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

// The GRS80 ellipsoid of the earth-model table.
constexpr int grs80_model = 1;
constexpr double thousand = 1000.0;
constexpr int angle_decimals = 2;  // degrees in the words
constexpr int time_decimals = 3;   // seconds in the words

// Height above the ellipsoid along the geocentric direction, km: within a
// few km of the geodetic height, plenty for bounds of hundreds of km.
double height_of(const double* r) {
  double record[subpoint::size];
  earth_r1(r[0], r[1], r[2], record, grs80_model);
  return norm(r) - record[subpoint::radius];
}

// Whether every position distance km from the centre lies within the
// heights of a SAR, whatever its direction: the ellipsoid's radius lies
// between its polar and its equatorial semi-axis (GRS80, km), so that the
// height lies between distance - a and distance - b (1 km kept for
// rounding). When false, height_of decides.
bool within_sar_heights_anywhere(double distance) {
  constexpr double equatorial = 6378.137, polar = 6356.752314140355, margin = 1.0;
  return distance - equatorial - margin >= min_sar_height && distance - polar + margin <= max_sar_height;
}

std::string km_text(double km) { return fixed_text(km, km < 10.0 ? 3 : 1) + " km"; }

}  // namespace

std::string implausible_state(const StateVector& state) {
  const double* r = state.position;
  const double* v = state.velocity;
  if (!all_finite(r) || !all_finite(v)) return "the state vector holds a number that is not finite";
  const double distance = norm(r);
  if (distance == 0.0) return "the position is the earth's centre (a file of zeros?)";
  if (!within_sar_heights_anywhere(distance)) {
    const double h = height_of(r);
    if (h < min_sar_height)
      return "the position is " + km_text(h) + " above the ellipsoid" +
             (h < 0.0 ? " (inside the earth)" : "") + "; no SAR flies below " +
             fixed_text(min_sar_height, 0) + " km";
    if (h > max_sar_height) {
      const double as_metres = distance / thousand;
      const bool metres = as_metres > 6378.137 + min_sar_height && as_metres < 6378.137 + max_sar_height;
      return "the position is " + km_text(h) + " above the ellipsoid; no SAR flies above " +
             fixed_text(max_sar_height, 0) + " km" +
             (metres ? " (are the positions in metres rather than km?)" : "");
    }
  }
  const double speed = norm(v);
  if (speed < min_sar_speed || speed > max_sar_speed) {
    const bool metres = speed / thousand >= min_sar_speed && speed / thousand <= max_sar_speed;
    return "the speed is " + fixed_text(speed, 3) + " km/s; a SAR moves at " +
           fixed_text(min_sar_speed, 1) + " to " + fixed_text(max_sar_speed, 1) + " km/s" +
           (metres ? " (are the velocities in m/s rather than km/s?)" : "");
  }
  return {};
}

std::string other_direction(const double* reference_velocity, const double* secondary_velocity) {
  const double a = norm(reference_velocity), b = norm(secondary_velocity);
  if (!(a > 0.0) || !(b > 0.0) || !std::isfinite(a) || !std::isfinite(b))
    return "its velocity or the reference's is zero or not finite";
  // The angle from the cross and the dot products: accurate near 0 as near 180 degrees.
  double w[3];
  cross(reference_velocity, secondary_velocity, w);
  const double angle = std::atan2(norm(w), dot(reference_velocity, secondary_velocity));
  if (angle <= max_velocity_turn) return {};
  return "its velocity points " + fixed_text(units::degrees(angle), angle_decimals) +
         " degrees away from the reference's (a repeat pass: within " +
         fixed_text(units::degrees(max_velocity_turn), 0) +
         " degree): another track, or an ascending and a descending pass?";
}

// Empty unless two neighbouring rows of orbit stand much closer in time
// than its rows do as a rule (less than 1/max_spacing_ratio of the median
// spacing): the interpolation through such a pair is ill-conditioned, the
// least disagreement between the two rows becomes a large bend of the curve,
// and its error estimate, built on the same pair, does not see it. Orbit
// products are sampled evenly (a merge of two files at most halves a gap).
namespace {
std::string uneven_rows(const Orbit& orbit, const std::vector<std::uint32_t>* row_lines) {
  if (orbit.size() < 3) return {};
  std::vector<double> gaps;
  gaps.reserve(orbit.size() - 1);
  for (std::size_t i = 0; i + 1 < orbit.size(); ++i) gaps.push_back(orbit[i + 1].t - orbit[i].t);
  std::vector<double> sorted = gaps;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
  const double median = sorted[sorted.size() / 2];
  for (std::size_t i = 0; i < gaps.size(); ++i)
    if (gaps[i] * max_spacing_ratio < median)
      return row_label(i, row_lines) + " and " + row_label(i + 1, row_lines) + " are " + fixed_text(gaps[i], time_decimals) +
             " s apart, against " + fixed_text(median, time_decimals) +
             " s between the orbit's rows as a rule: an interpolation through them is not to be trusted (a row "
             "repeated or misplaced?)";
  return {};
}
}  // namespace

std::string implausible_orbit(const Orbit& orbit, const std::vector<std::uint32_t>* row_lines) {
  for (std::size_t i = 0; i < orbit.size(); ++i) {
    const std::string why = implausible_state(orbit[i].state);
    if (!why.empty()) return row_label(i, row_lines) + ": " + why;
  }
  for (std::size_t i = 0; i + 1 < orbit.size(); ++i) {
    const OrbitRow& a = orbit[i];
    const OrbitRow& b = orbit[i + 1];
    const double dt = b.t - a.t;
    double moved[3], expected[3], miss[3];
    for (int k = 0; k < 3; ++k) {
      moved[k] = b.state.position[k] - a.state.position[k];
      expected[k] = 0.5 * (a.state.velocity[k] + b.state.velocity[k]) * dt;
      miss[k] = moved[k] - expected[k];
    }
    if (norm(miss) > max_row_mismatch * norm(moved)) {
      const double ratio = norm(moved) / norm(expected);
      const char* cause = ratio > 1.0 ? " (is the time column in days or minutes rather than seconds?)"
                                      : " (is the time column in milliseconds rather than seconds?)";
      return "the velocities do not match the change of position from " + row_label(i, row_lines) +
             " to " + row_label(i + 1, row_lines) + ": the position moves " + km_text(norm(moved)) +
             " in " + round_trip_text(dt) + " s, the velocities say " + km_text(norm(expected)) +
             cause;
    }
  }
  return uneven_rows(orbit, row_lines);
}

}  // namespace bperp::stack
