// The slant range of a beam for the geometry tests, worked out here from
// the layers below the baseline run: the law of cosines in the triangle
// earth centre, satellite, scene point, with earth_r1's local radius Re (the
// satellite at distance r from the centre, the beam theta off nadir):
//   R = r cos(theta) - sqrt(Re^2 - (r sin(theta))^2)   (km)
// NaN when the beam misses the sphere of radius Re.
#pragma once

#include <cmath>

#include "bperp/earth/earth_model.h"
#include "bperp/geometry/settings.h"
#include "bperp/numeric/arrays.h"
#include "bperp/numeric/scalar.h"

namespace bperp::test {

// m: the state-vector matrix (its state column, km); theta: off-nadir, rad.
inline double beam_slant_range(const DMatrix& m, double theta) {
  const double X = m[sv::x][sv::state], Y = m[sv::y][sv::state], Z = m[sv::z][sv::state];
  double record[subpoint::size];
  earth_r1(X, Y, Z, record, 1);
  const double Re = record[subpoint::radius];
  const double r = std::sqrt((X * X + Y * Y) + Z * Z);
  return r * std::cos(theta) - std::sqrt(Re * Re - ipow(r * std::sin(theta), 2));
}

}  // namespace bperp::test
