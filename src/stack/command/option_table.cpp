#include "bperp/stack/command/option_table.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include <sys/stat.h>

#include "bperp/io/ascii_text.h"
#include "bperp/io/decimal_number.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/inputs/product.h"
#include "bperp/stack/network/date_filter.h"
#include "bperp/stack/network/pair_list.h"
#include "bperp/stack/network/reference_choice.h"
#include "bperp/stack/network/sensors.h"
#include "bperp/stack/support/bounded_file.h"
#include "bperp/stack/outputs/baseline_plot.h"
#include "bperp/stack/support/escape.h"
#include "bperp/stack/support/utc_time.h"

namespace bperp::stack {

const char* const help_description =
    "bperp-stack: parallel and perpendicular baselines of a whole stack of SAR passes against "
    "one reference pass, with the reference's viewing geometry.";

const char* const help_footer = R"(Examples:
  bperp-stack ref.txt 2*.txt                         a stack of state vectors
  bperp-stack --orbit-dir orbits/ S1A_*.SAFE         Sentinel-1 products
  bperp-stack --pairs --max-perp 150 --max-days 48 --export dates:ifgs.txt \
      --export stack-folder:baselines *_slc.par      a network for a time series

Exit status 0: every secondary computed at every target (and the files written);
1: a refusal (its reason on standard error; a refused row is marked).
The full reference (inputs, geometry, refusals, columns, conventions):
man bperp-stack.
)";

namespace {

// The bounds a decimal option's value keeps.
enum class Range { any, at_least_zero, positive };

// text as a decimal number of the option's unit within range; *problem
// says why not.
std::optional<double> decimal_of(const OptionDeclaration& o, const std::string& text, Range range,
                                 std::string* problem) {
  const std::optional<double> v = decimal_number(text);
  if (v && (range == Range::any || (range == Range::at_least_zero && *v >= 0.0) ||
            (range == Range::positive && *v > 0.0)))
    return v;
  const char* const bound = range == Range::positive ? " > 0" : range == Range::at_least_zero ? " >= 0" : "";
  *problem = o.name + " must be a decimal number of " + o.unit + bound + ", not " + escaped(text);
  return std::nullopt;
}

// A coherence: a decimal number from 0 to 1. *problem says why not.
std::optional<double> coherence_of(const OptionDeclaration& o, const std::string& text, std::string* problem) {
  const std::optional<double> g = decimal_number(text);
  if (g && *g >= 0.0 && *g <= 1.0) return g;
  *problem = o.name + " must be a decimal number from 0 to 1, not " + escaped(text);
  return std::nullopt;
}

// A whole number >= least, written as a decimal (2, 2.0, 2e1 are whole; 2.5
// is not), of the option's unit if it has one.
std::optional<long> whole_of(const OptionDeclaration& o, const std::string& text, long least,
                             std::string* problem) {
  const std::optional<double> v = decimal_number(text);
  const std::string expected = o.name + " must be a whole number" + (o.unit.empty() ? "" : " of " + o.unit) +
                               " >= " + std::to_string(least) + ", not " + escaped(text);
  if (!v || *v < static_cast<double>(least)) {
    *problem = expected;
    return std::nullopt;
  }
  if (*v != std::floor(*v)) {
    *problem = expected + " (a fraction)";
    return std::nullopt;
  }
  // Larger than any count of days or acquisitions: no limit beyond it.
  constexpr double largest = 1e15;
  return static_cast<long>(std::fmin(*v, largest));
}

// A count (of pairs per acquisition), >= 1, as an int: one larger than an
// int could hold keeps every pair anyway.
std::optional<int> count_of(const OptionDeclaration& o, const std::string& text, std::string* problem) {
  const std::optional<long> n = whole_of(o, text, 1, problem);
  if (!n) return std::nullopt;
  return static_cast<int>(std::fmin(static_cast<double>(*n), std::numeric_limits<int>::max()));
}

// LAT,LON[,HEIGHT]: geodetic degrees and metres, as a point (rad, km).
std::optional<Geodetic> point_of(const OptionDeclaration& o, const std::string& text, std::string* problem) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  std::vector<double> v;
  for (const std::string& part : parts) {
    const std::optional<double> x = decimal_number(part);
    if (!x) break;
    v.push_back(*x);
  }
  if ((parts.size() != 2 && parts.size() != 3) || v.size() != parts.size() || std::fabs(v[0]) > 90.0 ||
      std::fabs(v[1]) > 360.0) {
    *problem = o.name + " must be LAT,LON[,HEIGHT] (geodetic degrees, latitude -90 to 90, and "
               "metres), not " + escaped(text);
    return std::nullopt;
  }
  Geodetic g;
  g.latitude = units::radians(v[0]);
  g.longitude = units::radians(v[1]);
  g.height = parts.size() == 3 ? v[2] / units::metres_per_km : 0.0;
  return g;
}

