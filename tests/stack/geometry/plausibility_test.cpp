// What cannot be a repeat pass is refused, and what is only odd is warned
// about: bperp-stack run on the example stack with one file made wrong in
// each case (units, zeros, another track, another direction of flight, a
// state vector too far to move accurately), the row of the bad file marked,
// the others still computed; and what a reference cannot be asked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "bperp/stack/geometry/plausibility.h"
#include "bperp/stack/geometry/propagation.h"
#include "bperp/stack/run/stack_run.h"
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

// The state vector of a file (its two lines of numbers after the header).
bperp::StateVector state_of_file(const std::string& path) {
  const std::vector<std::string> lines = lines_of(stack_test::read_file(path));
  std::istringstream in(lines[1] + " " + lines[2]);
  bperp::StateVector s;
  for (double& x : s.position) in >> x;
  for (double& x : s.velocity) in >> x;
  return s;
}

// v turned by angle (rad) about the unit axis (Rodrigues).
void turn(double* v, const double* axis, double angle) {
  const double c = std::cos(angle), s = std::sin(angle);
  const double k = axis[0] * v[0] + axis[1] * v[1] + axis[2] * v[2];
  const double w[3] = {axis[1] * v[2] - axis[2] * v[1], axis[2] * v[0] - axis[0] * v[2],
                       axis[0] * v[1] - axis[1] * v[0]};
  for (int i = 0; i < 3; ++i) v[i] = v[i] * c + w[i] * s + axis[i] * k * (1.0 - c);
}

// The column of a CSV header.
std::size_t column_of(const std::vector<std::string>& header, const std::string& key) {
  return static_cast<std::size_t>(std::find(header.begin(), header.end(), key) - header.begin());
}

// The example orbit with a row 1 ms after its second one, 5 mm off the
// straight line the velocity gives: a near-repeated row, which bends the
// interpolant by centimetres while its error estimate stays tiny.
std::string orbit_with_near_repeated_row() {
  const std::vector<std::string> lines = lines_of(stack_test::read_file(orbit));
  std::istringstream in(lines[2]);
  double row[7];
  for (double& x : row) in >> x;
  constexpr double dt = 0.001, off = 5e-6;  // s, km
  char extra[256];
  std::snprintf(extra, sizeof extra, "%.3f %.9f %.9f %.9f %.9f %.9f %.9f", row[0] + dt, row[1] + row[4] * dt + off,
                row[2] + row[5] * dt, row[3] + row[6] * dt, row[4], row[5], row[6]);
  std::string text;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    text += lines[k] + "\n";
    if (k == 2) text += std::string(extra) + "\n";
  }
  return text;
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
      {dir.write("near-repeat.orbit", orbit_with_near_repeated_row()),
       {"line 3 and line 4 are 0.001 s apart, against 10.000 s", "repeated or misplaced"}},
      {dir.write("inside.txt", "2008-09-02 inside\n3000 3000 3000 -1.7 4.3 -6.0\n"),
       {"inside the earth"}},
      // bperp's example master: a pass of another track, 8,000 km away.
      {dir.write("other-track.txt",
                 stack_test::read_file(std::string(BPERP_SOURCE_DIR) + "/examples/master.txt")),
       {"km from the reference position", "another track"}},
      // Another track's vector moved to the reference's place: too long a baseline.
      {dir.write("far.txt", "2008-09-03 far\n-3992.2 4155.9 4195.4 -1.721236851 4.285816268 -6.027058295\n"),
       {" m long, more than", "more than --max-length 50000 m", "another track"}},
      // The reference's state vector through the earth's centre: the same orbit, half a
      // revolution on, where the orbit passes farthest from the reference, not closest.
      {dir.write("antipode.txt", "2008-09-04 antipode\n3992.201961 -4155.954235 -4095.394502 "
                                 "1.721236851 -4.285816268 6.027058295\n"),
       {"14139.", "on the far side of its orbit"}},
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
  // The reference named again is what `REF dir/*` does: left out without a
  // word. Two state vectors of one date have no times to tell them one pass.
  for (const std::string& words :
       {link + " is the same file as " + good + ": used once",
        same_day + " and " + good + " are both of 2008-07-30, but not one pass (no time at the target",
        year_zero + ": the header date 0000-01-01 lies outside 1978 to 2100: taken as no date"})
    EXPECT_NE(r.err.find("warning: " + words), std::string::npos) << words << "\n" << r.err;
  EXPECT_EQ(r.err.find(reference + " is the same file"), std::string::npos) << r.err;
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

