// bperp-stack on the two OPERA CSLC-S1 HDF5 products (tests/data/README.md):
// the default target at the centre of the reference's map grid, the grid
// over it, and the baseline at ground points against the tests' own
// zero-Doppler computation on the files' orbits.
#include <gtest/gtest.h>

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/UTMUPS.hpp>

#include <hdf5.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bperp/stack/inputs/hdf5_product.h"
#include "bperp/stack/support/utc_time.h"
#include "stack_test_support.h"

namespace {

using bperp::stack::ProductInfo;
using stack_test::lines_of;
using stack_test::RunResult;
using stack_test::run_stack;

const std::string dir = std::string(BPERP_SOURCE_DIR) + "/tests/data/opera-cslc-t042/";
const std::string reference = dir + "OPERA_L2_CSLC-S1_T042-088905-IW1_20231021T140757Z_20231023T003801Z_S1A_VV_v1.0.h5";
const std::string secondary = dir + "OPERA_L2_CSLC-S1_T042-088905-IW2_20231009T140758Z_20231010T204936Z_S1A_VV_v1.0.h5";

nlohmann::json json_of(std::vector<std::string> args) {
  args.insert(args.begin(), {"--format", "json"});
  const RunResult r = run_stack(args);
  EXPECT_EQ(r.status, 0) << r.err;
  return nlohmann::json::parse(r.out);
}

ProductInfo product(const std::string& path) {
  bperp::stack::Refusal problem;
  const auto p = bperp::stack::read_hdf5_product(path, &problem);
  if (!p) throw std::runtime_error(problem.text);
  return *p;
}

// The tests' own orbit: Lagrange interpolation of the positions through the
// eight rows nearest t (m, s since the epoch), its derivative the velocity.
struct Interpolated {
  double r[3], v[3];
};
Interpolated lagrange(const ProductInfo& p, double t) {
  const auto& rows = p.orbit.rows;
  std::size_t first = 0;
  while (first + 8 < rows.size() && rows[first + 4].t < t) ++first;
  Interpolated out{};
  for (std::size_t i = first; i < first + 8; ++i) {
    double w = 1.0, dw = 0.0;
    for (std::size_t j = first; j < first + 8; ++j) {
      if (j == i) continue;
      double term = 1.0 / (rows[i].t - rows[j].t);
      for (std::size_t k = first; k < first + 8; ++k)
        if (k != i && k != j) term *= (t - rows[k].t) / (rows[i].t - rows[k].t);
      dw += term;
      w *= (t - rows[j].t) / (rows[i].t - rows[j].t);
    }
    for (int a = 0; a < 3; ++a) {
      out.r[a] += w * rows[i].state.position[a] * 1e3;
      out.v[a] += dw * rows[i].state.position[a] * 1e3;
    }
  }
  return out;
}

// The zero-Doppler state of the orbit for T (m): (S - T) . V = 0 by bisection.
Interpolated zero_doppler(const ProductInfo& p, const double* T) {
  const auto g = [&](double t) {
    const Interpolated s = lagrange(p, t);
    return (s.r[0] - T[0]) * s.v[0] + (s.r[1] - T[1]) * s.v[1] + (s.r[2] - T[2]) * s.v[2];
  };
  double lo = p.orbit.rows.front().t, hi = p.orbit.rows.back().t;
  for (int k = 0; k < 80; ++k) (g(0.5 * (lo + hi)) < 0.0 ? lo : hi) = 0.5 * (lo + hi);
  return lagrange(p, 0.5 * (lo + hi));
}

TEST(Hdf5Command, DefaultTargetIsTheMapGridCentre) {
  const ProductInfo p = product(reference);
  ASSERT_TRUE(p.epsg);
  EXPECT_EQ(*p.epsg, 32610);  // UTM 10 north
  double lat = 0.0, lon = 0.0;
  GeographicLib::UTMUPS::Reverse(10, true, 0.5 * (p.grid_x.front() + p.grid_x.back()),
                                 0.5 * (p.grid_y.front() + p.grid_y.back()), lat, lon);
  const nlohmann::json doc = json_of({reference, secondary});
  EXPECT_NEAR(doc.at("reference").at("latitude_deg").get<double>(), lat, 1e-9);
  EXPECT_NEAR(doc.at("reference").at("longitude_deg").get<double>(), lon, 1e-9);
  EXPECT_NEAR(doc.at("reference").at("wavelength_m").get<double>(), 0.05546576, 1e-9);
  EXPECT_EQ(doc.at("reference").at("kind"), "hdf5");

  // The grid spans the map grid from corner to corner: rows along y,
  // columns along x, each row with its map coordinates.
  const nlohmann::json grid = json_of({"--grid", "2x3", reference, secondary});
  const nlohmann::json& rows = grid.at("secondaries");
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[0].at("grid_x").get<double>(), p.grid_x.front());
  EXPECT_EQ(rows[0].at("grid_y").get<double>(), p.grid_y.front());
  EXPECT_EQ(rows[5].at("grid_x").get<double>(), p.grid_x.back());
  EXPECT_EQ(rows[5].at("grid_y").get<double>(), p.grid_y.back());
  EXPECT_EQ(rows[1].at("grid_x").get<double>(), 0.5 * (p.grid_x.front() + p.grid_x.back()));
  GeographicLib::UTMUPS::Reverse(10, true, p.grid_x.back(), p.grid_y.back(), lat, lon);
  EXPECT_NEAR(rows[5].at("latitude_deg").get<double>(), lat, 1e-9);
}

