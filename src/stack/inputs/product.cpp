#include "bperp/stack/inputs/product.h"

namespace bperp::stack {

UtcTime acquisition_time(const ProductInfo& product) {
  return product.image.first_line ? *product.image.first_line : product.orbit.epoch;
}

}  // namespace bperp::stack
