#include "bperp/stack/geometry/stack_run.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include <sys/stat.h>

#include "bperp/geometry/scene_point.h"
#include "bperp/geometry/settings.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/geometry/map_grid.h"
#include "bperp/stack/geometry/plausibility.h"
#include "bperp/stack/support/escape.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

// "1.2 cm" or "3.4 m" of a length in km.
std::string length_text(double km) {
  const double m = km * units::metres_per_km;
  return m < 1.0 ? fixed_text(m * 100.0, 1) + " cm" : fixed_text(m, 3) + " m";
}

// Why a state vector (km) could not be moved to its closest approach to P.
std::string shift_failure_text(const TimeShift& shift, const StateVector& state, const double* P) {
  const double d[3] = {state.position[0] - P[0], state.position[1] - P[1], state.position[2] - P[2]};
  switch (shift.status) {
    case ShiftStatus::ok:
      return {};
    case ShiftStatus::too_far:
      return "the state vector stands " + fixed_text(std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]), 3) +
             " km from the reference position and passes closest to it more than " +
             fixed_text(max_time_shift, 0) +
             " s along its orbit: not a pass of the reference's place (another track or satellite?)";
    case ShiftStatus::not_converged:
      return "the search along its orbit for the closest approach to the reference did not settle";
    case ShiftStatus::not_finite:
      return "the closest approach to the reference along its orbit is not a finite number";
    case ShiftStatus::farthest:
      return "the state vector stands " + fixed_text(std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]), 3) +
             " km from the reference position, on the far side of its orbit from it: not a pass of the "
             "reference's place (another track or satellite?)";
  }
  return "the state vector could not be moved along its orbit";
}

// Why the state vector of a, moved along its orbit, is too uncertain to
// use, naming the file: the time moved and the estimate of the error it
// brings, against the 1 cm allowed ("" when within it).
std::string shift_uncertainty_text(const Acquisition& a, const TimeShift& shift) {
  if (shift.error <= max_interpolation_error) return {};
  const double longest = std::sqrt(2.0 * max_interpolation_error / unmodelled_acceleration);  // s
  return a.name + ": moving the state vector " + fixed_text(std::fabs(shift.seconds), 3) +
         " s along its orbit to its closest approach leaves its position uncertain by " +
         length_text(shift.error) + " (the gravity beyond J2 that the propagation leaves out), more than " +
         length_text(max_interpolation_error) + " (a shift of at most " + fixed_text(longest, 1) +
         " s): give a state vector nearer the reference's place, or an orbit";
}

// True, and r.error set naming a, when the secondary's velocity v points
// another way than the reference's reference_v (km/s, earth-fixed): no
// repeat pass (other_direction says how far and why).
bool flies_another_way(const double* reference_v, const double* v, const Acquisition& a, SecondaryResult& r) {
  const std::string turned = other_direction(reference_v, v);
  if (turned.empty()) return false;
  r.error = a.name + ": " + turned;
  return true;
}

// Why a baseline longer than --max-length is refused.
std::string too_long_text(const Acquisition& a, const SecondaryResult& r, const StackOptions& options) {
  return a.name + ": the baseline is " + fixed_text(r.baseline.length * units::metres_per_km, 3) +
         " m long, more than --max-length " + round_trip_text(options.max_length * units::metres_per_km) +
         " m: not a repeat pass of the reference's track (another track or satellite?)";
}


// A product's orbit list replaced by the orbit files' orbit for its
// mission and time, when orbit files are given; their warnings (named) to
// warnings, a product no file covers refused.
void use_orbit_files(Acquisition& a, const OrbitCatalogue* orbits, std::vector<std::string>& warnings) {
  if (orbits == nullptr || orbits->empty() || !a.error.empty() || !a.product || a.product->mission.empty())
    return;
  const ImageTiming& image = a.product->image;
  const UtcTime first = acquisition_time(*a.product);
  const UtcTime last = image.last_line ? *image.last_line : first;
  std::string problem;
  std::optional<ChosenOrbit> chosen = orbits->choose(a.product->mission, first, last, &problem);
  if (!chosen) {
    a.error = a.name + ": " + problem;
    return;
  }
  for (const std::string& w : chosen->warnings) warnings.push_back(a.name + ": " + w);
  a.product->orbit = chosen->orbit;
  a.orbit = chosen->orbit.rows;
  a.epoch = chosen->orbit.epoch;
}

}  // namespace

