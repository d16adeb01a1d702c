// The HDF5 product reader on the two real OPERA CSLC-S1 files (against
// h5dump's binary dumps of the same datasets), on files this test writes
// with the HDF5 C API in the layouts products use, and on hostile ones.
#include "bperp/stack/inputs/hdf5_product.h"

#include <gtest/gtest.h>
#include <hdf5.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>

#include "support/files.h"
#include "support/process.h"
#include "stack_test_support.h"

namespace bperp::stack {
namespace {

using test_support::TempDir;

const std::string data_dir = BPERP_SOURCE_DIR "/tests/data/opera-cslc-t042/";
const std::string iw1_1021 =
    data_dir + "OPERA_L2_CSLC-S1_T042-088905-IW1_20231021T140757Z_20231023T003801Z_S1A_VV_v1.0.h5";
const std::string iw2_1009 =
    data_dir + "OPERA_L2_CSLC-S1_T042-088905-IW2_20231009T140758Z_20231010T204936Z_S1A_VV_v1.0.h5";
const std::string h5dump = "/usr/bin/h5dump";

UtcTime utc(const char* text) { return *parse_utc(text); }

ProductInfo read_ok(const std::string& path, const std::string& group = hdf5_default_orbit_group) {
  Refusal problem;
  const std::optional<ProductInfo> info = read_hdf5_product(path, &problem, group);
  EXPECT_TRUE(info.has_value()) << problem.text;
  return info.value_or(ProductInfo{});
}

// The doubles of dataset in file as h5dump writes them in binary
// (`h5dump -b LE -d dataset -o out file`: the values, little-endian, with
// nothing around them).
std::vector<double> dumped(const std::string& file, const std::string& dataset,
                           const TempDir& dir) {
  const std::string out = dir.file("dump.bin");
  const test_support::ProcessResult r =
      test_support::run_process(h5dump, {"-b", "LE", "-d", dataset, "-o", out, file});
  EXPECT_TRUE(r.exited && r.status == 0) << test_support::describe(r);
  const std::string bytes = test_support::read_bytes(out);
  std::vector<double> values(bytes.size() / sizeof(double));
  std::memcpy(values.data(), bytes.data(), values.size() * sizeof(double));
  return values;
}

// Every orbit number of both real files is the file's own (per h5dump)
// divided by 1000; the row times are the file's times less the first, to
// the nanosecond the epoch is kept to.
TEST(Hdf5Product, RealOrbitsAreTheFilesNumbersInKm) {
  if (!std::filesystem::exists(h5dump)) GTEST_SKIP() << h5dump << " is not installed";
  const TempDir dir;
  for (const std::string& file : {iw1_1021, iw2_1009}) {
    SCOPED_TRACE(file);
    const TimedOrbit o = read_ok(file).orbit;
    const std::vector<double> t = dumped(file, "/metadata/orbit/time", dir);
    ASSERT_EQ(o.rows.size(), 12u);
    ASSERT_EQ(t.size(), 12u);
    for (std::size_t k = 0; k < t.size(); ++k)
      EXPECT_NEAR(o.rows[k].t, t[k] - t[0], 1e-9) << k;  // s
    for (int i = 0; i < 3; ++i) {
      const std::string axis(1, "xyz"[i]);
      const std::vector<double> p = dumped(file, "/metadata/orbit/position_" + axis, dir);
      const std::vector<double> v = dumped(file, "/metadata/orbit/velocity_" + axis, dir);
      ASSERT_EQ(p.size(), 12u);
      ASSERT_EQ(v.size(), 12u);
      for (std::size_t k = 0; k < p.size(); ++k) {
        EXPECT_EQ(o.rows[k].state.position[i], p[k] / 1000.0) << k << " " << axis;
        EXPECT_EQ(o.rows[k].state.velocity[i], v[k] / 1000.0) << k << " " << axis;
      }
    }
  }
}

// Epochs, wavelength, pass and grid of the real files, read off them with
// h5dump (-m %.17g for the numbers). The first vector's time is
// reference_epoch + time[0]: 2023-10-19 14:07:57.529716 + 172744.6911 s
// (two days less 55.3089 s) = 2023-10-21 14:07:02.220816, worked out by
// hand, and likewise 2023-10-07 14:07:58.151772 + 172743.752161 s =
// 2023-10-09 14:07:01.903933.
TEST(Hdf5Product, RealFilesGiveEpochWavelengthAndGrid) {
  const ProductInfo p = read_ok(iw1_1021);
  EXPECT_EQ(p.format, "HDF5 product");
  EXPECT_EQ(p.orbit.source, "/metadata/orbit");
  EXPECT_EQ(p.orbit.epoch, utc("2023-10-21T14:07:02.220816"));
  EXPECT_EQ(p.pass, "DESCENDING");
  EXPECT_EQ(p.look, LookSide::right);
  EXPECT_EQ(p.wavelength_m, 0.055465760000000003);
  EXPECT_EQ(p.epsg, 32610);
  ASSERT_EQ(p.grid_x.size(), 19842u);
  ASSERT_EQ(p.grid_y.size(), 4503u);
  EXPECT_EQ(p.grid_x.front(), 734582.5);
  EXPECT_EQ(p.grid_x.back(), 833787.5);
  EXPECT_EQ(p.grid_y.front(), 4397545.0);
  EXPECT_EQ(p.grid_y.back(), 4352525.0);
  // Five metres a column, ten a row (the grid is regular).
  EXPECT_EQ(p.grid_x.back() - p.grid_x.front(), 5.0 * (19842 - 1));
  EXPECT_EQ(p.grid_y.front() - p.grid_y.back(), 10.0 * (4503 - 1));
  EXPECT_EQ(read_ok(iw2_1009).orbit.epoch, utc("2023-10-09T14:07:01.903933"));
}

// Writes HDF5 files with the C API: datasets of doubles, integers and text,
// text attributes, the groups on the way made as needed.
class Writer {
 public:
  explicit Writer(const std::string& path)
      : file_(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT)),
        links_(H5Pcreate(H5P_LINK_CREATE)) {
    EXPECT_GE(file_, 0) << path;
    H5Pset_create_intermediate_group(links_, 1);
  }
  ~Writer() {
    H5Pclose(links_);
    H5Fclose(file_);
  }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  hid_t file() const { return file_; }
  hid_t links() const { return links_; }

