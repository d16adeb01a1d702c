#include "bperp/stack/inputs/saocom_annotation.h"

#include <array>
#include <cmath>

#include "bperp/io/ascii_text.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/inputs/product_bounds.h"
#include "bperp/stack/inputs/xml_document.h"
#include "bperp/stack/support/number_text.h"
#include "bperp/stack/support/problem_text.h"

namespace bperp::stack {

namespace {

// Slant range per second of two-way travel time: c / 2, m/s.
constexpr double metres_per_two_way_second = units::speed_of_light_m_s / 2.0;

constexpr const char* not_available = "NOT_AVAILABLE";
constexpr std::size_t xyz = 3;

constexpr std::array<std::string_view, 12> month_names = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

bool digits(std::string_view text) {
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  return !text.empty();
}

// The SAOCOM time stamp at path; nullopt and *why set, naming it, otherwise.
std::optional<UtcTime> time_at(pugi::xml_node node, const char* path, std::string* why) {
  const std::optional<std::string_view> text = xml_text(node, path, why);
  if (!text) return std::nullopt;
  std::string problem;
  const std::optional<UtcTime> t = saocom_time(*text, &problem);
  if (!t) fail(why, xml_path(node, path) + " is " + xml_quoted(*text) + ", " + problem);
  return t;
}

// The positive integer at path (a track or orbit number), or nullopt for
// NOT_AVAILABLE or an empty element; false and *why set for anything else.
bool optional_count(pugi::xml_node node, const char* path, std::optional<long>& value, std::string* why) {
  if (!node.child(path)) return true;
  const std::optional<std::string_view> text = xml_text(node, path, why);
  if (!text) return false;
  if (text->empty() || upper(*text) == not_available) return true;
  value = xml_integer(node, path, why);
  if (value && *value < 1)
    return fail(why, xml_path(node, path) + " is " + std::to_string(*value) + "; it must be positive or " + not_available);
  return value.has_value();
}

// DataSetInfo: the mission, the radar frequency and the look side.
bool read_radar(pugi::xml_node channel, ProductInfo& info, std::string* why) {
  const pugi::xml_node set = xml_child(channel, "DataSetInfo", why);
  const std::optional<std::string> mission = set ? xml_word(set, "SensorName", why) : std::nullopt;
  if (!mission) return false;
  info.mission = *mission;
  info.radar_frequency_hz = xml_bounded(set, "fc_hz", "Hz", radar_frequency_problem, why);
  const std::optional<LookSide> side = info.radar_frequency_hz ? xml_look_side(set, "SideLooking", why) : std::nullopt;
  if (!side) return false;
  info.look = *side;
  return true;
}

// SwathInfo: the swath and the polarisation ("H/H" as HH), where given.
bool read_swath(pugi::xml_node channel, ProductInfo& info, std::string* why) {
  const pugi::xml_node swath = channel.child("SwathInfo");
  if (!swath) return true;
  for (const auto& [path, field] : {std::pair{"Swath", &info.swath}, std::pair{"Polarization", &info.polarisation}}) {
    if (!swath.child(path)) continue;
    const std::optional<std::string> text = xml_word(swath, path, why);
    if (!text) return false;
    for (const char c : *text)
      if (c != '/') field->push_back(c);
  }
  return true;
}

// n numbers of the <val> children of list (numbered N = 1, 2, ... where
// numbered) into values.
bool read_values(pugi::xml_node list, std::size_t n, std::vector<double>& values, std::string* why) {
  const std::optional<std::size_t> count = xml_list_size(list, "val", false, why);
  if (!count) return false;
  if (*count != n)
    return fail(why, xml_path(list) + " holds " + std::to_string(*count) + " values; " + std::to_string(n / xyz) +
                         " vectors (nSV_n) need " + std::to_string(n));
  values.clear();
  for (const pugi::xml_node val : list.children("val")) {
    const std::size_t k = values.size() + 1;
    if (const pugi::xml_attribute number = val.attribute("N");
        number && std::string_view(number.value()) != std::to_string(k))
      return fail(why, xml_path(val) + " is numbered N=" + xml_quoted(number.value()) + ", not " + std::to_string(k));
    const std::optional<double> v = xml_number(val, "", why);
    if (!v) return false;
    values.push_back(*v);
  }
  return true;
}

// StateVectorData: the pass, track and orbit number, and the orbit.
bool read_orbit(pugi::xml_node channel, ProductInfo& info, std::string* why) {
  const pugi::xml_node data = xml_child(channel, "StateVectorData", why);
  const std::optional<std::string> pass = data ? xml_pass(data, "OrbitDirection", why) : std::nullopt;
  if (!pass) return false;
  info.pass = *pass;
  if (!optional_count(data, "Track", info.track, why) || !optional_count(data, "OrbitNumber", info.absolute_orbit, why))
    return false;
  const std::optional<long> n = xml_integer(data, "nSV_n", why);
  if (!n) return false;
  if (*n < static_cast<long>(orbit_min_rows) || *n > static_cast<long>(max_orbit_rows))
    return fail(why, xml_path(data, "nSV_n") + " is " + std::to_string(*n) + "; an orbit needs " +
                         std::to_string(orbit_min_rows) + " to " + std::to_string(max_orbit_rows) + " vectors");
  const std::optional<UtcTime> first = time_at(data, "t_ref_Utc", why);
  const std::optional<double> interval = first ? xml_positive(data, "dtSV_s", why) : std::nullopt;
  if (!interval) return false;
  const std::size_t count = static_cast<std::size_t>(*n);
  std::vector<double> positions, velocities;
  const pugi::xml_node p = xml_child(data, "pSV_m", why);
  const pugi::xml_node v = p ? xml_child(data, "vSV_mOs", why) : pugi::xml_node{};
  if (!v || !read_values(p, xyz * count, positions, why) || !read_values(v, xyz * count, velocities, why))
    return false;
  info.orbit.rows.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    const double after = static_cast<double>(k) * *interval;
    const std::optional<UtcTime> t = product_time(*first, after);
    if (!t)
      return fail(why, "vector " + std::to_string(k + 1) + " of " + xml_path(data) + " falls " + round_trip_text(after) +
                           " s after t_ref_Utc, a time outside " + product_years_text());
    const double position[3] = {positions[xyz * k], positions[xyz * k + 1], positions[xyz * k + 2]};
    const double velocity[3] = {velocities[xyz * k], velocities[xyz * k + 1], velocities[xyz * k + 2]};
    if (!append_orbit_vector(info.orbit, *t, position, velocity, data, why)) return false;
  }
  info.orbit.source = saocom_orbit_source;
  return true;
}

// RasterInfo of an image in slant range: its line times and slant ranges.
bool read_slant_image(pugi::xml_node raster, ProductInfo& info, std::string* why) {
  ImageTiming& image = info.image;
  image.first_line = time_at(raster, "LinesStart", why);
  image.line_interval_s = image.first_line ? xml_positive(raster, "LinesStep", why) : std::nullopt;
  image.lines = image.line_interval_s ? xml_integer(raster, "Lines", why) : std::nullopt;
  image.samples = image.lines ? xml_integer(raster, "Samples", why) : std::nullopt;
  const std::optional<double> range_time = image.samples ? xml_positive(raster, "SamplesStart", why) : std::nullopt;
  const std::optional<double> range_step = range_time ? xml_positive(raster, "SamplesStep", why) : std::nullopt;
  if (!range_step) return false;
  if (*image.lines < 1 || *image.samples < 1)
    return fail(why, xml_path(raster) + " gives " + std::to_string(*image.lines) + " lines and " +
                         std::to_string(*image.samples) + " samples; an image has at least one of each");
  const double span = static_cast<double>(*image.lines - 1) * *image.line_interval_s;
  image.last_line = product_time(*image.first_line, span);
  if (!image.last_line)
    return fail(why, xml_path(raster) + ": its last line falls outside " + product_years_text());
  image.range_pixel_spacing_m = *range_step * metres_per_two_way_second;
  image.near_range_m = *range_time * metres_per_two_way_second;
  image.far_range_m = *image.near_range_m + static_cast<double>(*image.samples - 1) * *image.range_pixel_spacing_m;
  for (const double range : {*image.near_range_m, *image.far_range_m})
    if (const std::string problem = slant_range_problem(range); !problem.empty())
      return fail(why, xml_path(raster, "SamplesStart") + ", SamplesStep and Samples give a slant range of " +
                           round_trip_text(range) + " m; " + problem);
  return true;
}

// GroundCornerPoints/Center/Point: its first two values, latitude and
// longitude (deg).
bool read_scene_centre(pugi::xml_node channel, ProductInfo& info, std::string* why) {
  const pugi::xml_node point = xml_child(channel, "GroundCornerPoints/Center/Point", why);
  const std::optional<std::size_t> count = point ? xml_list_size(point, "val", false, why) : std::nullopt;
  if (!count) return false;
  if (*count < 2)
    return fail(why, xml_path(point) + " holds " + std::to_string(*count) + " values; a point needs its latitude and "
                         "longitude");
  const pugi::xml_node latitude = point.child("val"), longitude = latitude.next_sibling("val");
  const std::optional<double> lat = xml_bounded(latitude, "", "deg", [](double v) {
    return std::abs(v) <= 90.0 ? std::string() : std::string("a latitude lies between -90 and 90 deg");
  }, why);
  const std::optional<double> lon = lat ? xml_bounded(longitude, "", "deg", [](double v) {
    return std::abs(v) <= 180.0 ? std::string() : std::string("a longitude lies between -180 and 180 deg");
  }, why) : std::nullopt;
  if (!lon) return false;
  info.scene_centre = SceneCentre{*lat, *lon, std::nullopt};
  return true;
}

// The image: its line times and slant ranges when it lies in slant range
// (LinesStart in unit Utc), else the scene centre.
bool read_image(pugi::xml_node channel, ProductInfo& info, std::string* why) {
  const pugi::xml_node raster = xml_child(channel, "RasterInfo", why);
  const pugi::xml_node start = raster ? xml_child(raster, "LinesStart", why) : pugi::xml_node{};
  if (!start) return false;
  if (upper(start.attribute("unit").value()) == "UTC") return read_slant_image(raster, info, why);
  return read_scene_centre(channel, info, why);
}

// The product below the root: its first channel's radar, swath, orbit and
// image.
bool read_product(pugi::xml_node root, ProductInfo& info, std::string* why, bool*) {
  const pugi::xml_node channel = xml_child(root, "Channel", why);
  return channel && read_radar(channel, info, why) && read_swath(channel, info, why) &&
         read_orbit(channel, info, why) && read_image(channel, info, why);
}

constexpr XmlProductReader reader{"SAOCOM_XMLProduct", saocom_annotation_format, read_product};

}  // namespace