bool StackRun::all_ok() const {
  if (!reference_error.empty()) return false;
  for (const SecondaryResult& s : secondaries)
    if (!s.complete()) return false;
  return true;
}

std::optional<long> sentinel1_relative_orbit(const std::string& mission, long absolute_orbit) {
  // The orbit counts of S1A and S1B were started 73 and 27 orbits before
  // their first relative orbit; each repeats after 175 orbits (12 days).
  constexpr long cycle = 175;
  long offset = 0;
  if (mission == "S1A") offset = 73;
  else if (mission == "S1B") offset = 27;
  else return std::nullopt;
  return ((absolute_orbit - offset) % cycle + cycle) % cycle + 1;
}

namespace {

// What turns a Doppler frequency of the beam geometry, worked at the
// settings' wavelength c / f0 (L band, 0.236 m), into the one at the
// wavelength (km): f = -2 (d rho/dt) / lambda, so the factor is
// settings_wavelength_km / wavelength, exactly 1 at the settings' own.
double doppler_scale(double wavelength) { return settings_wavelength_km / wavelength; }

// The reference's time and slant range for its target: the options, else
// the middle of the product's image (its named centre where it has one),
// else the middle of the orbit's rows (the range must then be given).
// Writes t (s since the orbit's epoch) and the range (km), or says why not.
bool target_time_and_range(const Acquisition& a, const TargetOptions& target, double* t,
                           double* range, std::string* problem) {
  const ImageTiming* image = a.product ? &a.product->image : nullptr;
  if (target.at_time) {
    *t = seconds_between(*a.epoch, *target.at_time);
  } else if (image && image->centre_line) {
    *t = seconds_between(*a.epoch, *image->centre_line);
  } else if (image && image->first_line && image->last_line) {
    *t = 0.5 * (seconds_between(*a.epoch, *image->first_line) +
                seconds_between(*a.epoch, *image->last_line));
  } else {
    *t = 0.5 * (a.orbit.front().t + a.orbit.back().t);
  }
  if (target.at_range) {
    *range = *target.at_range;
  } else if (image && image->centre_range_m) {
    *range = *image->centre_range_m / units::metres_per_km;
  } else if (image && image->near_range_m && image->far_range_m) {
    *range = 0.5 * (*image->near_range_m + *image->far_range_m) / units::metres_per_km;
  } else {
    *problem = "it gives no slant range: give --at-range (m) or --at-point";
    return false;
  }
  return true;
}

// The Doppler centroid (Hz) of a product that gives it as a polynomial in
// slant range, at the slant range (km) of the target; NaN otherwise.
double polynomial_doppler(const Acquisition& a, double slant_range_km) {
  if (!a.product || a.product->doppler_polynomial.empty()) return NAN;
  const double x = slant_range_km * units::metres_per_km - a.product->doppler_reference_range_m.value_or(0.0);
  double f = 0.0;
  for (std::size_t k = a.product->doppler_polynomial.size(); k-- > 0;) f = f * x + a.product->doppler_polynomial[k];
  return f;
}

// The Doppler centroid (Hz) of a satellite with the earth-fixed state s
// (km, km/s) looking at the scene point T (km) turning with the earth at the
// wavelength (km): the Doppler stage of the beam geometry, -2 (d rho/dt) f0 / c
// with the settings' carrier (doppler_scale turns it to the wavelength).
double state_doppler(const StateVector& s, const double* T, double wavelength) {
  const double P[3] = {s.position[0], s.position[1], s.position[2]};
  double V[3];
  inertial_velocity(s, V);  // as the run forms it
  const double r = std::sqrt((P[0] * P[0] + P[1] * P[1]) + P[2] * P[2]);
  const double e_r[3] = {P[0] / r, P[1] / r, P[2] / r};
  const double L[3] = {T[0] - P[0], T[1] - P[1], T[2] - P[2]};
  double block[doppler::size];
  doppler_derivatives(P, V, r, e_r, T, L, setting::light_speed, setting::carrier_frequency, 0, block);
  return block[doppler::centroid] * doppler_scale(wavelength);
}

// A product's own radar wavelength (km): its wavelength, else c over its
// radar frequency; nullopt for an acquisition that is no product or a
// product that gives neither.
std::optional<double> product_wavelength(const Acquisition& a) {
  if (!a.product) return std::nullopt;
  if (a.product->wavelength_m) return *a.product->wavelength_m / units::metres_per_km;
  if (a.product->radar_frequency_hz)
    return units::speed_of_light_m_s / *a.product->radar_frequency_hz / units::metres_per_km;
  return std::nullopt;
}

// The wavelength of the reference (km): --wavelength, else the product's
// (its wavelength, or c over its radar frequency), else --sensor's, else
// for a dated orbit the settings'. A product that gives none, without
// either option: NaN and no source (run_stack refuses it as the reference).
void reference_wavelength(const Acquisition& a, const TargetOptions& target, ZeroDopplerReference& z) {
  const std::optional<double> own = product_wavelength(a);
  if (target.wavelength) {
    z.wavelength = *target.wavelength;
    z.wavelength_source = "--wavelength";
  } else if (own) {
    z.wavelength = *own;
    z.wavelength_source = "product";
  } else if (target.sensor_wavelength) {
    z.wavelength = *target.sensor_wavelength;
    z.wavelength_source = "--sensor";
  } else if (a.product) {
    z.wavelength = NAN;
    z.wavelength_source.clear();
  } else {
    z.wavelength = settings_wavelength_km;
    z.wavelength_source = "settings";
  }
}

// How far outside an orbit's span the time of a point's closest approach
// is estimated, s: a tenth of a low orbit, over which the straight line
// along the end row's velocity stays within a percent of the arc.
constexpr double max_extrapolated_gap = 600.0;

// Why a point has no zero-Doppler time on the orbit of a (its epoch known),
// whose closest approach lies before (or after) its rows: that time,
// estimated from the end row along its velocity (t - (S - T) . V / |V|^2,
// to the second; none beyond max_extrapolated_gap), and the rows' span, in
// UTC.
std::string point_outside_text(const Acquisition& a, const Geodetic& point, bool before) {
  const OrbitRow& end = before ? a.orbit.front() : a.orbit.back();
  double T[3];
  earth_fixed_from_geodetic(point, T);
  const double* S = end.state.position;
  const double* V = end.state.velocity;
  const double d[3] = {S[0] - T[0], S[1] - T[1], S[2] - T[2]};
  const double gap = -(d[0] * V[0] + d[1] * V[1] + d[2] * V[2]) / (V[0] * V[0] + V[1] * V[1] + V[2] * V[2]);
  const bool near = std::fabs(gap) <= max_extrapolated_gap;
  // The estimate to the second (its fraction cut): it is good to about that.
  std::string about = utc_text(add_seconds(*a.epoch, end.t + gap));
  if (const std::size_t cut = about.find('.'); cut != std::string::npos) about = about.substr(0, cut) + "Z";
  return std::string("the point's zero-Doppler time") +
         (near ? ", about " + about + ", lies "
               : " lies more than " + fixed_text(max_extrapolated_gap, 0) + " s ") +
         (before ? "before" : "after") + " its orbit's vectors (" +
         utc_text(add_seconds(*a.epoch, a.orbit.front().t)) + " to " +
         utc_text(add_seconds(*a.epoch, a.orbit.back().t)) + ")";
}

// The zero-Doppler view of the reference's target; on failure says why.
bool start_zero_doppler(StackRun& run, const StackOptions& options) {
  const Acquisition& a = run.reference;
  ZeroDopplerReference& z = run.zero_doppler;
  const std::string cant = "can't use " + a.name + " as the reference: ";
  const std::string why = implausible_orbit(a.orbit, a.row_lines.empty() ? nullptr : &a.row_lines);
  if (!why.empty()) {
    run.reference_error = cant + why;
    return false;
  }
  z.look = a.product ? a.product->look : options.target.look.value_or(LookSide::right);
  if (a.product && options.target.look && *options.target.look != a.product->look)
    run.warnings.push_back(a.name + " looks " + (a.product->look == LookSide::right ? "right" : "left") +
                           "; --look is not used for a product");
  std::optional<Geodetic> point = options.target.at_point;
  const ProductInfo* p = a.product ? &*a.product : nullptr;
  const bool geocoded = p && p->epsg && !p->grid_x.empty() && !p->grid_y.empty();
  if (!point && geocoded && !options.target.at_time && !options.target.at_range) {
    // A geocoded product's default target: the centre of its grid.
    std::string problem;
    point = map_to_geodetic(*p->epsg, 0.5 * (p->grid_x.front() + p->grid_x.back()),
                            0.5 * (p->grid_y.front() + p->grid_y.back()), options.target.height.value_or(0.0),
                            &problem);
    if (!point) {
      run.reference_error = cant + problem;
      return false;
    }
  }
  if (point) {
    z.view = geometry_at_point(a.orbit, *point);
  } else {
    double t = 0.0, range = 0.0;
    std::string problem;
    if (!target_time_and_range(a, options.target, &t, &range, &problem)) {
      run.reference_error = cant + problem;
      return false;
    }
    z.view = geometry_at_range(a.orbit, t, range, options.target.height.value_or(0.0), z.look);
  }
  const bool point_outside = z.view.status == ZeroDopplerStatus::no_closest_approach &&
                             (z.view.alignment == AlignStatus::before_span ||
                              z.view.alignment == AlignStatus::after_span);
  if (point && point_outside && a.epoch) {
    run.reference_error = cant + point_outside_text(a, *point, z.view.alignment == AlignStatus::before_span);
    return false;
  }
  if (z.view.status == ZeroDopplerStatus::outside_span && a.epoch) {
    // Both spans in UTC: the time asked for and the orbit's vectors.
    run.reference_error = cant + "the time " + utc_text(add_seconds(*a.epoch, z.view.t)) +
                          " lies outside its orbit's vectors (" +
                          utc_text(add_seconds(*a.epoch, a.orbit.front().t)) + " to " +
                          utc_text(add_seconds(*a.epoch, a.orbit.back().t)) + ")";
    return false;
  }
  if (z.view.status != ZeroDopplerStatus::ok) {
    run.reference_error = cant + zero_doppler_failure_text(z.view, a.orbit);
    return false;
  }
  if (z.view.interpolation_error > max_interpolation_error) {
    run.reference_error = cant + "its orbit's rows are too far apart: the interpolation at the "
                                 "target's time is uncertain by " + length_text(z.view.interpolation_error);
    return false;
  }
  if (a.epoch) z.time = add_seconds(*a.epoch, z.view.t);
  reference_wavelength(a, options.target, z);
  run.doppler_centroid = polynomial_doppler(a, z.view.slant_range);
  z.orbit_source = a.product ? a.product->orbit.source : std::string("orbit file");
  if (a.product && a.product->absolute_orbit)
    z.relative_orbit = sentinel1_relative_orbit(a.product->mission, *a.product->absolute_orbit);
  return true;
}

// Why the target options cannot be used with a state-vector reference
// ("" when none is given): they place a target at a time and range, or at
// a point, which only a product or a dated orbit has.
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

}  // namespace

