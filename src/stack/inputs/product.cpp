#include "bperp/stack/inputs/product.h"

namespace bperp::stack {

UtcTime acquisition_time(const ProductInfo& product) {
  return product.image.first_line ? *product.image.first_line : product.orbit.epoch;
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
