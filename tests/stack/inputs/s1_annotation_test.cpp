// The Sentinel-1 annotation reader on the track-108 files, on a cut-down
// annotation made hostile in memory, the choice of a SAFE folder's
// annotation, and the content test that tells the XML products apart.
#include "bperp/stack/inputs/s1_annotation.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "bperp/stack/inputs/xml_document.h"
#include "support/files.h"
#include "stack_test_support.h"

namespace bperp::stack {
namespace {

using test_support::TempDir;

const std::string data_dir = BPERP_SOURCE_DIR "/tests/data/s1-track108-annotation/";
const std::string iw1_0406 = "s1a-iw1-slc-vv-20250406t022009-20250406t022034-058630-07421f-004.xml";
const std::string iw2_0406 = "s1a-iw2-slc-vv-20250406t022010-20250406t022035-058630-07421f-005.xml";
const std::string iw3_0406 = "s1a-iw3-slc-vv-20250406t022008-20250406t022033-058630-07421f-006.xml";
const std::string iw2_0418 = "s1a-iw2-slc-vv-20250418t022010-20250418t022035-058805-074946-005.xml";

UtcTime utc(const char* text) { return *parse_utc(text); }

ProductInfo read_real(const std::string& file) {
  Refusal problem;
  const std::optional<ProductInfo> info = read_s1_annotation(data_dir + file, &problem);
  EXPECT_TRUE(info.has_value()) << problem.text;
  return info.value_or(ProductInfo{});
}

// Per file, values read off the file with grep: adsHeader, imageInformation,
// swathTiming, the first and last burst azimuthTime, the bandwidths. The
// ranges are worked out by hand (Python doubles) from slantRangeTime,
// numberOfSamples and rangeSamplingRate = 6.434523812571428e+07 Hz:
// near = srt c / 2, far = near + (samples - 1) c / (2 fs).
struct RealCase {
  std::string file, swath;
  long orbit;
  const char *first_line, *last_line, *first_burst, *last_burst;
  long lines, samples, lines_per_burst;
  double near_m, far_m, range_bandwidth_hz, azimuth_bandwidth_hz;
};

TEST(S1Annotation, RealFilesGiveTheirHeaderTimingRangesAndBursts) {
  const RealCase cases[] = {
      {iw1_0406, "IW1", 58630, "2025-04-06T02:20:09.449360", "2025-04-06T02:20:34.601147",
       "2025-04-06T02:20:09.449360", "2025-04-06T02:20:31.515756", 13518, 22612, 1502,
       800421.8030922529, 853095.5320680811, 5.65e7, 327.0},
      {iw2_0406, "IW2", 58630, "2025-04-06T02:20:10.390805", "2025-04-06T02:20:35.567258",
       "2025-04-06T02:20:10.390804", "2025-04-06T02:20:32.459257", 13617, 26395, 1513,
       846822.0212931529, 908308.4837489491, 4.83e7, 313.0},
      {iw3_0406, "IW3", 58630, "2025-04-06T02:20:08.592193", "2025-04-06T02:20:33.772758",
       "2025-04-06T02:20:08.592193", "2025-04-06T02:20:30.654479", 13662, 25384, 1518,
       902356.4525458516, 961487.7277036706, 4.278991840322842e7, 314.0},
      {iw2_0418, "IW2", 58805, "2025-04-18T02:20:10.266826", "2025-04-18T02:20:35.445335",
       "2025-04-18T02:20:10.266826", "2025-04-18T02:20:32.337334", 13617, 26395, 1513,
       846822.0212931529, 908308.4837489491, 4.83e7, 313.0},
  };
  constexpr double range_tolerance_m = 1e-6;
  for (const RealCase& c : cases) {
    SCOPED_TRACE(c.file);
    const ProductInfo p = read_real(c.file);
    EXPECT_EQ(p.format, "Sentinel-1 annotation");
    EXPECT_EQ(p.mission, "S1A");
    EXPECT_EQ(p.absolute_orbit, c.orbit);
    EXPECT_EQ(p.swath, c.swath);
    EXPECT_EQ(p.polarisation, "VV");
    EXPECT_EQ(p.pass, "ASCENDING");
    EXPECT_EQ(p.look, LookSide::right);
    EXPECT_EQ(p.radar_frequency_hz, 5.405000454334350e9);
    EXPECT_EQ(p.range_sampling_rate_hz, 6.434523812571428e7);
    EXPECT_EQ(p.range_bandwidth_hz, c.range_bandwidth_hz);
    EXPECT_EQ(p.azimuth_bandwidth_hz, c.azimuth_bandwidth_hz);
    EXPECT_EQ(p.image.first_line, utc(c.first_line));
    EXPECT_EQ(p.image.last_line, utc(c.last_line));
    EXPECT_EQ(p.image.line_interval_s, 2.055556299999998e-03);
    EXPECT_EQ(p.image.lines, c.lines);
    EXPECT_EQ(p.image.samples, c.samples);
    EXPECT_NEAR(p.image.near_range_m.value_or(0), c.near_m, range_tolerance_m);
    EXPECT_NEAR(p.image.far_range_m.value_or(0), c.far_m, range_tolerance_m);
    EXPECT_NEAR(p.image.range_pixel_spacing_m.value_or(0), 2.329562114715323, 1e-12);  // m
    EXPECT_EQ(p.lines_per_burst, c.lines_per_burst);
    EXPECT_EQ(p.samples_per_burst, c.samples);
    ASSERT_EQ(p.burst_times.size(), 9u);
    EXPECT_EQ(p.burst_times.front(), utc(c.first_burst));
    EXPECT_EQ(p.burst_times.back(), utc(c.last_burst));
  }
}

// The orbit list of the IW2 file of 2025-04-06, read off it with grep: 17
// vectors 10 s apart from 02:19:03.324203, the first and the last to every
// digit (m and m/s in the file, km and km/s here, to 1e-12 km).
TEST(S1Annotation, OrbitListIsKeptToTheLastDigitInKm) {
  const ProductInfo p = read_real(iw2_0406);
  const TimedOrbit& o = p.orbit;
  EXPECT_EQ(o.source, "annotation");
  EXPECT_EQ(o.epoch, utc("2025-04-06T02:19:03.324203"));
  ASSERT_EQ(o.rows.size(), 17u);
  for (std::size_t k = 0; k < o.rows.size(); ++k) EXPECT_NEAR(o.rows[k].t, 10.0 * k, 1e-9) << k;
  struct Expected {
    std::size_t row;
    double p[3], v[3];
  };
  for (const Expected& e : {Expected{0,
                                     {-3339.803610018, -3573.219324351, 5103.830197791},
                                     {2.238675067, 5.179394761, 5.078243049}},
                            Expected{16,
                                     {-2925.554393858, -2701.953372869, 5838.877809750},
                                     {2.928971674, 5.682654967, 4.087794985}}}) {
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(o.rows[e.row].state.position[i], e.p[i], 1e-12) << e.row << " " << i;  // km
      EXPECT_NEAR(o.rows[e.row].state.velocity[i], e.v[i], 1e-15) << e.row << " " << i;  // km/s
    }
  }
}

// A cut-down annotation with what the reader reads: the first four orbit
// vectors of the IW2 file of 2025-04-06 and two of its bursts.
const std::string small_annotation = R"(<?xml version="1.0" encoding="UTF-8"?>
<product>
  <adsHeader><missionId>S1A</missionId><polarisation>VV</polarisation><swath>IW2</swath>
    <absoluteOrbitNumber>58630</absoluteOrbitNumber></adsHeader>
  <generalAnnotation>
    <productInformation><pass>Ascending</pass>
      <rangeSamplingRate>6.434523812571428e+07</rangeSamplingRate>
      <radarFrequency>5.405000454334350e+09</radarFrequency></productInformation>
    <orbitList count="4">
      <orbit><time>2025-04-06T02:19:03.324203</time><frame>Earth Fixed</frame>
        <position><x>-3.339803610018000e+06</x><y>-3.573219324351000e+06</y><z>5.103830197791000e+06</z></position>
        <velocity><x>2.238675067000000e+03</x><y>5.179394761000000e+03</y><z>5.078243049000000e+03</z></velocity></orbit>
      <orbit><time>2025-04-06T02:19:13.324203</time><frame>Earth Fixed</frame>
        <position><x>-3.317192283754000e+06</x><y>-3.521242560769000e+06</y><z>5.154323581086000e+06</z></position>
        <velocity><x>2.283556614000000e+03</x><y>5.215849778000000e+03</y><z>5.020338858000000e+03</z></velocity></orbit>
      <orbit><time>2025-04-06T02:19:23.324203</time><frame>Earth Fixed</frame>
        <position><x>-3.294133158492000e+06</x><y>-3.468904498499000e+06</y><z>5.204235091629000e+06</z></position>
        <velocity><x>2.328233870000000e+03</x><y>5.251653874000000e+03</y><z>4.961869600000000e+03</z></velocity></orbit>
      <orbit><time>2025-04-06T02:19:33.324203</time><frame>Earth Fixed</frame>
        <position><x>-3.270628306899000e+06</x><y>-3.416211665235000e+06</y><z>5.253559111894000e+06</z></position>
        <velocity><x>2.372700887000000e+03</x><y>5.286803367000000e+03</y><z>4.902841917000000e+03</z></velocity></orbit>
    </orbitList>
  </generalAnnotation>
  <imageAnnotation>
    <imageInformation>
      <productFirstLineUtcTime>2025-04-06T02:20:10.390805</productFirstLineUtcTime>
      <productLastLineUtcTime>2025-04-06T02:20:35.567258</productLastLineUtcTime>
      <slantRangeTime>5.649388426530416e-03</slantRangeTime>
      <azimuthTimeInterval>2.055556299999998e-03</azimuthTimeInterval>
      <numberOfSamples>26395</numberOfSamples><numberOfLines>13617</numberOfLines>
    </imageInformation>
    <processingInformation><swathProcParamsList count="1"><swathProcParams>
      <rangeProcessing><processingBandwidth>4.830000000000000e+07</processingBandwidth></rangeProcessing>
      <azimuthProcessing><processingBandwidth>3.130000000000000e+02</processingBandwidth></azimuthProcessing>
    </swathProcParams></swathProcParamsList></processingInformation>
  </imageAnnotation>
  <swathTiming><linesPerBurst>1513</linesPerBurst><samplesPerBurst>26395</samplesPerBurst>
    <burstList count="2">
      <burst><azimuthTime>2025-04-06T02:20:10.390804</azimuthTime></burst>
      <burst><azimuthTime>2025-04-06T02:20:13.151416</azimuthTime></burst>
    </burstList></swathTiming>
</product>
)";

