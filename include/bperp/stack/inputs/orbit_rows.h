// An orbit given as rows of earth-fixed state vectors at increasing times.
//
// Frame: earth-fixed. Units: s, km, km/s.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bperp/geometry/state_vector.h"

namespace bperp::stack {

// Numbers in one orbit row: t X Y Z VX VY VZ.
constexpr std::size_t orbit_row_numbers = 7;
constexpr std::size_t orbit_min_rows = 4;  // the fewest the interpolation works on

// One row of an orbit: time (s) and the state vector there.
struct OrbitRow {
  double t = 0.0;
  StateVector state;
};

using Orbit = std::vector<OrbitRow>;

// The rows held in numbers (7 per row, t X Y Z VX VY VZ). Empty and *problem
// set when the count is not a multiple of 7, there are fewer than 4 rows, or
// the times are not strictly increasing. row_lines, if given, holds the
// file's line of each row, for the messages ("line 5" rather than "row 4").
Orbit orbit_from_numbers(const std::vector<double>& numbers, std::string* problem,
                         const std::vector<std::uint32_t>* row_lines = nullptr);

// "line L" of row r (0-based) when row_lines are given, else "row r + 1".
std::string row_label(std::size_t r, const std::vector<std::uint32_t>* row_lines);

}  // namespace bperp::stack