// At ground points, the tests' own zero-Doppler decomposition (Lagrange
// orbits, bisection, the secondary moved into the reference's zero-Doppler
// plane) and bperp-stack's agree to a millimetre.
TEST(Hdf5Command, BaselinesAtGroundPointsMatchAnIndependentComputation) {
  const ProductInfo ref = product(reference), sec = product(secondary);
  const GeographicLib::Geocentric& wgs84 = GeographicLib::Geocentric::WGS84();
  struct Point {
    double lat, lon, h;
  };
  for (const Point& pt : {Point{39.48, -119.70, 0.0}, Point{39.30, -120.20, 1500.0}, Point{39.65, -119.15, 300.0}}) {
    double T[3];
    wgs84.Forward(pt.lat, pt.lon, pt.h, T[0], T[1], T[2]);
    const Interpolated r = zero_doppler(ref, T);
    const Interpolated s = zero_doppler(sec, T);
    const double speed = std::sqrt(r.v[0] * r.v[0] + r.v[1] * r.v[1] + r.v[2] * r.v[2]);
    const double v[3] = {r.v[0] / speed, r.v[1] / speed, r.v[2] / speed};
    double along = 0.0;
    for (int a = 0; a < 3; ++a) along += (s.r[a] - r.r[a]) * v[a];
    double B[3], U[3], range = 0.0;
    for (int a = 0; a < 3; ++a) {
      B[a] = r.r[a] - (s.r[a] - along * v[a]);
      U[a] = T[a] - r.r[a];
      range += U[a] * U[a];
    }
    range = std::sqrt(range);
    for (double& u : U) u /= range;
    // N = v x U, turned away from the earth.
    double N[3] = {v[1] * U[2] - v[2] * U[1], v[2] * U[0] - v[0] * U[2], v[0] * U[1] - v[1] * U[0]};
    if (N[0] * r.r[0] + N[1] * r.r[1] + N[2] * r.r[2] < 0.0)
      for (double& n : N) n = -n;
    const double parallel = B[0] * U[0] + B[1] * U[1] + B[2] * U[2];
    const double perpendicular = B[0] * N[0] + B[1] * N[1] + B[2] * N[2];

    char at[96];
    std::snprintf(at, sizeof at, "%.10f,%.10f,%.6f", pt.lat, pt.lon, pt.h);
    const nlohmann::json doc = json_of({"--at-point", at, reference, secondary});
    const nlohmann::json& row = doc.at("secondaries").at(0);
    EXPECT_NEAR(row.at("parallel_m").get<double>(), parallel, 1e-3) << at;
    EXPECT_NEAR(row.at("perpendicular_m").get<double>(), perpendicular, 1e-3) << at;
    EXPECT_NEAR(row.at("along_track_removed_m").get<double>(), along, 1e-3) << at;
    EXPECT_NEAR(doc.at("reference").at("reference_slant_range_m").get<double>(), range, 1e-3) << at;
  }
}

