// bperp-stack end to end: the executable run on the example stack and on
// files written for each case, its three output formats read back.
#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "stack_test_support.h"

namespace {

using stack_test::lines_of;
using stack_test::read_csv;
using stack_test::read_table;
using stack_test::RunResult;
using stack_test::run_bperp;
using stack_test::run_stack;
using stack_test::TempDir;

const std::string examples = std::string(BPERP_SOURCE_DIR) + "/examples";
const std::string stack_dir = examples + "/stack";
const std::string reference = stack_dir + "/reference.txt";

// The example stack's secondaries: state vectors (.txt) and orbits (.orbit),
// named by their dates.
const std::vector<std::string> example_vectors = {"20070612.txt", "20071028.txt", "20080128.txt",
                                                  "20080730.txt", "20081030.txt", "20090502.txt"};
const std::vector<std::string> example_orbits = {"20070728.orbit", "20071213.orbit",
                                                 "20080429.orbit", "20080914.orbit",
                                                 "20090130.orbit"};

std::vector<std::string> example_stack() {
  std::vector<std::string> paths;
  for (const auto& v : {example_vectors, example_orbits})
    for (const std::string& name : v) paths.push_back(stack_dir + "/" + name);
  return paths;
}

// Millimetres of a printed length: km text (bperp) or m text (the table),
// as an integer, so that equal digits compare equal.
long long mm_of_km_text(const std::string& km) { return std::llround(std::strtod(km.c_str(), nullptr) * 1e6); }
long long mm_of_m_text(const std::string& m) { return std::llround(std::strtod(m.c_str(), nullptr) * 1e3); }

// Days between two ISO dates by the standard library's calendar.
long days_between(const std::string& from, const std::string& to) {
  const auto day = [](const std::string& iso) {
    using namespace std::chrono;
    const year_month_day ymd{year{std::stoi(iso.substr(0, 4))},
                             month{static_cast<unsigned>(std::stoi(iso.substr(5, 2)))},
                             std::chrono::day{static_cast<unsigned>(std::stoi(iso.substr(8, 2)))}};
    return sys_days{ymd}.time_since_epoch().count();
  };
  return day(to) - day(from);
}

// For every state-vector secondary, the table's parallel and perpendicular
// baselines carry exactly the digits bperp prints for the pair (its km to
// six decimals are the table's m to three), sign included.
TEST(StackCommand, StateVectorSecondariesCarryBperpsDigits) {
  TempDir dir;
  std::vector<std::string> secondaries;
  for (const std::string& name : example_vectors) secondaries.push_back(stack_dir + "/" + name);
  // A copy of the reference: zero, with whatever sign bperp gives it.
  secondaries.push_back(dir.write("reference-copy.txt", stack_test::read_file(reference)));
  // Vectors moved from the reference by a few hundred metres in random directions.
  const double P[3] = {-3992.201961, 4155.954235, 4095.394502};
  const double V[3] = {-1.721236851, 4.285816268, -6.027058295};
  for (int k = 0; k < 6; ++k) {
    double p[3];
    for (int i = 0; i < 3; ++i) p[i] = P[i] + 0.4 * std::sin(1.7 * k + 2.1 * i);
    secondaries.push_back(dir.write("moved" + std::to_string(k) + ".txt",
                                    stack_test::state_vector_text("moved", p, V)));
  }
  // As given: the vectors where they stand, as bperp takes them.
  std::vector<std::string> args = {"--as-given", reference};
  args.insert(args.end(), secondaries.begin(), secondaries.end());
  const RunResult stack = run_stack(args);
  ASSERT_EQ(stack.status, 0) << stack.err;
  const auto rows = read_table(stack.out, "secondary");
  ASSERT_EQ(rows.size(), secondaries.size());
  for (std::size_t k = 0; k < secondaries.size(); ++k) {
    const RunResult pair = run_bperp({reference, secondaries[k]});
    ASSERT_EQ(pair.status, 0) << pair.out;
    const std::vector<std::string> printed = lines_of(pair.out);
    ASSERT_EQ(printed.size(), 2u);
    const std::string parallel = rows[k].at("parallel (m)");
    const std::string perpendicular = rows[k].at("perpendicular (m)");
    EXPECT_EQ(rows[k].at("secondary"), secondaries[k]);
    EXPECT_EQ(mm_of_m_text(parallel), mm_of_km_text(printed[0])) << secondaries[k];
    EXPECT_EQ(mm_of_m_text(perpendicular), mm_of_km_text(printed[1])) << secondaries[k];
    EXPECT_EQ(parallel[0] == '-', printed[0][0] == '-') << secondaries[k];
    EXPECT_EQ(perpendicular[0] == '-', printed[1][0] == '-') << secondaries[k];
  }
  // The reference against itself: no perpendicular baseline, no height of ambiguity.
  EXPECT_EQ(rows[secondaries.size() - 7].at("length (m)"), "0.000");
  EXPECT_EQ(rows[secondaries.size() - 7].at("height of ambiguity (m)"), "");
}

// The three formats of one run say the same: the CSV's full-precision
// numbers are the JSON's doubles exactly, the table shows them rounded.
TEST(StackCommand, TableCsvAndJsonAgree) {
  std::vector<std::string> args = {reference};
  for (const std::string& p : example_stack()) args.push_back(p);
  const RunResult table = run_stack(args);
  args.insert(args.begin(), {"--format", "csv"});
  const RunResult csv = run_stack(args);
  args[1] = "json";
  const RunResult json = run_stack(args);
  for (const RunResult* r : {&table, &csv, &json}) {
    ASSERT_EQ(r->status, 0) << r->err;
    EXPECT_EQ(r->err, "");
  }

  const nlohmann::json doc = nlohmann::json::parse(json.out);
  const auto rows = read_table(table.out, "secondary");
  const auto records = read_csv(csv.out);
  const std::vector<std::string> header = {
      "name",           "kind",           "date",          "days",
      "days_exact",     "reference_time", "secondary_time", "aligned_time_s",
      "reference_slant_range_m", "secondary_slant_range_m", "grid_line", "grid_range",
      "grid_x",         "grid_y",         "latitude_deg",   "longitude_deg",  "parallel_m", "perpendicular_m",
      "along_track_m",  "along_track_removed_m", "length_m", "height_of_ambiguity_m",
      "time_shift_s",   "interpolation_error_m", "orbit_source", "outside_image", "wavelength_source", "error"};
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0], header);
  const nlohmann::json& secondaries = doc.at("secondaries");
  ASSERT_EQ(secondaries.size(), example_stack().size());
  ASSERT_EQ(records.size(), secondaries.size() + 1);
  ASSERT_EQ(rows.size(), secondaries.size());

  // Table heading, CSV field, JSON member, decimals shown in the table.
  struct Column {
    const char* table;
    const char* field;
    double table_step;  // the table's last digit, in the field's unit
  };
  const Column columns[] = {{"aligned t (s)", "aligned_time_s", 1e-3},
                            {"shift (s)", "time_shift_s", 1e-6},
                            {"parallel (m)", "parallel_m", 1e-3},
                            {"perpendicular (m)", "perpendicular_m", 1e-3},
                            {"along-track (m)", "along_track_m", 1e-3},
                            {"length (m)", "length_m", 1e-3},
                            {"height of ambiguity (m)", "height_of_ambiguity_m", 1e-1}};
  const nlohmann::json& ref = doc.at("reference");
  for (std::size_t k = 0; k < secondaries.size(); ++k) {
    const nlohmann::json& s = secondaries[k];
    const std::vector<std::string>& record = records[k + 1];
    ASSERT_EQ(record.size(), header.size());
    EXPECT_EQ(s.at("name"), example_stack()[k]);
    EXPECT_EQ(record[0], example_stack()[k]);
    EXPECT_TRUE(s.at("error").is_null());
    EXPECT_EQ(record.back(), "");
    const bool orbit = example_stack()[k].ends_with(".orbit");
    EXPECT_EQ(s.at("kind"), orbit ? "orbit" : "state-vector");
    EXPECT_EQ(rows[k].at("kind"), s.at("kind").get<std::string>());
    // The date from the header, the days by the calendar.
    const std::string name = example_stack()[k].substr(stack_dir.size() + 1, 8);
    const std::string date = name.substr(0, 4) + "-" + name.substr(4, 2) + "-" + name.substr(6, 2);
    EXPECT_EQ(s.at("date"), date);
    EXPECT_EQ(record[2], date);
    EXPECT_EQ(s.at("days").get<long>(), days_between(ref.at("date"), date));
    EXPECT_EQ(record[3], std::to_string(days_between(ref.at("date"), date)));
    EXPECT_EQ(rows[k].at("days"), record[3]);

    for (std::size_t c = 0; c < std::size(columns); ++c) {
      const std::size_t field = static_cast<std::size_t>(
          std::find(header.begin(), header.end(), columns[c].field) - header.begin());
      ASSERT_LT(field, header.size()) << columns[c].field;
      const nlohmann::json& value = s.at(columns[c].field);
      // A state vector has no alignment time, an orbit no time shift.
      if ((!orbit && c == 0) || (orbit && c == 1)) {
        EXPECT_TRUE(value.is_null());
        EXPECT_EQ(record[field], "");
        EXPECT_EQ(rows[k].at(columns[c].table), "");
        continue;
      }
      ASSERT_TRUE(value.is_number()) << columns[c].field;
      const double v = value.get<double>();
      EXPECT_EQ(std::strtod(record[field].c_str(), nullptr), v) << columns[c].field;
      EXPECT_NEAR(std::strtod(rows[k].at(columns[c].table).c_str(), nullptr), v,
                  0.5 * columns[c].table_step + 1e-9)
          << columns[c].field;
    }
    // Alignment leaves no along-track offset; the baseline length bounds
    // its two components in the plane of the line of sight.
    const double par = s.at("parallel_m"), perp = s.at("perpendicular_m");
    if (orbit) {
      EXPECT_LT(std::fabs(s.at("along_track_m").get<double>()), 1e-3);
    }
    EXPECT_LE(std::hypot(par, perp), s.at("length_m").get<double>() * (1 + 1e-12));
    // Height of ambiguity from the reference geometry the JSON gives.
    const double deg = 3.14159265358979323846 / 180.0;
    EXPECT_NEAR(s.at("height_of_ambiguity_m").get<double>(),
                ref.at("wavelength_m").get<double>() * ref.at("slant_range_km").get<double>() * 1e3 *
                    std::sin(ref.at("incidence_deg").get<double>() * deg) / (2.0 * perp),
                1e-9);
  }
  EXPECT_NEAR(ref.at("wavelength_m").get<double>(), 0.2362204724409449, 1e-16);
  EXPECT_EQ(ref.at("name"), reference);
  EXPECT_EQ(ref.at("date"), "2008-06-14");
  // The reference block of the table: the slant range to the printed digit.
  const std::string slant = lines_of(table.out).at(2);
  ASSERT_EQ(slant.rfind("slant range", 0), 0u) << slant;
  EXPECT_NEAR(std::strtod(slant.substr(slant.find_first_of("0123456789")).c_str(), nullptr),
              ref.at("slant_range_km").get<double>(), 0.5e-6);
}

