// Fuzz target: the Sentinel-1 XML readers (product annotation and orbit
// file) and the content test on the same arbitrary bytes.
//
// Besides surviving, each reader must either refuse with a message on one
// printable line that starts with the name it was given, or give an orbit of
// at least orbit_min_rows rows in strictly increasing time from 0 s, every
// number finite; an accepted annotation's image and radar numbers are finite
// and positive where they must be (ranges, rates, counts), and its burst
// IDs, where it has them, one per burst in OPERA's spelling.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/s1_annotation.h"
#include "bperp/stack/inputs/s1_orbit_file.h"
#include "bperp/stack/inputs/xml_document.h"
#include "fuzz_support.h"
#include "product_checks.h"

namespace {

using namespace bperp::stack;
using namespace bperp::fuzz;

void check_product(const ProductInfo& p) {
  check_orbit(p.orbit);
  FUZZ_CHECK(positive(p.radar_frequency_hz) && positive(p.range_sampling_rate_hz));
  FUZZ_CHECK(positive(p.range_bandwidth_hz) && positive(p.azimuth_bandwidth_hz));
  const ImageTiming& im = p.image;
  FUZZ_CHECK(positive(im.line_interval_s) && positive(im.range_pixel_spacing_m));
  FUZZ_CHECK(positive(im.near_range_m) && im.far_range_m && std::isfinite(*im.far_range_m));
  FUZZ_CHECK(*im.far_range_m >= *im.near_range_m);
  FUZZ_CHECK(im.lines && *im.lines > 0 && im.samples && *im.samples > 0);
  FUZZ_CHECK(im.first_line && im.last_line && *im.first_line <= *im.last_line);
  for (std::size_t k = 1; k < p.burst_times.size(); ++k)
    FUZZ_CHECK(p.burst_times[k] > p.burst_times[k - 1]);
  // Burst IDs, where given, one per burst and each of OPERA's spelling.
  FUZZ_CHECK(p.burst_ids.empty() || p.burst_ids.size() == p.burst_times.size());
  for (const std::string& id : p.burst_ids) FUZZ_CHECK(parse_burst_id(id).has_value());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static const std::string annotation_name = "fuzz-annotation.xml", orbit_name = "fuzz-orbit.EOF";

  std::string problem;
  if (const std::optional<ProductInfo> p = parse_s1_annotation(bytes, annotation_name, &problem))
    check_product(*p);
  else
    check_refusal(problem, annotation_name);

  problem.clear();
  if (const std::optional<S1OrbitFile> f = parse_s1_orbit_file(bytes, orbit_name, &problem)) {
    check_orbit(f->orbit);
    FUZZ_CHECK(f->validity_start <= f->validity_stop);
    FUZZ_CHECK(f->orbit.source == orbit_name);
    for (const std::string& w : f->warnings) FUZZ_CHECK(printable_line(w));
  } else {
    check_refusal(problem, orbit_name);
  }

  (void)xml_product_kind(bytes);
  return 0;
}
