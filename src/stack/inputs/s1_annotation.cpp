#include "bperp/stack/inputs/s1_annotation.h"

#include "bperp/stack/support/problem_text.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <vector>

#include "bperp/io/ascii_text.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/inputs/product_bounds.h"
#include "bperp/stack/inputs/xml_document.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

// Slant range per second of two-way travel time: c / 2, m/s.
constexpr double metres_per_two_way_second = units::speed_of_light_m_s / 2.0;

constexpr const char* product_information = "generalAnnotation/productInformation";
constexpr const char* image_information = "imageAnnotation/imageInformation";
constexpr const char* swath_processing =
    "imageAnnotation/processingInformation/swathProcParamsList/swathProcParams";
constexpr const char* earth_fixed_frame = "Earth Fixed";

// File names listed in a message about a SAFE folder, at most.
constexpr std::size_t listed_names = 12;

// The number at path when it is positive (Hz, s, ...); nullopt and *why set
// otherwise.
std::optional<double> positive_number(pugi::xml_node node, const char* path, std::string* why) {
  const std::optional<double> v = xml_number(node, path, why);
  if (v && !(*v > 0.0)) {
    fail(why, xml_path(node, path) + " is " + round_trip_text(*v) + "; it must be positive");
    return std::nullopt;
  }
  return v;
}

// The integer at path when it is at least `least`; nullopt and *why set otherwise.
std::optional<long> integer_at_least(pugi::xml_node node, const char* path, long least,
                                     std::string* why) {
  const std::optional<long> v = xml_integer(node, path, why);
  if (v && *v < least) {
    fail(why, xml_path(node, path) + " is " + std::to_string(*v) + "; it must be at least " +
                  std::to_string(least));
    return std::nullopt;
  }
  return v;
}

// adsHeader: mission (S1 and a letter), absolute orbit (positive), swath,
// polarisation into info. False and *why set for any missing or wrong.
bool read_header(pugi::xml_node root, ProductInfo& info, std::string* why) {
  const std::optional<std::string> mission = xml_word(root, "adsHeader/missionId", why);
  if (!mission) return false;
  const bool sentinel_1 = mission->size() == 3 && mission->starts_with("S1") &&
                          (*mission)[2] >= 'A' && (*mission)[2] <= 'Z';
  if (!sentinel_1)
    return fail(why, "adsHeader/missionId is " + xml_quoted(*mission) +
                         ", not a Sentinel-1 mission (S1A, S1B, ...)");
  const std::optional<long> orbit = integer_at_least(root, "adsHeader/absoluteOrbitNumber", 1, why);
  const std::optional<std::string> swath =
      orbit ? xml_word(root, "adsHeader/swath", why) : std::nullopt;
  const std::optional<std::string> polarisation =
      swath ? xml_word(root, "adsHeader/polarisation", why) : std::nullopt;
  if (!polarisation) return false;
  info.mission = *mission;
  info.absolute_orbit = orbit;
  info.swath = *swath;
  info.polarisation = *polarisation;
  return true;
}

// productInformation: pass (ascending or descending, any case), radar
// frequency and range sampling rate (positive, Hz).
bool read_radar(pugi::xml_node root, ProductInfo& info, std::string* why) {
  const pugi::xml_node product = xml_child(root, product_information, why);
  if (!product) return false;
  const std::optional<std::string> pass = xml_word(product, "pass", why);
  if (!pass) return false;
  if (*pass != "ASCENDING" && *pass != "DESCENDING")
    return fail(why, xml_path(product, "pass") + " is " + xml_quoted(*pass) +
                         ", not Ascending or Descending");
  info.pass = *pass;
  info.radar_frequency_hz = xml_bounded_number(product, "radarFrequency", "Hz", radar_frequency_problem, why);
  if (!info.radar_frequency_hz) return false;
  info.range_sampling_rate_hz = positive_number(product, "rangeSamplingRate", why);
  return info.range_sampling_rate_hz.has_value();
}

