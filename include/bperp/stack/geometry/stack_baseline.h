// Baselines of a whole stack against one reference pass: the reference's
// scene point and viewing geometry worked out once, then each secondary's
// baseline decomposed against them exactly as bperp decomposes one pair.
//
// Frame: earth-fixed. Internal units km, km/s, rad; the fields say so.
#pragma once

#include <string>

#include "bperp/baseline/baseline_run.h"

namespace bperp::stack {

// The reference's geometry: what bperp works out for the master pass and
// the scene point in geodetic terms. status is bperp's verdict on the
// master; the other fields are to be used only when it is ok.
struct ReferenceGeometry {
  RunStatus status = RunStatus::ok;
  StateVector state;            // the reference state vector (km, km/s)
  double slant_range = 0.0;     // km
  double scene_point[3] = {0.0, 0.0, 0.0};  // km
  double latitude = 0.0;        // geodetic latitude of the scene point, rad
  double longitude = 0.0;       // rad
  double height = 0.0;          // above the GRS80 ellipsoid, km
  double incidence = 0.0;       // at the scene point, from the ellipsoid normal, rad
  double off_nadir = 0.0;       // at the satellite, rad
  double doppler_centroid = 0.0;  // Hz
  double doppler_rate = 0.0;      // Hz/s
  double wavelength = 0.0;        // c / f0 of the settings, km
  MasterGeometry master;          // state-vector matrix and Doppler record, kept
};

// Locates the reference's scene point once, as bperp locates its master's,
// and fills the geometry. A reference that bperp refuses as a master gives
// that status and nothing else.
ReferenceGeometry reference_geometry(const StateVector& reference);

// One secondary's baseline against the reference. Lengths in km.
struct StackBaseline {
  RunStatus status = RunStatus::ok;  // not_finite_input or not_finite_result on failure
  double parallel = 0.0;             // B . U, as bperp computes it
  double perpendicular = 0.0;        // B . V, as bperp computes it
  double along_track = 0.0;  // B . v / |v|, v the secondary's earth-fixed velocity; NaN for v = 0
  double length = 0.0;       // |B|
  // lambda * R * sin(incidence) / (2 * perpendicular); NaN for a zero
  // perpendicular baseline.
  double height_of_ambiguity = 0.0;
};

// B = reference position - secondary position decomposed on the reference's
// look vector: the same base_cal1 call on the same numbers as bperp's run
// of the pair, so parallel and perpendicular are bit for bit bperp's.
StackBaseline stack_baseline(const ReferenceGeometry& reference, const StateVector& secondary);

// Message for a reference that cannot serve (one line, no newline).
std::string reference_failure_text(RunStatus status, const std::string& path);

}  // namespace bperp::stack