// Unusable secondaries: each one reported on standard error with its file
// and reason, its row marked in every format, the others still computed,
// and the exit status 1.
TEST(StackCommand, UnusableSecondariesAreMarkedAndTheRestComputed) {
  TempDir dir;
  const std::string good = stack_dir + "/20080730.txt";
  const std::string orbit = stack_dir + "/20080429.orbit";
  const std::string orbit_rows = stack_test::read_file(orbit);
  // The same orbit with its rows' times reversed in order (row 2 before row 1).
  std::vector<std::string> lines = lines_of(orbit_rows);
  std::swap(lines[1], lines[2]);
  std::string swapped;
  for (const std::string& l : lines) swapped += l + "\n";
  // Only the header and the orbit's first four rows, 20 s and more before
  // the pass: the closest approach comes after them.
  const std::vector<std::string> rows_in_order = lines_of(orbit_rows);
  std::string early;
  for (int k = 0; k <= 4; ++k) early += rows_in_order[k] + "\n";
  struct Case {
    std::string path;
    std::string reason;  // words of the message
  };
  const std::vector<Case> bad = {
      {dir.file("missing.txt"), "can't open"},
      {dir.write("eight.txt", "h\n1 2 3 4 5 6 7 8\n"), "holds 8 numbers"},
      {dir.write("one-row.orbit", "h\n0 7000 0 0 0 7.5 0\n"), "the orbit has 1 row"},
      {dir.write("three-rows.orbit", "h\n0 7000 0 0 0 7.5 0\n10 7000 75 0 0 7.5 0\n20 7000 150 0 0 7.5 0\n"),
       "the orbit has 3 rows; its interpolation needs at least 4"},
      {dir.write("text.txt", "h\n7000 0 0 0 seven 0\n"), "not a finite decimal number"},
      {dir.write("swapped.orbit", swapped), "increase strictly"},
      {dir.write("early.orbit", early), "after the orbit's last row"},
      {dir.write("bad-date.txt", "2008-02-30 pass\n-3992.2 4155.9 4095.4 -1.72 4.28 -6.02\n"),
       "not a calendar date"},
      {dir.path().string(), "can't read"},
  };
  std::vector<std::string> args = {reference, good};
  for (const Case& c : bad) args.push_back(c.path);
  args.push_back(orbit);

  const RunResult table = run_stack(args);
  EXPECT_EQ(table.status, 1);
  std::vector<std::string> messages;
  for (const std::string& line : lines_of(table.err))
    if (line.find(": warning: ") == std::string::npos) messages.push_back(line);
  ASSERT_EQ(messages.size(), bad.size()) << table.err;
  for (std::size_t k = 0; k < bad.size(); ++k) {
    EXPECT_NE(messages[k].find(bad[k].path), std::string::npos) << messages[k];
    EXPECT_NE(messages[k].find(bad[k].reason), std::string::npos) << messages[k];
  }
  const auto rows = read_table(table.out, "secondary");
  ASSERT_EQ(rows.size(), bad.size() + 2);
  EXPECT_NE(rows.front().at("perpendicular (m)"), "");
  EXPECT_NE(rows.back().at("perpendicular (m)"), "");
  for (std::size_t k = 0; k < bad.size(); ++k) {
    EXPECT_EQ(rows[k + 1].at("perpendicular (m)"), "");
    EXPECT_EQ(rows[k + 1].at("parallel (m)"), "");
    EXPECT_EQ(rows[k + 1].at("note").rfind("error: ", 0), 0u) << rows[k + 1].at("note");
  }

  args.insert(args.begin(), {"--format", "csv"});
  const RunResult csv = run_stack(args);
  EXPECT_EQ(csv.status, 1);
  const auto records = read_csv(csv.out);
  ASSERT_EQ(records.size(), bad.size() + 3);
  // A refused row keeps what was read of its file: the header's date, and
  // once read whole its kind and orbit source; nothing computed.
  const std::vector<std::string>& header = records[0];
  for (std::size_t k = 0; k < bad.size(); ++k) {
    const auto& r = records[k + 2];
    EXPECT_EQ(r[0], bad[k].path);
    for (std::size_t f = 1; f + 1 < r.size(); ++f) {
      const std::string& key = header[f];
      const bool dated = bad[k].path.ends_with("swapped.orbit") || bad[k].path.ends_with("early.orbit");
      const bool read = bad[k].path.ends_with("early.orbit");
      const std::string expected = key == "date" && dated             ? "2008-04-29"
                                   : key == "kind" && read             ? "orbit"
                                   : key == "orbit_source" && read     ? "orbit file"
                                   : key == "wavelength_source" && read ? "beam"
                                                                        : "";
      EXPECT_EQ(r[f], expected) << bad[k].path << " " << key;
    }
    EXPECT_NE(r.back().find(bad[k].reason), std::string::npos) << r.back();
  }
  EXPECT_NE(records.back()[17], "");  // perpendicular_m

  args[1] = "json";
  const RunResult json = run_stack(args);
  EXPECT_EQ(json.status, 1);
  const nlohmann::json doc = nlohmann::json::parse(json.out);
  const nlohmann::json& s = doc.at("secondaries");
  ASSERT_EQ(s.size(), bad.size() + 2);
  EXPECT_TRUE(s.front().at("error").is_null());
  EXPECT_TRUE(s.back().at("perpendicular_m").is_number());
  for (std::size_t k = 0; k < bad.size(); ++k) {
    EXPECT_NE(s[k + 1].at("error").get<std::string>().find(bad[k].reason), std::string::npos);
    EXPECT_TRUE(s[k + 1].at("perpendicular_m").is_null());
    EXPECT_TRUE(s[k + 1].at("parallel_m").is_null());
  }
}