// small_annotation with the first `from` replaced by `to`.
std::string with(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(S1Annotation, CutDownAnnotationReadsLikeTheRealOne) {
  std::string problem;
  const std::optional<ProductInfo> small =
      parse_s1_annotation(small_annotation, "small.xml", &problem);
  ASSERT_TRUE(small.has_value()) << problem;
  const ProductInfo real = read_real(iw2_0406);
  ASSERT_EQ(small->orbit.rows.size(), 4u);
  EXPECT_EQ(small->orbit.epoch, real.orbit.epoch);
  for (std::size_t k = 0; k < 4; ++k)
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(small->orbit.rows[k].state.position[i], real.orbit.rows[k].state.position[i]);
      EXPECT_EQ(small->orbit.rows[k].state.velocity[i], real.orbit.rows[k].state.velocity[i]);
    }
  EXPECT_EQ(small->image.near_range_m, real.image.near_range_m);
  EXPECT_EQ(small->image.far_range_m, real.image.far_range_m);
  EXPECT_EQ(small->burst_times.size(), 2u);
}

// Each hostile variant is refused with a message that starts with the
// name and holds the words that say what is wrong (a missing element by its
// path).
TEST(S1Annotation, HostileAnnotationsAreRefusedWithTheReason) {
  const std::string& a = small_annotation;
  const std::string vector_2 = "<time>2025-04-06T02:19:13.324203</time>";
  struct Case {
    const char* what;
    std::string bytes;
    const char* words;
  };
  const Case cases[] = {
      {"empty", "", "is empty"},
      {"truncated", a.substr(0, a.size() / 2), "not well-formed XML at byte"},
      {"malformed", with(a, "</pass>", "</passe>"), "not well-formed XML at byte"},
      {"entity", with(a, "<product>", "<!DOCTYPE product [<!ENTITY f \"5.4e9\">]><product>"),
       "document type declaration"},
      {"other root", "<products/>", "the root element is \"products\", not \"product\""},
      {"missing element", with(a, "<radarFrequency>5.405000454334350e+09</radarFrequency>", ""),
       "generalAnnotation/productInformation/radarFrequency is missing"},
      {"missing parent",
       with(with(a, "<imageInformation>", "<imageInfo>"), "</imageInformation>", "</imageInfo>"),
       "imageAnnotation/imageInformation is missing"},
      {"missing in a vector", with(a, "<y>-3.468904498499000e+06</y>", ""),
       "generalAnnotation/orbitList/orbit[3]/position/y is missing"},
      {"nan", with(a, "5.405000454334350e+09", "nan"),
       "productInformation/radarFrequency is \"nan\", not a finite number"},
      {"infinite", with(a, "-3.339803610018000e+06", "-inf"), "not a finite number"},
      {"overflow", with(a, "-3.339803610018000e+06", "1e400"), "range of a double"},
      {"trailing text", with(a, "5.405000454334350e+09", "5.4e9 Hz"), "not a number"},
      {"decimal comma", with(a, "2.055556299999998e-03", "2,055556299999998e-03"), "not a number"},
      {"hexadecimal", with(a, "<numberOfLines>13617", "<numberOfLines>0x3531"), "not an integer"},
      {"comment inside", with(a, "6.434523812571428e+07", "6.43<!-- -->4523812571428e+07"),
       "more than one text"},
      {"character reference", with(a, "6.434523812571428e+07", "6.43&#52;523812571428e+07"),
       "not a number"},
      {"zero rate", with(a, "6.434523812571428e+07", "0"),
       "rangeSamplingRate is 0; it must be positive"},
      {"frequency of 1e308", with(a, "5.405000454334350e+09", "1e308"),
       "productInformation/radarFrequency is 1e+308 Hz; a SAR's radar frequency lies between 0.1 and 100 GHz"},
      {"bandwidth above the frequency", with(a, "4.830000000000000e+07", "6e9"),
       "rangeProcessing/processingBandwidth is 6e+09 Hz; a bandwidth lies below the radar frequency"},
      {"zero bandwidth", with(a, "3.130000000000000e+02", "0"),
       "azimuthProcessing/processingBandwidth is 0 Hz; a bandwidth is positive"},
      {"range time of an aircraft", with(a, "5.649388426530416e-03", "5e-5"),
       "imageInformation/slantRangeTime is 5e-05 s, a slant range of 7494.81145 m; a satellite's slant range "
       "lies between 100 and 3,000 km"},
      {"a far range beyond 3000 km", with(a, "6.434523812571428e+07", "6.4e3"),
       "give a far slant range of"},
      {"no UTC time", with(a, "2025-04-06T02:20:10.390805<", "2025-04-06 noon<"),
       "productFirstLineUtcTime is \"2025-04-06 noon\", not a UTC time"},
      {"date alone", with(a, "2025-04-06T02:20:10.390805<", "2025-04-06<"),
       "productFirstLineUtcTime is \"2025-04-06\", not a UTC time (a date without a time of day;"},
      {"not a date", with(a, vector_2, "<time>2025-02-30T02:19:13.324203</time>"),
       "not a calendar date"},
      {"year before", with(a, "2025-04-06T02:20:13.151416", "1012-04-06T02:20:13.151416"),
       "burstList/burst[2]/azimuthTime is \"1012-04-06T02:20:13.151416\", not a UTC time (its "
       "year"},
      {"year beyond", with(a, vector_2, "<time>9999-04-06T02:19:13.324203</time>"),
       "orbit[2]/time is \"9999-04-06T02:19:13.324203\", not a UTC time (its year lies outside "
       "1970 to 2199)"},
      {"repeated vector", with(a, vector_2, "<time>2025-04-06T02:19:03.324203</time>"),
       "orbitList/orbit[2] (2025-04-06T02:19:03.324203000Z) repeats the time"},
      {"unsorted vectors", with(a, vector_2, "<time>2025-04-06T02:18:13.324203</time>"),
       "orbitList/orbit[2] (2025-04-06T02:18:13.324203000Z) comes before"},
      {"count mismatch", with(a, "<orbitList count=\"4\">", "<orbitList count=\"5\">"),
       "orbitList says count=5 but holds 4 orbit elements"},
      {"too few vectors",
       with(with(with(a, "<orbitList count=\"4\">", "<orbitList>"), "<orbit>", "<notorbit>"),
            "</orbit>", "</notorbit>"),
       "holds 3 orbit vectors; at least 4"},
      {"other frame", with(a, "<frame>Earth Fixed</frame>", "<frame>GM2000</frame>"),
       "not \"Earth Fixed\""},
      {"not Sentinel-1", with(a, "<missionId>S1A", "<missionId>ERS2"), "not a Sentinel-1 mission"},
      {"bad pass", with(a, "<pass>Ascending", "<pass>Sideways"), "not Ascending or Descending"},
      {"unsorted bursts", with(a, "02:20:13.151416", "02:20:09.151416"), "burst[2]/azimuthTime"},
      {"last line first", with(a, "2025-04-06T02:20:35.567258", "2025-04-06T02:20:05.567258"),
       "productLastLineUtcTime comes before"},
  };
  for (const Case& c : cases) {
    std::string problem;
    const std::optional<ProductInfo> info = parse_s1_annotation(c.bytes, "hostile.xml", &problem);
    EXPECT_FALSE(info.has_value()) << c.what;
    EXPECT_TRUE(problem.starts_with("hostile.xml: ")) << c.what << ": " << problem;
    EXPECT_NE(problem.find(c.words), std::string::npos) << c.what << ": " << problem;
    EXPECT_EQ(problem.find('\n'), std::string::npos) << c.what << ": " << problem;
  }
}

