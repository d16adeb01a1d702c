#include "bperp/stack/inputs/image_parameters.h"

#include "bperp/stack/support/problem_text.h"

#include "bperp/stack/support/bounded_file.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <map>
#include <vector>

#include "bperp/io/ascii_text.h"
#include "bperp/io/decimal_number.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/inputs/product_bounds.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

// The start of a parameter file's first line, and the keys that tell one
// without it.
constexpr std::string_view processor_title = "Gamma Interferometric SAR Processor";
constexpr std::string_view date_line = "date:";
constexpr std::string_view count_line = "number_of_state_vectors:";

constexpr const char* position_prefix = "state_vector_position_";
constexpr const char* velocity_prefix = "state_vector_velocity_";

// Times are seconds since 00:00 of the file's date; a product that begins
// just after midnight has its first vectors before it, one that runs over
// midnight has times beyond a day.
constexpr double earliest_second_of_day = -units::seconds_per_day;
constexpr double latest_second_of_day = 2.0 * units::seconds_per_day;
// Orbit sampling in such files is some seconds to a minute; a day is no sampling.
constexpr double max_state_vector_interval_s = units::seconds_per_day;
constexpr long max_state_vectors = 100000;

// azimuth_angle (degrees) of a right- and of a left-looking radar.
constexpr double right_looking_deg = 90.0;
constexpr double left_looking_deg = -90.0, left_looking_wrapped_deg = 270.0;

constexpr std::size_t doppler_coefficients = 4;
constexpr std::size_t mebibyte = std::size_t{1} << 20;
constexpr std::size_t xyz = 3;

// The words of text, split at white space.
std::vector<std::string_view> words_of(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && is_white_space(static_cast<unsigned char>(text[i]))) ++i;
    const std::size_t first = i;
    while (i < text.size() && !is_white_space(static_cast<unsigned char>(text[i]))) ++i;
    if (i > first) words.push_back(text.substr(first, i - first));
  }
  return words;
}

// One key of the file: its value (the text after the colon, trimmed), the
// line it is on (from 1) and the line of a second one of the same key (0
// when there is none).
struct Entry {
  std::string_view value;
  std::size_t line = 0;
  std::size_t repeated_on = 0;
};
using Entries = std::map<std::string, Entry, std::less<>>;

// Every `key: value` line of bytes; lines without a colon (the title) are
// skipped. The values point into bytes.
Entries entries_of(std::string_view bytes) {
  Entries entries;
  std::size_t line = 0;
  while (!bytes.empty()) {
    ++line;
    const std::size_t end = bytes.find('\n');
    const std::string_view text = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view key = trimmed(text.substr(0, colon));
    if (key.empty()) continue;
    const auto [at, fresh] = entries.try_emplace(std::string(key));
    if (fresh)
      at->second = Entry{trimmed(text.substr(colon + 1)), line, 0};
    else if (at->second.repeated_on == 0)
      at->second.repeated_on = line;
  }
  return entries;
}

// The entry of key; nullptr and *why set when it is missing or given twice.
const Entry* find(const Entries& entries, std::string_view key, std::string* why) {
  const auto at = entries.find(key);
  if (at == entries.end()) {
    fail(why, std::string(key) + " is missing");
    return nullptr;
  }
  if (at->second.repeated_on != 0) {
    fail(why, std::string(key) + " is given twice (lines " + std::to_string(at->second.line) +
                  " and " + std::to_string(at->second.repeated_on) + ")");
    return nullptr;
  }
  return &at->second;
}

// words[first..] joined by single blanks.
std::string joined(const std::vector<std::string_view>& words, std::size_t first) {
  std::string text;
  for (std::size_t i = first; i < words.size(); ++i) {
    if (i > first) text += ' ';
    text += words[i];
  }
  return text;
}

