#include "bperp/stack/inputs/ceos_leader.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <vector>

#include "bperp/io/ascii_text.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/inputs/product_bounds.h"
#include "bperp/stack/inputs/xml_document.h"
#include "bperp/stack/support/bounded_file.h"
#include "bperp/stack/support/iso_date.h"
#include "bperp/stack/support/number_text.h"
#include "bperp/stack/support/problem_text.h"

namespace bperp::stack {

namespace {

// A field of a record: where it starts (from the record's start), its width
// and its name in messages.
struct Field {
  std::size_t at;
  std::size_t width;
  const char* name;
};

// The data set summary's fields.
constexpr Field scene_time{68, 17, "scene centre time"};
constexpr Field scene_latitude{116, 16, "scene centre latitude"};
constexpr Field scene_longitude{132, 16, "scene centre longitude"};
constexpr Field mission_id{412, 16, "mission identifier"};
constexpr Field clock_angle{476, 8, "sensor clock angle"};
constexpr Field wavelength{500, 16, "radar wavelength"};
constexpr Field processing_level{1094, 16, "processing level"};
constexpr Field product_type{1110, 32, "product type"};
constexpr Field pass_field{1534, 8, "pass"};

// The platform position record's fields.
constexpr Field point_count{140, 4, "number of points"};
constexpr Field year_field{144, 4, "year"};
constexpr Field month_field{148, 4, "month"};
constexpr Field day_field{152, 4, "day"};
constexpr Field day_of_year{156, 4, "day of year"};
constexpr Field first_second{160, 22, "seconds of day of the first point"};
constexpr Field interval{182, 22, "interval"};
constexpr Field frame{204, 64, "reference frame"};
constexpr std::size_t first_point = 386, number_width = 22, point_numbers = 6;
constexpr double min_interval_s = 1e-3;  // the shortest interval between points read

constexpr const char* earth_fixed_frames[] = {"ECR", "EARTH CENTRED ROTATING", "EARTH CENTERED ROTATING"};

// The clock angle of a right-looking sensor, deg (left: its negative), and
// how far a stated one may lie from it.
constexpr double right_clock_angle = 90.0, clock_tolerance = 1.0;

// One record of the file: its bytes (header included), its place in the
// file (1-based) and its second type code.
struct Record {
  std::string_view bytes;
  std::size_t number = 0;
  unsigned type = 0;
};

std::uint32_t big_endian(std::string_view bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

const char* record_name(unsigned type) {
  return type == ceos_summary_code ? "data set summary record" : "platform position data record";
}

// "<record name> (record N, type code T)", for messages.
std::string record_text(const Record& r) {
  return std::string(record_name(r.type)) + " (record " + std::to_string(r.number) + ", type code " +
         std::to_string(r.type) + ")";
}

// "... <field> (bytes A-B)", for messages.
std::string field_text(const Record& r, const Field& f) {
  return record_text(r) + ", " + f.name + " (bytes " + std::to_string(f.at) + "-" + std::to_string(f.at + f.width - 1) +
         ")";
}

// The records of bytes, walked by their lengths; false and *why set for a
// header cut short, a length shorter than the header or past the file's end.
bool split_records(std::string_view bytes, std::vector<Record>& records, std::string* why) {
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t number = records.size() + 1;
    const std::string where = "record " + std::to_string(number) + " at byte " + std::to_string(at);
    if (bytes.size() - at < ceos_header_bytes)
      return fail(why, where + " is cut short: its header needs " + std::to_string(ceos_header_bytes) + " bytes, " +
                           std::to_string(bytes.size() - at) + " remain");
    const std::size_t length = big_endian(bytes, at + 8);
    if (length < ceos_header_bytes)
      return fail(why, where + " gives a length of " + std::to_string(length) + " bytes, less than its header's " +
                           std::to_string(ceos_header_bytes));
    if (length > bytes.size() - at)
      return fail(why, where + " gives a length of " + std::to_string(length) + " bytes, which runs past the file's end (" +
                           std::to_string(bytes.size()) + " bytes)");
    records.push_back({bytes.substr(at, length), number, static_cast<unsigned char>(bytes[at + 5])});
    at += length;
  }
  return true;
}

// The first record of type; nullptr and *why set when there is none.
const Record* find_record(const std::vector<Record>& records, unsigned type, std::string* why) {
  for (const Record& r : records)
    if (r.type == type) return &r;
  fail(why, "holds no " + std::string(record_name(type)) + " (type code " + std::to_string(type) +
                "): is it the leader file (LED-*)?");
  return nullptr;
}

// The text of field f of r, blanks around it cut; nullopt and *why set when
// it lies past the record's end.
std::optional<std::string_view> text_of(const Record& r, const Field& f, std::string* why) {
  if (f.at + f.width > r.bytes.size()) {
    fail(why, field_text(r, f) + " lies past the record's end (" + std::to_string(r.bytes.size()) + " bytes)");
    return std::nullopt;
  }
  return trimmed(r.bytes.substr(f.at, f.width));
}

// The number in field f (Fortran's D exponent read as E); nullopt and *why
// set for a blank field or no number.
std::optional<double> number_of(const Record& r, const Field& f, std::string* why) {
  const std::optional<std::string_view> text = text_of(r, f, why);
  if (!text) return std::nullopt;
  std::string digits(*text);
  std::replace(digits.begin(), digits.end(), 'D', 'E');
  std::replace(digits.begin(), digits.end(), 'd', 'e');
  std::string problem;
  const std::optional<double> v = number_from_text(digits, &problem);
  if (!v) fail(why, field_text(r, f) + " is " + quoted_excerpt(*text, '\'') + ", not a number");
  return v;
}

// The integer in field f (blank- or zero-padded); nullopt and *why set
// otherwise.
std::optional<long> integer_of(const Record& r, const Field& f, std::string* why) {
  const std::optional<std::string_view> text = text_of(r, f, why);
  if (!text) return std::nullopt;
  std::string problem;
  const std::optional<long> v = text->empty() ? std::nullopt : integer_from_text(*text, &problem);
  if (!v) fail(why, field_text(r, f) + " is " + quoted_excerpt(*text, '\'') + ", not an integer");
  return v;
}

// The number in field f when bound(value) is ""; nullopt and *why set
// otherwise.
template <typename Bound>
std::optional<double> bounded_of(const Record& r, const Field& f, const char* unit, Bound bound, std::string* why) {
  const std::optional<double> v = number_of(r, f, why);
  if (!v) return std::nullopt;
  if (const std::string problem = bound(*v); !problem.empty()) {
    fail(why, field_text(r, f) + " is " + round_trip_text(*v) + " " + unit + "; " + problem);
    return std::nullopt;
  }
  return v;
}

// The bound of a coordinate of at most limit degrees.
auto degrees_within(double limit, const char* what) {
  return [=](double v) { return std::abs(v) <= limit ? std::string() : std::string(what); };
}

// The scene centre time YYYYMMDDhhmmssttt as UTC.
std::optional<UtcTime> scene_time_of(const Record& r, std::string* why) {
  const std::optional<std::string_view> text = text_of(r, scene_time, why);
  if (!text) return std::nullopt;
  const bool digits = text->size() == scene_time.width &&
                      std::all_of(text->begin(), text->end(), [](char c) { return c >= '0' && c <= '9'; });
  const std::string t(*text);
  const auto part = [&](std::size_t at, std::size_t n) { return t.substr(at, n); };
  const int year = digits ? std::stoi(part(0, 4)) : 0;
  std::optional<UtcTime> utc;
  if (digits && year >= first_product_year && year <= last_product_year)
    utc = parse_utc(part(0, 4) + "-" + part(4, 2) + "-" + part(6, 2) + "T" + part(8, 2) + ":" + part(10, 2) + ":" +
                    part(12, 2) + "." + part(14, 3));
  if (!utc)
    fail(why, field_text(r, scene_time) + " is " + quoted_excerpt(*text, '\'') +
                  ", not a UTC time YYYYMMDDhhmmssttt of " + product_years_text());
  return utc;
}

// The data set summary: scene centre and its time, mission, look side,
// wavelength, product type and pass.
bool read_summary(const Record& r, ProductInfo& info, std::string* why) {
  info.image.centre_line = scene_time_of(r, why);
  const std::optional<double> latitude =
      info.image.centre_line
          ? bounded_of(r, scene_latitude, "deg", degrees_within(90.0, "a latitude lies between -90 and 90 deg"), why)
          : std::nullopt;
  const std::optional<double> longitude =
      latitude ? bounded_of(r, scene_longitude, "deg",
                            degrees_within(180.0, "a longitude lies between -180 and 180 deg"), why)
               : std::nullopt;
  const std::optional<std::string_view> mission = longitude ? text_of(r, mission_id, why) : std::nullopt;
  const std::optional<std::string_view> clock = mission ? text_of(r, clock_angle, why) : std::nullopt;
  if (!clock) return false;
  info.scene_centre = SceneCentre{*latitude, *longitude, std::nullopt};
  info.mission = upper(mission->substr(0, mission->find(' ')));
  if (clock->empty())
    return fail(why, field_text(r, clock_angle) + " is blank: the side the radar looks to is not stated");
  const std::optional<double> angle = number_of(r, clock_angle, why);
  if (!angle) return false;
  if (std::abs(std::abs(*angle) - right_clock_angle) > clock_tolerance)
    return fail(why, field_text(r, clock_angle) + " is " + round_trip_text(*angle) +
                         " deg; +90 (looking right) or -90 (left) is read");
  info.look = *angle > 0 ? LookSide::right : LookSide::left;
  info.wavelength_m = bounded_of(r, wavelength, "m", wavelength_problem, why);
  const std::optional<std::string_view> level = info.wavelength_m ? text_of(r, processing_level, why) : std::nullopt;
  const std::optional<std::string_view> type = level ? text_of(r, product_type, why) : std::nullopt;
  const std::optional<std::string_view> pass = type ? text_of(r, pass_field, why) : std::nullopt;
  if (!pass) return false;
  info.product_type = level->empty() ? std::string(*type) : "level " + std::string(*level) + " " + std::string(*type);
  while (!info.product_type.empty() && info.product_type.back() == ' ') info.product_type.pop_back();
  info.pass = pass_from_text(*pass).value_or("");
  return true;
}

// The first point's time: 00:00 of the record's date, checked against its
// day of year, plus its seconds of the day; nullopt and *why set otherwise.
std::optional<UtcTime> first_point_time(const Record& r, std::string* why) {
  const std::optional<long> year = integer_of(r, year_field, why);
  const std::optional<long> month = year ? integer_of(r, month_field, why) : std::nullopt;
  const std::optional<long> day = month ? integer_of(r, day_field, why) : std::nullopt;
  const std::optional<std::string_view> doy_text = day ? text_of(r, day_of_year, why) : std::nullopt;
  const std::optional<double> seconds = doy_text ? number_of(r, first_second, why) : std::nullopt;
  if (!seconds) return std::nullopt;
  const bool calendar = *year >= first_product_year && *year <= last_product_year && *month >= 1 && *month <= 12 &&
                        *day >= 1 && *day <= days_in_month(static_cast<int>(*year), static_cast<int>(*month));
  if (!calendar) {
    fail(why, record_text(r) + ": year, month and day (bytes 144-155) are " + std::to_string(*year) + ", " +
                  std::to_string(*month) + ", " + std::to_string(*day) + ", not a date of " + product_years_text());
    return std::nullopt;
  }
  const CivilDate date{static_cast<int>(*year), static_cast<int>(*month), static_cast<int>(*day)};
  const long days = days_from_civil(date);
  if (!doy_text->empty()) {
    const std::optional<long> doy = integer_of(r, day_of_year, why);
    const long expected = days - days_from_civil(CivilDate{date.year, 1, 1}) + 1;
    if (!doy) return std::nullopt;
    if (*doy != expected) {
      fail(why, field_text(r, day_of_year) + " is " + std::to_string(*doy) + ", but " + iso_date_text(date) +
                    " is day " + std::to_string(expected));
      return std::nullopt;
    }
  }
  if (!(*seconds >= 0.0 && *seconds < units::seconds_per_day)) {
    fail(why, field_text(r, first_second) + " is " + round_trip_text(*seconds) + " s; a time of day lies in 0 to 86400 s");
    return std::nullopt;
  }
  return add_seconds(start_of_day(days), *seconds);
}

// The platform position record's orbit into info.orbit.
bool read_platform(const Record& r, TimedOrbit& orbit, std::string* why) {
  const std::optional<long> n = integer_of(r, point_count, why);
  if (!n) return false;
  if (*n < static_cast<long>(orbit_min_rows) || *n > static_cast<long>(max_orbit_rows))
    return fail(why, field_text(r, point_count) + " is " + std::to_string(*n) + "; an orbit needs " +
                         std::to_string(orbit_min_rows) + " to " + std::to_string(max_orbit_rows) + " points");
  const std::optional<UtcTime> first = first_point_time(r, why);
  const std::optional<double> step =
      first ? bounded_of(r, interval, "s",
                         [](double v) { return v >= min_interval_s ? "" : std::string("it must be at least 1 ms"); }, why)
            : std::nullopt;
  const std::optional<std::string_view> frame_text = step ? text_of(r, frame, why) : std::nullopt;
  if (!frame_text) return false;
  const std::string frame_name = upper(*frame_text);
  if (std::find(std::begin(earth_fixed_frames), std::end(earth_fixed_frames), frame_name) == std::end(earth_fixed_frames))
    return fail(why, field_text(r, frame) + " is " + quoted_excerpt(*frame_text, '\'') +
                         ", not an earth-fixed frame (ECR, earth centred rotating): its vectors are not read");
  const std::size_t count = static_cast<std::size_t>(*n);
  const std::size_t needed = first_point + count * point_numbers * number_width;
  if (needed > r.bytes.size())
    return fail(why, record_text(r) + " holds " + std::to_string(r.bytes.size()) + " bytes; its " +
                         std::to_string(count) + " points need " + std::to_string(needed));
  orbit.rows.resize(count);
  orbit.epoch = *first;
  for (std::size_t k = 0; k < count; ++k) {
    const double after = static_cast<double>(k) * *step;
    if (!product_time(*first, after))
      return fail(why, record_text(r) + ": point " + std::to_string(k + 1) + " falls " + round_trip_text(after) +
                           " s after the first, a time outside " + product_years_text());
    OrbitRow& row = orbit.rows[k];
    row.t = after;
    for (std::size_t i = 0; i < point_numbers; ++i) {
      const std::size_t at = first_point + (k * point_numbers + i) * number_width;
      const std::string name = "point " + std::to_string(k + 1) + " " + (i < 3 ? "position " : "velocity ") + "xyz"[i % 3];
      const std::optional<double> v = number_of(r, Field{at, number_width, name.c_str()}, why);
      if (!v) return false;
      (i < 3 ? row.state.position : row.state.velocity)[i % 3] = *v / units::metres_per_km;
    }
  }
  orbit.source = ceos_orbit_source;
  return true;
}

// The product of bytes, or nullopt and *why set (without the file's name).
std::optional<ProductInfo> read_product(std::string_view bytes, std::string* why) {
  std::vector<Record> records;
  if (!split_records(bytes, records, why)) return std::nullopt;
  const Record* summary = find_record(records, ceos_summary_code, why);
  const Record* platform = summary ? find_record(records, ceos_platform_code, why) : nullptr;
  if (!platform) return std::nullopt;
  ProductInfo info;
  info.format = ceos_leader_format;
  if (!read_summary(*summary, info, why) || !read_platform(*platform, info.orbit, why)) return std::nullopt;
  return info;
}

}  // namespace

bool looks_like_ceos(std::string_view head) {
  constexpr std::size_t text_at = 16;
  return head.size() >= text_at + 4 && big_endian(head, 0) == 1 &&
         static_cast<unsigned char>(head[5]) == ceos_file_descriptor_code && big_endian(head, 8) >= text_at + 4 &&
         head.substr(text_at, 4) == "CEOS";
}

namespace {

// The refusal of a leader of size bytes beyond the bound.
std::string too_large(std::size_t size) {
  return "holds " + std::to_string(size) + " bytes, more than the " + std::to_string(max_ceos_bytes >> 20) +
         " MiB a leader is read to";
}

}  // namespace

std::optional<ProductInfo> parse_ceos_leader(std::string_view bytes, const std::string& name, std::string* problem) {
  std::string why;
  std::optional<ProductInfo> info;
  if (bytes.size() > max_ceos_bytes)
    why = too_large(bytes.size());
  else
    info = read_product(bytes, &why);
  if (!info) fail(problem, name + ": " + why);
  return info;
}

std::optional<ProductInfo> read_ceos_leader(const std::string& path, Refusal* problem) {
  std::size_t size = 0;
  std::string why;
  const FileDescriptor file = open_regular(path, &size, &why);
  std::string bytes;
  if (!file.is_open() || (size <= max_ceos_bytes && !read_bytes(file.get(), size, path, bytes, &why))) {
    refuse(problem, RefusalKind::unreadable, std::move(why));
    return std::nullopt;
  }
  if (size > max_ceos_bytes) {
    refuse(problem, RefusalKind::malformed, path + ": " + too_large(size));
    return std::nullopt;
  }
  std::optional<ProductInfo> info = parse_ceos_leader(bytes, path, &why);
  if (!info) refuse(problem, RefusalKind::malformed, std::move(why));
  return info;
}

std::optional<ProductInfo> zipped_ceos_leader(ZipArchive& archive, std::string* member, Refusal* problem) {
  std::vector<std::size_t> leaders;
  for (std::size_t k = 0; k < archive.members().size(); ++k) {
    const std::string& m = archive.members()[k];
    const std::size_t slash = m.rfind('/');
    const std::string name = slash == std::string::npos ? m : m.substr(slash + 1);
    const bool shallow = std::count(m.begin(), m.end(), '/') <= 1;
    if (!zip_debris(m) && shallow && name.starts_with("LED-")) leaders.push_back(k);
  }
  if (leaders.empty()) return std::nullopt;
  if (leaders.size() > 1) {
    refuse(problem, RefusalKind::malformed,
           archive.name() + ": holds " + std::to_string(leaders.size()) + " leader files (LED-*: " +
               archive.members()[leaders[0]] + ", " + archive.members()[leaders[1]] +
               (leaders.size() > 2 ? ", ..." : "") + "); one product is read from a zip");
    return std::nullopt;
  }
  *member = zip_member_name(archive.name(), archive.members()[leaders.front()]);
  std::string bytes;
  if (!archive.read(leaders.front(), bytes, problem, max_ceos_bytes)) return std::nullopt;
  std::string why;
  std::optional<ProductInfo> info = parse_ceos_leader(bytes, *member, &why);
  if (!info) refuse(problem, RefusalKind::malformed, why);
  return info;
}

std::string ceos_folder_leader(const std::string& dir, Refusal* problem) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::directory_iterator entries(dir, error);
  if (error) {
    refuse(problem, RefusalKind::unreadable, dir + ": cannot list it (" + error.message() + ")");
    return {};
  }
  std::vector<std::string> leaders;
  for (const fs::directory_entry& entry : entries)
    if (entry.path().filename().string().starts_with("LED-") && entry.is_regular_file(error))
      leaders.push_back(entry.path().string());
  if (leaders.size() > 1) {
    std::sort(leaders.begin(), leaders.end());
    refuse(problem, RefusalKind::malformed,
           dir + " holds " + std::to_string(leaders.size()) + " leader files (LED-*: " +
               fs::path(leaders[0]).filename().string() + ", " + fs::path(leaders[1]).filename().string() +
               (leaders.size() > 2 ? ", ..." : "") + "); give the one to read");
    return {};
  }
  return leaders.empty() ? std::string() : leaders.front();
}

}  // namespace bperp::stack
