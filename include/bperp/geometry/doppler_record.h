// The Doppler record of the master pass: Doppler values, scene point and
// viewing angles, and the angles themselves.
#pragma once

#include "bperp/geometry/scene_point.h"
#include "bperp/numeric/arrays.h"

namespace bperp {

// Slots of the Doppler record fdm (dvector(0, 10); slot 10 is never used).
namespace fdm_slot {
constexpr int centroid = 0;   // Hz
constexpr int rate = 1;       // Hz/s
constexpr int scene_x = 2;    // km
constexpr int scene_y = 3;
constexpr int scene_z = 4;
constexpr int rate2 = 5;      // Hz/s^2
constexpr int rate3 = 6;      // Hz/s^3
constexpr int spare = 7;      // always 0.0
constexpr int incidence = 8;  // rad
constexpr int off_nadir = 9;  // rad
constexpr int high = 10;
}  // namespace fdm_slot

// The Doppler model selector that has the scene point located and the
// Doppler values computed by scan_point_sar_2.
constexpr int doppler_model_scan_point = 4;

// Fills fdm[0..9] for the master pass: data_m the master state-vector matrix,
// R the slant range (km), facter_m the settings. The selector facter_m[30]
// must round to 4 (rtoi); any other whole number fills the Doppler values
// and the scene point with zeros. search, if given, receives how the scene
// point search went.
void doppler_cal4z(double R, const DMatrix& data_m, const DVector& facter_m, DVector& fdm,
                   SceneSearch* search = nullptr);

// Viewing angles, rad, of the satellite P (data_m rows 0..2, km) and the
// scene point T (km): incidence at T between the direction to the satellite
// and T's geocentric radial; off_nadir at P between the line of sight and the
// direction to the earth's centre; beta at the centre between P and T. A
// cosine beyond +-1 by rounding gives 0.0. A zero-length vector gives NaN.
void inci_off_beta(const double* scene_point, const DMatrix& data_m, double* incidence,
                   double* off_nadir, double* beta);

}  // namespace bperp