  // values as a dataset of dims (none: a scalar) of type (a float or integer type).
  void numbers(const std::string& path, const std::vector<double>& values,
               const std::vector<hsize_t>& dims, hid_t type = H5T_IEEE_F64LE) {
    const hid_t space = dims.empty()
                            ? H5Screate(H5S_SCALAR)
                            : H5Screate_simple(static_cast<int>(dims.size()), dims.data(), nullptr);
    const hid_t ds = H5Dcreate2(file_, path.c_str(), type, space, links_, H5P_DEFAULT, H5P_DEFAULT);
    EXPECT_GE(ds, 0) << path;
    if (!values.empty()) {
      EXPECT_GE(H5Dwrite(ds, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()), 0);
    }
    H5Dclose(ds);
    H5Sclose(space);
  }
  void list(const std::string& path, const std::vector<double>& values) {
    numbers(path, values, {values.size()});
  }
  // A scalar text dataset (fixed length, NUL-padded, or variable length).
  void text(const std::string& path, const std::string& value, bool variable = false) {
    const hid_t type = string_type(value, variable);
    const hid_t space = H5Screate(H5S_SCALAR);
    const hid_t ds = H5Dcreate2(file_, path.c_str(), type, space, links_, H5P_DEFAULT, H5P_DEFAULT);
    write_text(value, variable, [&](const void* data) {
      return H5Dwrite(ds, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, data);
    });
    H5Dclose(ds);
    H5Sclose(space);
    H5Tclose(type);
  }
  // A scalar text attribute name on the dataset at path.
  void attribute(const std::string& path, const char* name, const std::string& value) {
    const hid_t ds = H5Dopen2(file_, path.c_str(), H5P_DEFAULT);
    const hid_t type = string_type(value, false);
    const hid_t space = H5Screate(H5S_SCALAR);
    const hid_t a = H5Acreate2(ds, name, type, space, H5P_DEFAULT, H5P_DEFAULT);
    write_text(value, false, [&](const void* data) { return H5Awrite(a, type, data); });
    H5Aclose(a);
    H5Sclose(space);
    H5Tclose(type);
    H5Dclose(ds);
  }

