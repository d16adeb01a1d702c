// The image parameter file reader on the real relative-orbit-5 files, on
// copies of them made hostile in memory, and the content test that tells a
// parameter file by its first bytes.
#include "bperp/stack/inputs/image_parameters.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <fstream>

#include "support/files.h"

namespace bperp::stack {
namespace {

using test_support::TempDir;

const std::string data_dir = BPERP_SOURCE_DIR "/tests/data/gamma-slc-par/";
const std::string slc_0106 = data_dir + "r20180106_VV_slc.par";
const std::string mli_0106 = data_dir + "r20180106_VV_8rlks_mli.par";

UtcTime utc(const char* text) { return *parse_utc(text); }

ProductInfo read_real(const std::string& path) {
  Refusal problem;
  const std::optional<ProductInfo> info = read_image_parameters(path, &problem);
  EXPECT_TRUE(info.has_value()) << problem.text;
  return info.value_or(ProductInfo{});
}

// Values read off the two files of 2018-01-06 by eye (cat); the times of
// day turned into clock times by hand (2412.556599 s = 00:40:12.556599).
struct RealCase {
  std::string path;
  const char *first, *centre, *last;
  double line_time_s;
  long lines, samples;
  double near_m, centre_m, far_m, spacing_m;
};

TEST(ImageParameters, RealFilesGiveTheirTimingRangesAndRadar) {
  const RealCase cases[] = {
      {slc_0106, "2018-01-06T00:40:12.556599", "2018-01-06T00:40:21.890880",
       "2018-01-06T00:40:31.225161", 2.0555563e-03, 9083, 68116, 798980.1369, 878319.1947,
       957658.2525, 2.329562},
      {mli_0106, "2018-01-06T00:40:12.557627", "2018-01-06T00:40:21.889852",
       "2018-01-06T00:40:31.222078", 4.1111126e-03, 4541, 8514, 798988.2904, 878314.5356,
       957640.7808, 18.636496},
  };
  for (const RealCase& c : cases) {
    SCOPED_TRACE(c.path);
    const ProductInfo p = read_real(c.path);
    EXPECT_EQ(p.format, "image parameter file");
    EXPECT_EQ(p.mission, "S1A");
    EXPECT_EQ(p.swath, "IW1");
    EXPECT_EQ(p.polarisation, "VV");
    EXPECT_EQ(p.look, LookSide::right);
    EXPECT_EQ(p.radar_frequency_hz, 5.4050005e+09);
    EXPECT_EQ(p.range_sampling_rate_hz, 6.4345241e+07);
    EXPECT_EQ(p.range_bandwidth_hz, 5.65e7);   // chirp_bandwidth
    EXPECT_EQ(p.azimuth_bandwidth_hz, 327.0);  // azimuth_proc_bandwidth
    EXPECT_EQ(p.image.first_line, utc(c.first));
    EXPECT_EQ(p.image.centre_line, utc(c.centre));
    EXPECT_EQ(p.image.last_line, utc(c.last));
    EXPECT_EQ(p.image.line_interval_s, c.line_time_s);
    EXPECT_EQ(p.image.lines, c.lines);
    EXPECT_EQ(p.image.samples, c.samples);
    EXPECT_EQ(p.image.near_range_m, c.near_m);
    EXPECT_EQ(p.image.centre_range_m, c.centre_m);
    EXPECT_EQ(p.image.far_range_m, c.far_m);
    EXPECT_EQ(p.image.range_pixel_spacing_m, c.spacing_m);
    EXPECT_EQ(p.doppler_polynomial,
              (std::vector<double>{28.89379, -1.70466e-04, 1.00457e-09, 0.0}));
    EXPECT_EQ(p.doppler_reference_range_m, c.centre_m);
  }
}

// The orbit of the SLC file of 2018-01-06, read off it by eye: 6 vectors
// 10 s apart from 2399.144213 s of the day (00:39:59.144213); the first and
// the last to every digit (m and m/s in the file, km and km/s here).
TEST(ImageParameters, OrbitIsKeptToTheLastDigitInKm) {
  const TimedOrbit o = read_real(slc_0106).orbit;
  EXPECT_EQ(o.source, "parameter file");
  EXPECT_EQ(o.epoch, utc("2018-01-06T00:39:59.144213"));
  ASSERT_EQ(o.rows.size(), 6u);
  for (std::size_t k = 0; k < o.rows.size(); ++k) EXPECT_EQ(o.rows[k].t, 10.0 * k) << k;
  struct Expected {
    std::size_t row;
    double p[3], v[3];
  };
  for (const Expected& e :
       {Expected{
            0, {-1442.6399545, -6604.8069075, 2082.9514020}, {-1.10460340, 2.48917836, 7.09292324}},
        Expected{5,
                 {-1495.3458056, -6470.9542105, 2434.4897198},
                 {-1.00268294, 2.86355516, 6.96529946}}}) {
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(o.rows[e.row].state.position[i], e.p[i], 1e-12) << e.row << " " << i;  // km
      EXPECT_NEAR(o.rows[e.row].state.velocity[i], e.v[i], 1e-15) << e.row << " " << i;  // km/s
    }
  }
}

// The positions and velocities belong together and to the interval: the
// step between two vectors is the interval times their mean velocity, to
// the trapezoid rule's error (h^3 / 12 times the jerk, some 0.1 m/s over
// 10 s in a low orbit). A row out of place, a swapped axis or a velocity in
// the wrong unit breaks it by km/s.
TEST(ImageParameters, StepsBetweenVectorsMatchTheirVelocities) {
  constexpr double tolerance_km_s = 0.5e-3;  // 0.5 m/s
  for (const std::string& path : {slc_0106, mli_0106}) {
    const TimedOrbit o = read_real(path).orbit;
    for (std::size_t k = 0; k + 1 < o.rows.size(); ++k) {
      const double dt = o.rows[k + 1].t - o.rows[k].t;
      for (int i = 0; i < 3; ++i) {
        const double step = (o.rows[k + 1].state.position[i] - o.rows[k].state.position[i]) / dt;
        const double mean = (o.rows[k + 1].state.velocity[i] + o.rows[k].state.velocity[i]) / 2;
        EXPECT_NEAR(step, mean, tolerance_km_s) << path << " " << k << " " << i;
      }
    }
  }
}

// The SLC and the multilooked image of one date are one acquisition: the
// same orbit, bit for bit, for each of the three dates.
TEST(ImageParameters, SlcAndMultilookedImageOfADateHoldTheSameOrbit) {
  for (const char* date : {"20180106", "20180130", "20180319"}) {
    const TimedOrbit slc = read_real(data_dir + "r" + date + "_VV_slc.par").orbit;
    const TimedOrbit mli = read_real(data_dir + "r" + date + "_VV_8rlks_mli.par").orbit;
    EXPECT_EQ(slc.epoch, mli.epoch) << date;
    ASSERT_EQ(slc.rows.size(), mli.rows.size()) << date;
    for (std::size_t k = 0; k < slc.rows.size(); ++k) {
      EXPECT_EQ(slc.rows[k].t, mli.rows[k].t);
      for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(slc.rows[k].state.position[i], mli.rows[k].state.position[i]) << date;
        EXPECT_EQ(slc.rows[k].state.velocity[i], mli.rows[k].state.velocity[i]) << date;
      }
    }
  }
}

