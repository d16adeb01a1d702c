// The kinds of pair networks and their connectivity, on hand-made stacks
// whose answers are worked out in the comments, and the report through the
// command.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "bperp/stack/network/connectivity.h"
#include "bperp/stack/network/pairs.h"
#include "stack_test_support.h"

namespace bperp::stack {
namespace {

using Names = std::set<std::pair<std::string, std::string>>;

Names names_of(const std::vector<NetworkPoint>& points, const PairNetwork& network) {
  Names n;
  network.for_each([&](const Pair& p) { n.insert({points[p.first].name, points[p.second].name}); });
  return n;
}

// Six acquisitions 12 days apart but for a jump of 500 days before F, with
// perpendicular baselines (m):
//   A d0 0   B d12 10   C d24 -20   D d36 300   E d48 290   F d548 5
// (F is 548 days after A: 1.5 years, no whole year; 500 days after E.)
std::vector<NetworkPoint> six() {
  return {{"A", 0, 0.0, true},     {"B", 12, 10.0, false},  {"C", 24, -20.0, false},
          {"D", 36, 300.0, false}, {"E", 48, 290.0, false}, {"F", 548, 5.0, false}};
}

TEST(NetworkKinds, EachAgainstItsDefinition) {
  const std::vector<NetworkPoint> p = six();
  struct Case {
    const char* name;
    PairLimits limits;
    Names expected;
  };
  PairLimits sequential1;
  sequential1.sequential = 1;
  PairLimits sequential2;
  sequential2.sequential = 2;
  PairLimits perp50_seq1 = sequential1;
  perp50_seq1.max_perpendicular = 50.0;  // D and E are 300 m out: their next within 50 m
  PairLimits days24;
  days24.max_days = 24;
  PairLimits neighbours1_seq1 = sequential1;
  neighbours1_seq1.max_neighbours = 1;
  const std::vector<Case> cases = {
      {"sequential 1", sequential1, {{"A", "B"}, {"B", "C"}, {"C", "D"}, {"D", "E"}, {"E", "F"}}},
      {"sequential 2", sequential2,
       {{"A", "B"}, {"A", "C"}, {"B", "C"}, {"B", "D"}, {"C", "D"}, {"C", "E"}, {"D", "E"}, {"D", "F"}, {"E", "F"}}},
      // Candidates first: within 50 m, each one's next candidate.
      {"sequential 1 within 50 m", perp50_seq1, {{"A", "B"}, {"B", "C"}, {"C", "F"}, {"D", "E"}}},
      {"days 24", days24, {{"A", "B"}, {"A", "C"}, {"B", "C"}, {"B", "D"}, {"C", "D"}, {"C", "E"}, {"D", "E"}}},
      // Both choosers: the union of what each keeps. The mutual nearest
      // (ties to the earlier partner) keep A-B alone, sequential 1 the chain.
      {"neighbours 1 or sequential 1", neighbours1_seq1,
       {{"A", "B"}, {"B", "C"}, {"C", "D"}, {"D", "E"}, {"E", "F"}}},
  };
  for (const Case& c : cases) EXPECT_EQ(names_of(p, PairNetwork(p, c.limits, {})), c.expected) << c.name;
}

// --annual adds the pairs a whole number of years apart (within 30 days)
// inside --max-perp, whatever --max-days says; --mst adds a spanning tree
// with no limit at all.
TEST(NetworkKinds, AnnualAndSpanningTreeReachBeyondTheLimits) {
  std::vector<NetworkPoint> p = {{"A", 0, 0.0, true}, {"B", 12, 10.0, false}, {"C", 370, 20.0, false},
                                 {"D", 740, 400.0, false}, {"E", 1100, 30.0, false}};
  // Years apart: A-C 370 (1 y + 4.75 d), B-C 358 (1 y - 7.25 d), A-D 740
  // (2 y + 9.5 d, but 400 m), C-E 730 (2 y - 0.5 d), B-E 1088 (3 y - 7.75
  // d), A-E 1100 (3 y + 4.25 d), C-D 370 (but 380 m), D-E 360 (370 m).
  PairLimits annual;
  annual.max_days = 20;
  annual.max_perpendicular = 100.0;
  annual.annual = true;
  EXPECT_EQ(names_of(p, PairNetwork(p, annual, {})),
            (Names{{"A", "B"}, {"A", "C"}, {"B", "C"}, {"C", "E"}, {"B", "E"}, {"A", "E"}}));
  // The tree: distances sqrt((d/100)^2 + (dB/100)^2): A-B 0.16, B-C 3.58,
  // A-C 3.71, C-E 7.30, C-D 5.30, D-E 5.16 ... Prim from A: B, C, then D
  // (C-D 5.30 < C-E 7.30), then E (D-E 5.16).
  PairLimits mst;
  mst.max_days = 0;  // no candidate at all: the tree alone
  mst.mst = true;
  const PairNetwork tree(p, mst, {});
  EXPECT_EQ(names_of(p, tree), (Names{{"A", "B"}, {"B", "C"}, {"C", "D"}, {"D", "E"}}));
  EXPECT_TRUE(connectivity(tree).connected());
}

TEST(Connectivity, PartsAndTheirBridges) {
  const std::vector<NetworkPoint> p = six();
  // Everything within 50 m and 12 days: A-B, B-C (30 m), D-E, E-F no (500 d).
  PairLimits split;
  split.max_perpendicular = 50.0;
  split.max_days = 12;
  const Connectivity c = connectivity(PairNetwork(p, split, {}));
  ASSERT_EQ(c.components.size(), 3u);
  const auto names = [&](const std::vector<std::size_t>& part) {
    std::vector<std::string> n;
    for (const std::size_t i : part) n.push_back(p[i].name);
    return n;
  };
  EXPECT_EQ(names(c.components[0]), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(names(c.components[1]), (std::vector<std::string>{"D", "E"}));
  EXPECT_EQ(names(c.components[2]), (std::vector<std::string>{"F"}));  // a lone acquisition
  // The closest pairs between the parts, sqrt((d/100)^2 + (dB/100 m)^2):
  // {A,B,C}-{D,E}: B-E (36 d, 280 m) 2.823 beats B-D 2.910, A-E 2.939, A-D
  // 3.022, C-E 3.109, C-D 3.202; {A,B,C}-{F}: C-F (524 d, 25 m) 5.246;
  // {D,E}-{F}: E-F (500 d, 285 m) 5.755. The tree of the parts: B-E, C-F.
  ASSERT_EQ(c.bridges.size(), 2u);
  EXPECT_EQ(p[c.bridges[0].first].name + p[c.bridges[0].second].name, "BE");
  EXPECT_EQ(p[c.bridges[1].first].name + p[c.bridges[1].second].name, "CF");
  EXPECT_DOUBLE_EQ(c.bridges[0].perpendicular, 280.0);

  PairLimits all;
  EXPECT_TRUE(connectivity(PairNetwork(p, all, {})).connected());
  EXPECT_TRUE(connectivity(PairNetwork(p, all, {})).bridges.empty());
}

// Seven acquisitions in four parts (--max-days 0 keeps the pairs of one
// date), at (days / 100, B_perp / 100 m):
//   A (0, 0)  B (0, 4)  |  G (2, -3)  |  C (3, 0)  D (3, 8)  |  E (7, 4)  F (7, 11)
// The closest pairs between the parts: {A,B}-{C,D} A-C 3; {G}-{C,D} G-C
// sqrt(1 + 9) 3.162; {A,B}-{G} A-G sqrt(4 + 9) 3.606, which would close a
// loop; {C,D}-{E,F} D-F sqrt(16 + 9) 5 (beating C-E and D-E, sqrt(32)
// 5.657); {A,B}-{E,F} B-E 7; {G}-{E,F} G-E sqrt(25 + 49) 8.602. The
// shortest joining set: A-C, G-C, D-F, listed by their first members' dates.
TEST(Connectivity, TheShortestPairsThatJoinTheParts) {
  const std::vector<NetworkPoint> p = {{"A", 0, 0.0, true},      {"B", 0, 400.0, false},
                                       {"C", 300, 0.0, false},   {"D", 300, 800.0, false},
                                       {"E", 700, 400.0, false}, {"F", 700, 1100.0, false},
                                       {"G", 200, -300.0, false}};
  PairLimits same_day;
  same_day.max_days = 0;
  const Connectivity c = connectivity(PairNetwork(p, same_day, {}));
  ASSERT_EQ(c.components.size(), 4u);
  std::vector<std::string> bridges;
  for (const Pair& b : c.bridges) bridges.push_back(p[b.first].name + p[b.second].name);
  EXPECT_EQ(bridges, (std::vector<std::string>{"AC", "GC", "DF"}));
}

// Against Kruskal over every pair of points, starting from the parts, on a
// pseudo-random stack split many ways: the same bridges.
TEST(Connectivity, BridgesAreTheSpanningTreeOfAllPairs) {
  std::mt19937 random(20240601);  // a fixed seed: one stack every run
  std::vector<NetworkPoint> p;
  for (int k = 0; k < 90; ++k) {
    std::string name = "P";
    name += std::to_string(k);
    const long day = static_cast<long>(random() % 1500);  // days
    const double perpendicular = static_cast<double>(random() % 600001) / 1000.0 - 300.0;  // m, to the mm
    p.push_back({name, day, perpendicular, k == 0});
  }
  PairLimits split;
  split.max_days = 24;
  split.max_perpendicular = 60.0;
  const PairNetwork network(p, split, {});
  std::vector<std::size_t> set(p.size());
  std::iota(set.begin(), set.end(), 0);
  const auto find = [&](std::size_t x) {
    while (set[x] != x) x = set[x];
    return x;
  };
  network.for_each([&](const Pair& pair) { set[find(pair.first)] = find(pair.second); });
  std::vector<std::tuple<double, std::size_t, std::size_t>> all;
  for (std::size_t i = 0; i < p.size(); ++i)
    for (std::size_t j = i + 1; j < p.size(); ++j) all.emplace_back(network_distance(p, i, j), i, j);
  std::sort(all.begin(), all.end());
  std::set<std::pair<std::size_t, std::size_t>> expected;
  for (const auto& [d, i, j] : all)
    if (find(i) != find(j)) {
      set[find(i)] = find(j);
      expected.insert({std::min(i, j), std::max(i, j)});
    }
  const Connectivity c = connectivity(network);
  ASSERT_GT(c.components.size(), 10u);  // a test of many parts
  std::set<std::pair<std::size_t, std::size_t>> found;
  for (const Pair& b : c.bridges) found.insert({std::min(b.first, b.second), std::max(b.first, b.second)});
  EXPECT_EQ(found, expected);
  EXPECT_EQ(c.bridges.size(), c.components.size() - 1);
  for (std::size_t k = 1; k < c.bridges.size(); ++k)
    EXPECT_LE(network.rank(c.bridges[k - 1].first), network.rank(c.bridges[k].first)) << "in order";
}

// Through the command: the report in the table and the JSON; a split
// network refused with --require-connected, nothing on standard output.
TEST(Connectivity, ReportedAndRequired) {
  const std::string dir = std::string(BPERP_SOURCE_DIR) + "/examples/stack/";
  std::vector<std::string> args = {"--pairs", "--max-neighbours", "2", dir + "reference.txt"};
  for (const char* f : {"20070612.txt", "20070728.orbit", "20071028.txt", "20071213.orbit", "20080128.txt",
                        "20080429.orbit", "20080730.txt", "20080914.orbit", "20081030.txt", "20090130.orbit",
                        "20090502.txt"})
    args.push_back(dir + f);
  const stack_test::RunResult table = stack_test::run_stack(args);
  EXPECT_EQ(table.status, 0);
  EXPECT_NE(table.out.find("network: split into 3 parts"), std::string::npos) << table.out;
  std::vector<std::string> json_args = args;
  json_args.insert(json_args.begin(), {"--format", "json"});
  const nlohmann::json doc = nlohmann::json::parse(stack_test::run_stack(json_args).out);
  EXPECT_EQ(doc.at("network").at("components"), 3);
  EXPECT_EQ(doc.at("network").at("members").size(), 3u);
  EXPECT_EQ(doc.at("network").at("bridges").size(), 2u);
  // The CSV holds the pairs alone: the split is said on standard error.
  std::vector<std::string> csv_args = args;
  csv_args.insert(csv_args.begin(), {"--format", "csv"});
  const stack_test::RunResult csv = stack_test::run_stack(csv_args);
  EXPECT_EQ(csv.status, 0);
  EXPECT_NE(csv.err.find("warning: the pair network is split into 3 parts; 2 pairs would join them"),
            std::string::npos)
      << csv.err;

  std::vector<std::string> required = args;
  required.insert(required.begin(), "--require-connected");
  const stack_test::RunResult refused = stack_test::run_stack(required);
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("split into 3 parts"), std::string::npos) << refused.err;
  required.insert(required.begin(), "--mst");
  const stack_test::RunResult joined = stack_test::run_stack(required);
  EXPECT_EQ(joined.status, 0) << joined.err;
  EXPECT_NE(joined.out.find("network: connected"), std::string::npos);
}

// A lone acquisition (the reference, its secondary unreadable) is one.
TEST(Connectivity, OneIsSingular) {
  const std::string dir = std::string(BPERP_SOURCE_DIR) + "/examples/stack/";
  stack_test::TempDir temp;
  const stack_test::RunResult one =
      stack_test::run_stack({"--pairs", dir + "reference.txt", temp.write("empty.txt", "")});
  EXPECT_EQ(one.status, 1);  // the secondary's failure
  EXPECT_NE(one.out.find("network: connected (1 acquisition in one part)"), std::string::npos) << one.out;
}

}  // namespace
}  // namespace bperp::stack
