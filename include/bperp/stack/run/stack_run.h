// One run over a stack: the reference read and its geometry worked out,
// then every secondary read, checked for what can be a repeat pass, moved to
// its closest approach to the reference (an orbit interpolated there, a
// state vector propagated along its orbit) and decomposed; with a grid, the
// same at every target of it.
#pragma once

#include <cmath>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "bperp/stack/geometry/orbit_alignment.h"
#include "bperp/stack/geometry/propagation.h"
#include "bperp/stack/geometry/stack_baseline.h"
#include "bperp/stack/geometry/wgs84.h"
#include "bperp/stack/geometry/zero_doppler.h"
#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/inputs/orbit_catalogue.h"
#include "bperp/stack/inputs/product.h"
#include "bperp/stack/support/refusal.h"
#include "bperp/stack/support/utc_time.h"
#include "bperp/stack/support/warning.h"

namespace bperp::stack {

// ---- What a run is asked for: where the target lies (for a product or
// dated-orbit reference), how secondaries are treated and read, and the
// grid. Filled once from the request, never changed by the run. ----

// The most a secondary's position may differ from where the alignment put
// it before its baseline is refused, km (1 cm).
constexpr double max_interpolation_error = 1e-5;

// The default longest baseline, km: above the critical baseline of every
// sensor in use (about 46 km for an L-band SAR at 84 MHz of range bandwidth,
// a few km for C band), so that no usable pair is refused, and far below the
// thousands of km of another track or another satellite.
constexpr double default_max_length = 50.0;

// The most baselines (grid points x secondaries) one run with --grid
// computes. No grid is held: the baselines are worked out again as the
// outputs write them, a grid line at a time (grid.h), so that the bound is
// one of time (some 40 s at it), not of memory. 500,000 is a 1000 x 500
// grid of one secondary, 100 x 100 of fifty, 50 x 50 of two hundred.
constexpr std::size_t max_grid_baselines = 500000;

// Where the baselines of a stack with a product or a dated orbit as its
// reference are taken: the target the reference sees at a time and a slant
// range (by default the middle of its image), or a given point.
struct TargetOptions {
  std::optional<UtcTime> at_time;           // replaces the product's centre time
  std::optional<double> at_range;           // slant range, km; replaces the product's mid range
  std::optional<Geodetic> at_point;         // the target itself (height km)
  std::optional<double> height;             // km above WGS84, for a target at a time and range (default 0)
  std::optional<LookSide> look;             // for an orbit reference (products know theirs)
  std::optional<double> wavelength;         // km; replaces the product's and the settings'
  std::optional<double> sensor_wavelength;  // km, of --sensor: where no product gives one
  std::optional<std::string> burst;         // a burst ID ("t042_088905_iw1"): the target at that burst's middle
};

// A grid of targets: lines (along the reference's track, or a geocoded
// product's rows) by ranges (near to far, or its columns).
struct GridSize {
  int lines = 0;
  int ranges = 0;
  std::size_t targets() const { return static_cast<std::size_t>(lines) * static_cast<std::size_t>(ranges); }
};

// Asked between the steps of a run (before each secondary is read, before
// each grid point): true stops the run there, its results cut short
// (StackRun::cancelled). Empty: never asked.
using StopCheck = std::function<bool()>;

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
  std::optional<GridSize> grid;
  // With orbit files given, a Sentinel-1 product they do not cover is
  // refused rather than kept on its own orbit with a warning.
  bool require_orbit_files = false;
  // Whether to stop early (a program's Ctrl-C); the command gives none.
  StopCheck stop_requested;
};

// One acquisition of a stack: a file to read (path), or one made in memory
// (made, whose name is how the outputs show it; path then empty).
struct StackInput {
  StackInput(std::string file) : path(std::move(file)) {}  // NOLINT: a path is an input
  StackInput(const char* file) : path(file) {}             // NOLINT: a path is an input
  explicit StackInput(std::shared_ptr<const Acquisition> acquisition) : made(std::move(acquisition)) {}
  std::string path;
  std::shared_ptr<const Acquisition> made;
};

// ---- What a run works out ----

