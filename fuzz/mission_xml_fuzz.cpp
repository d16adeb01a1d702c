// Fuzz target: the X- and C-band missions' XML readers (TerraSAR-X
// annotation, ICEYE metadata, RCM product.xml) and the content test on the
// same arbitrary bytes.
//
// Besides surviving, each reader must either refuse with a message on one
// printable line that starts with the name it was given, or give an orbit of
// at least orbit_min_rows rows in strictly increasing time from 0 s, every
// number finite, a positive radar frequency and bandwidths, and a default
// target: image times and ranges in order, or a stated scene centre.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/iceye_metadata.h"
#include "bperp/stack/inputs/rcm_product.h"
#include "bperp/stack/inputs/tsx_annotation.h"
#include "bperp/stack/inputs/xml_document.h"
#include "fuzz_support.h"
#include "product_checks.h"

namespace {

using namespace bperp::stack;
using namespace bperp::fuzz;

using Parser = std::optional<ProductInfo> (*)(std::string_view, const std::string&, std::string*);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static const std::pair<Parser, std::string> readers[] = {
      {parse_tsx_annotation, "fuzz-tsx.xml"}, {parse_iceye_metadata, "fuzz-iceye.xml"}, {parse_rcm_product, "product.xml"}};
  for (const auto& [parse, name] : readers) {
    std::string problem;
    if (const std::optional<ProductInfo> p = parse(bytes, name, &problem)) {
      check_orbit(p->orbit);
      check_target(*p);
      FUZZ_CHECK(positive(p->range_bandwidth_hz) && positive(p->azimuth_bandwidth_hz));
      FUZZ_CHECK(p->pass == "ASCENDING" || p->pass == "DESCENDING");
    } else {
      check_refusal(problem, name);
    }
  }
  (void)xml_product_kind(bytes);
  (void)xml_root_of(bytes);
  return 0;
}
