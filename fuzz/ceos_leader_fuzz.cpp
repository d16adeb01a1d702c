// Fuzz target: the CEOS leader reader and the content test on the same
// arbitrary bytes.
//
// Besides surviving, the reader must either refuse with a message on one
// printable line that starts with the name it was given, or give an orbit
// of at least orbit_min_rows rows in strictly increasing time from 0 s,
// every number finite, a wavelength, a scene centre and its time
// (product_checks.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/ceos_leader.h"
#include "fuzz_support.h"
#include "product_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace bperp::stack;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static const std::string name = "LED-fuzz";
  std::string problem;
  if (const std::optional<ProductInfo> p = parse_ceos_leader(bytes, name, &problem)) {
    bperp::fuzz::check_stated(*p);
    FUZZ_CHECK(p->wavelength_m && p->scene_centre && p->image.centre_line);
  } else {
    bperp::fuzz::check_refusal(problem, name);
  }
  (void)looks_like_ceos(bytes);
  return 0;
}
