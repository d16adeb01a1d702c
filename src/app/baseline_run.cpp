#include "app/baseline_run.h"

#include <cmath>

#include "app/settings.h"
#include "baseline/baseline.h"
#include "earth/earth_model.h"
#include "geometry/doppler_record.h"
#include "numeric/fatal_error.h"
#include "numeric/scalar.h"

namespace bperp {

const double data_vornix_off[beam_count] = {
    9.9,  14.0, 18.0, 21.5, 25.8, 28.8, 30.8, 34.3, 36.9,                    // 0-8
    38.9, 41.5, 43.4, 45.2, 46.6, 47.5, 49.0, 50.0, 50.8,                    // 9-17
    20.1, 26.1, 30.6, 34.1, 36.5,                                            // 18-22
    9.7,  13.8, 16.2, 17.3, 18.1, 19.3, 20.5, 21.5, 23.1, 24.2, 25.2, 26.2,  // 23-34
};

DMatrix state_vector_matrix(const StateVector& sv) {
  DMatrix m = dmatrix(0, bperp::sv::row_high, 0, bperp::sv::col_high);
  for (int i = 0; i < bperp::sv::used_rows; ++i)
    for (int j = 0; j < bperp::sv::used_cols; ++j) m[i][j] = 0.0;
  const double X = sv.position[0], Y = sv.position[1], Z = sv.position[2];
  const double VX = sv.velocity[0], VY = sv.velocity[1], VZ = sv.velocity[2];
  using namespace bperp::sv;
  m[x][state] = X;
  m[y][state] = Y;
  m[z][state] = Z;
  m[x][as_read] = VX;
  m[y][as_read] = VY;
  m[z][as_read] = VZ;
  // Inertial velocity: v + omega x r with omega along z.
  m[vx][state] = VX - run_omega * Y;
  m[vy][state] = VY + run_omega * X;
  m[vz][state] = VZ;
  return m;
}

DVector processing_parameters() {
  DVector f = dvector(0, param::high);
  set_zero_double(f.data(), param::cleared);
  f[param::doppler_model] = setting::doppler_model;
  f[param::light_speed] = setting::light_speed;
  f[param::carrier_frequency] = setting::carrier_frequency;
  f[param::yaw] = setting::yaw;
  f[param::earth_model] = setting::earth_model;
  f[param::look_side] = setting::look_side;
  f[param::roll] = setting::roll;
  f[param::pitch] = setting::pitch;
  f[param::ellipsoid_a] = setting::ellipsoid_a;
  f[param::ellipsoid_b] = setting::ellipsoid_b;
  f[param::derivative_switch] = setting::derivative_switch;
  return f;
}

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
  const double c[3] = {u[1] * p[2] - p[1] * u[2], u[2] * p[0] - u[0] * p[2],
                       p[1] * u[0] - u[1] * p[0]};
  return !(std::hypot(c[0], c[1], c[2]) > 1e-6);  // NaN (v = 0) too
}

}  // namespace

RunStatus check_master(const StateVector& master, double R) {
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(master.position[i]) || !std::isfinite(master.velocity[i]))
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
  const double inertial[3] = {v[0] - run_omega * P[1], v[1] + run_omega * P[0], v[2]};
  if (parallel_or_zero(P, v) || parallel_or_zero(P, inertial)) return RunStatus::no_cross_track;
  // The scene point search normalises inertial x position as it stands; for
  // a velocity of about 1e150 km/s and more its squared length overflows and
  // the axis comes out as zero.
  const double n[3] = {inertial[1] * P[2] - P[1] * inertial[2],
                       inertial[2] * P[0] - inertial[0] * P[2],
                       P[1] * inertial[0] - inertial[1] * P[0]};
  if (!std::isfinite(n[0] * n[0] + n[1] * n[1] + n[2] * n[2])) return RunStatus::no_cross_track;
  return RunStatus::ok;
}

namespace {

RunStatus check_slave(const StateVector& slave) {
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(slave.position[i]) || !std::isfinite(slave.velocity[i]))
      return RunStatus::not_finite_input;
  return RunStatus::ok;
}

// Whether the scene point is where it was sought: at the slant range from
// the master and on the scene ellipsoid, both to 1e-6 (relative). A settled
// iteration leaves it within about 1e-12; anything farther means the look
// geometry was lost on the way (an axis degraded by rounding, say).
bool located_at_slant_range(const BaselineRun& run, const double* P) {
  const double* T = run.scene_point;
  const double range = std::hypot(T[0] - P[0], T[1] - P[1], T[2] - P[2]);
  const double a = setting::ellipsoid_a, b = setting::ellipsoid_b;
  const double surface = (T[0] / a) * (T[0] / a) + (T[1] / a) * (T[1] / a) + (T[2] / b) * (T[2] / b);
  return std::fabs(range - run.slant_range) <= 1e-6 * run.slant_range &&
         std::fabs(surface - 1.0) <= 1e-6;
}

// What the run's numbers say about the scene point and the result, for a
// master P whose state and slant range have passed check_master.
RunStatus classify(const BaselineRun& run, const double* P) {
  if (!run.search.started) return RunStatus::no_start_angle;
  if (!run.search.converged) return RunStatus::not_converged;
  if (!located_at_slant_range(run, P)) return RunStatus::not_located;
  if (!std::isfinite(run.parallel) || !std::isfinite(run.perpendicular))
    return RunStatus::not_finite_result;
  return RunStatus::ok;
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

  // The settings are fixed and only ever read: the vector is filled on the
  // first run and kept for the process, so that a run does not allocate and
  // clear its 1,001 doubles again.
  static const DVector facter_m = processing_parameters();
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

namespace {

// Reads one state-vector file or throws the message that refuses it.
StateVector read_or_throw(const char* path) {
  StateVector sv;
  std::string problem;
  switch (read_state_vector_file(path, sv, &problem)) {
    case FileRead::ok:
      return sv;
    case FileRead::cannot_open:
      throw FatalError("can't open " + std::string(path) + "\n", Stream::standard_output);
    case FileRead::refused:
      break;
  }
  throw FatalError("can't read state vector from " + std::string(path) + "\n  " + problem + "\n",
                   Stream::standard_output);
}

}  // namespace

void Calc_Bp1(const char* master_path, const char* slave_path, double* out_parallel,
              double* out_perpendicular) {
  const StateVector master = read_or_throw(master_path);
  const StateVector slave = read_or_throw(slave_path);
  const BaselineRun run = run_baseline(master, slave);
  if (run.status != RunStatus::ok)
    throw FatalError(run_failure_message(run.status, master_path, slave_path),
                     Stream::standard_output);
  *out_parallel = run.parallel;
  *out_perpendicular = run.perpendicular;
}

}  // namespace bperp
