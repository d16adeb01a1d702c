// What every product the stack's readers accept must hold, and the form of
// their refusals: the properties the harnesses of those readers check.
#pragma once

#include <cmath>
#include <string>

#include "bperp/stack/inputs/product.h"
#include "bperp/stack/inputs/product_bounds.h"
#include "fuzz_support.h"

namespace bperp::fuzz {

using stack::ImageTiming;
using stack::ProductInfo;
using stack::TimedOrbit;

// A refusal: one printable line that starts with the name given.
inline void check_refusal(const std::string& problem, const std::string& name) {
  FUZZ_CHECK(problem.starts_with(name + ": "));
  FUZZ_CHECK(printable_line(problem));
}

// An orbit of at least orbit_min_rows rows in strictly increasing time from
// 0 s, every number finite, its last row within the years of products.
inline void check_orbit(const TimedOrbit& orbit) {
  FUZZ_CHECK(orbit.rows.size() >= stack::orbit_min_rows);
  FUZZ_CHECK(orbit.rows.front().t == 0.0);
  FUZZ_CHECK(stack::product_time(orbit.epoch, orbit.rows.back().t).has_value());
  for (std::size_t k = 0; k < orbit.rows.size(); ++k) {
    const stack::OrbitRow& r = orbit.rows[k];
    FUZZ_CHECK(std::isfinite(r.t));
    if (k > 0) FUZZ_CHECK(r.t > orbit.rows[k - 1].t);
    for (int i = 0; i < 3; ++i) FUZZ_CHECK(std::isfinite(r.state.position[i]) && std::isfinite(r.state.velocity[i]));
  }
}

// The radar, the image and the scene centre within their bounds where the
// product states them.
inline void check_stated(const ProductInfo& p) {
  check_orbit(p.orbit);
  if (p.radar_frequency_hz) FUZZ_CHECK(stack::radar_frequency_problem(*p.radar_frequency_hz).empty());
  if (p.wavelength_m) FUZZ_CHECK(stack::wavelength_problem(*p.wavelength_m).empty());
  for (const auto& hz : {p.range_bandwidth_hz, p.azimuth_bandwidth_hz})
    if (hz) FUZZ_CHECK(stack::bandwidth_problem(*hz, p.radar_frequency_hz).empty());
  FUZZ_CHECK(p.pass.empty() || p.pass == "ASCENDING" || p.pass == "DESCENDING");
  const ImageTiming& im = p.image;
  if (im.first_line && im.last_line) FUZZ_CHECK(*im.first_line <= *im.last_line);
  for (const auto& range : {im.near_range_m, im.far_range_m})
    if (range) FUZZ_CHECK(stack::slant_range_problem(*range).empty());
  if (im.near_range_m && im.far_range_m) FUZZ_CHECK(*im.near_range_m <= *im.far_range_m);
  if (p.scene_centre) {
    FUZZ_CHECK(std::abs(p.scene_centre->latitude_deg) <= 90.0);
    FUZZ_CHECK(std::abs(p.scene_centre->longitude_deg) <= 180.0);
    FUZZ_CHECK(std::isfinite(p.scene_centre->height_m));
  }
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
