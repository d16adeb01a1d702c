// Fuzz target: the HDF5 reader's reply, as the product reader takes it
// (decoded and checked, then turned into a product), on arbitrary bytes:
// as the reply to an OPERA product's request and to each NISAR layout's.
//
// Besides surviving, it must either refuse with one printable line, or give
// a product whose orbit has at least orbit_min_rows rows in strictly
// increasing time from 0 s on an epoch within the years of products, every
// number finite, and what it states within its bounds (check_stated: a
// wavelength or frequency of a SAR's, a map grid of a UTM or UPS code with
// coordinates inside the projection's area, ...).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/hdf5_product.h"
#include "fuzz_support.h"
#include "product_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace bperp::stack;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Refusal refusal;
  if (const std::optional<ProductInfo> p = product_from_reply(bytes, hdf5_default_orbit_group, &refusal)) {
    bperp::fuzz::check_stated(*p);
  } else {
    FUZZ_CHECK(refusal.kind == RefusalKind::malformed);
    FUZZ_CHECK(!refusal.text.empty());
  }
  // The same bytes as the reply to each NISAR layout's request.
  for (const NisarLayout layout : {NisarLayout::rslc, NisarLayout::gslc, NisarLayout::slc}) {
    if (const std::optional<ProductInfo> p = nisar_product_from_reply(bytes, layout, "", "A", &refusal)) {
      bperp::fuzz::check_stated(*p);
    } else {
      FUZZ_CHECK(refusal.kind == RefusalKind::malformed);
      FUZZ_CHECK(!refusal.text.empty());
    }
  }
  return 0;
}
