// Every refusal has a kind that programs can tell apart without reading its
// words: one input made wrong in each way, run against the example stack's
// reference (and a dated orbit for the zero-Doppler geometry), gives its
// kind in the run and in the JSON's error_kind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bperp/stack/geometry/propagation.h"
#include "bperp/stack/run/stack_run.h"
#include "stack_test_support.h"

namespace {

using bperp::stack::RefusalKind;
using bperp::stack::refusal_kind_name;
using stack_test::TempDir;

const std::string stack_dir = std::string(BPERP_SOURCE_DIR) + "/examples/stack/";
const std::string reference = stack_dir + "reference.txt";
const std::string good = stack_dir + "20080730.txt";
const std::string orbit = stack_dir + "20080429.orbit";

// The first rows of the example orbit, whose closest approach to the
// reference lies after them.
std::string early_rows() {
  const std::vector<std::string> lines = stack_test::lines_of(stack_test::read_file(orbit));
  std::string text;
  for (std::size_t k = 0; k < 5; ++k) text += lines[k] + "\n";
  return text;
}

// The good secondary moved 30 s back along its orbit: its move to the
// closest approach is uncertain beyond 1 cm.
std::string far_along_track() {
  const std::vector<std::string> lines = stack_test::lines_of(stack_test::read_file(good));
  bperp::StateVector s;
  std::sscanf((lines[1] + " " + lines[2]).c_str(), "%lf %lf %lf %lf %lf %lf", &s.position[0], &s.position[1],
              &s.position[2], &s.velocity[0], &s.velocity[1], &s.velocity[2]);
  const bperp::StateVector moved = bperp::stack::propagate(s, -30.0);
  return stack_test::state_vector_text("2008-07-30 far along", moved.position, moved.velocity);
}

TEST(RefusalKinds, EachWrongInputHasItsKindInTheRunAndTheJson) {
  TempDir dir;
  struct Case {
    std::string path;
    RefusalKind kind;
  };
  const std::vector<Case> cases = {
      {dir.file("absent.txt"), RefusalKind::unreadable},
      {dir.write("words.txt", "header\nno numbers here\n"), RefusalKind::unknown_format},
      {dir.write("five.txt", "header\n1 2 3 4 5\n"), RefusalKind::unknown_format},
      {dir.write("bad-date.txt", "2007-02-30 no such day\n1 2 3 4 5 6\n"), RefusalKind::malformed},
      {dir.write("two-rows.orbit", "rows\n0 7000 0 0 0 7.5 0\n10 7000 75 0 0 7.5 0\n"), RefusalKind::malformed},
      // Dated 2100, its last row a century on: a time beyond 2199.
      {dir.write("beyond-2199.orbit", "2100-01-01 rows\n0 7000 0 0 0 7.5 0\n10 7000 75 0 0 7.5 0\n"
                                      "20 7000 150 0 0 7.5 0\n3.2e9 7000 225 0 0 7.5 0\n"),
       RefusalKind::malformed},
      {dir.write("zeros.txt", "2008-09-01 zeros\n0 0 0 0 0 0\n"), RefusalKind::implausible},
      {dir.write("other.txt", stack_test::read_file(std::string(BPERP_SOURCE_DIR) + "/examples/master.txt")),
       RefusalKind::other_track},
      {dir.write("early.orbit", early_rows()), RefusalKind::outside_orbit},
      {dir.write("far-along.txt", far_along_track()), RefusalKind::uncertain},
      {stack_dir + "20090130.orbit", RefusalKind::too_long},  // 705 m against 600 m
  };
  std::vector<std::string> paths = {good};
  for (const Case& c : cases) paths.push_back(c.path);
  bperp::stack::StackOptions options;
  options.max_length = 0.6;  // km
  const bperp::stack::StackRun run = bperp::stack::run_stack(reference, paths, options);
  ASSERT_FALSE(run.refusal);
  ASSERT_EQ(run.secondaries.size(), paths.size());
  EXPECT_TRUE(run.secondaries[0].ok());

  std::vector<std::string> args = {"--format", "json", "--max-length", "600", reference};
  args.insert(args.end(), paths.begin(), paths.end());
  const stack_test::RunResult r = stack_test::run_stack(args);
  EXPECT_EQ(r.status, 1);
  const nlohmann::json rows = nlohmann::json::parse(r.out).at("secondaries");
  ASSERT_EQ(rows.size(), paths.size());
  EXPECT_TRUE(rows[0].at("error_kind").is_null());
  for (std::size_t k = 0; k < cases.size(); ++k) {
    const bperp::stack::SecondaryResult& s = run.secondaries[k + 1];
    ASSERT_TRUE(s.refusal) << cases[k].path;
    EXPECT_EQ(s.refusal->kind, cases[k].kind) << cases[k].path << ": " << s.refusal->text;
    EXPECT_EQ(rows[k + 1].at("error_kind"), std::string(refusal_kind_name(cases[k].kind))) << cases[k].path;
    EXPECT_EQ(rows[k + 1].at("error"), s.refusal->text);
  }
  EXPECT_NE(run.secondaries[6].refusal->text.find(
                "line 5 is at 3.2e+09 s after 00:00 of 2100-01-01, a time outside the years 1970 to 2199"),
            std::string::npos)
      << run.secondaries[6].refusal->text;
}

// What the reference can't be asked: a target beyond its reach, a grid of a
// state vector, a target option it has no time for.
TEST(RefusalKinds, TheReferencesRefusalsHaveKinds) {
  struct Case {
    std::string reference;
    bperp::stack::StackOptions options;
    RefusalKind kind;
  };
  std::vector<Case> cases(4);
  cases[0].reference = orbit;  // a dated orbit 690 km up cannot see a target 100 km away
  cases[0].options.target.at_range = 100.0;
  cases[0].options.target.wavelength = 0.2362e-3;
  cases[0].kind = RefusalKind::outside_image;
  cases[1].reference = reference;
  cases[1].options.grid = bperp::stack::GridSize{2, 2};
  cases[1].kind = RefusalKind::option;
  cases[2].reference = reference;
  cases[2].options.target.at_range = 870.0;
  cases[2].kind = RefusalKind::option;
  cases[3].reference = orbit;  // its middle row's time, with no slant range nor wavelength
  cases[3].kind = RefusalKind::option;
  for (const Case& c : cases) {
    const bperp::stack::StackRun run = bperp::stack::run_stack(c.reference, {good}, c.options);
    ASSERT_TRUE(run.refusal) << c.reference;
    EXPECT_EQ(run.refusal->kind, c.kind) << run.refusal->text;
  }
}

// The names are the documented ones, each kind's own.
TEST(RefusalKinds, NamesFollowTheKinds) {
  for (const auto& k : bperp::stack::refusal_kind_names) EXPECT_EQ(refusal_kind_name(k.kind), k.name);
  EXPECT_EQ(refusal_kind_name(RefusalKind::outside_orbit), "outside_orbit");
  EXPECT_EQ(refusal_kind_name(RefusalKind::option), "option");
}

}  // namespace