// A copy of the reference product at path with edit(file) applied through
// the HDF5 C API.
template <typename Edit>
std::string edited_copy(const std::string& from, const std::string& path, Edit edit) {
  std::filesystem::copy_file(from, path);
  const hid_t file = H5Fopen(path.c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
  if (file < 0) throw std::runtime_error("can't open " + path);
  const bool done = edit(file);
  H5Fclose(file);
  if (!done) throw std::runtime_error("can't edit " + path);
  return path;
}

const char* const wavelength_dataset = "/metadata/processing_information/input_burst_metadata/wavelength";

// The wavelength is the product's or an option's: a product or a dated
// orbit without one is refused rather than given L band, and a state-vector
// reference (the beam geometry's L band) warns of a C-band secondary.
TEST(Hdf5Command, NoWavelengthIsMadeUp) {
  stack_test::TempDir tmp;
  const std::string no_wavelength = edited_copy(reference, tmp.file("nowl.h5"), [](hid_t f) {
    return H5Ldelete(f, wavelength_dataset, H5P_DEFAULT) >= 0;
  });
  const RunResult refused = run_stack({no_wavelength, secondary});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("can't use " + no_wavelength + " as the reference: it gives no radar wavelength or "
                             "frequency; give --wavelength (m) or --sensor"),
            std::string::npos)
      << refused.err;
  // Without its grid too, it lacks a slant range as well: both named in
  // one refusal, so that one run tells all that is missing.
  const std::string bare = edited_copy(no_wavelength, tmp.file("bare.h5"), [](hid_t f) {
    return H5Ldelete(f, "/data/projection", H5P_DEFAULT) >= 0 && H5Ldelete(f, "/data/x_coordinates", H5P_DEFAULT) >= 0 &&
           H5Ldelete(f, "/data/y_coordinates", H5P_DEFAULT) >= 0;
  });
  const RunResult both = run_stack({bare, secondary});
  EXPECT_EQ(both.status, 1);
  EXPECT_EQ(lines_of(both.err), std::vector<std::string>{"bperp-stack: can't use " + bare +
                                                         " as the reference: it gives no slant range and no radar "
                                                         "wavelength or frequency: give --at-range (m) or --at-point, "
                                                         "and --wavelength (m) or --sensor"})
      << both.err;
  // Given: the product's own run (0.05546576 m) to the last digit, or
  // --sensor's c / 5.405 GHz, the height of ambiguity in proportion.
  const double own = json_of({reference, secondary}).at("secondaries")[0].at("height_of_ambiguity_m");
  const nlohmann::json with_wavelength = json_of({"--wavelength", "0.05546576", no_wavelength, secondary});
  EXPECT_EQ(with_wavelength.at("secondaries")[0].at("height_of_ambiguity_m").get<double>(), own);
  const nlohmann::json sensor = json_of({"--sensor", "s1-iw1", no_wavelength, secondary});
  EXPECT_EQ(sensor.at("reference").at("wavelength_source"), "sensor");
  EXPECT_NEAR(sensor.at("secondaries")[0].at("height_of_ambiguity_m").get<double>(),
              own * (299792458.0 / 5.405e9) / 0.05546576, 1e-9);

  // A dated orbit of the reference's vectors (km, s of the day) at the
  // product's own target: refused without a wavelength. One of its state
  // vectors (mid orbit): the beam geometry's L band, and a warning naming
  // the C-band secondary. Neither says a word with --wavelength.
  const ProductInfo p = product(reference);
  std::string text = bperp::stack::utc_text(p.orbit.epoch).substr(0, 10) + " orbit of the reference\n";
  for (const auto& row : p.orbit.rows) {
    char line[256];
    std::snprintf(line, sizeof line, "%.6f %.10f %.10f %.10f %.13f %.13f %.13f\n",
                  bperp::stack::seconds_of_day(p.orbit.epoch) + row.t, row.state.position[0],
                  row.state.position[1], row.state.position[2], row.state.velocity[0], row.state.velocity[1],
                  row.state.velocity[2]);
    text += line;
  }
  const std::string orbit = tmp.write("reference.orbit", text);
  const auto& middle = p.orbit.rows[p.orbit.rows.size() / 2].state;
  const std::string state = tmp.write(
      "reference.txt", test_support::state_vector_text("2023-10-21 a vector of the reference's orbit",
                                                       middle.position, middle.velocity));
  const nlohmann::json target = json_of({reference, secondary}).at("reference");
  char range[64];
  std::snprintf(range, sizeof range, "%.6f", target.at("reference_slant_range_m").get<double>());
  for (const std::vector<std::string>& given :
       {std::vector<std::string>{"--at-time", target.at("reference_time"), "--at-range", range, orbit, secondary},
        std::vector<std::string>{state, secondary}}) {
    std::vector<std::string> args = given;
    const RunResult warned = run_stack(args);
    const std::string& name = given[given.size() - 2];
    if (name == orbit) {
      EXPECT_EQ(warned.status, 1);
      EXPECT_EQ(warned.out, "");
      EXPECT_NE(warned.err.find("can't use " + orbit + " as the reference: it is a dated orbit, which states no "
                                "radar wavelength: give --wavelength (m) or --sensor"),
                std::string::npos)
          << warned.err;
    } else {
      EXPECT_EQ(warned.status, 0) << warned.err;
      EXPECT_NE(warned.err.find("warning: the heights of ambiguity use the settings' wavelength 0.236220 m (" + name +
                                " gives none), but " + secondary + " gives 0.055466 m: give --wavelength or --sensor"),
                std::string::npos)
          << warned.err;
    }
    args.insert(args.begin(), {"--wavelength", "0.05546576"});
    EXPECT_EQ(run_stack(args).err, "") << name;
  }
}