// The range and azimuth processing bandwidths (Hz, positive and below the
// radar frequency) of the first swathProcParams.
bool read_bandwidths(pugi::xml_node root, ProductInfo& info, std::string* why) {
  const pugi::xml_node params = xml_child(root, swath_processing, why);
  if (!params) return false;
  const auto bandwidth = [&](double hz) { return bandwidth_problem(hz, info.radar_frequency_hz); };
  info.range_bandwidth_hz = xml_bounded_number(params, "rangeProcessing/processingBandwidth", "Hz", bandwidth, why);
  if (!info.range_bandwidth_hz) return false;
  info.azimuth_bandwidth_hz = xml_bounded_number(params, "azimuthProcessing/processingBandwidth", "Hz", bandwidth, why);
  return info.azimuth_bandwidth_hz.has_value();
}

// Three numbers at parent/x, y and z into out.
bool read_xyz(pugi::xml_node parent, double (&out)[3], std::string* why) {
  static constexpr const char* axes[3] = {"x", "y", "z"};
  for (int i = 0; i < 3; ++i) {
    const std::optional<double> v = xml_number(parent, axes[i], why);
    if (!v) return false;
    out[i] = *v;
  }
  return true;
}

// One <orbit> element (time, frame, position/x|y|z in m, velocity/x|y|z in
// m/s) appended to orbit.
bool read_orbit_vector(pugi::xml_node vector, TimedOrbit& orbit, std::string* why) {
  const std::optional<UtcTime> t = xml_utc(vector, "time", "", why);
  if (!t) return false;
  if (const pugi::xml_node frame = vector.child("frame"); frame) {
    const std::optional<std::string_view> name = xml_text(vector, "frame", why);
    if (!name) return false;
    if (*name != earth_fixed_frame)
      return fail(why, xml_path(frame) + " is " + xml_quoted(*name) + ", not \"" +
                           earth_fixed_frame + "\"");
  }
  double position[3], velocity[3];
  const pugi::xml_node p = xml_child(vector, "position", why);
  if (!p || !read_xyz(p, position, why)) return false;
  const pugi::xml_node v = xml_child(vector, "velocity", why);
  if (!v || !read_xyz(v, velocity, why)) return false;
  return append_orbit_vector(orbit, *t, position, velocity, vector, why);
}

// generalAnnotation/orbitList: at least orbit_min_rows vectors in time order.
bool read_orbit_list(pugi::xml_node root, TimedOrbit& orbit, std::string* why) {
  const pugi::xml_node list = xml_child(root, "generalAnnotation/orbitList", why);
  if (!list) return false;
  const std::optional<std::size_t> n = xml_list_size(list, "orbit", false, why);
  if (!n) return false;
  if (*n < orbit_min_rows)
    return fail(why, xml_path(list) + " holds " + std::to_string(*n) + " orbit vectors; at least " +
                         std::to_string(orbit_min_rows) + " are needed");
  orbit.rows.reserve(*n);
  for (const pugi::xml_node vector : list.children("orbit"))
    if (!read_orbit_vector(vector, orbit, why)) return false;
  orbit.source = s1_annotation_orbit_source;
  return true;
}