 private:
  static hid_t string_type(const std::string& value, bool variable) {
    const hid_t type = H5Tcopy(H5T_C_S1);
    H5Tset_size(type, variable ? H5T_VARIABLE : std::max<std::size_t>(value.size(), 1));
    if (!variable) H5Tset_strpad(type, H5T_STR_NULLPAD);
    return type;
  }
  static void write_text(const std::string& value, bool variable,
                         const std::function<herr_t(const void*)>& write) {
    const char* pointer = value.c_str();
    EXPECT_GE(write(variable ? static_cast<const void*>(&pointer) : value.c_str()), 0);
  }
  hid_t file_, links_;
};

// A written product: each part writes one dataset (key: its path). The
// base has five vectors at 100.25 + 10 k s after the reference epoch.
using Parts = std::map<std::string, std::function<void(Writer&)>>;
const std::string orbit = "/metadata/orbit";
const std::vector<double> times = {100.25, 110.25, 120.25, 130.25, 140.25};

// Component i (0..2) of vector k: position (m) and velocity (m/s), all different.
double position_m(std::size_t k, int i) { return -2136826.426851 + 1000.0 * i + 75.125 * k; }
double velocity_m_s(std::size_t k, int i) { return -3663.1 + 100.0 * i - 0.5 * k; }

std::vector<double> component(double (*f)(std::size_t, int), int i) {
  std::vector<double> c;
  for (std::size_t k = 0; k < times.size(); ++k) c.push_back(f(k, i));
  return c;
}

std::vector<double> rows_of_three(double (*f)(std::size_t, int)) {
  std::vector<double> rows;
  for (std::size_t k = 0; k < times.size(); ++k)
    for (int i = 0; i < 3; ++i) rows.push_back(f(k, i));
  return rows;
}

Parts base_parts(const std::string& group = orbit) {
  Parts parts;
  parts[group + "/time"] = [group](Writer& w) {
    w.list(group + "/time", times);
    w.attribute(group + "/time", "units", "seconds");
  };
  parts[group + "/reference_epoch"] = [group](Writer& w) {
    w.text(group + "/reference_epoch", "2023-10-19 14:07:57.529716");
  };
  for (int i = 0; i < 3; ++i) {
    const std::string axis(1, "xyz"[i]);
    parts[group + "/position_" + axis] = [=](Writer& w) {
      w.list(group + "/position_" + axis, component(position_m, i));
    };
    parts[group + "/velocity_" + axis] = [=](Writer& w) {
      w.list(group + "/velocity_" + axis, component(velocity_m_s, i));
    };
  }
  parts[group + "/orbit_direction"] = [group](Writer& w) {
    w.text(group + "/orbit_direction", "Ascending");
  };
  parts["wavelength"] = [](Writer& w) {
    w.numbers("/metadata/processing_information/input_burst_metadata/wavelength", {0.05546576}, {});
  };
  parts["/data/projection"] = [](Writer& w) {
    w.numbers("/data/projection", {32610}, {}, H5T_STD_I32LE);
  };
  parts["/data/x_coordinates"] = [](Writer& w) {
    w.list("/data/x_coordinates", {500002.5, 500007.5});
  };
  parts["/data/y_coordinates"] = [](Writer& w) {
    w.list("/data/y_coordinates", {4400005.0, 4399995.0, 4399985.0});
  };
  return parts;
}

std::string write_parts(const TempDir& dir, const std::string& name, const Parts& parts) {
  const std::string path = dir.file(name);
  Writer w(path);
  for (const auto& [key, write] : parts) write(w);
  return path;
}

// parts with the six component datasets replaced by position and velocity, N x 3.
Parts rows_layout(Parts parts) {
  for (const char* axis : {"_x", "_y", "_z"}) {
    parts.erase(orbit + "/position" + axis);
    parts.erase(orbit + "/velocity" + axis);
  }
  parts[orbit + "/position"] = [](Writer& w) {
    w.numbers(orbit + "/position", rows_of_three(position_m), {5, 3});
  };
  parts[orbit + "/velocity"] = [](Writer& w) {
    w.numbers(orbit + "/velocity", rows_of_three(velocity_m_s), {5, 3});
  };
  return parts;
}

// parts with the time dataset written with a units attribute of text.
Parts with_time_units(Parts parts, const std::string& units) {
  parts[orbit + "/time"] = [units](Writer& w) {
    w.list(orbit + "/time", times);
    w.attribute(orbit + "/time", "units", units);
  };
  return parts;
}

Parts without(Parts parts, const std::string& key) {
  EXPECT_EQ(parts.erase(key), 1u) << key;
  return parts;
}

Parts replaced(Parts parts, const std::string& key, std::function<void(Writer&)> write) {
  parts[key] = std::move(write);
  return parts;
}

// The base product read back: the epoch (2023-10-19 14:07:57.529716 +
// 100.25 s, by hand), rows 10 s apart, every number the written one / 1000.
TEST(Hdf5Product, WrittenProductReadsBackExactly) {
  const TempDir dir;
  const ProductInfo p = read_ok(write_parts(dir, "base.h5", base_parts()));
  EXPECT_EQ(p.orbit.epoch, utc("2023-10-19T14:09:37.779716"));
  EXPECT_EQ(p.pass, "ASCENDING");
  EXPECT_EQ(p.wavelength_m, 0.05546576);
  EXPECT_EQ(p.epsg, 32610);
  EXPECT_EQ(p.grid_x, (std::vector<double>{500002.5, 500007.5}));
  EXPECT_EQ(p.grid_y, (std::vector<double>{4400005.0, 4399995.0, 4399985.0}));
  ASSERT_EQ(p.orbit.rows.size(), times.size());
  for (std::size_t k = 0; k < times.size(); ++k) {
    EXPECT_EQ(p.orbit.rows[k].t, 10.0 * k);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(p.orbit.rows[k].state.position[i], position_m(k, i) / 1000.0) << k << i;
      EXPECT_EQ(p.orbit.rows[k].state.velocity[i], velocity_m_s(k, i) / 1000.0) << k << i;
    }
  }
}

