// The X- and C-band missions' metadata on their real samples (TerraSAR-X,
// ICEYE and RCM in ../shared/data, Capella in tests/data): what each file
// gives, read back independently; a moved copy's baseline against the
// geometry worked out here from the file's own vectors; and the refusals of
// cut and corrupted copies.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <nlohmann/json.hpp>
#include <optional>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/inputs/capella_metadata.h"
#include "stack_test_support.h"

namespace {

using bperp::stack::LookSide;
using bperp::stack::ProductInfo;
using stack_test::OrbitVector;
using stack_test::TempDir;
using Json = nlohmann::json;

// Where a sample keeps its orbit: the XML element of a vector and its
// parts' names, or (item "") Capella's JSON; and the element of its
// absolute orbit number, if it states one.
struct Layout {
  const char* item;
  const char* time;
  const char* numbers[6];  // x, y, z (m), then vx, vy, vz (m/s)
  const char* absolute_orbit = nullptr;
};

struct Sample {
  const char* name;
  std::string path;  // "" when the shared folder is absent
  const char* kind;
  Layout layout;
  double frequency_hz;
  LookSide look;
  std::optional<long> track;
  // The default target: a stated scene centre (lat, lon deg; or earth-fixed m),
  // else the image's first and last line times and near and far range.
  std::optional<std::array<double, 2>> centre_deg;
  std::optional<std::array<double, 3>> centre_m;
  const char* first_line = nullptr;
  double line_span_s = 0.0, near_m = 0.0, far_m = 0.0;
  const char* corrupt_path;  // what the refusal of a corrupted first position names
};

const std::string capella = std::string(BPERP_SOURCE_DIR) + "/tests/data/capella-extended-json/";

std::vector<Sample> samples() {
  return {
      {"TerraSAR-X", stack_test::shared_sample("tsx-annotation/TSX1_SAR__EEC_RE___SM_S_SRA_20180929T214604_20180929T214612.xml"),
       "tsx-annotation", {"stateVec", "timeUTC", {"posX", "posY", "posZ", "velX", "velY", "velZ"}, "absOrbit"}, 9.649998358e9,
       LookSide::right, 164, std::array<double, 2>{-0.799906132175328799, 119.791294063491719}, std::nullopt,
       nullptr, 0, 0, 0, "platform/orbit/stateVec[1]/posX"},
      {"ICEYE", stack_test::shared_sample("iceye-annotation/ICEYE_X4_GRD_SM_38671_20201206T084201.xml"),
       "iceye-metadata", {"orbit_vector", "time", {"posX", "posY", "posZ", "velX", "velY", "velZ"}, "orbit_absolute_number"},
       9.65e9,
       LookSide::left, std::nullopt, std::array<double, 2>{13.351757725214608, -81.36454871497816}, std::nullopt,
       nullptr, 0, 0, 0, "Orbit_State_Vectors/orbit_vector[1]/posX"},
      {"RCM", stack_test::shared_sample("rcm-product/product.xml"), "rcm-product",
       {"stateVector", "timeStamp", {"xPosition", "yPosition", "zPosition", "xVelocity", "yVelocity", "zVelocity"}},
       5.404999999449389e9, LookSide::right, std::nullopt,
       // The mean of the four corners' latitudes and longitudes.
       std::array<double, 2>{(50.09821540845521 + 50.09260117329621 + 49.7966707036274 + 49.80222675005223) / 4,
                             (-97.27121324665144 - 96.92830593550281 - 96.94096429929891 - 97.28177916613876) / 4},
       std::nullopt, nullptr, 0, 0, 0, "sourceAttributes/orbitAndAttitude/orbitInformation/stateVector[1]/xPosition"},
      {"Capella stripmap", capella + "CAPELLA_C11_SM_SLC_VV_20251031191104_20251031191109_extended.json",
       "capella-metadata", {"", "", {}}, 9649999872.0, LookSide::right, std::nullopt, std::nullopt, std::nullopt,
       "2025-10-31T19:11:05.183064622Z", 19625 * 0.00016582533333333333, 732527.1448338876,
       732527.1448338876 + 4346 * 0.6171875, "collect.state.state_vectors[0].position"},
      {"Capella spotlight", capella + "CAPELLA_C13_SP_SLC_HH_20251102104909_20251102104943_extended.json",
       "capella-metadata", {"", "", {}}, 9599995219.848782, LookSide::right, std::nullopt, std::nullopt,
       std::array<double, 3>{1314078.560418127, -5907538.371470174, 2007016.4832319976}, nullptr, 0, 0, 0,
       "collect.state.state_vectors[0].position"},
  };
}

// ---- The file's vectors and a moved copy, handled here with pugixml and
// nlohmann-json rather than by the readers under test. ----

// The orbit vectors of the sample's file (times s since 1970, m, m/s).
std::vector<OrbitVector> vectors_of(const Sample& s, const std::string& text) {
  std::vector<OrbitVector> out;
  if (*s.layout.item == '\0') {
    const Json doc = Json::parse(text);
    for (const Json& v : doc["collect"]["state"]["state_vectors"]) {
      OrbitVector o;
      o.t = stack_test::utc_seconds(v["time"]);
      for (int i = 0; i < 3; ++i) {
        o.position[i] = v["position"][i];
        o.velocity[i] = v["velocity"][i];
      }
      out.push_back(o);
    }
    return out;
  }
  pugi::xml_document doc;
  doc.load_string(text.c_str());
  for (const pugi::xpath_node& n : doc.select_nodes((std::string("//") + s.layout.item).c_str())) {
    OrbitVector o;
    o.t = stack_test::utc_seconds(n.node().child_value(s.layout.time));
    for (int i = 0; i < 3; ++i) {
      o.position[i] = std::stod(n.node().child_value(s.layout.numbers[i]));
      o.velocity[i] = std::stod(n.node().child_value(s.layout.numbers[3 + i]));
    }
    out.push_back(o);
  }
  return out;
}

// The sample's text with every date days later, its absolute orbit (where
// it states one) 15 orbits a day later, and each orbit position plus
// offset (m); corrupt: the first vector's x written as "12x" instead.
std::string moved_copy(const Sample& s, int days, const double (&offset)[3], bool corrupt = false) {
  const std::string text = stack_test::shift_dates(stack_test::read_file(s.path), days);
  char number[32];
  if (*s.layout.item == '\0') {
    Json doc = Json::parse(text);
    for (Json& v : doc["collect"]["state"]["state_vectors"])
      for (int i = 0; i < 3; ++i) v["position"][i] = v["position"][i].get<double>() + offset[i];
    if (corrupt) doc["collect"]["state"]["state_vectors"][0]["position"][0] = "12x";
    return doc.dump();
  }
  pugi::xml_document doc;
  doc.load_string(text.c_str());
  if (s.layout.absolute_orbit != nullptr) {
    pugi::xml_node orbit = doc.select_node((std::string("//") + s.layout.absolute_orbit).c_str()).node();
    orbit.text().set(std::stol(orbit.child_value()) + 15L * days);
  }
  bool first = true;
  for (const pugi::xpath_node& n : doc.select_nodes((std::string("//") + s.layout.item).c_str())) {
    for (int i = 0; i < 3; ++i) {
      pugi::xml_node e = n.node().child(s.layout.numbers[i]);
      std::snprintf(number, sizeof number, "%.17g", std::stod(e.child_value()) + offset[i]);
      e.text().set(corrupt && first && i == 0 ? "12x" : number);
    }
    first = false;
  }
  std::ostringstream out;
  doc.save(out);
  return out.str();
}

ProductInfo product_of(const std::string& path) {
  const bperp::stack::Acquisition a = bperp::stack::read_reference(path);
  if (a.refusal) throw std::runtime_error(a.refusal->text);
  return *a.product;
}

double dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Each sample as read: its orbit vector by vector against the file's
// numbers (positions to the micrometre, times to the microsecond), its
// radar, look side and track, and its default target: the stated centre
// or the image's times and slant ranges.
TEST(MissionProducts, EachSampleReadsAsItsFileGivesIt) {
  for (const Sample& s : samples()) {
    SCOPED_TRACE(s.name);
    SKIP_WITHOUT_SHARED_DATA(s.path);
    const ProductInfo p = product_of(s.path);
    const std::vector<OrbitVector> file = vectors_of(s, stack_test::read_file(s.path));
    ASSERT_EQ(p.orbit.rows.size(), file.size());
    ASSERT_GE(file.size(), 4u);
    const double epoch = stack_test::utc_seconds(bperp::stack::utc_text(p.orbit.epoch));
    for (std::size_t k = 0; k < file.size(); ++k) {
      EXPECT_NEAR(epoch + p.orbit.rows[k].t, file[k].t, 1e-6) << "vector " << k;
      for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(p.orbit.rows[k].state.position[i] * 1000.0, file[k].position[i], 1e-6) << "vector " << k;
        EXPECT_NEAR(p.orbit.rows[k].state.velocity[i] * 1000.0, file[k].velocity[i], 1e-9) << "vector " << k;
      }
    }
    EXPECT_EQ(*p.radar_frequency_hz, s.frequency_hz);
    EXPECT_EQ(p.look, s.look);
    EXPECT_EQ(p.track, s.track);
    EXPECT_EQ(p.pass, "DESCENDING");  // every sample's pass
    EXPECT_TRUE(p.range_bandwidth_hz && p.azimuth_bandwidth_hz);
    if (s.first_line) {
      ASSERT_TRUE(p.image.first_line && p.image.last_line && p.image.near_range_m && p.image.far_range_m);
      EXPECT_EQ(bperp::stack::utc_text(*p.image.first_line), s.first_line);
      EXPECT_NEAR(bperp::stack::seconds_between(*p.image.first_line, *p.image.last_line), s.line_span_s, 1e-9);
      EXPECT_DOUBLE_EQ(*p.image.near_range_m, s.near_m);
      EXPECT_DOUBLE_EQ(*p.image.far_range_m, s.far_m);
      EXPECT_FALSE(p.scene_centre);
    } else {
      ASSERT_TRUE(p.scene_centre);
      EXPECT_FALSE(p.image.first_line || p.image.near_range_m);  // a target needs the stated centre
      if (s.centre_deg) {
        EXPECT_DOUBLE_EQ(p.scene_centre->latitude_deg, (*s.centre_deg)[0]);
        EXPECT_DOUBLE_EQ(p.scene_centre->longitude_deg, (*s.centre_deg)[1]);
      } else {
        EXPECT_EQ(p.scene_centre->earth_fixed_m, s.centre_m);
      }
    }
  }
}

