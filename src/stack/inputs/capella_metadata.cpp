#include "bperp/stack/inputs/capella_metadata.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <nlohmann/json.hpp>

#include "bperp/io/ascii_text.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/inputs/product_bounds.h"
#include "bperp/stack/support/bounded_file.h"
#include "bperp/stack/support/number_text.h"
#include "bperp/stack/support/problem_text.h"

namespace bperp::stack {

namespace {

using Json = nlohmann::json;

constexpr const char* state_vectors = "collect.state.state_vectors";
constexpr const char* image_geometry = "collect.image.image_geometry";
constexpr const char* slant_plane = "slant_plane";
constexpr std::size_t mebibyte = std::size_t{1} << 20;

// text for a message: at most 40 characters, what is not printable ASCII as '?'.
std::string excerpt(std::string_view text) { return quoted_excerpt(text, '"'); }

// The deepest nesting of objects and arrays in bytes, and (at most) how
// many values they hold: one per object or array and one more per comma
// (strings skipped).
struct JsonShape {
  std::size_t deepest = 0, values = 1;
};
JsonShape shape_of(std::string_view bytes) {
  JsonShape shape;
  std::size_t depth = 0;
  bool in_string = false, escape = false;
  for (const char c : bytes) {
    if (in_string) {
      if (escape) escape = false;
      else if (c == '\\') escape = true;
      else if (c == '"') in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '{' || c == '[') {
      shape.deepest = std::max(shape.deepest, ++depth);
      ++shape.values;
    } else if ((c == '}' || c == ']') && depth > 0) {
      --depth;
    } else if (c == ',') {
      ++shape.values;
    }
  }
  return shape;
}

// The member at path ("collect.radar.pointing") below root; null and *why
// set, naming the path up to the first missing member, when it is not there.
const Json* member(const Json& root, std::string_view path, std::string* why) {
  const Json* node = &root;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t dot = std::min(path.find('.', start), path.size());
    const std::string key(path.substr(0, dot));
    if (!node->is_object()) {
      fail(why, std::string(path.substr(0, start == 0 ? 0 : start - 1)) + " is no object");
      return nullptr;
    }
    const auto it = node->find(std::string(path.substr(start, dot - start)));
    if (it == node->end()) {
      fail(why, key + " is missing");
      return nullptr;
    }
    node = &*it;
    start = dot + 1;
  }
  return node;
}

// The finite number at path; nullopt and *why set otherwise.
std::optional<double> number(const Json& root, std::string_view path, std::string* why) {
  const Json* v = member(root, path, why);
  if (v == nullptr) return std::nullopt;
  if (!v->is_number() || !std::isfinite(v->get<double>())) {
    fail(why, std::string(path) + " is " + excerpt(v->dump()) + ", not a finite number");
    return std::nullopt;
  }
  return v->get<double>();
}

// The positive number at path; nullopt and *why set otherwise.
std::optional<double> positive(const Json& root, std::string_view path, std::string* why) {
  const std::optional<double> v = number(root, path, why);
  if (v && !(*v > 0.0)) {
    fail(why, std::string(path) + " is " + round_trip_text(*v) + "; it must be positive");
    return std::nullopt;
  }
  return v;
}

// The number at path (in unit) when bound(value) says nothing against it
// (product_bounds.h); nullopt and *why set, naming the path, the value and
// the bound, otherwise.
template <typename Bound>
std::optional<double> bounded(const Json& root, std::string_view path, const char* unit, Bound bound,
                              std::string* why) {
  const std::optional<double> v = number(root, path, why);
  if (!v) return std::nullopt;
  if (const std::string problem = bound(*v); !problem.empty()) {
    fail(why, std::string(path) + " is " + round_trip_text(*v) + " " + unit + "; " + problem);
    return std::nullopt;
  }
  return v;
}

// The whole number >= 1 at path; nullopt and *why set otherwise.
std::optional<long> count(const Json& root, std::string_view path, std::string* why) {
  const std::optional<double> v = number(root, path, why);
  if (v && !(*v >= 1.0 && *v <= 1e15 && *v == std::floor(*v))) {
    fail(why, std::string(path) + " is " + round_trip_text(*v) + ", not a whole number >= 1");
    return std::nullopt;
  }
  return v ? std::optional<long>(static_cast<long>(*v)) : std::nullopt;
}

// The text at path; nullopt and *why set otherwise.
std::optional<std::string> text(const Json& root, std::string_view path, std::string* why) {
  const Json* v = member(root, path, why);
  if (v == nullptr) return std::nullopt;
  if (!v->is_string()) {
    fail(why, std::string(path) + " is " + excerpt(v->dump()) + ", not a text");
    return std::nullopt;
  }
  return v->get<std::string>();
}

// The UTC time in the text at path, within the years of products.
std::optional<UtcTime> utc(const Json& root, std::string_view path, std::string* why) {
  const std::optional<std::string> t = text(root, path, why);
  if (!t) return std::nullopt;
  std::string ignored;
  const std::optional<UtcTime> time = parse_utc(*t, &ignored);
  if (!time) {
    fail(why, std::string(path) + " is " + excerpt(*t) + ", not a UTC time (YYYY-MM-DDTHH:MM:SS.fZ)");
    return std::nullopt;
  }
  if (!product_time(*time, 0.0)) {
    fail(why, std::string(path) + " is " + excerpt(*t) + ", a time outside " + product_years_text());
    return std::nullopt;
  }
  return time;
}

// The three finite numbers of the array at path into out.
bool xyz(const Json& root, std::string_view path, double (&out)[3], std::string* why) {
  const Json* v = member(root, path, why);
  if (v == nullptr) return false;
  if (!v->is_array() || v->size() != 3)
    return fail(why, std::string(path) + " is " + excerpt(v->dump()) + ", not [x, y, z]");
  for (std::size_t i = 0; i < 3; ++i) {
    const Json& e = (*v)[i];
    if (!e.is_number() || !std::isfinite(e.get<double>()))
      return fail(why, std::string(path) + "[" + std::to_string(i) + "] is " + excerpt(e.dump()) + ", not a finite number");
    out[i] = e.get<double>();
  }
  return true;
}

// The satellite, the radar, the look side, the polarisations and the pass.
bool read_mission(const Json& root, ProductInfo& info, std::string* why) {
  const std::optional<std::string> platform = text(root, "collect.platform", why);
  info.radar_frequency_hz =
      platform ? bounded(root, "collect.radar.center_frequency", "Hz", radar_frequency_problem, why) : std::nullopt;
  const std::optional<std::string> pointing =
      info.radar_frequency_hz ? text(root, "collect.radar.pointing", why) : std::nullopt;
  if (!pointing) return false;
  const std::optional<LookSide> look = look_side_from_text(*pointing);
  if (!look) return fail(why, "collect.radar.pointing is " + excerpt(*pointing) + ", not right or left");
  const std::optional<std::string> transmit = text(root, "collect.radar.transmit_polarization", why);
  const std::optional<std::string> receive =
      transmit ? text(root, "collect.radar.receive_polarization", why) : std::nullopt;
  const std::optional<std::string> direction = receive ? text(root, "collect.state.direction", why) : std::nullopt;
  if (!direction) return false;
  const std::optional<std::string> pass = pass_from_text(*direction);
  if (!pass) return fail(why, "collect.state.direction is " + excerpt(*direction) + ", not ascending or descending");
  info.mission = upper(*platform);
  info.look = *look;
  info.polarisation = upper(*transmit + *receive);
  info.pass = *pass;
  return true;
}

// The state vectors, earth-fixed.
bool read_orbit(const Json& root, TimedOrbit& orbit, std::string* why) {
  if (const Json* frame = member(root, "collect.state.coordinate_system.type", nullptr);
      frame != nullptr && !(frame->is_string() && lower(frame->get<std::string>()) == "ecef"))
    return fail(why, "collect.state.coordinate_system.type is " + excerpt(frame->dump()) + ", not \"ecef\"");
  const Json* list = member(root, state_vectors, why);
  if (list == nullptr) return false;
  if (!list->is_array()) return fail(why, std::string(state_vectors) + " is no list");
  if (list->size() < orbit_min_rows)
    return fail(why, std::string(state_vectors) + " holds " + std::to_string(list->size()) +
                         " vectors; at least " + std::to_string(orbit_min_rows) + " are needed");
  orbit.rows.reserve(list->size());
  for (std::size_t k = 0; k < list->size(); ++k) {
    const std::string at = std::string(state_vectors) + "[" + std::to_string(k) + "]";
    const Json& v = (*list)[k];
    if (!v.is_object()) return fail(why, at + " is no object");
    std::string inner;
    double position[3], velocity[3];
    const std::optional<UtcTime> t = utc(v, "time", &inner);
    if (!t || !xyz(v, "position", position, &inner) || !xyz(v, "velocity", velocity, &inner))
      return fail(why, at + "." + inner);
    if (!orbit.rows.empty() && !(seconds_between(orbit.epoch, *t) > orbit.rows.back().t))
      return fail(why, at + ".time (" + utc_text(*t) + ") does not come after the vector before it: orbit vectors must be in time order");
    if (orbit.rows.empty()) orbit.epoch = *t;
    OrbitRow row;
    row.t = seconds_between(orbit.epoch, *t);
    for (int i = 0; i < 3; ++i) {
      row.state.position[i] = position[i] / units::metres_per_km;
      row.state.velocity[i] = velocity[i] / units::metres_per_km;
    }
    orbit.rows.push_back(row);
  }
  orbit.source = capella_metadata_orbit_source;
  return true;
}

bool read_bandwidths(const Json& root, ProductInfo& info, std::string* why) {
  const auto bandwidth = [&](double hz) { return bandwidth_problem(hz, info.radar_frequency_hz); };
  info.range_bandwidth_hz = bounded(root, "collect.image.processed_range_bandwidth", "Hz", bandwidth, why);
  if (info.range_bandwidth_hz)
    info.azimuth_bandwidth_hz = bounded(root, "collect.image.processed_azimuth_bandwidth", "Hz", bandwidth, why);
  return info.azimuth_bandwidth_hz.has_value();
}

// A slant-plane image's first and last line times and near and far
// ranges; the others' scene centre.
bool read_scene(const Json& root, ProductInfo& info, std::string* why) {
  const std::optional<std::string> type = text(root, std::string(image_geometry) + ".type", why);
  if (!type) return false;
  if (*type != slant_plane) {
    std::array<double, 3> centre{};
    double xyz_m[3];
    if (!xyz(root, "collect.image.center_pixel.target_position", xyz_m, why)) return false;
    std::copy(std::begin(xyz_m), std::end(xyz_m), centre.begin());
    info.scene_centre = SceneCentre{0.0, 0.0, centre};
    return true;
  }
  const Json* geometry = member(root, image_geometry, why);
  ImageTiming& image = info.image;
  std::string inner;
  image.first_line = utc(*geometry, "first_line_time", &inner);
  image.line_interval_s = image.first_line ? positive(*geometry, "delta_line_time", &inner) : std::nullopt;
  image.near_range_m =
      image.line_interval_s ? bounded(*geometry, "range_to_first_sample", "m", slant_range_problem, &inner) : std::nullopt;
  image.range_pixel_spacing_m = image.near_range_m ? positive(*geometry, "delta_range_sample", &inner) : std::nullopt;
  if (!image.range_pixel_spacing_m) return fail(why, std::string(image_geometry) + "." + inner);
  image.lines = count(root, "collect.image.rows", why);
  image.samples = image.lines ? count(root, "collect.image.columns", why) : std::nullopt;
  if (!image.samples) return false;
  const double span = static_cast<double>(*image.lines - 1) * *image.line_interval_s;
  image.last_line = product_time(*image.first_line, span);
  if (!image.last_line)
    return fail(why, "collect.image.rows and " + std::string(image_geometry) + ".delta_line_time reach " +
                         round_trip_text(span) + " s after the first line, a time outside " + product_years_text());
  image.far_range_m = *image.near_range_m + static_cast<double>(*image.samples - 1) * *image.range_pixel_spacing_m;
  if (const std::string problem = slant_range_problem(*image.far_range_m); !problem.empty())
    return fail(why, "collect.image.columns and " + std::string(image_geometry) + ".delta_range_sample give a far "
                     "slant range of " + round_trip_text(*image.far_range_m) + " m; " + problem);
  return true;
}

// The product in a parsed document, or nullopt and *why set; *unknown set
// when the document holds no state vectors at all.
std::optional<ProductInfo> read_product(const Json& root, std::string* why, bool* unknown) {
  if (member(root, state_vectors, nullptr) == nullptr) {
    *unknown = true;
    fail(why, std::string("it is JSON without ") + state_vectors + " (Capella's extended metadata)");
    return std::nullopt;
  }
  ProductInfo info;
  info.format = capella_metadata_format;
  const bool read = read_mission(root, info, why) && read_orbit(root, info.orbit, why) &&
                    read_bandwidths(root, info, why) && read_scene(root, info, why);
  if (!read) return std::nullopt;
  return info;
}

}  // namespace

