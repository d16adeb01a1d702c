// The modelled coherence of pairs, the sensor presets, and the exports for
// time-series tools read back against the JSON.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "bperp/stack/run/stack_run.h"
#include "bperp/stack/network/coherence.h"
#include "bperp/stack/network/sensors.h"
#include "stack_test_support.h"

namespace bperp::stack {
namespace {

using stack_test::lines_of;
using stack_test::read_csv;
using stack_test::RunResult;
using stack_test::run_stack;
using stack_test::TempDir;

// Worked by hand for Sentinel-1 IW2 (the s1-iw2 preset) at 880 km and 39
// degrees: lambda = c / 5.405 GHz = 0.0554658 m, B_c = lambda 48.3 MHz
// 880 km tan 39 deg / c = 0.0554658 * 48.3e6 * 880e3 * 0.809784 / 2.99792e8
// = 6368.0 m; gamma_0 = 1 / (1 + 10^-2.2) = 0.993730. A pair 1000 m and 24
// days apart: (1 - 1000 / 6368.0) * ((0.99373 - 0.2) e^(-24/200) + 0.2) =
// 0.842965 * 0.903975 = 0.76202; with 31.3 Hz of Doppler difference in
// 313 Hz of azimuth bandwidth, times 0.9: 0.68582.
TEST(CoherenceModel, CriticalBaselineAndCoherenceByHand) {
  const SensorPreset s1 = *sensor_preset("s1-iw2");
  CoherenceModel m;
  m.wavelength_m = 299792458.0 / s1.frequency_hz;
  m.slant_range_m = 880e3;
  m.incidence_rad = 39.0 * M_PI / 180.0;
  m.range_bandwidth_hz = s1.range_bandwidth_hz;
  m.azimuth_bandwidth_hz = s1.azimuth_bandwidth_hz;
  EXPECT_NEAR(m.critical_baseline(), 6368.0, 0.1);  // m
  EXPECT_NEAR(m.gamma0(), 0.993730, 1e-6);
  EXPECT_NEAR(m.coherence(1000.0, 24.0, 0.0), 0.76202, 1e-5);
  EXPECT_NEAR(m.coherence(-1000.0, -24.0, -31.3), 0.68582, 1e-5);  // signs do not matter
  EXPECT_NEAR(m.coherence(0.0, 0.0, 0.0), m.gamma0(), 1e-15);
  EXPECT_EQ(m.coherence(7000.0, 0.0, 0.0), 0.0);                   // beyond the critical baseline
  EXPECT_NEAR(m.coherence(0.0, 1e6, 0.0), 0.2, 1e-12);             // the long-term floor
  m.doppler_term_is_one = true;                                     // TOPS
  EXPECT_NEAR(m.coherence(1000.0, 24.0, 31.3), 0.76202, 1e-5);
  // lambda R sin(theta) / (2 B_perp) = 0.0554658 * 880e3 * 0.629320 / 200 = 153.59 m.
  EXPECT_NEAR(m.height_of_ambiguity(100.0), 153.59, 0.01);
  m.range_bandwidth_hz = NAN;
  EXPECT_TRUE(std::isnan(m.coherence(1000.0, 24.0, 0.0)));
}

// The published numbers are the formulas evaluated left to right, as they
// always were; the shared factors worked out once must not change a bit.
TEST(PairModel, SharedFactorsKeepEveryBit) {
  CoherenceModel m;
  m.wavelength_m = 0.0554658;
  m.slant_range_m = 880e3;
  m.incidence_rad = 0.68;
  m.range_bandwidth_hz = 48.3e6;
  const PairModel pm(m);
  EXPECT_EQ(pm.critical_baseline(), m.critical_baseline());
  for (const double b : {1.2817124016588768, -250.5, 3e-7, 12345.678}) {
    EXPECT_EQ(pm.height_of_ambiguity(b), m.wavelength_m * m.slant_range_m * std::sin(m.incidence_rad) / (2.0 * b));
    const double geometric = 1.0 - std::fabs(b) / m.critical_baseline();
    const double temporal = (m.gamma0() - 0.2) * std::exp(-36.0 / 200.0) + 0.2;
    EXPECT_EQ(pm.coherence(b, -36.0, NAN), std::max(0.0, geometric) * temporal);
  }
  EXPECT_TRUE(std::isnan(pm.height_of_ambiguity(0.0)));
}

// The presets as the common time-series tool gives them, and the S1 ones as
// the shared annotations give them (tests/data: 56.5, 48.3, 42.79 MHz;
// 327, 313, 314 Hz).
TEST(SensorPresets, ValuesAndNames) {
  struct Case {
    const char* name;
    double f, br, baz;
  };
  for (const Case& c : {Case{"s1-iw1", 5.405e9, 56.5e6, 327}, Case{"s1-iw3", 5.405e9, 42.79e6, 314},
                        Case{"ers", 5.3e9, 15.55e6, 1500}, Case{"envisat", 5.331e9, 16e6, 1500},
                        Case{"alos", 1.27e9, 28e6, 1700}, Case{"alos2-84", 1.2575e9, 84e6, 1515},
                        Case{"alos2-14", 1.2575e9, 14e6, 1515}, Case{"tsx", 9.65e9, 100e6, 2770}}) {
    const auto p = sensor_preset(c.name);
    ASSERT_TRUE(p) << c.name;
    EXPECT_DOUBLE_EQ(p->frequency_hz, c.f) << c.name;
    EXPECT_DOUBLE_EQ(p->range_bandwidth_hz, c.br) << c.name;
    EXPECT_DOUBLE_EQ(p->azimuth_bandwidth_hz, c.baz) << c.name;
  }
  EXPECT_TRUE(std::isnan(sensor_preset("nisar-77")->azimuth_bandwidth_hz));
  EXPECT_FALSE(sensor_preset("sentinel"));
  const RunResult r = run_stack({"--sensor", "sentinel", "x", "y"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("--sensor must be one of s1-iw1, s1-iw2"), std::string::npos) << r.err;
}

const std::string s1 = std::string(BPERP_SOURCE_DIR) + "/tests/data/s1-track108-annotation/";
const std::string s1_ref = s1 + "s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml";
const std::string s1_sec = s1 + "s1a-iw2-slc-vv-20250418t022010-20250418t022035-058805-074946-005.xml";
const std::string stack_dir = std::string(BPERP_SOURCE_DIR) + "/examples/stack/";

std::vector<std::string> example_stack() {
  std::vector<std::string> paths = {stack_dir + "reference.txt"};
  for (const auto& e : std::filesystem::directory_iterator(stack_dir))
    if (e.path().filename().string().starts_with("20")) paths.push_back(e.path().string());
  std::sort(paths.begin() + 1, paths.end());
  return paths;
}

// The product's bandwidths reach the pairs: B_c of the IW2 reference with its
// own 48.3 MHz; without a bandwidth (state vectors) --sensor gives it, and
// --min-coherence selects by the model.
TEST(CoherenceModel, BandwidthsFromTheProductOrTheOptions) {
  const RunResult product = run_stack({"--format", "json", "--pairs", s1_ref, s1_sec});
  const nlohmann::json doc = nlohmann::json::parse(product.out);
  const nlohmann::json& pair = doc.at("pairs").at(0);
  const nlohmann::json& ref = doc.at("reference");
  const double lambda = ref.at("wavelength_m"), range = ref.at("reference_slant_range_m");
  const double incidence = ref.at("incidence_deg").get<double>() * M_PI / 180.0;
  EXPECT_NEAR(pair.at("critical_baseline_m").get<double>(),
              lambda * 48.3e6 * range * std::tan(incidence) / 299792458.0, 1e-6);
  EXPECT_GT(pair.at("coherence_model").get<double>(), 0.8);  // 121 m, 12 days, TOPS

  std::vector<std::string> args = {"--format", "json", "--pairs"};
  for (const std::string& p : example_stack()) args.push_back(p);
  const nlohmann::json none = nlohmann::json::parse(run_stack(args).out);
  EXPECT_TRUE(none.at("pairs").at(0).at("coherence_model").is_null());  // no bandwidth
  args.insert(args.begin() + 2, {"--sensor", "alos"});
  const nlohmann::json alos = nlohmann::json::parse(run_stack(args).out);
  const std::size_t all = alos.at("pairs").size();
  EXPECT_TRUE(alos.at("pairs").at(0).at("coherence_model").is_number());
  args.insert(args.begin() + 2, {"--min-coherence", "0.5"});
  const nlohmann::json selected = nlohmann::json::parse(run_stack(args).out);
  EXPECT_LT(selected.at("pairs").size(), all);
  for (const nlohmann::json& p : selected.at("pairs")) EXPECT_GE(p.at("coherence_model").get<double>(), 0.5);
  const RunResult needs = run_stack({"--pairs", "--min-coherence", "0.5", stack_dir + "reference.txt",
                                     stack_dir + "20080730.txt"});
  EXPECT_EQ(needs.status, 1);
  EXPECT_NE(needs.err.find("needs the range bandwidth"), std::string::npos) << needs.err;
}

// The Doppler centroids of state vectors, which the coherence model's
// Doppler term takes, at the run's wavelength. By hand f = -2 (d rho/dt) /
// lambda with d rho/dt = (S - T) . v / |S - T|, v the earth-fixed velocity
// (the scene point turns with the earth, so v alone counts). The default
// wavelength is the settings' c / f0 = 300000 km/s / 1.27 GHz = 0.2362205 m,
// where the reference's centroid is the table's 1973.133 Hz; at 0.031 m it is
// 1973.133 * 0.2362205 / 0.031 = 15035.31 Hz.
TEST(StateVectorDoppler, AtTheRunsWavelength) {
  const auto by_hand = [](const StateVector& s, const double* T, double lambda_km) {
    double d[3], rho = 0.0, rate = 0.0;
    for (int i = 0; i < 3; ++i) {
      d[i] = s.position[i] - T[i];
      rho += d[i] * d[i];
    }
    rho = std::sqrt(rho);
    for (int i = 0; i < 3; ++i) rate += d[i] * s.velocity[i] / rho;
    return -2.0 * rate / lambda_km;  // Hz
  };
  struct Case {
    std::optional<double> wavelength, sensor_wavelength;  // km
    double lambda_km;
    double reference_hz;  // by hand, as above; NaN: not worked
  };
  const double settings = 300000.0 / 1.27e9;
  for (const Case& c : {Case{std::nullopt, std::nullopt, settings, 1973.133},
                        Case{0.031e-3, std::nullopt, 0.031e-3, 15035.31},
                        Case{std::nullopt, 0.0554658e-3, 0.0554658e-3, NAN}}) {
    StackOptions options;
    options.target.wavelength = c.wavelength;
    options.target.sensor_wavelength = c.sensor_wavelength;
    const StackRun run =
        bperp::stack::run_stack(stack_dir + "reference.txt", {stack_dir + "20080730.txt"}, options);
    ASSERT_TRUE(run.all_ok()) << (run.refusal ? run.refusal->text : "");
    const ReferenceGeometry& g = std::get<ReferenceGeometry>(run.view);
    const double* T = g.scene_point;
    EXPECT_NEAR(g.doppler_centroid, by_hand(g.state, T, c.lambda_km), 1e-6) << c.lambda_km;
    EXPECT_NEAR(run.secondaries[0].doppler_centroid, by_hand(run.secondaries[0].state, T, c.lambda_km), 1e-6)
        << c.lambda_km;
    if (!std::isnan(c.reference_hz)) {
      EXPECT_NEAR(g.doppler_centroid, c.reference_hz, 0.01) << c.lambda_km;
    }
  }
}

std::string read(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The temporal term needs the days between the acquisitions, and a floor
// above gamma_0 would have the coherence grow with them: both refused.
TEST(CoherenceModel, RefusedWithoutDatesOrWithAFloorAboveGamma0) {
  // gamma_0 = 1 / (1 + 10^(-SNR / 10)): 0.993730 at 22 dB (as above), 1 / 11
  // = 0.090909 at -10 dB, under the default floor 0.2.
  struct Case {
    double floor, snr_db;
    bool refused;
  };
  for (const Case& c : {Case{0.99372, 22.0, false}, Case{0.99374, 22.0, true}, Case{0.2, -10.0, true},
                        Case{0.09, -10.0, false}, Case{0.0, 22.0, false}}) {
    CoherenceParameters p;
    p.gamma_inf = c.floor;
    p.snr_db = c.snr_db;
    EXPECT_EQ(!coherence_parameters_problem(p).empty(), c.refused) << c.floor << " at " << c.snr_db << " dB";
  }
  const RunResult floor = run_stack({"--pairs", "--coherence-floor", "0.995", stack_dir + "reference.txt",
                                     stack_dir + "20080730.txt"});
  EXPECT_EQ(floor.status, 1);
  EXPECT_EQ(floor.out, "");
  EXPECT_NE(floor.err.find("0.993730"), std::string::npos) << floor.err;

  // The example's two files without the date on their header lines.
  TempDir dir;
  std::vector<std::string> args = {"--pairs", "--sensor", "alos", "--min-coherence", "0.3"};
  for (const char* name : {"reference.txt", "20080730.txt"}) {
    const std::string text = read(stack_dir + name);
    args.push_back(dir.write(name, "no date" + text.substr(text.find('\n'))));
  }
  const RunResult undated = run_stack(args);
  EXPECT_EQ(undated.status, 1);
  EXPECT_EQ(undated.out, "");
  EXPECT_NE(undated.err.find("--min-coherence needs the date"), std::string::npos) << undated.err;
}

// Each export parsed back and compared with the JSON of the same run.
TEST(Exports, ReadBackAgainstTheJson) {
  TempDir dir;
  std::vector<std::string> args = {"--format", "json", "--pairs", "--max-days", "100",
                                   "--export", "pairs:" + dir.file("pairs.csv"),
                                   "--export", "dates:" + dir.file("dates.txt"),
                                   "--export", "baselines:" + dir.file("baselines.txt"),
                                   "--export", "stack-folder:" + dir.file("stack")};
  for (const std::string& p : example_stack()) args.push_back(p);
  const RunResult r = run_stack(args);
  ASSERT_EQ(r.status, 0) << r.err;
  const nlohmann::json doc = nlohmann::json::parse(r.out);
  const nlohmann::json& pairs = doc.at("pairs");

  const auto csv = read_csv(read(dir.file("pairs.csv")));
  ASSERT_EQ(csv.size(), pairs.size() + 1);
  EXPECT_EQ(csv[0].back(), "coherence_model");
  const std::vector<std::string> dates = lines_of(read(dir.file("dates.txt")));
  ASSERT_EQ(dates.size(), pairs.size());
  const auto compact = [](std::string d) {
    d.erase(std::remove(d.begin(), d.end(), '-'), d.end());
    return d;
  };
  for (std::size_t k = 0; k < pairs.size(); ++k) {
    EXPECT_EQ(csv[k + 1][0], pairs[k].at("first"));
    EXPECT_EQ(std::stod(csv[k + 1][5]), pairs[k].at("perpendicular_m").get<double>());
    EXPECT_EQ(dates[k], compact(pairs[k].at("first_date")) + "_" + compact(pairs[k].at("second_date")));
  }

  // One line per acquisition, the reference included, by date; a newline
  // after the last, no empty line; the perpendicular baseline in the GAMMA
  // tables' sign, minus ours.
  const std::string text = read(dir.file("baselines.txt"));
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  EXPECT_NE(text.substr(text.size() - 2), "\n\n");
  const std::vector<std::string> lines = lines_of(text);
  ASSERT_EQ(lines.size(), doc.at("secondaries").size() + 1);
  std::map<std::string, double> perpendicular_of;
  for (const nlohmann::json& s : doc.at("secondaries"))
    perpendicular_of[compact(s.at("date"))] = s.at("perpendicular_m");
  perpendicular_of["20080614"] = 0.0;
  for (const std::string& line : lines) {
    const std::vector<std::string> w = stack_test::words_of(line);
    ASSERT_EQ(w.size(), 4u) << line;
    EXPECT_EQ(w[0], "20080614");
    char expected[32];
    std::snprintf(expected, sizeof expected, "%.2f", 0.0 - perpendicular_of.at(w[1]));
    EXPECT_EQ(w[2], expected) << line;
  }
  EXPECT_EQ(stack_test::words_of(lines.front())[3], "-368");  // 2007-06-12, before the reference

  // The stack folder: ISCE's signs, of a right-looking reference here: Bperp
  // ours, Bpar minus ours.
  for (const nlohmann::json& s : doc.at("secondaries")) {
    const std::string pair = "20080614_" + compact(s.at("date"));
    const std::vector<std::string> file = lines_of(read(dir.file("stack/" + pair + "/" + pair + ".txt")));
    ASSERT_EQ(file.size(), 2u) << pair;
    EXPECT_NEAR(std::stod(file[0].substr(file[0].find(':') + 1)), s.at("perpendicular_m").get<double>(), 1e-6);
    EXPECT_NEAR(std::stod(file[1].substr(file[1].find(':') + 1)), -s.at("parallel_m").get<double>(), 1e-6);
    EXPECT_EQ(file[0].rfind("Bperp (average): ", 0), 0u);
    EXPECT_EQ(file[1].rfind("Bpar (average): ", 0), 0u);
  }
}

TEST(Exports, CheckedBeforeAnythingIsPrinted) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("a-folder"));
  const std::string file = dir.write("a-file", "x");
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--export", "pairs:" + dir.file("a-folder")},
        std::vector<std::string>{"--export", "stack-folder:" + file},
        std::vector<std::string>{"--export", "graphs:" + dir.file("g")},
        std::vector<std::string>{"--export", "dates:"},
        std::vector<std::string>{"--export", "baselines:" + dir.file("no/such/b.txt")}}) {
    std::vector<std::string> args = {"--pairs"};
    args.insert(args.end(), bad.begin(), bad.end());
    args.push_back(stack_dir + "reference.txt");
    args.push_back(stack_dir + "20080730.txt");
    const RunResult r = run_stack(args);
    EXPECT_EQ(r.status, 1) << bad[1];
    EXPECT_EQ(r.out, "") << bad[1];
  }
}