// A copy 11 days later with every position moved by d: R - S = -d at the
// target, whatever the look side. Worked out here: R and V_R at the
// reference's zero-Doppler time by Hermite interpolation of the file's own
// vectors, U from R to the printed target; d chosen across V_R (so no
// along-track part) as 60 m along U and 150 m across it: parallel = -60,
// perpendicular = -150 (across U, away from the earth), length 161.555 m.
TEST(MissionProducts, AMovedCopyGivesTheOffsetAsItsBaseline) {
  for (const Sample& s : samples()) {
    SCOPED_TRACE(s.name);
    SKIP_WITHOUT_SHARED_DATA(s.path);
    TempDir dir;
    const double zero[3] = {0.0, 0.0, 0.0};
    // The reference alone first, for its target and time.
    const std::string reference = dir.write("reference", moved_copy(s, 0, zero));
    const stack_test::RunResult alone = stack_test::run_stack({"--format", "json", reference, reference});
    ASSERT_EQ(alone.status, 0) << alone.err;
    const Json ref = Json::parse(alone.out)["reference"];
    EXPECT_EQ(ref["kind"], s.kind);
    EXPECT_EQ(ref["look_side"], s.look == LookSide::right ? "right" : "left");
    const double t = stack_test::utc_seconds(ref["reference_time"]);
    const OrbitVector r = stack_test::hermite_at(vectors_of(s, stack_test::read_file(reference)), t);
    const double target[3] = {ref["x_km"].get<double>() * 1000, ref["y_km"].get<double>() * 1000,
                              ref["z_km"].get<double>() * 1000};
    double u[3], v[3], n[3];
    const double range = std::hypot(target[0] - r.position[0], target[1] - r.position[1], target[2] - r.position[2]);
    const double speed = std::hypot(r.velocity[0], r.velocity[1], r.velocity[2]);
    for (int i = 0; i < 3; ++i) u[i] = (target[i] - r.position[i]) / range, v[i] = r.velocity[i] / speed;
    EXPECT_NEAR(dot(u, v), 0.0, 1e-5);  // the target at zero Doppler (RCM's velocities are noisy)
    n[0] = v[1] * u[2] - v[2] * u[1], n[1] = v[2] * u[0] - v[0] * u[2], n[2] = v[0] * u[1] - v[1] * u[0];
    if (dot(n, r.position) < 0) for (double& x : n) x = -x;  // away from the earth
    double d[3];
    for (int i = 0; i < 3; ++i) d[i] = 60.0 * u[i] + 150.0 * n[i];

    const std::string secondary = dir.write("secondary", moved_copy(s, 11, d));
    const stack_test::RunResult pair = stack_test::run_stack({"--format", "json", reference, secondary});
    ASSERT_EQ(pair.status, 0) << pair.err;
    const Json row = Json::parse(pair.out)["secondaries"][0];
    EXPECT_EQ(row["days"], 11);
    EXPECT_NEAR(row["parallel_m"].get<double>(), -60.0, 1e-3);
    EXPECT_NEAR(row["perpendicular_m"].get<double>(), -150.0, 1e-3);
    EXPECT_NEAR(row["length_m"].get<double>(), std::hypot(60.0, 150.0), 1e-3);
    EXPECT_NEAR(row["along_track_removed_m"].get<double>(), 0.0, 1e-3);
    if (!s.first_line) continue;
    // Capella's last lines run past its last vector: those grid points are
    // refused as outside the orbit, not extrapolated.
    const stack_test::RunResult grid =
        stack_test::run_stack({"--format", "json", "--grid", "3x3", reference, secondary});
    EXPECT_EQ(grid.status, 1);
    std::vector<int> refused_lines;
    const Json rows = Json::parse(grid.out)["secondaries"];
    for (const Json& g : rows)
      if (!g["error"].is_null()) {
        EXPECT_EQ(g["error_kind"], "outside_orbit") << g["error"];
        refused_lines.push_back(g["grid_line"]);
      }
    EXPECT_EQ(refused_lines, (std::vector<int>{2, 2, 2}));
  }
}