StackRun start_stack(const std::string& reference_path, const StackOptions& options,
                     const OrbitCatalogue* orbits) {
  StackRun run;
  run.reference = read_reference(reference_path, options.read);
  if (!run.reference.warning.empty()) run.warnings.push_back(run.reference.warning);
  use_orbit_files(run.reference, orbits, run.warnings);
  if (!run.reference.error.empty()) {
    run.reference_error = run.reference.error;
    return run;
  }
  if (run.reference.kind != AcquisitionKind::state_vector) {
    run.mode = GeometryMode::zero_doppler;
    start_zero_doppler(run, options);
    return run;
  }
  const std::string targeted = beam_target_text(options.target);
  if (!targeted.empty()) {
    run.reference_error = targeted;
    return run;
  }
  // The likely cause (units, zeros) before the beam geometry's own verdict.
  const std::string why = implausible_state(run.reference.state);
  if (!why.empty()) {
    run.reference_error = "can't use " + run.reference.name + " as the reference: " + why;
    return run;
  }
  run.geometry = reference_geometry(run.reference.state);
  if (options.target.wavelength) run.geometry.wavelength = *options.target.wavelength;
  else if (options.target.sensor_wavelength) run.geometry.wavelength = *options.target.sensor_wavelength;
  const double scale = doppler_scale(run.geometry.wavelength);
  run.geometry.doppler_centroid *= scale;
  run.geometry.doppler_rate *= scale;
  run.doppler_centroid = run.geometry.doppler_centroid;
  if (run.geometry.status != RunStatus::ok)
    run.reference_error = reference_failure_text(run.geometry.status, run.reference.name);
  return run;
}

