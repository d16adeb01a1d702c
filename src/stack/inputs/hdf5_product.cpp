#include "bperp/stack/inputs/hdf5_product.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "bperp/io/ascii_text.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/hdf5/reader_process.h"
#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/inputs/product_bounds.h"
#include "bperp/stack/support/bounded_file.h"
#include "bperp/stack/support/number_text.h"
#include "bperp/stack/support/problem_text.h"

namespace bperp::stack {

namespace {

constexpr const char* wavelength_path = "/metadata/processing_information/input_burst_metadata/wavelength";
constexpr const char* projection_path = "/data/projection";
constexpr const char* grid_x_path = "/data/x_coordinates";
constexpr const char* grid_y_path = "/data/y_coordinates";
constexpr const char* identification_group = "/identification";

constexpr std::size_t xyz = 3;
constexpr std::string_view seconds_since = "seconds since ";

// The items a product is read from, in the order of the request (and of
// the checks).
enum Field : std::size_t {
  orbit_group,
  time,
  time_units,
  reference_epoch,
  position_rows,
  position_x,
  position_y,
  position_z,
  velocity_rows,
  velocity_x,
  velocity_y,
  velocity_z,
  orbit_direction,
  wavelength,
  projection,
  grid_x,
  grid_y,
  mission_id,
  track_number,
  burst_id,
  look_direction,
  pass_direction,
  // Whether the file holds a NISAR product of each layout (asked last).
  rslc_group,
  gslc_group,
  slc_group,
  field_count,
};

// A NISAR product's items besides those above, which keep their places
// (the orbit, the map grid; the identification's mission, track, look and
// pass at NISAR's paths), in its own request, in the places of the layouts'.
enum NisarField : std::size_t {
  nisar_band = rslc_group,
  nisar_frequency,
  nisar_range_bandwidth,
  nisar_azimuth_bandwidth,
  nisar_zero_doppler_time,
  nisar_zero_doppler_units,
  nisar_slant_range,
  nisar_frame,
  nisar_mission_name,
  nisar_absolute_orbit,
  nisar_field_count,
};

// The NISAR layouts in the order they are looked for, each with its group.
constexpr const char* nisar_root = "/science/LSAR";
constexpr const char* nisar_identification = "/science/LSAR/identification";
struct LayoutName {
  NisarLayout layout;
  const char* name;
};
constexpr LayoutName layout_names[] = {
    {NisarLayout::rslc, "RSLC"}, {NisarLayout::gslc, "GSLC"}, {NisarLayout::slc, "SLC"}};

const char* layout_name(NisarLayout layout) {
  for (const LayoutName& l : layout_names)
    if (l.layout == layout) return l.name;
  return "";
}

// What the reader is asked for, for the orbit of group.
Hdf5Request product_request(const std::string& group) {
  const std::size_t orbit_values = max_orbit_rows, rows_values = xyz * max_orbit_rows;
  Hdf5Request r(field_count);
  r[orbit_group] = {Hdf5Form::group, group, "", 1};
  r[time] = {Hdf5Form::list, group + "/time", "", orbit_values};
  r[time_units] = {Hdf5Form::attribute_text, group + "/time", "units", 1};
  r[reference_epoch] = {Hdf5Form::text, group + "/reference_epoch", "", 1};
  for (const std::size_t first : {position_rows, velocity_rows}) {
    const std::string name = group + (first == position_rows ? "/position" : "/velocity");
    r[first] = {Hdf5Form::rows_of_three, name, "", rows_values};
    for (std::size_t i = 0; i < xyz; ++i)
      r[first + 1 + i] = {Hdf5Form::list, name + "_" + "xyz"[i], "", orbit_values};
  }
  r[orbit_direction] = {Hdf5Form::text, group + "/orbit_direction", "", 1};
  r[wavelength] = {Hdf5Form::number, wavelength_path, "", 1};
  r[projection] = {Hdf5Form::integer, projection_path, "", 1};
  r[grid_x] = {Hdf5Form::list, grid_x_path, "", max_hdf5_values};
  r[grid_y] = {Hdf5Form::list, grid_y_path, "", max_hdf5_values};
  const std::string id = identification_group;
  r[mission_id] = {Hdf5Form::text, id + "/mission_id", "", 1};
  r[track_number] = {Hdf5Form::integer, id + "/track_number", "", 1};
  r[burst_id] = {Hdf5Form::text, id + "/burst_id", "", 1};
  r[look_direction] = {Hdf5Form::text, id + "/look_direction", "", 1};
  r[pass_direction] = {Hdf5Form::text, id + "/orbit_pass_direction", "", 1};
  for (const LayoutName& l : layout_names)
    r[rslc_group + static_cast<std::size_t>(l.layout)] = {Hdf5Form::group, std::string(nisar_root) + "/" + l.name, "", 1};
  return r;
}

// What the reader is asked for a NISAR product of layout: the orbit of
// group (its own <product>/metadata/orbit when empty), the band's radar
// frequency, bandwidths and group, the zero-Doppler times and slant ranges
// (RSLC, SLC) or the map grid (GSLC), and the identification.
Hdf5Request nisar_request(NisarLayout layout, const std::string& group, const std::string& band) {
  const std::string product = std::string(nisar_root) + "/" + layout_name(layout);
  Hdf5Request r = product_request(group.empty() ? product + "/metadata/orbit" : group);
  r.resize(nisar_field_count);
  const bool grids = layout == NisarLayout::gslc;
  const std::string frequency = product + (grids ? "/grids/frequency" : "/swaths/frequency") + band;
  if (grids) {
    r[projection] = {Hdf5Form::integer, frequency + "/projection", "", 1};
    r[grid_x] = {Hdf5Form::list, frequency + "/xCoordinates", "", max_hdf5_values};
    r[grid_y] = {Hdf5Form::list, frequency + "/yCoordinates", "", max_hdf5_values};
  }
  r[nisar_band] = {Hdf5Form::group, frequency, "", 1};
  r[nisar_frequency] = {Hdf5Form::number, frequency + (grids ? "/centerFrequency" : "/processedCenterFrequency"), "", 1};
  r[nisar_range_bandwidth] = {Hdf5Form::number, frequency + "/processedRangeBandwidth", "", 1};
  r[nisar_azimuth_bandwidth] = {Hdf5Form::number, frequency + "/processedAzimuthBandwidth", "", 1};
  r[nisar_zero_doppler_time] = {Hdf5Form::list, product + "/swaths/zeroDopplerTime", "", max_hdf5_values};
  r[nisar_zero_doppler_units] = {Hdf5Form::attribute_text, product + "/swaths/zeroDopplerTime", "units", 1};
  r[nisar_slant_range] = {Hdf5Form::list, frequency + "/slantRange", "", max_hdf5_values};
  const std::string id = std::string(nisar_identification) + "/";
  r[look_direction] = {Hdf5Form::label, id + "lookDirection", "", 1};
  r[pass_direction] = {Hdf5Form::label, id + "orbitPassDirection", "", 1};
  r[track_number] = {Hdf5Form::label, id + "trackNumber", "", 1};
  r[mission_id] = {Hdf5Form::label, id + "missionId", "", 1};
  r[nisar_frame] = {Hdf5Form::label, id + "frameNumber", "", 1};
  r[nisar_mission_name] = {Hdf5Form::attribute_text, "/", "mission_name", 1};
  r[nisar_absolute_orbit] = {Hdf5Form::label, id + "absoluteOrbitNumber", "", 1};
  return r;
}

// A reply with the request it answers, and the checks of its values.
struct Reply {
  const Hdf5Request& request;
  const Hdf5Reply& values;

