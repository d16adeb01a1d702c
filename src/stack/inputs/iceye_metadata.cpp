#include "bperp/stack/inputs/iceye_metadata.h"

#include <vector>

#include "bperp/numeric/units.h"
#include "bperp/stack/inputs/product_bounds.h"
#include "bperp/stack/inputs/xml_document.h"
#include "bperp/stack/support/number_text.h"
#include "bperp/stack/support/problem_text.h"

namespace bperp::stack {

namespace {

constexpr const char* slant_range_level = "SLC";
constexpr double metres_per_two_way_second = units::speed_of_light_m_s / 2.0;

// The satellite, its orbit and pass, the look side, the polarisation.
bool read_mission(pugi::xml_node root, ProductInfo& info, std::string* why) {
  const std::optional<std::string> name = xml_word(root, "satellite_name", why);
  const std::optional<long> absolute = name ? xml_integer_at_least(root, "orbit_absolute_number", 1, why) : std::nullopt;
  const std::optional<std::string> pass = absolute ? xml_pass(root, "orbit_direction", why) : std::nullopt;
  const std::optional<LookSide> look = pass ? xml_look_side(root, "look_side", why) : std::nullopt;
  const std::optional<std::string> polarisation = look ? xml_word(root, "polarization", why) : std::nullopt;
  if (!polarisation) return false;
  info.mission = *name;
  info.absolute_orbit = absolute;
  info.pass = *pass;
  info.look = *look;
  info.polarisation = *polarisation;
  return true;
}

// The radar's frequency and sampling rate, the look bandwidths (Hz, positive).
bool read_radar(pugi::xml_node root, ProductInfo& info, std::string* why) {
  info.radar_frequency_hz = xml_bounded(root, "carrier_frequency", "Hz", radar_frequency_problem, why);
  const auto bandwidth = [&](double hz) { return bandwidth_problem(hz, info.radar_frequency_hz); };
  if (info.radar_frequency_hz) info.range_sampling_rate_hz = xml_positive(root, "range_sampling_rate", why);
  if (info.range_sampling_rate_hz) info.range_bandwidth_hz = xml_bounded(root, "range_look_bandwidth", "Hz", bandwidth, why);
  if (info.range_bandwidth_hz) info.azimuth_bandwidth_hz = xml_bounded(root, "azimuth_look_bandwidth", "Hz", bandwidth, why);
  return info.azimuth_bandwidth_hz.has_value();
}

bool read_orbit(pugi::xml_node root, TimedOrbit& orbit, std::string* why) {
  static const XmlOrbitLayout layout{"orbit_vector",
                                     {"time", {"posX", "posY", "posZ"}, {"velX", "velY", "velZ"}},
                                     "count",
                                     iceye_metadata_orbit_source};
  const pugi::xml_node list = xml_child(root, "Orbit_State_Vectors", why);
  return list && read_xml_orbit(list, layout, orbit, why);
}

// coord_center: "pixel line latitude longitude", the scene centre.
bool read_centre(pugi::xml_node root, ProductInfo& info, std::string* why) {
  const std::optional<std::string_view> text = xml_text(root, "coord_center", why);
  if (!text) return false;
  std::vector<double> numbers;
  std::size_t at = 0;
  while (at < text->size()) {
    const std::size_t end = std::min(text->find_first_of(" \t\r\n", at), text->size());
    if (end > at) {
      std::string ignored;
      const std::optional<double> v = number_from_text(text->substr(at, end - at), &ignored);
      if (!v) break;
      numbers.push_back(*v);
    }
    at = end + 1;
  }
  if (numbers.size() != 4 || !geodetic_degrees(numbers[2], numbers[3]))
    return fail(why, xml_path(root, "coord_center") + " is " + xml_quoted(*text) +
                         ", not \"pixel line latitude longitude\" (degrees)");
  info.scene_centre = SceneCentre{numbers[2], numbers[3], std::nullopt};
  return true;
}

// An SLC's first and last line times and near and far ranges; the others'
// stated scene centre.
bool read_scene(pugi::xml_node root, ProductInfo& info, std::string* why) {
  const std::optional<std::string> level = xml_word(root, "product_level", why);
  if (!level) return false;
  if (*level != slant_range_level) return read_centre(root, info, why);
  ImageTiming& image = info.image;
  image.first_line = xml_utc(root, "zerodoppler_start_utc", "", why);
  image.last_line = image.first_line ? xml_utc(root, "zerodoppler_end_utc", "", why) : std::nullopt;
  if (!image.last_line) return false;
  if (*image.last_line < *image.first_line)
    return fail(why, xml_path(root, "zerodoppler_end_utc") + " comes before zerodoppler_start_utc");
  image.near_range_m = xml_bounded(root, "slant_range_to_first_pixel", "m", slant_range_problem, why);
  image.samples = image.near_range_m ? xml_integer_at_least(root, "number_of_range_samples", 1, why) : std::nullopt;
  if (!image.samples) return false;
  image.range_pixel_spacing_m = metres_per_two_way_second / *info.range_sampling_rate_hz;
  image.far_range_m = *image.near_range_m + static_cast<double>(*image.samples - 1) * *image.range_pixel_spacing_m;
  if (const std::string problem = slant_range_problem(*image.far_range_m); !problem.empty())
    return fail(why, xml_path(root, "slant_range_to_first_pixel") + ", number_of_range_samples and "
                     "range_sampling_rate give a far slant range of " + round_trip_text(*image.far_range_m) + " m; " +
                     problem);
  return true;
}

// The product below the root element, which must hold Orbit_State_Vectors
// (other <Metadata> is of no kind read).
bool read_product(pugi::xml_node root, ProductInfo& info, std::string* why, bool* unknown) {
  if (!root.child("Orbit_State_Vectors")) {
    if (unknown != nullptr) *unknown = true;
    return fail(why, "the root element <Metadata> holds no Orbit_State_Vectors: no ICEYE metadata");
  }
  return read_mission(root, info, why) && read_radar(root, info, why) && read_orbit(root, info.orbit, why) &&
         read_scene(root, info, why);
}

constexpr XmlProductReader reader{"Metadata", iceye_metadata_format, read_product};

}  // namespace

std::optional<ProductInfo> read_iceye_metadata(const std::string& path, Refusal* problem) {
  return read_xml_product(path, reader, problem);
}

std::optional<ProductInfo> parse_iceye_metadata(std::string_view bytes, const std::string& name,
                                                std::string* problem) {
  return parse_xml_product(bytes, name, reader, problem);
}

}  // namespace bperp::stack