// The words after the numbers of key, which must be none or the unit text
// (one word per number, "m m m", or one for a single number, "Hz"). False
// and *why set otherwise: more numbers than count, or another unit.
bool check_unit(std::string_view key, const std::vector<std::string_view>& words, std::size_t count,
                std::string_view unit, std::string* why) {
  if (words.size() == count) return true;
  const std::string given = joined(words, count);
  if (given == unit) return true;
  if (decimal_number(words[count]))
    return fail(why, std::string(key) + " holds more than " + std::to_string(count) +
                         (count == 1 ? " number: " : " numbers: ") + quoted_excerpt(given, '\''));
  return fail(why, std::string(key) + " is given in " + quoted_excerpt(given, '\'') + ", not in " + quoted_excerpt(unit, '\''));
}

// The count numbers of key (finite decimal numbers, then nothing or the
// unit text); nullopt and *why set otherwise.
std::optional<std::vector<double>> numbers(const Entries& entries, std::string_view key,
                                           std::size_t count, std::string_view unit,
                                           std::string* why) {
  const Entry* entry = find(entries, key, why);
  if (entry == nullptr) return std::nullopt;
  const std::vector<std::string_view> words = words_of(entry->value);
  std::vector<double> values;
  for (std::size_t i = 0; i < count; ++i) {
    const std::optional<double> v = i < words.size() ? decimal_number(words[i]) : std::nullopt;
    if (!v) {
      const bool fewer = i == words.size() || joined(words, i) == unit;
      const std::string which = count == 1 ? "" : " (number " + std::to_string(i + 1) + ")";
      fail(why, fewer ? std::string(key) + " holds " + std::to_string(i) + " numbers, not " +
                            std::to_string(count) + ": " + quoted_excerpt(entry->value, '\'')
                      : std::string(key) + which +
                            " is not a finite decimal number: " + quoted_excerpt(words[i], '\''));
      return std::nullopt;
    }
    values.push_back(*v);
  }
  if (!check_unit(key, words, count, unit, why)) return std::nullopt;
  return values;
}

// The one number of key in unit; nullopt and *why set otherwise.
std::optional<double> number(const Entries& entries, std::string_view key, std::string_view unit,
                             std::string* why) {
  const std::optional<std::vector<double>> v = numbers(entries, key, 1, unit, why);
  if (!v) return std::nullopt;
  return v->front();
}

// The number of key in unit when it is positive; nullopt and *why set otherwise.
std::optional<double> positive(const Entries& entries, std::string_view key, std::string_view unit,
                               std::string* why) {
  const std::optional<double> v = number(entries, key, unit, why);
  if (v && !(*v > 0.0)) {
    fail(why, std::string(key) + " is " + round_trip_text(*v) + " " + std::string(unit) +
                  "; it must be positive");
    return std::nullopt;
  }
  return v;
}

// The number of key in unit (Hz) when the key is given and not 0; nullopt
// otherwise. False and *why set when it is given but malformed, negative,
// or (a bandwidth: below_frequency) not below the radar frequency.
bool optional_rate(const Entries& entries, std::string_view key, std::optional<double>& out,
                   std::optional<double> below_frequency, std::string* why) {
  if (!entries.contains(key)) return true;
  const std::optional<double> v = number(entries, key, "Hz", why);
  if (!v) return false;
  if (*v < 0.0)
    return fail(why,
                std::string(key) + " is " + round_trip_text(*v) + " Hz; it must not be negative");
  if (*v > 0.0 && below_frequency)
    if (const std::string problem = bandwidth_problem(*v, below_frequency); !problem.empty())
      return fail(why, std::string(key) + " is " + round_trip_text(*v) + " Hz; " + problem);
  if (*v > 0.0) out = v;
  return true;
}

// word as a whole number ([+-]digits, fitting a long); nullopt otherwise.
std::optional<long> whole_number(std::string_view word) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  long v = 0;
  const char* last = word.data() + word.size();
  const auto [end, ec] = std::from_chars(word.data(), last, v);
  if (word.empty() || ec != std::errc() || end != last) return std::nullopt;
  return v;
}