// An annotation of 16 MiB whose markup is as dense as the bound lets it be
// (a tag for each 9.5 bytes) is parsed within 8 times its size; one of
// denser markup (a tag each 4 bytes, 16 times its size parsed) is refused
// before it is parsed. Run under an address-space bound of 9 times the size
// and what the program takes before it reads anything (its shared
// libraries, cairo's among them: some 40 MB).
TEST(S1Annotation, MarkupCostsAtMostEightTimesItsSize) {
  if (stack_test::address_sanitizer()) GTEST_SKIP() << "AddressSanitizer takes more address space than the bound";
  const TempDir dir;
  const std::size_t size = std::size_t{16} << 20;
  const auto annotation = [&](const std::string& name, const std::string& unit) {
    std::string text = "<product><adsHeader/>";
    while (text.size() + unit.size() + 10 < size) text += unit;
    return dir.write(name, text + "</product>");
  };
  const std::string edge = annotation("edge.xml", "<ab>xxxxxxxxxx</ab>");
  const std::string dense = annotation("dense.xml", "<a/>");
  const std::string reference = BPERP_SOURCE_DIR "/examples/stack/reference.txt";
  const std::size_t program = std::size_t{48} << 20;
  const stack_test::RunResult parsed = stack_test::run_stack_within((9 * size + program) / 1024, {reference, edge});
  EXPECT_NE(parsed.err.find("adsHeader/missionId is missing"), std::string::npos) << parsed.err;
  const stack_test::RunResult refused = stack_test::run_stack_within((9 * size + program) / 1024, {reference, dense});
  EXPECT_NE(refused.err.find("dense.xml: holds 4194299 tags and 0 attributes in 16777215 bytes, markup denser than "
                             "an XML product's: parsed, it would take more than 8 times its size"),
            std::string::npos)
      << refused.err;
}

