// The Sentinel-1 orbit-file reader on the two track-108 files of that
// layout (written from the IW2 annotations' own vectors, so the two readers
// must agree bit for bit), on hostile variants in memory, and on a file the
// size of a real precise orbit file.
#include "bperp/stack/inputs/s1_orbit_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bperp/stack/inputs/s1_annotation.h"
#include "support/files.h"

namespace bperp::stack {
namespace {

const std::string layout_dir = BPERP_SOURCE_DIR "/tests/data/s1-track108-orbit-layout/";
const std::string annotation_dir = BPERP_SOURCE_DIR "/tests/data/s1-track108-annotation/";

UtcTime utc(const char* text) { return *parse_utc(text); }

// Per date: the orbit file and the IW2 annotation it was written from, and
// the header's times read off the file with grep.
struct DatePair {
  std::string eof, annotation;
  const char *start, *stop, *creation;
};
const DatePair pairs[] = {
    {"S1A_OPER_AUX_POEORB_OPOD_20250426T022143_V20250406T021903_20250406T022143",
     "s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml", "2025-04-06T02:19:03",
     "2025-04-06T02:21:43", "2025-04-26T02:21:43"},
    {"S1A_OPER_AUX_POEORB_OPOD_20250508T022143_V20250418T021903_20250418T022143",
     "s1a-iw2-slc-vv-20250418t022010-20250418t022035-058805-074946-005.xml", "2025-04-18T02:19:03",
     "2025-04-18T02:21:43", "2025-05-08T02:21:43"},
};

TEST(S1OrbitFile, LayoutFilesGiveTheAnnotationsOwnVectorsBitForBit) {
  for (const DatePair& d : pairs) {
    SCOPED_TRACE(d.eof);
    std::string problem;
    const std::optional<S1OrbitFile> f = read_s1_orbit_file(layout_dir + d.eof + ".EOF", &problem);
    ASSERT_TRUE(f.has_value()) << problem;
    Refusal refusal;
    const std::optional<ProductInfo> a = read_s1_annotation(annotation_dir + d.annotation, &refusal);
    ASSERT_TRUE(a.has_value()) << refusal.text;
    EXPECT_EQ(f->file_name, d.eof);
    EXPECT_EQ(f->mission, "S1A");
    EXPECT_EQ(f->file_type, "AUX_POEORB");
    EXPECT_EQ(f->validity_start, utc(d.start));
    EXPECT_EQ(f->validity_stop, utc(d.stop));
    EXPECT_EQ(f->creation, utc(d.creation));
    EXPECT_TRUE(f->warnings.empty());
    EXPECT_EQ(f->orbit.source, d.eof + ".EOF");
    EXPECT_EQ(f->orbit.epoch, a->orbit.epoch);
    ASSERT_EQ(f->orbit.rows.size(), 17u);
    ASSERT_EQ(f->orbit.rows.size(), a->orbit.rows.size());
    for (std::size_t k = 0; k < f->orbit.rows.size(); ++k) {
      EXPECT_EQ(f->orbit.rows[k].t, a->orbit.rows[k].t) << k;
      for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(f->orbit.rows[k].state.position[i], a->orbit.rows[k].state.position[i]) << k;
        EXPECT_EQ(f->orbit.rows[k].state.velocity[i], a->orbit.rows[k].state.velocity[i]) << k;
      }
    }
  }
}

// "YYYY-MM-DDTHH:MM:SS" of 2025-04-06T02:19:00 + seconds, by the civil
// calendar of <chrono>.
std::string clock_text(long seconds) {
  using namespace std::chrono;
  const sys_seconds t =
      sys_days(year(2025) / 4 / 6) + hours(2) + minutes(19) + std::chrono::seconds(seconds);
  const sys_days day = floor<days>(t);
  const year_month_day ymd(day);
  const hh_mm_ss<std::chrono::seconds> hms(t - day);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ld", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<long>(hms.hours().count()), static_cast<long>(hms.minutes().count()),
                static_cast<long>(hms.seconds().count()));
  return text;
}

// One OSV element at UTC 2025-04-06T02:19:00.324203 + 10 k s, its position
// moved by k m along x so that each vector differs.
std::string osv(long k, const char* quality = "NOMINAL") {
  char text[768];
  std::snprintf(text, sizeof text,
                "      <OSV>\n"
                "        <TAI>TAI=2025-04-06T00:00:00.000000</TAI>\n"
                "        <UTC>UTC=%s.324203</UTC>\n"
                "        <UT1>UT1=2025-04-06T00:00:00.000000</UT1>\n"
                "        <Absolute_Orbit>+58630</Absolute_Orbit>\n"
                "        <X unit=\"m\">%.15e</X>\n"
                "        <Y unit=\"m\">-3.573219324351000e+06</Y>\n"
                "        <Z unit=\"m\">5.103830197791000e+06</Z>\n"
                "        <VX unit=\"m/s\">2.238675067000000e+03</VX>\n"
                "        <VY unit=\"m/s\">5.179394761000000e+03</VY>\n"
                "        <VZ unit=\"m/s\">5.078243049000000e+03</VZ>\n"
                "        <Quality>%s</Quality>\n"
                "      </OSV>\n",
                clock_text(10 * k).c_str(), -3.339803610018e6 + static_cast<double>(k), quality);
  return text;
}

