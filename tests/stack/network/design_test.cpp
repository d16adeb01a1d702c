// Designing a network: the Delaunay triangulation against a brute-force
// empty-circle search, the star, the reference chosen by each criterion
// against sums worked out here, date filters and pair lists read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "bperp/stack/network/date_filter.h"
#include "bperp/stack/network/delaunay.h"
#include "bperp/stack/network/pair_list.h"
#include "bperp/stack/network/pairs.h"
#include "bperp/stack/network/reference_choice.h"
#include "bperp/stack/support/iso_date.h"
#include "stack_test_support.h"

namespace bperp::stack {
namespace {

using Edges = std::set<std::pair<std::size_t, std::size_t>>;

Edges edge_set(const IndexPairs& pairs) { return Edges(pairs.begin(), pairs.end()); }

// Points at (day, B_perp) with names P0, P1, ...
std::vector<NetworkPoint> points_at(const std::vector<std::pair<long, double>>& at) {
  std::vector<NetworkPoint> points;
  for (std::size_t i = 0; i < at.size(); ++i) {
    std::string name = "P";
    name += std::to_string(i);
    points.push_back({name, at[i].first, at[i].second, i == 0});
  }
  return points;
}

// The Delaunay edges by brute force, for points in general position: every
// triangle whose circumcircle holds no other point, and its three edges
// (long double; the random points below are far from any tie).
Edges brute_force_delaunay(const std::vector<NetworkPoint>& p, const DistanceScale& s) {
  const auto x = [&](std::size_t i) { return static_cast<long double>(*p[i].day) / s.days; };
  const auto y = [&](std::size_t i) { return static_cast<long double>(p[i].perpendicular) / s.metres; };
  Edges edges;
  const std::size_t n = p.size();
  for (std::size_t a = 0; a < n; ++a)
    for (std::size_t b = a + 1; b < n; ++b)
      for (std::size_t c = b + 1; c < n; ++c) {
        const long double ax = x(a), ay = y(a), bx = x(b), by = y(b), cx = x(c), cy = y(c);
        const long double d = 2 * (ax * (by - cy) + bx * (cy - ay) + cx * (ay - by));
        if (std::fabs(d) < 1e-12L) continue;
        const long double a2 = ax * ax + ay * ay, b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
        const long double ux = (a2 * (by - cy) + b2 * (cy - ay) + c2 * (ay - by)) / d;
        const long double uy = (a2 * (cx - bx) + b2 * (ax - cx) + c2 * (bx - ax)) / d;
        const long double r2 = (ax - ux) * (ax - ux) + (ay - uy) * (ay - uy);
        bool empty = true;
        for (std::size_t k = 0; k < n && empty; ++k)
          if (k != a && k != b && k != c)
            empty = (x(k) - ux) * (x(k) - ux) + (y(k) - uy) * (y(k) - uy) >= r2 * (1 + 1e-12L);
        if (empty) edges.insert({{a, b}, {a, c}, {b, c}});
      }
  return edges;
}

TEST(Delaunay, RandomStacksMatchTheEmptyCircleSearch) {
  std::mt19937 random(29);
  std::uniform_int_distribution<long> day(0, 2000);
  std::normal_distribution<double> metres(0.0, 150.0);
  const DistanceScale scales[] = {{100.0, 100.0}, {48.0, 300.0}};
  for (int trial = 0; trial < 12; ++trial) {
    std::vector<std::pair<long, double>> at;
    for (int k = 0; k < 5 + 3 * trial; ++k) at.emplace_back(day(random), metres(random));
    const std::vector<NetworkPoint> p = points_at(at);
    for (const DistanceScale& s : scales)
      EXPECT_EQ(edge_set(delaunay_edges(p, s)), brute_force_delaunay(p, s)) << "trial " << trial;
  }
}

TEST(Delaunay, DegenerateStacksAndTies) {
  const DistanceScale s;
  // On one line (B_perp growing with time), given out of order: the chain
  // in time order, 0-3-1-2 by day.
  const std::vector<NetworkPoint> line = points_at({{0, 0.0}, {24, 24.0}, {36, 36.0}, {12, 12.0}});
  EXPECT_EQ(edge_set(delaunay_edges(line, s)), (Edges{{0, 3}, {1, 3}, {1, 2}}));
  // All of one date: the chain by B_perp.
  const std::vector<NetworkPoint> one_day = points_at({{5, 30.0}, {5, -10.0}, {5, 10.0}});
  EXPECT_EQ(edge_set(delaunay_edges(one_day, s)), (Edges{{1, 2}, {0, 2}}));
  // A repeated point (3 at 1's place) joins it, and only it.
  const std::vector<NetworkPoint> repeated = points_at({{0, 0.0}, {100, 50.0}, {50, 200.0}, {100, 50.0}});
  EXPECT_EQ(edge_set(delaunay_edges(repeated, s)), (Edges{{0, 1}, {0, 2}, {1, 2}, {1, 3}}));
  // Four corners of a square, all on one circle: the diagonal from the
  // earliest (days 0, lowest B_perp first), whatever the order given.
  std::vector<std::pair<long, double>> square = {{100, 100.0}, {0, 0.0}, {100, 0.0}, {0, 100.0}};
  const Edges sides_and_diagonal = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}};  // 1 (0, 0) to 0 (100, 100)
  EXPECT_EQ(edge_set(delaunay_edges(points_at(square), s)), sides_and_diagonal);
  std::swap(square[0], square[1]);  // now 0 is (0, 0), 1 is (100, 100): the same diagonal
  EXPECT_EQ(edge_set(delaunay_edges(points_at(square), s)), (Edges{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}}));
}

