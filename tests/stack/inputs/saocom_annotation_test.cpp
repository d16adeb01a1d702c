// The SAOCOM annotation reader: the real geocoded sample (read from
// ../shared/data, whose licence keeps it out of the project), a moved copy
// of it against the baseline worked out independently, and annotations
// written here for the slant-range layout, the time stamps and the refusals.
#include "bperp/stack/inputs/saocom_annotation.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>

#include "bperp/stack/inputs/xml_document.h"
#include "moved_copy.h"
#include "stack_test_support.h"

namespace bperp::stack {
namespace {

using moved_copy::Vec;

constexpr const char* sample_name = "gtc-acqId0001535768-a-sm7-2303120651-hh-h.xml";

// The <val> numbers of the element named list in text, in their order.
std::vector<double> values_of(const std::string& text, const std::string& list) {
  const std::size_t from = text.find("<" + list + ">"), to = text.find("</" + list + ">");
  const std::string inside = text.substr(from, to - from);
  std::vector<double> values;
  const std::regex val(R"(<val N="\d+">([^<]*)</val>)");
  for (std::sregex_iterator m(inside.begin(), inside.end(), val), end; m != end; ++m)
    values.push_back(std::stod((*m)[1].str()));
  return values;
}

// text with every <val> of pSV_m moved by offset (x, y, z in turn) and
// t_ref_Utc's date replaced by date.
std::string moved(const std::string& text, const Vec& offset, const std::string& date) {
  std::string out = text;
  const std::size_t from = out.find("<pSV_m>"), to = out.find("</pSV_m>");
  std::string list;
  int k = 0;
  for (const double v : values_of(out, "pSV_m")) {
    char number[64];
    std::snprintf(number, sizeof number, "%.17g", v + offset[k % 3]);
    list += "<val N=\"" + std::to_string(++k) + "\">" + number + "</val>";
  }
  out.replace(from, to - from, "<pSV_m>" + list);
  const std::size_t t = out.find("<t_ref_Utc>") + std::string("<t_ref_Utc>").size();
  return out.replace(t, date.size(), date);
}

// The sample, in ../shared/data.
std::string sample() { return stack_test::shared_sample(std::string("saocom-annotation/") + sample_name); }

TEST(SaocomAnnotation, RealSampleGivesItsOrbitRadarAndSceneCentre) {
  const std::string path = sample();
  SKIP_WITHOUT_SHARED_DATA(path);
  Refusal problem;
  const std::optional<ProductInfo> p = read_saocom_annotation(path, &problem);
  ASSERT_TRUE(p) << problem.text;
  EXPECT_EQ(p->mission, "SAO1A");
  EXPECT_EQ(p->polarisation, "HH");
  EXPECT_EQ(p->pass, "ASCENDING");
  EXPECT_EQ(p->look, LookSide::right);
  EXPECT_EQ(p->radar_frequency_hz, 1.275e9);
  EXPECT_FALSE(p->track);
  EXPECT_FALSE(states_times_and_ranges(*p));
  ASSERT_TRUE(p->scene_centre);
  EXPECT_EQ(p->scene_centre->latitude_deg, -23.2328716031211);
  EXPECT_EQ(p->scene_centre->longitude_deg, 43.5647163585302);
  // 51 vectors 1 s apart from 03:39:28.01; the file's numbers, km.
  const std::string text = stack_test::read_file(path);
  const std::vector<double> positions = values_of(text, "pSV_m"), velocities = values_of(text, "vSV_mOs");
  ASSERT_EQ(p->orbit.rows.size(), 51u);
  EXPECT_EQ(utc_text(p->orbit.epoch), "2023-03-12T03:39:28.010000000Z");
  for (const std::size_t k : {std::size_t{0}, std::size_t{17}, std::size_t{50}}) {
    const OrbitRow& row = p->orbit.rows[k];
    EXPECT_NEAR(row.t, static_cast<double>(k), 1e-6);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(row.state.position[i] * 1000.0, positions[3 * k + i], 1e-3);
      EXPECT_NEAR(row.state.velocity[i] * 1000.0, velocities[3 * k + i], 1e-6);
    }
  }
}

// A copy 16 days later (one SAOCOM repeat cycle) moved by some 100 m: the
// run targets the stated scene centre and gives the offset's components
// along and across the line of sight.
TEST(SaocomAnnotation, MovedCopyGivesTheOffsetAcrossAndAlongTheLineOfSight) {
  const std::string path = sample();
  SKIP_WITHOUT_SHARED_DATA(path);
  const std::string text = stack_test::read_file(path);
  const stack_test::TempDir tmp;
  const Vec offset = {60.0, -45.0, 70.0};
  const std::string copy = tmp.write("copy.xml", moved(text, offset, "28-MAR-2023"));
  const nlohmann::json run = moved_copy::run_json({path, copy});
  const nlohmann::json& reference = run.at("reference");
  EXPECT_NEAR(reference.at("latitude_deg").get<double>(), -23.2328716031211, 1e-9);
  EXPECT_NEAR(reference.at("longitude_deg").get<double>(), 43.5647163585302, 1e-9);
  const nlohmann::json& secondary = run.at("secondaries").at(0);
  ASSERT_TRUE(secondary.at("error").is_null()) << secondary.at("error");
  EXPECT_EQ(secondary.at("days").get<int>(), 16);
  moved_copy::Vectors orbit;
  const std::vector<double> positions = values_of(text, "pSV_m"), velocities = values_of(text, "vSV_mOs");
  for (std::size_t k = 0; k < positions.size() / 3; ++k)
    orbit.push_back(moved_copy::vector_at(static_cast<double>(k), positions, velocities, k));
  const double t0 = seconds_between(*parse_utc("2023-03-12T03:39:28.01"),
                                    *parse_utc(reference.at("reference_time").get<std::string>()));
  const moved_copy::Baseline b = moved_copy::expected(orbit, t0, moved_copy::json_target(reference), offset);
  EXPECT_NEAR(secondary.at("parallel_m").get<double>(), b.parallel, 1e-3);
  EXPECT_NEAR(secondary.at("perpendicular_m").get<double>(), b.perpendicular, 1e-3);
  // A target at a time or range, or a grid, needs line times and ranges.
  for (const std::vector<std::string>& option : std::vector<std::vector<std::string>>{
           {"--at-range", "700000"}, {"--at-time", "2023-03-12T03:39:50"}, {"--grid", "2x2"}}) {
    std::vector<std::string> args = option;
    args.insert(args.end(), {path, copy});
    const stack_test::RunResult r = stack_test::run_stack(args);
    EXPECT_EQ(r.status, 1) << option[0];
    EXPECT_NE(r.err.find(option[0]), std::string::npos) << r.err;
  }
}

// An annotation of n vectors 10 s apart (a plain line of positions: the
// reader judges no orbit), in slant range or on a map (raster).
std::string annotation(const std::string& raster, int n = 5) {
  std::string p, v;
  for (int k = 0; k < 3 * n; ++k) {
    p += "<val N=\"" + std::to_string(k + 1) + "\">" + std::to_string(7000000 + 75000 * (k / 3) + k % 3) + "</val>";
    v += "<val N=\"" + std::to_string(k + 1) + "\">" + std::to_string(7500 + k % 3) + "</val>";
  }
  return "<?xml version=\"1.0\"?><SAOCOM_XMLProduct><Channel Number=\"1\"><RasterInfo>" + raster +
         "</RasterInfo><DataSetInfo><SensorName>SAO1B</SensorName><fc_hz>1275000000</fc_hz>"
         "<SideLooking>LEFT</SideLooking></DataSetInfo><SwathInfo><Swath>S3</Swath><Polarization>V/H</Polarization>"
         "</SwathInfo><StateVectorData><OrbitNumber>12345</OrbitNumber><Track>87</Track>"
         "<OrbitDirection>DESCENDING</OrbitDirection><pSV_m>" + p + "</pSV_m><vSV_mOs>" + v +
         "</vSV_mOs><t_ref_Utc>01-jan-2024 23:59:55.5</t_ref_Utc><dtSV_s>10</dtSV_s><nSV_n>" + std::to_string(n) +
         "</nSV_n></StateVectorData><GroundCornerPoints><Center><Point><val>-10.5</val><val>170.25</val>"
         "<val>120</val></Point></Center></GroundCornerPoints></Channel></SAOCOM_XMLProduct>";
}

const std::string slant_raster =
    "<Lines>1001</Lines><Samples>2001</Samples><LinesStep unit=\"s\">0.002</LinesStep>"
    "<SamplesStep unit=\"s\">2e-8</SamplesStep><LinesStart unit=\"Utc\">02-JAN-2024 00:00:10.000000000001</LinesStart>"
    "<SamplesStart unit=\"s\">0.005</SamplesStart>";
const std::string map_raster = "<LinesStart unit=\"m\">7488219.3</LinesStart>";

TEST(SaocomAnnotation, SlantRangeImageGivesLineTimesAndRanges) {
  std::string problem;
  const std::optional<ProductInfo> p = parse_saocom_annotation(annotation(slant_raster), "a.xml", &problem);
  ASSERT_TRUE(p) << problem;
  EXPECT_EQ(p->look, LookSide::left);
  EXPECT_EQ(p->mission, "SAO1B");
  EXPECT_EQ(p->swath, "S3");
  EXPECT_EQ(p->polarisation, "VH");
  EXPECT_EQ(p->pass, "DESCENDING");
  EXPECT_EQ(p->track, 87);
  EXPECT_EQ(p->absolute_orbit, 12345);
  EXPECT_FALSE(p->scene_centre);
  // Across midnight and the year: 23:59:55.5 + 40 s.
  EXPECT_EQ(utc_text(p->orbit.epoch), "2024-01-01T23:59:55.500000000Z");
  EXPECT_EQ(p->orbit.rows.back().t, 40.0);
  EXPECT_EQ(p->orbit.rows[1].state.position[0], 7075.0);
  EXPECT_EQ(p->orbit.rows[2].state.velocity[2], 7.502);
  // 1001 lines 2 ms apart: 2 s; c/2 x 5 ms = 749,481.145 m, 2000 samples of c/2 x 20 ns.
  EXPECT_EQ(utc_text(*p->image.first_line), "2024-01-02T00:00:10.000000000Z");
  EXPECT_EQ(utc_text(*p->image.last_line), "2024-01-02T00:00:12.000000000Z");
  EXPECT_DOUBLE_EQ(*p->image.near_range_m, 749481.145);
  EXPECT_DOUBLE_EQ(*p->image.far_range_m, 749481.145 + 2000 * 2.99792458);
  EXPECT_TRUE(states_times_and_ranges(*p));
}

TEST(SaocomAnnotation, MapImageGivesTheSceneCentre) {
  std::string problem;
  const std::optional<ProductInfo> p = parse_saocom_annotation(annotation(map_raster), "a.xml", &problem);
  ASSERT_TRUE(p) << problem;
  ASSERT_TRUE(p->scene_centre);
  EXPECT_EQ(p->scene_centre->latitude_deg, -10.5);
  EXPECT_EQ(p->scene_centre->longitude_deg, 170.25);
  EXPECT_FALSE(p->image.first_line);
}

TEST(SaocomAnnotation, TimeStampsReadToTheNanosecond) {
  const std::pair<const char*, const char*> good[] = {
      {"12-MAR-2023 03:39:28.010000000000", "2023-03-12T03:39:28.010000000Z"},
      {"29-feb-2024 23:59:59.999999999499", "2024-02-29T23:59:59.999999999Z"},
      {"01-Dec-1999 00:00:00.0000000005", "1999-12-01T00:00:00.000000001Z"},
      {"31-OCT-2199 12:00:00", "2199-10-31T12:00:00.000000000Z"},
  };
  for (const auto& [text, utc] : good) {
    const std::optional<UtcTime> t = saocom_time(text);
    ASSERT_TRUE(t) << text;
    EXPECT_EQ(utc_text(*t), utc);
  }
  for (const char* bad : {"2023-03-12 03:39:28", "12-MRZ-2023 03:39:28", "29-FEB-2023 00:00:00",
                          "12-MAR-1969 00:00:00", "12-MAR-2023T03:39:28", "12-MAR-2023 24:00:00", "1-MAR-2023 00:00:00",
                          "12-MAR-2023"})
    EXPECT_FALSE(saocom_time(bad)) << bad;
}

TEST(SaocomAnnotation, HostileAnnotationsAreRefusedNamingTheField) {
  const std::string good = annotation(slant_raster);
  // Each: the text replaced, its replacement, and what the refusal names.
  const struct {
    const char *from, *to, *named;
  } cases[] = {
      {"<nSV_n>5</nSV_n>", "<nSV_n>6</nSV_n>", "pSV_m holds 15 values; 6 vectors (nSV_n) need 18"},
      {"<nSV_n>5</nSV_n>", "<nSV_n>3</nSV_n>", "nSV_n is 3"},
      {"<val N=\"2\">7000001", "<val N=\"3\">7000001", "pSV_m/val[2] is numbered N=\"3\", not 2"},
      {"<val N=\"4\">7500</val>", "<val N=\"4\">fast</val>", "vSV_mOs/val[4] is \"fast\""},
      {"<dtSV_s>10</dtSV_s>", "<dtSV_s>0</dtSV_s>", "dtSV_s is 0; it must be positive"},
      {"01-jan-2024 23:59:55.5", "2024-01-01T23:59:55", "t_ref_Utc is \"2024-01-01T23:59:55\""},
      {"<fc_hz>1275000000</fc_hz>", "<fc_hz>1.275</fc_hz>", "fc_hz is 1.275 Hz"},
      {"<SideLooking>LEFT</SideLooking>", "<SideLooking>UP</SideLooking>", "SideLooking is \"UP\""},
      {"<Track>87</Track>", "<Track>eighty</Track>", "Track is \"eighty\""},
      {"<Track>87</Track>", "<Track>0</Track>", "Track is 0; it must be positive"},
      {"DESCENDING</OrbitDirection>", "SIDEWAYS</OrbitDirection>", "OrbitDirection is \"SIDEWAYS\""},
      {"<SamplesStart unit=\"s\">0.005", "<SamplesStart unit=\"s\">0.05", "give a slant range of 74948"},
      {"<Lines>1001</Lines>", "<Lines>0</Lines>", "0 lines"},
      {"<SensorName>SAO1B</SensorName>", "", "DataSetInfo/SensorName is missing"},
  };
  for (const auto& c : cases) {
    std::string text = good;
    const std::size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.from;
    text.replace(at, std::string(c.from).size(), c.to);
    std::string problem;
    EXPECT_FALSE(parse_saocom_annotation(text, "a.xml", &problem)) << c.to;
    EXPECT_EQ(problem.rfind("a.xml: ", 0), 0u) << problem;
    EXPECT_NE(problem.find(c.named), std::string::npos) << problem;
  }
  std::string problem;
  std::string far_point = annotation(map_raster);
  far_point.replace(far_point.find("<val>-10.5"), 10, "<val>-100.5");
  EXPECT_FALSE(parse_saocom_annotation(far_point, "a.xml", &problem));
  EXPECT_NE(problem.find("Center/Point/val[1] is -100.5 deg; a latitude"), std::string::npos) << problem;
}

TEST(SaocomAnnotation, ContentTellsItByItsRoot) {
  EXPECT_EQ(xml_product_kind("<?xml version=\"1.0\"?>\n<SAOCOM_XMLProduct xmlns:at=\"saocomTypes\">"),
            XmlProductKind::saocom_annotation);
  EXPECT_EQ(xml_product_kind("<SAOCOM_XMLProductX>"), XmlProductKind::other_xml);
}

}  // namespace
}  // namespace bperp::stack
