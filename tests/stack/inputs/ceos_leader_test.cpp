// The CEOS leader reader: the real ALOS-2 leader (tests/data/README.md), a
// moved copy of it against the baseline worked out independently, leaders
// written here for the paddings, frames and type codes of other missions,
// and the refusals of damaged ones; product folders.
#include "bperp/stack/inputs/ceos_leader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "moved_copy.h"
#include "stack_test_support.h"

namespace bperp::stack {
namespace {

using moved_copy::Vec;

const std::string alos2_dir = BPERP_SOURCE_DIR "/tests/data/alos2-ceos-l15/";
const std::string alos2_leader = alos2_dir + "LED-ALOS2015976960-140909-FBDR1.5GUA";

// Where the records of the real leader start (read off its headers).
constexpr std::size_t summary_at = 720, platform_at = 6436;

// The real leader's orbit, read off its bytes here: 28 points of six
// D22.15 numbers from byte 386 of the platform record (m, m/s), 60 s apart.
moved_copy::Vectors real_orbit(const std::string& bytes) {
  moved_copy::Vectors o(28);
  for (std::size_t k = 0; k < 28; ++k) {
    o[k].t = 60.0 * static_cast<double>(k);
    for (std::size_t i = 0; i < 6; ++i)
      (i < 3 ? o[k].position : o[k].velocity)[i % 3] = std::stod(bytes.substr(platform_at + 386 + (6 * k + i) * 22, 22));
  }
  return o;
}

TEST(CeosLeader, RealAlos2LeaderGivesItsOrbitRadarAndSceneCentre) {
  Refusal problem;
  const std::optional<ProductInfo> p = read_ceos_leader(alos2_leader, &problem);
  ASSERT_TRUE(p) << problem.text;
  EXPECT_EQ(p->mission, "ALOS2");
  EXPECT_EQ(p->product_type, "level 1.5 STANDARD GEOCODED IMAGE");
  EXPECT_EQ(p->pass, "ASCENDING");
  EXPECT_EQ(p->look, LookSide::right);
  EXPECT_EQ(p->wavelength_m, 0.2424525);
  EXPECT_EQ(utc_text(*p->image.centre_line), "2014-09-09T04:33:47.052000000Z");
  ASSERT_TRUE(p->scene_centre);
  EXPECT_EQ(p->scene_centre->latitude_deg, -11.0510316);
  EXPECT_EQ(p->scene_centre->longitude_deg, -62.5322403);
  EXPECT_EQ(utc_text(p->orbit.epoch), "2014-09-09T04:20:00.000000000Z");
  const moved_copy::Vectors file = real_orbit(stack_test::read_file(alos2_leader));
  ASSERT_EQ(p->orbit.rows.size(), 28u);
  for (std::size_t k = 0; k < 28; ++k) {
    const OrbitRow& row = p->orbit.rows[k];
    EXPECT_NEAR(row.t, file[k].t, 1e-6);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(row.state.position[i] * 1000.0, file[k].position[i], 1e-3);
      EXPECT_NEAR(row.state.velocity[i] * 1000.0, file[k].velocity[i], 1e-6);
    }
  }
}

// A copy 14 days later (one ALOS-2 cycle) with every point moved by some
// 100 m: the run targets the stated scene centre and gives the offset's
// components along and across the line of sight.
TEST(CeosLeader, MovedCopyGivesTheOffsetAcrossAndAlongTheLineOfSight) {
  std::string bytes = stack_test::read_file(alos2_leader);
  const moved_copy::Vectors orbit = real_orbit(bytes);
  const Vec offset = {-80.0, 55.0, 40.0};
  for (std::size_t k = 0; k < 28; ++k)
    for (std::size_t i = 0; i < 3; ++i) {
      char field[32];
      std::snprintf(field, sizeof field, "%22.15E", orbit[k].position[i] + offset[i]);
      bytes.replace(platform_at + 386 + (6 * k + i) * 22, 22, field);
    }
  bytes.replace(platform_at + 144, 16, "2014   9  23 266");
  bytes.replace(summary_at + 68, 8, "20140923");
  const stack_test::TempDir tmp;
  const std::string copy = tmp.write("LED-copy", bytes);
  const nlohmann::json run = moved_copy::run_json({alos2_leader, copy});
  const nlohmann::json& reference = run.at("reference");
  EXPECT_NEAR(reference.at("latitude_deg").get<double>(), -11.0510316, 1e-9);
  EXPECT_NEAR(reference.at("longitude_deg").get<double>(), -62.5322403, 1e-9);
  const nlohmann::json& secondary = run.at("secondaries").at(0);
  ASSERT_TRUE(secondary.at("error").is_null()) << secondary.at("error");
  EXPECT_EQ(secondary.at("days").get<int>(), 14);
  const double t0 = seconds_between(*parse_utc("2014-09-09T04:20:00"),
                                    *parse_utc(reference.at("reference_time").get<std::string>()));
  const moved_copy::Baseline b = moved_copy::expected(orbit, t0, moved_copy::json_target(reference), offset);
  EXPECT_NEAR(secondary.at("parallel_m").get<double>(), b.parallel, 1e-3);
  EXPECT_NEAR(secondary.at("perpendicular_m").get<double>(), b.perpendicular, 1e-3);
}

// ---- leaders written here ----

std::string big_endian(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// A record of length bytes: its header (sequence number, the four codes,
// the length), blanks, and each text at its offset (as much as fits).
std::string record(std::uint32_t number, std::array<unsigned char, 4> codes, std::size_t length,
                   const std::vector<std::pair<std::size_t, std::string>>& fields) {
  std::string r(length, ' ');
  r.replace(0, 4, big_endian(number));
  for (std::size_t i = 0; i < 4; ++i) r[4 + i] = static_cast<char>(codes[i]);
  r.replace(8, 4, big_endian(static_cast<std::uint32_t>(length)));
  for (const auto& [at, text] : fields)
    if (at < length) r.replace(at, std::min(text.size(), length - at), text.substr(0, length - at));
  return r;
}

// What a written leader holds, each field as the file writes it.
struct Leader {
  std::array<unsigned char, 4> summary_codes{18, 10, 18, 20}, platform_codes{18, 30, 18, 20};
  std::string points = "   5", date = "2014   9   9 252", first = " 1.560000000000000E+04",
              interval = " 6.000000000000000E+01", frame = "ECR", clock = "  90.000", wavelength = "       0.2424525",
              pass = "ASCEND", level = "1.1", time = "20140909043347052";
  std::size_t summary_length = 4096;

  std::string bytes() const {
    std::vector<std::pair<std::size_t, std::string>> platform = {
        {140, points}, {144, date}, {160, first}, {182, interval}, {204, frame}};
    const long n = std::strtol(points.c_str(), nullptr, 10);
    for (long k = 0; k < n; ++k)
      for (long i = 0; i < 6; ++i) {
        char field[32];
        std::snprintf(field, sizeof field, "%22.15E", i < 3 ? 7.0e6 + 1000.0 * static_cast<double>(k) + static_cast<double>(i) : 7.5e3 + static_cast<double>(i));
        platform.emplace_back(386 + (6 * k + i) * 22, field);
      }
    return record(1, {11, 192, 18, 18}, 720, {{16, "CEOS-SAR"}}) +
           record(2, summary_codes, summary_length,
                  {{68, time}, {116, "     -11.0510316"}, {132, "     -62.5322403"}, {412, "ERS1"}, {476, clock},
                   {500, wavelength}, {1094, level}, {1110, "SLANT RANGE SINGLE LOOK"}, {1534, pass}}) +
           record(3, platform_codes, 386 + 132 * static_cast<std::size_t>(std::max(n, 0L)) + 10, platform);
  }
};

std::optional<ProductInfo> parsed(const Leader& l, std::string* problem = nullptr) {
  return parse_ceos_leader(l.bytes(), "LED-test", problem);
}

TEST(CeosLeader, PaddingsFramesAndTypeCodesOfOtherLeadersAreRead) {
  Leader ers;  // an ERS leader: other sub-type codes, zero padding, a D exponent
  ers.summary_codes = {10, 10, 31, 20};
  ers.platform_codes = {10, 30, 31, 20};
  ers.points = "0005";
  ers.date = "2014000900090252";
  ers.first = " 0.156000000000000D+05";
  ers.frame = "Earth Centred Rotating";
  ers.clock = " -90.000";
  ers.pass = "INCREASE";
  ers.level = "";
  std::string problem;
  const std::optional<ProductInfo> p = parsed(ers, &problem);
  ASSERT_TRUE(p) << problem;
  EXPECT_EQ(utc_text(p->orbit.epoch), "2014-09-09T04:20:00.000000000Z");
  EXPECT_EQ(p->orbit.rows.size(), 5u);
  EXPECT_EQ(p->orbit.rows[4].t, 240.0);
  EXPECT_EQ(p->orbit.rows[3].state.position[2], 7003.002);
  EXPECT_EQ(p->orbit.rows[3].state.velocity[2], 7.505);
  EXPECT_EQ(p->look, LookSide::left);
  EXPECT_EQ(p->pass, "");  // INCREASE: no pass stated
  EXPECT_EQ(p->mission, "ERS1");
  EXPECT_EQ(p->product_type, "SLANT RANGE SINGLE LOOK");
  for (const char* frame : {"EARTH CENTERED ROTATING", "ecr", "earth centred rotating"}) {
    Leader l;
    l.frame = frame;
    EXPECT_TRUE(parsed(l)) << frame;
  }
  Leader descending;
  descending.pass = "DESCEND";
  EXPECT_EQ(parsed(descending)->pass, "DESCENDING");
}

TEST(CeosLeader, DamagedLeadersAreRefusedNamingRecordAndField) {
  const std::string good = Leader{}.bytes();
  const auto refusal = [](const std::string& bytes) {
    std::string problem;
    EXPECT_FALSE(parse_ceos_leader(bytes, "LED-test", &problem));
    EXPECT_EQ(problem.rfind("LED-test: ", 0), 0u) << problem;
    return problem;
  };
  // The record walk: cut short, a length past the end, a length below the header's.
  EXPECT_NE(refusal(good.substr(0, good.size() - 1)).find("record 3 at byte 4816 gives a length of"),
            std::string::npos);
  EXPECT_NE(refusal(good + "12345").find("record 4 at byte"), std::string::npos);
  std::string tiny = good;
  tiny.replace(720 + 8, 4, big_endian(8));
  EXPECT_NE(refusal(tiny).find("less than its header's 12"), std::string::npos);
  EXPECT_NE(refusal(good.substr(0, 720)).find("no data set summary record (type code 10)"), std::string::npos);

  const struct {
    void (*change)(Leader&);
    const char* named;
  } cases[] = {
      {[](Leader& l) { l.points = "   0"; }, "number of points (bytes 140-143) is 0"},
      {[](Leader& l) { l.points = "    "; }, "number of points (bytes 140-143) is ''"},
      {[](Leader& l) { l.frame = "INERTIAL"; }, "reference frame (bytes 204-267) is 'INERTIAL', not an earth-fixed"},
      {[](Leader& l) { l.date = "2014   9  31 252"; }, "are 2014, 9, 31, not a date"},
      {[](Leader& l) { l.date = "2014   9   9 253"; }, "day of year (bytes 156-159) is 253, but 2014-09-09 is day 252"},
      {[](Leader& l) { l.interval = " 0.000000000000000E+00"; }, "interval (bytes 182-203) is 0 s; it must be at least 1 ms"},
      {[](Leader& l) { l.first = " 9.000000000000000E+04"; }, "seconds of day of the first point (bytes 160-181) is 90000"},
      {[](Leader& l) { l.clock = "        "; }, "sensor clock angle (bytes 476-483) is blank"},
      {[](Leader& l) { l.clock = "  45.000"; }, "sensor clock angle (bytes 476-483) is 45 deg"},
      {[](Leader& l) { l.wavelength = "      23.0000000"; }, "radar wavelength (bytes 500-515) is 23 m"},
      {[](Leader& l) { l.time = "2014090904334705X"; }, "scene centre time (bytes 68-84) is '2014090904334705X'"},
      {[](Leader& l) { l.summary_length = 1100; }, "processing level (bytes 1094-1109) lies past the record's end (1100 bytes)"},
  };
  for (const auto& c : cases) {
    Leader l;
    c.change(l);
    const std::string problem = refusal(l.bytes());
    EXPECT_NE(problem.find(c.named), std::string::npos) << problem;
  }
  // The points the record says it holds must be in it.
  std::string short_platform = good;
  short_platform.replace(720 + 4096 + 140, 4, "   6");
  EXPECT_NE(refusal(short_platform).find("its 6 points need"), std::string::npos);
}

TEST(CeosLeader, ContentAndProductFolderTellIt) {
  const std::string good = Leader{}.bytes();
  EXPECT_TRUE(looks_like_ceos(good.substr(0, 64)));
  std::string other = good;
  other[5] = 10;  // no file descriptor first
  EXPECT_FALSE(looks_like_ceos(other));
  EXPECT_FALSE(looks_like_ceos("\x89HDF\r\n\x1a\n and more bytes of no leader"));

  const stack_test::TempDir tmp;
  std::filesystem::create_directory(tmp.path() / "product");
  std::filesystem::copy_file(alos2_leader, tmp.path() / "product" / "LED-ALOS2015976960-140909-FBDR1.5GUA");
  tmp.write("product/VOL-ALOS2015976960-140909-FBDR1.5GUA", good.substr(0, 720));
  Refusal problem;
  EXPECT_EQ(ceos_folder_leader(tmp.file("product"), &problem),
            tmp.file("product") + "/LED-ALOS2015976960-140909-FBDR1.5GUA");
  // The folder reads as its leader does; a second leader makes it ambiguous.
  const stack_test::RunResult folder = stack_test::run_stack({tmp.file("product")});
  EXPECT_EQ(folder.status, 0) << folder.err;
  EXPECT_NE(folder.out.find("CEOS leader, ALOS2 level 1.5"), std::string::npos) << folder.out;
  tmp.write("product/LED-other", good);
  EXPECT_EQ(ceos_folder_leader(tmp.file("product"), &problem), "");
  EXPECT_NE(problem.text.find("holds 2 leader files (LED-*: LED-ALOS2015976960-140909-FBDR1.5GUA, LED-other)"),
            std::string::npos)
      << problem.text;
  // A volume file given alone is a CEOS file, but no leader.
  const stack_test::RunResult volume = stack_test::run_stack({tmp.write("VOL-x", good.substr(0, 720))});
  EXPECT_EQ(volume.status, 1);
  EXPECT_NE(volume.err.find("is it the leader file (LED-*)?"), std::string::npos) << volume.err;
}

}  // namespace
}  // namespace bperp::stack

namespace bperp::stack {
namespace {

// The product zip as delivered, read in place: its leader found by its
// name (LED-*) among the members, read as the leader alone is.
TEST(CeosLeader, ProductZipReadsAsItsLeader) {
  const stack_test::RunResult r =
      stack_test::run_stack({"--format", "json", alos2_dir + "0000022708_001001_ALOS2015976960-140909.zip"});
  ASSERT_EQ(r.status, 0) << r.err;
  const nlohmann::json from_zip = nlohmann::json::parse(r.out).at("reference");
  const nlohmann::json alone = moved_copy::run_json({alos2_leader}).at("reference");
  EXPECT_EQ(from_zip.at("kind"), "ceos");
  for (const char* key : {"reference_time", "latitude_deg", "longitude_deg", "reference_slant_range_m"})
    EXPECT_EQ(from_zip.at(key), alone.at(key)) << key;
}

}  // namespace
}  // namespace bperp::stack
