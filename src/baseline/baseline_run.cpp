#include "bperp/baseline/baseline_run.h"

#include <cmath>

#include "bperp/baseline/baseline.h"
#include "bperp/earth/earth_model.h"
#include "bperp/geometry/doppler_record.h"
#include "bperp/geometry/settings.h"
#include "bperp/numeric/scalar.h"
#include "bperp/numeric/vec3.h"

namespace bperp {


double slant_range_at(double X, double Y, double Z, double theta, double* earth_radius) {
  double record[subpoint::size];
  earth_r1(X, Y, Z, record, 1);
  const double Re = record[subpoint::radius];
  if (earth_radius != nullptr) *earth_radius = Re;
  const double r = std::sqrt((X * X + Y * Y) + Z * Z);
  const double s = ipow(r * std::sin(theta), 2);
  return r * std::cos(theta) - std::sqrt(Re * Re - s);
}

double slant_range(const DMatrix& data_m, double theta, double* earth_radius) {
  return slant_range_at(data_m[sv::x][sv::state], data_m[sv::y][sv::state],
                        data_m[sv::z][sv::state], theta, earth_radius);
}

double beam_off_nadir() { return data_vornix_off[run_beam] * degrees_to_radians; }

namespace {

// A slant range (km) that is not a positive finite number says why.
RunStatus slant_range_status(double R) {
  if (std::isnan(R)) return RunStatus::beam_misses_earth;
  if (!(R > 0.0) || !std::isfinite(R)) return RunStatus::inside_earth;
  return RunStatus::ok;
}

// True when the velocity v (km/s) is zero or parallel to P (km): the cross
// product of the two unit vectors is no longer than 1e-6. Closer to parallel
// the rounding of v x P turns the cross-track axis by up to 1e-16 / 1e-6 rad
// off the right angle to P, and the scene point leaves the slant range. Taken
// on unit vectors, so that no length overflows.
bool parallel_or_zero(const double* P, const double* v) {
  const double rp = std::hypot(P[0], P[1], P[2]);
  const double rv = std::hypot(v[0], v[1], v[2]);
  const double p[3] = {P[0] / rp, P[1] / rp, P[2] / rp};
  const double u[3] = {v[0] / rv, v[1] / rv, v[2] / rv};
  double c[3];
  cross(u, p, c);
  return !(std::hypot(c[0], c[1], c[2]) > 1e-6);  // NaN (v = 0) too
}

}  // namespace

RunStatus check_master(const StateVector& master, double R) {
  if (!all_finite(master.position) || !all_finite(master.velocity))
    return RunStatus::not_finite_input;
  const double* P = master.position;
  const double* v = master.velocity;
  // Where the beam meets the earth decides first: a master inside the earth
  // (the centre has no direction, so no earth radius) or so far out that the
  // beam misses has no geometry to speak of.
  if (P[0] == 0.0 && P[1] == 0.0 && P[2] == 0.0) return RunStatus::inside_earth;
  const RunStatus range = slant_range_status(R);
  if (range != RunStatus::ok) return range;
  // The cross-track axis is built from the inertial velocity v + omega x r;
  // an earth-fixed velocity that is zero or along the position is no orbit.
  double inertial[3];
  inertial_velocity(master, inertial);
  if (parallel_or_zero(P, v) || parallel_or_zero(P, inertial)) return RunStatus::no_cross_track;
  // The scene point search normalises inertial x position as it stands; for
  // a velocity of about 1e150 km/s and more its squared length overflows and
  // the axis comes out as zero.
  double n[3];
  cross(inertial, P, n);
  if (!std::isfinite(dot(n, n))) return RunStatus::no_cross_track;
  return RunStatus::ok;
}

namespace {

RunStatus check_slave(const StateVector& slave) {
  if (!all_finite(slave.position) || !all_finite(slave.velocity))
    return RunStatus::not_finite_input;
  return RunStatus::ok;
}

// Whether the scene point T is where it was sought: at the slant range R
// (km) from the master P and on the scene ellipsoid, both to 1e-6
// (relative). A settled iteration leaves it within about 1e-12; anything
// farther means the look geometry was lost on the way (an axis degraded by
// rounding, say).
bool located_at_slant_range(const double* T, const double* P, double R) {
  const double range = std::hypot(T[0] - P[0], T[1] - P[1], T[2] - P[2]);
  const double a = setting::ellipsoid_a, b = setting::ellipsoid_b;
  const double surface = (T[0] / a) * (T[0] / a) + (T[1] / a) * (T[1] / a) + (T[2] / b) * (T[2] / b);
  return std::fabs(range - R) <= 1e-6 * R && std::fabs(surface - 1.0) <= 1e-6;
}

// What the search says about the scene point T at slant range R, for a
// master P whose state and slant range have passed check_master.
RunStatus scene_status(const SceneSearch& search, const double* T, const double* P, double R) {
  if (!search.started) return RunStatus::no_start_angle;
  if (!search.converged) return RunStatus::not_converged;
  if (!located_at_slant_range(T, P, R)) return RunStatus::not_located;
  return RunStatus::ok;
}

// The same for a whole run, and then whether its result is finite.
RunStatus classify(const BaselineRun& run, const double* P) {
  const RunStatus scene = scene_status(run.search, run.scene_point, P, run.slant_range);
  if (scene != RunStatus::ok) return scene;
  if (!std::isfinite(run.parallel) || !std::isfinite(run.perpendicular))
    return RunStatus::not_finite_result;
  return RunStatus::ok;
}

// The settings are fixed and only ever read: the vector is filled on the
// first use and kept for the process, so that a run does not allocate and
// clear its 1,001 doubles again.
const DVector& fixed_settings() {
  static const DVector facter_m = processing_parameters();
  return facter_m;
}

}  // namespace

BaselineRun run_baseline(const StateVector& master, const StateVector& slave) {
  BaselineRun run;
  const double* P = master.position;
  // Kept on a refusal too: it tells a caller how far off the geometry was.
  run.slant_range = slant_range_at(P[0], P[1], P[2], beam_off_nadir(), &run.earth_radius);
  run.status = check_master(master, run.slant_range);
  if (run.status == RunStatus::ok) run.status = check_slave(slave);
  if (run.status != RunStatus::ok) return run;

  const DVector& facter_m = fixed_settings();
  DMatrix data_m = state_vector_matrix(master);
  DMatrix data_s = state_vector_matrix(slave);

  double fdm[fdm_slot::high + 1];
  coef_calc21(run.slant_range, facter_m, data_m, data_s, &run.parallel, &run.perpendicular, fdm,
              &run.search);
  run.scene_point[0] = fdm[fdm_slot::scene_x];
  run.scene_point[1] = fdm[fdm_slot::scene_y];
  run.scene_point[2] = fdm[fdm_slot::scene_z];
  run.doppler_centroid = fdm[fdm_slot::centroid];
  run.doppler_rate = fdm[fdm_slot::rate];
  run.doppler_rate2 = fdm[fdm_slot::rate2];
  run.doppler_rate3 = fdm[fdm_slot::rate3];
  run.incidence = fdm[fdm_slot::incidence];
  run.off_nadir = fdm[fdm_slot::off_nadir];
  run.status = classify(run, P);

  free_dmatrix(data_m, 0, sv::row_high, 0);
  free_dmatrix(data_s, 0, sv::row_high, 0);
  return run;
}

MasterGeometry master_geometry(const StateVector& master) {
  MasterGeometry g;
  g.state = master;
  const double* P = master.position;
  g.slant_range = slant_range_at(P[0], P[1], P[2], beam_off_nadir(), &g.earth_radius);
  g.status = check_master(master, g.slant_range);
  if (g.status != RunStatus::ok) return g;

  // The calls coef_calc21 makes for every pair, made once: the Doppler
  // record is kept, for base_cal1 to decompose each slave against.
  g.data_m = state_vector_matrix(master);
  g.fdm = dvector(0, fdm_slot::high);
  g.fdm[fdm_slot::high] = 0.0;  // never written by the record's filler
  doppler_cal4z(g.slant_range, g.data_m, fixed_settings(), g.fdm, &g.search);
  const double T[3] = {g.fdm[fdm_slot::scene_x], g.fdm[fdm_slot::scene_y],
                       g.fdm[fdm_slot::scene_z]};
  g.status = scene_status(g.search, T, P, g.slant_range);
  return g;
}

RunStatus decompose_baseline(const MasterGeometry& master, const StateVector& slave,
                             double* out_parallel, double* out_perpendicular) {
  if (check_slave(slave) != RunStatus::ok) return RunStatus::not_finite_input;
  const DMatrix data_s = state_vector_matrix(slave);
  base_cal1(master.data_m, data_s, master.fdm, out_parallel, out_perpendicular);
  if (!std::isfinite(*out_parallel) || !std::isfinite(*out_perpendicular))
    return RunStatus::not_finite_result;
  return RunStatus::ok;
}

std::string run_failure_message(RunStatus status, const char* master_path,
                                const char* slave_path) {
  const std::string m = master_path, s = slave_path;
  switch (status) {
    case RunStatus::ok:
      return {};
    case RunStatus::not_finite_input:
      return "the state vectors of " + m + " and " + s + " are not all finite numbers\n";
    case RunStatus::no_cross_track:
      return "can't locate the scene point: the velocity in " + m +
             " is zero, parallel to the position or too large (no cross-track direction)\n";
    case RunStatus::inside_earth:
      return "can't compute the slant range: the position in " + m +
             " is at or inside the earth\n";
    case RunStatus::beam_misses_earth:
      return "can't compute the slant range: the beam from the position in " + m +
             " misses the earth\n";
    case RunStatus::no_start_angle:
      return "can't locate the scene point: the slant range from " + m +
             " is shorter than the satellite's height\n";
    case RunStatus::not_converged:
      return "can't locate the scene point: the look-angle iteration for " + m +
             " did not settle\n";
    case RunStatus::not_located:
      return "can't locate the scene point: the point found for " + m +
             " is not on the earth at the slant range\n";
    case RunStatus::not_finite_result:
      return "the baseline of " + m + " and " + s + " is not finite\n";
  }
  return "the baseline run failed\n";
}

}  // namespace bperp
