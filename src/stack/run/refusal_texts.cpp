#include "bperp/stack/run/refusal_texts.h"

#include <cmath>
#include <vector>

#include "bperp/numeric/units.h"
#include "bperp/stack/geometry/plausibility.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

RefusalKind refusal_kind(AlignStatus status) {
  switch (status) {
    case AlignStatus::too_few_rows:
      return RefusalKind::malformed;
    case AlignStatus::before_span:
    case AlignStatus::after_span:
    case AlignStatus::not_bracketed:
      return RefusalKind::outside_orbit;
    case AlignStatus::ok:
    case AlignStatus::not_converged:
    case AlignStatus::not_finite:
      break;
  }
  return RefusalKind::implausible;
}

RefusalKind refusal_kind(ZeroDopplerStatus status) {
  switch (status) {
    case ZeroDopplerStatus::too_few_rows:
      return RefusalKind::malformed;
    case ZeroDopplerStatus::outside_span:
    case ZeroDopplerStatus::no_closest_approach:
      return RefusalKind::outside_orbit;
    case ZeroDopplerStatus::too_short:
    case ZeroDopplerStatus::out_of_reach:
    case ZeroDopplerStatus::beyond_horizon:
      return RefusalKind::outside_image;
    case ZeroDopplerStatus::bad_point:
      return RefusalKind::option;
    case ZeroDopplerStatus::ok:
    case ZeroDopplerStatus::not_finite:
    case ZeroDopplerStatus::no_zero_doppler_plane:
    case ZeroDopplerStatus::not_converged:
    case ZeroDopplerStatus::no_line_of_sight:
      break;
  }
  return RefusalKind::implausible;
}

RefusalKind refusal_kind(ShiftStatus status) {
  return status == ShiftStatus::too_far || status == ShiftStatus::farthest ? RefusalKind::other_track
                                                                           : RefusalKind::implausible;
}

std::string length_text(double km) {
  const double m = km * units::metres_per_km;
  return m < 1.0 ? fixed_text(m * 100.0, 1) + " cm" : fixed_text(m, 3) + " m";
}

Refusal shift_failure(const Acquisition& a, const TimeShift& shift, const double* P) {
  const double* S = a.state.position;
  const double d[3] = {S[0] - P[0], S[1] - P[1], S[2] - P[2]};
  const std::string away = fixed_text(std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]), 3);
  std::string why;
  switch (shift.status) {
    case ShiftStatus::too_far:
      why = "the state vector stands " + away +
            " km from the reference position and passes closest to it more than " +
            fixed_text(max_time_shift, 0) +
            " s along its orbit: not a pass of the reference's place (another track or satellite?)";
      break;
    case ShiftStatus::farthest:
      why = "the state vector stands " + away +
            " km from the reference position, on the far side of its orbit from it: not a pass of the "
            "reference's place (another track or satellite?)";
      break;
    case ShiftStatus::not_converged:
      why = "the search along its orbit for the closest approach to the reference did not settle";
      break;
    case ShiftStatus::not_finite:
      why = "the closest approach to the reference along its orbit is not a finite number";
      break;
    case ShiftStatus::ok:
      why = "the state vector could not be moved along its orbit";
      break;
  }
  return {refusal_kind(shift.status), a.name + ": " + why};
}

std::optional<Refusal> shift_uncertainty(const Acquisition& a, const TimeShift& shift) {
  if (shift.error <= max_interpolation_error) return std::nullopt;
  const double longest = std::sqrt(2.0 * max_interpolation_error / unmodelled_acceleration);  // s
  return Refusal{RefusalKind::uncertain,
                 a.name + ": moving the state vector " + fixed_text(std::fabs(shift.seconds), 3) +
                     " s along its orbit to its closest approach leaves its position uncertain by " +
                     length_text(shift.error) +
                     " (the gravity beyond J2 that the propagation leaves out), more than " +
                     length_text(max_interpolation_error) + " (a shift of at most " + fixed_text(longest, 1) +
                     " s): give a state vector nearer the reference's place, or an orbit"};
}

