// Sign conventions and the exports that follow their readers': ISCE's
// formula worked here from the geometry's vectors against what the stack
// folder and --convention isce give, for a right- and a left-looking
// reference; the exports the same whatever --convention says; and a stack
// folder's manifest, which keeps two references' entries apart.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bperp/numeric/vec3.h"
#include "bperp/stack/geometry/zero_doppler.h"
#include "bperp/stack/inputs/acquisition.h"
#include "stack_test_support.h"

namespace {

using namespace bperp::stack;
using stack_test::read_file;
using stack_test::RunResult;
using stack_test::run_stack;
using stack_test::TempDir;

const std::string examples = std::string(BPERP_SOURCE_DIR) + "/examples/stack/";
const std::string orbit = examples + "20070728.orbit", other = examples + "20071213.orbit";
const std::string par = std::string(BPERP_SOURCE_DIR) + "/tests/data/gamma-slc-par/";
const std::vector<std::string> slc = {par + "r20180106_VV_slc.par", par + "r20180130_VV_slc.par",
                                      par + "r20180319_VV_slc.par"};

nlohmann::json json_of(std::vector<std::string> args) {
  args.insert(args.begin(), {"--format", "json"});
  const RunResult r = run_stack(args);
  EXPECT_EQ(r.status, 0) << r.err;
  return nlohmann::json::parse(r.out);
}

// "Bperp (average)" and "Bpar (average)" of a stack folder's file.
std::map<std::string, double> folder_file(const std::string& path) {
  std::map<std::string, double> values;
  for (const std::string& line : stack_test::lines_of(read_file(path)))
    values[line.substr(0, line.find(':'))] = std::stod(line.substr(line.find(':') + 1));
  return values;
}

// ISCE's definitions (tests/data/README.md) worked from the vectors of the
// zero-Doppler geometry at the default target of a dated orbit: the
// reference R seeing T at 870 km to the look side, the secondary S moved
// into R's zero-Doppler plane. Bpar = (S - R) . U; Bperp has the size of
// the rest of S - R and the sign of ((T - R) x (S - R)) . V_R.
TEST(Conventions, IsceSignsFollowItsFormulaOnEitherLookSide) {
  const Acquisition r = read_reference(orbit), s = read_secondary(other);
  ASSERT_FALSE(r.refusal || s.refusal);
  TempDir dir;
  for (const LookSide side : {LookSide::right, LookSide::left}) {
    const char* look = side == LookSide::right ? "right" : "left";
    const ZeroDopplerGeometry view =
        geometry_at_range(r.orbit, 0.5 * (r.orbit.front().t + r.orbit.back().t), 870.0, 0.0, side);
    const ZeroDopplerBaseline b = secondary_baseline(view, s.orbit);
    ASSERT_EQ(b.status, ZeroDopplerStatus::ok);
    double rs[3], rt[3], w[3];
    for (int i = 0; i < 3; ++i) {
      rs[i] = (b.moved[i] - view.satellite[i]) * 1e3;  // m
      rt[i] = view.target[i] - view.satellite[i];
    }
    const double norm_rt = bperp::norm(rt);
    const double bpar = bperp::dot(rs, rt) / norm_rt;
    const double across = std::sqrt(bperp::dot(rs, rs) - bpar * bpar);
    bperp::cross(rt, rs, w);
    const double bperp_isce = std::copysign(across, bperp::dot(w, view.velocity));

    const std::string folder = dir.file(std::string("stack-") + look);
    const nlohmann::json doc = json_of({"--convention", "isce", "--look", look, "--wavelength", "0.2362",
                                        "--at-range", "870000", "--export", "stack-folder:" + folder, orbit, other});
    const nlohmann::json& row = doc.at("secondaries")[0];
    EXPECT_NEAR(row.at("parallel_m").get<double>(), bpar, 1e-6) << look;
    EXPECT_NEAR(row.at("perpendicular_m").get<double>(), bperp_isce, 1e-6) << look;
    const std::map<std::string, double> file = folder_file(folder + "/20070728_20071213/20070728_20071213.txt");
    EXPECT_NEAR(file.at("Bpar (average)"), bpar, 1e-6) << look;
    EXPECT_NEAR(file.at("Bperp (average)"), bperp_isce, 1e-6) << look;
    // Ours: the perpendicular positive away from the earth, on either side.
    const nlohmann::json own = json_of({"--look", look, "--wavelength", "0.2362", "--at-range", "870000", orbit, other});
    EXPECT_EQ(own.at("secondaries")[0].at("parallel_m").get<double>(), -row.at("parallel_m").get<double>());
    EXPECT_EQ(own.at("secondaries")[0].at("perpendicular_m").get<double>(),
              (side == LookSide::right ? 1.0 : -1.0) * row.at("perpendicular_m").get<double>());
  }
}

// --convention gamma turns both components of the secondaries and of the
// pairs, and so the heights of ambiguity; the exports, in their readers'
// conventions, come out the same byte for byte whatever it says.
TEST(Conventions, TheSwitchTurnsWhatIsShownNotTheExports) {
  TempDir dir;
  std::map<std::string, std::string> exported;
  std::map<std::string, nlohmann::json> shown;
  for (const char* convention : {"bperp", "isce", "gamma"}) {
    const std::string out = dir.file(convention);
    std::filesystem::create_directory(out);
    std::vector<std::string> args = {"--convention", convention, "--pairs", "--export", "pairs:" + out + "/p.csv",
                                     "--export", "baselines:" + out + "/b.txt", "--export",
                                     "stack-folder:" + out + "/s"};
    args.insert(args.end(), slc.begin(), slc.end());
    shown[convention] = json_of(args);
    for (const char* file : {"/p.csv", "/b.txt", "/s/20180106_20180130/20180106_20180130.txt"}) {
      const std::string bytes = read_file(out + file);
      const auto [it, added] = exported.emplace(file, bytes);
      EXPECT_EQ(it->second, bytes) << convention << file;
    }
  }
  const nlohmann::json &own = shown["bperp"], &gamma = shown["gamma"];
  EXPECT_EQ(gamma.at("convention"), "gamma");
  for (std::size_t k = 0; k < own.at("secondaries").size(); ++k)
    for (const char* key : {"parallel_m", "perpendicular_m", "height_of_ambiguity_m"})
      EXPECT_EQ(gamma.at("secondaries")[k].at(key).get<double>(), -own.at("secondaries")[k].at(key).get<double>())
          << key;
  ASSERT_EQ(gamma.at("pairs").size(), 3u);
  for (std::size_t k = 0; k < 3; ++k)
    for (const char* key : {"perpendicular_m", "height_of_ambiguity_m"})
      EXPECT_EQ(gamma.at("pairs")[k].at(key).get<double>(), -own.at("pairs")[k].at(key).get<double>()) << key;
  // The reference looks right: ISCE's perpendicular is ours.
  EXPECT_EQ(shown["isce"].at("secondaries")[0].at("perpendicular_m"), own.at("secondaries")[0].at("perpendicular_m"));
}

// A stack folder names its reference in a manifest: a run of the same
// reference (named by another path) replaces its entries and says which
// it leaves; another reference's folder, or entries without a manifest,
// are refused before anything is printed, nothing changed.
TEST(Conventions, AStackFolderHoldsOneReference) {
  TempDir dir;
  const std::string folder = dir.file("stack");
  const RunResult first = run_stack({"--export", "stack-folder:" + folder, slc[0], slc[1], slc[2]});
  ASSERT_EQ(first.status, 0) << first.err;
  const nlohmann::json manifest = nlohmann::json::parse(read_file(folder + "/bperp-stack.json"));
  EXPECT_EQ(manifest.at("reference"), slc[0]);
  EXPECT_EQ(manifest.at("convention"), "isce");
  EXPECT_EQ(manifest.at("entries"), (nlohmann::json{"20180106_20180130", "20180106_20180319"}));

  std::filesystem::create_directory_symlink(par, dir.file("par"));
  const RunResult again = run_stack({"--export", "stack-folder:" + folder, dir.file("par/r20180106_VV_slc.par"), slc[1]});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.err.find("warning: the export " + folder + " keeps 20180106_20180319 of an earlier run"),
            std::string::npos)
      << again.err;

  const std::string before = read_file(folder + "/bperp-stack.json");
  const RunResult other_reference = run_stack({"--export", "stack-folder:" + folder, slc[1], slc[0], slc[2]});
  EXPECT_EQ(other_reference.status, 1);
  EXPECT_EQ(other_reference.out, "");
  EXPECT_NE(other_reference.err.find("its manifest names another reference, " + dir.file("par/r20180106_VV_slc.par")),
            std::string::npos)
      << other_reference.err;
  EXPECT_EQ(read_file(folder + "/bperp-stack.json"), before);
  EXPECT_FALSE(std::filesystem::exists(folder + "/20180130_20180106"));

  std::filesystem::remove(folder + "/bperp-stack.json");
  const RunResult unknown = run_stack({"--export", "stack-folder:" + folder, slc[0], slc[1]});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("it holds 20180106_20180130 and no manifest"), std::string::npos) << unknown.err;
}

}  // namespace
