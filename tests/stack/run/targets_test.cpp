// What the reference sees and which wavelength its numbers take: a point
// across the track from the look side is refused, a target outside the
// image is said, and no wavelength is made up.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bperp/stack/run/stack_run.h"
#include "stack_test_support.h"

namespace {

using namespace bperp::stack;
using stack_test::RunResult;
using stack_test::run_stack;

const std::string source = BPERP_SOURCE_DIR;
const std::string s1 = source + "/tests/data/s1-track108-annotation/";
const std::string reference = s1 + "s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml";
const std::string secondary = s1 + "s1a-iw2-slc-vv-20250418t022010-20250418t022035-058805-074946-005.xml";
const std::string examples = source + "/examples/stack/";
const std::string opera = source + "/tests/data/opera-cslc-t042/";

nlohmann::json json_of(std::vector<std::string> args, RunResult* run = nullptr) {
  args.insert(args.begin(), {"--format", "json"});
  const RunResult r = run_stack(args);
  if (run != nullptr) *run = r;
  return r.out.empty() ? nlohmann::json() : nlohmann::json::parse(r.out);
}

// The pass flies north-north-west (heading -15 deg) and looks right, to the
// east: points west of its track, beyond nadir, are on the side it does not
// see. Refused whatever their distance; points east of it are computed.
TEST(Targets, APointAcrossTheTrackFromTheLookSideIsRefused) {
  struct Case {
    double lat, lon;
    bool seen;
  };
  for (const Case& c : {Case{52.121021, -140.0, false}, Case{52.6, -137.0, false}, Case{51.4, -139.0, false},
                        Case{52.0, -145.0, false}, Case{52.121021, -127.958875, true}, Case{51.5, -127.0, true},
                        Case{52.7, -129.5, true}}) {
    StackOptions options;
    options.target.at_point = Geodetic{c.lat * M_PI / 180.0, c.lon * M_PI / 180.0, 0.0};
    const StackRun run = run_stack(reference, {secondary}, options);
    if (c.seen) {
      EXPECT_FALSE(run.refusal) << c.lat << "," << c.lon << ": " << run.refusal->text;
      continue;
    }
    ASSERT_TRUE(run.refusal) << c.lat << "," << c.lon;
    EXPECT_EQ(run.refusal->kind, RefusalKind::outside_image);
    EXPECT_NE(run.refusal->text.find("the point lies left of its track, and it looks right"), std::string::npos)
        << run.refusal->text;
  }
}

// A target outside the image's lines or ranges is computed with a warning
// giving the spans; outside_image says so in every row: true, false, false
// at every grid point (inside by construction), null where the reference
// states no spans (a state vector's beam geometry, a geocoded product).
TEST(Targets, OutsideTheImageIsSaidAndMarked) {
  struct Case {
    std::vector<std::string> args;
    nlohmann::json outside;
    const char* warning;  // "" for none
  };
  const std::vector<Case> cases = {
      {{reference, secondary}, false, ""},
      {{"--at-range", "2000000", reference, secondary}, true, "and 2000.000 km; the image spans"},
      {{"--at-time", "2025-04-06T02:20:40", reference, secondary}, true,
       "the image spans 2025-04-06T02:20:10.390805000Z to 2025-04-06T02:20:35.567258000Z and 846.822 to 908.308 km"},
      {{"--grid", "2x2", reference, secondary}, false, ""},
      {{examples + "reference.txt", examples + "20080730.txt"}, nullptr, ""},
      {{opera + "OPERA_L2_CSLC-S1_T042-088905-IW1_20231021T140757Z_20231023T003801Z_S1A_VV_v1.0.h5",
        opera + "OPERA_L2_CSLC-S1_T042-088905-IW2_20231009T140758Z_20231010T204936Z_S1A_VV_v1.0.h5"},
       nullptr, ""},
  };
  for (const Case& c : cases) {
    RunResult r;
    const nlohmann::json doc = json_of(c.args, &r);
    EXPECT_EQ(r.status, 0) << r.err;
    for (const nlohmann::json& row : doc.at("secondaries")) EXPECT_EQ(row.at("outside_image"), c.outside) << r.err;
    if (*c.warning == '\0') {
      EXPECT_EQ(r.err, "") << c.args[0];
      continue;
    }
    EXPECT_NE(r.err.find("warning: the target lies outside the image of " + reference), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
    EXPECT_EQ(doc.at("warnings").size(), 1u);
  }
}

// A dated orbit states no wavelength: refused without --wavelength or
// --sensor (the L band it was given before would make Sentinel-1's heights
// of ambiguity four times too large). Each row says where its wavelength
// comes from; --wavelength is used even where a product states another,
// with a warning beyond 0.1 %.
TEST(Targets, WavelengthsAreStatedOrGiven) {
  const std::string orbit = examples + "20070728.orbit", other = examples + "20071213.orbit";
  RunResult r;
  EXPECT_TRUE(json_of({"--at-range", "870000", orbit, other}, &r).is_null());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("it is a dated orbit, which states no radar wavelength: give --wavelength (m) or --sensor"),
            std::string::npos)
      << r.err;
  struct Case {
    std::vector<std::string> args;
    const char* reference_source;
    std::vector<const char*> row_sources;
    const char* warning;  // "" for none
  };
  const std::vector<Case> cases = {
      {{"--sensor", "s1-iw2", "--at-range", "870000", orbit, other}, "sensor", {"sensor"}, ""},
      {{"--wavelength", "0.2362", "--at-range", "870000", orbit, other}, "option", {"option"}, ""},
      {{examples + "reference.txt", examples + "20080730.txt", secondary}, "beam", {"beam", "product"}, ""},
      {{"--wavelength", "0.0555", reference, secondary}, "option", {"option"}, ""},  // 0.06 % off
      {{"--wavelength", "0.0556", reference, secondary}, "option", {"option"},
       "--wavelength 0.055600 m is used, though " },
  };
  for (const Case& c : cases) {
    const nlohmann::json doc = json_of(c.args, &r);
    ASSERT_FALSE(doc.is_null()) << r.err;
    EXPECT_EQ(doc.at("reference").at("wavelength_source"), c.reference_source) << c.args[0];
    for (std::size_t k = 0; k < c.row_sources.size(); ++k)
      EXPECT_EQ(doc.at("secondaries")[k].at("wavelength_source"), c.row_sources[k]) << c.args[0];
    if (*c.warning == '\0') {
      EXPECT_EQ(r.err.find("--wavelength"), std::string::npos) << r.err;
    } else {
      EXPECT_NE(r.err.find(c.warning + reference + " states 0.055466 m (and 1 more product another)"),
                std::string::npos)
          << r.err;
    }
  }
}

}  // namespace