// imageInformation: first and last line times (last not before first),
// line interval (s), lines and samples (positive), and the slant ranges
// (m) from the two-way slant range time (s) and the range sampling rate.
bool read_image(pugi::xml_node root, ProductInfo& info, std::string* why) {
  const pugi::xml_node image = xml_child(root, image_information, why);
  if (!image) return false;
  ImageTiming& timing = info.image;
  timing.first_line = xml_utc(image, "productFirstLineUtcTime", "", why);
  if (!timing.first_line) return false;
  timing.last_line = xml_utc(image, "productLastLineUtcTime", "", why);
  if (!timing.last_line) return false;
  if (*timing.last_line < *timing.first_line)
    return fail(
        why, xml_path(image, "productLastLineUtcTime") + " comes before productFirstLineUtcTime");
  timing.line_interval_s = positive_number(image, "azimuthTimeInterval", why);
  const std::optional<double> range_time =
      timing.line_interval_s ? positive_number(image, "slantRangeTime", why) : std::nullopt;
  timing.samples = range_time ? integer_at_least(image, "numberOfSamples", 1, why) : std::nullopt;
  timing.lines = timing.samples ? integer_at_least(image, "numberOfLines", 1, why) : std::nullopt;
  if (!timing.lines || !range_time) return false;
  const double spacing = metres_per_two_way_second / *info.range_sampling_rate_hz;
  timing.range_pixel_spacing_m = spacing;
  timing.near_range_m = *range_time * metres_per_two_way_second;
  timing.far_range_m = *timing.near_range_m + static_cast<double>(*timing.samples - 1) * spacing;
  if (!std::isfinite(*timing.far_range_m))
    return fail(
        why, xml_path(image, "slantRangeTime") + " and numberOfSamples give no finite slant range");
  if (const std::string problem = slant_range_problem(*timing.near_range_m); !problem.empty())
    return fail(why, xml_path(image, "slantRangeTime") + " is " + round_trip_text(*range_time) +
                         " s, a slant range of " + round_trip_text(*timing.near_range_m) + " m; " + problem);
  if (const std::string problem = slant_range_problem(*timing.far_range_m); !problem.empty())
    return fail(why, xml_path(image, "slantRangeTime") + ", numberOfSamples and rangeSamplingRate give a far "
                         "slant range of " + round_trip_text(*timing.far_range_m) + " m; " + problem);
  return true;
}

// swathTiming: lines and samples per burst (0 for a product without bursts,
// positive when it has some) and every burst's azimuth time, in time order.
bool read_bursts(pugi::xml_node root, ProductInfo& info, std::string* why) {
  const pugi::xml_node timing = xml_child(root, "swathTiming", why);
  if (!timing) return false;
  const std::optional<long> lines = integer_at_least(timing, "linesPerBurst", 0, why);
  const std::optional<long> samples =
      lines ? integer_at_least(timing, "samplesPerBurst", 0, why) : std::nullopt;
  const pugi::xml_node list = samples ? xml_child(timing, "burstList", why) : pugi::xml_node{};
  const std::optional<std::size_t> n =
      list ? xml_list_size(list, "burst", false, why) : std::nullopt;
  if (!n) return false;
  if (*n > 0 && (*lines == 0 || *samples == 0))
    return fail(why, xml_path(timing) + " lists bursts but gives 0 lines or samples per burst");
  if (*lines > 0) info.lines_per_burst = lines;
  if (*samples > 0) info.samples_per_burst = samples;
  info.burst_times.reserve(*n);
  for (const pugi::xml_node burst : list.children("burst")) {
    const std::optional<UtcTime> t = xml_utc(burst, "azimuthTime", "", why);
    if (!t) return false;
    if (!info.burst_times.empty() && !(*t > info.burst_times.back()))
      return fail(why, xml_path(burst, "azimuthTime") + " (" + utc_text(*t) +
                           ") does not come after the burst before it");
    info.burst_times.push_back(*t);
  }
  return true;
}

// The product in doc, or nullopt and *why set (without the file's name).
std::optional<ProductInfo> read_product(const XmlDocument& doc, std::string* why) {
  const pugi::xml_node root = xml_root(doc, "product", why);
  if (!root) return std::nullopt;
  ProductInfo info;
  info.format = s1_annotation_format;
  info.look = LookSide::right;
  const bool read = read_header(root, info, why) && read_radar(root, info, why) &&
                    read_orbit_list(root, info.orbit, why) && read_image(root, info, why) &&
                    read_bursts(root, info, why) && read_bandwidths(root, info, why);
  if (!read) return std::nullopt;
  return info;
}

// The parts of an annotation file name s1?-<swath>-slc-<pol>-....xml, in
// lower case; nullopt for any other name.
struct AnnotationName {
  std::string file, swath, polarisation;
};

