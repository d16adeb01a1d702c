// The state-vector file reader under its first name: it lives in
// bperp/io/state_vector_file.h, which this includes.
#pragma once

#include "bperp/io/state_vector_file.h"
