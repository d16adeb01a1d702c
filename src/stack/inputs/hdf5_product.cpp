#include "bperp/stack/inputs/hdf5_product.h"

#include "bperp/stack/support/bounded_file.h"
#include "bperp/stack/support/problem_text.h"

#include <hdf5.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "bperp/io/ascii_text.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

constexpr const char* wavelength_path =
    "/metadata/processing_information/input_burst_metadata/wavelength";
constexpr const char* projection_path = "/data/projection";
constexpr const char* grid_x_path = "/data/x_coordinates";
constexpr const char* grid_y_path = "/data/y_coordinates";
constexpr const char* identification_group = "/identification";

// EPSG codes of the WGS84 UTM zones 1..60 (north, south) and of UPS (north, south).
constexpr long utm_north_first = 32601, utm_north_last = 32660;
constexpr long utm_south_first = 32701, utm_south_last = 32760;
constexpr long ups_north = 32661, ups_south = 32761;

// The years an epoch may lie in (as for every product of the tool), and the
// most seconds an orbit time may lie from it (a century, well within the
// nanosecond clock's range).
constexpr int first_product_year = 1970, last_product_year = 2199;
constexpr double max_seconds_from_epoch = 100.0 * 366.0 * units::seconds_per_day;

// The longest text read from a dataset or attribute (an epoch, a unit, a direction).
constexpr std::size_t max_text_bytes = 4096;
constexpr std::size_t xyz = 3;
constexpr std::string_view seconds_since = "seconds since ";

// An HDF5 identifier that closes itself with its own close function.
class Handle {
 public:
  using Close = herr_t (*)(hid_t);
  Handle() = default;
  Handle(hid_t id, Close close) : id_(id), close_(close) {}
  Handle(Handle&& other) noexcept : id_(other.id_), close_(other.close_) {
    other.id_ = H5I_INVALID_HID;
  }
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      reset();
      id_ = other.id_;
      close_ = other.close_;
      other.id_ = H5I_INVALID_HID;
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { reset(); }

  hid_t get() const { return id_; }
  explicit operator bool() const { return id_ >= 0; }

 private:
  void reset() {
    if (id_ >= 0 && close_ != nullptr) close_(id_);
    id_ = H5I_INVALID_HID;
  }
  hid_t id_ = H5I_INVALID_HID;
  Close close_ = nullptr;
};

