// One run over a stack: the reference read and its geometry worked out,
// then every secondary read, checked for what can be a repeat pass, moved to
// its closest approach to the reference (an orbit interpolated there, a
// state vector propagated along its orbit) and decomposed.
#pragma once

#include <cmath>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bperp/stack/geometry/orbit_alignment.h"
#include "bperp/stack/geometry/propagation.h"
#include "bperp/stack/geometry/stack_baseline.h"
#include "bperp/stack/geometry/zero_doppler.h"
#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/inputs/orbit_catalogue.h"

namespace bperp::stack {

// The most a secondary's position may differ from where the alignment put
// it before its baseline is refused, km (1 cm).
constexpr double max_interpolation_error = 1e-5;

// The default longest baseline, km: above the critical baseline of every
// sensor in use (about 46 km for an L-band SAR at 84 MHz of range bandwidth,
// a few km for C band), so that no usable pair is refused, and far below the
// thousands of km of another track or another satellite.
constexpr double default_max_length = 50.0;

// Where the baselines of a stack with a product or a dated orbit as its
// reference are taken: the target the reference sees at a time and a slant
// range (by default the middle of its image), or a given point.
struct TargetOptions {
  std::optional<UtcTime> at_time;       // replaces the product's centre time
  std::optional<double> at_range;       // slant range, km; replaces the product's mid range
  std::optional<Geodetic> at_point;     // the target itself (height km)
  std::optional<double> height;         // km above WGS84, for a target at a time and range (default 0)
  std::optional<LookSide> look;         // for an orbit reference (products know theirs)
  std::optional<double> wavelength;     // km; replaces the product's and the settings'
  std::optional<double> sensor_wavelength;  // km, of --sensor: where no product gives one
};

// How the run treats its secondaries.
struct StackOptions {
  // Use state-vector secondaries where they stand, as bperp does for a pair.
  bool as_given = false;
  // A baseline longer than this (km) cannot be a repeat pass and is refused.
  double max_length = default_max_length;
  TargetOptions target;
  ReadOptions read;
  // Baselines across the scene: lines x ranges targets from the reference's
  // first to last line and near to far range (a geocoded product: its grid
  // from corner to corner).
  std::optional<std::pair<int, int>> grid;
};

struct GridPoint;

// Which geometry the stack's baselines are taken in.
enum class GeometryMode {
  beam,          // a state-vector reference: bperp's beam 7 scene point
  zero_doppler,  // a product or dated orbit: the target at zero Doppler
};

// The reference's view of the target in zero-Doppler mode.
struct ZeroDopplerReference {
  ZeroDopplerGeometry view;
  std::optional<UtcTime> time;  // UTC of view.t, when the orbit's epoch is known
  double wavelength = 0.0;      // km
  std::string wavelength_source;  // "product", "--wavelength" or "settings"
  std::string orbit_source;       // "annotation", an orbit file's name, "orbit file"
  LookSide look = LookSide::right;
  std::optional<long> relative_orbit;  // Sentinel-1: the track
};

// One secondary's outcome. ok() when error is empty; then baseline holds
// its numbers and state the vector they were computed from.
struct SecondaryResult {
  // The file as read, shared by the results of every grid point.
  std::shared_ptr<const Acquisition> source;
  const Acquisition& acquisition() const { return *source; }
  std::optional<Alignment> alignment;  // for orbits that reached the search
  std::optional<TimeShift> shift;      // for state vectors moved along their orbit
  StateVector state;                   // the vector used: as read, aligned or moved
  StackBaseline baseline;
  std::optional<long> days;  // secondary date - reference date, when both are known
  // Zero-Doppler mode: the decomposition at the target, the secondary's
  // zero-Doppler time in UTC and the exact days from the reference's.
  std::optional<ZeroDopplerBaseline> zero_doppler;
  std::optional<UtcTime> time;
  std::optional<double> days_exact;
  double doppler_centroid = NAN;  // Hz, toward the target, when it can be worked out
  std::string error;         // why it cannot be used, naming the file
  // With a grid: the points of the grid where it has no baseline, and the
  // first one's reason (StackRun::grid holds each point's result).
  std::size_t grid_failed = 0;
  std::string grid_error;
  bool ok() const { return error.empty(); }
  // ok() and a baseline at every point of the grid (when there is one).
  bool complete() const { return ok() && grid_failed == 0; }
};

struct StackRun {
  Acquisition reference;
  GeometryMode mode = GeometryMode::beam;
  ReferenceGeometry geometry;  // beam mode
  ZeroDopplerReference zero_doppler;  // zero-Doppler mode
  std::string reference_error;        // non-empty: the run cannot go on
  std::vector<SecondaryResult> secondaries;
  std::vector<std::string> warnings;  // one line each, naming the files; not errors
  std::vector<GridPoint> grid;        // with StackOptions::grid, row by row
  double doppler_centroid = NAN;      // the reference's, Hz, when it can be worked out
  // Every value asked for was computed: the reference and every secondary
  // are usable, and with a grid each secondary has a baseline at every point.
  bool all_ok() const;
};

// The most baselines (grid points x secondaries) one run with --grid
// computes. A grid point holds about 2.4 kB with its first secondary's
// result and 0.6 kB for each further one, and the JSON document takes some
// 5 kB more per baseline while it is built: at the bound about 1.2 GB for
// the table and CSV and 3.8 GB for JSON. 500,000 is a 1000 x 500 grid of
// one secondary, 100 x 100 of fifty, 50 x 50 of two hundred.
constexpr std::size_t max_grid_baselines = 500000;

// One target of a grid: its indices (0-based, line first), its map
// coordinates when the grid is a geocoded product's, and the stack's run
// there (the reference's view of that target and every secondary's
// baseline at it; reference_error when the reference cannot see it). The
// point's run holds no copy of the reference: its reference is empty, the
// stack's own StackRun::reference is the one read.
struct GridPoint {
  int line = 0;
  int range = 0;
  std::optional<double> x, y;  // m, in the product's map projection
  TargetOptions target;        // where the target is asked for
  StackRun run;
};

// The reference file read and its geometry located: the beam geometry of
// a state vector, the zero-Doppler view of the target for a product or a
// dated orbit. orbits: orbit files to use instead of the products' own
// orbit lists (null or empty: the products' own). On failure
// reference_error says why and nothing else is filled.
StackRun start_stack(const std::string& reference_path, const StackOptions& options = {},
                     const OrbitCatalogue* orbits = nullptr);

// The relative orbit (track) of a Sentinel-1 absolute orbit: S1A
// (absolute - 73) mod 175 + 1, S1B (absolute - 27) mod 175 + 1; nullopt for
// other missions.
std::optional<long> sentinel1_relative_orbit(const std::string& mission, long absolute_orbit);

// One secondary against a started stack (reference_error empty).
SecondaryResult run_secondary(const StackRun& run, std::shared_ptr<const Acquisition> secondary,
                              const StackOptions& options = {});

// The whole stack: start_stack, then run_secondary for each path (skipped
// when the reference failed). A product reference that gives no wavelength
// (nor radar frequency) is refused unless --wavelength or --sensor gives
// one. A file given twice (under two names, or the reference among the
// secondaries) is used once, two files of the same date are noted, and a
// product secondary of another wavelength than the settings' that the run
// falls back on is noted, with a warning each. orbits as for start_stack.
StackRun run_stack(const std::string& reference_path, const std::vector<std::string>& secondaries,
                   const StackOptions& options = {}, const OrbitCatalogue* orbits = nullptr);

}  // namespace bperp::stack