bool looks_like_json(std::string_view head) {
  constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
  if (head.starts_with(byte_order_mark)) head.remove_prefix(byte_order_mark.size());
  const std::size_t first = head.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && (head[first] == '{' || head[first] == '[');
}

namespace {

// The refusal of name, size bytes long, beyond max_json_bytes.
std::nullopt_t too_large(const std::string& name, std::size_t size, Refusal* problem) {
  refuse(problem, RefusalKind::malformed,
         name + ": is " + std::to_string(size) + " bytes, more than the " +
             std::to_string(max_json_bytes / mebibyte) + " MiB a JSON product may hold");
  return std::nullopt;
}

}  // namespace

std::optional<ProductInfo> parse_capella_metadata(std::string_view bytes, const std::string& name,
                                                  Refusal* problem) {
  const auto refused = [&](RefusalKind kind, const std::string& why) {
    refuse(problem, kind, name + ": " + why);
    return std::nullopt;
  };
  if (bytes.size() > max_json_bytes) return too_large(name, bytes.size(), problem);
  const JsonShape shape = shape_of(bytes);
  if (shape.deepest > max_json_depth)
    return refused(RefusalKind::malformed,
                   "is JSON nested deeper than " + std::to_string(max_json_depth) + " levels, which no product is");
  if (shape.values * json_value_bytes > std::max(max_json_cost * bytes.size(), min_json_cost_bound))
    return refused(RefusalKind::malformed,
                   "is JSON of " + std::to_string(shape.values) + " values in " + std::to_string(bytes.size()) +
                       " bytes, which would cost more than " + std::to_string(max_json_cost) +
                       " times its size to hold; no product is that dense");
  Json root;
  try {
    root = Json::parse(bytes.begin(), bytes.end());
  } catch (const Json::parse_error& e) {
    return refused(RefusalKind::malformed, "not well-formed JSON at byte " + std::to_string(e.byte));
  } catch (const Json::exception&) {
    return refused(RefusalKind::malformed, "not well-formed JSON (a number out of range?)");
  }
  std::string why;
  bool unknown = false;
  std::optional<ProductInfo> info = read_product(root, &why, &unknown);
  if (!info) return refused(unknown ? RefusalKind::unknown_format : RefusalKind::malformed, why);
  return info;
}

std::optional<ProductInfo> read_capella_metadata(const std::string& path, Refusal* problem) {
  std::size_t size = 0;
  std::string why, bytes;
  const FileDescriptor file = open_regular(path, &size, &why);
  if (!file.is_open()) {
    refuse(problem, RefusalKind::unreadable, why);
    return std::nullopt;
  }
  if (size > max_json_bytes) return too_large(path, size, problem);
  if (!read_bytes(file.get(), size, path, bytes, &why)) {
    refuse(problem, RefusalKind::unreadable, why);
    return std::nullopt;
  }
  return parse_capella_metadata(bytes, path, problem);
}

}  // namespace bperp::stack
