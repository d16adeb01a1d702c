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
#include "bperp/stack/inputs/zip_archive.h"
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

// adsHeader: mission (S1 and a letter), absolute orbit (positive), swath,
// polarisation into info. False and *why set for any missing or wrong.
bool read_header(pugi::xml_node root, ProductInfo& info, std::string* why) {
  const std::optional<std::string> mission = xml_word(root, "adsHeader/missionId", why);
  if (!mission) return false;
  if (!sentinel1_mission(*mission))
    return fail(why, "adsHeader/missionId is " + xml_quoted(*mission) +
                         ", not a Sentinel-1 mission (S1A, S1B, ...)");
  const std::optional<long> orbit = xml_integer_at_least(root, "adsHeader/absoluteOrbitNumber", 1, why);
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
  info.radar_frequency_hz = xml_bounded(product, "radarFrequency", "Hz", radar_frequency_problem, why);
  if (!info.radar_frequency_hz) return false;
  info.range_sampling_rate_hz = xml_positive(product, "rangeSamplingRate", why);
  return info.range_sampling_rate_hz.has_value();
}

// The range and azimuth processing bandwidths (Hz, positive and below the
// radar frequency) of the first swathProcParams.
bool read_bandwidths(pugi::xml_node root, ProductInfo& info, std::string* why) {
  const pugi::xml_node params = xml_child(root, swath_processing, why);
  if (!params) return false;
  const auto bandwidth = [&](double hz) { return bandwidth_problem(hz, info.radar_frequency_hz); };
  info.range_bandwidth_hz = xml_bounded(params, "rangeProcessing/processingBandwidth", "Hz", bandwidth, why);
  if (!info.range_bandwidth_hz) return false;
  info.azimuth_bandwidth_hz = xml_bounded(params, "azimuthProcessing/processingBandwidth", "Hz", bandwidth, why);
  return info.azimuth_bandwidth_hz.has_value();
}

// An <orbit> element's frame, when it names one: "Earth Fixed".
bool earth_fixed(pugi::xml_node vector, std::string* why) {
  const pugi::xml_node frame = vector.child("frame");
  if (!frame) return true;
  const std::optional<std::string_view> name = xml_text(vector, "frame", why);
  if (!name) return false;
  if (*name != earth_fixed_frame)
    return fail(why, xml_path(frame) + " is " + xml_quoted(*name) + ", not \"" + earth_fixed_frame + "\"");
  return true;
}

// generalAnnotation/orbitList: at least orbit_min_rows <orbit> elements
// (time, frame, position/x|y|z in m, velocity/x|y|z in m/s) in time order.
bool read_orbit_list(pugi::xml_node root, TimedOrbit& orbit, std::string* why) {
  static const XmlOrbitLayout layout{"orbit",
                                     {"time", {"position/x", "position/y", "position/z"},
                                      {"velocity/x", "velocity/y", "velocity/z"}},
                                     nullptr,
                                     s1_annotation_orbit_source,
                                     earth_fixed};
  const pugi::xml_node list = xml_child(root, "generalAnnotation/orbitList", why);
  return list && read_xml_orbit(list, layout, orbit, why);
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
  timing.line_interval_s = xml_positive(image, "azimuthTimeInterval", why);
  const std::optional<double> range_time =
      timing.line_interval_s ? xml_positive(image, "slantRangeTime", why) : std::nullopt;
  timing.samples = range_time ? xml_integer_at_least(image, "numberOfSamples", 1, why) : std::nullopt;
  timing.lines = timing.samples ? xml_integer_at_least(image, "numberOfLines", 1, why) : std::nullopt;
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

// The burst IDs of the bursts of list, where the first burst has a
// burstId (then every burst must have one, at least 1) and the product's
// track is known: in OPERA's spelling, with the product's track and swath.
bool read_burst_ids(pugi::xml_node list, ProductInfo& info, std::string* why) {
  const pugi::xml_node first = list.child("burst");
  const std::optional<long> track = relative_orbit(info);
  if (!first || !first.child("burstId") || !track) return true;
  for (const pugi::xml_node burst : list.children("burst")) {
    const std::optional<long> id = xml_integer_at_least(burst, "burstId", 1, why);
    if (!id) return false;
    info.burst_ids.push_back(burst_id_text(*track, *id, info.swath));
  }
  return true;
}

// swathTiming: lines and samples per burst (0 for a product without bursts,
// positive when it has some), every burst's azimuth time, in time order,
// and their burst IDs where the annotation gives them.
bool read_bursts(pugi::xml_node root, ProductInfo& info, std::string* why) {
  const pugi::xml_node timing = xml_child(root, "swathTiming", why);
  if (!timing) return false;
  const std::optional<long> lines = xml_integer_at_least(timing, "linesPerBurst", 0, why);
  const std::optional<long> samples =
      lines ? xml_integer_at_least(timing, "samplesPerBurst", 0, why) : std::nullopt;
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
  return read_burst_ids(list, info, why);
}

// The product below root (<product>), looking right.
bool read_product(pugi::xml_node root, ProductInfo& info, std::string* why, bool* /*unknown*/) {
  info.look = LookSide::right;
  return read_header(root, info, why) && read_radar(root, info, why) && read_orbit_list(root, info.orbit, why) &&
         read_image(root, info, why) && read_bursts(root, info, why) && read_bandwidths(root, info, why);
}

// What read_product looks at below <product>: the rest (the antenna
// pattern, the geolocation grid, the Doppler centroids, the noise, the
// attitude, ... two thirds of an annotation's bytes and more) is cut out
// before the parse.
constexpr std::string_view read_paths[] = {
    "adsHeader",
    "generalAnnotation/productInformation",
    "generalAnnotation/orbitList",
    "imageAnnotation/imageInformation",
    "imageAnnotation/processingInformation/swathProcParamsList",
    "swathTiming/linesPerBurst",
    "swathTiming/samplesPerBurst",
    "swathTiming/burstList/burst/azimuthTime",
    "swathTiming/burstList/burst/burstId",
};

constexpr XmlProductReader annotation_reader{"product", s1_annotation_format, read_product, read_paths};

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

// Whether a polarisation ("vv") is a co-polarisation.
bool co_polarised(const std::string& polarisation) { return polarisation == "vv" || polarisation == "hh"; }

// The polarisations to try, in order: the one asked for, else VV, HH, then
// the cross-polarisations of the annotations in the order of their names.
std::vector<std::string> polarisations_to_try(const std::vector<AnnotationName>& of_swath, const std::string& asked) {
  if (!asked.empty()) return {lower(asked)};
  std::vector<std::string> order = {"vv", "hh"};
  std::vector<AnnotationName> sorted = of_swath;
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.file < b.file; });
  for (const AnnotationName& a : sorted)
    if (std::find(order.begin(), order.end(), a.polarisation) == order.end()) order.push_back(a.polarisation);
  return order;
}

}  // namespace

