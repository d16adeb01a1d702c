// Fuzz target: the HDF5 reader's reply, as the product reader takes it
// (decoded and checked, then turned into a product), on arbitrary bytes.
//
// Besides surviving, it must either refuse with one printable line, or give
// a product whose orbit has at least orbit_min_rows rows in strictly
// increasing time from 0 s on an epoch within the years of products, every
// number finite, a wavelength within a SAR's bounds, and a map grid (when
// there is one) of a UTM or UPS code with finite coordinates inside the
// projection's area.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/hdf5_product.h"
#include "bperp/stack/inputs/product_bounds.h"
#include "fuzz_support.h"

namespace {

using namespace bperp::stack;
using bperp::fuzz::printable_line;

void check_product(const ProductInfo& p) {
  const TimedOrbit& orbit = p.orbit;
  FUZZ_CHECK(orbit.rows.size() >= orbit_min_rows);
  FUZZ_CHECK(orbit.rows.front().t == 0.0);
  FUZZ_CHECK(product_time(orbit.epoch, orbit.rows.back().t).has_value());
  for (std::size_t k = 0; k < orbit.rows.size(); ++k) {
    const OrbitRow& r = orbit.rows[k];
    if (k > 0) FUZZ_CHECK(r.t > orbit.rows[k - 1].t);
    for (int i = 0; i < 3; ++i) FUZZ_CHECK(std::isfinite(r.state.position[i]) && std::isfinite(r.state.velocity[i]));
  }
  if (p.wavelength_m) FUZZ_CHECK(wavelength_problem(*p.wavelength_m).empty());
  if (p.epsg) {
    FUZZ_CHECK(utm_or_ups(*p.epsg));
    FUZZ_CHECK(!p.grid_x.empty() && !p.grid_y.empty());
    for (const double x : p.grid_x) FUZZ_CHECK(map_coordinate_problem(*p.epsg, true, x).empty());
    for (const double y : p.grid_y) FUZZ_CHECK(map_coordinate_problem(*p.epsg, false, y).empty());
  }
  FUZZ_CHECK(p.pass.empty() || p.pass == "ASCENDING" || p.pass == "DESCENDING");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Refusal refusal;
  if (const std::optional<ProductInfo> p = product_from_reply(bytes, hdf5_default_orbit_group, &refusal)) {
    check_product(*p);
  } else {
    FUZZ_CHECK(refusal.kind == RefusalKind::malformed);
    FUZZ_CHECK(!refusal.text.empty());
  }
  return 0;
}