namespace {

// A secondary in zero-Doppler mode: its orbit's closest approach to the
// target (or its state vector moved there along its orbit), decomposed in
// the plane of the reference's zero Doppler.
void zero_doppler_secondary(const StackRun& run, SecondaryResult& r, const StackOptions& options) {
  const Acquisition& a = r.acquisition();
  const ZeroDopplerReference& z = run.zero_doppler;
  const ZeroDopplerGeometry& v = z.view;
  ZeroDopplerBaseline b;
  if (a.kind == AcquisitionKind::state_vector) {
    StateVector at = a.state;
    if (!options.as_given) {
      r.shift = shift_to_closest_approach(a.state, v.target);
      if (r.shift->status != ShiftStatus::ok) {
        r.error = a.name + ": " + shift_failure_text(*r.shift, a.state, v.satellite);
        return;
      }
      at = r.shift->state;
    }
    if (flies_another_way(v.velocity, at.velocity, a, r)) return;
    b = zero_doppler_baseline(v.target, v.satellite, v.velocity, at.position);
    r.state = at;
  } else {
    b = secondary_baseline(v, a.orbit);
    if (b.status == ZeroDopplerStatus::ok && b.interpolation_error > max_interpolation_error) {
      r.error = a.name + ": the orbit's rows are too far apart for an accurate baseline: its "
                "interpolation at the zero-Doppler time is uncertain by " +
                length_text(b.interpolation_error) + " (at most " + length_text(max_interpolation_error) + ")";
      return;
    }
    for (int i = 0; i < 3; ++i) r.state.position[i] = b.secondary[i];
    if (a.epoch) r.time = add_seconds(*a.epoch, b.t);
  }
  const bool outside = b.status == ZeroDopplerStatus::no_closest_approach &&
                       (b.alignment == AlignStatus::before_span || b.alignment == AlignStatus::after_span);
  if (outside && a.epoch) {
    r.error = a.name + ": its zero-Doppler time for the target lies " +
              (b.alignment == AlignStatus::before_span ? "before" : "after") + " its orbit's vectors (" +
              utc_text(add_seconds(*a.epoch, a.orbit.front().t)) + " to " +
              utc_text(add_seconds(*a.epoch, a.orbit.back().t)) + "; the reference sees the target at " +
              (z.time ? utc_text(*z.time) : std::string("its own time")) + ")";
    return;
  }
  if (b.status != ZeroDopplerStatus::ok) {
    r.error = a.name + ": " + zero_doppler_baseline_failure_text(b, a.orbit);
    return;
  }
  if (a.kind != AcquisitionKind::state_vector) {
    if (flies_another_way(v.velocity, b.secondary_velocity, a, r)) return;
  }
  if (r.time && z.time) r.days_exact = seconds_between(*z.time, *r.time) / units::seconds_per_day;
  r.baseline.parallel = b.parallel;
  r.baseline.perpendicular = b.perpendicular;
  r.baseline.along_track = b.along_track;
  r.baseline.length = b.length;
  r.baseline.height_of_ambiguity =
      height_of_ambiguity(z.wavelength, v.slant_range, v.angles.incidence, b.perpendicular);
  r.zero_doppler = b;
  r.doppler_centroid = polynomial_doppler(a, b.secondary_range);
}

// Why a Sentinel-1 secondary of another relative orbit than the
// reference's is no repeat pass of it ("" when it is, or cannot be told).
std::string other_track(const StackRun& run, const Acquisition& a) {
  if (!run.zero_doppler.relative_orbit || !a.product || !a.product->absolute_orbit) return {};
  const std::optional<long> track = sentinel1_relative_orbit(a.product->mission, *a.product->absolute_orbit);
  if (!track || *track == *run.zero_doppler.relative_orbit) return {};
  return a.name + ": it is of relative orbit " + std::to_string(*track) + " (" + a.product->mission +
         " absolute orbit " + std::to_string(*a.product->absolute_orbit) + "), the reference of " +
         std::to_string(*run.zero_doppler.relative_orbit) + ": not a repeat pass of its track";
}

}  // namespace

