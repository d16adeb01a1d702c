// Pair selection on a hand-made stack whose pairs are known.
#include "bperp/stack/network/pairs.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>


namespace bperp::stack {
namespace {

// Days and perpendicular baselines (m) of a small stack, the reference R in
// the middle: dates 46 days apart but for C, 23 days after B.
//   A  day -46  perp  150.0
//   R  day   0  perp    0.0  (reference)
//   B  day  46  perp -100.1
//   C  day  69  perp   49.9   (C - B = 150.0 up to rounding: 49.9 + 100.1)
//   D  day 138  perp  200.0
std::vector<NetworkPoint> hand_made_stack() {
  return {{"R", 0, 0.0, true},
          {"A", -46, 150.0, false},
          {"B", 46, -100.1, false},
          {"C", 69, 49.9, false},
          {"D", 138, 200.0, false}};
}

using NamePairs = std::set<std::pair<std::string, std::string>>;

// The limits of --max-perp (m), --max-days and --max-neighbours.
PairLimits limits(std::optional<double> perp, std::optional<long> days, std::optional<int> neighbours) {
  PairLimits l;
  l.max_perpendicular = perp;
  l.max_days = days;
  l.max_neighbours = neighbours;
  return l;
}

NamePairs names_of(const std::vector<NetworkPoint>& points, const std::vector<Pair>& pairs) {
  NamePairs names;
  for (const Pair& p : pairs) names.insert({points[p.first].name, points[p.second].name});
  return names;
}

// The pair differences, worked by hand (first the earlier):
//   A-R  46 d  -150.0    A-B  92 d  -250.1    A-C 115 d  -100.1    A-D 184 d   50.0
//   R-B  46 d  -100.1    R-C  69 d    49.9    R-D 138 d   200.0
//   B-C  23 d   150.0    B-D  92 d   300.1    C-D  69 d   150.1
TEST(SelectPairs, LimitsAtTheirEdges) {
  const std::vector<NetworkPoint> points = hand_made_stack();
  struct Case {
    const char* name;
    PairLimits limits;
    NamePairs expected;
  };
  const NamePairs all = {{"A", "R"}, {"A", "B"}, {"A", "C"}, {"A", "D"}, {"R", "B"},
                         {"R", "C"}, {"R", "D"}, {"B", "C"}, {"B", "D"}, {"C", "D"}};
  const std::vector<Case> cases = {
      {"no limits", {}, all},
      // 150.0 is in (A-R, B-C: 49.9 - -100.1 is 150.0 only to the mm), 150.1 is not.
      {"perp 150", limits(150.0, {}, {}), {{"A", "R"}, {"A", "C"}, {"A", "D"}, {"R", "B"}, {"R", "C"}, {"B", "C"}}},
      {"perp 150.1", limits(150.1, {}, {}),
       {{"A", "R"}, {"A", "C"}, {"A", "D"}, {"R", "B"}, {"R", "C"}, {"B", "C"}, {"C", "D"}}},
      {"perp 149.999", limits(149.999, {}, {}), {{"A", "C"}, {"A", "D"}, {"R", "B"}, {"R", "C"}}},
      {"perp 0", limits(0.0, {}, {}), {}},
      // A limit beyond any integer count of millimetres still holds everything.
      {"perp 1e16", limits(1e16, {}, {}), all},
      {"perp 1e300", limits(1e300, {}, {}), all},
      {"days 69", limits({}, 69, {}), {{"A", "R"}, {"R", "B"}, {"R", "C"}, {"B", "C"}, {"C", "D"}}},
      {"days 68", limits({}, 68, {}), {{"A", "R"}, {"R", "B"}, {"B", "C"}}},
      {"days 0", limits({}, 0, {}), {}},
      {"perp 150 and days 69", limits(150.0, 69, {}), {{"A", "R"}, {"R", "B"}, {"R", "C"}, {"B", "C"}}},
  };
  for (const Case& c : cases) EXPECT_EQ(names_of(points, select_pairs(points, c.limits)), c.expected) << c.name;
}

// Each acquisition's candidates by time apart (ties: the earlier partner first):
//   A: R 46, B 92, C 115, D 184        R: A 46, B 46, C 69, D 138
//   B: C 23, R 46, A 92, D 92          C: B 23, R 69, D 69, A 115
//   D: C 69, B 92, R 138, A 184
// A pair is kept when both members have each other among their first N:
//   N = 1: A-R, B-C.   N = 2: adds R-B.   N = 3: adds A-B, R-C, C-D.
TEST(SelectPairs, NearestNeighboursPerAcquisition) {
  const std::vector<NetworkPoint> points = hand_made_stack();
  struct Case {
    int n;
    PairLimits extra;
    NamePairs expected;
  };
  const std::vector<Case> cases = {
      {1, {}, {{"A", "R"}, {"B", "C"}}},
      {2, {}, {{"A", "R"}, {"B", "C"}, {"R", "B"}}},
      {3, {}, {{"A", "R"}, {"B", "C"}, {"R", "B"}, {"A", "B"}, {"R", "C"}, {"C", "D"}}},
      {4, {}, {{"A", "R"}, {"A", "B"}, {"A", "C"}, {"A", "D"}, {"R", "B"}, {"R", "C"}, {"R", "D"},
               {"B", "C"}, {"B", "D"}, {"C", "D"}}},
      // Neighbours among the pairs within 150 m: A's nearest is then R, R's A.
      {1, limits(150.0, {}, {}), {{"A", "R"}, {"B", "C"}}},
  };
  for (const Case& c : cases) {
    PairLimits limits = c.extra;
    limits.max_neighbours = c.n;
    const std::vector<Pair> pairs = select_pairs(points, limits);
    EXPECT_EQ(names_of(points, pairs), c.expected) << "N = " << c.n;
    std::vector<int> count(points.size(), 0);
    for (const Pair& p : pairs) ++count[p.first], ++count[p.second];
    for (std::size_t i = 0; i < points.size(); ++i) EXPECT_LE(count[i], c.n) << points[i].name;
  }
}

TEST(SelectPairs, OrientedSortedAndSigned) {
  const std::vector<NetworkPoint> points = hand_made_stack();
  const std::vector<Pair> pairs = select_pairs(points, {});
  ASSERT_EQ(pairs.size(), 10u);
  for (std::size_t k = 0; k < pairs.size(); ++k) {
    const Pair& p = pairs[k];
    ASSERT_TRUE(p.days.has_value());
    EXPECT_EQ(*p.days, *points[p.second].day - *points[p.first].day);
    EXPECT_GT(*p.days, 0);  // first the earlier
    EXPECT_DOUBLE_EQ(p.perpendicular, points[p.second].perpendicular - points[p.first].perpendicular);
    if (k > 0) {
      const Pair& q = pairs[k - 1];
      const auto key = [&](const Pair& x) {
        return std::make_pair(*points[x.first].day, *points[x.second].day);
      };
      EXPECT_LE(key(q), key(p));
    }
  }
  // A (the earliest) with R: A-R = 0 - 150.
  EXPECT_EQ(points[pairs.front().first].name, "A");
  EXPECT_EQ(points[pairs.front().second].name, "R");
  EXPECT_DOUBLE_EQ(pairs.front().perpendicular, -150.0);
}

TEST(SelectPairs, WithoutDates) {
  std::vector<NetworkPoint> points = hand_made_stack();
  points[3].day.reset();  // C
  EXPECT_FALSE(all_dated(points));
  EXPECT_TRUE(select_pairs(points, limits({}, 1000, {})).empty());
  EXPECT_TRUE(select_pairs(points, limits({}, {}, 2)).empty());
  // The perpendicular limit alone works, in the order given, without days.
  const std::vector<Pair> pairs = select_pairs(points, limits(100.1, {}, {}));
  EXPECT_EQ(names_of(points, pairs), (NamePairs{{"R", "B"}, {"R", "C"}, {"A", "C"}, {"A", "D"}}));
  for (const Pair& p : pairs) {
    EXPECT_LT(p.first, p.second);
    EXPECT_FALSE(p.days.has_value());
  }
}

}  // namespace
}  // namespace bperp::stack