// Other layouts of the same orbit read as the base does: N x 3 datasets,
// the epoch in the units attribute, a reference_epoch that wins over a
// units attribute of another epoch, a variable-length epoch text, another
// group named by the caller; and a product without wavelength or grid.
TEST(Hdf5Product, OtherLayoutsOfTheSameOrbitReadTheSame) {
  const TempDir dir;
  const ProductInfo base = read_ok(write_parts(dir, "base.h5", base_parts()));
  const std::string epoch_text = "2023-10-19 14:07:57.529716";
  struct Case {
    const char* what;
    Parts parts;
    std::string group;
  };
  const Case cases[] = {
      {"N x 3", rows_layout(base_parts()), orbit},
      {"units epoch",
       with_time_units(without(base_parts(), orbit + "/reference_epoch"),
                       "seconds since " + epoch_text),
       orbit},
      {"reference epoch wins", with_time_units(base_parts(), "seconds since 2000-01-01 00:00:00"),
       orbit},
      {"variable-length epoch",
       replaced(base_parts(), orbit + "/reference_epoch",
                [&](Writer& w) { w.text(orbit + "/reference_epoch", epoch_text, true); }),
       orbit},
      {"caller's group", base_parts("/science/orbit"), "science/orbit/"},
  };
  for (const Case& c : cases) {
    const ProductInfo p = read_ok(write_parts(dir, std::string(c.what) + ".h5", c.parts), c.group);
    EXPECT_EQ(p.orbit.epoch, base.orbit.epoch) << c.what;
    ASSERT_EQ(p.orbit.rows.size(), base.orbit.rows.size()) << c.what;
    for (std::size_t k = 0; k < p.orbit.rows.size(); ++k) {
      EXPECT_EQ(p.orbit.rows[k].t, base.orbit.rows[k].t) << c.what;
      for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(p.orbit.rows[k].state.position[i], base.orbit.rows[k].state.position[i])
            << c.what;
        EXPECT_EQ(p.orbit.rows[k].state.velocity[i], base.orbit.rows[k].state.velocity[i])
            << c.what;
      }
    }
  }
  Parts plain = base_parts();
  for (const char* key : {"wavelength", "/data/projection", "/data/x_coordinates",
                          "/data/y_coordinates", "/metadata/orbit/orbit_direction"})
    plain = without(plain, key);
  const ProductInfo p = read_ok(write_parts(dir, "plain.h5", plain));
  EXPECT_FALSE(p.wavelength_m.has_value());
  EXPECT_FALSE(p.epsg.has_value());
  EXPECT_TRUE(p.grid_x.empty() && p.grid_y.empty());
  EXPECT_EQ(p.pass, "");
}

// The product at path refused (malformed) within 10 s, whatever becomes of
// the reader, with one line that starts with the path and holds words.
void expect_refused(const std::string& path, const std::string& words) {
  SCOPED_TRACE(path);
  const auto start = std::chrono::steady_clock::now();
  Refusal refusal;
  EXPECT_FALSE(read_hdf5_product(path, &refusal).has_value());
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
  EXPECT_EQ(refusal.kind, RefusalKind::malformed);
  EXPECT_TRUE(refusal.text.starts_with(path + ": ")) << refusal.text;
  EXPECT_NE(refusal.text.find(words), std::string::npos) << refusal.text;
  EXPECT_EQ(refusal.text.find('\n'), std::string::npos) << refusal.text;
}