SecondaryResult run_secondary(const StackRun& run, std::shared_ptr<const Acquisition> secondary,
                              const StackOptions& options) {
  SecondaryResult r;
  r.source = std::move(secondary);
  const Acquisition& a = r.acquisition();
  if (!a.error.empty()) {
    r.error = a.error;
    return r;
  }
  if (a.day && run.reference.day) r.days = *a.day - *run.reference.day;
  if (run.mode == GeometryMode::zero_doppler) {
    const std::string why = a.kind == AcquisitionKind::state_vector
                                ? implausible_state(a.state)
                                : implausible_orbit(a.orbit, a.row_lines.empty() ? nullptr : &a.row_lines);
    const std::string track = other_track(run, a);
    if (!why.empty() || !track.empty()) {
      r.error = track.empty() ? a.name + ": " + why : track;
      return r;
    }
    zero_doppler_secondary(run, r, options);
    if (r.ok() && r.baseline.length > options.max_length) r.error = too_long_text(a, r, options);
    if (r.ok() && r.shift) r.error = shift_uncertainty_text(a, *r.shift);
    return r;
  }
  const double* P = run.geometry.state.position;
  if (a.kind != AcquisitionKind::state_vector) {
    const std::string why = implausible_orbit(a.orbit, a.row_lines.empty() ? nullptr : &a.row_lines);
    if (!why.empty()) {
      r.error = a.name + ": " + why;
      return r;
    }
    r.alignment = closest_approach(a.orbit, P);
    if (r.alignment->status != AlignStatus::ok) {
      r.error = a.name + ": " + align_failure_text(*r.alignment, a.orbit);
      return r;
    }
    if (flies_another_way(run.geometry.state.velocity, r.alignment->state.velocity, a, r)) return r;
    if (r.alignment->interpolation_error > max_interpolation_error) {
      r.error = a.name + ": the orbit's rows are too far apart for an accurate baseline: its "
                "interpolation at the closest approach is uncertain by " +
                length_text(r.alignment->interpolation_error) + " (at most " +
                length_text(max_interpolation_error) + "; rows some 10 to 60 s apart are)";
      return r;
    }
    r.state = r.alignment->state;
    if (a.epoch) r.time = add_seconds(*a.epoch, r.alignment->t);
  } else {
    const std::string why = implausible_state(a.state);
    if (!why.empty()) {
      r.error = a.name + ": " + why;
      return r;
    }
    r.state = a.state;
    if (!options.as_given) {
      r.shift = shift_to_closest_approach(a.state, P);
      if (r.shift->status != ShiftStatus::ok) {
        r.error = a.name + ": " + shift_failure_text(*r.shift, a.state, P);
        return r;
      }
      r.state = r.shift->state;
    }
    if (flies_another_way(run.geometry.state.velocity, r.state.velocity, a, r)) return r;
  }
  r.baseline = stack_baseline(run.geometry, r.state);
  r.doppler_centroid = state_doppler(r.state, run.geometry.scene_point, run.geometry.wavelength);
  if (r.baseline.status != RunStatus::ok) {
    r.error = "the baseline of " + run.reference.name + " and " + a.name + " is not finite";
    return r;
  }
  if (r.baseline.length > options.max_length) r.error = too_long_text(a, r, options);
  if (r.ok() && r.shift) r.error = shift_uncertainty_text(a, *r.shift);
  return r;
}