std::optional<UtcTime> saocom_time(std::string_view text, std::string* problem) {
  // DD-MON-YYYY HH:MM:SS[.f]: the date's three fields, then the time of day.
  constexpr std::size_t day_end = 2, month_end = 6, year_end = 11;
  const bool shaped = text.size() > year_end && text[day_end] == '-' && text[month_end] == '-' &&
                      text[year_end] == ' ' && digits(text.substr(0, day_end)) &&
                      digits(text.substr(month_end + 1, year_end - month_end - 1));
  std::size_t month = 0;
  while (shaped && month < month_names.size() && upper(text.substr(day_end + 1, 3)) != month_names[month]) ++month;
  if (!shaped || month == month_names.size()) {
    fail(problem, "not a time written DD-MON-YYYY HH:MM:SS.ffffff");
    return std::nullopt;
  }
  const std::string_view year = text.substr(month_end + 1, 4);
  const int year_value = std::stoi(std::string(year));
  if (year_value < first_product_year || year_value > last_product_year) {
    fail(problem, "a time outside " + product_years_text());
    return std::nullopt;
  }
  char month_digits[3] = {static_cast<char>('0' + (month + 1) / 10), static_cast<char>('0' + (month + 1) % 10), '\0'};
  const std::string iso = std::string(year) + "-" + month_digits + "-" + std::string(text.substr(0, day_end)) + "T" +
                          std::string(text.substr(year_end + 1));
  std::string why;
  const std::optional<UtcTime> t = parse_utc(iso, &why);
  if (!t) fail(problem, "not a UTC time (no such date, or hours, minutes or seconds out of range)");
  return t;
}

std::optional<ProductInfo> read_saocom_annotation(const std::string& path, Refusal* problem) {
  return read_xml_product(path, reader, problem);
}

std::optional<ProductInfo> parse_saocom_annotation(std::string_view bytes, const std::string& name,
                                                   std::string* problem) {
  return parse_xml_product(bytes, name, reader, problem);
}

}  // namespace bperp::stack