// A user block before the superblock (h5jam's output): still an HDF5
// product, with the same baseline.
TEST(Hdf5Command, UserBlockBeforeTheSuperblock) {
  const std::string h5jam = "/usr/bin/h5jam";
  if (!std::filesystem::exists(h5jam)) GTEST_SKIP() << h5jam << " is not installed";
  stack_test::TempDir tmp;
  const std::string block = tmp.write("block.txt", "a user block of some text\n");
  const std::string jammed = tmp.file("jammed.h5");
  const RunResult jam = stack_test::run(h5jam, {"-i", reference, "-u", block, "-o", jammed});
  ASSERT_EQ(jam.status, 0) << jam.err;
  ASSERT_EQ(stack_test::read_file(jammed).substr(512, 8), std::string(bperp::stack::hdf5_signature));
  const nlohmann::json plain = json_of({reference, secondary});
  const nlohmann::json doc = json_of({jammed, secondary});
  EXPECT_EQ(doc.at("reference").at("kind"), "hdf5");
  EXPECT_EQ(doc.at("secondaries")[0].at("perpendicular_m"), plain.at("secondaries")[0].at("perpendicular_m"));
}

// A --hdf5-orbit group whose name holds a terminal escape is shown escaped
// (as file names are) in the table and the JSON, never raw.
TEST(Hdf5Command, OrbitGroupNamesAreEscaped) {
  stack_test::TempDir tmp;
  const std::string group = "/metadata/orb\x1bit";
  const auto moved = [&](hid_t f) {
    return H5Lmove(f, bperp::stack::hdf5_default_orbit_group, f, group.c_str(), H5P_DEFAULT, H5P_DEFAULT) >= 0;
  };
  const std::string ref = edited_copy(reference, tmp.file("ref.h5"), moved);
  const std::string sec = edited_copy(secondary, tmp.file("sec.h5"), moved);
  const RunResult table = run_stack({"--hdf5-orbit", group, ref, sec});
  EXPECT_EQ(table.status, 0) << table.err;
  EXPECT_EQ(table.out.find('\x1b'), std::string::npos);
  EXPECT_NE(table.out.find("orbit             /metadata/orb\\x1bit\n"), std::string::npos) << table.out;
  const nlohmann::json doc = json_of({"--hdf5-orbit", group, ref, sec});
  EXPECT_EQ(doc.at("reference").at("orbit_source"), "/metadata/orb\\x1bit");
  EXPECT_EQ(doc.at("secondaries")[0].at("orbit_source"), "/metadata/orb\\x1bit");
}

}  // namespace