// A reference that cannot serve ends the run: status 1, a message naming
// it, nothing on standard output (not even the good secondaries).
TEST(StackCommand, RefusedReferenceEndsTheRunWithNothingPrinted) {
  TempDir dir;
  struct Case {
    std::string path;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {dir.file("missing.txt"), "can't open"},
      {dir.write("five.txt", "h\n7000 0 0 0 7.5\n"), "can't read state vector from"},
      // The likely cause first, as for a secondary; then what the beam
      // geometry itself refuses (a plausible vector flying straight up).
      {dir.write("inside.txt", "h\n3000 0 1000 0 7.5 0\n"), "(inside the earth); no SAR flies below 150 km"},
      {dir.write("far.txt", "h\n1000000 0 0 0 7.5 0\n"), "no SAR flies above 2000 km"},
      {dir.write("still.txt", "h\n7000 0 0 0 0 0\n"), "the speed is 0.000 km/s"},
      {dir.write("zeros.txt", "h\n0 0 0 0 0 0\n"), "the earth's centre (a file of zeros?)"},
      {dir.write("metres.txt", "h\n7078000 0 0 0 7.5 0\n"), "(are the positions in metres rather than km?)"},
      {dir.write("m-per-s.txt", "h\n7078 0 0 0 7500 0\n"), "(are the velocities in m/s rather than km/s?)"},
      {dir.write("upward.txt", "h\n7078 0 0 7.5 0 0\n"), "no cross-track direction"},
      {dir.write("bad-date.txt", "2007-13-01\n7000 0 0 0 7.5 0\n"), "not a calendar date"},
      {dir.write("empty.txt", ""), "can't read state vector from"},
      {dir.path().string(), "can't read the Sentinel-1 product " + dir.path().string() + ": "},
      // A dated orbit too short to interpolate keeps that reason (it has a date).
      {dir.write("three.orbit", "2025-04-06\n0 7000 0 0 0 7.5 0\n10 7000 75 0 0 7.5 0\n20 7000 150 0 0 7.5 0\n"),
       "the orbit has 3 rows; its interpolation needs at least 4"},
      {dir.write("two.orbit", "2025-04-06\n0 7000 0 0 0 7.5 0\n10 7000 75 0 0 7.5 0\n"),
       "the orbit has 2 rows; its interpolation needs at least 4"},
      // An orbit's first row read as a state vector would pass as a made-up
      // reference; it is refused as an orbit.
      {dir.write("ref.orbit", "h\n5000 7000 0 0 0 7.5 0\n5010 7000 75 0 0 7.5 0\n"),
       "it is an orbit file"},
  };
  for (const Case& c : cases) {
    const RunResult r = run_stack({c.path, stack_dir + "/20080730.txt"});
    EXPECT_EQ(r.status, 1) << c.path;
    EXPECT_EQ(r.out, "") << c.path;
    EXPECT_NE(r.err.find(c.path), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
  }
}

// --help fits a screen: one line per option, the examples, where the full
// reference is; within 80 lines of 80 columns.
TEST(StackCommand, OptionsHelpAndMisuse) {
  const RunResult help = run_stack({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* words : {"--format table|csv|json", "--max-neighbours N", "REFERENCE", "SECONDARY",
                            "Examples:", "Exit status", "man bperp-stack"})
    EXPECT_NE(help.out.find(words), std::string::npos) << words;
  const std::vector<std::string> lines = lines_of(help.out);
  EXPECT_LE(lines.size(), 80u);
  for (const std::string& line : lines) EXPECT_LE(line.size(), 80u) << line;

  const std::string sv = stack_dir + "/20080730.txt";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {reference}, {"--format", "xml", reference, sv},
        {"--format", reference, sv}, {"--colour", reference, sv}}) {
    const RunResult r = run_stack(args);
    EXPECT_EQ(r.status, 1) << (args.empty() ? "" : args[0]);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
  }
}

