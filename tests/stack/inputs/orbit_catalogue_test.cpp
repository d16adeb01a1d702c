// Choosing among Sentinel-1 orbit files: generated files of the real layout
// (tests/data/s1-track108-orbit-layout shows it) with validities that
// overlap and leave gaps, of two missions, precise and restituted; and the
// track-108 pair through --orbit, which must give the annotation's numbers
// (the layout files hold the annotations' own vectors).
#include "bperp/stack/inputs/orbit_catalogue.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "stack_test_support.h"

namespace bperp::stack {
namespace {

using stack_test::TempDir;

UtcTime at(const char* text) { return *parse_utc(text); }

// Vectors of an orbit file moved along x: the time ("YYYY-MM-DDTHH:MM:SS")
// and by how much, m.
using Moves = std::vector<std::pair<const char*, double>>;

// An orbit file of the layout: vectors every 10 s from first to last
// (both "YYYY-MM-DDTHH:MM:SS"), on a straight line at 7.5 km/s (the
// choice needs no orbit), x offset by `offset` m to tell the files apart
// (and those of moved by their own amount on top).
std::string eof(const std::string& mission, const std::string& type, const char* first, const char* last,
                const char* creation, double offset = 0.0, const Moves& moved = {}) {
  const UtcTime a = at(first), b = at(last);
  std::string vectors;
  int count = 0;
  for (UtcTime t = a; t <= b; t = add_seconds(t, 10.0), ++count) {
    const double s = seconds_between(at("2025-04-06T00:00:00"), t);
    double move = 0.0;
    for (const auto& [when, by] : moved)
      if (at(when) == t) move = by;
    char osv[1024];
    std::snprintf(osv, sizeof osv,
                  "      <OSV>\n        <TAI>TAI=%s</TAI>\n        <UTC>UTC=%s</UTC>\n        <UT1>UT1=%s</UT1>\n"
                  "        <Absolute_Orbit>+58630</Absolute_Orbit>\n"
                  "        <X unit=\"m\">%.6f</X>\n        <Y unit=\"m\">%.6f</Y>\n        <Z unit=\"m\">0.0</Z>\n"
                  "        <VX unit=\"m/s\">0.0</VX>\n        <VY unit=\"m/s\">7500.0</VY>\n        <VZ unit=\"m/s\">0.0</VZ>\n"
                  "        <Quality>NOMINAL</Quality>\n      </OSV>\n",
                  utc_text(t).substr(0, 26).c_str(), utc_text(t).substr(0, 26).c_str(),
                  utc_text(t).substr(0, 26).c_str(), 7078137.0 + offset + move, 7500.0 * s);
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
//   S1A predicted   X1  07:00 - 08:00 (never chosen)
TEST(OrbitCatalogue, ChoosesPreciseThenRestitutedAndSaysWhatNoneCovers) {
  TempDir dir;
  dir.write("P1.EOF", eof("S1A", "AUX_POEORB", "2025-04-06T02:00:00", "2025-04-06T03:00:00", "2025-04-26T00:00:00"));
  dir.write("P2.EOF", eof("S1A", "AUX_POEORB", "2025-04-06T02:00:00", "2025-04-06T03:00:00", "2025-04-27T00:00:00"));
  dir.write("R1.EOF", eof("S1A", "AUX_RESORB", "2025-04-06T04:00:00", "2025-04-06T04:40:00", "2025-04-06T05:00:00"));
  dir.write("R2.EOF", eof("S1A", "AUX_RESORB", "2025-04-06T04:30:00", "2025-04-06T05:10:00", "2025-04-06T06:00:00"));
  dir.write("R3.EOF", eof("S1A", "AUX_RESORB", "2025-04-06T06:00:00", "2025-04-06T06:30:00", "2025-04-06T07:00:00"));
  dir.write("B1.EOF", eof("S1B", "AUX_POEORB", "2025-04-06T02:00:00", "2025-04-06T03:00:00", "2025-04-26T00:00:00", 5.0));
  dir.write("X1.EOF", eof("S1A", "AUX_PREORB", "2025-04-06T07:00:00", "2025-04-06T08:00:00", "2025-04-05T00:00:00"));
  dir.write("notes.txt", "not an orbit file");
  OrbitCatalogue catalogue;
  std::string problem;
  std::vector<std::string> warnings;
  ASSERT_TRUE(catalogue.add_directory(dir.path().string(), &problem, &warnings)) << problem;
  EXPECT_EQ(catalogue.size(), 7u);  // the .EOF files only
  EXPECT_TRUE(warnings.empty());

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
                        Case{"S1A", "2025-04-06T07:20:00", "2025-04-06T07:21:00", ""},  // predicted alone
                        Case{"S1C", "2025-04-06T02:20:10", "2025-04-06T02:20:35", ""}}) {
    Refusal refusal;
    const std::optional<ChosenOrbit> chosen = catalogue.choose(c.mission, at(c.first), at(c.last), &refusal);
    problem = refusal.text;
    if (std::string(c.source).empty()) {
      EXPECT_FALSE(chosen) << c.first;
      EXPECT_EQ(refusal.kind, RefusalKind::outside_orbit) << c.first;
      EXPECT_NE(problem.find(std::string("covers ") + utc_text(add_seconds(at(c.first), -60.0))), std::string::npos)
          << problem;  // the span asked for
      if (std::string(c.mission) == "S1A") {
        EXPECT_NE(problem.find("AUX_RESORB 2025-04-06T06:00:00"), std::string::npos) << problem;  // and the files'
        EXPECT_NE(problem.find("AUX_PREORB 2025-04-06T07:00:00.000000000Z to 2025-04-06T08:00:00.000000000Z "
                               "(not used: predicted)"),
                  std::string::npos)
            << problem;
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
// they differ the newer file's vector is used, with one warning per pair of
// files giving how many of their common times differ and by how much at
// most.
//   A  04:00 - 04:40  the oldest
//   B  04:30 - 05:10  as A but 04:32:00 moved 0.1 m and 04:35:00 0.4 m
//   C  04:38 - 04:50  the newest, 0.3 m off B everywhere
// A and B share 61 times (04:30 - 04:40 every 10 s), 2 of them differ; C
// meets B's vectors alone (B's replaced A's from 04:30 on), at all its 73
// times (04:38 - 04:50), each 0.3 m apart.
TEST(OrbitCatalogue, OverlappingRestitutedFilesMerge) {
  TempDir dir;
  OrbitCatalogue catalogue;
  std::string problem;
  const Moves b_moves = {{"2025-04-06T04:32:00", 0.1}, {"2025-04-06T04:35:00", 0.4}};
  for (const auto& [name, text] :
       {std::pair{"A.EOF", eof("S1A", "AUX_RESORB", "2025-04-06T04:00:00", "2025-04-06T04:40:00",
                              "2025-04-06T05:00:00")},
        std::pair{"B.EOF", eof("S1A", "AUX_RESORB", "2025-04-06T04:30:00", "2025-04-06T05:10:00",
                              "2025-04-06T06:00:00", 0.0, b_moves)},
        std::pair{"C.EOF", eof("S1A", "AUX_RESORB", "2025-04-06T04:38:00", "2025-04-06T04:50:00",
                              "2025-04-06T07:00:00", 0.3)}})
    ASSERT_TRUE(catalogue.add_file(dir.write(name, text), &problem)) << problem;
  Refusal refusal;
  const std::optional<ChosenOrbit> chosen =
      catalogue.choose("S1A", at("2025-04-06T04:31:00"), at("2025-04-06T04:40:00"), &refusal);
  ASSERT_TRUE(chosen) << refusal.text;
  EXPECT_EQ(chosen->orbit.source, "A.EOF+B.EOF+C.EOF");
  // Every time once, 10 s apart.
  for (std::size_t k = 1; k < chosen->orbit.rows.size(); ++k)
    EXPECT_DOUBLE_EQ(chosen->orbit.rows[k].t - chosen->orbit.rows[k - 1].t, 10.0);
  // The newest file's x at each time (km): C from 04:38, B's moved vectors.
  for (const OrbitRow& row : chosen->orbit.rows) {
    const UtcTime t = add_seconds(chosen->orbit.epoch, row.t);
    double x = 7078137.0;
    if (t >= at("2025-04-06T04:38:00")) x += 0.3;
    else if (t == at("2025-04-06T04:32:00")) x += 0.1;
    else if (t == at("2025-04-06T04:35:00")) x += 0.4;
    EXPECT_NEAR(row.state.position[0], x / 1000.0, 1e-12) << utc_text(t);  // km
  }
  ASSERT_EQ(chosen->warnings.size(), 2u);
  EXPECT_EQ(chosen->warnings[0],
            "A.EOF and B.EOF differ at 2 of the 61 times both give, from 2025-04-06T04:32:00.000000000Z to "
            "2025-04-06T04:35:00.000000000Z, by up to 0.400 m: the newer, B.EOF, is used");
  EXPECT_EQ(chosen->warnings[1],
            "B.EOF and C.EOF differ at 73 of the 73 times both give, from 2025-04-06T04:38:00.000000000Z to "
            "2025-04-06T04:50:00.000000000Z, by up to 0.300 m: the newer, C.EOF, is used");

  // One differing vector is told by its time.
  OrbitCatalogue two;
  ASSERT_TRUE(two.add_file(dir.file("A.EOF"), &problem));
  ASSERT_TRUE(two.add_file(dir.write("D.EOF", eof("S1A", "AUX_RESORB", "2025-04-06T04:30:00", "2025-04-06T05:10:00",
                                                  "2025-04-06T06:00:00", 0.0, {{"2025-04-06T04:33:00", 0.25}})),
                           &problem));
  const std::optional<ChosenOrbit> one = two.choose("S1A", at("2025-04-06T04:35:00"), at("2025-04-06T04:36:00"), &refusal);
  ASSERT_TRUE(one) << refusal.text;
  ASSERT_EQ(one->warnings.size(), 1u);
  EXPECT_EQ(one->warnings[0],
            "A.EOF and D.EOF differ at 2025-04-06T04:33:00.000000000Z by 0.250 m: the newer, D.EOF, is used");
}

// A folder's file that is refused is skipped with a warning naming it and
// why, when the folder is read (no orbit file's header) or when the file is
// chosen and cannot be read whole (the next one is tried, and a refusal
// marks it not used); the same files named one by one are errors.
//   P9 precise 02:00 - 03:30, the newest, cut short after its header
//   P1 precise 02:00 - 03:00
//   N  no orbit file;  D.EOF a folder
TEST(OrbitCatalogue, RefusedFolderFilesAreSkippedNamedFilesAreErrors) {
  TempDir dir;
  const std::string p9_text =
      eof("S1A", "AUX_POEORB", "2025-04-06T02:00:00", "2025-04-06T03:30:00", "2025-04-28T00:00:00");
  const std::string p9 = dir.write("P9.EOF", p9_text.substr(0, p9_text.find("<OSV>") + 200));
  const std::string p1 = dir.write(
      "P1.EOF", eof("S1A", "AUX_POEORB", "2025-04-06T02:00:00", "2025-04-06T03:00:00", "2025-04-26T00:00:00"));
  const std::string n = dir.write("N.EOF", "not an orbit file");
  std::filesystem::create_directory(dir.file("D.EOF"));  // a folder, looked into: nothing there

  OrbitCatalogue folder;
  std::string problem;
  std::vector<std::string> warnings;
  ASSERT_TRUE(folder.add_directory(dir.path().string(), &problem, &warnings)) << problem;
  EXPECT_EQ(folder.size(), 2u);
  EXPECT_EQ(warnings, (std::vector<std::string>{
                          "skipped the orbit file " + n + ": no Earth_Explorer_Header within its first 16384 bytes"}));
  // 02:20: P9 is tried first and skipped, P1 serves.
  Refusal refusal;
  const std::optional<ChosenOrbit> early = folder.choose("S1A", at("2025-04-06T02:20:10"), at("2025-04-06T02:20:35"), &refusal);
  ASSERT_TRUE(early) << refusal.text;
  EXPECT_EQ(early->orbit.source, "P1.EOF");
  ASSERT_FALSE(early->warnings.empty());
  EXPECT_TRUE(early->warnings[0].starts_with("skipped the orbit file " + p9 + ": not well-formed XML"))
      << early->warnings[0];
  // 03:10: P9 alone would cover; the refusal says why it was not used.
  EXPECT_FALSE(folder.choose("S1A", at("2025-04-06T03:10:00"), at("2025-04-06T03:10:30"), &refusal));
  problem = refusal.text;
  EXPECT_NE(problem.find("AUX_POEORB 2025-04-06T02:00:00.000000000Z to 2025-04-06T03:30:00.000000000Z (not used: " +
                         p9 + ": not well-formed XML"),
            std::string::npos)
      << problem;

  // Named one by one: a refused header fails the adding, a file cut short
  // fails the choice although P1 would serve.
  OrbitCatalogue named;
  EXPECT_FALSE(named.add_file(n, &problem));
  EXPECT_EQ(problem, n + ": no Earth_Explorer_Header within its first 16384 bytes");
  ASSERT_TRUE(named.add_file(p1, &problem) && named.add_file(p9, &problem)) << problem;
  EXPECT_FALSE(named.choose("S1A", at("2025-04-06T02:20:10"), at("2025-04-06T02:20:35"), &refusal));
  EXPECT_EQ(refusal.kind, RefusalKind::unreadable);
  EXPECT_TRUE(refusal.text.starts_with(p9 + ": not well-formed XML")) << refusal.text;

  // A folder of refused files alone still asks for orbit files: the
  // choice says that none covers the acquisition.
  TempDir bad;
  bad.write("N.EOF", "not an orbit file");
  OrbitCatalogue none;
  ASSERT_TRUE(none.add_directory(bad.path().string(), &problem, &warnings));
  EXPECT_FALSE(none.empty());
  EXPECT_FALSE(none.choose("S1A", at("2025-04-06T02:20:10"), at("2025-04-06T02:20:35"), &refusal));
  problem = refusal.text;
  EXPECT_NE(problem.find("cover nothing: none that can be read is given (1 file skipped)"), std::string::npos)
      << problem;
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

// A named pipe among the orbit files (nobody writes to it: a blocking open
// would wait for ever): in a folder it is skipped with a warning and the
// run gives the numbers of the folder without it; named with --orbit it
// ends the run. Each run must end within a few seconds.
TEST(OrbitCatalogue, ANamedPipeAmongTheOrbitFilesEndsTheRunQuickly) {
  const std::string data = std::string(BPERP_SOURCE_DIR) + "/tests/data/";
  const std::string ref = data + "s1-track108-annotation/s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml";
  const std::string sec = data + "s1-track108-annotation/s1a-iw2-slc-vv-20250418t022010-20250418t022035-058805-074946-005.xml";
  const std::string layout = data + "s1-track108-orbit-layout";
  TempDir dir;
  for (const auto& entry : std::filesystem::directory_iterator(layout))
    std::filesystem::create_symlink(entry.path(), dir.path() / entry.path().filename());
  const std::string fifo = dir.file("x.EOF");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  test_support::ProcessOptions quick;
  quick.timeout_seconds = 5.0;
  const stack_test::RunResult without = stack_test::run_stack({"--format", "csv", "--orbit-dir", layout, ref, sec});
  ASSERT_EQ(without.status, 0) << without.err;
  struct Case {
    std::vector<std::string> orbits;
    int status;
    std::string err;  // the whole of standard error
    std::string out;
  };
  const Case cases[] = {
      {{"--orbit-dir", dir.path().string()}, 0,
       "bperp-stack: warning: skipped the orbit file " + fifo + ": is no regular file\n", without.out},
      {{"--orbit", fifo}, 1, "bperp-stack: can't use the orbit file " + fifo + ": is no regular file\n", ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--format", "csv"};
    args.insert(args.end(), c.orbits.begin(), c.orbits.end());
    args.insert(args.end(), {ref, sec});
    const test_support::ProcessResult r = test_support::run_process(BPERP_STACK_EXE, args, quick);
    EXPECT_FALSE(r.timed_out) << c.orbits[0];
    EXPECT_EQ(r.status, c.status) << c.orbits[0];
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, c.out);
  }
}

}  // namespace
}  // namespace bperp::stack