  const std::optional<Hdf5Value>& operator[](std::size_t f) const { return values.values[f]; }
  const std::string& path(std::size_t f) const { return request[f].path; }
  bool has(std::size_t f) const { return values.values[f].has_value(); }
};

// False and *why set when the item f is not in the file.
bool present(const Reply& r, std::size_t f, std::string* why) {
  return r.has(f) || fail(why, item_name(r.request[f]) + " is missing");
}

// False and *why set, naming the value by its index (by row and column
// for rows of three), when a number of f is not finite.
bool finite(const Reply& r, std::size_t f, std::string* why) {
  const std::vector<double>& values = r[f]->numbers;
  const std::size_t columns = r.request[f].form == Hdf5Form::rows_of_three ? xyz : 1;
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (std::isfinite(values[k])) continue;
    std::string at = r.path(f) + '[';
    if (columns > 1)
      at.append(std::to_string(k / columns)).append(", ").append(std::to_string(k % columns));
    else
      at.append(std::to_string(k));
    return fail(why, at + "] is " + round_trip_text(values[k]) + ", not a finite number");
  }
  return true;
}

// The UTC time of text (its year within the years of products), named what
// in a message; nullopt and *why set otherwise.
std::optional<UtcTime> utc_of(std::string_view text, const std::string& what, std::string* why) {
  constexpr std::size_t year_digits = 4;
  int year = 0;
  bool digits = text.size() >= year_digits;
  for (std::size_t i = 0; i < year_digits && digits; ++i) {
    digits = text[i] >= '0' && text[i] <= '9';
    year = year * 10 + (text[i] - '0');
  }
  if (!digits || year < first_product_year || year > last_product_year) {
    fail(why, what + " is " + quoted_excerpt(text, '\'') + ", not a UTC time of " + product_years_text());
    return std::nullopt;
  }
  std::string parse_problem;
  const std::optional<UtcTime> t = parse_utc(text, &parse_problem);
  if (!t) fail(why, what + ": " + parse_problem);
  return t;
}

// The epoch a units attribute (of the dataset of times) names: "seconds
// since <UTC>"; nullopt and *why set otherwise.
std::optional<UtcTime> epoch_of_units(const Reply& r, std::size_t units, std::string* why) {
  const std::string& text = r[units]->text;
  if (!text.starts_with(seconds_since)) {
    fail(why, item_name(r.request[units]) + " is " + quoted_excerpt(text, '\'') +
                  ", not \"seconds since YYYY-MM-DD HH:MM:SS\"");
    return std::nullopt;
  }
  return utc_of(trimmed(std::string_view(text).substr(seconds_since.size())), item_name(r.request[units]), why);
}

// The epoch of the orbit's times: reference_epoch when present, else the
// time dataset's units attribute "seconds since <UTC>". A units attribute
// must say seconds either way. nullopt and *why set otherwise.
std::optional<UtcTime> read_epoch(const Reply& r, std::string* why) {
  const std::optional<Hdf5Value>& units = r[time_units];
  const bool since = units && units->text.starts_with(seconds_since);
  if (units && !since && units->text != "seconds" && units->text != "s") {
    fail(why, item_name(r.request[time_units]) + " is " + quoted_excerpt(units->text, '\'') +
                  "; the times must be in seconds");
    return std::nullopt;
  }
  if (r.has(reference_epoch)) return utc_of(r[reference_epoch]->text, r.path(reference_epoch), why);
  if (!since) {
    fail(why, r.path(time) + " has no epoch: neither " + r.path(reference_epoch) +
                  " nor a units attribute \"seconds since YYYY-MM-DD HH:MM:SS\" is there");
    return std::nullopt;
  }
  return epoch_of_units(r, time_units, why);
}

// Positions or velocities (first: position_rows or velocity_rows): the
// three lists name_x|y|z, or the N x 3 dataset name when there is no
// name_x; count rows of x, y, z. nullopt and *why set when missing, not
// finite or of another length.
std::optional<std::vector<double>> vectors(const Reply& r, Field first, std::size_t count, std::string* why) {
  if (!r.has(Field(first + 1)) && r.has(first)) {
    if (!finite(r, first, why)) return std::nullopt;
    const std::vector<double>& rows = r[first]->numbers;
    if (rows.size() != count * xyz) {
      fail(why, r.path(first) + " holds " + std::to_string(rows.size() / xyz) + " vectors but " + r.path(time) +
                    " holds " + std::to_string(count) + " times");
      return std::nullopt;
    }
    return rows;
  }
  std::vector<double> rows(count * xyz);
  for (std::size_t i = 0; i < xyz; ++i) {
    const Field axis = Field(first + 1 + i);
    if (!present(r, axis, why) || !finite(r, axis, why)) return std::nullopt;
    const std::vector<double>& values = r[axis]->numbers;
    if (values.size() != count) {
      fail(why, r.path(axis) + " holds " + std::to_string(values.size()) + " values but " + r.path(time) +
                    " holds " + std::to_string(count) + " times");
      return std::nullopt;
    }
    for (std::size_t k = 0; k < count; ++k) rows[k * xyz + i] = values[k];
  }
  return rows;
}

// The orbit rows at reference + times (s), positions (m) and velocities
// (m/s) into orbit: epoch the first vector's time (to the nanosecond),
// every time within the years of products (checked before it is formed),
// strictly increasing, km and km/s.
bool fill_orbit(UtcTime reference, const std::vector<double>& times, const std::vector<double>& positions,
                const std::vector<double>& velocities, const std::string& time_path, TimedOrbit& orbit,
                std::string* why) {
  orbit.rows.resize(times.size());
  for (std::size_t k = 0; k < times.size(); ++k) {
    const std::string at = time_path + "[" + std::to_string(k) + "]";
    const std::optional<UtcTime> t = product_time(reference, times[k]);
    if (!t)
      return fail(why, at + " is " + round_trip_text(times[k]) + " s after the epoch " + utc_text(reference) +
                           ", a time outside " + product_years_text());
    if (k == 0) orbit.epoch = *t;
    OrbitRow& row = orbit.rows[k];
    row.t = seconds_between(orbit.epoch, *t);
    if (k > 0 && !(row.t > orbit.rows[k - 1].t))
      return fail(why, at + " (" + utc_text(*t) + ") does not come after " + time_path + "[" +
                           std::to_string(k - 1) + "]: orbit vectors must be in time order");
    for (std::size_t i = 0; i < xyz; ++i) {
      row.state.position[i] = positions[k * xyz + i] / units::metres_per_km;
      row.state.velocity[i] = velocities[k * xyz + i] / units::metres_per_km;
    }
  }
  return true;
}

// The orbit and its pass, from the reply.
bool read_orbit(const Reply& r, TimedOrbit& orbit, std::string& pass, std::string* why) {
  if (!present(r, orbit_group, why) || !present(r, time, why) || !finite(r, time, why)) return false;
  const std::vector<double>& times = r[time]->numbers;
  if (times.size() < orbit_min_rows)
    return fail(why, r.path(time) + " holds " + std::to_string(times.size()) + " times; an orbit needs at least " +
                         std::to_string(orbit_min_rows) + " vectors");
  const std::optional<UtcTime> epoch = read_epoch(r, why);
  if (!epoch) return false;
  const std::optional<std::vector<double>> positions = vectors(r, position_rows, times.size(), why);
  const std::optional<std::vector<double>> velocities =
      positions ? vectors(r, velocity_rows, times.size(), why) : std::nullopt;
  if (!velocities || !fill_orbit(*epoch, times, *positions, *velocities, r.path(time), orbit, why)) return false;
  orbit.source = r.path(orbit_group);
  if (!r.has(orbit_direction)) return true;
  const std::string& text = r[orbit_direction]->text;
  const std::string direction = upper(text);
  if (direction != "ASCENDING" && direction != "DESCENDING")
    return fail(why, r.path(orbit_direction) + " is " + quoted_excerpt(text, '\'') + ", not Ascending or Descending");
  pass = direction;
  return true;
}

// The wavelength (m, within the bounds of a SAR's) when the product gives it.
bool read_wavelength(const Reply& r, std::optional<double>& value, std::string* why) {
  if (!r.has(wavelength)) return true;
  const double v = r[wavelength]->numbers.front();
  if (const std::string problem = wavelength_problem(v); !problem.empty())
    return fail(why, r.path(wavelength) + " is " + round_trip_text(v) + " m; " + problem);
  value = v;
  return true;
}

// The geocoded grid when the projection or a coordinate list is there: the
// EPSG code (UTM or UPS), both coordinate lists (m, finite, inside the
// projection's area), all three required.
bool read_grid(const Reply& r, ProductInfo& info, std::string* why) {
  if (!r.has(projection) && !r.has(grid_x) && !r.has(grid_y)) return true;
  if (!present(r, projection, why)) return false;
  const long long code = r[projection]->integer;
  if (!utm_or_ups(code))
    return fail(why, r.path(projection) + " is EPSG " + std::to_string(code) +
                         "; only UTM (32601-32660, 32701-32760) and UPS (32661, 32761) grids are read");
  if (!present(r, grid_x, why) || !finite(r, grid_x, why) || !present(r, grid_y, why) || !finite(r, grid_y, why))
    return false;
  for (const Field f : {grid_x, grid_y})
    for (const double v : r[f]->numbers)
      if (const std::string problem = map_coordinate_problem(static_cast<int>(code), f == grid_x, v); !problem.empty())
        return fail(why, r.path(f) + " holds " + round_trip_text(v) + " m; " + problem);
  info.epsg = static_cast<int>(code);
  info.grid_x = r[grid_x]->numbers;
  info.grid_y = r[grid_y]->numbers;
  return true;
}

// What /identification says, where the product has it (OPERA): the
// mission (mission_id, upper case), the track (track_number, 1 to 999),
// the burst ID (burst_id, OPERA's spelling, lower case), the look side
// (look_direction) and the pass (orbit_pass_direction), each when present.
bool read_identification(const Reply& r, ProductInfo& info, std::string* why) {
  constexpr long most_tracks = 999;  // a burst ID's three digits
  if (r.has(mission_id)) {
    const std::string mission = upper(trimmed(r[mission_id]->text));
    constexpr std::size_t longest_mission = 16;
    const bool word = !mission.empty() && mission.size() <= longest_mission &&
                      mission.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-") == std::string::npos;
    if (!word)
      return fail(why, r.path(mission_id) + " is " + quoted_excerpt(r[mission_id]->text, '\'') +
                           ", not a mission's name (letters, digits and '-', at most 16)");
    info.mission = mission;
  }
  if (r.has(track_number)) {
    const long long track = r[track_number]->integer;
    if (track < 1 || track > most_tracks)
      return fail(why, r.path(track_number) + " is " + std::to_string(track) + "; a track is 1 to " +
                           std::to_string(most_tracks));
    info.track = static_cast<long>(track);
  }
  if (r.has(burst_id)) {
    const std::string& text = r[burst_id]->text;
    if (!parse_burst_id(text))
      return fail(why, r.path(burst_id) + " is " + quoted_excerpt(text, '\'') +
                           ", not a burst ID such as t042_088905_iw1");
    info.burst_ids = {lower(text)};
  }
  if (r.has(look_direction)) {
    const std::string& text = r[look_direction]->text;
    const std::optional<LookSide> look = look_side_from_text(text);
    if (!look) return fail(why, r.path(look_direction) + " is " + quoted_excerpt(text, '\'') + ", not Right or Left");
    info.look = *look;
  }
  if (r.has(pass_direction)) {
    const std::string& text = r[pass_direction]->text;
    const std::optional<std::string> pass = pass_from_text(text);
    if (!pass)
      return fail(why, r.path(pass_direction) + " is " + quoted_excerpt(text, '\'') +
                           ", not Ascending or Descending");
    info.pass = *pass;
  }
  return true;
}

// The product of the reply, or nullopt and *why set.
std::optional<ProductInfo> product_of_reply(const Reply& r, std::string* why) {
  ProductInfo info;
  info.format = hdf5_product_format;
  info.look = LookSide::right;
  if (!read_orbit(r, info.orbit, info.pass, why) || !read_wavelength(r, info.wavelength_m, why) ||
      !read_grid(r, info, why) || !read_identification(r, info, why))
    return std::nullopt;
  return info;
}

// ---- NISAR ----

// The number a label holds when it is a whole number (an optional sign,
// digits); nullopt otherwise.
std::optional<long> whole_number(std::string_view text) {
  long value = 0;
  const char* first = text.data() + (text.starts_with('+') ? 1 : 0);
  const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || first == end) return std::nullopt;
  return value;
}