// A file is judged by its size before anything is read: a sparse file one
// byte over the cap, and one of 1 GB, are refused at once; a folder and a
// missing file are refused by name.
TEST(S1Annotation, FilesOverTheCapOrNotRegularAreRefusedByName) {
  const TempDir dir;
  for (const off_t size : {static_cast<off_t>(max_xml_bytes) + 1, off_t{1} << 30}) {
    const std::string path = dir.file("big-" + std::to_string(size) + ".xml");
    { std::ofstream(path).put('<'); }
    ASSERT_EQ(::truncate(path.c_str(), size), 0);
    Refusal problem;
    EXPECT_FALSE(read_s1_annotation(path, &problem).has_value());
    EXPECT_EQ(problem.kind, RefusalKind::malformed);
    EXPECT_EQ(problem.text, path + ": is " + std::to_string(size) +
                                " bytes, more than the 64 MiB (67108864 bytes) an XML product may hold");
  }
  Refusal problem;
  EXPECT_FALSE(read_s1_annotation(dir.path().string(), &problem).has_value());
  EXPECT_EQ(problem.kind, RefusalKind::unreadable);
  EXPECT_EQ(problem.text, dir.path().string() + ": is no regular file");
  EXPECT_FALSE(read_s1_annotation(dir.file("absent.xml"), &problem).has_value());
  EXPECT_EQ(problem.kind, RefusalKind::unreadable);
  EXPECT_TRUE(problem.text.starts_with(dir.file("absent.xml") + ": cannot open it")) << problem.text;
}

