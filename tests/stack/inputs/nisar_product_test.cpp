// NISAR products through the HDF5 reader: the simulated sample of the early
// SLC layout (tests/data/README.md) against its own datasets read here with
// the HDF5 C API, moved copies of it against the baseline worked out
// independently, and products written here in the released RSLC and GSLC
// layouts: the identification's spellings, the frequency bands, and the
// refusals of missing or mis-shaped datasets.
#include <gtest/gtest.h>
#include <hdf5.h>

#include <cmath>
#include <filesystem>

#include "bperp/stack/inputs/hdf5_product.h"
#include "hdf5_writer.h"
#include "moved_copy.h"
#include "stack_test_support.h"

namespace bperp::stack {
namespace {

using moved_copy::Vec;
using test_support::Hdf5Writer;

const std::string sample = BPERP_SOURCE_DIR "/tests/data/nisar-rslc-sim/REE_RSLC_out17.h5";
const std::string slc = "/science/LSAR/SLC";

// ---- the sample's datasets, read and changed with the HDF5 C API ----

std::vector<double> doubles(hid_t file, const std::string& path) {
  const hid_t ds = H5Dopen2(file, path.c_str(), H5P_DEFAULT);
  const hid_t space = H5Dget_space(ds);
  std::vector<double> values(static_cast<std::size_t>(H5Sget_simple_extent_npoints(space)));
  EXPECT_GE(H5Dread(ds, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()), 0) << path;
  H5Sclose(space);
  H5Dclose(ds);
  return values;
}

void write_doubles(hid_t file, const std::string& path, const std::vector<double>& values) {
  const hid_t ds = H5Dopen2(file, path.c_str(), H5P_DEFAULT);
  EXPECT_GE(H5Dwrite(ds, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()), 0) << path;
  H5Dclose(ds);
}

// The text attribute name of the object at path replaced by text.
void replace_units(hid_t file, const std::string& path, const std::string& text) {
  const hid_t object = H5Oopen(file, path.c_str(), H5P_DEFAULT);
  H5Adelete(object, "units");
  H5Oclose(object);
  Hdf5Writer::attribute_of(file, path, "units", text);
}

// A copy of the sample with every orbit position moved by offset (m), its
// times days later, and its track number track.
std::string moved_sample(const stack_test::TempDir& dir, const std::string& name, const Vec& offset, int days,
                         int track = 1) {
  const std::string path = dir.file(name);
  std::filesystem::copy_file(sample, path);
  std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  const hid_t file = H5Fopen(path.c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
  std::vector<double> position = doubles(file, slc + "/metadata/orbit/position");
  for (std::size_t k = 0; k < position.size(); ++k) position[k] += offset[k % 3];
  write_doubles(file, slc + "/metadata/orbit/position", position);
  char units[64];
  std::snprintf(units, sizeof units, "seconds since 2021-07-%02d 00:00:00", 1 + days);
  replace_units(file, slc + "/metadata/orbit/time", units);
  replace_units(file, slc + "/swaths/zeroDopplerTime", units);
  write_doubles(file, "/science/LSAR/identification/trackNumber", {static_cast<double>(track)});
  H5Fclose(file);
  return path;
}

ProductInfo read_ok(const std::string& path, const std::string& band = "A") {
  Refusal problem;
  const std::optional<ProductInfo> p = read_hdf5_product(path, &problem, "", band);
  EXPECT_TRUE(p) << problem.text;
  return p.value_or(ProductInfo{});
}

TEST(NisarProduct, SampleGivesItsOrbitRadarImageAndIdentification) {
  const ProductInfo p = read_ok(sample);
  EXPECT_EQ(p.format, "NISAR SLC");
  EXPECT_EQ(p.mission, "NISAR");  // missionId is a code ("10"): the file's mission_name
  EXPECT_EQ(p.track, 1);
  EXPECT_EQ(p.frame, 1);
  EXPECT_FALSE(p.absolute_orbit);  // 0: none
  EXPECT_EQ(p.pass, "ASCENDING");
  EXPECT_EQ(p.look, LookSide::right);
  EXPECT_EQ(p.radar_frequency_hz, 1.26e9);
  EXPECT_EQ(p.range_bandwidth_hz, 2e7);
  EXPECT_EQ(p.azimuth_bandwidth_hz, 1200.0);
  const hid_t file = H5Fopen(sample.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  const std::vector<double> t = doubles(file, slc + "/metadata/orbit/time");
  const std::vector<double> position = doubles(file, slc + "/metadata/orbit/position");
  const std::vector<double> velocity = doubles(file, slc + "/metadata/orbit/velocity");
  const std::vector<double> lines = doubles(file, slc + "/swaths/zeroDopplerTime");
  const std::vector<double> ranges = doubles(file, slc + "/swaths/frequencyA/slantRange");
  H5Fclose(file);
  // Times in s since 2021-07-01 00:00:00 (the units attribute).
  const UtcTime day = *parse_utc("2021-07-01T00:00:00");
  EXPECT_EQ(p.orbit.epoch, add_seconds(day, t.front()));
  ASSERT_EQ(p.orbit.rows.size(), t.size());
  for (std::size_t k = 0; k < t.size(); ++k) {
    EXPECT_NEAR(p.orbit.rows[k].t, t[k] - t.front(), 1e-6);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(p.orbit.rows[k].state.position[i] * 1000.0, position[3 * k + i], 1e-3);
      EXPECT_NEAR(p.orbit.rows[k].state.velocity[i] * 1000.0, velocity[3 * k + i], 1e-6);
    }
  }
  EXPECT_EQ(p.image.lines, 129);
  EXPECT_EQ(p.image.samples, 129);
  EXPECT_EQ(p.image.first_line, add_seconds(day, lines.front()));
  EXPECT_EQ(p.image.last_line, add_seconds(day, lines.back()));
  EXPECT_EQ(p.image.near_range_m, ranges.front());
  EXPECT_EQ(p.image.far_range_m, ranges.back());
}

// Copies 12 days later (one NISAR cycle), moved by some 100 m: the offset's
// components along and across the line of sight at the image's middle; a
// copy of another track is refused as no repeat pass.
TEST(NisarProduct, MovedCopiesGiveTheOffsetOrAreOfAnotherTrack) {
  const stack_test::TempDir dir;
  const Vec offset = {35.0, 90.0, -50.0};
  const std::string copy = moved_sample(dir, "copy.h5", offset, 12);
  const std::string other = moved_sample(dir, "other.h5", offset, 24, 2);
  const nlohmann::json run = moved_copy::run_json({sample, copy, other});
  const nlohmann::json& reference = run.at("reference");
  const nlohmann::json& secondary = run.at("secondaries").at(0);
  ASSERT_TRUE(secondary.at("error").is_null()) << secondary.at("error");
  EXPECT_EQ(secondary.at("days").get<int>(), 12);
  moved_copy::Vectors orbit;
  const hid_t file = H5Fopen(sample.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  const std::vector<double> t = doubles(file, slc + "/metadata/orbit/time");
  const std::vector<double> position = doubles(file, slc + "/metadata/orbit/position");
  const std::vector<double> velocity = doubles(file, slc + "/metadata/orbit/velocity");
  H5Fclose(file);
  for (std::size_t k = 0; k < t.size(); ++k) orbit.push_back(moved_copy::vector_at(t[k], position, velocity, k));
  const double t0 = seconds_between(*parse_utc("2021-07-01T00:00:00"),
                                    *parse_utc(reference.at("reference_time").get<std::string>()));
  const moved_copy::Baseline b = moved_copy::expected(orbit, t0, moved_copy::json_target(reference), offset);
  EXPECT_NEAR(secondary.at("parallel_m").get<double>(), b.parallel, 1e-3);
  EXPECT_NEAR(secondary.at("perpendicular_m").get<double>(), b.perpendicular, 1e-3);
  const nlohmann::json& refused = run.at("secondaries").at(1);
  EXPECT_EQ(refused.at("error_kind"), "other_track");
  EXPECT_NE(refused.at("error").get<std::string>().find("it is of relative orbit 2 (as its product states), the reference of 1"), std::string::npos)
      << refused.at("error");
}

// ---- products written here ----

// What a written NISAR product holds: five orbit vectors 10 s apart (no
// geometry is judged here), band A and, where asked, B.
struct Written {
  std::string layout = "RSLC";
  std::vector<hsize_t> position_dims = {5, 3};
  bool velocity = true;
  std::string time_units = "seconds since 2024-01-02 00:00:00";
  std::string look = "Right", pass = "ASCENDING", mission_id = "NISAR", mission_name;
  double heading = NAN;  // written instead of the pass when finite
  std::vector<double> zero_doppler = {7200.5, 7201.0, 7201.5};
  long long projection = 32620;
  bool band_b = false;
};

std::string write(const stack_test::TempDir& dir, const Written& w) {
  const std::string path = dir.file("nisar.h5");
  Hdf5Writer h(path);
  const std::string product = "/science/LSAR/" + w.layout, orbit = product + "/metadata/orbit";
  const std::vector<double> times = {7180.0, 7190.0, 7200.0, 7210.0, 7220.0};
  h.list(orbit + "/time", times);
  h.attribute(orbit + "/time", "units", w.time_units);
  std::vector<double> p, v;
  for (std::size_t k = 0; k < 5; ++k)
    for (std::size_t i = 0; i < 3; ++i) {
      p.push_back(3.0e6 * static_cast<double>(i + 1) + 70000.0 * static_cast<double>(k));
      v.push_back(7000.0 + static_cast<double>(i));
    }
  p.resize(w.position_dims[0] * w.position_dims[1], 1.0);
  h.numbers(orbit + "/position", p, w.position_dims);
  if (w.velocity) h.numbers(orbit + "/velocity", v, {5, 3});
  const bool gslc = w.layout == "GSLC";
  for (const char* band : {"A", "B"}) {
    if (*band == 'B' && !w.band_b) continue;
    const std::string f = product + (gslc ? "/grids/frequency" : "/swaths/frequency") + band;
    const double hz = *band == 'A' ? 1.257e9 : 1.2e9;
    h.numbers(f + (gslc ? "/centerFrequency" : "/processedCenterFrequency"), {hz}, {});
    h.numbers(f + "/processedRangeBandwidth", {*band == 'A' ? 77e6 : 5e6}, {});
    if (gslc) {
      h.numbers(f + "/projection", {static_cast<double>(w.projection)}, {}, H5T_STD_U32LE);
      h.list(f + "/xCoordinates", {600000.0, 600080.0, 600160.0});
      h.list(f + "/yCoordinates", {8700000.0, 8699920.0});
    } else {
      h.list(f + "/slantRange", {900000.0, 900010.0, 900020.0, 900030.0});
    }
  }
  if (!gslc) {
    h.list(product + "/swaths/zeroDopplerTime", w.zero_doppler);
    h.attribute(product + "/swaths/zeroDopplerTime", "units", "seconds since 2024-01-02 00:00:00.5");
  }
  const std::string id = "/science/LSAR/identification/";
  if (!w.look.empty()) h.text(id + "lookDirection", w.look);
  if (std::isfinite(w.heading)) h.numbers(id + "orbitPassDirection", {w.heading}, {});
  else h.text(id + "orbitPassDirection", w.pass);
  h.text(id + "missionId", w.mission_id);
  h.numbers(id + "trackNumber", {77}, {}, H5T_STD_U16LE);
  h.numbers(id + "frameNumber", {175}, {}, H5T_STD_U16LE);
  h.numbers(id + "absoluteOrbitNumber", {1234}, {}, H5T_STD_U32LE);
  if (!w.mission_name.empty()) h.attribute("/", "mission_name", w.mission_name);
  return path;
}

TEST(NisarProduct, ReleasedLayoutsReadWithTheIdentificationsSpellings) {
  const stack_test::TempDir dir;
  const ProductInfo rslc = read_ok(write(dir, Written{}));
  EXPECT_EQ(rslc.format, "NISAR RSLC");
  EXPECT_EQ(rslc.look, LookSide::right);
  EXPECT_EQ(rslc.pass, "ASCENDING");
  EXPECT_EQ(rslc.mission, "NISAR");
  EXPECT_EQ(rslc.track, 77);
  EXPECT_EQ(rslc.frame, 175);
  EXPECT_EQ(rslc.absolute_orbit, 1234);
  EXPECT_EQ(rslc.radar_frequency_hz, 1.257e9);
  EXPECT_EQ(rslc.range_bandwidth_hz, 77e6);
  EXPECT_FALSE(rslc.azimuth_bandwidth_hz);
  EXPECT_EQ(utc_text(rslc.orbit.epoch), "2024-01-02T01:59:40.000000000Z");
  EXPECT_EQ(utc_text(*rslc.image.first_line), "2024-01-02T02:00:01.000000000Z");
  EXPECT_EQ(utc_text(*rslc.image.last_line), "2024-01-02T02:00:02.000000000Z");
  EXPECT_EQ(rslc.image.near_range_m, 900000.0);
  EXPECT_EQ(rslc.image.far_range_m, 900030.0);
  EXPECT_EQ(rslc.image.range_pixel_spacing_m, 10.0);

  // Spellings: capitals, short forms, NUL padding, a heading, a mission code.
  Written left;
  left.look = std::string("left\0\0\0\0", 8);
  left.pass = std::string("DESCEND\0\0", 9);
  left.mission_id = "10";
  left.mission_name = "NISAR";
  const ProductInfo l = read_ok(write(dir, left));
  EXPECT_EQ(l.look, LookSide::left);
  EXPECT_EQ(l.pass, "DESCENDING");
  EXPECT_EQ(l.mission, "NISAR");
  Written heading;
  heading.look = "RIGHT";
  heading.heading = -12.5;
  heading.mission_id = "7";
  const ProductInfo h = read_ok(write(dir, heading));
  EXPECT_EQ(h.pass, "");  // a heading states no pass
  EXPECT_EQ(h.mission, "");

  // Band B where the file has it, and none where it has not.
  Written two;
  two.band_b = true;
  EXPECT_EQ(read_ok(write(dir, two), "B").radar_frequency_hz, 1.2e9);
  EXPECT_EQ(read_ok(write(dir, two), "B").range_bandwidth_hz, 5e6);
  Refusal problem;
  EXPECT_FALSE(read_hdf5_product(write(dir, Written{}), &problem, "", "B"));
  EXPECT_NE(problem.text.find("/science/LSAR/RSLC/swaths/frequencyB is missing"), std::string::npos) << problem.text;

  // A GSLC: its map grid, no line times or ranges; the default target is
  // the grid's centre.
  Written g;
  g.layout = "GSLC";
  const ProductInfo gslc = read_ok(write(dir, g));
  EXPECT_EQ(gslc.format, "NISAR GSLC");
  EXPECT_EQ(gslc.epsg, 32620);
  EXPECT_EQ(gslc.grid_x, (std::vector<double>{600000.0, 600080.0, 600160.0}));
  EXPECT_EQ(gslc.grid_y, (std::vector<double>{8700000.0, 8699920.0}));
  EXPECT_EQ(gslc.radar_frequency_hz, 1.257e9);
  EXPECT_FALSE(gslc.image.first_line);
}

TEST(NisarProduct, DamagedProductsAreRefusedNamingTheDataset) {
  const stack_test::TempDir dir;
  const struct {
    void (*change)(Written&);
    const char* named;
  } cases[] = {
      {[](Written& w) { w.position_dims = {5, 4}; }, "RSLC/metadata/orbit/position is 5 x 4; expected N x 3"},
      {[](Written& w) { w.position_dims = {4, 3}; }, "position holds 4 vectors but"},
      {[](Written& w) { w.velocity = false; }, "RSLC/metadata/orbit/velocity_x is missing"},
      {[](Written& w) { w.time_units = "seconds since yesterday"; }, "/time attribute units is 'yesterday'"},
      {[](Written& w) { w.time_units = "days since 2024-01-02"; }, "the times must be in seconds"},
      {[](Written& w) { w.look = ""; }, "identification/lookDirection is missing"},
      {[](Written& w) { w.look = "up"; }, "lookDirection is 'up', not right or left"},
      {[](Written& w) { w.pass = "north"; }, "orbitPassDirection is 'north', not ascending or descending"},
      {[](Written& w) { w.zero_doppler = {7200.5, 7200.5, 7201.5}; }, "zeroDopplerTime[1] (7200.5) does not come after"},
      {[](Written& w) {
         w.layout = "GSLC";
         w.projection = 4326;
       },
       "grids/frequencyA/projection is EPSG 4326; only UTM"},
  };
  for (const auto& c : cases) {
    Written w;
    c.change(w);
    Refusal problem;
    const std::string path = write(dir, w);
    EXPECT_FALSE(read_hdf5_product(path, &problem)) << c.named;
    EXPECT_EQ(problem.kind, RefusalKind::malformed);
    EXPECT_EQ(problem.text.rfind(path + ": ", 0), 0u) << problem.text;
    EXPECT_NE(problem.text.find(c.named), std::string::npos) << problem.text;
  }
}

}  // namespace
}  // namespace bperp::stack