// The whole number of key, at least `least`; nullopt and *why set otherwise.
std::optional<long> count_at_least(const Entries& entries, std::string_view key, long least,
                                   std::string* why) {
  const Entry* entry = find(entries, key, why);
  if (entry == nullptr) return std::nullopt;
  const std::optional<long> v = whole_number(entry->value);
  if (!v) {
    fail(why, std::string(key) + " is not a whole number: " + quoted_excerpt(entry->value, '\''));
    return std::nullopt;
  }
  if (*v < least) {
    fail(why, std::string(key) + " is " + std::to_string(*v) + "; it must be at least " +
                  std::to_string(least));
    return std::nullopt;
  }
  return v;
}

// 00:00 UTC of `date: year month day`; nullopt and *why set when the value
// is not three whole numbers, no calendar date, or of a year outside
// first_product_year..last_product_year.
std::optional<UtcTime> read_date(const Entries& entries, std::string* why) {
  const Entry* entry = find(entries, "date", why);
  if (entry == nullptr) return std::nullopt;
  const std::vector<std::string_view> words = words_of(entry->value);
  std::optional<long> ymd[3];
  for (std::size_t i = 0; i < 3 && words.size() == 3; ++i) ymd[i] = whole_number(words[i]);
  if (!ymd[0] || !ymd[1] || !ymd[2]) {
    fail(why, "date is not a date (year month day): " + quoted_excerpt(entry->value, '\''));
    return std::nullopt;
  }
  if (*ymd[0] < first_product_year || *ymd[0] > last_product_year) {
    fail(why, "date " + quoted_excerpt(entry->value, '\'') + " lies outside the years " +
                  std::to_string(first_product_year) + " to " + std::to_string(last_product_year));
    return std::nullopt;
  }
  const bool in_range = *ymd[1] >= 1 && *ymd[1] <= 12 && *ymd[2] >= 1 && *ymd[2] <= 31;
  const std::chrono::year_month_day day{
      std::chrono::year(static_cast<int>(*ymd[0])),
      std::chrono::month(static_cast<unsigned>(in_range ? *ymd[1] : 0)),
      std::chrono::day(static_cast<unsigned>(in_range ? *ymd[2] : 0))};
  if (!day.ok()) {
    fail(why, "date is no calendar date: " + quoted_excerpt(entry->value, '\''));
    return std::nullopt;
  }
  return UtcTime(std::chrono::sys_days(day));
}

// The time of key (s since 00:00 of day, within earliest_second_of_day to
// latest_second_of_day, and within the years of products) as a UTC time;
// nullopt and *why set otherwise.
std::optional<UtcTime> time_of_day(const Entries& entries, std::string_view key, UtcTime day,
                                   std::string* why) {
  const std::optional<double> s = number(entries, key, "s", why);
  if (!s) return std::nullopt;
  if (!(*s >= earliest_second_of_day && *s <= latest_second_of_day)) {
    fail(why, std::string(key) + " is " + round_trip_text(*s) + " s; it must lie within " +
                  round_trip_text(earliest_second_of_day) + " to " +
                  round_trip_text(latest_second_of_day) + " s of the day");
    return std::nullopt;
  }
  const std::optional<UtcTime> t = product_time(day, *s);
  if (!t) fail(why, std::string(key) + " is " + round_trip_text(*s) + " s after 00:00 of " + utc_text(day).substr(0, 10) +
                        ", a time outside " + product_years_text());
  return t;
}

// The number of key in unit when within_bounds(value) says nothing against
// it; nullopt and *why set, naming the key, the value and the bound,
// otherwise.
template <typename Bound>
std::optional<double> bounded(const Entries& entries, std::string_view key, std::string_view unit, Bound within_bounds,
                              std::string* why) {
  const std::optional<double> v = number(entries, key, unit, why);
  if (!v) return std::nullopt;
  if (const std::string problem = within_bounds(*v); !problem.empty()) {
    fail(why, std::string(key) + " is " + round_trip_text(*v) + " " + std::string(unit) + "; " + problem);
    return std::nullopt;
  }
  return v;
}

