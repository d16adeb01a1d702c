// Integer power by successive multiplication, and the conversion of
// whole-number settings with its tolerance test.
#include "bperp/numeric/scalar.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "bperp/numeric/fatal_error.h"

namespace bperp {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct PowerCase {
  double x;
  int n;
  double expected;
};

TEST(Ipow, ValuesAndIeeeCases) {
  const PowerCase cases[] = {
      {2.0, 7, 128.0},   {2.0, -2, 0.25},  {-3.0, 3, -27.0}, {-3.0, 2, 9.0},
      {10.0, 1, 10.0},   {0.5, 5, 0.03125}, {3.0, 6, 729.0},  {-2.0, -3, -0.125},
      {0.0, -1, kInf},   {-0.0, -1, -kInf}, {0.0, 3, 0.0},    {1e200, 2, kInf},
      {1e-200, 2, 0.0},  {1e200, -2, 0.0},  {kInf, 2, kInf},  {-kInf, 3, -kInf},
  };
  for (const PowerCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "ipow(" << c.x << ", " << c.n << ")");
    EXPECT_EQ(ipow(c.x, c.n), c.expected);
  }
}

TEST(Ipow, ZeroExponentIsOneForEveryBase) {
  for (double x : {0.0, -0.0, 1.0, -7.5, 1e300, kInf, -kInf, kNaN})
    EXPECT_EQ(ipow(x, 0), 1.0) << "x = " << x;
}

TEST(Ipow, NotANumberStaysNotANumber) {
  EXPECT_TRUE(std::isnan(ipow(kNaN, 3)));
  EXPECT_TRUE(std::isnan(ipow(kNaN, -2)));
}

// The power is the left-to-right product x * x * ... * x (n factors from
// 1.0); repeated squaring or pow() differ from it in the last bit for some
// bases, which would shift the scene point and Doppler digits.
TEST(Ipow, IsTheSuccessiveProductToTheLastBit) {
  std::uint64_t state = 0x9e3779b97f4a7c15ull;
  int differs_from_squaring = 0;
  for (int k = 0; k < 2000; ++k) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    const double x = 1.0 + static_cast<double>(state >> 11) * 0x1p-53 * 7000.0;
    for (int n = 1; n <= 7; ++n) {
      double product = 1.0;
      for (int i = 0; i < n; ++i) product = product * x;
      ASSERT_EQ(ipow(x, n), product) << "x = " << x << ", n = " << n;
      ASSERT_EQ(ipow(x, -n), 1.0 / product) << "x = " << x << ", n = " << -n;
    }
    const double x2 = x * x;
    if (x2 * x2 != ((x * x) * x) * x) ++differs_from_squaring;
  }
  // The sample does distinguish the two ways of forming x^4.
  EXPECT_GT(differs_from_squaring, 0);
}

struct RoundCase {
  double r;
  int expected;
};

TEST(Rtoi, WholeNumbersAndValuesWithinTheTolerance) {
  const RoundCase cases[] = {
      {4.0, 4},           {1.0, 1},         {0.0, 0},        {-0.0, 0},
      {-7.0, -7},         {9.0, 9},         {275.0, 275},    {4.0 - 5e-06, 4},
      {-4.0 + 5e-06, -4}, {4.0 - 9.9e-06, 4}, {-4.0 + 9.9e-06, -4},
      {2147483647.0, INT_MAX}, {-2147483648.0, INT_MIN},
  };
  for (const RoundCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "rtoi(" << c.r << ")");
    EXPECT_EQ(rtoi(c.r), c.expected);
  }
}

// The rejection: the integer away from zero differs from r by more than
// 1e-05. The message goes to standard output, with r in %23.15e and ir in %d.
struct RejectCase {
  double r;
  const char* text;
};

TEST(Rtoi, RejectionCarriesTheExactMessageForStandardOutput) {
  const RejectCase cases[] = {
      {4.0 + 5e-06, "different!(m16.rtoi) r=  4.000005000000000e+00 ir=5\n"},
      {-4.0 - 5e-06, "different!(m16.rtoi) r= -4.000005000000000e+00 ir=-5\n"},
      {2.5, "different!(m16.rtoi) r=  2.500000000000000e+00 ir=3\n"},
      {-2.3, "different!(m16.rtoi) r= -2.300000000000000e+00 ir=-3\n"},
      {2.3, "different!(m16.rtoi) r=  2.300000000000000e+00 ir=3\n"},
      // Just beyond the tolerance below a whole number: ceil keeps 4.
      {4.0 - 1.01e-05, "different!(m16.rtoi) r=  3.999989900000000e+00 ir=4\n"},
      {1e-06, "different!(m16.rtoi) r=  1.000000000000000e-06 ir=1\n"},
      {-1e-06, "different!(m16.rtoi) r= -1.000000000000000e-06 ir=-1\n"},
      {123456.75, "different!(m16.rtoi) r=  1.234567500000000e+05 ir=123457\n"},
  };
  for (const RejectCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "rtoi(" << c.r << ")");
    try {
      const int ir = rtoi(c.r);
      ADD_FAILURE() << "accepted as " << ir;
    } catch (const FatalError& e) {
      EXPECT_EQ(std::string(e.text()), c.text);
      EXPECT_EQ(e.kind(), FatalKind::refusal);
    }
  }
}

// A whole number beyond the range of int cannot be handed back; it is
// rejected with the same message (the int it shows is left open).
TEST(Rtoi, WholeNumbersOutsideTheIntRangeAreRejected) {
  for (double r : {3e9, -3e9, 2147483648.0, -2147483649.0, kInf, -kInf}) {
    SCOPED_TRACE(testing::Message() << "rtoi(" << r << ")");
    try {
      const int ir = rtoi(r);
      ADD_FAILURE() << "accepted as " << ir;
    } catch (const FatalError& e) {
      const std::string text = e.text();
      EXPECT_EQ(text.rfind("different!(m16.rtoi) r=", 0), 0u) << text;
      EXPECT_EQ(text.find(" ir="), 46u) << text;
      EXPECT_EQ(text.back(), '\n');
      EXPECT_EQ(e.kind(), FatalKind::refusal);
    }
  }
}

// NaN compares false against the tolerance and passes without a message.
TEST(Rtoi, NotANumberPassesTheTest) { EXPECT_NO_THROW((void)rtoi(kNaN)); }

}  // namespace
}  // namespace bperp