// Each hostile product is refused with a message that starts with the
// file's path and names the dataset (or attribute) and the fault.
TEST(Hdf5Product, HostileProductsAreRefusedNamingTheDataset) {
  const TempDir dir;
  const std::string t = orbit + "/time";
  const auto list_at = [](const std::string& path, std::vector<double> values) {
    return [=](Writer& w) { w.list(path, values); };
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    Parts parts;
    const char* words;
  };
  const Case cases[] = {
      {"missing group", Parts{{"x", [](Writer& w) { w.list("/metadata/other", {1}); }}},
       "/metadata/orbit is missing"},
      {"missing dataset", without(base_parts(), orbit + "/position_y"),
       "/metadata/orbit/position_y is missing"},
      {"2-D time",
       replaced(base_parts(), t,
                [&](Writer& w) {
                  w.numbers(t, times, {5, 1});
                }),
       "/metadata/orbit/time is 5 x 1; expected a list (one dimension)"},
      {"text for numbers",
       replaced(base_parts(), orbit + "/position_x",
                [](Writer& w) { w.text(orbit + "/position_x", "1 2 3 4 5"); }),
       "/metadata/orbit/position_x holds text, not numbers"},
      {"length mismatch",
       replaced(base_parts(), orbit + "/velocity_z", list_at(orbit + "/velocity_z", {1, 2, 3, 4})),
       "/metadata/orbit/velocity_z holds 4 values but /metadata/orbit/time holds 5 times"},
      {"N x 4",
       replaced(rows_layout(base_parts()), orbit + "/velocity",
                [](Writer& w) {
                  w.numbers(orbit + "/velocity", std::vector<double>(20, 1.0), {5, 4});
                }),
       "/metadata/orbit/velocity is 5 x 4; expected N x 3"},
      {"N x 3 of other length",
       replaced(rows_layout(base_parts()), orbit + "/position",
                [](Writer& w) {
                  w.numbers(orbit + "/position", std::vector<double>(12, 1.0), {4, 3});
                }),
       "/metadata/orbit/position holds 4 vectors but /metadata/orbit/time holds 5 times"},
      {"empty orbit", replaced(base_parts(), t, [&](Writer& w) { w.numbers(t, {}, {0}); }),
       "/metadata/orbit/time is empty"},
      {"too few vectors", replaced(base_parts(), t, list_at(t, {1, 2, 3})),
       "/metadata/orbit/time holds 3 times; an orbit needs at least 4 vectors"},
      {"not finite",
       replaced(base_parts(), orbit + "/position_z",
                list_at(orbit + "/position_z", {1, 2, nan, 4, 5})),
       "/metadata/orbit/position_z[2] is nan, not a finite number"},
      {"infinite time", replaced(base_parts(), t, list_at(t, {1, 2, 3, HUGE_VAL, 5})),
       "/metadata/orbit/time[3] is inf, not a finite number"},
      {"times out of order", replaced(base_parts(), t, list_at(t, {1, 2, 4, 3, 5})),
       "/metadata/orbit/time[3] (2023-10-19T14:08:00.529716000Z) does not come after "
       "/metadata/orbit/time[2]"},
      {"repeated time", replaced(base_parts(), t, list_at(t, {1, 2, 2, 3, 5})),
       "/metadata/orbit/time[2] (2023-10-19T14:07:59.529716000Z) does not come after"},
      {"time beyond the years of products", replaced(base_parts(), t, list_at(t, {1, 2, 3, 4, 1e10})),
       "/metadata/orbit/time[4] is 1e+10 s after the epoch 2023-10-19T14:07:57.529716000Z, a time outside "
       "the years 1970 to 2199"},
      {"no epoch", without(base_parts(), orbit + "/reference_epoch"),
       "/metadata/orbit/time has no epoch: neither /metadata/orbit/reference_epoch nor a units"},
      {"time in minutes", with_time_units(base_parts(), "minutes since 2023-10-19 00:00:00"),
       "/metadata/orbit/time attribute units is 'minutes since 2023-10-19 00:00:00'; the times "
       "must be in seconds"},
      {"epoch no date",
       replaced(base_parts(), orbit + "/reference_epoch",
                [](Writer& w) { w.text(orbit + "/reference_epoch", "2023-02-30 00:00:00"); }),
       "/metadata/orbit/reference_epoch: \"2023-02-30 00:00:00\" is not a UTC time (not a calendar "
       "date"},
      {"epoch year",
       with_time_units(without(base_parts(), orbit + "/reference_epoch"),
                       "seconds since 9999-01-01 00:00:00"),
       "/metadata/orbit/time attribute units is '9999-01-01 00:00:00', not a UTC time of the years "
       "1970 to 2199"},
      {"epoch a number",
       replaced(base_parts(), orbit + "/reference_epoch", list_at(orbit + "/reference_epoch", {0})),
       "/metadata/orbit/reference_epoch holds floating-point numbers, not text"},
      {"unknown EPSG",
       replaced(base_parts(), "/data/projection",
                [](Writer& w) { w.numbers("/data/projection", {4326}, {}, H5T_STD_I32LE); }),
       "/data/projection is EPSG 4326; only UTM (32601-32660, 32701-32760) and UPS (32661, "
       "32761) grids are read"},
      {"EPSG a float",
       replaced(base_parts(), "/data/projection",
                [](Writer& w) { w.numbers("/data/projection", {32610}, {}); }),
       "/data/projection holds floating-point numbers, not an integer"},
      {"grid without y", without(base_parts(), "/data/y_coordinates"),
       "/data/y_coordinates is missing"},
      {"grid without projection", without(base_parts(), "/data/projection"),
       "/data/projection is missing"},
      {"grid not finite",
       replaced(base_parts(), "/data/x_coordinates", list_at("/data/x_coordinates", {1, nan})),
       "/data/x_coordinates[1] is nan, not a finite number"},
      {"wavelength zero",
       replaced(base_parts(), "wavelength",
                [](Writer& w) {
                  w.numbers("/metadata/processing_information/input_burst_metadata/wavelength", {0},
                            {});
                }),
       "input_burst_metadata/wavelength is 0 m; a SAR's wavelength lies between 3 mm and 3 m"},
      {"wavelength a list",
       replaced(base_parts(), "wavelength",
                [](Writer& w) {
                  w.list("/metadata/processing_information/input_burst_metadata/wavelength",
                         {0.05, 0.06});
                }),
       "input_burst_metadata/wavelength is 2; expected a single value"},
      {"bad direction",
       replaced(base_parts(), orbit + "/orbit_direction",
                [](Writer& w) { w.text(orbit + "/orbit_direction", "Sideways"); }),
       "/metadata/orbit/orbit_direction is 'Sideways', not Ascending or Descending"},
  };
  for (const Case& c : cases) expect_refused(write_parts(dir, std::string(c.what) + ".h5", c.parts), c.words);
}