// The line times (start, centre, end in time order), the line interval,
// lines and samples into timing.
bool read_lines(const Entries& entries, UtcTime day, ImageTiming& timing, std::string* why) {
  timing.first_line = time_of_day(entries, "start_time", day, why);
  if (timing.first_line) timing.centre_line = time_of_day(entries, "center_time", day, why);
  if (timing.centre_line) timing.last_line = time_of_day(entries, "end_time", day, why);
  if (!timing.last_line) return false;
  if (*timing.last_line < *timing.first_line) return fail(why, "end_time comes before start_time");
  if (*timing.centre_line < *timing.first_line || *timing.centre_line > *timing.last_line)
    return fail(why, "center_time lies outside start_time to end_time");
  timing.line_interval_s = positive(entries, "azimuth_line_time", "s", why);
  if (timing.line_interval_s) timing.lines = count_at_least(entries, "azimuth_lines", 1, why);
  if (timing.lines) timing.samples = count_at_least(entries, "range_samples", 1, why);
  return timing.samples.has_value();
}

// The near, centre and far slant ranges (m, a satellite's, in that order)
// and the range pixel spacing (m, positive) into timing.
bool read_ranges(const Entries& entries, ImageTiming& timing, std::string* why) {
  timing.near_range_m = bounded(entries, "near_range_slc", "m", slant_range_problem, why);
  if (timing.near_range_m) timing.centre_range_m = bounded(entries, "center_range_slc", "m", slant_range_problem, why);
  if (timing.centre_range_m) timing.far_range_m = bounded(entries, "far_range_slc", "m", slant_range_problem, why);
  if (timing.far_range_m)
    timing.range_pixel_spacing_m = positive(entries, "range_pixel_spacing", "m", why);
  if (!timing.range_pixel_spacing_m) return false;
  if (*timing.far_range_m < *timing.near_range_m)
    return fail(why, "far_range_slc is less than near_range_slc");
  if (*timing.centre_range_m < *timing.near_range_m || *timing.centre_range_m > *timing.far_range_m)
    return fail(why, "center_range_slc lies outside near_range_slc to far_range_slc");
  return true;
}

// The radar frequency (Hz, positive) and, when given, the sampling rate and
// the bandwidths (Hz) into info.
bool read_radar(const Entries& entries, ProductInfo& info, std::string* why) {
  info.radar_frequency_hz = bounded(entries, "radar_frequency", "Hz", radar_frequency_problem, why);
  return info.radar_frequency_hz &&
         optional_rate(entries, "adc_sampling_rate", info.range_sampling_rate_hz, std::nullopt, why) &&
         optional_rate(entries, "chirp_bandwidth", info.range_bandwidth_hz, info.radar_frequency_hz, why) &&
         optional_rate(entries, "azimuth_proc_bandwidth", info.azimuth_bandwidth_hz, info.radar_frequency_hz, why);
}

// The look side of azimuth_angle (degrees): 90 right, -90 or 270 left.
bool read_look(const Entries& entries, LookSide& look, std::string* why) {
  const std::optional<double> angle = number(entries, "azimuth_angle", "degrees", why);
  if (!angle) return false;
  if (*angle == right_looking_deg) {
    look = LookSide::right;
  } else if (*angle == left_looking_deg || *angle == left_looking_wrapped_deg) {
    look = LookSide::left;
  } else {
    return fail(why, "azimuth_angle is " + round_trip_text(*angle) +
                         " degrees; expected 90 (right looking), -90 or 270 (left looking)");
  }
  return true;
}

// The Doppler centroid polynomial, when given, about the centre range.
bool read_doppler(const Entries& entries, ProductInfo& info, std::string* why) {
  if (!entries.contains("doppler_polynomial")) return true;
  std::optional<std::vector<double>> c =
      numbers(entries, "doppler_polynomial", doppler_coefficients, "Hz Hz/m Hz/m^2 Hz/m^3", why);
  if (!c) return false;
  info.doppler_polynomial = std::move(*c);
  info.doppler_reference_range_m = info.image.centre_range_m;
  return true;
}

// True for a word of upper-case letters and digits.
bool plain_word(std::string_view w) {
  for (const char c : w)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  return !w.empty();
}