// The annotation of a SAFE folder by file name. The IW folder links the
// three real files of 2025-04-06 and a calibration/ folder whose file names
// must not count; the other folders hold empty files of the names the
// products use.
TEST(SafeAnnotation, PicksTheSwathAndTheCoPolarisation) {
  const TempDir dir;
  namespace fs = std::filesystem;
  const auto make_safe = [&](const std::string& name, const std::vector<std::string>& files) {
    const fs::path annotation = dir.path() / name / "annotation";
    fs::create_directories(annotation / "calibration");
    for (const std::string& f : files) test_support::write_bytes((annotation / f).string(), "");
    return (dir.path() / name).string();
  };
  const std::string iw = make_safe("IW.SAFE", {});
  for (const std::string& f : {iw1_0406, iw2_0406, iw3_0406})
    fs::create_symlink(data_dir + f, fs::path(iw) / "annotation" / f);
  test_support::write_bytes(iw + "/annotation/calibration/" + iw2_0406, "");
  test_support::write_bytes(iw + "/annotation/calibration/calibration-" + iw2_0406, "");
  const std::string ew = make_safe(
      "EW.SAFE", {"s1b-ew1-slc-hh-x.xml", "s1b-ew2-slc-hh-x.xml", "s1b-ew3-slc-hh-x.xml",
                  "s1b-ew3-slc-hv-x.xml", "s1b-ew4-slc-hh-x.xml", "s1b-ew5-slc-hh-x.xml"});
  const std::string sm = make_safe("SM.SAFE", {"s1a-s3-slc-vh-x.xml", "s1a-s3-slc-vv-x.xml"});
  const std::string cross = make_safe("VH.SAFE", {"s1a-iw2-slc-vh-x.xml", "s1a-iw2-slc-hv-x.xml"});
  const std::string dual = make_safe("HH.SAFE", {"s1a-iw1-slc-hh-x.xml", "s1a-iw1-slc-vv-x.xml"});
  const std::string none = make_safe("NONE.SAFE", {"manifest.safe"});

  struct Case {
    std::string safe, swath, polarisation, picked;  // picked: file name, or words of the refusal
    bool found;
    std::string warning = "";  // words of the warning, when one is given
  };
  const Case cases[] = {
      {iw, "", "", iw2_0406, true},
      {iw, "IW1", "", iw1_0406, true},
      {iw, "iw3", "vv", iw3_0406, true},
      {ew, "", "", "s1b-ew3-slc-hh-x.xml", true},
      {ew, "", "HV", "s1b-ew3-slc-hv-x.xml", true},
      {sm, "", "", "s1a-s3-slc-vv-x.xml", true},
      {dual, "iw1", "", "s1a-iw1-slc-vv-x.xml", true},
      // Only cross-polarisations: the first by name, with a warning; or the one asked for.
      {cross, "", "", "s1a-iw2-slc-hv-x.xml", true, "no co-polarised (VV or HH) annotation of swath IW2: its HV"},
      {cross, "", "VH", "s1a-iw2-slc-vh-x.xml", true},
      {iw, "IW4", "", "no annotation of swath IW4: " + iw + "/annotation holds " + iw1_0406, false},
      {iw, "", "VH", "no annotation of swath IW2 and polarisation VH", false},
      {none, "", "", "NONE.SAFE/annotation holds manifest.safe", false},
      {dir.file("ABSENT.SAFE"), "", "", "ABSENT.SAFE/annotation: cannot list it", false},
  };
  for (const Case& c : cases) {
    Refusal problem;
    std::string warning;
    const std::string path = safe_annotation(c.safe, {c.swath, c.polarisation}, &problem, &warning);
    if (c.found) {
      EXPECT_EQ(path, c.safe + "/annotation/" + c.picked) << problem.text;
    } else {
      EXPECT_EQ(path, "");
      EXPECT_NE(problem.text.find(c.picked), std::string::npos) << problem.text;
      // A folder that can't be listed can't be read; one that lacks the file is malformed.
      EXPECT_EQ(problem.kind, c.safe.ends_with("ABSENT.SAFE") ? RefusalKind::unreadable : RefusalKind::malformed);
    }
    EXPECT_EQ(warning.empty(), c.warning.empty()) << warning;
    EXPECT_NE(warning.find(c.warning), std::string::npos) << warning;
  }
  Refusal problem;
  EXPECT_TRUE(read_s1_annotation(safe_annotation(iw, {}, &problem), &problem).has_value()) << problem.text;
}

// The kind of an XML file by its first bytes: the real files, and heads
// with a byte-order mark, comments, a document type, a cut-off tag.
TEST(XmlProductKind, TellsEachKindByItsRoot) {
  EXPECT_EQ(xml_product_kind_of_file(data_dir + iw2_0406), XmlProductKind::s1_annotation);
  EXPECT_EQ(xml_product_kind_of_file(
                BPERP_SOURCE_DIR
                "/tests/data/s1-track108-orbit-layout/"
                "S1A_OPER_AUX_POEORB_OPOD_20250426T022143_V20250406T021903_20250406T022143.EOF"),
            XmlProductKind::s1_orbit_file);
  EXPECT_EQ(xml_product_kind_of_file(data_dir + "LICENSE.hyp3-isce2"), XmlProductKind::none);
  EXPECT_EQ(xml_product_kind_of_file(data_dir), XmlProductKind::none);
  struct Case {
    const char* head;
    XmlProductKind kind;
  };
  const Case cases[] = {
      {"\xEF\xBB\xBF<?xml version='1.0'?>\n<!-- a -->\n<product>\n  <adsHeader>",
       XmlProductKind::s1_annotation},
      {"<!DOCTYPE product [<!ENTITY a '>'>]><product a='>'><!-- <x> --><adsHeader/>",
       XmlProductKind::s1_annotation},
      {"<Earth_Explorer_File xmlns='x'>", XmlProductKind::s1_orbit_file},
      {"<xfdu:XFDU xmlns:xfdu='urn:ccsds:schema:xfdu:1' version='esa/safe/sentinel-1.0'>", XmlProductKind::s1_manifest},
      {"<level1Product xmlns:xsi='x'>\n  <generalHeader>", XmlProductKind::tsx_annotation},
      {"<Metadata>\n <spec_version>2.1</spec_version>\n <Orbit_State_Vectors>", XmlProductKind::iceye_metadata},
      {"<product xmlns='rcmGsProductSchema'>\n\t<productId>1</productId>", XmlProductKind::rcm_product},
      // XML of other kinds, and heads that stop before their kind shows.
      {"<Metadata><spec_version>2.1</spec_version>", XmlProductKind::other_xml},
      {"<product><qualityInformation><adsHeader>", XmlProductKind::other_xml},
      {"<product/><adsHeader>", XmlProductKind::other_xml},
      {"<product", XmlProductKind::other_xml},
      {"<productx><adsHeader>", XmlProductKind::other_xml},
      {"text <product><adsHeader>", XmlProductKind::none},
      {"<!-- cut off", XmlProductKind::none},
      {"", XmlProductKind::none},
  };
  for (const Case& c : cases) EXPECT_EQ(xml_product_kind(c.head), c.kind) << c.head;
}

}  // namespace
}  // namespace bperp::stack
