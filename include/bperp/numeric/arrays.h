// Index-offset vectors and matrices of doubles, and the fatal report of an
// exhausted heap.
//
// A DVector addresses elements low..high; a DMatrix rows row_low..row_high,
// each row a DVector of its own block with columns col_low..col_high. Both
// subtract the offset at each access, so no pointer is ever moved outside the
// block it belongs to. Elements are not initialised. The objects own their
// blocks (RAII); free_dvector / free_dmatrix release them early, in the
// documented order, and the destructor releases whatever is left.
#pragma once

#include <cassert>
#include <cstddef>
#include <memory>

namespace bperp {

class DVector {
 public:
  DVector() = default;
  DVector(const DVector&) = delete;
  DVector& operator=(const DVector&) = delete;
  DVector(DVector&& other) noexcept;
  DVector& operator=(DVector&& other) noexcept;
  ~DVector() { release(); }

  // Element i, low <= i <= high (not checked in release builds).
  double& operator[](int i) noexcept {
    assert(i >= low_ && i <= high_);
    return block_[static_cast<std::ptrdiff_t>(i) - low_];
  }
  const double& operator[](int i) const noexcept {
    assert(i >= low_ && i <= high_);
    return block_[static_cast<std::ptrdiff_t>(i) - low_];
  }

  // The first element (index low); indexed from 0 from there on.
  double* data() noexcept { return block_; }
  const double* data() const noexcept { return block_; }
  int low() const noexcept { return low_; }
  int high() const noexcept { return high_; }
  bool allocated() const noexcept { return block_ != nullptr; }

  // Gives the block back to the heap; the vector is then empty.
  void release() noexcept;

  // A block for indices low..high; on an exhausted heap, nrerror(failure).
  static DVector allocate(int low, int high, const char* failure);

 private:
  double* block_ = nullptr;
  int low_ = 0;
  int high_ = -1;
};

class DMatrix {
 public:
  DMatrix() = default;
  DMatrix(DMatrix&&) noexcept = default;
  DMatrix& operator=(DMatrix&&) noexcept = default;

  // Row i, row_low <= i <= row_high; index it with the column.
  DVector& operator[](int i) noexcept {
    assert(i >= row_low_ && i <= row_high_);
    return rows_[static_cast<std::ptrdiff_t>(i) - row_low_];
  }
  const DVector& operator[](int i) const noexcept {
    assert(i >= row_low_ && i <= row_high_);
    return rows_[static_cast<std::ptrdiff_t>(i) - row_low_];
  }
  int row_low() const noexcept { return row_low_; }
  int row_high() const noexcept { return row_high_; }
  bool allocated() const noexcept { return rows_ != nullptr; }

 private:
  friend DMatrix dmatrix(int row_low, int row_high, int col_low, int col_high);
  friend void free_dmatrix(DMatrix& m, int row_low, int row_high, int col_low);

  std::unique_ptr<DVector[]> rows_;
  int row_low_ = 0;
  int row_high_ = -1;
};

// Heap exhaustion: throws FatalError (heap_exhausted) with the three lines
//   "Numerical Recipes run-time error...", message, "...now exiting to system...".
// Never returns.
[[noreturn]] void nrerror(const char* message);

// A vector of doubles with indices low..high (high - low + 1 elements, not
// initialised; an empty or reversed range gives an empty vector).
// Failure: nrerror("allocation failure in dvector()").
DVector dvector(int low, int high);

// Releases v; low must be the lowest index it was allocated with.
void free_dvector(DVector& v, int low);

// A matrix with rows row_low..row_high, each row its own block of columns
// col_low..col_high (not initialised). Failures: nrerror("allocation failure
// 1 in matrix()") for the row array, "allocation failure 2 in dmatrix()" for
// a row.
DMatrix dmatrix(int row_low, int row_high, int col_low, int col_high);

// Releases the rows from row_high down to row_low, then the row array. The
// bounds must be those the matrix was allocated with.
void free_dmatrix(DMatrix& m, int row_low, int row_high, int col_low);

// Sets values[0] .. values[count - 1] to +0.0; count <= 0 changes nothing.
void set_zero_double(double* values, int count);

}  // namespace bperp