std::optional<Refusal> flies_another_way(const Acquisition& a, const double* reference_v, const double* v) {
  const std::string turned = other_direction(reference_v, v);
  if (turned.empty()) return std::nullopt;
  return Refusal{RefusalKind::other_track, a.name + ": " + turned};
}

Refusal too_long(const Acquisition& a, double length, double max_length) {
  return {RefusalKind::too_long,
          a.name + ": the baseline is " + fixed_text(length * units::metres_per_km, 3) +
              " m long, more than --max-length " + round_trip_text(max_length * units::metres_per_km) +
              " m: not a repeat pass of the reference's track (another track or satellite?)"};
}

Refusal rows_too_far_apart(const Acquisition& a, double error, const std::string& where, bool hint) {
  return {RefusalKind::uncertain, a.name +
                                      ": the orbit's rows are too far apart for an accurate baseline: its "
                                      "interpolation at " +
                                      where + " is uncertain by " + length_text(error) + " (at most " +
                                      length_text(max_interpolation_error) +
                                      (hint ? "; rows some 10 to 60 s apart are)" : ")")};
}

namespace {

// How far outside an orbit's span the time of a point's closest approach
// is estimated, s: a tenth of a low orbit, over which the straight line
// along the end row's velocity stays within a percent of the arc.
constexpr double max_extrapolated_gap = 600.0;

// "A to B" of the orbit's first and last vectors, UTC (the epoch known).
std::string orbit_span_text(const Acquisition& a) {
  return utc_text(add_seconds(*a.epoch, a.orbit.front().t)) + " to " +
         utc_text(add_seconds(*a.epoch, a.orbit.back().t));
}

}  // namespace

std::string point_outside_text(const Acquisition& a, const Geodetic& point, bool before) {
  const OrbitRow& end = before ? a.orbit.front() : a.orbit.back();
  double T[3];
  earth_fixed_from_geodetic(point, T);
  const double* S = end.state.position;
  const double* V = end.state.velocity;
  const double d[3] = {S[0] - T[0], S[1] - T[1], S[2] - T[2]};
  // t - (S - T) . V / |V|^2: where the straight line along V passes T.
  const double gap = -(d[0] * V[0] + d[1] * V[1] + d[2] * V[2]) / (V[0] * V[0] + V[1] * V[1] + V[2] * V[2]);
  const bool near = std::fabs(gap) <= max_extrapolated_gap;
  // The estimate to the second (its fraction cut): it is good to about that.
  std::string about = utc_text(add_seconds(*a.epoch, end.t + gap));
  if (const std::size_t cut = about.find('.'); cut != std::string::npos) about = about.substr(0, cut) + "Z";
  return std::string("the point's zero-Doppler time") +
         (near ? ", about " + about + ", lies "
               : " lies more than " + fixed_text(max_extrapolated_gap, 0) + " s ") +
         (before ? "before" : "after") + " its orbit's vectors (" + orbit_span_text(a) + ")";
}

Refusal secondary_outside_orbit(const Acquisition& a, bool before,
                                const std::optional<UtcTime>& reference_time) {
  return {RefusalKind::outside_orbit,
          a.name + ": its zero-Doppler time for the target lies " + (before ? "before" : "after") +
              " its orbit's vectors (" + orbit_span_text(a) + "; the reference sees the target at " +
              (reference_time ? utc_text(*reference_time) : std::string("its own time")) + ")"};
}

std::string beam_target_text(const TargetOptions& target) {
  std::vector<std::string> given;
  if (target.at_time) given.push_back("--at-time");
  if (target.at_point) given.push_back("--at-point");
  if (target.at_range) given.push_back("--at-range");
  if (target.height) given.push_back("--height");
  if (given.empty()) return {};
  std::string names;
  for (std::size_t k = 0; k < given.size(); ++k)
    names += (k == 0 ? "" : k + 1 == given.size() ? " and " : ", ") + given[k];
  return names + (given.size() == 1 ? " needs" : " need") +
         " a product or a dated orbit as the reference: a state-vector reference has only bperp's "
         "beam geometry (no time or range)";
}

}  // namespace bperp::stack