// A dataset of five numbers at path made with the creation list dcpl
// (closed here) and type, nothing written to it.
void dataset_with(Writer& w, const std::string& path, hid_t dcpl, hid_t type) {
  const hsize_t n = times.size();
  const hid_t space = H5Screate_simple(1, &n, nullptr);
  const hid_t ds = H5Dcreate2(w.file(), path.c_str(), type, space, w.links(), dcpl, H5P_DEFAULT);
  EXPECT_GE(ds, 0) << path;
  H5Dclose(ds);
  H5Sclose(space);
  H5Pclose(dcpl);
}

// Files hostile in their structure, each refused (malformed) within a bound,
// whatever becomes of the reader process: links and storage that lead out
// of the file (into a named pipe, whose read would block for ever, or
// beside it), a virtual dataset, numbers 4 GB wide, a group address that
// crashes the HDF5 library.
TEST(Hdf5Product, HostileStructuresAreRefusedWithinABound) {
  const TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  std::filesystem::create_directory(dir.path() / "outside");
  write_parts(dir, "outside/orbit.h5", base_parts());
  write_parts(dir, "source.h5", Parts{{"s", [](Writer& w) { w.list("/source", times); }}});
  const std::string t = orbit + "/time";
  const auto with_time = [&](std::function<void(Writer&)> write) {
    return replaced(base_parts(), t, [write, t](Writer& w) {
      write(w);
      w.attribute(t, "units", "seconds");
    });
  };
  struct Case {
    const char* what;
    Parts parts;
    const char* words;
  };
  const Case cases[] = {
      {"time an external link into a pipe",
       replaced(base_parts(), t, [&](Writer& w) {
         H5Lcreate_external("fifo", "/time", w.file(), t.c_str(), w.links(), H5P_DEFAULT);
       }),
       "/metadata/orbit/time is an external link (into another file), which is not followed"},
      {"orbit group an external link beside the file",
       Parts{{"link", [](Writer& w) {
                H5Lcreate_external("outside/orbit.h5", "/metadata/orbit", w.file(), "/metadata/orbit", w.links(),
                                   H5P_DEFAULT);
              }}},
       "/metadata/orbit is an external link"},
      {"time stored in a pipe", with_time([&](Writer& w) {
         const hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
         H5Pset_external(dcpl, dir.file("fifo").c_str(), 0, times.size() * sizeof(double));
         dataset_with(w, t, dcpl, H5T_IEEE_F64LE);
       }),
       "/metadata/orbit/time keeps its values in external files, which are not read"},
      {"time a virtual dataset", with_time([&](Writer& w) {
         const hsize_t n = times.size();
         const hid_t space = H5Screate_simple(1, &n, nullptr);
         const hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
         H5Pset_virtual(dcpl, space, dir.file("source.h5").c_str(), "/source", space);
         H5Sclose(space);
         dataset_with(w, t, dcpl, H5T_IEEE_F64LE);
       }),
       "/metadata/orbit/time is a virtual dataset"},
      {"numbers 4 GB wide", with_time([&](Writer& w) {
         const hid_t wide = H5Tcopy(H5T_IEEE_F64LE);
         H5Tset_size(wide, 0xFF000008);
         dataset_with(w, t, H5Pcreate(H5P_DATASET_CREATE), wide);
         H5Tclose(wide);
       }),
       "/metadata/orbit/time holds floating-point numbers of 4278190088 bytes each; at most 16 are read"},
      {"a group address all ones", base_parts(), "the HDF5 library crashed reading it (signal 11, SIGSEGV)"},
  };
  for (const Case& c : cases) {
    const std::string path = write_parts(dir, std::string(c.what) + ".h5", c.parts);
    if (std::string(c.what) == "a group address all ones") {
      EXPECT_GT(stack_test::break_hdf5_group_addresses(path), 0u);
    }
    expect_refused(path, c.words);
  }
}

