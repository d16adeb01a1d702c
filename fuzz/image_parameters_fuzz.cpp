// Fuzz target: the image parameter file reader and its content test on the
// same arbitrary bytes.
//
// Besides surviving, the reader must either refuse with a message on one
// printable line that starts with the name it was given, or give an orbit
// of at least orbit_min_rows rows in strictly increasing time from 0 s,
// every number finite, and an image whose times and ranges are in order.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/image_parameters.h"
#include "fuzz_support.h"
#include "product_checks.h"

namespace {

using namespace bperp::stack;
using namespace bperp::fuzz;

void check_product(const ProductInfo& p) {
  check_orbit(p.orbit);
  FUZZ_CHECK(positive(p.radar_frequency_hz));
  const ImageTiming& im = p.image;
  FUZZ_CHECK(positive(im.line_interval_s) && positive(im.range_pixel_spacing_m));
  FUZZ_CHECK(positive(im.near_range_m) && positive(im.centre_range_m) && positive(im.far_range_m));
  FUZZ_CHECK(*im.near_range_m <= *im.centre_range_m && *im.centre_range_m <= *im.far_range_m);
  FUZZ_CHECK(im.lines && *im.lines > 0 && im.samples && *im.samples > 0);
  FUZZ_CHECK(im.first_line && im.centre_line && im.last_line);
  FUZZ_CHECK(*im.first_line <= *im.centre_line && *im.centre_line <= *im.last_line);
  for (const double c : p.doppler_polynomial) FUZZ_CHECK(std::isfinite(c));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static const std::string name = "fuzz.par";

  std::string problem;
  if (const std::optional<ProductInfo> p = parse_image_parameters(bytes, name, &problem)) {
    check_product(*p);
  } else {
    FUZZ_CHECK(problem.starts_with(name + ": "));
    FUZZ_CHECK(printable_line(problem));
  }
  (void)looks_like_image_parameters(bytes);
  return 0;
}