// A lattice is all ties: every order of the same points gives the same
// network (as names), a triangulation (3n - 3 - hull edges) with no point
// strictly inside a triangle's circle.
TEST(Delaunay, LatticeTiesDoNotDependOnTheOrderGiven) {
  std::vector<std::pair<long, double>> at;
  for (long d = 0; d < 4; ++d)
    for (int b = 0; b < 3; ++b) at.emplace_back(12 * d, 12.0 * b);
  std::set<std::pair<std::string, std::string>> first;
  std::mt19937 random(7);
  for (int trial = 0; trial < 6; ++trial) {
    std::shuffle(at.begin(), at.end(), random);
    std::vector<NetworkPoint> p = points_at(at);
    for (std::size_t i = 0; i < p.size(); ++i) {
      p[i].name = std::to_string(at[i].first);
      p[i].name += "/";
      p[i].name += std::to_string(at[i].second);
    }
    std::set<std::pair<std::string, std::string>> named;
    for (const auto& [i, j] : delaunay_edges(p, {})) named.insert(std::minmax(p[i].name, p[j].name));
    EXPECT_EQ(named.size(), 3 * 12 - 3 - 10u);  // 10 points on the hull's sides
    if (trial == 0) first = named;
    EXPECT_EQ(named, first) << "trial " << trial;
  }
}

// The star pairs the reference with every other within the limits, and
// joins what another kind adds.
TEST(NetworkKinds, StarWithinTheLimitsAndJoined) {
  const std::vector<NetworkPoint> p = {{"A", 0, 0.0, false}, {"R", 12, 0.0, true}, {"B", 24, 90.0, false},
                                       {"C", 36, 250.0, false}};
  PairLimits star;
  star.star = true;
  star.max_perpendicular = 200.0;  // R-C is 250 m
  std::set<std::pair<std::string, std::string>> names;
  for (const Pair& pair : select_pairs(p, star)) names.insert({p[pair.first].name, p[pair.second].name});
  EXPECT_EQ(names, (std::set<std::pair<std::string, std::string>>{{"A", "R"}, {"R", "B"}}));
  star.sequential = 1;  // adds B-C (160 m); its A-R and R-B the star has
  names.clear();
  for (const Pair& pair : select_pairs(p, star)) names.insert({p[pair.first].name, p[pair.second].name});
  EXPECT_EQ(names, (std::set<std::pair<std::string, std::string>>{{"A", "R"}, {"R", "B"}, {"B", "C"}}));
}

