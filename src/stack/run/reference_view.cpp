#include "bperp/stack/run/reference_view.h"

#include "bperp/io/ascii_text.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/geometry/map_grid.h"
#include "bperp/stack/geometry/plausibility.h"
#include "bperp/stack/run/passes.h"
#include "bperp/stack/run/refusal_texts.h"
#include "bperp/stack/run/wavelength.h"
#include "bperp/stack/support/escape.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

// The reference's time and slant range for its target: the options, else
// the middle of the product's image (its named centre where it has one),
// else the middle of the orbit's rows (the range must then be given).
// Writes t (s since the orbit's epoch) and the range (km); false when no
// slant range is given or stated.
bool target_time_and_range(const Acquisition& a, const TargetOptions& target, double* t, double* range) {
  const ImageTiming* image = a.product ? &a.product->image : nullptr;
  if (target.at_time) {
    *t = seconds_between(*a.epoch, *target.at_time);
  } else if (image && image->centre_line) {
    *t = seconds_between(*a.epoch, *image->centre_line);
  } else if (image && image->first_line && image->last_line) {
    *t = 0.5 * (seconds_between(*a.epoch, *image->first_line) + seconds_between(*a.epoch, *image->last_line));
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
    return false;
  }
  return true;
}

// Why a can't serve as the reference for lack of a slant range for the
// target (no_range) or of a wavelength (no_wavelength), both named in one
// refusal: what it lacks and the options that give it.
Refusal missing_fields(const Acquisition& a, bool no_range, bool no_wavelength) {
  std::string text = "can't use " + a.name + " as the reference: ";
  // A product should state its wavelength; a dated orbit never does.
  const RefusalKind kind = no_wavelength && a.product ? RefusalKind::malformed : RefusalKind::option;
  if (no_range && no_wavelength)
    return {kind, text + "it gives no slant range and no radar wavelength or frequency: give --at-range (m) or "
                         "--at-point, and --wavelength (m) or --sensor"};
  if (no_range) return {kind, text + "it gives no slant range: give --at-range (m) or --at-point"};
  if (a.product) return {kind, text + "it gives no radar wavelength or frequency; give --wavelength (m) or --sensor"};
  return {kind, text + "it is a dated orbit, which states no radar wavelength: give --wavelength (m) or --sensor "
                       "(the wavelength of the heights of ambiguity and the coherence model)"};
}

const char* side_name(LookSide side) { return side == LookSide::right ? "right" : "left"; }

// Whether the reference's view of its target lies outside the line times or
// slant ranges its image states; nullopt where it states neither.
std::optional<bool> outside_image(const Acquisition& a, const ZeroDopplerReference& z) {
  if (!a.product) return std::nullopt;
  const std::optional<bool> covers = image_covers(a.product->image, z.time, z.view.slant_range);
  if (!covers) return std::nullopt;
  return !*covers;
}

// The warning of a target outside the reference's image: where it is seen
// and the image's spans.
std::string outside_image_text(const Acquisition& a, const ZeroDopplerReference& z) {
  const ImageTiming& image = a.product->image;
  std::string text = "the target lies outside the image of " + a.name + ", which it sees at ";
  text += z.time ? utc_text(*z.time) : std::string("its time");
  text += " and ";
  text += fixed_text(z.view.slant_range, 3);
  text += " km; the image spans";
  const bool times = image.first_line && image.last_line;
  if (times) {
    text += ' ';
    text += utc_text(*image.first_line);
    text += " to ";
    text += utc_text(*image.last_line);
  }
  if (image.near_range_m && image.far_range_m) {
    text += times ? " and " : " ";
    text += fixed_text(*image.near_range_m / units::metres_per_km, 3);
    text += " to ";
    text += fixed_text(*image.far_range_m / units::metres_per_km, 3);
    text += " km";
  }
  return text + ": its baselines are extrapolated beyond the scene";
}

// Whether a product gives the times of its first and last lines and its
// near and far slant ranges, which a target at a time and range needs.
bool times_and_ranges(const ProductInfo& p) {
  const ImageTiming& i = p.image;
  return i.first_line && i.last_line && i.near_range_m && i.far_range_m;
}

