// bperp-stack on real Sentinel-1 products (the track-108 annotations, see
// tests/data/README.md): the baseline at a named time and range against the
// values an independent processor published, the same target named other
// ways, other inputs mixed in, and the refusals that keep the rest going.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <vector>

#include "bperp/stack/inputs/s1_annotation.h"
#include "bperp/stack/support/utc_time.h"
#include "stack_test_support.h"

namespace {

using bperp::stack::ProductInfo;
using stack_test::RunResult;
using stack_test::run_stack;
using stack_test::TempDir;

const std::string data = std::string(BPERP_SOURCE_DIR) + "/tests/data/s1-track108-annotation/";
const std::string reference = data + "s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml";
const std::string secondary = data + "s1a-iw2-slc-vv-20250418t022010-20250418t022035-058805-074946-005.xml";

ProductInfo product(const std::string& path) {
  bperp::stack::Refusal problem;
  const auto p = bperp::stack::read_s1_annotation(path, &problem);
  if (!p) throw std::runtime_error(problem.text);
  return *p;
}

nlohmann::json json_of(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"--format", "json"};
  all.insert(all.end(), args.begin(), args.end());
  const RunResult r = run_stack(all);
  if (r.status > 1) throw std::runtime_error(r.err);
  return nlohmann::json::parse(r.out);
}

// The mid time of a burst and the mid range of the swath, as the published
// table defines them (tests/data/README.md).
struct Point {
  std::string time;   // UTC
  std::string range;  // m
};
Point burst_middle(const ProductInfo& p, std::size_t burst) {
  constexpr double c = 299792458.0;
  const double t = 0.5 * static_cast<double>(*p.lines_per_burst - 1) * *p.image.line_interval_s;
  const double range = *p.image.near_range_m +
                       0.5 * static_cast<double>(*p.samples_per_burst - 1) * c / (2.0 * *p.range_sampling_rate_hz);
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", range);
  return {bperp::stack::utc_text(bperp::stack::add_seconds(p.burst_times.at(burst), t)), text};
}

// A stack folder's REF_SEC/REF_SEC.txt read as MintPy reads topsStack's:
// "key: value" lines, the values of "Bperp (average)" and "Bpar (average)".
std::map<std::string, double> isce_baseline_file(const std::string& path) {
  std::map<std::string, double> values;
  for (const std::string& line : stack_test::lines_of(stack_test::read_file(path))) {
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos) values[line.substr(0, colon)] = std::stod(line.substr(colon + 1));
  }
  return values;
}

// Published by ISCE2 for this pair (tests/data/README.md), in its own
// convention: --convention isce and the stack folder (ISCE's layout, in
// ISCE's convention whatever --convention says) give them, the signs
// exactly; our own are Bpar = -(our parallel), Bperp = our perpendicular
// (the reference looks right). The annotation's orbits are not the precise
// ones that processor used: within 2 cm.
TEST(Track108Command, BaselinesAtBurstMiddlesMatchThePublishedOnes) {
  TempDir dir;
  const ProductInfo p = product(reference);
  struct Case {
    std::size_t burst;
    double bpar, bperp;  // m
  };
  for (const Case& c : {Case{0, 94.56284022076824, -121.75556328218755},
                        Case{8, 94.37923056626455, -121.17848139467209}}) {
    const Point at = burst_middle(p, c.burst);
    const nlohmann::json doc = json_of({"--at-time", at.time, "--at-range", at.range, reference, secondary});
    const nlohmann::json& s = doc.at("secondaries").at(0);
    ASSERT_TRUE(s.at("error").is_null()) << s.at("error");
    EXPECT_NEAR(-s.at("parallel_m").get<double>(), c.bpar, 0.02) << "burst " << c.burst;
    EXPECT_NEAR(s.at("perpendicular_m").get<double>(), c.bperp, 0.02) << "burst " << c.burst;
    const std::string folder = dir.file("baselines-" + std::to_string(c.burst));
    const nlohmann::json isce = json_of({"--convention", "isce", "--export", "stack-folder:" + folder, "--at-time",
                                         at.time, "--at-range", at.range, reference, secondary});
    EXPECT_EQ(isce.at("convention"), "isce");
    const std::map<std::string, double> file =
        isce_baseline_file(folder + "/20250406_20250418/20250406_20250418.txt");
    for (const auto& [bpar, bperp] : {std::pair{isce.at("secondaries")[0].at("parallel_m").get<double>(),
                                                isce.at("secondaries")[0].at("perpendicular_m").get<double>()},
                                      std::pair{file.at("Bpar (average)"), file.at("Bperp (average)")}}) {
      EXPECT_NEAR(bpar, c.bpar, 0.02) << "burst " << c.burst;
      EXPECT_NEAR(bperp, c.bperp, 0.02) << "burst " << c.burst;
      EXPECT_GT(bpar, 0.0);
      EXPECT_LT(bperp, 0.0);
    }
    // The reference sees the target at the time and range asked for.
    EXPECT_EQ(doc.at("reference").at("reference_time"), at.time);
    EXPECT_NEAR(doc.at("reference").at("reference_slant_range_m").get<double>(), std::stod(at.range), 1e-6);
    // Twelve days apart, the secondary at its own zero Doppler (UTC, 9 decimals).
    EXPECT_EQ(s.at("days"), 12);
    EXPECT_NEAR(s.at("days_exact").get<double>(), 12.0, 1e-5);
    EXPECT_EQ(s.at("secondary_time").get<std::string>().substr(0, 11), "2025-04-18T");
    EXPECT_LT(std::fabs(s.at("along_track_m").get<double>()), 1e-6);  // m: removed
  }
}