// A stack made so that its middle acquisition is best by every criterion:
// symmetric in time and baseline about it.
TEST(ReferenceChoice, TheMiddleOfASymmetricStackWins) {
  const std::vector<NetworkPoint> p = {{"E1", 0, -60.0, true}, {"E2", 24, 40.0, false}, {"M", 48, 0.0, false},
                                       {"L1", 72, -40.0, false}, {"L2", 96, 60.0, false}};
  CoherenceModel model;
  model.wavelength_m = 0.0555;
  model.slant_range_m = 850e3;
  model.incidence_rad = 0.6;
  model.range_bandwidth_hz = 50e6;
  const std::vector<std::size_t> all = {0, 1, 2, 3, 4};
  for (const ReferenceCriterion c : {ReferenceCriterion::coherence, ReferenceCriterion::distance, ReferenceCriterion::centre}) {
    const std::vector<ReferenceScore> scores = reference_scores(p, all, c, {}, model);
    ASSERT_EQ(scores.size(), 5u);
    EXPECT_EQ(p[scores.front().point].name, "M") << criterion_name(c);
  }
  // M's distance by hand: (24+24+48+48)/100 days, (40+40+60+60)/100 m, over 4.
  EXPECT_DOUBLE_EQ(reference_scores(p, {2}, ReferenceCriterion::distance, {}).front().score, (1.44 + 2.0) / 4);
  // The median is M itself: its centre score is 0; E1's is 48/50 + 60/25.
  EXPECT_DOUBLE_EQ(reference_scores(p, {2}, ReferenceCriterion::centre, {}).front().score, 0.0);
  EXPECT_DOUBLE_EQ(reference_scores(p, {0}, ReferenceCriterion::centre, {50.0, 25.0}).front().score, 0.96 + 2.4);
  // Only candidates are scored, but every point counts among the others
  // (unit scales, so that both sums are exact: 540 / 4).
  const std::vector<ReferenceScore> ends = reference_scores(p, {4, 0}, ReferenceCriterion::distance, {1.0, 1.0});
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_EQ(ends[0].point, 0u);  // a tie between the two ends: the earlier
  EXPECT_EQ(ends[0].score, 135.0);
  EXPECT_EQ(ends[1].score, 135.0);
}

