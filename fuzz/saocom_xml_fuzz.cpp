// Fuzz target: the SAOCOM annotation reader and the content test on the
// same arbitrary bytes.
//
// Besides surviving, the reader must either refuse with a message on one
// printable line that starts with the name it was given, or give an orbit
// of at least orbit_min_rows rows in strictly increasing time from 0 s,
// every number finite, and a radar, an image or a scene centre within
// their bounds (product_checks.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/saocom_annotation.h"
#include "bperp/stack/inputs/xml_document.h"
#include "fuzz_support.h"
#include "product_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace bperp::stack;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static const std::string name = "fuzz-saocom.xml";
  std::string problem;
  if (const std::optional<ProductInfo> p = parse_saocom_annotation(bytes, name, &problem)) {
    bperp::fuzz::check_stated(*p);
    FUZZ_CHECK(p->radar_frequency_hz.has_value());
    FUZZ_CHECK(states_times_and_ranges(*p) || p->scene_centre.has_value());
  } else {
    bperp::fuzz::check_refusal(problem, name);
  }
  (void)xml_product_kind(bytes);
  (void)saocom_time(bytes);
  return 0;
}