// text with the first `from` replaced by `to`.
std::string with(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// text with every "\n" written as "\r\n".
std::string with_crlf(const std::string& text) {
  std::string out;
  for (const char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

// Written differently, the same file: line ends of another system, no
// title line, keys this reader does not know, a tab for the blanks.
TEST(ImageParameters, LayoutThatKeepsTheMeaningReadsTheSame) {
  const std::string real = test_support::read_bytes(slc_0106);
  const ProductInfo reference = read_real(slc_0106);
  const std::string variants[] = {
      with_crlf(real),
      with(real, "Gamma Interferometric SAR Processor (ISP) - Image Parameter File\n", ""),
      with(real, "date:", "some_new_key:  1 2 3 m\ndate:"),
      with(real, "range_samples:                 68116", "range_samples:\t68116"),
  };
  for (const std::string& v : variants) {
    std::string problem;
    const std::optional<ProductInfo> p = parse_image_parameters(v, "variant.par", &problem);
    ASSERT_TRUE(p.has_value()) << problem;
    EXPECT_EQ(p->image.first_line, reference.image.first_line);
    EXPECT_EQ(p->image.samples, reference.image.samples);
    EXPECT_EQ(p->image.far_range_m, reference.image.far_range_m);
    ASSERT_EQ(p->orbit.rows.size(), reference.orbit.rows.size());
    EXPECT_EQ(p->orbit.rows.back().state.velocity[2],
              reference.orbit.rows.back().state.velocity[2]);
  }
}

// The look side by azimuth_angle, and the angles of no look refused.
TEST(ImageParameters, AzimuthAngleGivesTheLookSide) {
  const std::string real = test_support::read_bytes(slc_0106);
  const std::string line = "azimuth_angle:               90.0000   degrees";
  struct Case {
    const char* angle;
    std::optional<LookSide> look;
  };
  const Case cases[] = {{"90", LookSide::right}, {"-90.0", LookSide::left}, {"270", LookSide::left},
                        {"0", std::nullopt},     {"89.9", std::nullopt},    {"-270", std::nullopt},
                        {"180", std::nullopt}};
  for (const Case& c : cases) {
    std::string problem;
    const std::optional<ProductInfo> p = parse_image_parameters(
        with(real, line, std::string("azimuth_angle: ") + c.angle + " degrees"), "look.par",
        &problem);
    ASSERT_EQ(p.has_value(), c.look.has_value()) << c.angle << ": " << problem;
    if (p) {
      EXPECT_EQ(p->look, *c.look) << c.angle;
    } else {
      EXPECT_NE(problem.find("expected 90 (right looking), -90 or 270 (left looking)"),
                std::string::npos)
          << problem;
    }
  }
}

// Each hostile copy of the real SLC file is refused with a message that
// starts with the name and holds the words that name the key and the fault.
TEST(ImageParameters, HostileFilesAreRefusedNamingTheKey) {
  const std::string a = test_support::read_bytes(slc_0106);
  const std::string position_4 =
      "state_vector_position_4:  -1474876.1671   -6526740.0329    2294644.1512   m   m   m\n";
  const std::string velocity_6 =
      "state_vector_velocity_6:    -1002.68294      2863.55516      6965.29946   m/s m/s m/s\n";
  struct Case {
    const char* what;
    std::string bytes;
    const char* words;
  };
  const Case cases[] = {
      {"empty", "", "is empty"},
      {"not a parameter file", "hello\n", "date is missing"},
      {"missing vector", with(a, position_4, ""), "state_vector_position_4 is missing"},
      {"missing key", with(a, "radar_frequency:", "radar_freq:"), "radar_frequency is missing"},
      {"count too large",
       with(a, "number_of_state_vectors:                    6", "number_of_state_vectors: 7"),
       "state_vector_position_7 is missing"},
      {"count too small",
       with(a, "number_of_state_vectors:                    6", "number_of_state_vectors: 5"),
       "'state_vector_position_6' is given, but number_of_state_vectors is 5"},
      {"stray vector", with(a, velocity_6, velocity_6 + "state_vector_velocity_06: 1 2 3\n"),
       "'state_vector_velocity_06' is given"},
      {"too few vectors",
       with(a, "number_of_state_vectors:                    6", "number_of_state_vectors: 3"),
       "number_of_state_vectors is 3; it must be at least 4"},
      {"count no number",
       with(a, "number_of_state_vectors:                    6", "number_of_state_vectors: six"),
       "number_of_state_vectors is not a whole number: 'six'"},
      {"samples no number", with(a, "68116", "abc"), "range_samples is not a whole number: 'abc'"},
      {"samples a fraction", with(a, "68116", "68116.5"),
       "range_samples is not a whole number: '68116.5'"},
      {"no lines", with(a, "azimuth_lines:                  9083", "azimuth_lines: 0"),
       "azimuth_lines is 0; it must be at least 1"},
      {"nan", with(a, "798980.1369", "nan"),
       "near_range_slc is not a finite decimal number: 'nan'"},
      {"infinite in a vector", with(a, "-6526740.0329", "-inf"),
       "state_vector_position_4 (number 2) is not a finite decimal number: '-inf'"},
      {"overflow", with(a, "2863.55516", "1e400"),
       "state_vector_velocity_6 (number 2) is not a finite decimal number: '1e400'"},
      {"decimal comma", with(a, "2.329562", "2,329562"),
       "range_pixel_spacing is not a finite decimal number: '2,329562'"},
      {"too few numbers",
       with(a, "-1474876.1671   -6526740.0329    2294644.1512", "-1474876.1671   -6526740.0329"),
       "state_vector_position_4 holds 2 numbers, not 3"},
      {"too many numbers", with(a, "2294644.1512   m   m   m", "2294644.1512 7 m m m"),
       "state_vector_position_4 holds more than 3 numbers: '7 m m m'"},
      {"other unit", with(a, "798980.1369  m", "798.9801369  km"),
       "near_range_slc is given in 'km', not in 'm'"},
      {"velocity in km/s", with(a, "m/s m/s m/s", "km/s km/s km/s"),
       "state_vector_velocity_1 is given in 'km/s km/s km/s', not in 'm/s m/s m/s'"},
      {"key twice", a + "radar_frequency: 9.6e9 Hz\n",
       "radar_frequency is given twice (lines 33 and 63)"},
      {"no calendar date", with(a, "2018 01 06", "2018 02 30"),
       "date is no calendar date: '2018 02 30'"},
      {"month 13", with(a, "2018 01 06", "2018 13 06"), "date is no calendar date"},
      {"no date", with(a, "2018 01 06", "2018-01-06"), "date is not a date (year month day)"},
      {"date too short", with(a, "2018 01 06", "2018 01"), "date is not a date (year month day)"},
      {"year of no product", with(a, "2018 01 06", "1900 01 06"),
       "date '1900 01 06' lies outside the years 1970 to 2199"},
      {"time beyond two days", with(a, "2412.556599", "1e6"),
       "start_time is 1e+06 s; it must lie within -86400 to 172800 s of the day"},
      {"end before start", with(a, "2431.225161", "2400.0"), "end_time comes before start_time"},
      {"centre outside", with(a, "2421.890880", "2440.0"),
       "center_time lies outside start_time to end_time"},
      {"far before near", with(a, "957658.2525", "700000.0"),
       "far_range_slc is less than near_range_slc"},
      {"zero line time", with(a, "2.0555563e-03", "0"),
       "azimuth_line_time is 0 s; it must be positive"},
      {"negative frequency", with(a, "5.4050005e+09", "-5.4e9"),
       "radar_frequency is -5.4e+09 Hz; a SAR's radar frequency lies between 0.1 and 100 GHz"},
      {"frequency of 1e308", with(a, "5.4050005e+09", "1e308"), "radar_frequency is 1e+308 Hz; a SAR's"},
      {"frequency in GHz", with(a, "5.4050005e+09", "5.405"), "radar_frequency is 5.405 Hz; a SAR's"},
      {"bandwidth above the frequency", with(a, "5.6500000e+07", "6e9"),
       "chirp_bandwidth is 6e+09 Hz; a bandwidth lies below the radar frequency (5405000500 Hz)"},
      {"range of an aircraft", with(a, "798980.1369", "9000"),
       "near_range_slc is 9000 m; a satellite's slant range lies between 100 and 3,000 km"},
      {"vectors beyond 2199", with(with(a, "2018 01 06", "2199 12 31"), "10.000000   s", "86400 s"),
       "number_of_state_vectors 6 at state_vector_interval 86400 s reach 432000 s after "
       "2199-12-31T00:39:59.144213000Z, beyond the years 1970 to 2199"},
      {"a time before 1970", with(with(a, "2018 01 06", "1970 01 01"), "2412.556599", "-3600"),
       "start_time is -3600 s after 00:00 of 1970-01-01, a time outside the years 1970 to 2199"},
      {"zero interval", with(a, "10.000000   s", "0 s"),
       "state_vector_interval is 0 s; it must be positive"},
      {"doppler of three", with(a, "1.00457e-09  0.00000e+00  Hz", "1.00457e-09  Hz"),
       "doppler_polynomial holds 3 numbers, not 4"},
  };
  for (const Case& c : cases) {
    std::string problem;
    const std::optional<ProductInfo> info =
        parse_image_parameters(c.bytes, "hostile.par", &problem);
    EXPECT_FALSE(info.has_value()) << c.what;
    EXPECT_TRUE(problem.starts_with("hostile.par: ")) << c.what << ": " << problem;
    EXPECT_NE(problem.find(c.words), std::string::npos) << c.what << ": " << problem;
    EXPECT_EQ(problem.find('\n'), std::string::npos) << c.what << ": " << problem;
  }
}

// A file is judged by its size before anything is read: a sparse file one
// byte over the cap is refused at once; a folder and a missing file by name.
TEST(ImageParameters, FilesOverTheCapOrNotRegularAreRefusedByName) {
  const TempDir dir;
  const std::string big = dir.file("big.par");
  { std::ofstream(big).put('d'); }
  ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(max_image_parameter_bytes) + 1), 0);
  Refusal problem;
  EXPECT_FALSE(read_image_parameters(big, &problem).has_value());
  EXPECT_EQ(problem.kind, RefusalKind::malformed);
  EXPECT_EQ(problem.text, big + ": is 1048577 bytes, more than the 1 MiB (1048576 bytes) a parameter file may hold");
  EXPECT_FALSE(read_image_parameters(dir.path().string(), &problem).has_value());
  EXPECT_EQ(problem.kind, RefusalKind::unreadable);
  EXPECT_EQ(problem.text, dir.path().string() + ": is no regular file");
  EXPECT_FALSE(read_image_parameters(dir.file("absent.par"), &problem).has_value());
  EXPECT_EQ(problem.kind, RefusalKind::unreadable);
  EXPECT_TRUE(problem.text.starts_with(dir.file("absent.par") + ": cannot open it")) << problem.text;
}

// A parameter file by its first bytes: the real ones (title line), their
// neighbours in the folder (a baseline table, a licence), and heads without
// the title that hold both keys or only one.
TEST(ImageParameters, ContentTestTellsParameterFiles) {
  for (const char* name : {"r20180106_VV_slc.par", "r20180319_VV_8rlks_mli.par"})
    EXPECT_TRUE(image_parameters_file(data_dir + name)) << name;
  for (const char* name : {"20180106-20180130_VV_8rlks_bperp.par",
                           "20180106-20180130_VV_8rlks_base.par", "LICENSE.PyRate", ""})
    EXPECT_FALSE(image_parameters_file(data_dir + name)) << name;
  struct Case {
    const char* head;
    bool is;
  };
  const Case cases[] = {
      {"Gamma Interferometric SAR Processor (ISP) - Image Parameter File\n", true},
      {"title: x\ndate: 2018 01 06\nnumber_of_state_vectors: 6\n", true},
      {"title: x\ndate: 2018 01 06\n", false},
      {"title: x\nupdate: 1\nnumber_of_state_vectors: 6\n", false},
      {" Gamma Interferometric SAR Processor", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(looks_like_image_parameters(c.head), c.is) << c.head;
}

}  // namespace
}  // namespace bperp::stack
