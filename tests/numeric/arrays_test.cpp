// Index-offset vectors and matrices, clearing, and the fatal report of an
// exhausted heap.
#include "bperp/numeric/arrays.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <string>

#include "bperp/numeric/fatal_error.h"

#if defined(__SANITIZE_ADDRESS__)
#define BPERP_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BPERP_ASAN 1
#endif
#endif

namespace bperp {
namespace {

struct Range {
  int low, high;
};

// Every index of the range addresses its own element, the first one at
// data(); writing them all and reading them back finds each value intact
// (an element shared by two indices, or one outside the block, shows here or
// under the address sanitizer).
TEST(Dvector, IndicesLowToHighAddressDistinctElements) {
  const Range ranges[] = {{0, 10}, {0, 1000}, {0, 0}, {-3, 4}, {5, 9}, {-20, -11}};
  for (const Range& range : ranges) {
    SCOPED_TRACE(testing::Message() << "dvector(" << range.low << ", " << range.high << ")");
    DVector v = dvector(range.low, range.high);
    ASSERT_TRUE(v.allocated());
    EXPECT_EQ(v.low(), range.low);
    EXPECT_EQ(v.high(), range.high);
    for (int i = range.low; i <= range.high; ++i) v[i] = 1000.0 * i + 0.5;
    for (int i = range.low; i <= range.high; ++i) ASSERT_EQ(v[i], 1000.0 * i + 0.5) << i;
    EXPECT_EQ(&v[range.low], v.data());
    EXPECT_EQ(&v[range.high] - &v[range.low], range.high - range.low);
    free_dvector(v, range.low);
    EXPECT_FALSE(v.allocated());
  }
}

TEST(Dvector, HighIndexIsIncluded) {
  // dvector(0, 1000) holds 1001 doubles: index 1000 exists.
  DVector v = dvector(0, 1000);
  EXPECT_EQ(v.high() - v.low() + 1, 1001);
  v[1000] = 42.0;
  v[0] = -1.0;
  EXPECT_EQ(v[1000], 42.0);
  DVector w = dvector(0, 10);
  EXPECT_EQ(w.high() - w.low() + 1, 11);
}

TEST(Dvector, MoveHandsTheBlockOver) {
  DVector v = dvector(2, 5);
  v[2] = 7.0;
  const double* block = v.data();
  DVector w = std::move(v);
  EXPECT_FALSE(v.allocated());
  EXPECT_EQ(w.data(), block);
  EXPECT_EQ(w.low(), 2);
  EXPECT_EQ(w.high(), 5);
  EXPECT_EQ(w[2], 7.0);
}

// dmatrix(0, 6, 0, 3) is the state-vector matrix: 7 rows of 4 doubles, each
// row its own block.
TEST(Dmatrix, RowsAreSeparateBlocksWithTheirOwnColumns) {
  const struct {
    int row_low, row_high, col_low, col_high;
  } shapes[] = {{0, 6, 0, 3}, {0, 0, 0, 0}, {-2, 2, 1, 3}, {3, 5, -4, -1}};
  for (const auto& s : shapes) {
    SCOPED_TRACE(testing::Message() << "dmatrix(" << s.row_low << ", " << s.row_high << ", "
                                    << s.col_low << ", " << s.col_high << ")");
    DMatrix m = dmatrix(s.row_low, s.row_high, s.col_low, s.col_high);
    ASSERT_TRUE(m.allocated());
    EXPECT_EQ(m.row_low(), s.row_low);
    EXPECT_EQ(m.row_high(), s.row_high);
    std::set<const double*> starts;
    for (int i = s.row_low; i <= s.row_high; ++i) {
      EXPECT_EQ(m[i].low(), s.col_low);
      EXPECT_EQ(m[i].high(), s.col_high);
      starts.insert(m[i].data());
      for (int j = s.col_low; j <= s.col_high; ++j) m[i][j] = 100.0 * i + j;
    }
    EXPECT_EQ(starts.size(), static_cast<std::size_t>(s.row_high - s.row_low + 1));
    for (int i = s.row_low; i <= s.row_high; ++i)
      for (int j = s.col_low; j <= s.col_high; ++j) ASSERT_EQ(m[i][j], 100.0 * i + j);
    free_dmatrix(m, s.row_low, s.row_high, s.col_low);
    EXPECT_FALSE(m.allocated());
  }
}

TEST(SetZeroDouble, ClearsExactlyTheFirstCountElementsToPositiveZero) {
  DVector v = dvector(0, 1000);
  for (int i = 0; i <= 1000; ++i) v[i] = (i % 2 == 0) ? -0.0 : std::nan("");
  set_zero_double(v.data(), 1000);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(v[i], 0.0) << i;
    ASSERT_FALSE(std::signbit(v[i])) << i;
  }
  // Index 1000 keeps what it held.
  EXPECT_EQ(v[1000], 0.0);
  EXPECT_TRUE(std::signbit(v[1000]));
}

TEST(SetZeroDouble, CountZeroOrNegativeChangesNothing) {
  for (int count : {0, -1, -5, INT_MIN}) {
    DVector v = dvector(0, 3);
    for (int i = 0; i <= 3; ++i) v[i] = 1.5 + i;
    set_zero_double(v.data(), count);
    for (int i = 0; i <= 3; ++i) EXPECT_EQ(v[i], 1.5 + i) << "count " << count << " index " << i;
  }
}

TEST(SetZeroDouble, PartialCountStopsAtTheCount) {
  DVector v = dvector(0, 10);
  for (int i = 0; i <= 10; ++i) v[i] = 3.0;
  set_zero_double(v.data(), 4);
  for (int i = 0; i <= 10; ++i) EXPECT_EQ(v[i], i < 4 ? 0.0 : 3.0) << i;
}

TEST(Nrerror, ThrowsTheThreeLinesForStandardError) {
  try {
    nrerror("allocation failure in dvector()");
    ADD_FAILURE() << "nrerror returned";
  } catch (const FatalError& e) {
    EXPECT_EQ(std::string(e.text()),
              "Numerical Recipes run-time error...\n"
              "allocation failure in dvector()\n"
              "...now exiting to system...\n");
    EXPECT_EQ(e.kind(), FatalKind::heap_exhausted);
  }
  try {
    nrerror("");
  } catch (const FatalError& e) {
    EXPECT_EQ(std::string(e.text()),
              "Numerical Recipes run-time error...\n\n...now exiting to system...\n");
  }
}

// Exhausted heap. Each case runs in a child process whose address space is
// capped, so that the huge request fails whatever the machine's memory and
// overcommit policy; the child writes the error's text to standard error
// and exits 1 if it went to standard error (2 if to standard output, 3 if the
// allocation succeeded). The sanitizer's allocator reserves far more address
// space than the cap, so these run only without it.
enum class Request { vector_block, matrix_row_array, matrix_row };

[[noreturn]] void exhaust(Request request) {
  struct rlimit limit;
  limit.rlim_cur = limit.rlim_max = rlim_t{1} << 31;  // 2 GiB of address space
  if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(4);
  try {
    switch (request) {
      case Request::vector_block: {
        DVector v = dvector(INT_MIN / 2, INT_MAX / 2);  // 2^31 doubles, 16 GiB
        break;
      }
      case Request::matrix_row_array: {
        DMatrix m = dmatrix(INT_MIN / 2, INT_MAX / 2, 0, 3);  // 2^31 row handles
        break;
      }
      case Request::matrix_row: {
        DMatrix m = dmatrix(0, 6, INT_MIN / 2, INT_MAX / 2);  // a 16 GiB row
        break;
      }
    }
  } catch (const FatalError& e) {
    std::fputs(e.text(), stderr);
    std::fflush(stderr);
    _exit(e.kind() == FatalKind::heap_exhausted ? 1 : 2);
  }
  _exit(3);
}

class HeapExhaustion : public testing::Test {
 protected:
  void SetUp() override {
#ifdef BPERP_ASAN
    GTEST_SKIP() << "the address sanitizer's allocator does not run under an address-space cap";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
};

TEST_F(HeapExhaustion, VectorBlock) {
  EXPECT_EXIT(exhaust(Request::vector_block), testing::ExitedWithCode(1),
              "^Numerical Recipes run-time error\\.\\.\\.\n"
              "allocation failure in dvector\\(\\)\n"
              "\\.\\.\\.now exiting to system\\.\\.\\.\n$");
}

TEST_F(HeapExhaustion, MatrixRowArray) {
  EXPECT_EXIT(exhaust(Request::matrix_row_array), testing::ExitedWithCode(1),
              "^Numerical Recipes run-time error\\.\\.\\.\n"
              "allocation failure 1 in matrix\\(\\)\n"
              "\\.\\.\\.now exiting to system\\.\\.\\.\n$");
}

TEST_F(HeapExhaustion, MatrixRow) {
  EXPECT_EXIT(exhaust(Request::matrix_row), testing::ExitedWithCode(1),
              "^Numerical Recipes run-time error\\.\\.\\.\n"
              "allocation failure 2 in dmatrix\\(\\)\n"
              "\\.\\.\\.now exiting to system\\.\\.\\.\n$");
}

}  // namespace
}  // namespace bperp