namespace {

// The targets of a grid of lines x ranges over the reference's image: times
// from its first to its last line, slant ranges (m) from near to far, each
// at the fraction k / (n - 1) of the way (the middle for n = 1). False and
// *problem when the reference has no such image.
bool grid_targets(const Acquisition& a, const StackOptions& options, std::vector<GridPoint>& points,
                  std::string* problem) {
  const auto [lines, ranges] = *options.grid;
  const auto fraction = [](int k, int n) { return n == 1 ? 0.5 : static_cast<double>(k) / (n - 1); };
  const ProductInfo* product = a.product ? &*a.product : nullptr;
  if (product && product->epsg && !product->grid_x.empty() && !product->grid_y.empty()) {
    // A geocoded product's grid from corner to corner: lines along y (its
    // rows), ranges along x (its columns).
    const std::vector<double>& gx = product->grid_x;
    const std::vector<double>& gy = product->grid_y;
    for (int i = 0; i < lines; ++i)
      for (int j = 0; j < ranges; ++j) {
        GridPoint pt;
        pt.line = i;
        pt.range = j;
        pt.y = gy.front() + fraction(i, lines) * (gy.back() - gy.front());
        pt.x = gx.front() + fraction(j, ranges) * (gx.back() - gx.front());
        pt.target = options.target;
        pt.target.at_point =
            map_to_geodetic(*product->epsg, *pt.x, *pt.y, options.target.height.value_or(0.0), problem);
        if (!pt.target.at_point) return false;
        points.push_back(std::move(pt));
      }
    return true;
  }
  const ImageTiming* image = product ? &product->image : nullptr;
  if (!image || !image->first_line || !image->last_line || !image->near_range_m || !image->far_range_m) {
    *problem = "--grid needs a reference product with the times of its first and last lines and its "
               "near and far slant ranges";
    return false;
  }
  const double span = seconds_between(*image->first_line, *image->last_line);
  for (int i = 0; i < lines; ++i)
    for (int j = 0; j < ranges; ++j) {
      GridPoint p;
      p.line = i;
      p.range = j;
      TargetOptions& t = p.target;
      t = options.target;
      t.at_point.reset();
      t.at_time = add_seconds(*image->first_line, fraction(i, lines) * span);
      const double range_m = *image->near_range_m + fraction(j, ranges) * (*image->far_range_m - *image->near_range_m);
      t.at_range = range_m / units::metres_per_km;
      points.push_back(std::move(p));
    }
  return true;
}

// The stack's baselines at every target of the grid (the reference's
// secondaries as read, computed again at each). The reference is lent to
// each point's run while that point is worked out and taken back after, so
// that a point keeps its own view and baselines, not a copy of the
// reference's orbit and map grid. Each secondary of run learns how many
// points gave it no baseline and the first reason, and a warning names it.
// A grid of more than max_grid_baselines baselines is refused
// (reference_error) before anything is computed.
void run_grid(StackRun& run, const StackOptions& options) {
  if (run.mode != GeometryMode::zero_doppler) {
    run.reference_error = "--grid needs a product or a dated orbit as the reference, not a state vector";
    return;
  }
  const auto [lines, ranges] = *options.grid;
  const std::size_t targets = static_cast<std::size_t>(lines) * static_cast<std::size_t>(ranges);
  const std::size_t baselines = targets * std::max<std::size_t>(run.secondaries.size(), 1);
  if (baselines > max_grid_baselines) {
    const std::size_t n = run.secondaries.size();
    run.reference_error = "--grid " + std::to_string(lines) + "x" + std::to_string(ranges) + " with " +
                          std::to_string(n) + (n == 1 ? " secondary" : " secondaries") + " asks for " +
                          std::to_string(baselines) + " baselines; one run computes at most " +
                          std::to_string(max_grid_baselines) +
                          " (grid points x secondaries): use a coarser grid or fewer secondaries";
    return;
  }
  std::vector<GridPoint> points;
  points.reserve(targets);
  std::string problem;
  if (!grid_targets(run.reference, options, points, &problem)) {
    run.reference_error = problem;
    return;
  }
  Acquisition reference = std::move(run.reference);
  for (GridPoint& p : points) {
    StackOptions at = options;
    at.target = p.target;
    p.run.reference = std::move(reference);
    p.run.mode = GeometryMode::zero_doppler;
    start_zero_doppler(p.run, at);
    p.run.secondaries.reserve(run.secondaries.size());
    for (const SecondaryResult& s : run.secondaries) {
      SecondaryResult r;
      if (!p.run.reference_error.empty()) {
        r.source = s.source;
        r.error = p.run.reference_error;
      } else {
        r = run_secondary(p.run, s.source, at);
      }
      p.run.secondaries.push_back(std::move(r));
    }
    reference = std::move(p.run.reference);
    p.run.reference = Acquisition{};
    p.run.warnings.clear();  // the stack's own run has said them
  }
  run.reference = std::move(reference);
  for (std::size_t k = 0; k < run.secondaries.size(); ++k) {
    SecondaryResult& s = run.secondaries[k];
    for (const GridPoint& p : points) {
      const SecondaryResult& g = p.run.secondaries[k];
      if (g.ok()) continue;
      if (s.grid_failed++ == 0) s.grid_error = g.error;
    }
    if (s.ok() && s.grid_failed > 0)
      run.warnings.push_back(s.acquisition().name + ": no baseline at " + std::to_string(s.grid_failed) +
                             " of the " + std::to_string(points.size()) + " grid points; the first: " +
                             s.grid_error);
  }
  run.grid = std::move(points);
}

// Why the started run's reference cannot give the baselines' wavelength: a
// product that gives none, with neither --wavelength nor --sensor ("" when
// it can).
std::string missing_wavelength(const StackRun& run) {
  if (run.mode != GeometryMode::zero_doppler || !std::isnan(run.zero_doppler.wavelength)) return {};
  return "can't use " + run.reference.name + " as the reference: it gives no radar wavelength or frequency; "
         "give --wavelength (m) or --sensor";
}

// How far (relative) a secondary product's own wavelength may lie from the
// run's before it counts as another: products of one sensor agree to far
// better than 1 %, C band (5.5 cm) and L band (23.6 cm) differ fourfold.
constexpr double wavelength_tolerance = 0.01;

// A warning when the run's wavelength is the settings' (a state-vector or
// dated-orbit reference without --wavelength or --sensor) and a usable
// product secondary gives another of its own, naming the first and counting
// the others; "" otherwise.
std::string settings_wavelength_warning(const StackRun& run, const StackOptions& options) {
  const bool zero_doppler = run.mode == GeometryMode::zero_doppler;
  const bool settings = zero_doppler ? run.zero_doppler.wavelength_source == "settings"
                                     : !options.target.wavelength && !options.target.sensor_wavelength;
  if (!settings) return {};
  const double used = zero_doppler ? run.zero_doppler.wavelength : run.geometry.wavelength;
  const SecondaryResult* first = nullptr;
  double first_wavelength = 0.0;
  std::size_t others = 0;
  for (const SecondaryResult& s : run.secondaries) {
    const std::optional<double> own = s.ok() ? product_wavelength(s.acquisition()) : std::nullopt;
    if (!own || std::fabs(*own - used) <= wavelength_tolerance * used) continue;
    if (first == nullptr) {
      first = &s;
      first_wavelength = *own;
    } else {
      ++others;
    }
  }
  if (first == nullptr) return {};
  constexpr int metre_decimals = 6;
  return "the heights of ambiguity use the settings' wavelength " +
         fixed_text(used * units::metres_per_km, metre_decimals) + " m (" + run.reference.name +
         " gives none), but " + first->acquisition().name + " gives " +
         fixed_text(first_wavelength * units::metres_per_km, metre_decimals) + " m" +
         (others > 0 ? " (and " + std::to_string(others) + " more secondaries another)" : std::string()) +
         ": give --wavelength or --sensor";
}

}  // namespace