// --burst puts the target at that burst's sensing middle at mid range:
// the published table's points (tests/data/README.md) for the first and the
// last burst of IW2, named by their burst IDs, each pass's row naming it.
TEST(Track108Command, BurstIdsNameThePublishedPoints) {
  const ProductInfo p = product(reference);
  ASSERT_EQ(p.burst_ids.size(), 9u);
  EXPECT_EQ(p.burst_ids.front(), "t108_230132_iw2");  // track 108 and the annotation's burstId values
  EXPECT_EQ(p.burst_ids.back(), "t108_230140_iw2");
  for (const auto& [burst, bpar, bperp] : {std::tuple{std::size_t{0}, 94.56284022076824, -121.75556328218755},
                                           std::tuple{std::size_t{8}, 94.37923056626455, -121.17848139467209}}) {
    const std::string id = p.burst_ids[burst];
    const nlohmann::json doc = json_of({"--burst", id, reference, secondary});
    const nlohmann::json& s = doc.at("secondaries").at(0);
    EXPECT_EQ(doc.at("reference").at("reference_time"), burst_middle(p, burst).time) << id;
    EXPECT_NEAR(doc.at("reference").at("reference_slant_range_m").get<double>(),
                0.5 * (*p.image.near_range_m + *p.image.far_range_m), 1e-6);
    EXPECT_NEAR(-s.at("parallel_m").get<double>(), bpar, 0.02) << id;
    EXPECT_NEAR(s.at("perpendicular_m").get<double>(), bperp, 0.02) << id;
    EXPECT_EQ(doc.at("reference").at("burst_id"), id);
    EXPECT_EQ(s.at("burst_id"), id);  // the same burst of the secondary pass
  }
  const RunResult other = run_stack({"--burst", "t108_230132_iw1", reference, secondary});
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.err.find("it holds the bursts t108_230132_iw2 to t108_230140_iw2"), std::string::npos) << other.err;
}

