#include "bperp/geometry/doppler_record.h"

#include <cmath>

#include "bperp/geometry/settings.h"
#include "bperp/numeric/scalar.h"
#include "bperp/numeric/vec3.h"

namespace bperp {

namespace {

// acos of a cosine, with 0.0 where rounding carried it beyond +-1.
double angle_of(double cosine) { return std::fabs(cosine) > 1.0 ? 0.0 : std::acos(cosine); }

}  // namespace

void doppler_cal4z(double R, const DMatrix& data_m, const DVector& facter_m, DVector& fdm,
                   SceneSearch* search) {
  double scene_point[3] = {0.0, 0.0, 0.0};
  double block[doppler::size] = {0.0, 0.0, 0.0, 0.0, 0.0};
  const int model = rtoi(facter_m[param::doppler_model]);
  if (model == doppler_model_scan_point) {
    scan_point_sar_2(facter_m, data_m, R, scene_point, block, 2, search);
  } else if (search != nullptr) {
    *search = SceneSearch{};
  }

  double incidence = 0.0, off_nadir = 0.0, beta = 0.0;
  inci_off_beta(scene_point, data_m, &incidence, &off_nadir, &beta);

  fdm[fdm_slot::centroid] = block[doppler::centroid];
  fdm[fdm_slot::rate] = block[doppler::rate];
  fdm[fdm_slot::scene_x] = scene_point[0];
  fdm[fdm_slot::scene_y] = scene_point[1];
  fdm[fdm_slot::scene_z] = scene_point[2];
  fdm[fdm_slot::rate2] = block[doppler::rate2];
  fdm[fdm_slot::rate3] = block[doppler::rate3];
  fdm[fdm_slot::spare] = block[doppler::spare];
  fdm[fdm_slot::incidence] = incidence;
  fdm[fdm_slot::off_nadir] = off_nadir;
}

void inci_off_beta(const double* scene_point, const DMatrix& data_m, double* incidence,
                   double* off_nadir, double* beta) {
  const double P[3] = {data_m[sv::x][sv::state], data_m[sv::y][sv::state],
                       data_m[sv::z][sv::state]};
  const double* T = scene_point;

  const double d[3] = {P[0] - T[0], P[1] - T[1], P[2] - T[2]};
  const double inv_d = 1.0 / norm(d);
  const double e_d[3] = {d[0] * inv_d, d[1] * inv_d, d[2] * inv_d};
  const double inv_p = 1.0 / norm(P);
  const double e_r[3] = {P[0] * inv_p, P[1] * inv_p, P[2] * inv_p};
  const double inv_t = 1.0 / norm(T);
  const double e_t[3] = {T[0] * inv_t, T[1] * inv_t, T[2] * inv_t};

  *off_nadir = angle_of(dot(e_d, e_r));
  *incidence = angle_of(dot(e_d, e_t));
  *beta = angle_of(dot(e_r, e_t));
}

}  // namespace bperp
