// One secondary against the reference's view: checked for what can be a
// repeat pass of it, moved to the target's time (an orbit interpolated, a
// state vector propagated) and its baseline decomposed, in either geometry.
#include <cmath>
#include <utility>

#include "bperp/numeric/units.h"
#include "bperp/stack/geometry/plausibility.h"
#include "bperp/stack/run/refusal_texts.h"
#include "bperp/stack/run/stack_run.h"
#include "bperp/stack/run/wavelength.h"

namespace bperp::stack {

namespace {

// Why a secondary of another relative orbit than the reference's (both of
// one family of satellites, see track_family) is no repeat pass of it
// (nullopt when it is, or cannot be told).
std::optional<Refusal> other_track(const Acquisition& reference, const Acquisition& a) {
  if (!reference.product || !a.product) return std::nullopt;
  const std::optional<long> own = relative_orbit(*reference.product);
  const std::optional<long> track = relative_orbit(*a.product);
  if (!own || !track || *track == *own || track_family(a.product->mission) != track_family(reference.product->mission))
    return std::nullopt;
  const std::string whence = a.product->track ? std::string("as its product states")
                                              : a.product->mission + " absolute orbit " +
                                                    std::to_string(*a.product->absolute_orbit);
  return Refusal{RefusalKind::other_track, a.name + ": it is of relative orbit " + std::to_string(*track) + " (" +
                                               whence + "), the reference of " + std::to_string(*own) +
                                               ": not a repeat pass of its track"};
}

// Why a can't be a SAR's pass at all (units, zeros), or, in the
// zero-Doppler geometry, is of another track than reference (which wins);
// nullopt when neither.
std::optional<Refusal> not_a_pass(const Acquisition& reference, const ReferenceView& view, const Acquisition& a) {
  const std::string why = a.kind == AcquisitionKind::state_vector
                              ? implausible_state(a.state)
                              : implausible_orbit(a.orbit, a.row_lines.empty() ? nullptr : &a.row_lines);
  if (zero_doppler_of(view))
    if (std::optional<Refusal> track = other_track(reference, a)) return track;
  if (!why.empty()) return Refusal{RefusalKind::implausible, a.name + ": " + why};
  return std::nullopt;
}

// The state vector of r's secondary as used: where it stands with
// --as-given, else moved along its orbit to its closest approach to
// `toward` (km), a failure told by its distance from `from` (km). Then
// checked against the reference's velocity (km/s). False with r's refusal.
bool place_state_vector(SecondaryResult& r, const double* toward, const double* from,
                        const double* reference_velocity, const StackOptions& options) {
  const Acquisition& a = r.acquisition();
  r.state = a.state;
  if (!options.as_given) {
    r.shift = shift_to_closest_approach(a.state, toward);
    if (r.shift->status != ShiftStatus::ok) {
      r.refusal = shift_failure(a, *r.shift, from);
      return false;
    }
    r.state = r.shift->state;
  }
  r.refusal = flies_another_way(a, reference_velocity, r.state.velocity);
  return r.ok();
}

// r's secondary in the beam geometry: an orbit interpolated at its closest
// approach to the reference position P, a state vector placed there, and
// the baseline decomposed as bperp decomposes its pair. reference_name
// names the reference in the refusal of a baseline that is not finite.
void beam_secondary(const ReferenceGeometry& g, const std::string& reference_name, SecondaryResult& r,
                    const StackOptions& options) {
  const Acquisition& a = r.acquisition();
  const double* P = g.state.position;
  if (a.kind == AcquisitionKind::state_vector) {
    if (!place_state_vector(r, P, P, g.state.velocity, options)) return;
  } else {
    r.alignment = closest_approach(a.orbit, P);
    if (r.alignment->status != AlignStatus::ok) {
      r.refusal = Refusal{refusal_kind(r.alignment->status),
                          a.name + ": " + align_failure_text(*r.alignment, a.orbit)};
      return;
    }
    if ((r.refusal = flies_another_way(a, g.state.velocity, r.alignment->state.velocity))) return;
    if (r.alignment->interpolation_error > max_interpolation_error) {
      r.refusal = rows_too_far_apart(a, r.alignment->interpolation_error, "the closest approach", true);
      return;
    }
    r.state = r.alignment->state;
    if (a.epoch) r.time = add_seconds(*a.epoch, r.alignment->t);
  }
  r.baseline = stack_baseline(g, r.state);
  r.doppler_centroid = state_doppler(r.state, g.scene_point, g.wavelength);
  if (r.baseline.status != RunStatus::ok)
    r.refusal = Refusal{RefusalKind::implausible,
                        "the baseline of " + reference_name + " and " + a.name + " is not finite"};
}

// r's secondary in the zero-Doppler geometry: its orbit's closest approach
// to the target (or its state vector moved there along its orbit),
// decomposed in the plane of the reference's zero Doppler.
void zero_doppler_secondary(const ZeroDopplerReference& z, SecondaryResult& r, const StackOptions& options) {
  const Acquisition& a = r.acquisition();
  const ZeroDopplerGeometry& v = z.view;
  ZeroDopplerBaseline b;
  if (a.kind == AcquisitionKind::state_vector) {
    if (!place_state_vector(r, v.target, v.satellite, v.velocity, options)) return;
    b = zero_doppler_baseline(v.target, v.satellite, v.velocity, r.state.position);
  } else {
    b = secondary_baseline(v, a.orbit);
    if (b.status == ZeroDopplerStatus::ok && b.interpolation_error > max_interpolation_error) {
      r.refusal = rows_too_far_apart(a, b.interpolation_error, "the zero-Doppler time", false);
      return;
    }
    for (int i = 0; i < 3; ++i) r.state.position[i] = b.secondary[i];
    if (a.epoch) r.time = add_seconds(*a.epoch, b.t);
  }
  const bool outside = b.status == ZeroDopplerStatus::no_closest_approach &&
                       (b.alignment == AlignStatus::before_span || b.alignment == AlignStatus::after_span);
  if (outside && a.epoch) {
    r.refusal = secondary_outside_orbit(a, b.alignment == AlignStatus::before_span, z.time);
    return;
  }
  if (b.status != ZeroDopplerStatus::ok) {
    r.refusal =
        Refusal{refusal_kind(b.status), a.name + ": " + zero_doppler_baseline_failure_text(b, a.orbit)};
    return;
  }
  if (a.kind != AcquisitionKind::state_vector &&
      (r.refusal = flies_another_way(a, v.velocity, b.secondary_velocity)))
    return;
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

}  // namespace

SecondaryResult run_secondary(const Acquisition& reference, const ReferenceView& view,
                              std::shared_ptr<const Acquisition> secondary, const StackOptions& options) {
  SecondaryResult r;
  r.source = std::move(secondary);
  const Acquisition& a = r.acquisition();
  if (a.refusal) {
    r.refusal = a.refusal;
    return r;
  }
  if (a.day && reference.day) r.days = *a.day - *reference.day;
  const ZeroDopplerReference* z = zero_doppler_of(view);
  r.wavelength_source = secondary_wavelength_source(
      a, options.target, z ? z->wavelength_source : beam_wavelength(options.target).source);
  if ((r.refusal = not_a_pass(reference, view, a))) return r;
  if (const ReferenceGeometry* g = std::get_if<ReferenceGeometry>(&view))
    beam_secondary(*g, reference.name, r, options);
  else
    zero_doppler_secondary(std::get<ZeroDopplerReference>(view), r, options);
  if (r.ok() && r.baseline.length > options.max_length)
    r.refusal = too_long(a, r.baseline.length, options.max_length);
  if (r.ok() && r.shift) r.refusal = shift_uncertainty(a, *r.shift);
  return r;
}

}  // namespace bperp::stack