// True when text is a number (a heading, say) rather than a word.
bool number_label(std::string_view text) {
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc{} && end == text.data() + text.size() && !text.empty();
}

// The side the radar looks to (lookDirection: right or left, in any case);
// refused when it is not stated.
bool nisar_look(const Reply& r, LookSide& look, std::string* why) {
  if (!present(r, look_direction, why)) return false;
  const std::optional<LookSide> side = look_side_from_text(r[look_direction]->text);
  if (!side)
    return fail(why, r.path(look_direction) + " is " + quoted_excerpt(r[look_direction]->text, '\'') +
                         ", not right or left");
  look = *side;
  return true;
}

// The pass (orbitPassDirection: ascending or descending, in full or cut to
// ASCEND, DESCEND, in any case) when stated; a number there is a heading,
// which states no pass.
bool nisar_pass(const Reply& r, std::string& pass, std::string* why) {
  if (!r.has(pass_direction) || number_label(r[pass_direction]->text)) return true;
  const std::optional<std::string> direction = pass_from_text(r[pass_direction]->text);
  if (!direction)
    return fail(why, r.path(pass_direction) + " is " + quoted_excerpt(r[pass_direction]->text, '\'') +
                         ", not ascending or descending");
  pass = *direction;
  return true;
}

// A count the identification states (track, frame, absolute orbit): a
// whole number, positive where stated (0 stands for none).
bool read_count(const Reply& r, std::size_t f, std::optional<long>& value, std::string* why) {
  if (!r.has(f)) return true;
  const std::optional<long> n = whole_number(r[f]->text);
  if (!n || *n < 0)
    return fail(why, r.path(f) + " is " + quoted_excerpt(r[f]->text, '\'') + ", not a whole number");
  if (*n > 0) value = n;
  return true;
}