// LINESxRANGES: two whole numbers from 1 to 1000.
std::optional<GridSize> grid_of(const OptionDeclaration& o, const std::string& text, std::string* problem) {
  const std::size_t x = text.find_first_of("xX");
  const std::string first = x == std::string::npos ? std::string() : text.substr(0, x);
  const std::string second = x == std::string::npos ? std::string() : text.substr(x + 1);
  const double lines = decimal_number(first).value_or(0.0);
  const double ranges = decimal_number(second).value_or(0.0);
  constexpr double most = 1000.0;  // per side: a million targets
  const auto whole = [&](double v) { return v >= 1.0 && v <= most && v == std::floor(v); };
  if (!whole(lines) || !whole(ranges)) {
    *problem = o.name + " must be LINESxRANGES, two whole numbers from 1 to 1000 (5x5), not " + escaped(text);
    return std::nullopt;
  }
  return GridSize{static_cast<int>(lines), static_cast<int>(ranges)};
}

// Sets to from value when there is one; whether there is.
template <typename Member, typename Value>
bool put(Member& to, const std::optional<Value>& value) {
  if (value) to = *value;
  return value.has_value();
}

// A length in metres as km.
std::optional<double> km(const std::optional<double>& metres) {
  if (!metres) return std::nullopt;
  return *metres / units::metres_per_km;
}

// "" when a plot file's name ends in .svg, .pdf or .png (any case) after
// some name.
std::string plot_name_problem(const std::string& path) {
  if (plot_format_of(path)) return {};
  return "the plot file's name must end in .svg, .pdf or .png, not '" + path + "'";  // escaped with the message
}

// "" when a page's name ends in .html or .htm (any case) after some name.
std::string page_name_problem(const std::string& path) {
  const std::string name = lower(path);
  if ((name.size() > 5 && name.ends_with(".html")) || (name.size() > 4 && name.ends_with(".htm"))) return {};
  return "the page's name must end in .html or .htm, not '" + path + "'";  // escaped with the message
}

// "" when text is a polarisation: two letters, each H or V (any case).
std::string polarisation_problem(const std::string& text) {
  const std::string p = upper(text);
  if (p.size() == 2 && (p[0] == 'H' || p[0] == 'V') && (p[1] == 'H' || p[1] == 'V')) return {};
  return "a polarisation is VV, HH, VH or HV, not '" + text + "'";  // escaped with the message
}

// "" when text is a burst ID in OPERA's spelling.
std::string burst_problem(const std::string& text) {
  if (parse_burst_id(text)) return {};
  return "a burst ID is t, the track's three digits, the burst's six and the swath (t042_088905_iw1), not '" +
         text + "'";
}

// A flag given: true.
bool set(bool& flag) {
  flag = true;
  return true;
}

// A text or path kept as given.
bool keep(std::string& to, const std::string& text) {
  to = text;
  return true;
}
bool keep(std::vector<std::string>& to, const std::string& text) {
  to.push_back(text);
  return true;
}

// A date, YYYY-MM-DD or YYYYMMDD, as its day number.
std::optional<long> date_of(const OptionDeclaration& o, const std::string& text, std::string* problem) {
  const std::optional<long> day = day_of_date_text(text);
  if (!day) *problem = o.name + " must be a date (YYYY-MM-DD or YYYYMMDD), not " + escaped(text);
  return day;
}

// A small text file read whole (an --exclude or --pairs-from file); false
// and *problem, naming the option and the file, when it can't be.
bool read_option_file(const OptionDeclaration& o, const std::string& path, std::string& text,
                      std::string* problem) {
  constexpr std::size_t most = std::size_t{64} << 20;
  std::size_t size = 0;
  std::string why;
  const FileDescriptor fd = open_regular(path, &size, &why);
  if (!fd.is_open() || size > most || !read_bytes(fd.get(), size, path, text, &why)) {
    *problem = o.name + ": " + (why.empty() ? "can't read " + escaped(path) + ": larger than 64 MiB" : why);
    return false;
  }
  if (text.find('\0') != std::string::npos) {
    *problem = o.name + ": " + escaped(path) + " holds a NUL byte: no text file";
    return false;
  }
  return true;
}

