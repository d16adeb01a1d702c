#include "bperp/stack/inputs/rcm_product.h"

#include <algorithm>
#include <cmath>

#include "bperp/stack/inputs/product_bounds.h"
#include "bperp/stack/inputs/xml_document.h"
#include "bperp/stack/support/problem_text.h"

namespace bperp::stack {

namespace {

constexpr const char* radar_parameters = "sourceAttributes/radarParameters";
constexpr const char* orbit_information = "sourceAttributes/orbitAndAttitude/orbitInformation";
constexpr const char* sar_processing = "imageGenerationParameters/sarProcessingInformation";
constexpr const char* geographic_information = "imageReferenceAttributes/geographicInformation";
constexpr const char* slant_range_product = "SLC";

// The satellite (an RCM one: *unknown set otherwise), the radar, the look
// side, the polarisations and the pass.
bool read_mission(pugi::xml_node root, ProductInfo& info, std::string* why, bool* unknown) {
  const std::optional<std::string> satellite = xml_word(root, "sourceAttributes/satellite", why);
  if (!satellite) return false;
  if (!satellite->starts_with("RCM")) {
    if (unknown != nullptr) *unknown = true;
    return fail(why, "sourceAttributes/satellite is " + xml_quoted(*satellite) +
                         ": only the RADARSAT Constellation's (RCM-1, RCM-2, RCM-3) product.xml is read");
  }
  const pugi::xml_node radar = xml_child(root, radar_parameters, why);
  info.radar_frequency_hz =
      radar ? xml_bounded(radar, "radarCenterFrequency", "Hz", radar_frequency_problem, why) : std::nullopt;
  const std::optional<LookSide> look = info.radar_frequency_hz ? xml_look_side(radar, "antennaPointing", why) : std::nullopt;
  const std::optional<std::string> polarisations = look ? xml_word(radar, "polarizations", why) : std::nullopt;
  const std::optional<std::string> pass =
      polarisations ? xml_pass(root, std::string(orbit_information) + "/passDirection", why) : std::nullopt;
  if (!pass) return false;
  info.mission = *satellite;
  info.look = *look;
  info.polarisation = *polarisations;
  info.pass = *pass;
  return true;
}

bool read_orbit(pugi::xml_node root, TimedOrbit& orbit, std::string* why) {
  static const XmlOrbitLayout layout{"stateVector",
                                     {"timeStamp", {"xPosition", "yPosition", "zPosition"},
                                      {"xVelocity", "yVelocity", "zVelocity"}},
                                     nullptr,
                                     rcm_product_orbit_source};
  const pugi::xml_node list = xml_child(root, orbit_information, why);
  return list && read_xml_orbit(list, layout, orbit, why);
}

bool read_bandwidths(pugi::xml_node root, ProductInfo& info, std::string* why) {
  const pugi::xml_node processing = xml_child(root, sar_processing, why);
  const auto bandwidth = [&](double hz) { return bandwidth_problem(hz, info.radar_frequency_hz); };
  if (processing) info.range_bandwidth_hz = xml_bounded(processing, "totalProcessedRangeBandwidth", "Hz", bandwidth, why);
  if (info.range_bandwidth_hz)
    info.azimuth_bandwidth_hz = xml_bounded(processing, "totalProcessedAzimuthBandwidth", "Hz", bandwidth, why);
  return info.azimuth_bandwidth_hz.has_value();
}

// The mean latitude and longitude (degrees) of the geodeticCoordinate
// elements of points below parent (each point's element named item, or
// any), longitudes taken within 180 degrees of the first; false and *why set
// for none or a malformed one.
bool mean_point(pugi::xml_node parent, const char* item, ProductInfo& info, std::string* why) {
  double lat_sum = 0.0, lon_sum = 0.0, first_lon = 0.0;
  std::size_t n = 0;
  for (const pugi::xml_node point : parent.children()) {
    if (point.type() != pugi::node_element || (item != nullptr && std::string_view(point.name()) != item)) continue;
    const std::optional<double> lat = xml_number(point, "geodeticCoordinate/latitude", why);
    std::optional<double> lon = lat ? xml_number(point, "geodeticCoordinate/longitude", why) : std::nullopt;
    if (!lon) return false;
    if (!geodetic_degrees(*lat, *lon))
      return fail(why, xml_path(point, "geodeticCoordinate") + " is no geodetic latitude and longitude (degrees)");
    if (n == 0) first_lon = *lon;
    lon = *lon - 360.0 * std::round((*lon - first_lon) / 360.0);
    lat_sum += *lat;
    lon_sum += *lon;
    ++n;
  }
  if (n == 0) return fail(why, xml_path(parent) + " holds no points");
  info.scene_centre = SceneCentre{lat_sum / static_cast<double>(n), lon_sum / static_cast<double>(n), std::nullopt};
  return true;
}

// The scene centre of a product in ground range or map geometry.
bool read_centre(pugi::xml_node root, ProductInfo& info, std::string* why) {
  const pugi::xml_node geographic = xml_child(root, geographic_information, why);
  if (!geographic) return false;
  if (const pugi::xml_node corners = geographic.child("mapProjection").child("positioningInformation"))
    return mean_point(corners, nullptr, info, why);
  const pugi::xml_node grid = xml_child(geographic, "geolocationGrid", why);
  return grid && mean_point(grid, "imageTiePoint", info, why);
}

// An SLC's first and last line times and near and far ranges; the others'
// scene centre.
bool read_scene(pugi::xml_node root, ProductInfo& info, std::string* why) {
  const std::optional<std::string> type =
      xml_word(root, "imageGenerationParameters/generalProcessingInformation/productType", why);
  if (!type) return false;
  if (*type != slant_range_product) return read_centre(root, info, why);
  const pugi::xml_node processing = xml_child(root, sar_processing, why);
  const pugi::xml_node image = processing ? xml_child(root, "sceneAttributes/imageAttributes", why) : pugi::xml_node{};
  if (!image) return false;
  const std::optional<UtcTime> first = xml_utc(processing, "zeroDopplerTimeFirstLine", "", why);
  const std::optional<UtcTime> last = first ? xml_utc(processing, "zeroDopplerTimeLastLine", "", why) : std::nullopt;
  const std::optional<double> near =
      last ? xml_bounded(image, "slantRangeNearEdge", "m", slant_range_problem, why) : std::nullopt;
  const std::optional<double> far =
      near ? xml_bounded(image, "slantRangeFarEdge", "m", slant_range_problem, why) : std::nullopt;
  if (!far) return false;
  if (*far < *near) return fail(why, xml_path(image, "slantRangeFarEdge") + " is nearer than slantRangeNearEdge");
  info.image.first_line = std::min(*first, *last);  // lines in decreasing time: the first line is the last in time
  info.image.last_line = std::max(*first, *last);
  info.image.near_range_m = near;
  info.image.far_range_m = far;
  return true;
}

// The product below its root element.
bool read_product(pugi::xml_node root, ProductInfo& info, std::string* why, bool* unknown) {
  return read_mission(root, info, why, unknown) && read_orbit(root, info.orbit, why) &&
         read_bandwidths(root, info, why) && read_scene(root, info, why);
}

constexpr XmlProductReader reader{"product", rcm_product_format, read_product};

}  // namespace

std::optional<ProductInfo> read_rcm_product(const std::string& path, Refusal* problem) {
  return read_xml_product(path, reader, problem);
}

std::optional<ProductInfo> parse_rcm_product(std::string_view bytes, const std::string& name,
                                             std::string* problem) {
  return parse_xml_product(bytes, name, reader, problem);
}

}  // namespace bperp::stack