// Refusals that need the run or more than one output: still before
// anything is printed, and nothing written.
TEST(Exports, RefusedRunsPrintAndLeaveNothing) {
  TempDir dir;
  // A second secondary of 2008-07-30 (no time to tell them one pass): both
  // would be 20080614_20080730.
  const std::string twin = dir.write("twin.txt", read(stack_dir + "20080730.txt"));
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const std::string reference = stack_dir + "reference.txt", secondary = stack_dir + "20080730.txt";
  const std::vector<Case> cases = {
      {{"--export", "stack-folder:" + dir.file("sf"), reference, secondary, twin}, "are different passes of one date (2008-07-30)"},
      {{"--pairs", "--plot", dir.file("out.svg"), "--export", "pairs:" + dir.file("./out.svg"), reference,
        secondary},
       "are one path"},
      {{"--pairs", "--export", "dates:" + dir.file("out.txt"), "--export",
        "baselines:" + dir.file("sf/../out.txt"), reference, secondary},
       "are one path"},
  };
  std::filesystem::create_directory(dir.file("sf"));  // the second path through it
  for (const Case& c : cases) {
    const RunResult r = run_stack(c.args);
    EXPECT_EQ(r.status, 1) << c.says;
    EXPECT_EQ(r.out, "") << c.says;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
      left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"sf", "twin.txt"})) << c.says;
  }
}

}  // namespace
}  // namespace bperp::stack