// The scene centre a product states, as a geodetic point: at height (km,
// default 0) for a latitude and longitude, at its own height (unless
// height is given) for an earth-fixed point. nullopt and *problem when the
// point has no geodetic coordinates.
std::optional<Geodetic> scene_centre_point(const SceneCentre& c, const std::optional<double>& height,
                                           std::string* problem) {
  if (!c.earth_fixed_m) {
    return Geodetic{units::radians(c.latitude_deg), units::radians(c.longitude_deg), height.value_or(0.0)};
  }
  double km[3];
  for (int i = 0; i < 3; ++i) km[i] = (*c.earth_fixed_m)[i] / units::metres_per_km;
  GeodeticFix fix = geodetic_from_earth_fixed(km);
  if (fix.status != GeodeticStatus::ok) {
    *problem = "its scene centre is no point on the earth (earth-fixed coordinates not finite, or near the centre)";
    return std::nullopt;
  }
  if (height) fix.point.height = *height;
  return fix.point;
}

// The point target asks for: --at-point, else without --at-time or
// --at-range the centre of a geocoded product's grid or the scene centre a
// product without times and ranges states; nullopt for a target at a time
// and range. false and *problem when the centre can't be placed.
bool target_point(const Acquisition& a, const TargetOptions& target, std::optional<Geodetic>* point,
                  std::string* problem) {
  *point = target.at_point;
  const ProductInfo* p = a.product ? &*a.product : nullptr;
  if (*point || !p || target.at_time || target.at_range) return true;
  if (p->epsg && !p->grid_x.empty() && !p->grid_y.empty()) {
    *point = map_to_geodetic(*p->epsg, 0.5 * (p->grid_x.front() + p->grid_x.back()),
                             0.5 * (p->grid_y.front() + p->grid_y.back()), target.height.value_or(0.0), problem);
    return point->has_value();
  }
  if (p->scene_centre && !times_and_ranges(*p)) {
    *point = scene_centre_point(*p->scene_centre, target.height, problem);
    return point->has_value();
  }
  return true;
}

// The target asked for once --burst is resolved: at the middle time of the
// burst it names (a burst product of that ID keeps its own default
// target). The refusal when the reference has no burst of that ID.
std::optional<Refusal> burst_target(const Acquisition& a, TargetOptions& target) {
  if (!target.burst) return std::nullopt;
  const std::string& id = *target.burst;
  const ProductInfo* p = a.product ? &*a.product : nullptr;
  const auto refused = [&](const std::string& why) {
    return Refusal{RefusalKind::option, "can't use " + a.name + " as the reference: --burst " + escaped(id) + ": " + why};
  };
  if (!p || p->burst_ids.empty()) return refused("it gives no burst IDs");
  if (p->burst_times.empty()) {
    if (lower(id) != p->burst_ids.front()) return refused("it is burst " + p->burst_ids.front());
  } else if (const std::optional<UtcTime> middle = burst_middle(*p, id)) {
    target.at_time = middle;
  } else {
    return refused("it holds the bursts " + p->burst_ids.front() + " to " + p->burst_ids.back());
  }
  target.burst.reset();
  return std::nullopt;
}

// Why the view found no target of a's orbit, or nullopt when it did.
// point: the point asked for, if any.
std::optional<Refusal> view_failure(const Acquisition& a, const ZeroDopplerGeometry& view,
                                    const std::optional<Geodetic>& point) {
  const auto refused = [&](RefusalKind kind, const std::string& why) {
    return Refusal{kind, "can't use " + a.name + " as the reference: " + why};
  };
  const bool outside =
      view.status == ZeroDopplerStatus::no_closest_approach &&
      (view.alignment == AlignStatus::before_span || view.alignment == AlignStatus::after_span);
  if (point && outside && a.epoch)
    return refused(RefusalKind::outside_orbit,
                   point_outside_text(a, *point, view.alignment == AlignStatus::before_span));
  if (view.status == ZeroDopplerStatus::outside_span && a.epoch)
    // Both spans in UTC: the time asked for and the orbit's vectors.
    return refused(RefusalKind::outside_orbit, "the time " + utc_text(add_seconds(*a.epoch, view.t)) +
                                                   " lies outside its orbit's vectors (" +
                                                   utc_text(add_seconds(*a.epoch, a.orbit.front().t)) +
                                                   " to " +
                                                   utc_text(add_seconds(*a.epoch, a.orbit.back().t)) + ")");
  if (view.status != ZeroDopplerStatus::ok)
    return refused(refusal_kind(view.status), zero_doppler_failure_text(view, a.orbit));
  if (view.interpolation_error > max_interpolation_error)
    return refused(
        RefusalKind::uncertain,
        "its orbit's rows are too far apart: the interpolation at the target's time is uncertain by " +
            length_text(view.interpolation_error));
  return std::nullopt;
}

}  // namespace

