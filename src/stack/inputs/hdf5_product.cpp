#include "bperp/stack/inputs/hdf5_product.h"

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
  field_count,
};

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
  return r;
}

// A reply with the request it answers, and the checks of its values.
struct Reply {
  const Hdf5Request& request;
  const Hdf5Reply& values;

  const std::optional<Hdf5Value>& operator[](Field f) const { return values.values[f]; }
  const std::string& path(Field f) const { return request[f].path; }
  bool has(Field f) const { return values.values[f].has_value(); }
};

// False and *why set when the item f is not in the file.
bool present(const Reply& r, Field f, std::string* why) {
  return r.has(f) || fail(why, item_name(r.request[f]) + " is missing");
}

// False and *why set, naming the value by its index (by row and column
// for rows of three), when a number of f is not finite.
bool finite(const Reply& r, Field f, std::string* why) {
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
  return utc_of(trimmed(std::string_view(units->text).substr(seconds_since.size())),
                item_name(r.request[time_units]), why);
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

// The product of the reply to request, or nullopt and *problem set
// (malformed, without the file's name): the reader's own refusal, or what
// the values' checks find.
std::optional<ProductInfo> product_of_items(const Hdf5Request& request, const Hdf5Reply& reply, Refusal* problem) {
  std::string why;
  std::optional<ProductInfo> info;
  if (reply.refusal) why = *reply.refusal;
  else info = product_of_reply(Reply{request, reply}, &why);
  if (!info) refuse(problem, RefusalKind::malformed, why);
  return info;
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
  std::string why;
  if (!decode_reply(bytes, request, reply, &why)) {
    refuse(problem, RefusalKind::malformed, "the HDF5 reader's reply is damaged: " + why);
    return std::nullopt;
  }
  return product_of_items(request, reply, problem);
}

std::optional<ProductInfo> read_hdf5_product(const std::string& path, Refusal* problem,
                                             const std::string& orbit_group) {
  const FileDescriptor file = open_hdf5(path, problem);
  if (!file.is_open()) return std::nullopt;
  const Hdf5Request request = product_request(absolute_group(orbit_group));
  Hdf5Reply reply;
  Refusal failure;
  std::optional<ProductInfo> info;
  if (read_hdf5_items(file.get(), request, reply, &failure)) info = product_of_items(request, reply, &failure);
  if (!info) refuse(problem, failure.kind, path + ": " + failure.text);
  return info;
}

}  // namespace bperp::stack