// A mistyped option is named with the one meant; the American spelling of
// --max-neighbours is one of its own.
TEST(StackCommand, MistypedOptionsGetTheNearestOne) {
  const std::vector<std::string> files = {reference, stack_dir + "/20080730.txt"};
  for (const auto& [typed, meant] : {std::pair{"--max-neigbours", "--max-neighbours"},
                                     std::pair{"--max-neighbor", "--max-neighbours"},
                                     std::pair{"--convension", "--convention"}, std::pair{"--wavelenght", "--wavelength"},
                                     std::pair{"--formt", "--format"}}) {
    std::vector<std::string> args = {"--pairs", typed, "2"};
    args.insert(args.end(), files.begin(), files.end());
    const RunResult r = run_stack(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines_of(r.err).front(), std::string("bperp-stack: no option ") + typed + "; did you mean " + meant + "?")
        << r.err;
  }
  const RunResult far = run_stack({"--colour", reference, files[1]});
  EXPECT_NE(far.err.find("--colour is no option; use -- before names that begin with -"), std::string::npos) << far.err;
  std::vector<std::string> args = {"--pairs", "--max-neighbors", "1", reference};
  for (const std::string& p : example_stack()) args.push_back(p);
  const RunResult american = run_stack(args);
  args[1] = "--max-neighbours";
  EXPECT_EQ(american.status, 0) << american.err;
  EXPECT_EQ(american.out, run_stack(args).out);
}

