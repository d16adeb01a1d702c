// bperp-stack on image parameter files (the relative-orbit-5 pair, see
// tests/data/README.md) against the published baseline table, and baselines
// across the scene (--grid) against single runs at the same targets.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "stack_test_support.h"

namespace {

using stack_test::RunResult;
using stack_test::run_stack;

const std::string par = std::string(BPERP_SOURCE_DIR) + "/tests/data/gamma-slc-par/";
const std::string s1 = std::string(BPERP_SOURCE_DIR) + "/tests/data/s1-track108-annotation/";
const std::string s1_reference = s1 + "s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml";
const std::string s1_secondary = s1 + "s1a-iw2-slc-vv-20250418t022010-20250418t022035-058805-074946-005.xml";

nlohmann::json json_of(std::vector<std::string> args) {
  args.insert(args.begin(), {"--format", "json"});
  const RunResult r = run_stack(args);
  EXPECT_EQ(r.status, 0) << r.err;
  return nlohmann::json::parse(r.out);
}

// The published table (20180106-20180130_VV_8rlks_bperp.par) at line 2500,
// range sample 4200 of the multilooked reference image: bpara 26.7767 m,
// bperp 30.2803 m, with the opposite sign of B = reference - secondary. The
// time is the _mli.par's start_time (2412.557627 s) + 2500 azimuth_line_time
// (4.1111126e-03 s), the range its near_range_slc (798988.2904 m) + 4200
// range_pixel_spacing (18.636496 m). The table carries a refinement from
// the interferogram of about 1.5 cm (its _base.par): within 3 cm. In the
// table's own convention (--convention gamma, and the baselines file that
// LiCSAR writes from such tables, read as LiCSBAS reads it: blank-separated
// reference date, date, perpendicular baseline, days), the signs exactly.
TEST(ImageParameters, PairMatchesThePublishedTableCell) {
  const std::string at_time = "2018-01-06T00:40:22.835409";  // 2412.557627 + 10.277782 s
  const std::string at_range = "877261.573600";
  struct Case {
    const char* reference;  // the multilooked image's parameters, or the full-resolution one's
  };
  std::vector<double> perpendicular;
  for (const char* reference : {"r20180106_VV_8rlks_mli.par", "r20180106_VV_slc.par"}) {
    const nlohmann::json doc =
        json_of({"--at-time", at_time, "--at-range", at_range, par + reference, par + "r20180130_VV_slc.par"});
    const nlohmann::json& s = doc.at("secondaries").at(0);
    ASSERT_TRUE(s.at("error").is_null()) << s.at("error");
    EXPECT_NEAR(-s.at("parallel_m").get<double>(), 26.7767, 0.03) << reference;
    EXPECT_NEAR(-s.at("perpendicular_m").get<double>(), 30.2803, 0.03) << reference;
    EXPECT_EQ(s.at("days"), 24);
    EXPECT_EQ(doc.at("reference").at("kind"), "parameters");
    perpendicular.push_back(s.at("perpendicular_m"));

    stack_test::TempDir dir;
    const std::string baselines = dir.file("baselines");
    const nlohmann::json gamma = json_of({"--convention", "gamma", "--export", "baselines:" + baselines, "--at-time",
                                          at_time, "--at-range", at_range, par + reference, par + "r20180130_VV_slc.par"});
    EXPECT_NEAR(gamma.at("secondaries")[0].at("parallel_m").get<double>(), 26.7767, 0.03) << reference;
    EXPECT_NEAR(gamma.at("secondaries")[0].at("perpendicular_m").get<double>(), 30.2803, 0.03) << reference;
    const std::vector<std::string> lines = stack_test::lines_of(stack_test::read_file(baselines));
    ASSERT_EQ(lines.size(), 2u);
    const std::vector<std::string> pair = stack_test::words_of(lines[1]);
    ASSERT_EQ(pair.size(), 4u);
    EXPECT_EQ(pair[0] + " " + pair[1] + " " + pair[3], "20180106 20180130 24");
    EXPECT_NEAR(std::stod(pair[2]), 30.2803, 0.03) << lines[1];
    EXPECT_EQ(lines[0], "20180106 20180106 0.00 0");
  }
  // A _slc.par and its _mli.par hold the same orbit: the same baseline at
  // the same time and range.
  EXPECT_NEAR(perpendicular[0], perpendicular[1], 1e-3);
  // Without --at-time and --at-range: center_time at center_range_slc.
  const nlohmann::json centre = json_of({par + "r20180106_VV_slc.par", par + "r20180130_VV_slc.par",
                                         par + "r20180319_VV_slc.par"});
  EXPECT_EQ(centre.at("reference").at("reference_time").get<std::string>().substr(0, 22), "2018-01-06T00:40:21.89");  // center_time 2421.890880 s
  EXPECT_EQ(centre.at("secondaries").size(), 2u);
}

// --grid 3x3 on the track-108 annotations: the corners and the centre are
// exactly the single runs with --at-time and --at-range at those targets
// (the times and ranges as the grid rows give them), bit for bit.
TEST(Grid, CornersAndCentreEqualSingleRuns) {
  const nlohmann::json grid = json_of({"--grid", "3x3", s1_reference, s1_secondary});
  const nlohmann::json& rows = grid.at("secondaries");
  ASSERT_EQ(rows.size(), 9u);
  for (const nlohmann::json& row : rows) {
    const int line = row.at("grid_line"), range = row.at("grid_range");
    if ((line == 1) != (range == 1)) continue;  // the corners and the centre
    char metres[64];
    std::snprintf(metres, sizeof metres, "%.17g", row.at("reference_slant_range_m").get<double>());
    const nlohmann::json single = json_of({"--at-time", row.at("reference_time"), "--at-range", metres,
                                           s1_reference, s1_secondary});
    const nlohmann::json& s = single.at("secondaries").at(0);
    for (const char* key : {"parallel_m", "perpendicular_m", "latitude_deg", "longitude_deg", "secondary_time"})
      EXPECT_EQ(row.at(key), s.at(key)) << key << " at " << line << "," << range;
  }
  // The grid spans the image: its first line and near range, its last line and far range.
  EXPECT_EQ(rows.front().at("reference_time").get<std::string>().substr(0, 19), "2025-04-06T02:20:10");
  EXPECT_EQ(rows.back().at("reference_time").get<std::string>().substr(0, 19), "2025-04-06T02:20:35");
  EXPECT_LT(rows.front().at("reference_slant_range_m").get<double>(),
            rows.back().at("reference_slant_range_m").get<double>());
  // The centre of an odd grid is the default target.
  const nlohmann::json plain = json_of({s1_reference, s1_secondary});
  EXPECT_EQ(rows[4].at("perpendicular_m"), plain.at("secondaries")[0].at("perpendicular_m"));
}

TEST(Grid, RefusalsAndTheTable) {
  const std::string sv = std::string(BPERP_SOURCE_DIR) + "/examples/stack/";
  const RunResult beam = run_stack({"--grid", "3x3", sv + "reference.txt", sv + "20080730.txt"});
  EXPECT_EQ(beam.status, 1);
  EXPECT_NE(beam.err.find("--grid needs a product"), std::string::npos) << beam.err;
  for (const char* bad : {"3", "0x3", "3x2.5", "3xx3", "1001x1"}) {
    const RunResult r = run_stack({"--grid", bad, s1_reference, s1_secondary});
    EXPECT_EQ(r.status, 1) << bad;
    EXPECT_NE(r.err.find("--grid must be LINESxRANGES"), std::string::npos) << r.err;
  }
  // The table: the centre value and the spread over the grid.
  const RunResult table = run_stack({"--grid", "3x3", s1_reference, s1_secondary});
  EXPECT_EQ(table.status, 0);
  EXPECT_NE(table.out.find("perpendicular min (m)"), std::string::npos);
  EXPECT_NE(table.out.find("3 x 3 targets"), std::string::npos);
}

// A reference whose orbit ends before its last line (the relative-orbit-5
// file cut to its first 4 of 6 vectors, 2399.1 to 2429.1 s of the day; its
// end_time is 2431.2 s): the grid's last line (3 of 9 points) has no
// baseline. The run says so (status 1, a warning with the count and the
// reason), the table's spread says over how many points it is, and no
// stack-folder average is written over part of the grid.
TEST(Grid, PointsWithoutABaselineAreCountedNotHidden) {
  stack_test::TempDir dir;
  std::string text = stack_test::read_file(par + "r20180106_VV_slc.par");
  const std::string six = "number_of_state_vectors:                    6";
  ASSERT_NE(text.find(six), std::string::npos);
  text.replace(text.find(six), six.size(), "number_of_state_vectors: 4");
  std::string cut;
  for (const std::string& line : stack_test::lines_of(text))
    if (line.find("state_vector_position_5") == std::string::npos && line.find("_6:") == std::string::npos &&
        line.find("state_vector_velocity_5") == std::string::npos)
      cut += line + "\n";
  const std::string short_orbit = dir.write("short.par", cut);
  const std::string secondary = par + "r20180130_VV_slc.par";
  const std::string folder = dir.file("stack");

  const RunResult table = run_stack({"--grid", "3x3", short_orbit, secondary});
  EXPECT_EQ(table.status, 1);
  EXPECT_NE(table.err.find("warning: " + secondary + ": no baseline at 3 of the 9 grid points; the first: can't use " +
                           short_orbit + " as the reference: the time 2018-01-06T00:40:31"),
            std::string::npos)
      << table.err;
  EXPECT_NE(table.out.find("spread over 6 of 9 points"), std::string::npos) << table.out;
  // The stack folder would average over part of the grid: refused before
  // anything is printed or written.
  const RunResult exported = run_stack({"--grid", "3x3", "--export", "stack-folder:" + folder, short_orbit, secondary});
  EXPECT_EQ(exported.status, 1);
  EXPECT_EQ(exported.out, "");
  EXPECT_NE(exported.err.find("can't write the export " + folder + ": " + secondary +
                              " has no baseline at 3 of the 9 grid points"),
            std::string::npos)
      << exported.err;
  EXPECT_FALSE(std::filesystem::exists(folder));

  // The CSV: the last line's three points carry the reason, the rest values.
  const RunResult csv = run_stack({"--format", "csv", "--grid", "3x3", short_orbit, secondary});
  EXPECT_EQ(csv.status, 1);
  const auto records = stack_test::read_csv(csv.out);
  ASSERT_EQ(records.size(), 10u);
  const std::size_t line_column = 10, error_column = records[0].size() - 1;
  ASSERT_EQ(records[0][line_column], "grid_line");
  for (std::size_t k = 1; k < records.size(); ++k)
    EXPECT_EQ(records[k][error_column].empty(), records[k][line_column] != "2") << k;
  // Written as it is worked out, the CSV's grid is tallied as it goes: the
  // same warning, after the results.
  EXPECT_EQ(csv.err, table.err);

  // The whole orbit: every point, status 0, one average per pair written.
  const RunResult whole = run_stack({"--grid", "3x3", "--export", "stack-folder:" + folder,
                                     par + "r20180106_VV_slc.par", secondary});
  EXPECT_EQ(whole.status, 0) << whole.err;
  EXPECT_EQ(whole.err, "");
  EXPECT_EQ(whole.out.find(" of 9 points"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(folder + "/20180106_20180130/20180106_20180130.txt"));
}

// The grid's rows of a secondary are the same whether the reference's views
// of the targets are kept for several secondaries or worked out again for
// one, and a grid of 40,000 baselines is written as JSON within 64 MB of
// address space (the grid is never held: some 5 MB; held, it took 0.6 kB a
// baseline and more as JSON).
TEST(Grid, RowsAreWorkedOutAsTheyAreWrittenInBoundedMemory) {
  const std::string reference = par + "r20180106_VV_slc.par";
  const std::string second = par + "r20180130_VV_slc.par", third = par + "r20180319_VV_slc.par";
  const RunResult both = run_stack({"--format", "csv", "--grid", "4x3", reference, second, third});
  const RunResult alone = run_stack({"--format", "csv", "--grid", "4x3", reference, third});
  const auto rows_both = stack_test::read_csv(both.out), rows_alone = stack_test::read_csv(alone.out);
  ASSERT_EQ(rows_both.size(), 25u) << both.err;
  ASSERT_EQ(rows_alone.size(), 13u) << alone.err;
  for (std::size_t k = 1; k < rows_alone.size(); ++k) EXPECT_EQ(rows_both[12 + k], rows_alone[k]) << k;

  if (stack_test::address_sanitizer()) GTEST_SKIP() << "AddressSanitizer takes more address space than the bound";
  const RunResult bounded = stack_test::run_stack_within(65536, {"--format", "json", "--grid", "200x200", reference, second});
  EXPECT_EQ(bounded.status, 0) << bounded.err;
  EXPECT_EQ(bounded.err, "");
  EXPECT_EQ(nlohmann::json::parse(bounded.out).at("secondaries").size(), 40000u);
}

// Grid points x secondaries beyond the bound (500,000) are refused before
// anything is computed.
TEST(Grid, MoreBaselinesThanTheBoundAreRefused) {
  const std::string reference = par + "r20180106_VV_slc.par";
  const std::vector<std::string> two = {par + "r20180130_VV_slc.par", par + "r20180319_VV_slc.par"};
  struct Case {
    std::vector<std::string> args;
    std::string words;
  };
  for (const Case& c : {Case{{"--grid", "1000x1000", reference, two[0], two[1]},
                             "--grid 1000x1000 with 2 secondaries asks for 2000000 baselines"},
                        Case{{"--grid", "1000x501", reference, two[0]},
                             "--grid 1000x501 with 1 secondary asks for 501000 baselines"}}) {
    const RunResult r = run_stack(c.args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.words + "; one run computes at most 500000 (grid points x secondaries)"),
              std::string::npos)
        << r.err;
  }
}

}  // namespace
