#include "bperp/stack/inputs/orbit_rows.h"

namespace bperp::stack {

std::string row_label(std::size_t r, const std::vector<std::uint32_t>* row_lines) {
  if (row_lines != nullptr && r < row_lines->size()) return "line " + std::to_string((*row_lines)[r]);
  return "row " + std::to_string(r + 1);
}

Orbit orbit_from_numbers(const std::vector<double>& numbers, std::string* problem,
                         const std::vector<std::uint32_t>* row_lines) {
  Orbit orbit;
  const std::size_t n = numbers.size();
  if (n % orbit_row_numbers != 0 || n < orbit_min_rows * orbit_row_numbers) {
    if (problem != nullptr)
      *problem = "an orbit needs at least " + std::to_string(orbit_min_rows) + " rows of " +
                 std::to_string(orbit_row_numbers) + " numbers (t X Y Z VX VY VZ), not " +
                 std::to_string(n) + " numbers";
    return orbit;
  }
  const std::size_t rows = n / orbit_row_numbers;
  orbit.reserve(rows);
  for (std::size_t r = 0; r < rows; ++r) {
    const double* row = numbers.data() + r * orbit_row_numbers;
    OrbitRow o;
    o.t = row[0];
    o.state = state_vector_from(row + 1);
    if (!orbit.empty() && !(o.t > orbit.back().t)) {
      if (problem != nullptr)
        *problem = "the times of an orbit must increase strictly, but " + row_label(r, row_lines) +
                   " does not come after " + row_label(r - 1, row_lines);
      return {};
    }
    orbit.push_back(o);
  }
  return orbit;
}

}  // namespace bperp::stack