// DATE[,DATE...] or @FILE into the excluded dates.
bool exclude_dates(const OptionDeclaration& o, const std::string& text, StackRequest& r, std::string* problem) {
  if (text.starts_with("@")) {
    std::string contents, why;
    r.exclude_file = text.substr(1);
    if (!read_option_file(o, r.exclude_file, contents, problem)) return false;
    if (excluded_dates_of(contents, r.filters.excluded, &why)) return true;
    *problem = o.name + ": " + escaped(r.exclude_file) + " " + why;
    return false;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::optional<long> day = date_of(o, text.substr(start, comma == std::string::npos ? comma : comma - start), problem);
    if (!day) {
      *problem = o.name + " must be dates (YYYY-MM-DD or YYYYMMDD), comma-separated, or @FILE, not " + escaped(text);
      return false;
    }
    r.filters.excluded.push_back(*day);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// The pairs of the list file at path.
bool read_pair_list(const OptionDeclaration& o, const std::string& path, StackRequest& r, std::string* problem) {
  std::string contents, why;
  r.pairs = r.limits.listed = true;
  r.pairs_from = path;
  if (!read_option_file(o, path, contents, problem)) return false;
  if (pair_list_of(contents, r.listed_pairs, &why)) return true;
  *problem = o.name + ": " + escaped(path) + " " + why;
  return false;
}

// DAYS,METRES: two decimal numbers > 0.
std::optional<DistanceScale> scale_of(const OptionDeclaration& o, const std::string& text, std::string* problem) {
  const std::size_t comma = text.find(',');
  const std::optional<double> days = decimal_number(text.substr(0, comma));
  const std::optional<double> metres =
      comma == std::string::npos ? std::nullopt : decimal_number(text.substr(comma + 1));
  if (days && metres && *days > 0.0 && *metres > 0.0) return DistanceScale{*days, *metres};
  *problem = o.name + " must be DT,BP, two decimal numbers > 0 (days, metres: 100,100), not " + escaped(text);
  return std::nullopt;
}

// DATE, PATH or auto[:CRITERION]: a text that names an existing file is a
// path, else a date.
std::optional<ReferenceRequest> reference_of(const OptionDeclaration& o, const std::string& text,
                                             std::string* problem) {
  ReferenceRequest choice;
  choice.text = text;
  if (text == "auto" || text.starts_with("auto:")) {
    const std::optional<ReferenceCriterion> c = text == "auto" ? ReferenceCriterion::coherence
                                                               : criterion_of(std::string_view(text).substr(5));
    if (c) {
      choice.criterion = *c;
      return choice;
    }
    *problem = o.name + " auto takes the criterion coherence, distance or centre (auto:distance), not " + escaped(text);
    return std::nullopt;
  }
  struct stat s;
  if (::stat(text.c_str(), &s) == 0) {
    choice.by = ReferenceRequest::By::path;
    choice.path = text;
    return choice;
  }
  if (const std::optional<long> day = day_of_date_text(text)) {
    choice.by = ReferenceRequest::By::date;
    choice.day = *day;
    return choice;
  }
  *problem = o.name + " must be a date (YYYY-MM-DD or YYYYMMDD), an input's path or auto[:coherence|distance|centre]; " +
             escaped(text) + " is none of these (no such file)";
  return std::nullopt;
}

// The arguments of the table's conversions.
using Option = OptionDeclaration;
using Text = const std::string&;
using Request = StackRequest;
using Problem = std::string*;

std::vector<OptionDeclaration> declarations() {
  using enum ValueType;
  const std::string pairs = "--pairs";
  return {
      {.name = "--format", .type = choice, .help = "output format (default table)",
       .details = "table: aligned columns for people, baselines to the millimetre; csv: a header row and one row "
                  "per secondary (or pair) at full precision, empty fields where there is no value; json: the "
                  "reference, the secondaries, the pairs and the warnings at full precision, missing values null.",
       .choices = {"table", "csv", "json"},
       .apply = [](const Option&, Text t, Request& r, Problem) {
         r.format = t == "csv" ? OutputFormat::csv : t == "json" ? OutputFormat::json : OutputFormat::table;
         return true;
       }},
      {.name = "--convention", .keyword = "convention", .type = choice,
       .help = "sign convention of the baselines (bperp)",
       .details = "bperp: B = reference - secondary, parallel along the line of sight to the target, "
                  "perpendicular positive away from the earth; isce: ISCE's, parallel (S - R) . U and "
                  "perpendicular with the sign of ((T - R) x (S - R)) . V_R (for a left-looking reference minus "
                  "ours); gamma: the GAMMA tables', B = secondary - reference. Applies to the parallel and "
                  "perpendicular baselines of the secondaries and of the pairs, their heights of ambiguity and "
                  "the plot; named in the table's header, the JSON's \"convention\" and, for CSV, on standard "
                  "error. The exports keep their readers' conventions whatever it says.",
       .choices = {"bperp", "isce", "gamma"},
       .apply = [](const Option&, Text t, Request& r, Problem) {
         r.convention = convention_of(t).value_or(Convention::bperp);
         return true;
       }},
      {.name = "--quiet", .keyword = "quiet", .type = flag, .help = "no warnings on standard error",
       .details = "The warnings still go into the JSON document's \"warnings\" list; errors are still printed.",
       .apply = [](const Option&, Text, Request& r, Problem) { return set(r.quiet); }},
      {.name = "--pairs", .keyword = "pairs", .type = flag, .help = "select and list the pairs of the network",
       .details = "Candidates are the pairs within --max-perp, --max-days and --min-coherence (every pair without "
                  "limits); --max-neighbours and --sequential choose among them; --annual and --mst add pairs.",
       .apply = [](const Option&, Text, Request& r, Problem) { return set(r.pairs); }},
      {.name = "--max-perp", .keyword = "max_perp", .type = decimal, .type_name = "METRES", .unit = "metres",
       .help = "largest |perpendicular baseline| of a pair, m",
       .details = "Compared at the millimetre the outputs show: a limit equal to a pair's baseline keeps it.",
       .needs = pairs,
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.limits.max_perpendicular, decimal_of(o, t, Range::at_least_zero, p));
       }},
      {.name = "--max-days", .keyword = "max_days", .type = whole, .type_name = "DAYS", .unit = "days",
       .help = "largest |temporal baseline| of a pair, days", .needs = pairs,
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.limits.max_days, whole_of(o, t, 0, p));
       }},
      {.name = "--max-neighbours", .aliases = {"--max-neighbors"}, .keyword = "max_neighbours", .type = whole,
       .type_name = "N", .help = "at most N pairs an acquisition, nearest in time",
       .details = "A pair is kept when each of its two acquisitions has the other among its N nearest candidates "
                  "in time.",
       .needs = pairs,
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.limits.max_neighbours, count_of(o, t, p));
       }},
      {.name = "--sequential", .keyword = "sequential", .type = whole, .type_name = "N",
       .help = "each acquisition with its next N in time", .needs = pairs,
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.limits.sequential, count_of(o, t, p));
       }},
      {.name = "--annual", .keyword = "annual", .type = flag, .help = "add pairs a whole number of years apart",
       .details = "Within 30 days of a whole number of years (365.25 days each) and within --max-perp, whatever "
                  "--max-days says: pairs of the same season.",
       .needs = pairs, .apply = [](const Option&, Text, Request& r, Problem) { return set(r.limits.annual); }},
      {.name = "--mst", .keyword = "mst", .type = flag, .help = "add a minimum spanning tree: always connected",
       .details = "Over all acquisitions, without any limit, by sqrt((days / Dt)^2 + (B_perp / Bp)^2), the scales "
                  "of --distance-scale (100 days, 100 m).",
       .needs = pairs, .apply = [](const Option&, Text, Request& r, Problem) { return set(r.limits.mst); }},
      {.name = "--require-connected", .keyword = "require_connected", .type = flag,
       .help = "a network split into parts is an error",
       .details = "Status 1, nothing on standard output, and one line naming the count of parts and the first "
                  "pair that would join them.",
       .needs = pairs, .apply = [](const Option&, Text, Request& r, Problem) { return set(r.require_connected); }},
      // Choosing the reference and the acquisitions, and designing the
      // network.
      {.name = "--reference", .keyword = "choose_reference", .type = text, .type_name = "DATE|PATH|auto",
       .help = "choose the reference among all names given",
       .details = "A text that names an existing file is a path (the input that is that file), else a date "
                  "(YYYY-MM-DD or YYYYMMDD: the input of that date); auto chooses by a criterion C and prints the "
                  "best five candidates: coherence (the default: the largest mean modelled coherence to the "
                  "others; distance where the bandwidths are unknown, with a warning), distance (the smallest "
                  "mean |days| / Dt + |B_perp| / Bp) or centre (the nearest, in that distance, to the stack's "
                  "median days and B_perp), Dt and Bp those of --distance-scale. The scores are computed in the "
                  "geometry of the first input that can serve as the reference; the run then uses the chosen "
                  "one's own.",
       .apply = [](const Option& o, Text t, Request& r, Problem p) { return put(r.choose_reference, reference_of(o, t, p)); }},
      {.name = "--start", .keyword = "start", .type = text, .type_name = "DATE",
       .help = "leave out acquisitions before DATE",
       .details = "YYYY-MM-DD or YYYYMMDD. The date filters apply before the reference is chosen; the "
                  "acquisitions they leave out are listed once on standard error and in the JSON's \"filtered\".",
       .apply = [](const Option& o, Text t, Request& r, Problem p) { return put(r.filters.start, date_of(o, t, p)); }},
      {.name = "--end", .keyword = "end", .type = text, .type_name = "DATE", .help = "leave out acquisitions after DATE",
       .apply = [](const Option& o, Text t, Request& r, Problem p) { return put(r.filters.end, date_of(o, t, p)); }},
      {.name = "--exclude", .keyword = "exclude", .type = text, .repeatable = true, .type_name = "DATES|@FILE",
       .help = "leave out these dates (or a file's)",
       .details = "Repeatable. @FILE: one date a line, blank lines and # comments skipped.",
       .apply = [](const Option& o, Text t, Request& r, Problem p) { return exclude_dates(o, t, r, p); }},
      {.name = "--months", .keyword = "months", .type = text, .type_name = "M[-M][,...]",
       .help = "keep only acquisitions of these months",
       .details = "Months 1 to 12, alone or as ranges, a range over the new year as 11-2.",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         const std::optional<std::vector<MonthRange>> months = month_ranges_of(t);
         if (!months) *p = o.name + " must be months 1 to 12 or ranges of them (5-10, 11-2), comma-separated, not " + escaped(t);
         return put(r.filters.months, months);
       }},
      {.name = "--star", .keyword = "star", .type = flag,
       .help = "pair every acquisition with the reference",
       .details = "The single-reference network of persistent-scatterer processing; implies --pairs. The limits "
                  "apply as to the other kinds, and kinds given together are joined.",
       .implies = pairs,
       .apply = [](const Option&, Text, Request& r, Problem) { return set(r.pairs) && set(r.limits.star); }},
      {.name = "--delaunay", .keyword = "delaunay", .type = flag,
       .help = "pairs of Delaunay triangles in days and B_perp",
       .details = "The triangulation of the acquisitions at (days / Dt, B_perp / Bp), the scales of "
                  "--distance-scale; implies --pairs. Acquisitions on one line make a chain in time order, as do "
                  "repeated ones; of four on one circle, the diagonal from the earliest is taken.",
       .implies = pairs,
       .apply = [](const Option&, Text, Request& r, Problem) { return set(r.pairs) && set(r.limits.delaunay); }},
      {.name = "--pairs-from", .keyword = "pairs_from", .type = path, .type_name = "FILE",
       .help = "the pairs of a list (a pairs CSV, dates lines)",
       .details = "The pairs CSV of --export pairs, YYYYMMDD_YYYYMMDD or YYYYMMDD-YYYYMMDD lines, or two dates a "
                  "line; # comments and blank lines skipped. Pairs match acquisitions by date (and by name where "
                  "two share one); implies --pairs.",
       .implies = pairs,
       .apply = [](const Option& o, Text t, Request& r, Problem p) { return read_pair_list(o, t, r, p); }},
      {.name = "--distance-scale", .keyword = "distance_scale", .type = text, .type_name = "DT,BP",
       .help = "Dt and Bp of the network's distance (100,100)",
       .details = "The distance of --mst, --delaunay, the bridges of a split network and --reference auto: days "
                  "apart over Dt and B_perp apart over Bp.",
       .apply = [](const Option& o, Text t, Request& r, Problem p) { return put(r.limits.scale, scale_of(o, t, p)); }},
      {.name = "--min-coherence", .keyword = "min_coherence", .type = decimal, .type_name = "C",
       .help = "pairs of modelled coherence >= C (0 to 1)",
       .details = "A limit on the candidates, like --max-perp; it needs a range bandwidth.", .needs = pairs,
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.limits.min_coherence, coherence_of(o, t, p));
       }},
      {.name = "--range-bandwidth", .keyword = "range_bandwidth", .type = decimal, .type_name = "HZ", .unit = "Hz",
       .help = "range bandwidth, Hz, where products give none",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.bandwidth.range_hz, decimal_of(o, t, Range::positive, p));
       }},
      {.name = "--azimuth-bandwidth", .keyword = "azimuth_bandwidth", .type = decimal, .type_name = "HZ",
       .unit = "Hz", .help = "azimuth bandwidth, Hz, where products give none",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.bandwidth.azimuth_hz, decimal_of(o, t, Range::positive, p));
       }},
      {.name = "--sensor", .keyword = "sensor", .type = text, .type_name = "NAME",
       .help = "a sensor's frequency and bandwidths",
       .details = "For what the reference does not state: its wavelength (a state vector or dated orbit) and "
                  "its bandwidths. Never overrides what a product states. One of " + sensor_names() + ".",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         r.bandwidth.sensor = sensor_preset(t);
         if (!r.bandwidth.sensor) {
           *p = o.name + " must be one of " + sensor_names() + ", not " + escaped(t);
           return false;
         }
         r.stack.target.sensor_wavelength =
             units::speed_of_light_m_s / r.bandwidth.sensor->frequency_hz / units::metres_per_km;
         return true;
       }},
      {.name = "--coherence-tau", .keyword = "coherence_tau", .type = decimal, .type_name = "DAYS", .unit = "days",
       .help = "model's decorrelation time, days (200)",
       .details = "The coherence model of the pairs: geometric x temporal x Doppler terms.",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.coherence.tau_days, decimal_of(o, t, Range::positive, p));
       }},
      {.name = "--coherence-floor", .keyword = "coherence_floor", .type = decimal, .type_name = "GAMMA",
       .help = "model's long-term coherence (0.2)",
       .details = "At most the model's coherence at zero time, which --snr gives.",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.coherence.gamma_inf, coherence_of(o, t, p));
       }},
      {.name = "--snr", .keyword = "snr", .type = decimal, .type_name = "DB", .unit = "dB",
       .help = "model's signal to noise ratio, dB (22)",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.coherence.snr_db, decimal_of(o, t, Range::any, p));
       }},
      {.name = "--export", .keyword = "exports", .type = text, .repeatable = true, .type_name = "KIND:PATH",
       .help = "KIND pairs, dates, baselines or stack-folder",
       .details = "Repeatable. pairs: the pairs as CSV; dates: YYYYMMDD_YYYYMMDD lines, one per pair; baselines: REFDATE DATE "
                  "BPERP DT lines (LiCSBAS, the GAMMA tables' sign); stack-folder: DIR/REF_SEC/REF_SEC.txt with "
                  "\"Bperp (average):\" and \"Bpar (average):\" (ISCE's sign, as MintPy reads them) and a manifest "
                  "DIR/bperp-stack.json.",
       .apply = [](const Option&, Text t, Request& r, Problem p) {
         const std::optional<Export> e = parse_export(t, p);
         if (e) r.exports.push_back(*e);
         return e.has_value();
       }},
      // The figures: the plot and the network page.
      {.name = "--plot", .keyword = "plot", .type = path, .type_name = "FILE.svg|.pdf|.png",
       .help = "write the baseline-time plot (SVG, PDF or PNG)",
       .details = "The format by the name's extension. Dates on the time axis and beside the points (as many as "
                  "stand clear of each other), the perpendicular baseline in the sign of --convention, the pairs "
                  "shaded by their modelled coherence (with a colour bar) when it is known, the parts of a split "
                  "network in colours of their own, the reference's first. A PDF carries a fixed creation date: the "
                  "same input gives the same bytes.",
       .form = plot_name_problem,
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         if (const std::string why = plot_drawing_problem(); !why.empty()) {
           *p = o.name + " needs " + why;
           return false;
         }
         return keep(r.plot, t);
       }},
      {.name = "--plot-size", .keyword = "plot_size", .type = text, .type_name = "WxHmm|WxHpx",
       .help = "the plot's size (88x66mm, one journal column)",
       .details = "mm (20 to 1000) are drawn at 300 dots per inch in a PNG; px (100 to 10000) are taken at 96 per "
                  "inch in a PDF or SVG.",
       .needs = "--plot",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         if (put(r.plot_size, plot_size_of(t))) return true;
         *p = o.name + " must be WxHmm (20 to 1000 each) or WxHpx (100 to 10000 each), e.g. 88x66mm or "
              "1200x800px, not " + escaped(t);
         return false;
       }},
      {.name = "--html", .keyword = "html", .type = path, .type_name = "FILE.html",
       .help = "write the network as an interactive page",
       .details = "One self-contained file (no network access when viewed): the plot, live. Hover for an "
                  "acquisition's or a pair's numbers, click a pair to drop it, click a point and shift-click "
                  "another to add their pair; sliders tighten --max-perp, --max-days and --min-coherence over the "
                  "candidate pairs embedded (at most 200000; beyond, the network alone, with a warning); the "
                  "connectivity follows; a button downloads the pairs as the CSV of --export pairs. File names "
                  "without their folders unless --html-paths.",
       .form = page_name_problem,
       .apply = [](const Option&, Text t, Request& r, Problem) { return keep(r.html, t); }},
      {.name = "--html-paths", .keyword = "html_paths", .type = flag,
       .help = "the page shows file names with their folders", .needs = "--html",
       .apply = [](const Option&, Text, Request& r, Problem) { return set(r.html_paths); }},
      {.name = "--as-given", .keyword = "as_given", .type = flag,
       .help = "state-vector secondaries where they stand",
       .details = "Not moved to their closest approach: their baselines are then bperp's numbers for each pair.",
       .apply = [](const Option&, Text, Request& r, Problem) { return set(r.stack.as_given); }},
      {.name = "--max-length", .keyword = "max_length", .type = decimal, .type_name = "METRES", .unit = "metres",
       .help = "longest baseline of a repeat pass, m (50000)",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.stack.max_length, km(decimal_of(o, t, Range::at_least_zero, p)));
       }},
      {.name = "--swath", .keyword = "swath", .type = text, .type_name = "NAME",
       .help = "swath of a .SAFE folder (default the middle)",
       .details = "IW1, IW2, IW3, EW1 to EW5, S1 to S6.",
       .apply = [](const Option&, Text t, Request& r, Problem) { return keep(r.stack.read.swath, t); }},
      {.name = "--polarisation", .aliases = {"--polarization"}, .keyword = "polarisation", .type = text,
       .type_name = "POL",
       .help = "SAFE product's polarisation (VV, else HH)",
       .details = "VV, HH, VH or HV. Without it the first co-polarisation is read; a product of "
                  "cross-polarisations only is read in its first, with a warning.",
       .form = polarisation_problem,
       .apply = [](const Option&, Text t, Request& r, Problem) { return keep(r.stack.read.polarisation, upper(t)); }},
      {.name = "--burst", .keyword = "burst", .type = text, .type_name = "ID",
       .help = "target at a burst's middle (t042_088905_iw1)",
       .details = "A burst ID in OPERA's spelling: the target at the middle line of that burst of the reference, "
                  "at mid range; a SAFE product is read in the burst's swath.",
       .form = burst_problem,
       .apply = [](const Option&, Text t, Request& r, Problem) {
         r.stack.target.burst = lower(t);
         return true;
       }},
      {.name = "--hdf5-orbit", .keyword = "hdf5_orbit", .type = text, .type_name = "PATH",
       .help = "orbit group of HDF5 products (their own)",
       .apply = [](const Option&, Text t, Request& r, Problem) { return keep(r.stack.read.hdf5_orbit, t); }},
      {.name = "--frequency", .keyword = "frequency", .type = text, .type_name = "A|B",
       .help = "frequency band of NISAR products (A)",
       .details = "NISAR's L-band products hold up to two bands: frequencyA, frequencyB.",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         if (t == "A" || t == "B" || t == "a" || t == "b") return keep(r.stack.read.frequency, upper(t));
         *p = o.name + " must be A or B, not " + escaped(t);
         return false;
       }},
      {.name = "--at-time", .keyword = "at_time", .type = text, .type_name = "UTC",
       .help = "the target's zero-Doppler time, UTC",
       .details = "ISO 8601 with a fraction, e.g. 2025-04-06T02:20:12.5; replaces the reference image's middle "
                  "line.",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         if (put(r.stack.target.at_time, parse_utc(t, p))) return true;
         *p = o.name + ": " + escaped(*p);
         return false;
       }},
      {.name = "--at-range", .keyword = "at_range", .type = decimal, .type_name = "METRES", .unit = "metres",
       .help = "the target's slant range from the reference, m",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.stack.target.at_range, km(decimal_of(o, t, Range::positive, p)));
       }},
      {.name = "--at-point", .keyword = "at_point", .type = text, .type_name = "LAT,LON[,HEIGHT]",
       .help = "the target itself: deg and m (WGS84)",
       .details = "A point on the other side of the track than the reference looks to is refused.",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.stack.target.at_point, point_of(o, t, p));
       }},
      {.name = "--height", .keyword = "height", .type = decimal, .type_name = "METRES", .unit = "metres",
       .help = "the target's height above WGS84, m (0)",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.stack.target.height, km(decimal_of(o, t, Range::any, p)));
       }},
      {.name = "--grid", .keyword = "grid", .type = text, .type_name = "LINESxRANGES",
       .help = "baselines across the scene (e.g. 5x5)",
       .details = "LINES times from the reference's first to last line and RANGES slant ranges from near to far "
                  "(a geocoded product: its grid, rows by columns); at most 500000 grid points x secondaries.",
       .apply = [](const Option& o, Text t, Request& r, Problem p) { return put(r.stack.grid, grid_of(o, t, p)); }},
      {.name = "--look", .keyword = "look", .type = choice, .help = "look side of a dated-orbit reference (right)",
       .details = "Products know their own look side; bperp's beam geometry looks right.",
       .choices = {"right", "left"},
       .apply = [](const Option&, Text t, Request& r, Problem) {
         r.stack.target.look = t == "left" ? LookSide::left : LookSide::right;
         return true;
       }},
      {.name = "--wavelength", .keyword = "wavelength", .type = decimal, .type_name = "METRES", .unit = "metres",
       .help = "radar wavelength, m (default the product's)",
       .details = "A dated-orbit reference, or a product reference that states none, needs it or --sensor; a "
                  "state vector's beam geometry uses 0.236220 m (L band) without it, its Doppler scaled to it. "
                  "One that differs by more than 0.1 % from what a product states is used, with a warning.",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.stack.target.wavelength, km(decimal_of(o, t, Range::positive, p)));
       }},
      {.name = "--orbit", .keyword = "orbit", .type = path, .repeatable = true, .type_name = "FILE",
       .help = "Sentinel-1 orbit file (*.EOF, zip); repeatable",
       .details = "A precise (*_AUX_POEORB_*) or restituted (*_AUX_RESORB_*) file, or a zip holding such files, "
                  "used instead of the products' orbit lists; one that can't be read ends the run.",
       .apply = [](const Option&, Text t, Request& r, Problem) { return keep(r.orbit_files, t); }},
      {.name = "--orbit-dir", .keyword = "orbit_dir", .type = path, .repeatable = true, .type_name = "DIR",
       .help = "every *.EOF orbit file of a folder, as --orbit",
       .details = "Its sub-folders are looked into two levels down (links to folders not followed), and its "
                  "zips (*.EOF.zip, or any zip of *.EOF files). A file that can't be read is skipped with a "
                  "warning; predicted (AUX_PREORB) files are never used.",
       .apply = [](const Option&, Text t, Request& r, Problem) { return keep(r.orbit_dirs, t); }},
      {.name = "--require-orbit-files", .keyword = "require_orbit_files", .type = flag,
       .help = "refuse a product the orbit files do not cover",
       .details = "Without it, a Sentinel-1 product that no --orbit or --orbit-dir file covers keeps its own "
                  "orbit, with a warning.",
       .apply = [](const Option&, Text, Request& r, Problem) { return set(r.stack.require_orbit_files); }},
      {.name = "--list", .type = path, .type_name = "FILE",
       .help = "the secondaries' paths, one a line (- stdin)",
       .details = "Read after those named on the command line; a CRLF line end counts as LF, empty lines are "
                  "skipped.",
       .apply = [](const Option&, Text t, Request& r, Problem) { return keep(r.list, t); }},
  };
}

}  // namespace