// The same target named other ways gives the same baseline: as a point
// (the target's own coordinates), and with the orbits given as dated orbit
// files written from the annotations' own vectors (t in seconds of the day).
TEST(Track108Command, OneTargetNamedThreeWays) {
  TempDir dir;
  const nlohmann::json by_product = json_of({reference, secondary});
  const nlohmann::json& ref = by_product.at("reference");
  const double perpendicular = by_product.at("secondaries")[0].at("perpendicular_m");
  const double parallel = by_product.at("secondaries")[0].at("parallel_m");

  char point[128];
  std::snprintf(point, sizeof point, "%.15g,%.15g,%.9g", ref.at("latitude_deg").get<double>(),
                ref.at("longitude_deg").get<double>(), ref.at("height_m").get<double>());
  const nlohmann::json by_point = json_of({"--at-point", point, reference, secondary});
  EXPECT_NEAR(by_point.at("secondaries")[0].at("perpendicular_m").get<double>(), perpendicular, 1e-3);
  EXPECT_NEAR(by_point.at("secondaries")[0].at("parallel_m").get<double>(), parallel, 1e-3);

  const auto orbit_file = [&](const std::string& annotation, const std::string& name) {
    const ProductInfo p = product(annotation);
    const double day_start = bperp::stack::seconds_of_day(p.orbit.epoch);
    std::string text = bperp::stack::utc_text(p.orbit.epoch).substr(0, 10) + " orbit list of " + name + "\n";
    for (const auto& row : p.orbit.rows) {
      char line[256];
      std::snprintf(line, sizeof line, "%.6f %.10f %.10f %.10f %.13f %.13f %.13f\n", day_start + row.t,
                    row.state.position[0], row.state.position[1], row.state.position[2],
                    row.state.velocity[0], row.state.velocity[1], row.state.velocity[2]);
      text += line;
    }
    return dir.write(name, text);
  };
  const std::string reference_orbit = orbit_file(reference, "reference.orbit");
  const std::string secondary_orbit = orbit_file(secondary, "secondary.orbit");
  // An orbit reference has no range or wavelength: they must be given.
  const RunResult no_range = run_stack({reference_orbit, secondary_orbit});
  EXPECT_EQ(no_range.status, 1);
  EXPECT_NE(no_range.err.find("give --at-range (m) or --at-point, and --wavelength (m) or --sensor"),
            std::string::npos)
      << no_range.err;
  const nlohmann::json by_orbits =
      json_of({"--sensor", "s1-iw2", "--at-time", ref.at("reference_time"), "--at-range",
               std::to_string(ref.at("reference_slant_range_m").get<double>()), reference_orbit, secondary_orbit});
  EXPECT_NEAR(by_orbits.at("secondaries")[0].at("perpendicular_m").get<double>(), perpendicular, 1e-3);
  EXPECT_NEAR(by_orbits.at("secondaries")[0].at("parallel_m").get<double>(), parallel, 1e-3);
  EXPECT_EQ(by_orbits.at("secondaries")[0].at("kind"), "orbit");
  // The product reference with the secondary's orbit file: the same too.
  const nlohmann::json mixed = json_of({reference, secondary_orbit});
  EXPECT_NEAR(mixed.at("secondaries")[0].at("perpendicular_m").get<double>(), perpendicular, 1e-3);
}

// A .SAFE folder gives the annotation of the swath asked for (the middle
// one by default); C band gives the height of ambiguity of C band.
TEST(Track108Command, SafeFoldersAndTheWavelength) {
  TempDir dir;
  for (const char* date : {"20250406", "20250418"}) {
    const std::string safe = dir.file(std::string("S1A_IW_SLC__1SDV_") + date + ".SAFE");
    std::filesystem::create_directories(safe + "/annotation/calibration");
    for (const auto& entry : std::filesystem::directory_iterator(data))
      if (entry.path().filename().string().find(std::string("-") + date + "t") != std::string::npos)
        std::filesystem::create_symlink(entry.path(), safe + "/annotation/" + entry.path().filename().string());
  }
  const std::string ref_safe = dir.file("S1A_IW_SLC__1SDV_20250406.SAFE");
  const std::string sec_safe = dir.file("S1A_IW_SLC__1SDV_20250418.SAFE");
  const nlohmann::json middle = json_of({ref_safe, sec_safe});
  const nlohmann::json iw2 = json_of({reference, secondary});
  EXPECT_EQ(middle.at("reference").at("swath"), "IW2");
  EXPECT_EQ(middle.at("secondaries")[0].at("perpendicular_m"), iw2.at("secondaries")[0].at("perpendicular_m"));
  const nlohmann::json iw3 = json_of({"--swath", "iw3", ref_safe, sec_safe});
  EXPECT_EQ(iw3.at("reference").at("swath"), "IW3");
  // A burst ID chooses its swath of the folder.
  const nlohmann::json by_burst = json_of({"--burst", "t108_230135_iw3", ref_safe, sec_safe});
  EXPECT_EQ(by_burst.at("reference").at("swath"), "IW3");
  EXPECT_EQ(by_burst.at("reference").at("burst_id"), "t108_230135_iw3");
  // So it does where the reference is chosen among the inputs.
  const nlohmann::json chosen = json_of({"--reference", "2025-04-06", "--burst", "t108_230135_iw3", sec_safe, ref_safe});
  EXPECT_EQ(chosen.at("reference").at("swath"), "IW3");
  EXPECT_EQ(chosen.at("secondaries"), by_burst.at("secondaries"));
  // C band: lambda = c / radarFrequency (5.405 GHz) = 5.55 cm, a quarter
  // of the L band's; the height of ambiguity scales with it.
  const double lambda = 299792458.0 / *product(reference).radar_frequency_hz;
  EXPECT_NEAR(lambda, 0.0554658, 1e-7);
  EXPECT_NEAR(iw2.at("reference").at("wavelength_m").get<double>(), lambda, 1e-15);
  const double h = iw2.at("secondaries")[0].at("height_of_ambiguity_m");
  const nlohmann::json l_band = json_of({"--wavelength", "0.2362", reference, secondary});
  EXPECT_NEAR(l_band.at("secondaries")[0].at("height_of_ambiguity_m").get<double>() / h, 0.2362 / lambda, 1e-12);
}