// The identification: look side, pass, track, frame, absolute orbit, and
// the mission (missionId where it is a name, else the file's mission_name).
bool read_nisar_identification(const Reply& r, ProductInfo& info, std::string* why) {
  if (!nisar_look(r, info.look, why) || !nisar_pass(r, info.pass, why) ||
      !read_count(r, track_number, info.track, why) || !read_count(r, nisar_frame, info.frame, why) ||
      !read_count(r, nisar_absolute_orbit, info.absolute_orbit, why))
    return false;
  const auto named = [](const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
  };
  for (const std::size_t f : {std::size_t{mission_id}, std::size_t{nisar_mission_name}})
    if (r.has(f) && named(r[f]->text) && info.mission.empty()) info.mission = upper(r[f]->text);
  return true;
}

// The band's radar frequency and bandwidths (Hz), where stated.
bool nisar_radar(const Reply& r, ProductInfo& info, std::string* why) {
  if (r.has(nisar_frequency)) {
    const double hz = r[nisar_frequency]->numbers.front();
    if (const std::string problem = radar_frequency_problem(hz); !problem.empty())
      return fail(why, r.path(nisar_frequency) + " is " + round_trip_text(hz) + " Hz; " + problem);
    info.radar_frequency_hz = hz;
  }
  for (const auto& [f, field] : {std::pair{std::size_t{nisar_range_bandwidth}, &info.range_bandwidth_hz},
                                 std::pair{std::size_t{nisar_azimuth_bandwidth}, &info.azimuth_bandwidth_hz}}) {
    if (!r.has(f)) continue;
    const double hz = r[f]->numbers.front();
    if (const std::string problem = bandwidth_problem(hz, info.radar_frequency_hz); !problem.empty())
      return fail(why, r.path(f) + " is " + round_trip_text(hz) + " Hz; " + problem);
    *field = hz;
  }
  return true;
}