StackRun run_stack(const std::string& reference_path, const std::vector<std::string>& secondaries,
                   const StackOptions& options, const OrbitCatalogue* orbits) {
  StackRun run = start_stack(reference_path, options, orbits);
  if (run.reference_error.empty()) run.reference_error = missing_wavelength(run);
  if (!run.reference_error.empty()) return run;

  // One file under two names is used once.
  std::map<std::pair<dev_t, ino_t>, std::string> seen;  // the identity's first name, escaped
  if (run.reference.identity) seen[*run.reference.identity] = run.reference.name;
  run.secondaries.reserve(secondaries.size());
  for (const std::string& path : secondaries) {
    Acquisition a = read_secondary(path, options.read);
    if (a.identity) {
      const auto [it, added] = seen.emplace(*a.identity, a.name);
      if (!added) {
        run.warnings.push_back(a.name + " is the same file as " + it->second +
                               (it->second == run.reference.name ? " (the reference)" : "") +
                               ": used once");
        continue;
      }
    }
    use_orbit_files(a, orbits, run.warnings);
    SecondaryResult s = run_secondary(run, std::make_shared<const Acquisition>(std::move(a)), options);
    if (!s.acquisition().warning.empty()) run.warnings.push_back(s.acquisition().warning);
    run.secondaries.push_back(std::move(s));
  }

  if (const std::string w = settings_wavelength_warning(run, options); !w.empty()) run.warnings.push_back(w);
  if (options.grid) run_grid(run, options);

  // Two acquisitions of one date are rarely two passes.
  std::map<long, std::string> dated;
  if (run.reference.day) dated[*run.reference.day] = run.reference.name;
  for (const SecondaryResult& s : run.secondaries) {
    if (!s.acquisition().day || !s.acquisition().error.empty()) continue;
    const auto [it, added] = dated.emplace(*s.acquisition().day, s.acquisition().name);
    if (!added)
      run.warnings.push_back(s.acquisition().name + " and " + it->second + " are both of " +
                             day_text(s.acquisition().day));
  }
  return run;
}

}  // namespace bperp::stack
