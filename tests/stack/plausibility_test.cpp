// What cannot be a repeat pass is refused, and what is only odd is warned
// about: bperp-stack run on the example stack with one file made wrong in
// each case (units, zeros, another track), the row of the bad file marked,
// the others still computed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "bperp/stack/geometry/plausibility.h"
#include "stack_test_support.h"

namespace {

using stack_test::lines_of;
using stack_test::read_csv;
using stack_test::RunResult;
using stack_test::run_stack;
using stack_test::TempDir;

const std::string stack_dir = std::string(BPERP_SOURCE_DIR) + "/examples/stack";
const std::string reference = stack_dir + "/reference.txt";
const std::string good = stack_dir + "/20080730.txt";
const std::string orbit = stack_dir + "/20080429.orbit";

// The example orbit with each row's numbers passed through f(column, value).
template <typename F>
std::string rewritten_orbit(F f) {
  const std::vector<std::string> lines = lines_of(stack_test::read_file(orbit));
  std::string text = lines[0] + "\n";
  for (std::size_t k = 1; k < lines.size(); ++k) {
    std::istringstream in(lines[k]);
    double v = 0.0;
    for (int column = 0; in >> v; ++column) {
      char number[64];
      std::snprintf(number, sizeof number, "%.12g ", f(column, v));
      text += number;
    }
    text += "\n";
  }
  return text;
}

// The CSV record of a secondary, by name.
std::vector<std::string> record_of(const std::vector<std::vector<std::string>>& records,
                                   const std::string& name) {
  for (const auto& r : records)
    if (!r.empty() && r[0] == name) return r;
  return {};
}

TEST(Plausibility, WhatCannotBeARepeatPassIsRefusedWithItsLikelyCause) {
  TempDir dir;
  struct Case {
    std::string path;
    std::vector<std::string> words;  // in the reason
  };
  const std::vector<Case> cases = {
      {dir.write("days.orbit", rewritten_orbit([](int c, double v) { return c == 0 ? v / 86400.0 : v; })),
       {"velocities do not match", "from line 2 to line 3", "days"}},
      {dir.write("ms.orbit", rewritten_orbit([](int c, double v) { return c == 0 ? v * 1000.0 : v; })),
       {"velocities do not match", "milliseconds"}},
      {dir.write("metres.orbit",
                 rewritten_orbit([](int c, double v) { return c >= 1 && c <= 3 ? v * 1000.0 : v; })),
       {"line 2: the position", "metres rather than km"}},
      {dir.write("metres-per-second.orbit",
                 rewritten_orbit([](int c, double v) { return c >= 4 ? v * 1000.0 : v; })),
       {"line 2: the speed", "m/s rather than km/s"}},
      {dir.write("zeros.txt", "2008-09-01 zeros\n0 0 0 0 0 0\n"), {"earth's centre"}},
      {dir.write("inside.txt", "2008-09-02 inside\n3000 3000 3000 -1.7 4.3 -6.0\n"),
       {"inside the earth"}},
      // bperp's example master: a pass of another track, 8,000 km away.
      {dir.write("other-track.txt",
                 stack_test::read_file(std::string(BPERP_SOURCE_DIR) + "/examples/master.txt")),
       {"km from the reference position", "another track"}},
      // Another track's vector moved to the reference's place: too long a baseline.
      {dir.write("far.txt", "2008-09-03 far\n-3992.2 4155.9 4195.4 -1.721236851 4.285816268 -6.027058295\n"),
       {"km long", "more than --max-length 50000 m", "another track"}},
  };
  std::vector<std::string> args = {"--format", "csv", reference, good};
  for (const Case& c : cases) args.push_back(c.path);
  args.push_back(orbit);
  const RunResult r = run_stack(args);
  EXPECT_EQ(r.status, 1) << r.err;
  const auto records = read_csv(r.out);
  ASSERT_EQ(records.size(), cases.size() + 3) << r.out;
  const std::size_t perpendicular = static_cast<std::size_t>(
      std::find(records[0].begin(), records[0].end(), "perpendicular_m") - records[0].begin());
  EXPECT_EQ(record_of(records, good).back(), "");
  EXPECT_EQ(record_of(records, orbit).back(), "");
  EXPECT_NE(record_of(records, orbit)[perpendicular], "");
  for (const Case& c : cases) {
    const std::vector<std::string> record = record_of(records, c.path);
    ASSERT_FALSE(record.empty()) << c.path;
    EXPECT_EQ(record[perpendicular], "") << c.path;  // no perpendicular baseline
    for (const std::string& w : c.words) {
      EXPECT_NE(record.back().find(w), std::string::npos) << w << " | " << record.back();
      EXPECT_NE(r.err.find(w), std::string::npos) << w;
    }
  }
}

// --max-length is in metres, like the other options, and a baseline equal
// to it is in.
TEST(Plausibility, MaxLengthRefusesLongerBaselines) {
  const RunResult wide = run_stack({"--format", "csv", "--max-length", "200", reference, good});
  EXPECT_EQ(wide.status, 0) << wide.err;  // 152 m
  const RunResult tight = run_stack({"--format", "csv", "--max-length", "100", reference, good});
  EXPECT_EQ(tight.status, 1);
  EXPECT_NE(tight.err.find("more than --max-length 100 m"), std::string::npos) << tight.err;
  EXPECT_EQ(run_stack({"--max-length", "-1", reference, good}).status, 1);
}

// Odd but usable: a warning on standard error each, the exit status as if
// they were not there.
TEST(Plausibility, DuplicatesSameDatesAndOddHeaderDatesAreWarnings) {
  TempDir dir;
  const std::string link = dir.file("link.txt");
  std::filesystem::create_symlink(good, link);
  const std::string body = lines_of(stack_test::read_file(good))[1] + "\n" +
                           lines_of(stack_test::read_file(good))[2] + "\n";
  const std::string same_day = dir.write("same-day.txt", "2008-07-30 another file\n" + body);
  const std::string year_zero = dir.write("year-zero.txt", "0000-01-01 placeholder\n" + body);
  const std::string marked = dir.write("bom.txt", "\xEF\xBB\xBF" "2008-09-14 with a mark\n" + body);
  const RunResult r = run_stack({"--format", "csv", reference, good, link, reference, same_day,
                                 year_zero, marked});
  EXPECT_EQ(r.status, 0) << r.err;
  const auto records = read_csv(r.out);
  // The link and the reference are used once: five secondaries remain.
  ASSERT_EQ(records.size(), 5u) << r.out;
  EXPECT_TRUE(record_of(records, link).empty());
  EXPECT_TRUE(record_of(records, reference).empty());
  EXPECT_EQ(record_of(records, year_zero)[2], "");           // undated
  EXPECT_EQ(record_of(records, marked)[2], "2008-09-14");    // the mark skipped
  for (const std::string& words :
       {link + " is the same file as " + good + ": used once",
        reference + " is the same file as " + reference + " (the reference): used once",
        same_day + " and " + good + " are both of 2008-07-30",
        year_zero + ": the header date 0000-01-01 lies outside 1978 to 2100: taken as no date"})
    EXPECT_NE(r.err.find("warning: " + words), std::string::npos) << words << "\n" << r.err;
}

// The checks themselves, on vectors worked by hand: a 700 km orbit at
// 7.5 km/s passes; each unit slip is named.
TEST(Plausibility, StateChecksNameTheUnitSlip) {
  using bperp::StateVector;
  const auto state = [](double x, double vy) {
    StateVector s;
    s.position[0] = x;
    s.velocity[1] = vy;
    return s;
  };
  EXPECT_EQ(bperp::stack::implausible_state(state(7078.0, 7.5)), "");
  EXPECT_NE(bperp::stack::implausible_state(state(7078e3, 7.5)).find("metres"), std::string::npos);
  EXPECT_NE(bperp::stack::implausible_state(state(7078.0, 7500.0)).find("m/s"), std::string::npos);
  EXPECT_NE(bperp::stack::implausible_state(state(6478.0, 7.5)).find("below 150 km"), std::string::npos);
  EXPECT_NE(bperp::stack::implausible_state(state(9000.0, 7.5)).find("above 2000 km"), std::string::npos);
  EXPECT_NE(bperp::stack::implausible_state(state(7078.0, 3.0)).find("3.000 km/s"), std::string::npos);
}

}  // namespace