namespace {

// Writes /identification into f as an OPERA product has it: texts (fixed
// length) and the track number.
bool identify(hid_t f, long long track, const std::string& burst, const char* look = "Right") {
  const hid_t group = H5Gcreate2(f, "/identification", H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
  const hid_t scalar = H5Screate(H5S_SCALAR);
  bool ok = group >= 0 && scalar >= 0;
  const auto text = [&](const char* name, const std::string& value) {
    const hid_t type = H5Tcopy(H5T_C_S1);
    H5Tset_size(type, value.size());
    const hid_t d = H5Dcreate2(group, name, type, scalar, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    ok = ok && d >= 0 && H5Dwrite(d, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, value.data()) >= 0;
    H5Dclose(d);
    H5Tclose(type);
  };
  text("mission_id", "S1A");
  text("burst_id", burst);
  text("look_direction", look);
  text("orbit_pass_direction", "Descending");
  const hid_t d = H5Dcreate2(group, "track_number", H5T_STD_I64LE, scalar, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
  ok = ok && d >= 0 && H5Dwrite(d, H5T_NATIVE_LLONG, H5S_ALL, H5S_ALL, H5P_DEFAULT, &track) >= 0;
  H5Dclose(d);
  H5Sclose(scalar);
  H5Gclose(group);
  return ok;
}

}  // namespace

// With /identification (which the shared files lack: added to copies), an
// OPERA product has its mission, track, burst and look side: the same
// baseline, the burst IDs in the output, another track refused, orbit files
// asked for, and --burst naming its one burst.
TEST(Hdf5Command, IdentificationGivesMissionTrackAndBurst) {
  stack_test::TempDir tmp;
  const auto copy = [&](const std::string& from, const std::string& name, long long track, const std::string& burst,
                        const char* look = "Right") {
    return edited_copy(from, tmp.file(name), [&](hid_t f) { return identify(f, track, burst, look); });
  };
  const std::string ref = copy(reference, "ref.h5", 42, "T042_088905_IW1");
  const std::string sec = copy(secondary, "sec.h5", 42, "t042_088905_iw2");
  const std::string other = copy(secondary, "other.h5", 43, "t043_088905_iw2");
  const nlohmann::json plain = json_of({reference, secondary});
  const nlohmann::json doc = json_of({ref, sec});
  EXPECT_EQ(doc.at("reference").at("mission"), "S1A");
  EXPECT_EQ(doc.at("reference").at("relative_orbit"), 42);
  EXPECT_EQ(doc.at("reference").at("burst_id"), "t042_088905_iw1");
  EXPECT_EQ(doc.at("secondaries")[0].at("burst_id"), "t042_088905_iw2");
  EXPECT_EQ(doc.at("secondaries")[0].at("perpendicular_m"), plain.at("secondaries")[0].at("perpendicular_m"));
  EXPECT_NE(run_stack({ref, sec}).out.find("burst             t042_088905_iw1\n"), std::string::npos);

  const RunResult track = run_stack({"--format", "json", ref, sec, other});
  EXPECT_EQ(track.status, 1);
  const nlohmann::json row = nlohmann::json::parse(track.out).at("secondaries")[1];
  EXPECT_EQ(row.at("error_kind"), "other_track");
  EXPECT_EQ(row.at("error"), other + ": it is of relative orbit 43 (as its product states), the reference of 42: "
                                     "not a repeat pass of its track");

  // Orbit files are looked for (an empty folder: each keeps its own orbit).
  const std::string orbits = tmp.file("orbits");
  std::filesystem::create_directory(orbits);
  const RunResult fallback = run_stack({"--orbit-dir", orbits, ref, sec});
  EXPECT_EQ(fallback.status, 0);
  EXPECT_NE(fallback.err.find(sec + ": no orbit file of S1A covers"), std::string::npos) << fallback.err;

  // --burst names the product's own burst, in any case; another is refused.
  EXPECT_EQ(json_of({"--burst", "T042_088905_IW1", ref, sec}).at("secondaries"), doc.at("secondaries"));
  const RunResult wrong = run_stack({"--burst", "t042_088906_iw1", ref, sec});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find("--burst t042_088906_iw1: it is burst t042_088905_iw1"), std::string::npos) << wrong.err;

  // A product that looks left is seen so: the target on the other side.
  const std::string left = copy(reference, "left.h5", 42, "t042_088905_iw1", "Left");
  const nlohmann::json seen = json_of({"--at-range", "824000", left, sec});
  EXPECT_EQ(seen.at("reference").at("look_side"), "left");
}

namespace {

// A secondary whose HDF5 structure crashes the HDF5 library is one refused
// row (malformed, saying so); the run goes on to the next secondary and
// ends with status 1, by exit, not by the crash.
TEST(Hdf5Command, ASecondaryThatCrashesTheHdf5LibraryIsOneRefusedRow) {
  const stack_test::TempDir tmp;
  const std::string broken = tmp.file("broken.h5");
  std::filesystem::copy_file(secondary, broken);
  ASSERT_GT(stack_test::break_hdf5_group_addresses(broken), 0u);
  const RunResult r = run_stack({"--format", "json", reference, broken, secondary});
  ASSERT_TRUE(r.exited) << test_support::describe(r);
  EXPECT_EQ(r.status, 1) << r.err;
  const nlohmann::json rows = nlohmann::json::parse(r.out).at("secondaries");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].at("error_kind"), "malformed");
  EXPECT_NE(rows[0].at("error").get<std::string>().find("the HDF5 library crashed reading it"), std::string::npos)
      << rows[0].at("error");
  EXPECT_TRUE(rows[1].at("error").is_null()) << rows[1];
  EXPECT_TRUE(rows[1].at("perpendicular_m").is_number());
}

}  // namespace