std::optional<Refusal> zero_doppler_view(const Acquisition& a, const TargetOptions& asked,
                                         ZeroDopplerReference& z, std::vector<Warning>* warnings) {
  const std::string cant = "can't use " + a.name + " as the reference: ";
  TargetOptions target = asked;
  if (std::optional<Refusal> refused = burst_target(a, target)) return refused;
  if (a.product && a.product->scene_centre && !times_and_ranges(*a.product) && (target.at_time || target.at_range))
    return Refusal{RefusalKind::option,
                   cant + "it gives no image times and slant ranges (a geocoded or ground-range product), which "
                          "--at-time, --at-range and --grid need; --at-point names a target on it"};
  if (const std::string why = implausible_orbit(a.orbit, a.row_lines.empty() ? nullptr : &a.row_lines);
      !why.empty())
    return Refusal{RefusalKind::implausible, cant + why};
  z.look = a.product ? a.product->look : target.look.value_or(LookSide::right);
  if (warnings != nullptr && a.product && target.look && *target.look != a.product->look)
    warnings->push_back(
        {WarningKind::look_side, a.name + " looks " + side_name(a.product->look) + "; --look is not used for a product"});
  std::optional<Geodetic> point;
  std::string problem;
  if (!target_point(a, target, &point, &problem)) return Refusal{RefusalKind::malformed, cant + problem};
  const RunWavelength wavelength = reference_wavelength(a, target);
  double t = 0.0, range = 0.0;
  const bool has_range = point || target_time_and_range(a, target, &t, &range);
  if (!has_range || std::isnan(wavelength.km)) return missing_fields(a, !has_range, std::isnan(wavelength.km));
  if (point)
    z.view = geometry_at_point(a.orbit, *point);
  else
    z.view = geometry_at_range(a.orbit, t, range, target.height.value_or(0.0), z.look);
  if (std::optional<Refusal> failed = view_failure(a, z.view, point)) return failed;
  // A point is seen from the side it lies on; the radar looks to one side only.
  if (point && z.view.angles.side != z.look)
    return Refusal{RefusalKind::outside_image,
                   cant + "the point lies " + side_name(z.view.angles.side) + " of its track, and it looks " +
                       side_name(z.look) + ": the radar does not see it (a target across the track from "
                       "the look side, or nearer than nadir)"};
  if (a.epoch) z.time = add_seconds(*a.epoch, z.view.t);
  z.wavelength = wavelength.km;
  z.wavelength_source = wavelength.source;
  z.outside_image = outside_image(a, z);
  if (warnings != nullptr && z.outside_image == true)
    warnings->push_back({WarningKind::outside_image, outside_image_text(a, z)});
  z.doppler_centroid = polynomial_doppler(a, z.view.slant_range);
  z.orbit_source = a.product ? a.product->orbit.source : std::string("orbit file");
  if (a.product) z.relative_orbit = relative_orbit(*a.product);
  return std::nullopt;
}

std::optional<Refusal> beam_view(const Acquisition& a, const TargetOptions& target, ReferenceGeometry& g) {
  if (const std::string targeted = beam_target_text(target); !targeted.empty())
    return Refusal{RefusalKind::option, targeted};
  // The likely cause (units, zeros) before the beam geometry's own verdict.
  if (const std::string why = implausible_state(a.state); !why.empty())
    return Refusal{RefusalKind::implausible, "can't use " + a.name + " as the reference: " + why};
  g = reference_geometry(a.state);
  g.wavelength = beam_wavelength(target).km;
  const double scale = doppler_scale(g.wavelength);
  g.doppler_centroid *= scale;
  g.doppler_rate *= scale;
  if (g.status != RunStatus::ok)
    return Refusal{RefusalKind::implausible, reference_failure_text(g.status, a.name)};
  return std::nullopt;
}

}  // namespace bperp::stack