const std::vector<OptionDeclaration>& option_table() {
  static const std::vector<OptionDeclaration> table = declarations();
  return table;
}

std::string value_text(const OptionDeclaration& o) {
  if (!o.type_name.empty()) return o.type_name;
  std::string words;
  for (const std::string& c : o.choices) words += (words.empty() ? "" : "|") + c;
  return words;
}

namespace {

// The options --help lists: --help and --version, then the table's.
struct HelpLine {
  std::string names;
  std::string help;
};
std::vector<HelpLine> help_lines() {
  std::vector<HelpLine> lines = {{"-h, --help", "print this help and exit"},
                                 {"--version", "print the version and exit"}};
  for (const OptionDeclaration& o : option_table()) {
    const std::string value = value_text(o);
    lines.push_back({o.name + (value.empty() ? "" : " " + value), o.help});
  }
  return lines;
}

// text with roff's special characters escaped: a backslash, a minus (so
// that options copy as the ASCII they are), and a dot or quote that would
// start a request at the beginning of a line.
std::string roff_text(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

}  // namespace

std::string help_text() {
  const std::vector<HelpLine> lines = help_lines();
  std::size_t width = 0;
  for (const HelpLine& l : lines) width = std::max(width, l.names.size());
  std::string text = "Usage: bperp-stack [OPTIONS] REFERENCE SECONDARY...\n\n"
                     "Parallel and perpendicular baselines of a stack of SAR passes against one\n"
                     "reference pass, with the reference's viewing geometry.\n\n"
                     "  REFERENCE  a state vector, dated orbit, or product: Sentinel-1 (annotation,\n"
                     "             SAFE, zip), parameter, HDF5 (OPERA, NISAR), TerraSAR-X, ICEYE,\n"
                     "             RCM, Capella, SAOCOM file or CEOS leader (file, folder, zip)\n"
                     "  SECONDARY  files of those kinds, or orbit files (or give --list); none: the\n"
                     "             reference's geometry alone\n\n"
                     "Options:\n";
  for (const HelpLine& l : lines)
    text += "  " + l.names + std::string(width + 2 - l.names.size(), ' ') + l.help + "\n";
  return text + "\n" + help_footer;
}

std::string manual_options() {
  std::string text;
  for (const OptionDeclaration& o : option_table()) {
    const std::string value = value_text(o);
    text += ".TP\n\\fB" + roff_text(o.name) + "\\fR" + (value.empty() ? "" : " \\fI" + roff_text(value) + "\\fR") + "\n";
    std::string body = o.help;
    if (!body.empty()) body[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(body[0])));
    body += ".";
    if (!o.details.empty()) body += " " + o.details;
    if (!o.aliases.empty()) {
      body += " Also spelt";
      for (const std::string& a : o.aliases) body += " " + a;
      body += ".";
    }
    if (o.repeatable && o.details.find("epeatable") == std::string::npos && o.help.find("epeatable") == std::string::npos)
      body += " Repeatable.";
    if (!o.needs.empty()) body += " Needs " + o.needs + ".";
    if (!o.keyword.empty()) body += " Python: " + o.keyword + ".";
    text += roff_text(body) + "\n";
  }
  return text;
}

std::string manual_with_options(const std::string& manual) {
  const std::string begin = ".\\\" options: begin\n", end = ".\\\" options: end\n";
  const std::size_t from = manual.find(begin);
  const std::size_t to = from == std::string::npos ? from : manual.find(end, from);
  if (to == std::string::npos) return manual;
  return manual.substr(0, from + begin.size()) + manual_options() + manual.substr(to);
}

}  // namespace bperp::stack
