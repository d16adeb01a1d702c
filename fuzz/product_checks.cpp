#include "product_checks.h"

#include <cmath>

#include "bperp/stack/inputs/product_bounds.h"
#include "fuzz_support.h"

namespace bperp::fuzz {

void check_refusal(const std::string& problem, const std::string& name) {
  FUZZ_CHECK(problem.starts_with(name + ": "));
  FUZZ_CHECK(printable_line(problem));
}

void check_orbit(const stack::TimedOrbit& orbit) {
  FUZZ_CHECK(orbit.rows.size() >= stack::orbit_min_rows);
  FUZZ_CHECK(orbit.rows.front().t == 0.0);
  for (std::size_t k = 0; k < orbit.rows.size(); ++k) {
    const stack::OrbitRow& r = orbit.rows[k];
    FUZZ_CHECK(std::isfinite(r.t));
    if (k > 0) FUZZ_CHECK(r.t > orbit.rows[k - 1].t);
    for (int i = 0; i < 3; ++i) {
      FUZZ_CHECK(std::isfinite(r.state.position[i]));
      FUZZ_CHECK(std::isfinite(r.state.velocity[i]));
    }
  }
}

bool positive(const std::optional<double>& v) { return v && std::isfinite(*v) && *v > 0.0; }

void check_target(const stack::ProductInfo& p) {
  FUZZ_CHECK(positive(p.radar_frequency_hz));
  const stack::ImageTiming& im = p.image;
  if (p.scene_centre) {
    const stack::SceneCentre& c = *p.scene_centre;
    if (c.earth_fixed_m)
      for (const double x : *c.earth_fixed_m) FUZZ_CHECK(std::isfinite(x));
    else
      FUZZ_CHECK(stack::geodetic_degrees(c.latitude_deg, c.longitude_deg));
    return;
  }
  FUZZ_CHECK(im.first_line && im.last_line && *im.first_line <= *im.last_line);
  FUZZ_CHECK(positive(im.near_range_m) && positive(im.far_range_m) && *im.near_range_m <= *im.far_range_m);
}

void check_stated(const stack::ProductInfo& p) {
  check_orbit(p.orbit);
  FUZZ_CHECK(stack::product_time(p.orbit.epoch, p.orbit.rows.back().t).has_value());
  if (p.radar_frequency_hz) FUZZ_CHECK(stack::radar_frequency_problem(*p.radar_frequency_hz).empty());
  if (p.wavelength_m) FUZZ_CHECK(stack::wavelength_problem(*p.wavelength_m).empty());
  for (const auto& hz : {p.range_bandwidth_hz, p.azimuth_bandwidth_hz})
    if (hz) FUZZ_CHECK(stack::bandwidth_problem(*hz, p.radar_frequency_hz).empty());
  FUZZ_CHECK(p.pass.empty() || p.pass == "ASCENDING" || p.pass == "DESCENDING");
  const stack::ImageTiming& im = p.image;
  if (im.first_line && im.last_line) FUZZ_CHECK(*im.first_line <= *im.last_line);
  for (const auto& range : {im.near_range_m, im.far_range_m})
    if (range) FUZZ_CHECK(stack::slant_range_problem(*range).empty());
  if (im.near_range_m && im.far_range_m) FUZZ_CHECK(*im.near_range_m <= *im.far_range_m);
  if (p.scene_centre && !p.scene_centre->earth_fixed_m)
    FUZZ_CHECK(stack::geodetic_degrees(p.scene_centre->latitude_deg, p.scene_centre->longitude_deg));
  if (p.epsg) {
    FUZZ_CHECK(stack::utm_or_ups(*p.epsg));
    FUZZ_CHECK(!p.grid_x.empty() && !p.grid_y.empty());
    for (const double x : p.grid_x) FUZZ_CHECK(stack::map_coordinate_problem(*p.epsg, true, x).empty());
    for (const double y : p.grid_y) FUZZ_CHECK(stack::map_coordinate_problem(*p.epsg, false, y).empty());
  }
  for (const auto& count : {p.track, p.frame, p.absolute_orbit})
    if (count) FUZZ_CHECK(*count > 0);
}

}  // namespace bperp::fuzz
