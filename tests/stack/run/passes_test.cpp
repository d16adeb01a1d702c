// Passes: inputs of one flight over the scene make one acquisition. The
// rule on hand-made inputs, then real slices of the track-108 passes: the
// input that covers each target is the one used, the reference's own pass
// is no secondary, and no export lists a pass twice.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bperp/stack/run/passes.h"
#include "bperp/stack/run/stack_run.h"
#include "stack_test_support.h"

namespace {

using namespace bperp::stack;
using stack_test::RunResult;
using stack_test::run_stack;
using stack_test::TempDir;

const std::string data = std::string(BPERP_SOURCE_DIR) + "/tests/data/s1-track108-annotation/";
const std::string iw1_0406 = data + "s1a-iw1-slc-vv-20250406t022009-20250406t022034-058630-07421f-004.xml";
const std::string iw2_0406 = data + "s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml";
const std::string iw1_0418 = data + "s1a-iw1-slc-vv-20250418t022009-20250418t022034-058805-074946-004.xml";
const std::string iw2_0418 = data + "s1a-iw2-slc-vv-20250418t022010-20250418t022035-058805-074946-005.xml";
const std::string iw3_0418 = data + "s1a-iw3-slc-vv-20250418t022008-20250418t022033-058805-074946-006.xml";

// An input as far as its pass is told: mission and orbit (none for ""),
// day, time at the target (s after 02:00 of 2025-04-18, none for NaN).
struct Input {
  Acquisition a;
  PassKey key;
};
Input input(const std::string& mission, long orbit, long day, double seconds) {
  Input in;
  if (!mission.empty()) {
    in.a.product.emplace();
    in.a.product->mission = mission;
    in.a.product->absolute_orbit = orbit;
  }
  in.a.day = day;
  const long april_18 = 20196;
  if (!std::isnan(seconds)) in.key.time = add_seconds(start_of_day(april_18), 7200.0 + seconds);
  return in;
}

TEST(Passes, OneMissionAndOrbitElseOneDateWithinAMinute) {
  const long day = 20196;
  struct Case {
    Input a, b;
    const char* reason;  // words of one_pass_reason; "" for two passes
  };
  const double none = NAN;
  Case cases[] = {
      {input("S1A", 58805, day, 20.0), input("S1A", 58805, day, 20.0), "S1A absolute orbit 58805"},
      // Both state their orbits: those decide, whatever the times.
      {input("S1A", 58805, day, 20.0), input("S1A", 58806, day, 20.0), ""},
      {input("S1A", 58805, day, 20.0), input("S1B", 58805, day, 20.0), ""},
      {input("S1A", 58805, day, 20.0), input("S1A", 58805, day + 1, 9000.0), "S1A absolute orbit 58805"},
      // Else one date, and times at the target within 60 s.
      {input("S1A", 58805, day, 20.0), input("", 0, day, 20.5), "of 2025-04-18, 0.500 s apart at the target"},
      {input("", 0, day, 0.0), input("", 0, day, 60.0), "60.000 s apart"},
      {input("", 0, day, 0.0), input("", 0, day, 60.001), ""},
      {input("", 0, day, 0.0), input("", 0, day + 1, 0.0), ""},
      {input("", 0, day, 0.0), input("", 0, day, none), ""},
  };
  for (Case& c : cases) {
    c.a.key.acquisition = &c.a.a;
    c.b.key.acquisition = &c.b.a;
    const std::string forward = one_pass_reason(c.a.key, c.b.key);
    EXPECT_EQ(forward, one_pass_reason(c.b.key, c.a.key)) << c.reason;  // symmetric
    if (*c.reason == '\0')
      EXPECT_EQ(forward, "") << other_pass_reason(c.a.key, c.b.key);
    else
      EXPECT_NE(forward.find(c.reason), std::string::npos) << forward;
  }
}

nlohmann::json json_of(std::vector<std::string> args, RunResult* run = nullptr) {
  args.insert(args.begin(), {"--format", "json"});
  const RunResult r = run_stack(args);
  if (run != nullptr) *run = r;
  return nlohmann::json::parse(r.out);
}

// The three swaths of 2025-04-18 are one pass: one row, the swath that
// covers the target named; the other swath of the reference's date is its
// own pass (a warning), the reference named again nothing at all.
TEST(Passes, SwathsOfOnePassAreOneAcquisition) {
  for (const auto& [reference, used] : {std::pair{iw2_0406, iw2_0418}, std::pair{iw1_0406, iw1_0418}}) {
    RunResult r;
    const nlohmann::json doc =
        json_of({"--pairs", reference, reference, iw3_0418, iw1_0406, iw2_0406, iw1_0418, iw2_0418}, &r);
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(doc.at("secondaries").size(), 1u) << r.err;
    EXPECT_EQ(doc.at("secondaries")[0].at("name"), used);
    EXPECT_EQ(doc.at("pairs").size(), 1u);  // no pair within a pass
    const std::string other = reference == iw1_0406 ? iw2_0406 : iw1_0406;
    EXPECT_NE(r.err.find(other + " is of the reference's pass (S1A absolute orbit 58630)"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(iw3_0418 + ", "), std::string::npos) << r.err;  // the pass's inputs, in order
    EXPECT_NE(r.err.find("are one pass (S1A absolute orbit 58805): one acquisition, " + used + " used at the target"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find(reference + " is the same file"), std::string::npos) << r.err;
    EXPECT_EQ(doc.at("warnings").size(), 2u);
  }
}

// Two slices of the 2025-04-18 pass, each the IW2 image's half (its lines
// cut at 02:20:22.9), named second half first: at each grid line the slice
// that covers it, and the dates exports list the pass once.
TEST(Passes, EachTargetTakesTheSliceThatCoversIt) {
  TempDir dir;
  const std::string whole = stack_test::read_file(iw2_0418);
  const auto slice = [&](const std::string& name, const std::string& first, const std::string& last) {
    std::string text = whole;
    const auto put = [&](const std::string& tag, const std::string& time) {
      const std::size_t at = text.find("<" + tag + ">") + tag.size() + 2;
      text.replace(at, text.find("</" + tag + ">") - at, time);
    };
    put("productFirstLineUtcTime", first);
    put("productLastLineUtcTime", last);
    return dir.write(name, text);
  };
  const std::string early = slice("early.xml", "2025-04-18T02:20:10.266826", "2025-04-18T02:20:22.9");
  const std::string late = slice("late.xml", "2025-04-18T02:20:22.9", "2025-04-18T02:20:35.445335");
  RunResult r;
  const nlohmann::json grid = json_of({"--grid", "2x1", iw2_0406, late, early}, &r);
  EXPECT_EQ(r.status, 0) << r.err;
  const nlohmann::json& rows = grid.at("secondaries");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].at("name"), early);  // the first line, 02:20:10
  EXPECT_EQ(rows[1].at("name"), late);   // the last, 02:20:35
  EXPECT_EQ(rows[0].at("outside_image"), false);
  // The stack's target, 02:20:22.86 on the secondary's orbit: the early half.
  EXPECT_EQ(json_of({iw2_0406, late, early}).at("secondaries")[0].at("name"), early);

  const std::string dates = dir.file("dates.txt"), baselines = dir.file("baselines.txt");
  const RunResult exported = run_stack({"--pairs", "--export", "dates:" + dates, "--export",
                                        "baselines:" + baselines, iw2_0406, late, early});
  EXPECT_EQ(exported.status, 0) << exported.err;
  EXPECT_EQ(stack_test::read_file(dates), "20250406_20250418\n");
  EXPECT_EQ(stack_test::lines_of(stack_test::read_file(baselines)).size(), 2u);
}

}  // namespace