// On the example stack, through the command: the scores of auto:distance
// and of auto (coherence, with --sensor) against sums over a plain run's
// baselines and modelled pair coherences, in reference.txt's geometry.
TEST(ReferenceChoice, ExampleStackScoresAgainstItsPairs) {
  const std::string dir = std::string(BPERP_SOURCE_DIR) + "/examples/stack/";
  std::vector<std::string> files = {dir + "reference.txt"};
  for (const char* f : {"20070612.txt", "20070728.orbit", "20071028.txt", "20071213.orbit", "20080128.txt",
                        "20080429.orbit", "20080730.txt", "20080914.orbit", "20081030.txt", "20090130.orbit",
                        "20090502.txt"})
    files.push_back(dir + f);
  const auto run_json = [&](std::vector<std::string> args) {
    args.insert(args.end(), files.begin(), files.end());
    const stack_test::RunResult r = stack_test::run_stack(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return nlohmann::json::parse(r.out);
  };
  const nlohmann::json plain = run_json({"--format", "json", "--pairs", "--sensor", "alos"});
  std::map<std::string, double> distance_sum, coherence_sum;
  for (const nlohmann::json& pair : plain.at("pairs")) {
    const double d = std::fabs(pair.at("days").get<double>()) / 100.0 +
                     std::fabs(pair.at("perpendicular_m").get<double>()) / 100.0;
    for (const char* member : {"first", "second"}) {
      distance_sum[pair.at(member)] += d;
      coherence_sum[pair.at(member)] += pair.at("coherence_model").get<double>();
    }
  }
  const double others = static_cast<double>(files.size() - 1);
  for (const auto& [criterion, sums] : {std::pair{"auto:distance", &distance_sum}, std::pair{"auto", &coherence_sum}}) {
    const nlohmann::json chosen = run_json({"--format", "json", "--reference", criterion, "--sensor", "alos"});
    const nlohmann::json& scores = chosen.at("reference_choice").at("scores");
    EXPECT_EQ(chosen.at("reference_choice").at("geometry"), dir + "reference.txt");
    EXPECT_EQ(scores.size(), 7u) << "the state vectors; a dated orbit needs --at-range";
    for (const nlohmann::json& s : scores)
      EXPECT_NEAR(s.at("score").get<double>(), (*sums)[s.at("name")] / others, 1e-9) << criterion << s;
    EXPECT_EQ(chosen.at("reference").at("name"), scores.front().at("name"));
  }
}

TEST(DateFilters, MonthsWrapStartAndEndAreKept) {
  const auto day = [](const char* text) { return *day_of_date_text(text); };
  DateFilters winter;
  winter.months = *month_ranges_of("11-2,7");
  const std::vector<std::pair<const char*, bool>> kept = {
      {"2007-11-01", true}, {"2007-12-31", true}, {"2008-01-15", true}, {"2008-02-29", true},
      {"2008-03-01", false}, {"2008-06-30", false}, {"2008-07-04", true}, {"2008-10-31", false}};
  for (const auto& [date, in] : kept) EXPECT_EQ(filter_leaving_out(winter, day(date)).empty(), in) << date;
  DateFilters span;
  span.start = day("20080101");
  span.end = day("2008-12-31");
  span.excluded = {day("2008-06-14")};
  EXPECT_EQ(filter_leaving_out(span, day("2007-12-31")), "--start");
  EXPECT_EQ(filter_leaving_out(span, day("2008-01-01")), "");
  EXPECT_EQ(filter_leaving_out(span, day("2008-12-31")), "");
  EXPECT_EQ(filter_leaving_out(span, day("2009-01-01")), "--end");
  EXPECT_EQ(filter_leaving_out(span, day("2008-06-14")), "--exclude");
  for (const char* bad : {"0", "13", "5-", "-5", "1-2-3", "5,,6", "", "a"})
    EXPECT_FALSE(month_ranges_of(bad).has_value()) << bad;
  for (const char* bad : {"2008-02-30", "20081301", "2008-1-5", "200801011"})
    EXPECT_FALSE(day_of_date_text(bad).has_value()) << bad;
}

TEST(PairList, EachFormReadsTheSamePairs) {
  const std::vector<std::pair<std::string, std::string>> forms = {
      {"dates export", "20070612_20070728\n20080614_20080730\n"},
      {"dashes, comments, CRLF", "# mine\r\n\r\n20070612-20070728\r\n20080614-20080730 extra words\r\n"},
      {"two columns", "2007-06-12 2007-07-28\n20080614,20080730\n"},
      {"pairs CSV", "first,second,first_date,second_date,days\n'-a.txt,\"b,c\",2007-06-12,2007-07-28,46\n"
                    "r,s,2008-06-14,2008-07-30,46\n"},
  };
  for (const auto& [form, text] : forms) {
    std::vector<ListedPair> pairs;
    std::string problem;
    ASSERT_TRUE(pair_list_of(text, pairs, &problem)) << form << ": " << problem;
    ASSERT_EQ(pairs.size(), 2u) << form;
    EXPECT_EQ(day_text(pairs[0].first.day), "2007-06-12") << form;
    EXPECT_EQ(day_text(pairs[1].second.day), "2008-07-30") << form;
  }
  std::vector<ListedPair> csv;
  std::string problem;
  ASSERT_TRUE(pair_list_of(forms[3].second, csv, &problem));
  EXPECT_EQ(csv[0].first.name, "-a.txt") << "the spreadsheet guard undone";
  EXPECT_EQ(csv[0].second.name, "b,c") << "the quotes undone";
  EXPECT_EQ(csv[1].line, 3u);

  for (const auto& [text, said] : std::vector<std::pair<std::string, std::string>>{
           {"20080614 20070612 -120.5 -368\n", "line 1 is a line of baselines"},
           {"20070612_20070728\n2007061220070728\n", "line 2 is no pair"},
           {"20070612_20070230\n", "line 1 is no pair"}}) {
    std::vector<ListedPair> pairs;
    EXPECT_FALSE(pair_list_of(text, pairs, &problem)) << text;
    EXPECT_EQ(problem.rfind(said, 0), 0u) << problem;
  }
}

TEST(PairList, MatchedByDateAndByNameWhereDatesRepeat) {
  const std::vector<NetworkPoint> p = {{"r", 100, 0.0, true}, {"a", 112, 0.0, false}, {"b", 112, 0.0, false},
                                       {"c", 124, 0.0, false}};
  const auto listed = [](long first, std::string first_name, long second, std::string second_name) {
    return ListedPair{7, {first, std::move(first_name)}, {second, std::move(second_name)}};
  };
  IndexPairs matched;
  std::string problem;
  ASSERT_TRUE(match_listed_pairs({listed(124, "", 100, ""), listed(112, "b", 124, "")}, p, matched, &problem))
      << problem;
  EXPECT_EQ(matched, (IndexPairs{{0, 3}, {2, 3}}));
  for (const auto& [pair, said] : std::vector<std::pair<ListedPair, std::string>>{
           {listed(100, "", 136, ""), "line 7: no acquisition of the stack is of 1970-05-17"},
           {listed(100, "", 112, ""), "line 7: 2 acquisitions are of 1970-04-23 (a, b)"},
           {listed(124, "", 124, ""), "line 7: pairs c with itself"}}) {
    EXPECT_FALSE(match_listed_pairs({pair}, p, matched, &problem));
    EXPECT_EQ(problem.rfind(said, 0), 0u) << problem;
  }
}

// The round trip: the pairs exported, read back with --pairs-from and
// exported again give the same bytes; the network from a dates list is the
// one listed.
TEST(PairList, ExportedPairsReadBackToTheSameFile) {
  const std::string dir = std::string(BPERP_SOURCE_DIR) + "/examples/stack/";
  stack_test::TempDir temp;
  const std::vector<std::string> stack = {dir + "reference.txt", dir + "20070612.txt", dir + "20071028.txt",
                                          dir + "20080730.txt", dir + "20081030.txt", dir + "20090502.txt"};
  const auto run = [&](std::vector<std::string> args) {
    args.insert(args.end(), stack.begin(), stack.end());
    const stack_test::RunResult r = stack_test::run_stack(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return r;
  };
  const std::string first = temp.path().string() + "/first.csv", second = temp.path().string() + "/second.csv";
  run({"--delaunay", "--sensor", "alos", "--export", "pairs:" + first});
  run({"--pairs-from", first, "--sensor", "alos", "--export", "pairs:" + second});
  EXPECT_EQ(stack_test::read_file(second), stack_test::read_file(first));
  EXPECT_GT(stack_test::lines_of(stack_test::read_file(first)).size(), 5u);

  const std::string dates = temp.write("ifgs.txt", "20080614_20070612\n20090502_20081030\n");
  const std::vector<std::map<std::string, std::string>> rows =
      stack_test::read_table(run({"--pairs-from", dates}).out, "first");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].at("first date"), "2007-06-12") << "the earlier first, as every network orders them";
  EXPECT_EQ(rows[1].at("second date"), "2009-05-02");
}

}  // namespace
}  // namespace bperp::stack
