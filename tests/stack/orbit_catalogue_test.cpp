// Choosing among Sentinel-1 orbit files: generated files of the real layout
// (tests/data/s1-track108-orbit-layout shows it) with validities that
// overlap and leave gaps, of two missions, precise and restituted; and the
// track-108 pair through --orbit, which must give the annotation's numbers
// (the layout files hold the annotations' own vectors).
#include "bperp/stack/inputs/orbit_catalogue.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "stack_test_support.h"

namespace bperp::stack {
namespace {

using stack_test::TempDir;

UtcTime at(const char* text) { return *parse_utc(text); }

// An orbit file of the layout: vectors every 10 s from first to last
// (both "YYYY-MM-DDTHH:MM:SS"), on a straight line at 7.5 km/s (the
// choice needs no orbit), x offset by `offset` m to tell the files apart.
std::string eof(const std::string& mission, const std::string& type, const char* first, const char* last,
                const char* creation, double offset = 0.0) {
  const UtcTime a = at(first), b = at(last);
  std::string vectors;
  int count = 0;
  for (UtcTime t = a; t <= b; t = add_seconds(t, 10.0), ++count) {
    const double s = seconds_between(at("2025-04-06T00:00:00"), t);
    char osv[1024];
    std::snprintf(osv, sizeof osv,
                  "      <OSV>\n        <TAI>TAI=%s</TAI>\n        <UTC>UTC=%s</UTC>\n        <UT1>UT1=%s</UT1>\n"
                  "        <Absolute_Orbit>+58630</Absolute_Orbit>\n"
                  "        <X unit=\"m\">%.6f</X>\n        <Y unit=\"m\">%.6f</Y>\n        <Z unit=\"m\">0.0</Z>\n"
                  "        <VX unit=\"m/s\">0.0</VX>\n        <VY unit=\"m/s\">7500.0</VY>\n        <VZ unit=\"m/s\">0.0</VZ>\n"
                  "        <Quality>NOMINAL</Quality>\n      </OSV>\n",
                  utc_text(t).substr(0, 26).c_str(), utc_text(t).substr(0, 26).c_str(),
                  utc_text(t).substr(0, 26).c_str(), 7078137.0 + offset, 7500.0 * s);
    vectors += osv;
  }
  return "<?xml version=\"1.0\" ?>\n<Earth_Explorer_File>\n  <Earth_Explorer_Header>\n    <Fixed_Header>\n"
         "      <File_Name>" + mission + "_" + type + "_" + first + "</File_Name>\n"
         "      <Mission>Sentinel-1" + mission.substr(2) + "</Mission>\n      <File_Type>" + type + "</File_Type>\n"
         "      <Validity_Period>\n        <Validity_Start>UTC=" + first + "</Validity_Start>\n"
         "        <Validity_Stop>UTC=" + last + "</Validity_Stop>\n      </Validity_Period>\n"
         "      <Source>\n        <Creation_Date>UTC=" + creation + "</Creation_Date>\n      </Source>\n"
         "    </Fixed_Header>\n  </Earth_Explorer_Header>\n  <Data_Block type=\"xml\">\n"
         "    <List_of_OSVs count=\"" + std::to_string(count) + "\">\n" + vectors +
         "    </List_of_OSVs>\n  </Data_Block>\n</Earth_Explorer_File>\n";
}

// The files of a small archive, and which each acquisition gets:
//   S1A precise     P1  02:00 - 03:00, created 04-26      P2  02:00 - 03:00, created 04-27 (newer)
//   S1A restituted  R1  04:00 - 04:40, R2 04:30 - 05:10 (overlap), R3 06:00 - 06:30 (a gap before)
//   S1B precise     B1  02:00 - 03:00
TEST(OrbitCatalogue, ChoosesPreciseThenRestitutedAndSaysWhatNoneCovers) {
  TempDir dir;
  dir.write("P1.EOF", eof("S1A", "AUX_POEORB", "2025-04-06T02:00:00", "2025-04-06T03:00:00", "2025-04-26T00:00:00"));
  dir.write("P2.EOF", eof("S1A", "AUX_POEORB", "2025-04-06T02:00:00", "2025-04-06T03:00:00", "2025-04-27T00:00:00"));
  dir.write("R1.EOF", eof("S1A", "AUX_RESORB", "2025-04-06T04:00:00", "2025-04-06T04:40:00", "2025-04-06T05:00:00"));
  dir.write("R2.EOF", eof("S1A", "AUX_RESORB", "2025-04-06T04:30:00", "2025-04-06T05:10:00", "2025-04-06T06:00:00"));
  dir.write("R3.EOF", eof("S1A", "AUX_RESORB", "2025-04-06T06:00:00", "2025-04-06T06:30:00", "2025-04-06T07:00:00"));
  dir.write("B1.EOF", eof("S1B", "AUX_POEORB", "2025-04-06T02:00:00", "2025-04-06T03:00:00", "2025-04-26T00:00:00", 5.0));
  dir.write("notes.txt", "not an orbit file");
  OrbitCatalogue catalogue;
  std::string problem;
  ASSERT_TRUE(catalogue.add_directory(dir.path().string(), &problem)) << problem;
  EXPECT_EQ(catalogue.size(), 6u);  // the .EOF files only

  struct Case {
    const char* mission;
    const char* first;
    const char* last;
    const char* source;  // the chosen file(s); "" when none covers
  };
  for (const Case& c : {Case{"S1A", "2025-04-06T02:20:10", "2025-04-06T02:20:35", "P2.EOF"},  // the newer precise
                        Case{"S1B", "2025-04-06T02:20:10", "2025-04-06T02:20:35", "B1.EOF"},
                        Case{"S1A", "2025-04-06T04:10:00", "2025-04-06T04:11:00", "R1.EOF"},
                        Case{"S1A", "2025-04-06T04:35:00", "2025-04-06T04:36:00", "R1.EOF+R2.EOF"},  // merged
                        Case{"S1A", "2025-04-06T05:20:00", "2025-04-06T05:21:00", ""},  // in the gap
                        Case{"S1A", "2025-04-06T02:59:30", "2025-04-06T02:59:50", ""},  // no margin left
                        Case{"S1C", "2025-04-06T02:20:10", "2025-04-06T02:20:35", ""}}) {
    problem.clear();
    const std::optional<ChosenOrbit> chosen = catalogue.choose(c.mission, at(c.first), at(c.last), &problem);
    if (std::string(c.source).empty()) {
      EXPECT_FALSE(chosen) << c.first;
      EXPECT_NE(problem.find(std::string("covers ") + utc_text(add_seconds(at(c.first), -60.0))), std::string::npos)
          << problem;  // the span asked for
      if (std::string(c.mission) == "S1A") {
        EXPECT_NE(problem.find("AUX_RESORB 2025-04-06T06:00:00"), std::string::npos) << problem;  // and the files'
      }
      continue;
    }
    ASSERT_TRUE(chosen) << c.first << ": " << problem;
    std::string source = chosen->orbit.source;
    // The rows reach over the span and the margin.
    EXPECT_LE(chosen->orbit.epoch, add_seconds(at(c.first), -60.0));
    EXPECT_GE(add_seconds(chosen->orbit.epoch, chosen->orbit.rows.back().t), add_seconds(at(c.last), 50.0));
    EXPECT_EQ(source, c.source) << c.first;
  }
}

// Restituted files that overlap: a vector they share is taken once; where
// they differ the newer file's vector is used, with a warning.
TEST(OrbitCatalogue, OverlappingRestitutedFilesMerge) {
  TempDir dir;
  OrbitCatalogue catalogue;
  std::string problem;
  ASSERT_TRUE(catalogue.add_file(dir.write("old.EOF", eof("S1A", "AUX_RESORB", "2025-04-06T04:00:00",
                                                          "2025-04-06T04:40:00", "2025-04-06T05:00:00")),
                                 &problem));
  ASSERT_TRUE(catalogue.add_file(dir.write("new.EOF", eof("S1A", "AUX_RESORB", "2025-04-06T04:30:00",
                                                          "2025-04-06T05:10:00", "2025-04-06T06:00:00", 0.25)),
                                 &problem));
  const std::optional<ChosenOrbit> chosen =
      catalogue.choose("S1A", at("2025-04-06T04:35:00"), at("2025-04-06T04:36:00"), &problem);
  ASSERT_TRUE(chosen) << problem;
  // Every time once, 10 s apart.
  for (std::size_t k = 1; k < chosen->orbit.rows.size(); ++k)
    EXPECT_DOUBLE_EQ(chosen->orbit.rows[k].t - chosen->orbit.rows[k - 1].t, 10.0);
  // Where both give a vector (04:30 - 04:40), the newer file's x (0.25 m out).
  for (const OrbitRow& row : chosen->orbit.rows) {
    const UtcTime t = add_seconds(chosen->orbit.epoch, row.t);
    const double expected = (t < at("2025-04-06T04:30:00") ? 7078137.0 : 7078137.25) / 1000.0;
    EXPECT_NEAR(row.state.position[0], expected, 1e-12) << utc_text(t);
  }
  ASSERT_FALSE(chosen->warnings.empty());
  EXPECT_NE(chosen->warnings[0].find("differ at 2025-04-06T04:30:00"), std::string::npos) << chosen->warnings[0];
  EXPECT_NE(chosen->warnings[0].find("by 0.250 m: the newer, new.EOF, is used"), std::string::npos)
      << chosen->warnings[0];
}

// The track-108 pair through the orbit files written from its annotations'
// own vectors: the numbers of the annotation-only run, and the files named.
TEST(OrbitCatalogue, Track108ThroughOrbitFilesMatchesTheAnnotations) {
  const std::string data = std::string(BPERP_SOURCE_DIR) + "/tests/data/";
  const std::string ref = data + "s1-track108-annotation/s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml";
  const std::string sec = data + "s1-track108-annotation/s1a-iw2-slc-vv-20250418t022010-20250418t022035-058805-074946-005.xml";
  const std::string layout = data + "s1-track108-orbit-layout/";
  const auto run = [](std::vector<std::string> args) {
    args.insert(args.begin(), {"--format", "json"});
    const stack_test::RunResult r = stack_test::run_stack(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return nlohmann::json::parse(r.out);
  };
  const nlohmann::json own = run({ref, sec});
  const nlohmann::json files = run({"--orbit-dir", layout, ref, sec});
  const nlohmann::json one_by_one =
      run({"--orbit", layout + "S1A_OPER_AUX_POEORB_OPOD_20250426T022143_V20250406T021903_20250406T022143.EOF",
           "--orbit", layout + "S1A_OPER_AUX_POEORB_OPOD_20250508T022143_V20250418T021903_20250418T022143.EOF", ref,
           sec});
  for (const nlohmann::json* doc : {&files, &one_by_one}) {
    const nlohmann::json& s = doc->at("secondaries")[0];
    EXPECT_NEAR(s.at("perpendicular_m").get<double>(), own.at("secondaries")[0].at("perpendicular_m").get<double>(), 1e-3);
    EXPECT_NEAR(s.at("parallel_m").get<double>(), own.at("secondaries")[0].at("parallel_m").get<double>(), 1e-3);
    EXPECT_EQ(s.at("orbit_source"), "S1A_OPER_AUX_POEORB_OPOD_20250508T022143_V20250418T021903_20250418T022143.EOF");
    EXPECT_EQ(doc->at("reference").at("orbit_source"),
              "S1A_OPER_AUX_POEORB_OPOD_20250426T022143_V20250406T021903_20250406T022143.EOF");
  }
  EXPECT_EQ(own.at("secondaries")[0].at("orbit_source"), "annotation");
}

}  // namespace
}  // namespace bperp::stack