// Broken or foreign products are refused each with its reason, the rest of
// the stack computed.
TEST(Track108Command, BadProductsAreRefusedAndTheRestComputed) {
  TempDir dir;
  const std::string text = stack_test::read_file(secondary);
  std::string other_track = text;
  const std::size_t at = other_track.find("<absoluteOrbitNumber>58805<");
  ASSERT_NE(at, std::string::npos);
  other_track.replace(at, 27, "<absoluteOrbitNumber>58806<");
  std::string no_orbit = text;
  no_orbit.replace(no_orbit.find("<orbitList"), 10, "<orbitLost");
  no_orbit.replace(no_orbit.find("</orbitList>"), 12, "</orbitLost>");
  struct Case {
    std::string path, words;
  };
  const std::vector<Case> cases = {
      {dir.write("truncated.xml", text.substr(0, text.size() / 2)), "can't read"},
      {dir.write("dtd.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE product [<!ENTITY x \"y\">]>\n<product><adsHeader/></product>\n"),
       "DOCTYPE"},
      {dir.write("other-track.xml", other_track), "relative orbit 109"},
      {dir.write("no-orbit.xml", no_orbit), "orbitList"},
      {data + "../s1-track108-orbit-layout/S1A_OPER_AUX_POEORB_OPOD_20250508T022143_V20250418T021903_20250418T022143.EOF",
       "give it with --orbit"},
      {dir.file("empty.SAFE"), "can't read the Sentinel-1 product " + dir.file("empty.SAFE") + ": " +
                                   dir.file("empty.SAFE") + "/annotation: cannot list it"},
  };
  std::filesystem::create_directory(dir.file("empty.SAFE"));
  std::vector<std::string> args = {"--format", "json", reference, secondary};
  for (const Case& c : cases) args.push_back(c.path);
  const RunResult r = run_stack(args);
  EXPECT_EQ(r.status, 1);
  const nlohmann::json doc = nlohmann::json::parse(r.out);
  const nlohmann::json& s = doc.at("secondaries");
  ASSERT_EQ(s.size(), cases.size() + 1);
  EXPECT_TRUE(s[0].at("error").is_null());
  for (std::size_t k = 0; k < cases.size(); ++k) {
    EXPECT_TRUE(s[k + 1].at("perpendicular_m").is_null());
    EXPECT_NE(s[k + 1].at("error").get<std::string>().find(cases[k].words), std::string::npos)
        << cases[k].words << " | " << s[k + 1].at("error");
  }
  // Runs that end at the reference or the target: status 1, nothing printed
  // but the reason.
  const std::vector<std::pair<std::vector<std::string>, std::string>> ends = {
      // a time outside the reference's orbit names both spans
      {{"--at-time", "2025-04-06T03:00:00", reference, secondary},
       "2025-04-06T03:00:00.000000000Z lies outside its orbit's vectors (2025-04-06T02:19:03"},
      {{"--at-time", "2025-04-06", reference, secondary},
       "--at-time: \"2025-04-06\" is not a UTC time (a date without a time of day;"},
      {{dir.file("empty.SAFE"), secondary},
       "bperp-stack: can't read the Sentinel-1 product " + dir.file("empty.SAFE") + ": "},
  };
  for (const auto& [run_args, words] : ends) {
    const RunResult end = run_stack(run_args);
    EXPECT_EQ(end.status, 1) << words;
    EXPECT_EQ(end.out, "") << words;
    EXPECT_NE(end.err.find(words), std::string::npos) << end.err;
  }
}

}  // namespace
