// Parallel and perpendicular baseline: the baseline B = P - S (master minus
// slave position, km) projected on the unit look vector U from the master to
// the scene point and on the unit vector V at right angles to it in the
// plane of the earth's centre, P and the scene point T, pointing away from
// the earth. Frame: earth-fixed.
#pragma once

#include "bperp/geometry/scene_point.h"
#include "bperp/numeric/arrays.h"

namespace bperp {

// The whole decomposition for one pair: locates the scene point of the
// master pass at slant range R (km) with the settings facter_m, fills a
// Doppler record, and writes B . U to *out_parallel and B . V to
// *out_perpendicular (km). fdm_out (11 doubles) and search, if given,
// receive the Doppler record and how the scene point search went.
void coef_calc21(double R, const DVector& facter_m, const DMatrix& data_m, const DMatrix& data_s,
                 double* out_parallel, double* out_perpendicular, double* fdm_out = nullptr,
                 SceneSearch* search = nullptr);

// B . U and B . V for the master data_m and slave data_s (positions in rows
// 0..2 of column 0) with the scene point in fdm slots 2..4. A scene point on
// the master gives NaN for both; one at nadir gives NaN for the perpendicular.
void base_cal1(const DMatrix& data_m, const DMatrix& data_s, const DVector& fdm,
               double* out_parallel, double* out_perpendicular);

// The unit look vector U = L / |L| and the unit perpendicular V = N / |N|
// with N = L x (P x T), for the look vector L = T - P, the master P (data_m
// rows 0..2) and the scene point T (km). V . P > 0: V points away from the
// earth. Zero |L| or |P x T| gives NaN components.
void normal_vectors(const double* look, const DMatrix& data_m, const double* scene,
                    double* unit_look, double* unit_perpendicular);

}  // namespace bperp