// The reference's view of its target in the zero-Doppler geometry (a
// product or a dated orbit).
struct ZeroDopplerReference {
  ZeroDopplerGeometry view;
  std::optional<UtcTime> time;    // UTC of view.t, when the orbit's epoch is known
  double wavelength = 0.0;        // km
  std::string wavelength_source;  // "product", "option" (--wavelength) or "sensor" (--sensor)
  std::string orbit_source;       // "annotation", an orbit file's name, "orbit file"
  LookSide look = LookSide::right;
  std::optional<long> relative_orbit;  // Sentinel-1: the track
  double doppler_centroid = NAN;       // Hz, toward the target, when the product gives it
  // Whether the target lies outside the span of line times or of slant
  // ranges that the reference's image states; nullopt where it states
  // neither (a geocoded product, a dated orbit). A grid point is inside.
  std::optional<bool> outside_image;
};

// The reference's geometry: bperp's beam geometry of a state vector (its
// Doppler scaled to the run's wavelength), or the zero-Doppler view of a
// product or dated orbit.
using ReferenceView = std::variant<ReferenceGeometry, ZeroDopplerReference>;

// The reference's Doppler centroid (Hz) toward its scene point or target;
// NaN when it is not known.
double reference_doppler_centroid(const ReferenceView& view);

// The zero-Doppler view, or null for the beam geometry.
inline const ZeroDopplerReference* zero_doppler_of(const ReferenceView& view) {
  return std::get_if<ZeroDopplerReference>(&view);
}

// The side the reference looks to: a product's or --look's in the
// zero-Doppler geometry; bperp's beam geometry looks right.
LookSide look_side(const ReferenceView& view);

// One secondary's outcome at one target. ok() without a refusal; then
// baseline holds its numbers and state the vector they were computed from.
struct SecondaryResult {
  // The file as read, shared by the results of every grid point.
  std::shared_ptr<const Acquisition> source;
  const Acquisition& acquisition() const { return *source; }
  std::optional<Alignment> alignment;  // for orbits that reached the search (beam geometry)
  std::optional<TimeShift> shift;      // for state vectors moved along their orbit
  StateVector state;                   // the vector used: as read, aligned or moved
  StackBaseline baseline;
  std::optional<long> days;  // secondary date - reference date, when both are known
  // Zero-Doppler geometry: the decomposition at the target, the
  // secondary's zero-Doppler time in UTC and the exact days from the
  // reference's.
  std::optional<ZeroDopplerBaseline> zero_doppler;
  std::optional<UtcTime> time;
  std::optional<double> days_exact;
  double doppler_centroid = NAN;   // Hz, toward the target, when it can be worked out
  // Where the wavelength for its numbers comes from: "option"
  // (--wavelength), else "product" (its own product's, or for an input
  // that states none the reference product's), "sensor" or "beam" (the
  // beam geometry's L band).
  std::string wavelength_source;
  std::optional<Refusal> refusal;  // why it cannot be used, naming the file
  bool ok() const { return !refusal; }
};

// One target of a grid: its indices (0-based, line first), its map
// coordinates when the grid is a geocoded product's, where it is asked
// for, and the reference's view of it (or why the reference cannot see
// it).
struct GridPoint {
  int line = 0;
  int range = 0;
  std::optional<double> x, y;  // m, in the product's map projection
  TargetOptions target;
  ZeroDopplerReference view;
  std::optional<Refusal> refusal;
};

// How a secondary fared over a grid: the points where it has no baseline,
// and the first one's refusal.
struct GridFailures {
  std::size_t count = 0;
  std::optional<Refusal> first;
};

// A secondary's baselines over the points of a grid where it has one, km:
// how many, their least and greatest parallel and perpendicular parts
// (NaN when none; in this tool's convention), and their sums in the grid's
// order (for averages).
struct GridSpread {
  std::size_t count = 0;
  double parallel_min = NAN, parallel_max = NAN;
  double perpendicular_min = NAN, perpendicular_max = NAN;
  double parallel_sum = 0.0, perpendicular_sum = 0.0;
};

// The inputs of one pass, in the order they were named: slices, swaths,
// or one product given in two forms, which make one acquisition.
using PassInputs = std::vector<std::shared_ptr<const Acquisition>>;

