#include "bperp/numeric/arrays.h"

#include <cstdlib>
#include <new>
#include <string>
#include <utility>

#include "bperp/numeric/fatal_error.h"

namespace bperp {

DVector::DVector(DVector&& other) noexcept
    : block_(std::exchange(other.block_, nullptr)),
      low_(other.low_),
      high_(std::exchange(other.high_, other.low_ - 1)) {}

DVector& DVector::operator=(DVector&& other) noexcept {
  if (this != &other) {
    release();
    block_ = std::exchange(other.block_, nullptr);
    low_ = other.low_;
    high_ = std::exchange(other.high_, other.low_ - 1);
  }
  return *this;
}

void DVector::release() noexcept {
  std::free(block_);
  block_ = nullptr;
  high_ = low_ - 1;
}

DVector DVector::allocate(int low, int high, const char* failure) {
  const long long count = static_cast<long long>(high) - low + 1;
  DVector v;
  v.low_ = low;
  v.high_ = count > 0 ? high : low - 1;
  const std::size_t elements = count > 0 ? static_cast<std::size_t>(count) : 1;
  if (elements > SIZE_MAX / sizeof(double)) nrerror(failure);
  v.block_ = static_cast<double*>(std::malloc(elements * sizeof(double)));
  if (v.block_ == nullptr) nrerror(failure);
  return v;
}

void nrerror(const char* message) {
  std::string text = "Numerical Recipes run-time error...\n";
  text += message;
  text += "\n...now exiting to system...\n";
  throw FatalError(std::move(text), FatalKind::heap_exhausted);
}

DVector dvector(int low, int high) {
  return DVector::allocate(low, high, "allocation failure in dvector()");
}

void free_dvector(DVector& v, int low) {
  assert(low == v.low());
  (void)low;
  v.release();
}

DMatrix dmatrix(int row_low, int row_high, int col_low, int col_high) {
  const long long rows = static_cast<long long>(row_high) - row_low + 1;
  DMatrix m;
  m.row_low_ = row_low;
  m.row_high_ = rows > 0 ? row_high : row_low - 1;
  const std::size_t entries = rows > 0 ? static_cast<std::size_t>(rows) : 1;
  m.rows_.reset(new (std::nothrow) DVector[entries]);
  if (!m.rows_) nrerror("allocation failure 1 in matrix()");
  for (int i = row_low; i <= m.row_high_; ++i)
    m[i] = DVector::allocate(col_low, col_high, "allocation failure 2 in dmatrix()");
  return m;
}

void free_dmatrix(DMatrix& m, int row_low, int row_high, int col_low) {
  assert(row_low == m.row_low() && row_high == m.row_high());
  (void)col_low;
  if (!m.allocated()) return;
  for (int i = row_high; i >= row_low; --i) free_dvector(m[i], col_low);
  m.rows_.reset();
  m.row_high_ = m.row_low_ - 1;
}

void set_zero_double(double* values, int count) {
  for (int i = 0; i < count; ++i) values[i] = 0.0;
}

}  // namespace bperp
