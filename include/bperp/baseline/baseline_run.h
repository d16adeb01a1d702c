// The checked baseline run in memory: from two state vectors to the
// parallel and perpendicular baselines, with what the run works out on the
// way and, when it cannot give a real result, why.
#pragma once

#include <string>

#include "bperp/geometry/beams.h"
#include "bperp/geometry/scene_point.h"
#include "bperp/geometry/state_vector.h"
#include "bperp/numeric/arrays.h"

namespace bperp {

// Why a run gave no baseline, or ok.
enum class RunStatus {
  ok,
  not_finite_input,   // a state vector holds a NaN or an infinity
  no_cross_track,     // master velocity zero, parallel to its position or overflowing
  inside_earth,       // slant range <= 0: the master is at or inside the earth
  beam_misses_earth,  // slant range not a number: the beam misses the earth
  no_start_angle,     // the slant range is shorter than the satellite's height
  not_converged,      // the look-angle iteration did not settle
  not_located,        // the point found is not on the ellipsoid at the slant range
  not_finite_result,  // a baseline component is not finite
};

// Everything one run works out. Lengths in km, angles in rad, Doppler in Hz
// and its time derivatives; frame earth-fixed.
struct BaselineRun {
  RunStatus status = RunStatus::ok;
  double parallel = 0.0;       // B . U
  double perpendicular = 0.0;  // B . V
  double slant_range = 0.0;    // R of the beam
  double earth_radius = 0.0;   // local radius under the master (earth model 1)
  double scene_point[3] = {0.0, 0.0, 0.0};
  double doppler_centroid = 0.0;
  double doppler_rate = 0.0;
  double doppler_rate2 = 0.0;
  double doppler_rate3 = 0.0;
  double incidence = 0.0;  // at the scene point, from the geocentric radial
  double off_nadir = 0.0;  // at the satellite
  SceneSearch search;
};

// Slant range (km) along a ray at off-nadir angle theta (rad) from the
// master position in data_m to the sphere of the local earth radius Re
// (earth model 1) under it: r cos(theta) - sqrt(Re^2 - (r sin(theta))^2).
// *earth_radius, if given, receives Re. NaN when the ray misses the sphere.
double slant_range(const DMatrix& data_m, double theta, double* earth_radius = nullptr);
// The same for the master position (X, Y, Z), km.
double slant_range_at(double X, double Y, double Z, double theta, double* earth_radius = nullptr);
// The off-nadir angle of the run's beam, rad.
double beam_off_nadir();

// Whether a master state vector can be taken: finite, and neither the
// earth-fixed velocity nor the inertial one (with omega x r) zero or parallel
// to the position, nor so large that the cross-track axis overflows; and the
// beam meets the earth. ok, not_finite_input, inside_earth,
// beam_misses_earth (slant range not positive / not a number, tested first)
// or no_cross_track.
// R is the master's slant range (slant_range_at).
RunStatus check_master(const StateVector& master, double R);

// The whole run for two state vectors; never throws for bad geometry (the
// status says what went wrong and the numbers are then not to be used).
BaselineRun run_baseline(const StateVector& master, const StateVector& slave);

// The master pass's geometry, located once and kept, so that any number of
// slaves can be decomposed against it with exactly the numbers of a run of
// each pair (a stack of acquisitions against one reference).
struct MasterGeometry {
  RunStatus status = RunStatus::ok;  // the other fields are to be used only when ok
  StateVector state;                 // the master state vector, km, km/s
  double slant_range = 0.0;          // R of the beam, km
  double earth_radius = 0.0;         // local radius under the master (earth model 1), km
  DMatrix data_m;                    // the master's state-vector matrix
  DVector fdm;                       // its Doppler record (dvector(0, 10), slot 10 zero)
  SceneSearch search;
};

// Checks the master as run_baseline does and locates its scene point: the
// same calls on the same numbers as every run with this master. status is
// ok, or the reason the master cannot serve (check_master, then
// no_start_angle, not_converged, not_located).
MasterGeometry master_geometry(const StateVector& master);

// B = master - slave on the master's look geometry (master.status ok): B . U
// to *out_parallel and B . V to *out_perpendicular, km, bit for bit what
// run_baseline gives for the pair. ok, not_finite_input (the slave holds a
// NaN or an infinity; nothing written) or not_finite_result.
RunStatus decompose_baseline(const MasterGeometry& master, const StateVector& slave,
                             double* out_parallel, double* out_perpendicular);

// The message for a failed run, naming the files (one line, with newline).
std::string run_failure_message(RunStatus status, const char* master_path,
                                const char* slave_path);

}  // namespace bperp