// Mission, swath and polarisation from `sensor: S1A IW IW1 VV`; nothing for
// any other sensor text.
void read_sensor(const Entries& entries, ProductInfo& info) {
  const auto at = entries.find("sensor");
  if (at == entries.end()) return;
  const std::vector<std::string_view> w = words_of(at->second.value);
  if (w.size() != 4 || w[0].size() != 3 || !w[0].starts_with("S1")) return;
  if (!plain_word(w[0]) || !plain_word(w[2]) || !plain_word(w[3])) return;
  info.mission = w[0];
  info.swath = w[2];
  info.polarisation = w[3];
}

// The N of a key prefixN: digits without a leading zero; 0 for anything else.
long vector_number(std::string_view suffix) {
  if (suffix.empty() || suffix.front() == '0') return 0;
  for (const char c : suffix)
    if (c < '0' || c > '9') return 0;
  return whole_number(suffix).value_or(0);
}

// False and *why set when a key prefixN is given for an N outside 1..count.
bool check_vector_keys(const Entries& entries, std::string_view prefix, long count,
                       std::string* why) {
  for (auto at = entries.lower_bound(prefix); at != entries.end() && at->first.starts_with(prefix);
       ++at) {
    const long n = vector_number(std::string_view(at->first).substr(prefix.size()));
    if (n < 1 || n > count)
      return fail(why, quoted_excerpt(at->first, '\'') + " is given, but number_of_state_vectors is " +
                           std::to_string(count) + " (vectors 1 to " + std::to_string(count) + ")");
  }
  return true;
}

// Vector n's position (m) and velocity (m/s) as a state vector in km, km/s.
bool read_vector(const Entries& entries, long n, StateVector& sv, std::string* why) {
  const std::string number_text = std::to_string(n);
  const std::optional<std::vector<double>> p =
      numbers(entries, position_prefix + number_text, xyz, "m m m", why);
  const std::optional<std::vector<double>> v =
      p ? numbers(entries, velocity_prefix + number_text, xyz, "m/s m/s m/s", why) : std::nullopt;
  if (!v) return false;
  for (std::size_t i = 0; i < xyz; ++i) {
    sv.position[i] = (*p)[i] / units::metres_per_km;
    sv.velocity[i] = (*v)[i] / units::metres_per_km;
  }
  return true;
}

// The state vectors: epoch = day + time_of_first_state_vector, row k at k
// state_vector_interval, count of them.
bool read_orbit(const Entries& entries, UtcTime day, TimedOrbit& orbit, std::string* why) {
  const std::optional<long> count =
      count_at_least(entries, "number_of_state_vectors", static_cast<long>(orbit_min_rows), why);
  if (!count) return false;
  if (*count > max_state_vectors)
    return fail(why, "number_of_state_vectors is " + std::to_string(*count) + "; at most " +
                         std::to_string(max_state_vectors) + " are read");
  const std::optional<UtcTime> epoch = time_of_day(entries, "time_of_first_state_vector", day, why);
  const std::optional<double> interval =
      epoch ? positive(entries, "state_vector_interval", "s", why) : std::nullopt;
  if (!interval) return false;
  if (*interval > max_state_vector_interval_s)
    return fail(why, "state_vector_interval is " + round_trip_text(*interval) +
                         " s; at most a day (86400 s) is an orbit's sampling");
  if (!check_vector_keys(entries, position_prefix, *count, why) ||
      !check_vector_keys(entries, velocity_prefix, *count, why))
    return false;
  // The last vector's time, formed from the epoch only when it lies within
  // the years of products (as every later time of the orbit is).
  const double last = static_cast<double>(*count - 1) * *interval;
  if (!product_time(*epoch, last))
    return fail(why, "number_of_state_vectors " + std::to_string(*count) + " at state_vector_interval " +
                         round_trip_text(*interval) + " s reach " + round_trip_text(last) + " s after " +
                         utc_text(*epoch) + ", beyond " + product_years_text());
  orbit.epoch = *epoch;
  orbit.source = image_parameters_orbit_source;
  orbit.rows.resize(static_cast<std::size_t>(*count));
  for (long n = 1; n <= *count; ++n) {
    OrbitRow& row = orbit.rows[static_cast<std::size_t>(n - 1)];
    row.t = static_cast<double>(n - 1) * *interval;
    if (!read_vector(entries, n, row.state, why)) return false;
  }
  return true;
}