// The image's line times (zeroDopplerTime, s since the epoch of its units
// attribute, strictly increasing) and slant ranges (m, increasing, within
// a satellite's), where stated; both or neither.
bool read_swath_image(const Reply& r, ImageTiming& image, std::string* why) {
  if (!r.has(nisar_zero_doppler_time) && !r.has(nisar_slant_range)) return true;
  if (!present(r, nisar_zero_doppler_time, why) || !finite(r, nisar_zero_doppler_time, why) || !present(r, nisar_slant_range, why) ||
      !finite(r, nisar_slant_range, why))
    return false;
  if (!r.has(nisar_zero_doppler_units))
    return fail(why, r.path(nisar_zero_doppler_time) + " has no units attribute \"seconds since YYYY-MM-DD HH:MM:SS\"");
  const std::optional<UtcTime> epoch = epoch_of_units(r, nisar_zero_doppler_units, why);
  if (!epoch) return false;
  for (const std::size_t f : {std::size_t{nisar_zero_doppler_time}, std::size_t{nisar_slant_range}}) {
    const std::vector<double>& v = r[f]->numbers;
    for (std::size_t k = 1; k < v.size(); ++k)
      if (!(v[k] > v[k - 1]))
        return fail(why, r.path(f) + "[" + std::to_string(k) + "] (" + round_trip_text(v[k]) + ") does not come after [" +
                             std::to_string(k - 1) + "]: the values must increase");
  }
  const std::vector<double>& times = r[nisar_zero_doppler_time]->numbers;
  const std::vector<double>& ranges = r[nisar_slant_range]->numbers;
  image.first_line = product_time(*epoch, times.front());
  image.last_line = product_time(*epoch, times.back());
  if (!image.first_line || !image.last_line)
    return fail(why, r.path(nisar_zero_doppler_time) + " spans " + round_trip_text(times.front()) + " to " +
                         round_trip_text(times.back()) + " s after " + utc_text(*epoch) + ", times outside " +
                         product_years_text());
  for (const double range : {ranges.front(), ranges.back()})
    if (const std::string problem = slant_range_problem(range); !problem.empty())
      return fail(why, r.path(nisar_slant_range) + " holds " + round_trip_text(range) + " m; " + problem);
  image.lines = static_cast<long>(times.size());
  image.samples = static_cast<long>(ranges.size());
  if (times.size() > 1) image.line_interval_s = (times.back() - times.front()) / static_cast<double>(times.size() - 1);
  image.near_range_m = ranges.front();
  image.far_range_m = ranges.back();
  if (ranges.size() > 1)
    image.range_pixel_spacing_m = (ranges.back() - ranges.front()) / static_cast<double>(ranges.size() - 1);
  return true;
}

// The NISAR product of layout in the reply, or nullopt and *why set.
std::optional<ProductInfo> nisar_product_of_reply(const Reply& r, NisarLayout layout, const std::string& band,
                                                  std::string* why) {
  ProductInfo info;
  info.format = std::string(nisar_format_prefix) + layout_name(layout);
  info.product_type = "frequency " + band;
  if (!present(r, nisar_band, why) || !read_orbit(r, info.orbit, info.pass, why) || !read_grid(r, info, why) ||
      !nisar_radar(r, info, why) || !read_swath_image(r, info.image, why) || !read_nisar_identification(r, info, why))
    return std::nullopt;
  return info;
}

// The NISAR layout whose group the first request found, if any.
std::optional<NisarLayout> nisar_layout(const Hdf5Reply& reply) {
  if (reply.refusal) return std::nullopt;
  for (const LayoutName& l : layout_names)
    if (reply.values[rslc_group + static_cast<std::size_t>(l.layout)]) return l.layout;
  return std::nullopt;
}

// The product of the reply to request, or nullopt and *problem set
// (malformed, without the file's name): the reader's own refusal, or what
// the values' checks find. read: the product of a Reply and *why.
template <typename Read>
std::optional<ProductInfo> product_of_items(const Hdf5Request& request, const Hdf5Reply& reply, Refusal* problem,
                                            Read read) {
  std::string why;
  std::optional<ProductInfo> info;
  if (reply.refusal) why = *reply.refusal;
  else info = read(Reply{request, reply}, &why);
  if (!info) refuse(problem, RefusalKind::malformed, why);
  return info;
}

// The decoded reply of bytes to request, or false and *problem set.
bool decoded(std::string_view bytes, const Hdf5Request& request, Hdf5Reply& reply, Refusal* problem) {
  std::string why;
  if (decode_reply(bytes, request, reply, &why)) return true;
  return refuse(problem, RefusalKind::malformed, "the HDF5 reader's reply is damaged: " + why);
}

// group as an absolute path without a trailing slash ("metadata/orbit/" ->
// "/metadata/orbit").
std::string absolute_group(std::string group) {
  while (!group.empty() && group.back() == '/') group.pop_back();
  if (!group.starts_with('/')) group.insert(group.begin(), '/');
  return group;
}

// The regular HDF5 file at path, opened without blocking; no descriptor
// and *refusal set when it cannot be opened, is no regular file
// (unreadable) or holds no HDF5 signature (unknown_format).
FileDescriptor open_hdf5(const std::string& path, Refusal* refusal) {
  std::size_t size = 0;
  std::string problem;
  FileDescriptor file = open_regular(path, &size, &problem);
  if (!file.is_open()) {
    refuse(refusal, RefusalKind::unreadable, std::move(problem));
  } else if (!hdf5_signature_in_file(file.get())) {
    refuse(refusal, RefusalKind::unknown_format,
           path + ": is no HDF5 file (the HDF5 signature is neither at its start nor after a user block)");
    file = FileDescriptor();
  }
  return file;
}

}  // namespace

bool hdf5_file(const std::string& path) { return open_hdf5(path, nullptr).is_open(); }

std::optional<ProductInfo> product_from_reply(std::string_view bytes, const std::string& orbit_group,
                                              Refusal* problem) {
  const Hdf5Request request = product_request(absolute_group(orbit_group));
  Hdf5Reply reply;
  if (!decoded(bytes, request, reply, problem)) return std::nullopt;
  return product_of_items(request, reply, problem, product_of_reply);
}

std::optional<ProductInfo> nisar_product_from_reply(std::string_view bytes, NisarLayout layout,
                                                    const std::string& orbit_group, const std::string& band,
                                                    Refusal* problem) {
  const Hdf5Request request = nisar_request(layout, orbit_group.empty() ? "" : absolute_group(orbit_group), band);
  Hdf5Reply reply;
  if (!decoded(bytes, request, reply, problem)) return std::nullopt;
  return product_of_items(request, reply, problem, [&](const Reply& r, std::string* why) {
    return nisar_product_of_reply(r, layout, band, why);
  });
}

std::optional<ProductInfo> hdf5_product_of(const Hdf5ItemReader& read, Refusal* problem,
                                           const std::string& orbit_group, const std::string& band) {
  const std::string group = orbit_group.empty() ? std::string() : absolute_group(orbit_group);
  // One request for an OPERA product, which also asks whether the file holds
  // a NISAR product; a second for that.
  const Hdf5Request request = product_request(group.empty() ? hdf5_default_orbit_group : group);
  Hdf5Reply reply;
  if (!read(request, reply, problem)) return std::nullopt;
  const std::optional<NisarLayout> layout = nisar_layout(reply);
  if (!layout) return product_of_items(request, reply, problem, product_of_reply);
  const Hdf5Request nisar = nisar_request(*layout, group, band);
  if (!read(nisar, reply, problem)) return std::nullopt;
  return product_of_items(nisar, reply, problem, [&](const Reply& r, std::string* why) {
    return nisar_product_of_reply(r, *layout, band, why);
  });
}

std::optional<ProductInfo> read_hdf5_product(const std::string& path, Refusal* problem, const std::string& orbit_group,
                                             const std::string& band) {
  const FileDescriptor file = open_hdf5(path, problem);
  if (!file.is_open()) return std::nullopt;
  Refusal failure;
  std::optional<ProductInfo> info = hdf5_product_of(
      [&](const Hdf5Request& request, Hdf5Reply& reply, Refusal* refusal) {
        return read_hdf5_items(file.get(), request, reply, refusal);
      },
      &failure, orbit_group, band);
  if (!info) refuse(problem, failure.kind, path + ": " + failure.text);
  return info;
}

}  // namespace bperp::stack