// An option no input uses is said, once, naming it and why; every warning
// goes into the JSON's list too, and --quiet keeps them off standard error.
TEST(StackCommand, OptionsThatDoNothingAreSaid) {
  const std::string s1 = std::string(BPERP_SOURCE_DIR) + "/tests/data/s1-track108-annotation/";
  const std::vector<std::string> products = {
      s1 + "s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml",
      s1 + "s1a-iw2-slc-vv-20250418t022010-20250418t022035-058805-074946-005.xml"};
  const std::string opera = std::string(BPERP_SOURCE_DIR) +
                            "/tests/data/opera-cslc-t042/OPERA_L2_CSLC-S1_T042-088905-IW1_20231021T140757Z_"
                            "20231023T003801Z_S1A_VV_v1.0.h5";
  const std::vector<std::string> vectors = {reference, stack_dir + "/20080730.txt"};
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> files;
    std::string warning;
  };
  const std::vector<Case> cases = {
      {{"--swath", "IW1"}, products, "--swath is not used: no input is a .SAFE folder"},
      {{"--hdf5-orbit", "/orbit"}, vectors, "--hdf5-orbit is not used: no input is an HDF5 product"},
      {{"--orbit-dir", std::string(BPERP_SOURCE_DIR) + "/tests/data/s1-track108-orbit-layout"}, vectors,
       "--orbit-dir is not used: no input states a Sentinel-1 mission"},
      {{"--as-given"}, products, "--as-given is not used: no secondary is a state vector"},
      {{"--look", "left"}, vectors, "--look is not used: a state-vector reference"},
      {{"--range-bandwidth", "50e6"}, products, "--range-bandwidth is not used: " + products[0] + " states its"},
      {{"--sensor", "alos"}, products, "--sensor alos is not used: " + products[0] + " states its frequency"},
      {{"--sensor", "s1-iw1"}, {opera, opera}, "--sensor s1-iw1 serves only for the bandwidths " + opera},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.options;
    args.insert(args.end(), c.files.begin(), c.files.end());
    const RunResult r = run_stack(args);
    ASSERT_EQ(lines_of(r.err).size(), 1u) << r.err;
    EXPECT_EQ(r.err.rfind("bperp-stack: warning: " + c.warning, 0), 0u) << r.err;
    args.insert(args.begin(), {"--format", "json", "--quiet"});
    const RunResult quiet = run_stack(args);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(nlohmann::json::parse(quiet.out).at("warnings"),
              nlohmann::json{r.err.substr(std::string("bperp-stack: warning: ").size(), r.err.size() - 23)});
  }
  // Given where an input uses it: no word.
  EXPECT_EQ(run_stack({"--sensor", "alos", reference, stack_dir + "/20080730.txt"}).err, "");
}

// A big stack comes out whole: one row per secondary, in the order given.
// (Its speed is measured in bench/stack_scale.sh, not here.)
TEST(StackCommand, ABigStackComesOutWhole) {
  TempDir dir;
  const double P[3] = {-3992.201961, 4155.954235, 4095.394502};
  const double V[3] = {-1.721236851, 4.285816268, -6.027058295};
  // Distinct files (one file named twice is used once), undated.
  std::vector<std::string> args = {"--format", "csv", reference};
  constexpr int count = 2000;
  for (int k = 0; k < count; ++k) {
    double p[3] = {P[0] + 0.001 * (k % 100), P[1] - 0.002 * (k % 100), P[2]};
    args.push_back(dir.write(std::to_string(k) + ".txt", stack_test::state_vector_text("pass", p, V)));
  }
  const RunResult r = run_stack(args);
  ASSERT_EQ(r.status, 0) << r.err.substr(0, 500);
  const auto records = read_csv(r.out);
  ASSERT_EQ(records.size(), count + 1u);
  for (int k = 0; k < count; k += 397) EXPECT_EQ(records[k + 1][0], args[k + 3]);
}

}  // namespace
