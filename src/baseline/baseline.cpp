#include "bperp/baseline/baseline.h"

#include <cmath>

#include "bperp/geometry/settings.h"
#include "bperp/geometry/doppler_record.h"
#include "bperp/numeric/vec3.h"

namespace bperp {

void coef_calc21(double R, const DVector& facter_m, const DMatrix& data_m, const DMatrix& data_s,
                 double* out_parallel, double* out_perpendicular, double* fdm_out,
                 SceneSearch* search) {
  DVector fdm = dvector(0, fdm_slot::high);
  doppler_cal4z(R, data_m, facter_m, fdm, search);
  double parallel = 0.0, perpendicular = 0.0;
  base_cal1(data_m, data_s, fdm, &parallel, &perpendicular);
  *out_parallel = parallel;
  *out_perpendicular = perpendicular;
  if (fdm_out != nullptr) {
    for (int i = 0; i < fdm_slot::high; ++i) fdm_out[i] = fdm[i];
    fdm_out[fdm_slot::high] = 0.0;  // never written by the record's filler
  }
  free_dvector(fdm, 0);
}

void base_cal1(const DMatrix& data_m, const DMatrix& data_s, const DVector& fdm,
               double* out_parallel, double* out_perpendicular) {
  const double B[3] = {data_m[sv::x][sv::state] - data_s[sv::x][sv::state],
                       data_m[sv::y][sv::state] - data_s[sv::y][sv::state],
                       data_m[sv::z][sv::state] - data_s[sv::z][sv::state]};
  const double T[3] = {fdm[fdm_slot::scene_x], fdm[fdm_slot::scene_y], fdm[fdm_slot::scene_z]};
  const double L[3] = {T[0] - data_m[sv::x][sv::state], T[1] - data_m[sv::y][sv::state],
                       T[2] - data_m[sv::z][sv::state]};
  double U[3], V[3];
  normal_vectors(L, data_m, T, U, V);
  *out_parallel = dot(B, U);
  *out_perpendicular = dot(B, V);
}

void normal_vectors(const double* look, const DMatrix& data_m, const double* scene,
                    double* unit_look, double* unit_perpendicular) {
  const double* L = look;
  const double* T = scene;
  const double P[3] = {data_m[sv::x][sv::state], data_m[sv::y][sv::state],
                       data_m[sv::z][sv::state]};
  const double length_L = norm(L);
  // W = P x T, the normal of the plane of the centre, P and T.
  double W[3];
  cross(P, T, W);
  // N = L x W lies in that plane, at right angles to L, away from the earth.
  double N[3];
  cross(L, W, N);
  const double length_N = norm(N);
  for (int i = 0; i < 3; ++i) {
    unit_look[i] = L[i] / length_L;
    unit_perpendicular[i] = N[i] / length_N;
  }
}

}  // namespace bperp