// A copy cut short and one with a position that is no number: refused,
// naming the file and, for the number, the element; the run goes on.
TEST(MissionProducts, CutAndCorruptedCopiesAreRefused) {
  for (const Sample& s : samples()) {
    SCOPED_TRACE(s.name);
    SKIP_WITHOUT_SHARED_DATA(s.path);
    TempDir dir;
    const double zero[3] = {0.0, 0.0, 0.0};
    const std::string whole = moved_copy(s, 0, zero);
    const std::string cut = dir.write("cut", whole.substr(0, whole.size() * 3 / 5));
    const std::string corrupt = dir.write("corrupt", moved_copy(s, 0, zero, true));
    for (const auto& [path, words] : {std::pair{cut, std::string("not well-formed")},
                                      std::pair{corrupt, std::string(s.corrupt_path)}}) {
      const bperp::stack::Acquisition a = bperp::stack::read_secondary(path);
      ASSERT_TRUE(a.refusal) << path;
      EXPECT_EQ(a.refusal->kind, bperp::stack::RefusalKind::malformed) << a.refusal->text;
      EXPECT_NE(a.refusal->text.find(path), std::string::npos) << a.refusal->text;
      EXPECT_NE(a.refusal->text.find(words), std::string::npos) << a.refusal->text;
    }
  }
}

