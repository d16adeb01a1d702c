#include "bperp/stack/inputs/tsx_annotation.h"

#include "bperp/numeric/units.h"
#include "bperp/stack/inputs/product_bounds.h"
#include "bperp/stack/inputs/xml_document.h"
#include "bperp/stack/support/number_text.h"
#include "bperp/stack/support/problem_text.h"

namespace bperp::stack {

namespace {

constexpr const char* mission_info = "productInfo/missionInfo";
constexpr const char* acquisition_info = "productInfo/acquisitionInfo";
constexpr const char* scene_info = "productInfo/sceneInfo";
constexpr const char* slant_range_projection = "SLANTRANGE";
constexpr double metres_per_two_way_second = units::speed_of_light_m_s / 2.0;

// productInfo: mission, absolute and relative orbit, pass, look side, polarisation.
bool read_mission(pugi::xml_node root, ProductInfo& info, std::string* why) {
  const pugi::xml_node mission = xml_child(root, mission_info, why);
  const pugi::xml_node acquisition = mission ? xml_child(root, acquisition_info, why) : pugi::xml_node{};
  if (!acquisition) return false;
  const std::optional<std::string> name = xml_word(mission, "mission", why);
  const std::optional<long> absolute = name ? xml_integer_at_least(mission, "absOrbit", 1, why) : std::nullopt;
  const std::optional<long> track = absolute ? xml_integer_at_least(mission, "relOrbit", 1, why) : std::nullopt;
  const std::optional<std::string> pass = track ? xml_pass(mission, "orbitDirection", why) : std::nullopt;
  const std::optional<LookSide> look = pass ? xml_look_side(acquisition, "lookDirection", why) : std::nullopt;
  if (!look) return false;
  info.mission = *name;
  info.absolute_orbit = absolute;
  info.track = track;
  info.pass = *pass;
  info.look = *look;
  if (acquisition.child("polarisationList").child("polLayer")) {
    const std::optional<std::string> polarisation = xml_word(acquisition, "polarisationList/polLayer", why);
    if (!polarisation) return false;
    info.polarisation = *polarisation;
  }
  return true;
}

// The radar frequency and the look bandwidths (Hz, positive).
bool read_radar(pugi::xml_node root, ProductInfo& info, std::string* why) {
  info.radar_frequency_hz =
      xml_bounded(root, "instrument/radarParameters/centerFrequency", "Hz", radar_frequency_problem, why);
  const pugi::xml_node processing =
      info.radar_frequency_hz ? xml_child(root, "processing/processingParameter", why) : pugi::xml_node{};
  if (!processing) return false;
  const auto bandwidth = [&](double hz) { return bandwidth_problem(hz, info.radar_frequency_hz); };
  info.range_bandwidth_hz = xml_bounded(processing, "rangeLookBandwidth", "Hz", bandwidth, why);
  if (!info.range_bandwidth_hz) return false;
  info.azimuth_bandwidth_hz = xml_bounded(processing, "azimuthLookBandwidth", "Hz", bandwidth, why);
  return info.azimuth_bandwidth_hz.has_value();
}

// platform/orbit: the state vectors, as many as its header counts.
bool read_orbit(pugi::xml_node root, TimedOrbit& orbit, std::string* why) {
  static const XmlOrbitLayout layout{"stateVec",
                                     {"timeUTC", {"posX", "posY", "posZ"}, {"velX", "velY", "velZ"}},
                                     "orbitHeader/numStateVectors",
                                     tsx_annotation_orbit_source};
  const pugi::xml_node list = xml_child(root, "platform/orbit", why);
  return list && read_xml_orbit(list, layout, orbit, why);
}

// A slant-range product's first and last line times and near and far
// ranges; the others' stated scene centre.
bool read_scene(pugi::xml_node root, ProductInfo& info, std::string* why) {
  const std::optional<std::string> projection =
      xml_word(root, "productInfo/productVariantInfo/projection", why);
  const pugi::xml_node scene = projection ? xml_child(root, scene_info, why) : pugi::xml_node{};
  if (!scene) return false;
  if (*projection != slant_range_projection) {
    const std::optional<double> lat = xml_number(scene, "sceneCenterCoord/lat", why);
    const std::optional<double> lon = lat ? xml_number(scene, "sceneCenterCoord/lon", why) : std::nullopt;
    if (!lon) return false;
    if (!geodetic_degrees(*lat, *lon))
      return fail(why, xml_path(scene, "sceneCenterCoord") + " is no geodetic latitude and longitude (degrees)");
    info.scene_centre = SceneCentre{*lat, *lon, std::nullopt};
    return true;
  }
  ImageTiming& image = info.image;
  image.first_line = xml_utc(scene, "start/timeUTC", "", why);
  image.last_line = image.first_line ? xml_utc(scene, "stop/timeUTC", "", why) : std::nullopt;
  if (!image.last_line) return false;
  if (*image.last_line < *image.first_line)
    return fail(why, xml_path(scene, "stop/timeUTC") + " comes before start/timeUTC");
  const std::optional<double> near = xml_positive(scene, "rangeTime/firstPixel", why);
  const std::optional<double> far = near ? xml_positive(scene, "rangeTime/lastPixel", why) : std::nullopt;
  if (!far) return false;
  if (*far < *near) return fail(why, xml_path(scene, "rangeTime/lastPixel") + " is nearer than firstPixel");
  image.near_range_m = *near * metres_per_two_way_second;
  image.far_range_m = *far * metres_per_two_way_second;
  for (const double range : {*image.near_range_m, *image.far_range_m})
    if (const std::string problem = slant_range_problem(range); !problem.empty())
      return fail(why, xml_path(scene, "rangeTime") + " gives a slant range of " + round_trip_text(range) + " m; " +
                           problem);
  return true;
}

// The product below its root element.
bool read_product(pugi::xml_node root, ProductInfo& info, std::string* why, bool* /*unknown*/) {
  return read_mission(root, info, why) && read_radar(root, info, why) && read_orbit(root, info.orbit, why) &&
         read_scene(root, info, why);
}

constexpr XmlProductReader reader{"level1Product", tsx_annotation_format, read_product};

}  // namespace

std::optional<ProductInfo> read_tsx_annotation(const std::string& path, Refusal* problem) {
  return read_xml_product(path, reader, problem);
}

std::optional<ProductInfo> parse_tsx_annotation(std::string_view bytes, const std::string& name,
                                                std::string* problem) {
  return parse_xml_product(bytes, name, reader, problem);
}

}  // namespace bperp::stack