// The angle between two velocities worked by hand: 7.5 km/s turned about
// the radial axis by the angle; beyond 1 degree it is another track.
TEST(Plausibility, VelocityTurnedAwayIsAnotherTrack) {
  constexpr double deg = std::numbers::pi / 180.0;
  struct Case {
    double angle_deg;
    const char* words;  // "" for a repeat pass
  };
  const double radial[3] = {1.0, 0.0, 0.0};
  const double reference_velocity[3] = {0.0, 7.5, 0.0};
  for (const Case& c : {Case{0.0, ""}, Case{0.05, ""}, Case{0.99, ""}, Case{-0.99, ""},
                        Case{1.01, "1.01 degrees away"}, Case{-5.0, "5.00 degrees away"},
                        Case{150.0, "150.00 degrees away"}, Case{180.0, "180.00 degrees away"}}) {
    double v[3] = {0.0, 7.5 * 1.001, 0.0};  // the length does not matter
    turn(v, radial, c.angle_deg * deg);
    const std::string why = bperp::stack::other_direction(reference_velocity, v);
    if (*c.words == '\0') {
      EXPECT_EQ(why, "") << c.angle_deg;
    } else {
      EXPECT_NE(why.find(c.words), std::string::npos) << c.angle_deg << ": " << why;
      EXPECT_NE(why.find("another track, or an ascending and a descending pass?"), std::string::npos);
    }
  }
  const double zero[3] = {0.0, 0.0, 0.0};
  EXPECT_NE(bperp::stack::other_direction(reference_velocity, zero), "");
}

// A secondary at the reference's place flying another way (its velocity
// turned about the vertical by 5 or 150 degrees, as a state vector and as
// an orbit through it) is refused in both geometries, the file's kind, date
// and orbit source kept in its row; a repeat pass beside it is computed.
TEST(Plausibility, CrossingPassesAreRefusedInBothGeometries) {
  constexpr double deg = std::numbers::pi / 180.0;
  TempDir dir;
  const bperp::StateVector near = state_of_file(good);
  const double r = std::sqrt(near.position[0] * near.position[0] + near.position[1] * near.position[1] +
                             near.position[2] * near.position[2]);
  const double up[3] = {near.position[0] / r, near.position[1] / r, near.position[2] / r};
  struct Case {
    std::string path;
    double angle_deg;
  };
  std::vector<Case> cases;
  for (const double angle : {5.0, 150.0}) {
    bperp::StateVector s = near;
    turn(s.velocity, up, angle * deg);
    const std::string name = "turned" + std::to_string(static_cast<int>(angle));
    cases.push_back({dir.write(name + ".txt", stack_test::state_vector_text("2008-07-30 turned", s.position,
                                                                            s.velocity)),
                     angle});
    // Rows every 10 s from 80 s before to 80 s after it, on UTC of its date
    // (the 150 degree pass comes closest to the zero-Doppler target 40 s off).
    std::string rows = "2008-07-30 turned orbit\n";
    for (int k = -8; k <= 8; ++k) {
      const bperp::StateVector row = bperp::stack::propagate(s, 10.0 * k);
      char line[256];
      std::snprintf(line, sizeof line, "%.3f %.9f %.9f %.9f %.12f %.12f %.12f\n", 40000.0 + 10.0 * k,
                    row.position[0], row.position[1], row.position[2], row.velocity[0], row.velocity[1],
                    row.velocity[2]);
      rows += line;
    }
    cases.push_back({dir.write(name + ".orbit", rows), angle});
  }
  // The beam geometry of the state-vector reference, and the zero-Doppler
  // geometry of a dated orbit at the beam's scene point.
  const std::vector<std::vector<std::string>> heads = {
      {"--format", "csv", reference},
      {"--format", "csv", "--sensor", "alos", "--at-point", "36.231883,128.481547,0", orbit}};
  for (const std::vector<std::string>& head : heads) {
    std::vector<std::string> args = head;
    args.push_back(good);
    for (const Case& c : cases) args.push_back(c.path);
    const RunResult run = run_stack(args);
    EXPECT_EQ(run.status, 1) << run.err;
    const auto records = read_csv(run.out);
    ASSERT_EQ(records.size(), cases.size() + 2) << run.out << run.err;
    const std::size_t kind = column_of(records[0], "kind"), date = column_of(records[0], "date"),
                      source = column_of(records[0], "orbit_source"),
                      perpendicular = column_of(records[0], "perpendicular_m");
    EXPECT_EQ(record_of(records, good).back(), "") << head.back();
    for (const Case& c : cases) {
      const std::vector<std::string> record = record_of(records, c.path);
      ASSERT_FALSE(record.empty()) << c.path;
      const std::string& why = record.back();
      const std::size_t at = why.find("its velocity points ");
      ASSERT_NE(at, std::string::npos) << head.back() << " " << c.path << ": " << why;
      // The angle at the closest approach: the turn, give or take the
      // orbit's own curving between the vectors' places.
      EXPECT_NEAR(std::stod(why.substr(at + 20)), c.angle_deg, 0.5) << why;
      EXPECT_EQ(record[perpendicular], "");
      const bool is_orbit = c.path.ends_with(".orbit");
      EXPECT_EQ(record[kind], is_orbit ? "orbit" : "state-vector") << c.path;
      EXPECT_EQ(record[date], "2008-07-30") << c.path;
      EXPECT_EQ(record[source], is_orbit ? "orbit file" : "") << c.path;
    }
  }
}