std::optional<AnnotationName> annotation_name(const std::string& file) {
  const std::string name = lower(file);
  if (!name.ends_with(".xml")) return std::nullopt;
  std::vector<std::string_view> parts;
  std::string_view rest(name);
  constexpr std::size_t fields = 4;  // mission, swath, product type, polarisation
  while (parts.size() < fields) {
    const std::size_t dash = rest.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    parts.push_back(rest.substr(0, dash));
    rest.remove_prefix(dash + 1);
  }
  const bool mission = parts[0].size() == 3 && parts[0].starts_with("s1");
  if (!mission || parts[2] != "slc" || parts[1].empty() || parts[3].empty()) return std::nullopt;
  return AnnotationName{file, std::string(parts[1]), std::string(parts[3])};
}

// "a.xml, b.xml, ..." of names (at most listed_names), or "no files".
std::string name_list(std::vector<std::string> names) {
  if (names.empty()) return "no files";
  std::sort(names.begin(), names.end());
  std::string list;
  for (std::size_t i = 0; i < names.size() && i < listed_names; ++i)
    list += (i == 0 ? "" : ", ") + names[i];
  if (names.size() > listed_names)
    list += " and " + std::to_string(names.size() - listed_names) + " more";
  return list;
}

// The swath to take among the annotations: the one asked for (lower case),
// or the middle of those present.
std::string chosen_swath(const std::vector<AnnotationName>& found, const std::string& asked) {
  if (!asked.empty()) return lower(asked);
  std::vector<std::string> swaths;
  for (const AnnotationName& a : found) swaths.push_back(a.swath);
  std::sort(swaths.begin(), swaths.end());
  swaths.erase(std::unique(swaths.begin(), swaths.end()), swaths.end());
  return swaths[(swaths.size() - 1) / 2];
}

}  // namespace

std::optional<ProductInfo> read_s1_annotation(const std::string& path, Refusal* problem) {
  return read_xml_product(path, read_product, problem);
}

std::optional<ProductInfo> parse_s1_annotation(std::string_view bytes, const std::string& name,
                                               std::string* problem) {
  return parse_xml_product(bytes, name, read_product, problem);
}

std::string safe_annotation(const std::string& safe_dir, const std::string& swath, Refusal* refusal) {
  // No file, and *refusal set.
  const auto refused = [&](RefusalKind kind, std::string why) {
    refuse(refusal, kind, std::move(why));
    return std::string();
  };
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(safe_dir) / "annotation";
  std::error_code error;
  fs::directory_iterator entries(folder, error);
  if (error) return refused(RefusalKind::unreadable, folder.string() + ": cannot list it (" + error.message() + ")");
  std::vector<std::string> names;
  std::vector<AnnotationName> found;
  for (const fs::directory_entry& entry : entries) {
    if (!entry.is_regular_file(error)) continue;  // calibration/, rfi/, broken links
    names.push_back(entry.path().filename().string());
    if (std::optional<AnnotationName> a = annotation_name(names.back())) found.push_back(*a);
  }
  const std::string holds = folder.string() + " holds " + name_list(names);
  if (found.empty())
    return refused(RefusalKind::malformed, "no Sentinel-1 SLC annotation (s1?-<swath>-slc-<pol>-*.xml): " + holds);
  const std::string take = chosen_swath(found, swath);
  std::vector<AnnotationName> of_swath;
  std::copy_if(found.begin(), found.end(), std::back_inserter(of_swath),
               [&](const AnnotationName& a) { return a.swath == take; });
  if (of_swath.empty()) return refused(RefusalKind::malformed, "no annotation of swath " + upper(take) + ": " + holds);
  for (const char* polarisation : {"vv", "hh"}) {
    std::vector<std::string> fit;
    for (const AnnotationName& a : of_swath)
      if (a.polarisation == polarisation) fit.push_back(a.file);
    if (fit.size() > 1)
      return refused(RefusalKind::malformed, "several annotations of swath " + upper(take) + " and " +
                                                 upper(polarisation) + " (" + name_list(fit) + ") in " +
                                                 folder.string());
    if (fit.size() == 1) return (folder / fit.front()).string();
  }
  return refused(RefusalKind::malformed,
                 "no co-polarised (VV or HH) annotation of swath " + upper(take) + ": " + holds);
}

}  // namespace bperp::stack
