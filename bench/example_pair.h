// The example pair of examples/master.txt and examples/slave.txt as
// in-memory state vectors (km, km/s), so that a benchmark measures the
// computation and not the reading of files.
#pragma once

#include "app/state_vector_file.h"

namespace bperp::bench {

inline StateVector example_master() {
  StateVector sv;
  sv.position[0] = 4066.372472;
  sv.position[1] = 4163.441233;
  sv.position[2] = 4014.008003;
  sv.velocity[0] = 4.163992967;
  sv.velocity[1] = 1.803068918;
  sv.velocity[2] = -6.088507505;
  return sv;
}

inline StateVector example_slave() {
  StateVector sv;
  sv.position[0] = 4066.224115;
  sv.position[1] = 4163.726359;
  sv.position[2] = 4014.012263;
  sv.velocity[0] = 4.164013759;
  sv.velocity[1] = 1.803079737;
  sv.velocity[2] = -6.088507505;
  return sv;
}

}  // namespace bperp::bench