// JSON shaped to cost the parser far more than its size (nested past any
// product, or a value every three bytes) is refused before it is parsed;
// the real samples are far from either bound.
TEST(MissionProducts, JsonThatWouldCostTooMuchIsRefusedUnparsed) {
  std::string dense = "[";
  for (int k = 0; k < 100000; ++k) dense += "[],";
  dense += "[]]";
  const struct {
    std::string bytes;
    const char* message;
  } cases[] = {
      {std::string(65, '[') + std::string(65, ']'), "nested deeper than 64 levels"},
      // As deep as allowed, and not dense: parsed, then found to be no product.
      {std::string(64, '[') + '"' + std::string(1000, ' ') + '"' + std::string(64, ']'), "collect"},
      {dense, "would cost more than 8 times its size"},
  };
  for (const auto& json : cases) {
    bperp::stack::Refusal refusal;
    EXPECT_FALSE(bperp::stack::parse_capella_metadata(json.bytes, "x.json", &refusal));
    EXPECT_NE(refusal.text.find(json.message), std::string::npos) << refusal.text;
  }
}

// A product with a stated centre but no image times and ranges: --at-time,
// --at-range and --grid are refused with a message, --at-point works.
TEST(MissionProducts, TargetsAtATimeAndRangeNeedImageTimesAndRanges) {
  const std::string spot = samples()[4].path;
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"--at-time", "2025-11-02T10:49:26"}, {"--at-range", "784000"}, {"--grid", "2x2"}}) {
    std::vector<std::string> args = options;
    args.insert(args.end(), {spot, spot});
    const stack_test::RunResult r = stack_test::run_stack(args);
    EXPECT_EQ(r.status, 1) << options[0];
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("times"), std::string::npos) << r.err;
  }
  const stack_test::RunResult r = stack_test::run_stack({"--at-point", "18.46,-77.46", spot, spot});
  EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace
