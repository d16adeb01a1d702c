// The example pair of examples/master.txt and examples/slave.txt as
// in-memory state vectors (km, km/s), so that a benchmark measures the
// computation and not the reading of files.
#pragma once

#include "bperp/io/state_vector_file.h"

namespace bperp::bench {

// X Y Z (km) and VX VY VZ (km/s), as the example files hold them.
constexpr double example_master_numbers[state_vector_numbers] = {
    4066.372472, 4163.441233, 4014.008003, 4.163992967, 1.803068918, -6.088507505};
constexpr double example_slave_numbers[state_vector_numbers] = {
    4066.224115, 4163.726359, 4014.012263, 4.164013759, 1.803079737, -6.088507505};

inline StateVector example_master() { return state_vector_from(example_master_numbers); }
inline StateVector example_slave() { return state_vector_from(example_slave_numbers); }

}  // namespace bperp::bench