// While it lives, HDF5 prints nothing of its own errors (the reader says
// what went wrong); the printing that was set before comes back after.
class QuietErrors {
 public:
  QuietErrors() {
    H5Eget_auto2(H5E_DEFAULT, &function_, &data_);
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  }
  ~QuietErrors() { H5Eset_auto2(H5E_DEFAULT, function_, data_); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  H5E_auto2_t function_ = nullptr;
  void* data_ = nullptr;
};

// A dataset or attribute together with its path in messages
// ("/metadata/orbit/time", "/metadata/orbit/time units attribute").
struct Item {
  Handle object, type, space;
  std::string name;
  bool attribute = false;
};

// True when every link along path (absolute, "/a/b/c") exists in file.
bool link_exists(hid_t file, const std::string& path) {
  std::size_t at = 0;
  while (at < path.size()) {
    std::size_t next = path.find('/', at + 1);
    if (next == std::string::npos) next = path.size();
    if (next > at + 1 && H5Lexists(file, path.substr(0, next).c_str(), H5P_DEFAULT) <= 0)
      return false;
    at = next;
  }
  return true;
}

// The dataset at path with its type and dataspace; an empty object and *why
// set when it is missing or no dataset.
Item open_dataset(hid_t file, const std::string& path, std::string* why) {
  Item item;
  item.name = path;
  if (!link_exists(file, path)) {
    fail(why, path + " is missing");
    return item;
  }
  item.object = Handle(H5Dopen2(file, path.c_str(), H5P_DEFAULT), H5Dclose);
  if (item.object) item.type = Handle(H5Dget_type(item.object.get()), H5Tclose);
  if (item.type) item.space = Handle(H5Dget_space(item.object.get()), H5Sclose);
  if (!item.space) {
    fail(why, path + " is not a dataset");
    item.object = Handle();
  }
  return item;
}

// The attribute name of the object at path (open as object) into item, with
// its type and dataspace; item.object stays empty when there is none. False
// and *why set when it is there but cannot be opened.
bool open_attribute(hid_t object, const std::string& path, const char* name, Item& item,
                    std::string* why) {
  item.name = path + " attribute " + name;
  item.attribute = true;
  if (H5Aexists(object, name) <= 0) return true;
  item.object = Handle(H5Aopen(object, name, H5P_DEFAULT), H5Aclose);
  if (item.object) item.type = Handle(H5Aget_type(item.object.get()), H5Tclose);
  if (item.type) item.space = Handle(H5Aget_space(item.object.get()), H5Sclose);
  if (!item.space) {
    item.object = Handle();
    return fail(why, item.name + " cannot be opened");
  }
  return true;
}

// The dimensions of item's dataspace ({} for a scalar); nullopt and *why set
// for a null dataspace or more than max_hdf5_dataset_values values.
std::optional<std::vector<hsize_t>> dimensions(const Item& item, std::string* why) {
  const int rank = H5Sget_simple_extent_ndims(item.space.get());
  if (rank < 0 || H5Sget_simple_extent_type(item.space.get()) == H5S_NULL) {
    fail(why, item.name + " holds no data");
    return std::nullopt;
  }
  std::vector<hsize_t> dims(static_cast<std::size_t>(rank));
  if (rank > 0 && H5Sget_simple_extent_dims(item.space.get(), dims.data(), nullptr) != rank) {
    fail(why, item.name + " has no readable shape");
    return std::nullopt;
  }
  hsize_t values = 1;
  for (const hsize_t d : dims) {
    if (d != 0 && values > max_hdf5_dataset_values / d) {
      fail(why,
           item.name + " holds more than " + std::to_string(max_hdf5_dataset_values) + " values");
      return std::nullopt;
    }
    values *= d;
  }
  return dims;
}

// "12 x 3" of dims; "a single value" for a scalar.
std::string shape_text(const std::vector<hsize_t>& dims) {
  if (dims.empty()) return "a single value";
  std::string text;
  for (std::size_t i = 0; i < dims.size(); ++i)
    text += (i == 0 ? "" : " x ") + std::to_string(dims[i]);
  return text;
}

// What item's values are, for a message: "text", "integers", "compound records", ...
std::string kind_text(const Item& item) {
  switch (H5Tget_class(item.type.get())) {
    case H5T_INTEGER:
      return "integers";
    case H5T_FLOAT:
      return "floating-point numbers";
    case H5T_STRING:
      return "text";
    case H5T_COMPOUND:
      return "compound records";
    case H5T_ARRAY:
      return "arrays";
    case H5T_VLEN:
      return "variable-length sequences";
    default:
      return "values of another kind";
  }
}

// False and *why set unless item's values are of class wanted (integers or
// floats: numbers, floats taken; integers only: integers).
bool check_numbers(const Item& item, bool integers_only, std::string* why) {
  const H5T_class_t c = H5Tget_class(item.type.get());
  if (c == H5T_INTEGER || (c == H5T_FLOAT && !integers_only)) return true;
  return fail(why, item.name + " holds " + kind_text(item) + ", not " +
                       (integers_only ? "an integer" : "numbers"));
}

// The values of item (count of them, numbers) as doubles, each finite;
// nullopt and *why set otherwise. columns (> 0) names a bad value by row
// and column, else by its index.
std::optional<std::vector<double>> read_doubles(const Item& item, std::size_t count,
                                                std::size_t columns, std::string* why) {
  std::vector<double> values(count);
  if (count > 0 && H5Dread(item.object.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT,
                           values.data()) < 0) {
    fail(why, item.name + " cannot be read as numbers");
    return std::nullopt;
  }
  for (std::size_t k = 0; k < count; ++k) {
    if (std::isfinite(values[k])) continue;
    std::string at = item.name + '[';
    if (columns > 1)
      at.append(std::to_string(k / columns)).append(", ").append(std::to_string(k % columns));
    else
      at.append(std::to_string(k));
    fail(why, at + "] is " + round_trip_text(values[k]) + ", not a finite number");
    return std::nullopt;
  }
  return values;
}

// The numbers of the 1-D dataset at path (at least one); nullopt and *why
// set otherwise.
std::optional<std::vector<double>> read_list(hid_t file, const std::string& path,
                                             std::string* why) {
  const Item item = open_dataset(file, path, why);
  if (!item.object || !check_numbers(item, false, why)) return std::nullopt;
  const std::optional<std::vector<hsize_t>> dims = dimensions(item, why);
  if (!dims) return std::nullopt;
  if (dims->size() != 1) {
    fail(why, path + " is " + shape_text(*dims) + "; expected a list (one dimension)");
    return std::nullopt;
  }
  if ((*dims)[0] == 0) {
    fail(why, path + " is empty");
    return std::nullopt;
  }
  return read_doubles(item, static_cast<std::size_t>((*dims)[0]), 1, why);
}

// The numbers of the N x 3 dataset at path, row by row; nullopt and *why
// set otherwise.
std::optional<std::vector<double>> read_rows_of_three(hid_t file, const std::string& path,
                                                      std::string* why) {
  const Item item = open_dataset(file, path, why);
  if (!item.object || !check_numbers(item, false, why)) return std::nullopt;
  const std::optional<std::vector<hsize_t>> dims = dimensions(item, why);
  if (!dims) return std::nullopt;
  if (dims->size() != 2 || (*dims)[1] != xyz || (*dims)[0] == 0) {
    fail(why, path + " is " + shape_text(*dims) + "; expected N x 3 (x, y, z of each vector)");
    return std::nullopt;
  }
  return read_doubles(item, static_cast<std::size_t>((*dims)[0]) * xyz, xyz, why);
}

// The one number of item (a scalar or a list of one); nullopt and *why set
// otherwise. integer: it must be an integer (read exactly as one).
std::optional<double> read_single_number(const Item& item, std::string* why) {
  const std::optional<std::vector<hsize_t>> dims = dimensions(item, why);
  if (!dims) return std::nullopt;
  if (!(dims->empty() || (dims->size() == 1 && (*dims)[0] == 1))) {
    fail(why, item.name + " is " + shape_text(*dims) + "; expected a single value");
    return std::nullopt;
  }
  const std::optional<std::vector<double>> v = read_doubles(item, 1, 1, why);
  if (!v) return std::nullopt;
  return v->front();
}

// The integer of the dataset at path (a scalar or a list of one); nullopt
// and *why set otherwise.
std::optional<long long> read_integer(hid_t file, const std::string& path, std::string* why) {
  const Item item = open_dataset(file, path, why);
  if (!item.object || !check_numbers(item, true, why)) return std::nullopt;
  const std::optional<std::vector<hsize_t>> dims = dimensions(item, why);
  if (!dims) return std::nullopt;
  if (!(dims->empty() || (dims->size() == 1 && (*dims)[0] == 1))) {
    fail(why, path + " is " + shape_text(*dims) + "; expected a single value");
    return std::nullopt;
  }
  long long value = 0;
  if (H5Dread(item.object.get(), H5T_NATIVE_LLONG, H5S_ALL, H5S_ALL, H5P_DEFAULT, &value) < 0) {
    fail(why, path + " cannot be read as an integer");
    return std::nullopt;
  }
  return value;
}

// item's data read into buffer as memory type mem.
herr_t read_item(const Item& item, hid_t mem, void* buffer) {
  return item.attribute ? H5Aread(item.object.get(), mem, buffer)
                        : H5Dread(item.object.get(), mem, H5S_ALL, H5S_ALL, H5P_DEFAULT, buffer);
}

// A string type for memory like item's (its character set), of size bytes
// (H5T_VARIABLE for a variable-length string).
Handle string_type(const Item& item, std::size_t size) {
  Handle mem(H5Tcopy(H5T_C_S1), H5Tclose);
  if (!mem || H5Tset_size(mem.get(), size) < 0 ||
      H5Tset_cset(mem.get(), H5Tget_cset(item.type.get())) < 0 ||
      (size != H5T_VARIABLE && H5Tset_strpad(mem.get(), H5T_STR_NULLPAD) < 0))
    return Handle();
  return mem;
}

// The text of a variable-length string item; nullopt when it cannot be read.
std::optional<std::string> read_variable_text(const Item& item) {
  const Handle mem = string_type(item, H5T_VARIABLE);
  char* text = nullptr;
  if (!mem || read_item(item, mem.get(), &text) < 0) return std::nullopt;
  std::string value = text == nullptr ? "" : std::string(text, ::strnlen(text, max_text_bytes));
  H5free_memory(text);
  return value;
}

// The text of a fixed-length string item, up to its first NUL; nullopt when
// it cannot be read.
std::optional<std::string> read_fixed_text(const Item& item, std::size_t size) {
  const Handle mem = string_type(item, size);
  std::string value(size, '\0');
  if (!mem || read_item(item, mem.get(), value.data()) < 0) return std::nullopt;
  value.resize(::strnlen(value.data(), size));
  return value;
}

// The text of item (a string, scalar or a list of one, at most
// max_text_bytes), without blanks around it; nullopt and *why set otherwise.
std::optional<std::string> read_text(const Item& item, std::string* why) {
  if (H5Tget_class(item.type.get()) != H5T_STRING) {
    fail(why, item.name + " holds " + kind_text(item) + ", not text");
    return std::nullopt;
  }
  const std::optional<std::vector<hsize_t>> dims = dimensions(item, why);
  if (!dims) return std::nullopt;
  if (!(dims->empty() || (dims->size() == 1 && (*dims)[0] == 1))) {
    fail(why, item.name + " is " + shape_text(*dims) + "; expected a single text");
    return std::nullopt;
  }
  const htri_t variable = H5Tis_variable_str(item.type.get());
  const std::size_t size = H5Tget_size(item.type.get());
  if (variable == 0 && (size == 0 || size > max_text_bytes)) {
    fail(why, item.name + " is a text of " + std::to_string(size) + " bytes; at most " +
                  std::to_string(max_text_bytes) + " are read");
    return std::nullopt;
  }
  const std::optional<std::string> text =
      variable > 0 ? read_variable_text(item)
                   : (variable == 0 ? read_fixed_text(item, size) : std::nullopt);
  if (!text) {
    fail(why, item.name + " cannot be read as text");
    return std::nullopt;
  }
  return std::string(trimmed(*text));
}

// The UTC time of text (its year within first_product_year..last_product_year),
// named what in a message; nullopt and *why set otherwise.
std::optional<UtcTime> utc_of(std::string_view text, const std::string& what, std::string* why) {
  constexpr std::size_t year_digits = 4;
  int year = 0;
  bool digits = text.size() >= year_digits;
  for (std::size_t i = 0; i < year_digits && digits; ++i) {
    digits = text[i] >= '0' && text[i] <= '9';
    year = year * 10 + (text[i] - '0');
  }
  if (!digits || year < first_product_year || year > last_product_year) {
    fail(why, what + " is " + quoted_excerpt(text, '\'') + ", not a UTC time of the years " +
                  std::to_string(first_product_year) + " to " + std::to_string(last_product_year));
    return std::nullopt;
  }
  std::string parse_problem;
  const std::optional<UtcTime> t = parse_utc(text, &parse_problem);
  if (!t) fail(why, what + ": " + parse_problem);
  return t;
}

// The epoch of the orbit's times: the group's reference_epoch when present,
// else the time dataset's units attribute "seconds since <UTC>". A units
// attribute must say seconds either way. nullopt and *why set otherwise.
std::optional<UtcTime> read_epoch(hid_t file, const std::string& group, std::string* why) {
  const std::string time_path = group + "/time";
  const Item time = open_dataset(file, time_path, why);
  Item units_attribute;
  if (!time.object || !open_attribute(time.object.get(), time_path, "units", units_attribute, why))
    return std::nullopt;
  std::optional<std::string> units;
  if (units_attribute.object && !(units = read_text(units_attribute, why))) return std::nullopt;
  const bool since = units && units->starts_with(seconds_since);
  if (units && !since && *units != "seconds" && *units != "s") {
    fail(why, units_attribute.name + " is " + quoted_excerpt(*units, '\'') + "; the times must be in seconds");
    return std::nullopt;
  }
  const std::string epoch_path = group + "/reference_epoch";
  if (link_exists(file, epoch_path)) {
    const Item epoch = open_dataset(file, epoch_path, why);
    const std::optional<std::string> text = epoch.object ? read_text(epoch, why) : std::nullopt;
    return text ? utc_of(*text, epoch_path, why) : std::nullopt;
  }
  if (!since) {
    fail(why, time_path + " has no epoch: neither " + epoch_path +
                  " nor a units attribute \"seconds since YYYY-MM-DD HH:MM:SS\" is there");
    return std::nullopt;
  }
  return utc_of(trimmed(std::string_view(*units).substr(seconds_since.size())),
                units_attribute.name, why);
}

// Positions or velocities (name "position" or "velocity") of the group: the
// three datasets name_x|y|z, or the N x 3 dataset name; count rows of x, y,
// z. nullopt and *why set when missing, malformed or of another length.
std::optional<std::vector<double>> read_vectors(hid_t file, const std::string& group,
                                                const std::string& name, std::size_t count,
                                                std::string* why) {
  const std::string path = group + "/" + name;
  if (!link_exists(file, path + "_x") && link_exists(file, path)) {
    std::optional<std::vector<double>> rows = read_rows_of_three(file, path, why);
    if (rows && rows->size() != count * xyz) {
      fail(why, path + " holds " + std::to_string(rows->size() / xyz) + " vectors but " + group +
                    "/time holds " + std::to_string(count) + " times");
      return std::nullopt;
    }
    return rows;
  }
  std::vector<double> rows(count * xyz);
  for (std::size_t i = 0; i < xyz; ++i) {
    const std::string axis_path = path + "_" + "xyz"[i];
    const std::optional<std::vector<double>> axis = read_list(file, axis_path, why);
    if (!axis) return std::nullopt;
    if (axis->size() != count) {
      fail(why, axis_path + " holds " + std::to_string(axis->size()) + " values but " + group +
                    "/time holds " + std::to_string(count) + " times");
      return std::nullopt;
    }
    for (std::size_t k = 0; k < count; ++k) rows[k * xyz + i] = (*axis)[k];
  }
  return rows;
}

// The orbit rows at reference + times (s), positions (m) and velocities
// (m/s) into orbit: epoch the first vector's time (to the nanosecond),
// strictly increasing, km and km/s.
bool fill_orbit(UtcTime reference, const std::vector<double>& times,
                const std::vector<double>& positions, const std::vector<double>& velocities,
                const std::string& time_path, TimedOrbit& orbit, std::string* why) {
  orbit.rows.resize(times.size());
  for (std::size_t k = 0; k < times.size(); ++k) {
    const std::string at = time_path + "[" + std::to_string(k) + "]";
    if (!(std::fabs(times[k]) <= max_seconds_from_epoch))
      return fail(
          why, at + " is " + round_trip_text(times[k]) + " s, more than a century from the epoch");
    const UtcTime t = add_seconds(reference, times[k]);
    if (k == 0) orbit.epoch = t;
    OrbitRow& row = orbit.rows[k];
    row.t = seconds_between(orbit.epoch, t);
    if (k > 0 && !(row.t > orbit.rows[k - 1].t))
      return fail(why, at + " (" + utc_text(t) + ") does not come after " + time_path + "[" +
                           std::to_string(k - 1) + "]: orbit vectors must be in time order");
    for (std::size_t i = 0; i < xyz; ++i) {
      row.state.position[i] = positions[k * xyz + i] / units::metres_per_km;
      row.state.velocity[i] = velocities[k * xyz + i] / units::metres_per_km;
    }
  }
  return true;
}

// The pass from the group's orbit_direction when present (Ascending or
// Descending, any case) into pass.
bool read_pass(hid_t file, const std::string& group, std::string& pass, std::string* why) {
  const std::string path = group + "/orbit_direction";
  if (!link_exists(file, path)) return true;
  const Item item = open_dataset(file, path, why);
  const std::optional<std::string> text = item.object ? read_text(item, why) : std::nullopt;
  if (!text) return false;
  const std::string direction = upper(*text);
  if (direction != "ASCENDING" && direction != "DESCENDING")
    return fail(why, path + " is " + quoted_excerpt(*text, '\'') + ", not Ascending or Descending");
  pass = direction;
  return true;
}

// The orbit of group into orbit (and the pass into pass).
bool read_orbit(hid_t file, const std::string& group, TimedOrbit& orbit, std::string& pass,
                std::string* why) {
  if (!link_exists(file, group)) return fail(why, group + " is missing");
  const std::string time_path = group + "/time";
  const std::optional<std::vector<double>> times = read_list(file, time_path, why);
  if (!times) return false;
  if (times->size() < orbit_min_rows)
    return fail(why, time_path + " holds " + std::to_string(times->size()) +
                         " times; an orbit needs at least " + std::to_string(orbit_min_rows) +
                         " vectors");
  const std::optional<UtcTime> reference = read_epoch(file, group, why);
  if (!reference) return false;
  const std::optional<std::vector<double>> positions =
      read_vectors(file, group, "position", times->size(), why);
  const std::optional<std::vector<double>> velocities =
      positions ? read_vectors(file, group, "velocity", times->size(), why) : std::nullopt;
  if (!velocities) return false;
  orbit.source = group;
  return fill_orbit(*reference, *times, *positions, *velocities, time_path, orbit, why) &&
         read_pass(file, group, pass, why);
}

// The wavelength (m, positive) when the product gives it.
bool read_wavelength(hid_t file, std::optional<double>& wavelength, std::string* why) {
  if (!link_exists(file, wavelength_path)) return true;
  const Item item = open_dataset(file, wavelength_path, why);
  if (!item.object || !check_numbers(item, false, why)) return false;
  const std::optional<double> v = read_single_number(item, why);
  if (!v) return false;
  if (!(*v > 0.0))
    return fail(why, std::string(wavelength_path) + " is " + round_trip_text(*v) +
                         " m; it must be positive");
  wavelength = v;
  return true;
}

// True for the EPSG codes of the WGS84 UTM zones and of UPS.
bool utm_or_ups(long long code) {
  return (code >= utm_north_first && code <= utm_north_last) ||
         (code >= utm_south_first && code <= utm_south_last) || code == ups_north ||
         code == ups_south;
}

// The geocoded grid when /data/projection or the coordinates are there: the
// EPSG code (UTM or UPS) and both coordinate lists (m), all three required.
bool read_grid(hid_t file, ProductInfo& info, std::string* why) {
  const bool any = link_exists(file, projection_path) || link_exists(file, grid_x_path) ||
                   link_exists(file, grid_y_path);
  if (!any) return true;
  const std::optional<long long> code = read_integer(file, projection_path, why);
  if (!code) return false;
  if (!utm_or_ups(*code))
    return fail(why, std::string(projection_path) + " is EPSG " + std::to_string(*code) +
                         "; only UTM (32601-32660, 32701-32760) and UPS (32661, 32761) grids "
                         "are read");
  std::optional<std::vector<double>> x = read_list(file, grid_x_path, why);
  std::optional<std::vector<double>> y = x ? read_list(file, grid_y_path, why) : std::nullopt;
  if (!y) return false;
  info.epsg = static_cast<int>(*code);
  info.grid_x = std::move(*x);
  info.grid_y = std::move(*y);
  return true;
}

// The text of the dataset at path, when it is there; nullopt and *why set
// when it is there but no single text. *present says whether it is there.
std::optional<std::string> optional_text(hid_t file, const std::string& path, bool* present, std::string* why) {
  *present = link_exists(file, path);
  if (!*present) return std::nullopt;
  const Item item = open_dataset(file, path, why);
  return item.object ? read_text(item, why) : std::nullopt;
}

// What /identification says, where the product has it: the mission
// (mission_id), the track (track_number, at least 1), the burst ID
// (burst_id, in lower case), the look side (look_direction) and the pass
// (orbit_pass_direction), each when present.
bool read_identification(hid_t file, ProductInfo& info, std::string* why) {
  if (!link_exists(file, identification_group)) return true;
  const std::string group = identification_group;
  bool present = false;
  std::optional<std::string> text = optional_text(file, group + "/mission_id", &present, why);
  if (present && !text) return false;
  if (text) info.mission = upper(*text);
  if (link_exists(file, group + "/track_number")) {
    const std::optional<long long> track = read_integer(file, group + "/track_number", why);
    if (!track) return false;
    if (*track < 1 || *track > std::numeric_limits<long>::max())
      return fail(why, group + "/track_number is " + std::to_string(*track) + "; it must be at least 1");
    info.track = static_cast<long>(*track);
  }
  text = optional_text(file, group + "/burst_id", &present, why);
  if (present && !text) return false;
  if (text) info.burst_ids = {lower(*text)};
  text = optional_text(file, group + "/look_direction", &present, why);
  if (present && !text) return false;
  if (text) {
    const std::optional<LookSide> look = look_side_from_text(*text);
    if (!look) return fail(why, group + "/look_direction is " + quoted_excerpt(*text, '\'') + ", not Right or Left");
    info.look = *look;
  }
  text = optional_text(file, group + "/orbit_pass_direction", &present, why);
  if (present && !text) return false;
  if (text) {
    const std::optional<std::string> pass = pass_from_text(*text);
    if (!pass)
      return fail(why, group + "/orbit_pass_direction is " + quoted_excerpt(*text, '\'') + ", not Ascending or Descending");
    info.pass = *pass;
  }
  return true;
}

// True, and *refusal set naming it, for a path that is no regular HDF5 file
// (opened without blocking, as every product reader does).
bool not_hdf5(const std::string& path, Refusal* refusal) {
  std::size_t size = 0;
  std::string problem;
  const FileDescriptor file = open_regular(path, &size, &problem);
  if (!file.is_open()) return !refuse(refusal, RefusalKind::unreadable, std::move(problem));
  if (!hdf5_signature_in_file(file.get()))
    return !refuse(refusal, RefusalKind::unknown_format,
                   path + ": is no HDF5 file (the HDF5 signature is neither at its start nor after a user block)");
  return false;
}

// The product in file, or nullopt and *why set (without the file's name).
std::optional<ProductInfo> read_product(hid_t file, const std::string& orbit_group,
                                        std::string* why) {
  ProductInfo info;
  info.format = hdf5_product_format;
  info.look = LookSide::right;
  const bool read = read_orbit(file, orbit_group, info.orbit, info.pass, why) &&
                    read_wavelength(file, info.wavelength_m, why) && read_grid(file, info, why) &&
                    read_identification(file, info, why);
  if (!read) return std::nullopt;
  return info;
}

// group as an absolute path without a trailing slash ("metadata/orbit/" ->
// "/metadata/orbit").
std::string absolute_group(std::string group) {
  while (!group.empty() && group.back() == '/') group.pop_back();
  if (!group.starts_with('/')) group.insert(group.begin(), '/');
  return group;
}

}  // namespace

bool hdf5_file(const std::string& path) { return !not_hdf5(path, nullptr); }

std::optional<ProductInfo> read_hdf5_product(const std::string& path, Refusal* problem,
                                             const std::string& orbit_group) {
  if (not_hdf5(path, problem)) return std::nullopt;
  const QuietErrors quiet;
  const Handle file(H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT), H5Fclose);
  if (!file) {
    refuse(problem, RefusalKind::malformed, path + ": HDF5 cannot open it (damaged or cut short?)");
    return std::nullopt;
  }
  std::string why;
  std::optional<ProductInfo> info = read_product(file.get(), absolute_group(orbit_group), &why);
  if (!info) refuse(problem, RefusalKind::malformed, path + ": " + why);
  return info;
}

}  // namespace bperp::stack
