// What a run over a stack is asked for: where the target lies (for a
// product or dated-orbit reference), how secondaries are treated and read,
// and the grid. Filled once from the request, never changed by the run.
#pragma once

#include <cstddef>
#include <optional>
#include <utility>

#include "bperp/stack/geometry/wgs84.h"
#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/inputs/product.h"
#include "bperp/stack/support/utc_time.h"

namespace bperp::stack {

// The most a secondary's position may differ from where the alignment put
// it before its baseline is refused, km (1 cm).
constexpr double max_interpolation_error = 1e-5;

// The default longest baseline, km: above the critical baseline of every
// sensor in use (about 46 km for an L-band SAR at 84 MHz of range bandwidth,
// a few km for C band), so that no usable pair is refused, and far below the
// thousands of km of another track or another satellite.
constexpr double default_max_length = 50.0;

// The most baselines (grid points x secondaries) one run with --grid
// computes. A grid point holds its view of the target and each secondary's
// result (about 0.6 kB each), and the outputs write them as they come: at
// the bound some 0.3 GB. 500,000 is a 1000 x 500 grid of one secondary,
// 100 x 100 of fifty, 50 x 50 of two hundred.
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
};

// A grid of targets: lines (along the reference's track, or a geocoded
// product's rows) by ranges (near to far, or its columns).
struct GridSize {
  int lines = 0;
  int ranges = 0;
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
  std::optional<GridSize> grid;
};

}  // namespace bperp::stack