std::optional<ProductInfo> read_s1_annotation(const std::string& path, Refusal* problem) {
  return read_xml_product(path, annotation_reader, problem);
}

std::optional<ProductInfo> parse_s1_annotation(std::string_view bytes, const std::string& name,
                                               std::string* problem, bool cut_unread) {
  static constexpr XmlProductReader whole_reader{annotation_reader.root, annotation_reader.format, read_product};
  return parse_xml_product(bytes, name, cut_unread ? annotation_reader : whole_reader, problem);
}

std::string choose_annotation(const std::vector<std::string>& names, const AnnotationWish& wish,
                              const std::string& where, Refusal* problem, std::string* warning) {
  // No file, and *problem set.
  const auto refused = [&](std::string why) {
    refuse(problem, RefusalKind::malformed, std::move(why));
    return std::string();
  };
  std::vector<AnnotationName> found;
  for (const std::string& name : names)
    if (std::optional<AnnotationName> a = annotation_name(name)) found.push_back(*a);
  const std::string holds = where + " holds " + name_list(names);
  if (found.empty()) return refused("no Sentinel-1 SLC annotation (s1?-<swath>-slc-<pol>-*.xml): " + holds);
  const std::string take = chosen_swath(found, wish.swath);
  std::vector<AnnotationName> of_swath;
  std::copy_if(found.begin(), found.end(), std::back_inserter(of_swath),
               [&](const AnnotationName& a) { return a.swath == take; });
  if (of_swath.empty()) return refused("no annotation of swath " + upper(take) + ": " + holds);
  for (const std::string& polarisation : polarisations_to_try(of_swath, wish.polarisation)) {
    std::vector<std::string> fit;
    for (const AnnotationName& a : of_swath)
      if (a.polarisation == polarisation) fit.push_back(a.file);
    if (fit.size() > 1)
      return refused("several annotations of swath " + upper(take) + " and " + upper(polarisation) + " (" +
                     name_list(fit) + ") in " + where);
    if (fit.size() != 1) continue;
    if (wish.polarisation.empty() && !co_polarised(polarisation) && warning != nullptr)
      *warning = where + " holds no co-polarised (VV or HH) annotation of swath " + upper(take) + ": its " +
                 upper(polarisation) + " annotation is used";
    return fit.front();
  }
  return refused("no annotation of swath " + upper(take) + " and polarisation " + upper(wish.polarisation) +
                 ": " + holds);
}

std::string safe_annotation(const std::string& safe_dir, const AnnotationWish& wish, Refusal* refusal,
                            std::string* warning) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(safe_dir) / "annotation";
  std::error_code error;
  fs::directory_iterator entries(folder, error);
  if (error) {
    refuse(refusal, RefusalKind::unreadable, folder.string() + ": cannot list it (" + error.message() + ")");
    return {};
  }
  std::vector<std::string> names;
  std::size_t listed = 0;
  for (const fs::directory_entry& entry : entries) {
    if (++listed > max_zip_entries) {
      refuse(refusal, RefusalKind::malformed,
             folder.string() + ": holds more than " + std::to_string(max_zip_entries) + " entries");
      return {};
    }
    if (entry.is_regular_file(error)) names.push_back(entry.path().filename().string());  // not calibration/, rfi/, broken links
  }
  const std::string file = choose_annotation(names, wish, folder.string(), refusal, warning);
  return file.empty() ? file : (folder / file).string();
}

}  // namespace bperp::stack