// Values beyond what a SAR's product can hold, each refused naming the
// dataset and the bound: times that leave the years of products however
// the epoch and the offsets combine (an overflow of the 64-bit nanoseconds
// before), a wavelength of 1e308 m, map coordinates far outside the zone
// (whose middle would still be a point inside it).
TEST(Hdf5Product, ValuesBeyondTheirBoundsAreRefused) {
  const TempDir dir;
  const std::string t = orbit + "/time";
  const auto epoch_and_times = [&](const std::string& epoch, std::vector<double> offsets) {
    Parts parts = replaced(base_parts(), orbit + "/reference_epoch",
                           [=](Writer& w) { w.text(orbit + "/reference_epoch", epoch); });
    return replaced(parts, t, [=](Writer& w) {
      w.list(t, offsets);
      w.attribute(t, "units", "seconds");
    });
  };
  const auto grid = [&](const char* axis, std::vector<double> values) {
    return replaced(base_parts(), axis, [=](Writer& w) { w.list(axis, values); });
  };
  struct Case {
    const char* what;
    Parts parts;
    const char* words;
  };
  const Case cases[] = {
      {"2199 and a century on", epoch_and_times("2199-12-31 00:00:00", {3.15e9, 3.15e9 + 10, 3.15e9 + 20, 3.15e9 + 30, 3.15e9 + 40}),
       "/metadata/orbit/time[0] is 3.15e+09 s after the epoch 2199-12-31T00:00:00.000000000Z, a time outside the "
       "years 1970 to 2199"},
      {"1970 and a century back", epoch_and_times("1970-01-01 00:00:00", {-3.15e9, -3.15e9 + 10, -3.15e9 + 20, -3.15e9 + 30, 0}),
       "/metadata/orbit/time[0] is -3.15e+09 s after the epoch 1970-01-01T00:00:00.000000000Z"},
      {"one second past 2199", epoch_and_times("2199-12-31 23:59:00", {0, 10, 20, 30, 61}),
       "/metadata/orbit/time[4] is 61 s after the epoch"},
      {"wavelength 1e308",
       replaced(base_parts(), "wavelength",
                [](Writer& w) {
                  w.numbers("/metadata/processing_information/input_burst_metadata/wavelength", {1e308}, {});
                }),
       "input_burst_metadata/wavelength is 1e+308 m; a SAR's wavelength lies between 3 mm and 3 m"},
      {"wavelength in mm",
       replaced(base_parts(), "wavelength",
                [](Writer& w) {
                  w.numbers("/metadata/processing_information/input_burst_metadata/wavelength", {55.46576}, {});
                }),
       "wavelength is 55.46576 m"},
      {"eastings of 1e300", grid("/data/x_coordinates", {-1e300, 1e300}),
       "/data/x_coordinates holds -1e+300 m; an easting of EPSG 32610 lies between 0 and 1000 km"},
      {"a northing south of the zone", grid("/data/y_coordinates", {4400005.0, -9200000.0}),
       "/data/y_coordinates holds -9200000 m; a northing of EPSG 32610 lies between -9100 and 9600 km"},
  };
  for (const Case& c : cases) expect_refused(write_parts(dir, std::string(c.what) + ".h5", c.parts), c.words);
  // The edges themselves are read: the last second of 2199.
  const ProductInfo p = read_ok(write_parts(dir, "edge.h5", epoch_and_times("2199-12-31 23:59:00", {0, 10, 20, 30, 59.999999999})));
  EXPECT_EQ(utc_text(add_seconds(p.orbit.epoch, p.orbit.rows.back().t)), "2199-12-31T23:59:59.999999999Z");
}