// The product of entries, or nullopt and *why set (without the file's name).
std::optional<ProductInfo> read_product(const Entries& entries, std::string* why) {
  const std::optional<UtcTime> day = read_date(entries, why);
  if (!day) return std::nullopt;
  ProductInfo info;
  info.format = image_parameters_format;
  const bool read = read_lines(entries, *day, info.image, why) &&
                    read_ranges(entries, info.image, why) && read_radar(entries, info, why) &&
                    read_look(entries, info.look, why) && read_doppler(entries, info, why) &&
                    read_orbit(entries, *day, info.orbit, why);
  if (!read) return std::nullopt;
  read_sensor(entries, info);
  return info;
}

// The refusal of name, size bytes long, beyond max_bytes.
std::string too_large(const std::string& name, std::size_t size, std::size_t max_bytes) {
  const std::string mib = max_bytes >= mebibyte && max_bytes % mebibyte == 0
                              ? std::to_string(max_bytes / mebibyte) + " MiB ("
                              : "(";
  return name + ": is " + std::to_string(size) + " bytes, more than the " + mib +
         std::to_string(max_bytes) + " bytes) a parameter file may hold";
}

}  // namespace

bool looks_like_image_parameters(std::string_view head) {
  if (head.starts_with(processor_title)) return true;
  bool date = false, count = false;
  while (!head.empty()) {
    date = date || head.starts_with(date_line);
    count = count || head.starts_with(count_line);
    const std::size_t end = head.find('\n');
    head.remove_prefix(end == std::string_view::npos ? head.size() : end + 1);
  }
  return date && count;
}

bool image_parameters_file(const std::string& path) {
  std::size_t size = 0;
  const FileDescriptor file = open_regular(path, &size, nullptr);
  if (!file.is_open()) return false;
  std::string head_bytes;
  const std::optional<std::string> head =
      read_bytes(file.get(), std::min(size, image_parameters_sniff_bytes), path, head_bytes, nullptr)
          ? std::optional<std::string>(std::move(head_bytes))
          : std::nullopt;
  return head && looks_like_image_parameters(*head);
}

std::optional<ProductInfo> parse_image_parameters(std::string_view bytes, const std::string& name,
                                                  std::string* problem) {
  if (bytes.empty()) {
    fail(problem, name + ": is empty");
    return std::nullopt;
  }
  if (bytes.size() > max_image_parameter_bytes) {
    fail(problem, too_large(name, bytes.size(), max_image_parameter_bytes));
    return std::nullopt;
  }
  std::string why;
  std::optional<ProductInfo> info = read_product(entries_of(bytes), &why);
  if (!info) fail(problem, name + ": " + why);
  return info;
}

std::optional<ProductInfo> read_image_parameters(const std::string& path, Refusal* problem) {
  constexpr std::size_t max_bytes = max_image_parameter_bytes;
  std::size_t size = 0;
  std::string why;
  const FileDescriptor file = open_regular(path, &size, &why);
  std::string bytes;
  if (!file.is_open()) {
    refuse(problem, RefusalKind::unreadable, std::move(why));
  } else if (size > max_bytes) {
    refuse(problem, RefusalKind::malformed, too_large(path, size, max_bytes));
  } else if (!read_bytes(file.get(), size, path, bytes, &why)) {
    refuse(problem, RefusalKind::unreadable, std::move(why));
  } else if (std::optional<ProductInfo> info = parse_image_parameters(bytes, path, &why)) {
    return info;
  } else {
    refuse(problem, RefusalKind::malformed, std::move(why));
  }
  return std::nullopt;
}

}  // namespace bperp::stack