// An orbit file in the layout of the track-108 ones holding vectors (the
// count attribute given separately so that it can disagree).
std::string orbit_file(const std::string& vectors, std::size_t count) {
  return R"(<?xml version="1.0" ?>
<Earth_Explorer_File>
  <Earth_Explorer_Header>
    <Fixed_Header>
      <File_Name>S1A_OPER_AUX_POEORB_OPOD_TEST</File_Name>
      <Mission>Sentinel-1A</Mission>
      <File_Type>AUX_POEORB</File_Type>
      <Validity_Period>
        <Validity_Start>UTC=2025-04-06T02:19:00</Validity_Start>
        <Validity_Stop>UTC=2025-04-07T04:19:00</Validity_Stop>
      </Validity_Period>
      <Source><Creation_Date>UTC=2025-04-26T02:21:43</Creation_Date></Source>
    </Fixed_Header>
  </Earth_Explorer_Header>
  <Data_Block type="xml">
    <List_of_OSVs count=")" +
         std::to_string(count) + "\">\n" + vectors +
         "    </List_of_OSVs>\n  </Data_Block>\n</Earth_Explorer_File>\n";
}

std::string vectors(long n) {
  std::string v;
  for (long k = 0; k < n; ++k) v += osv(k);
  return v;
}

std::string with(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(S1OrbitFile, HostileOrbitFilesAreRefusedWithTheReason) {
  const std::string good = orbit_file(vectors(5), 5);
  const std::string third = "UTC=2025-04-06T02:19:20.324203";
  struct Case {
    const char* what;
    std::string bytes;
    const char* words;
  };
  const Case cases[] = {
      {"truncated", good.substr(0, good.size() - 40), "not well-formed XML at byte"},
      {"entity", "<!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>" + good,
       "document type declaration"},
      {"count mismatch", orbit_file(vectors(5), 6),
       "List_of_OSVs says count=6 but holds 5 OSV elements"},
      {"no count", with(good, " count=\"5\"", ""),
       "Data_Block/List_of_OSVs has no count attribute"},
      {"wrong unit", with(good, "<Y unit=\"m\">", "<Y unit=\"km\">"),
       "List_of_OSVs/OSV[1]/Y has unit=\"km\"; expected unit=\"m\""},
      {"velocity unit", with(good, "<VZ unit=\"m/s\">", "<VZ>"), "OSV[1]/VZ has no unit attribute"},
      {"nan", with(good, "5.078243049000000e+03", "NaN"),
       "OSV[1]/VZ is \"NaN\", not a finite number"},
      {"missing element", with(good, "<Mission>Sentinel-1A</Mission>", ""),
       "Earth_Explorer_Header/Fixed_Header/Mission is missing"},
      {"missing in a vector", with(good, "<UTC>UTC=2025-04-06T02:19:00.324203</UTC>", ""),
       "Data_Block/List_of_OSVs/OSV[1]/UTC is missing"},
      {"no UTC= prefix", with(good, "UTC=2025-04-06T02:19:00<", "2025-04-06T02:19:00<"),
       "does not start with UTC="},
      {"repeated", with(good, third, "UTC=2025-04-06T02:19:10.324203"),
       "OSV[3] (2025-04-06T02:19:10.324203000Z) repeats"},
      {"unsorted", with(good, third, "UTC=2025-04-06T02:19:05.324203"),
       "OSV[3] (2025-04-06T02:19:05.324203000Z) comes before"},
      {"mission", with(good, "Sentinel-1A", "Envisat"), "not a Sentinel-1 mission"},
      {"file type", with(good, "<File_Type>AUX_POEORB", "<File_Type>AUX_RESATT"),
       "not an orbit file's"},
      {"validity", with(good, "<Validity_Stop>UTC=2025-04-07", "<Validity_Stop>UTC=2025-04-05"),
       "comes before Validity_Start"},
      {"too few", orbit_file(vectors(3), 3), "holds 3 vectors; at least 4"},
      {"other root", "<Earth_Explorer_Files/>", "the root element is"},
  };
  std::string problem;
  ASSERT_TRUE(parse_s1_orbit_file(good, "good.EOF", &problem).has_value()) << problem;
  for (const Case& c : cases) {
    problem.clear();
    const std::optional<S1OrbitFile> f = parse_s1_orbit_file(c.bytes, "hostile.EOF", &problem);
    EXPECT_FALSE(f.has_value()) << c.what;
    EXPECT_TRUE(problem.starts_with("hostile.EOF: ")) << c.what << ": " << problem;
    EXPECT_NE(problem.find(c.words), std::string::npos) << c.what << ": " << problem;
  }
}

// Runs of vectors whose Quality is not NOMINAL give one warning each, with
// their count and times; the vectors are kept.
TEST(S1OrbitFile, EachRunOfVectorsNotNominalGivesOneWarning) {
  const std::string v = osv(0) + osv(1, "NOT_NOMINAL") + osv(2, "NOT_NOMINAL") + osv(3) + osv(4) +
                        osv(5, "") + osv(6);
  std::string problem;
  const std::optional<S1OrbitFile> f = parse_s1_orbit_file(orbit_file(v, 7), "q.EOF", &problem);
  ASSERT_TRUE(f.has_value()) << problem;
  EXPECT_EQ(f->orbit.rows.size(), 7u);
  ASSERT_EQ(f->warnings.size(), 2u);
  EXPECT_EQ(f->warnings[0],
            "2 orbit vectors from 2025-04-06T02:19:10.324203000Z to 2025-04-06T02:19:20.324203000Z "
            "of Quality \"NOT_NOMINAL\", not NOMINAL");
  EXPECT_EQ(f->warnings[1],
            "1 orbit vector at 2025-04-06T02:19:50.324203000Z of Quality \"\", not NOMINAL");
}

// Whether call returns within seconds, tried in a child process that is
// killed at the deadline: a reader that blocks fails the test instead of
// hanging it.
bool returns_within(double seconds, const std::function<void()>& call) {
  const pid_t child = ::fork();
  if (child == 0) {
    call();
    ::_exit(0);
  }
  if (child < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Both readers, the header alone and the whole file, on what is no regular
// file: a named pipe no one writes to (a blocking open would wait for a
// writer for ever), a folder, a missing path. Each is refused at once,
// naming it.
TEST(S1OrbitFile, WhatIsNoRegularFileIsRefusedAtOnce) {
  const test_support::TempDir dir;
  const std::string fifo = dir.file("x.EOF");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = dir.file("folder.EOF");
  std::filesystem::create_directory(folder);
  using Reader = std::function<std::optional<S1OrbitFile>(const std::string&, std::string*)>;
  const std::pair<const char*, Reader> readers[] = {
      {"header", [](const std::string& p, std::string* why) { return read_s1_orbit_file_header(p, why); }},
      {"whole", [](const std::string& p, std::string* why) { return read_s1_orbit_file(p, why); }},
  };
  const std::pair<std::string, std::string> cases[] = {
      {fifo, fifo + ": is no regular file"},
      {folder, folder + ": is no regular file"},
      {dir.file("absent.EOF"), dir.file("absent.EOF") + ": cannot open it (No such file or directory)"},
  };
  for (const auto& [what, read] : readers)
    for (const auto& [path, message] : cases) {
      SCOPED_TRACE(std::string(what) + " " + path);
      ASSERT_TRUE(returns_within(2.0, [r = read, p = path] { r(p, nullptr); }));
      std::string problem;
      EXPECT_FALSE(read(path, &problem).has_value());
      EXPECT_EQ(problem, message);
    }
}

// A file the size of a real precise orbit file: 9,400 vectors 10 s apart
// over 26 hours (about 4.5 MB), read from disk in one pass. The times cross
// midnight; row k is at 10 k s and its x is the first one's + k m.
TEST(S1OrbitFile, ReadsAFullDayOfVectorsQuickly) {
  constexpr long n = 9400;
  const test_support::TempDir dir;
  const std::string path = dir.write("S1A_OPER_AUX_POEORB_FULL.EOF", orbit_file(vectors(n), n));
  std::string problem;
  const auto start = std::chrono::steady_clock::now();
  const std::optional<S1OrbitFile> f = read_s1_orbit_file(path, &problem);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_TRUE(f.has_value()) << problem;
  std::printf("read %ld vectors (%zu bytes) in %.1f ms\n", n,
              static_cast<std::size_t>(std::filesystem::file_size(path)), seconds * 1e3);
  ASSERT_EQ(f->orbit.rows.size(), static_cast<std::size_t>(n));
  EXPECT_EQ(f->orbit.epoch, utc("2025-04-06T02:19:00.324203"));
  for (const long k : {0L, 2165L, 2166L, n - 1}) {         // 2165 and 2166: each side of midnight
    EXPECT_NEAR(f->orbit.rows[k].t, 10.0 * k, 1e-9) << k;  // s
    EXPECT_NEAR(f->orbit.rows[k].state.position[0], -3339.803610018 + k * 1e-3, 1e-9) << k;  // km
  }
  EXPECT_LT(seconds, 2.0);  // a bound far above the measured time, against a quadratic pass
}

}  // namespace
}  // namespace bperp::stack