// The EPSG codes of UTM north and south and of UPS, at their edges, and
// their neighbours that are no such projection.
TEST(Hdf5Product, OnlyUtmAndUpsCodesAreRead) {
  const TempDir dir;
  struct Case {
    double code;
    bool read;
  };
  const Case cases[] = {{32601, true},  {32660, true},  {32661, true},  {32701, true},
                        {32760, true},  {32761, true},  {32600, false}, {32662, false},
                        {32700, false}, {32762, false}, {-32610, false}};
  for (const Case& c : cases) {
    // UPS grids lie some 2,000 km from the pole on both axes.
    const bool ups = c.code == 32661 || c.code == 32761;
    Parts parts = replaced(base_parts(), "/data/projection", [&](Writer& w) {
      w.numbers("/data/projection", {c.code}, {1}, H5T_STD_I64LE);
    });
    if (ups)
      for (const char* axis : {"/data/x_coordinates", "/data/y_coordinates"})
        parts[axis] = [axis](Writer& w) { w.list(axis, {2000002.5, 2000007.5}); };
    const std::string path = write_parts(dir, "epsg.h5", parts);
    Refusal problem;
    const std::optional<ProductInfo> p = read_hdf5_product(path, &problem);
    ASSERT_EQ(p.has_value(), c.read) << c.code << ": " << problem.text;
    if (p) {
      EXPECT_EQ(p->epsg, static_cast<int>(c.code));
    }
  }
}

// Files that are no HDF5 product: text, a signature with nothing valid
// after it, a folder, a missing file; and the signature test itself.
TEST(Hdf5Product, FilesThatAreNoHdf5AreRefusedByName) {
  const TempDir dir;
  struct Case {
    std::string path, words;
    bool signature;
    RefusalKind kind;
  };
  const Case cases[] = {
      {dir.write("text.h5", "hello, world\n"),
       "is no HDF5 file (the HDF5 signature is neither at its start nor after a user block)", false,
       RefusalKind::unknown_format},
      {dir.write("cut.h5", std::string(hdf5_signature) + std::string(100, '\0')), "HDF5 cannot open it", true,
       RefusalKind::malformed},
      {dir.write("empty.h5", ""), "is no HDF5 file", false, RefusalKind::unknown_format},
      {dir.path().string(), "is no regular file", false, RefusalKind::unreadable},
      {dir.file("absent.h5"), "cannot open it (No such file", false, RefusalKind::unreadable},
  };
  for (const Case& c : cases) {
    Refusal problem;
    EXPECT_FALSE(read_hdf5_product(c.path, &problem).has_value()) << c.path;
    EXPECT_EQ(problem.kind, c.kind) << c.path;
    EXPECT_TRUE(problem.text.starts_with(c.path + ": " + c.words)) << problem.text;
    EXPECT_EQ(hdf5_file(c.path), c.signature) << c.path;
  }
  EXPECT_TRUE(hdf5_file(iw1_1021));
  EXPECT_TRUE(looks_like_hdf5(std::string(hdf5_signature) + "rest"));
  EXPECT_FALSE(looks_like_hdf5(hdf5_signature.substr(0, 7)));
}

// The signature after a user block: at 512 * 2^k bytes only, where the HDF5
// library looks for the superblock; not at other offsets, not cut short.
TEST(Hdf5Product, SignatureAfterAUserBlock) {
  const TempDir dir;
  struct Case {
    std::size_t offset;
    std::size_t after;  // bytes of the signature and beyond
    bool found;
  };
  const std::string sig(hdf5_signature);
  for (const Case& c : {Case{0, 8, true}, Case{512, 8, true}, Case{1024, 100, true}, Case{65536, 8, true},
                        Case{100, 8, false}, Case{511, 8, false}, Case{1536, 8, false}, Case{512, 7, false}}) {
    std::string bytes(c.offset, 'u');
    bytes += (sig + std::string(100, '\0')).substr(0, c.after);
    const std::string path = dir.write("block" + std::to_string(c.offset) + "_" + std::to_string(c.after), bytes);
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(hdf5_signature_in_file(fd), c.found) << c.offset << " " << c.after;
    ::close(fd);
    EXPECT_EQ(hdf5_file(path), c.found) << c.offset;
  }
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::write(ends[1], sig.data(), sig.size()), static_cast<ssize_t>(sig.size()));
  EXPECT_FALSE(hdf5_signature_in_file(ends[0]));  // a pipe cannot be read at an offset
  ::close(ends[0]);
  ::close(ends[1]);
}

}  // namespace
}  // namespace bperp::stack
