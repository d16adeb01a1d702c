// The scene point that the master satellite sees at a slant range, and the
// Doppler centroid with its first three time derivatives there.
//
// Frame: earth-fixed (origin at the earth's centre, z along the rotation
// axis); positions in km, velocities in km/s, angles in rad.
#pragma once

#include "bperp/numeric/arrays.h"

namespace bperp {

// Slots of the Doppler output block (five doubles).
namespace doppler {
constexpr int centroid = 0;  // Hz
constexpr int rate = 1;      // Hz/s
constexpr int rate2 = 2;     // Hz/s^2
constexpr int rate3 = 3;     // Hz/s^3
constexpr int spare = 4;     // always 0.0
constexpr int size = 5;
}  // namespace doppler

// The Newton iteration on the look angle is capped at this many iterations.
constexpr int newton_max_iterations = 31;

// How the search for the scene point went, for callers that must tell a
// located point from one that merely flowed out of the computation.
struct SceneSearch {
  bool started = false;     // the start angle acos(h / R) was a number
  bool converged = false;   // the last relative step was at most 1e-9
  int iterations = 0;       // Newton iterations made (0 when not started)
  double look_angle = 0.0;  // theta after the last update, rad
  double height = 0.0;      // satellite height above the model ellipsoid, km
};

// The scene point T that the satellite at P (data_m rows 0..2, km) moving with the inertial
// velocity Vs (rows 3..5, km/s) sees at slant range R (km), with the attitude
// and look side of facter_m, on the ellipsoid X^2/a^2 + Y^2/a^2 + Z^2/b^2 = 1
// (a, b from facter_m). Writes T to scene_point[0..2] and the Doppler block
// to doppler_out[0..4]. mode 2 is the only mode the system uses; any other
// mode is treated as 2.
// Degenerate input: no valid start angle (R shorter than the height, or NaN)
// gives T = (0, 0, 0); no convergence within 31 iterations leaves the point
// of the 31st; NaN flows on. search, if given, tells which.
void scan_point_sar_2(const DVector& facter_m, const DMatrix& data_m, double R,
                      double* scene_point, double* doppler_out, int mode,
                      SceneSearch* search = nullptr);

// The Doppler block for a satellite at P with inertial velocity Vs (km,
// km/s) on a two-body orbit, looking at the earth-fixed scene point T turning
// with the earth: r = |P|, e_r = P / |P| as the caller formed them, L = T - P.
// Writes doppler_out[0..4]: centroid, rate, second and third derivative (0.0
// when derivative_switch is 9), 0.0. Hz and its time derivatives.
// c_km_s and f0_hz are the speed of light and the carrier frequency.
void doppler_derivatives(const double* P, const double* Vs, double r, const double* e_r,
                         const double* T, const double* L, double c_km_s, double f0_hz,
                         int derivative_switch, double* doppler_out);

}  // namespace bperp