// The target options place a target in a product's or a dated orbit's
// image; a state-vector reference has none, so each is refused, not ignored.
TEST(Plausibility, StateVectorReferenceTakesNoTarget) {
  struct Case {
    std::vector<std::string> options;
    const char* names;
  };
  const Case cases[] = {
      {{"--at-time", "2008-06-14T01:02:03Z"}, "--at-time needs"},
      {{"--at-point", "36.2,128.5,0"}, "--at-point needs"},
      {{"--at-range", "868769"}, "--at-range needs"},
      {{"--height", "0"}, "--height needs"},
      {{"--at-time", "2008-06-14T01:02:03Z", "--at-range", "868769", "--height", "100"},
       "--at-time, --at-range and --height need"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.options;
    args.push_back(reference);
    args.push_back(good);
    const RunResult r = run_stack(args);
    EXPECT_EQ(r.status, 1) << c.names;
    EXPECT_EQ(r.out, "") << c.names;
    EXPECT_NE(r.err.find(std::string(c.names) +
                         " a product or a dated orbit as the reference: a state-vector reference has "
                         "only bperp's beam geometry (no time or range)"),
              std::string::npos)
        << r.err;
  }
}

// A state vector is moved along its orbit only as far as its error
// estimate, 0.5 (4e-4 m/s^2) t^2, stays within 1 cm (7.07 s): the example
// pass taken t seconds before its place, by hand 0.2 mm at 1 s and 5.0 mm
// at 5 s, reported as interpolation_error_m; 7.2 s (1.04 cm) and 30 s
// (18 cm) are refused naming both; beyond 60 s it is another track.
TEST(Plausibility, StateVectorShiftWithinItsErrorBound) {
  TempDir dir;
  const bperp::StateVector near = state_of_file(good);
  struct Case {
    double before;      // s
    double estimate_m;  // NaN: refused
    const char* words;  // in the refusal
  };
  const Case cases[] = {
      {1.0, 0.0002, ""},
      {5.0, 0.0050, ""},
      {7.0, 0.0098, ""},
      {7.2, NAN, "moving the state vector 7.2"},
      {30.0, NAN, "uncertain by 18.0 cm (the gravity beyond J2 that the propagation leaves out), more than "
                  "1.0 cm (a shift of at most 7.1 s)"},
      {75.0, NAN, "more than 60 s along its orbit: not a pass of the reference's place (another track or "
                  "satellite?)"},
  };
  for (const Case& c : cases) {
    const bperp::StateVector s = bperp::stack::propagate(near, -c.before);
    const std::string path =
        dir.write("before" + std::to_string(c.before) + ".txt",
                  stack_test::state_vector_text("2008-07-30 earlier", s.position, s.velocity));
    const RunResult r = run_stack({"--format", "csv", reference, path});
    const auto records = read_csv(r.out);
    ASSERT_EQ(records.size(), 2u) << r.out << r.err;
    const std::vector<std::string>& record = records[1];
    if (std::isnan(c.estimate_m)) {
      EXPECT_EQ(r.status, 1) << c.before;
      EXPECT_NE(record.back().find(c.words), std::string::npos) << c.words << " | " << record.back();
      EXPECT_EQ(record[column_of(records[0], "perpendicular_m")], "");
    } else {
      EXPECT_EQ(r.status, 0) << c.before << r.err;
      // The example pass itself stands 2 ms off: the estimate to 0.01 mm.
      EXPECT_NEAR(std::stod(record[column_of(records[0], "interpolation_error_m")]), c.estimate_m, 1e-5)
          << c.before;
      EXPECT_NEAR(std::stod(record[column_of(records[0], "time_shift_s")]), c.before, 0.01);
    }
  }
}

// A point whose zero-Doppler time lies outside a dated orbit's rows is told
// in UTC: the rows 40060 s to 40170 s after 2008-04-29 00:00 are 11:07:40
// to 11:09:30, and the point's own time about, before or after them.
TEST(Plausibility, PointOutsideTheOrbitIsToldInUtc) {
  struct Case {
    const char* point;
    const char* words;
  };
  const Case cases[] = {
      {"20,131,0", "the point's zero-Doppler time, about 2008-04-29T11:1"},   // south: later
      {"50,125,0", "the point's zero-Doppler time, about 2008-04-29T11:0"},   // north: earlier
      {"-30,100,0", "the point's zero-Doppler time lies more than 600 s after"},
  };
  for (const Case& c : cases) {
    const RunResult r = run_stack({"--sensor", "alos", "--at-point", c.point, orbit, good});
    EXPECT_EQ(r.status, 1) << c.point;
    EXPECT_NE(r.err.find(c.words), std::string::npos) << c.words << " | " << r.err;
    EXPECT_NE(r.err.find("its orbit's vectors (2008-04-29T11:07:40.000000000Z to "
                         "2008-04-29T11:09:30.000000000Z)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find(" s to "), std::string::npos) << r.err;  // no relative seconds
  }
}

}  // namespace
