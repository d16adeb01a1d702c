#include "product_checks.h"

#include <cmath>

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

}  // namespace bperp::fuzz
