#include "bperp/stack/inputs/product.h"

namespace bperp::stack {

UtcTime acquisition_time(const ProductInfo& product) {
  if (product.image.first_line) return *product.image.first_line;
  return product.image.centre_line ? *product.image.centre_line : product.orbit.epoch;
}

bool states_times_and_ranges(const ProductInfo& product) {
  const ImageTiming& image = product.image;
  return image.first_line && image.last_line && image.near_range_m && image.far_range_m;
}

std::optional<long> product_track(const ProductInfo& product) {
  if (product.track) return product.track;
  if (!product.absolute_orbit) return std::nullopt;
  return sentinel1_relative_orbit(product.mission, *product.absolute_orbit);
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

}  // namespace bperp::stack