struct StackRun {
  Acquisition reference;
  ReferenceView view;
  std::string wavelength_source;   // the reference's: "product", "option", "sensor" or "beam"
  std::optional<Refusal> refusal;  // the reference's: the run cannot go on
  // One per secondary pass, in the order their first inputs were named:
  // the result of the input used at the stack's target (see run_stack).
  std::vector<SecondaryResult> secondaries;
  std::vector<PassInputs> passes;  // each secondary pass's inputs
  std::vector<Warning> warnings;    // one line each, naming the files; not errors
  // The files read that no input names (a .SAFE folder's annotation), in
  // the order read.
  std::vector<std::string> found_files;
  StackOptions options;             // what the run was asked (its grid's baselines are made again from it)
  // With a grid, once it has been gone over (grid.h): one of each per
  // secondary, and where among the warnings those of the grid go.
  std::vector<GridFailures> grid_failures;
  std::vector<GridSpread> grid_spreads;
  std::size_t grid_warnings_at = 0;
  bool cancelled = false;  // stopped early by StackOptions::stop_requested
  // No secondary was given: the reference's geometry is the whole result
  // (secondaries all of the reference's own pass leave an empty table).
  bool reference_alone = false;

  // The grid's size, when the run has one (lines x ranges targets).
  std::optional<GridSize> grid() const { return options.grid; }

  // ok() and a baseline at every point of the grid (when there is one).
  bool complete(std::size_t secondary) const;
  // Every value asked for was computed: the run was not cancelled, the
  // reference and every secondary are usable, and with a grid each
  // secondary has a baseline at every point.
  bool all_ok() const;
};

// How a run with options reads its files: as options.read says, a burst
// asked for (target.burst) naming the swath of SAFE products when no swath
// is named.
ReadOptions read_options(const StackOptions& options);

// The burst ID (t042_088905_iw1) of the reference's burst whose lines hold
// its target's zero-Doppler time; "" in the beam geometry and where the
// product gives no burst IDs.
std::string reference_burst_id(const StackRun& run);

// The reference file read (orbit files given put in for its orbit) and its
// geometry located: the beam geometry of a state vector, the zero-Doppler
// view of the target for a product or a dated orbit. A product or dated
// orbit reference that states no wavelength (nor radar frequency) is
// refused unless --wavelength or --sensor gives one. On failure the refusal
// says why and nothing else is filled. The reference may be made in memory
// (a dated orbit, whose day is its date); the caller refuses one without a
// date.
StackRun start_stack(const StackInput& reference, const StackOptions& options = {},
                     const OrbitCatalogue* orbits = nullptr);

// One secondary against the reference as read and its view of one target
// (the stack's, or a grid point's).
SecondaryResult run_secondary(const Acquisition& reference, const ReferenceView& view,
                              std::shared_ptr<const Acquisition> secondary, const StackOptions& options = {});

// The whole stack: start_stack, then every secondary read and run (none
// when the reference failed), gathered into passes, then the grid checked
// (its baselines are worked out as it is gone over: grid.h). A file
// given twice under two names is used once, with a warning; the reference
// file among the secondaries is left out without one. Inputs of one pass
// (pass_difference, run/passes.h) make one acquisition: at each target the
// input that covers it is used, else the first named that gives a
// baseline, with one warning naming them; inputs of the reference's pass
// are left out with a warning. Different passes of one date, a product
// secondary of another wavelength than the beam geometry's L band, and a
// --wavelength that differs from what a product states are noted with a
// warning each. orbits: the orbit files to use instead of the products'
// own orbit lists (null or empty: the products' own).
// Acquisitions made in memory are used as given (never the same file as
// another). With options.stop_requested, the run may stop before a
// secondary (cancelled, the results cut short there).
StackRun run_stack(const StackInput& reference, const std::vector<StackInput>& secondaries,
                   const StackOptions& options = {}, const OrbitCatalogue* orbits = nullptr);
StackRun run_stack(const std::string& reference_path, const std::vector<std::string>& secondaries,
                   const StackOptions& options = {}, const OrbitCatalogue* orbits = nullptr);

}  // namespace bperp::stack
