// Fuzz target: the Capella extended metadata (JSON) reader and the content
// test on the same arbitrary bytes.
//
// Besides surviving (nlohmann-json's parser included), the reader must
// either refuse with a message on one printable line that starts with the
// name it was given, as unknown_format or malformed, or give an orbit of at
// least orbit_min_rows rows in strictly increasing time from 0 s, every
// number finite, and a default target: image times and ranges in order, or
// a finite earth-fixed scene centre.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/capella_metadata.h"
#include "fuzz_support.h"
#include "product_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace bperp::stack;
  using namespace bperp::fuzz;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static const std::string name = "fuzz_extended.json";
  Refusal problem;
  if (const std::optional<ProductInfo> p = parse_capella_metadata(bytes, name, &problem)) {
    check_orbit(p->orbit);
    check_target(*p);
    FUZZ_CHECK(p->scene_centre.has_value() != p->image.first_line.has_value());
  } else {
    check_refusal(problem.text, name);
    FUZZ_CHECK(problem.kind == RefusalKind::unknown_format || problem.kind == RefusalKind::malformed);
  }
  (void)looks_like_json(bytes);
  return 0;
}
