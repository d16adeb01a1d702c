#include "bperp/stack/command/option_table.h"

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "bperp/io/ascii_text.h"
#include "bperp/io/decimal_number.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/inputs/product.h"
#include "bperp/stack/network/sensors.h"
#include "bperp/stack/support/escape.h"
#include "bperp/stack/support/utc_time.h"

namespace bperp::stack {

const char* const help_description =
    "bperp-stack: parallel and perpendicular baselines of a whole stack of SAR passes against "
    "one reference pass, with the reference's viewing geometry.";

const char* const help_footer = R"(
Files (told apart by their content, not their names; mixable in one stack):
  state vector   a header line, then six numbers X Y Z VX VY VZ (earth-fixed,
                 km and km/s), as bperp reads them.
  orbit          a header line, then rows of seven numbers t X Y Z VX VY VZ
                 (s, km, km/s, earth-fixed), at least four rows, times strictly
                 increasing, at most 100000 rows (64 MiB), rows 10 to 300 s
                 apart as orbit products give them. With a date at the start
                 of the header, t is seconds since 00:00 UTC of that date (a
                 dated orbit, which as the reference needs --at-range).
  Sentinel-1     a product annotation (annotation/s1?-*-slc-*.xml, IW, EW, SM),
                 a .SAFE folder, its manifest.safe, or the zip archives deliver
                 (read in place): its --swath (default the middle one) and
                 --polarisation (default the first co-polarisation).
  parameter file an image parameter file (*_slc.par, *_mli.par: key: value lines).
  HDF5           a product with an orbit group (--hdf5-orbit, default
                 /metadata/orbit), e.g. OPERA CSLC-S1 (its /identification:
                 mission, track, burst ID); a geocoded product's grid centre
                 is its default target.
  TerraSAR-X     a TerraSAR-X or TanDEM-X main annotation (level1Product XML).
  ICEYE          an ICEYE product's XML metadata.
  RCM            a RADARSAT Constellation product.xml.
  Capella        a Capella product's extended metadata (JSON).
                 A product without image times and slant ranges (geocoded,
                 ground range, spotlight) has the scene centre it states as
                 its default target; --at-time, --at-range and --grid need
                 times and ranges.
  Any other content is refused, saying what it looks like. A state-vector or
  orbit header line that starts with an ISO date (YYYY-MM-DD, 1978 to 2100; a
  UTF-8 byte-order mark before it is skipped) gives the acquisition date;
  products carry theirs. Days = secondary - reference. A date outside those
  years is taken as none, with a warning. A file named twice (or the
  reference named as a secondary) is used once, and two files of one date are
  noted, each with a warning on standard error. --orbit and --orbit-dir give Sentinel-1 orbit files (*.EOF, or zips
  of them) used instead of the products' own orbit lists: per acquisition a
  precise file of its mission that covers it, else the restituted files that
  do. A product they do not cover keeps its own orbit, with a warning
  (refused with --require-orbit-files). Burst IDs (t042_088905_iw1) of
  Sentinel-1 and OPERA products are in the JSON; --burst puts the target at
  one burst's middle.

What is computed, with a state-vector reference (bperp's beam geometry):
  The scene point is located once, from the reference, exactly as bperp does for
  its master pass (beam 7, 34.3 deg off nadir, GRS80 ellipsoid). Each
  secondary is first moved to its closest approach to the reference position P,
  the root of (S(t) - P) . S'(t) = 0:
  - an orbit by interpolating its rows (the Hermite polynomial through the
    positions and velocities of six neighbouring rows), with an estimate of the
    interpolation error (the difference to the polynomial through four rows);
    an estimate above 1 cm refuses the secondary (rows too far apart);
  - a state vector by moving it along its own orbit (the earth's gravity with
    J2), with an estimate of the error of the move, 1/2 a t^2 for the gravity
    left out (a = 4e-4 m/s^2); an estimate above 1 cm (a move of more than
    some 7 s) refuses the secondary; --as-given uses it where it stands
    instead, so that parallel and perpendicular are exactly the numbers
    `bperp REFERENCE SECONDARY` prints, in metres.
  Its baseline B = reference position - secondary position is then split on the
  reference's line of sight. --at-time, --at-range, --at-point, --height and
  --grid need a reference with times and ranges.

With a product or dated-orbit reference (zero-Doppler geometry):
  The target T on the WGS84 ellipsoid (at --height) is the reference scene's
  centre (its middle line time at its middle slant range) unless --at-time,
  --at-range or --at-point name it; --grid LINESxRANGES gives a grid of targets
  from the first to the last line and the near to the far range. R is where
  the reference sees T at zero Doppler, S where the secondary does, moved into
  the plane through R across the reference's track; B = R - S is split on the
  line of sight from R to T. UTC times are held to the nanosecond.

Refused as no repeat pass of the reference (the row marked, status 1): a
position below 150 km or above 2000 km (positions in metres?), a speed outside
5.5 to 8.5 km/s (velocities in m/s?), orbit velocities that do not match the
change of position between rows (a time column in days or milliseconds?), a
closest approach outside the orbit's rows or more than 60 s from a state
vector, a velocity more than 1 deg from the reference's (another track, or an
ascending and a descending pass?), and a baseline longer than --max-length
(default 50000 m). The reference gets the same checks.

Per secondary (m unless stated):
  days                 temporal baseline, whole days
  aligned t (s)        time of closest approach on the orbit's time scale (orbits)
  shift (s)            the time a state vector was moved along its orbit
  secondary time       the secondary's zero-Doppler time of the target (UTC)
  parallel             B . U, U the unit look vector from the reference to the target
  perpendicular        B . V, V at right angles to U, away from the earth
  along-track          B . v/|v|, v the secondary's earth-fixed velocity; zero after
                       alignment (with --as-given a large value on a state vector means
                       the two vectors do not stand at the same place along the track)
  along-track removed  the offset taken out when S was moved into R's plane
  length               |B|
  height of ambiguity  lambda R sin(incidence) / (2 perpendicular); none when the
                       perpendicular baseline is zero
  orbit                where the secondary's orbit came from (an orbit file's name)
  (CSV and JSON also: days_exact, reference_time, the slant ranges, the target's
  latitude and longitude, grid_line and grid_range, time_shift_s,
  interpolation_error_m (the error estimate of an orbit's interpolation or of
  a state vector's move), orbit_source, error)
Once, for the reference: the slant range R (km), the scene point or target (geodetic
latitude, longitude in deg, height in m), the incidence angle there (against the
ellipsoid normal), the off-nadir or look angle (deg), the Doppler centroid (Hz)
and rate (Hz/s) of the beam geometry, the wavelength lambda = c / f0 (m).

Output (--format):
  table   aligned columns for people; baselines to the mm, as bperp prints them
  csv     a header row and one row per secondary at full precision, empty fields
          where there is no value, for spreadsheets and pandas
  json    {"reference": {...}, "secondaries": [...]} at full precision,
          missing values null, "error" null or the reason
  No output depends on the locale.

Pair network (--pairs):
  Candidates: the pairs of acquisitions, the reference included, with
  |perpendicular baseline| <= --max-perp metres, |days| <= --max-days days and
  modelled coherence >= --min-coherence (all pairs without limits; equal to a
  limit is in, compared at the printed mm).
  Chosen among them: with --max-neighbours N the pairs whose two acquisitions
  each have the other among their N nearest candidates in time; with
  --sequential N each acquisition's next N candidates in time; with both the
  pairs either keeps; with neither every candidate. Added: with --annual the
  pairs a whole number of years apart (within 30 days) within --max-perp,
  whatever --max-days says; with --mst a minimum spanning tree over all
  acquisitions, no limits. The network is the union.
  The perpendicular baseline of a pair (i, j), i the earlier, is
  B_perp(j) - B_perp(i), the difference of their perpendicular baselines
  against the reference geometry: the approximation stack tools commonly make
  (the reference's line of sight stands for every pair's).
  The pairs are sorted by date and printed after the stack table (table), as the
  CSV instead of the secondaries' rows (csv), or as a "pairs" list (json).
  Connectivity: the table after the pairs and the JSON's "network" object give
  the network's parts and, when it is split, the closest pairs that would join
  them (distance sqrt((days/100)^2 + (B_perp/100 m)^2)); --require-connected
  makes a split network an error (status 1, nothing on standard output).
  Per pair (CSV and JSON): the critical baseline lambda Br R tan(incidence) / c,
  the height of ambiguity and the modelled coherence (geometric x temporal x
  Doppler; --coherence-tau, --coherence-floor, --snr; bandwidths from the
  products, --range-bandwidth, --azimuth-bandwidth or --sensor).
  --max-days, --max-neighbours, --sequential, --annual, --min-coherence,
  --plot and the dates, baselines and stack-folder exports need a date on
  every acquisition.

Plot (--plot FILE.svg):
  Writes the baseline-time plot as a standalone SVG: every usable acquisition
  a labelled point at (date, perpendicular baseline), the reference marked,
  the pairs selected by --pairs as lines, date ticks by months or years,
  a zero line. Without --pairs only the points are drawn.

Exit status:
  0  every secondary computed at every target (and the plot and exports written)
  1  a bad option; a refused reference (message on standard error, nothing on
     standard output); a missing date where one is needed, an unwritable plot
     or export, or a network split under --require-connected (nothing on
     standard output); or an unusable secondary (reason on standard error, its
     row marked, the others still computed)

Names are shown one way in every output: printable UTF-8 as it is, a
backslash doubled, any other byte as \xhh. CSV text cells that a spreadsheet
would run as a formula (starting with =, +, -, @, tab or CR) get a ' before them.
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

// "" when a plot file's name ends in .svg (any case) after some name.
std::string svg_name_problem(const std::string& path) {
  constexpr std::size_t suffix = 4;
  const std::string tail = path.size() > suffix ? lower(path.substr(path.size() - suffix)) : std::string();
  if (tail == ".svg") return {};
  return "the plot file's name must end in .svg, not '" + path + "'";  // escaped with the message
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

// The arguments of the table's conversions.
using Option = OptionDeclaration;
using Text = const std::string&;
using Request = StackRequest;
using Problem = std::string*;

std::vector<OptionDeclaration> declarations() {
  using enum ValueType;
  const std::string pairs = "--pairs";
  return {
      {.name = "--format", .type = choice, .help = "output format: table (default), csv or json",
       .choices = {"table", "csv", "json"},
       .apply = [](const Option&, Text t, Request& r, Problem) {
         r.format = t == "csv" ? OutputFormat::csv : t == "json" ? OutputFormat::json : OutputFormat::table;
         return true;
       }},
      {.name = "--pairs", .keyword = "pairs", .type = flag,
       .help = "select and list the pairs of the network (see below)",
       .apply = [](const Option&, Text, Request& r, Problem) { return set(r.pairs); }},
      {.name = "--max-perp", .keyword = "max_perp", .type = decimal, .type_name = "METRES", .unit = "metres",
       .help = "largest |perpendicular baseline| of a pair, m", .needs = pairs,
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.limits.max_perpendicular, decimal_of(o, t, Range::at_least_zero, p));
       }},
      {.name = "--max-days", .keyword = "max_days", .type = whole, .type_name = "DAYS", .unit = "days",
       .help = "largest |temporal baseline| of a pair, whole days", .needs = pairs,
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.limits.max_days, whole_of(o, t, 0, p));
       }},
      {.name = "--max-neighbours", .keyword = "max_neighbours", .type = whole, .type_name = "N",
       .help = "at most N pairs per acquisition, the nearest in time", .needs = pairs,
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.limits.max_neighbours, count_of(o, t, p));
       }},
      {.name = "--sequential", .keyword = "sequential", .type = whole, .type_name = "N",
       .help = "each acquisition paired with its next N in time", .needs = pairs,
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.limits.sequential, count_of(o, t, p));
       }},
      {.name = "--annual", .keyword = "annual", .type = flag,
       .help = "add the pairs a whole number of years apart (within 30 days), within --max-perp", .needs = pairs,
       .apply = [](const Option&, Text, Request& r, Problem) { return set(r.limits.annual); }},
      {.name = "--mst", .keyword = "mst", .type = flag,
       .help = "add a minimum spanning tree over all acquisitions (no limits): always connected", .needs = pairs,
       .apply = [](const Option&, Text, Request& r, Problem) { return set(r.limits.mst); }},
      {.name = "--require-connected", .keyword = "require_connected", .type = flag,
       .help = "a network split into parts is an error (status 1, nothing printed)", .needs = pairs,
       .apply = [](const Option&, Text, Request& r, Problem) { return set(r.require_connected); }},
      {.name = "--min-coherence", .keyword = "min_coherence", .type = decimal, .type_name = "C",
       .help = "candidates only the pairs whose modelled coherence is at least C (0 to 1)", .needs = pairs,
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.limits.min_coherence, coherence_of(o, t, p));
       }},
      {.name = "--range-bandwidth", .keyword = "range_bandwidth", .type = decimal, .type_name = "HZ", .unit = "Hz",
       .help = "the range bandwidth, Hz, where the products give none",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.bandwidth.range_hz, decimal_of(o, t, Range::positive, p));
       }},
      {.name = "--azimuth-bandwidth", .keyword = "azimuth_bandwidth", .type = decimal, .type_name = "HZ",
       .unit = "Hz", .help = "the azimuth bandwidth, Hz, where the products give none",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.bandwidth.azimuth_hz, decimal_of(o, t, Range::positive, p));
       }},
      {.name = "--sensor", .keyword = "sensor", .type = text, .type_name = "NAME",
       .help = "radar frequency and bandwidths of a sensor where the products give none: " + sensor_names(),
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
       .help = "the model's temporal decorrelation time, days (200)",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.coherence.tau_days, decimal_of(o, t, Range::positive, p));
       }},
      {.name = "--coherence-floor", .keyword = "coherence_floor", .type = decimal, .type_name = "GAMMA",
       .help = "the model's long-term coherence (0.2), at most its coherence at zero time (--snr)",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.coherence.gamma_inf, coherence_of(o, t, p));
       }},
      {.name = "--snr", .keyword = "snr", .type = decimal, .type_name = "DB", .unit = "dB",
       .help = "the model's signal to noise ratio, dB (22)",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.coherence.snr_db, decimal_of(o, t, Range::any, p));
       }},
      {.name = "--export", .keyword = "export", .type = text, .repeatable = true, .type_name = "KIND:PATH",
       .help = "write KIND to PATH: pairs (CSV), dates (YYYYMMDD_YYYYMMDD lines), baselines (REFDATE DATE BPERP "
               "DT lines) or stack-folder (DIR/REF_SEC/REF_SEC.txt); repeatable",
       .apply = [](const Option&, Text t, Request& r, Problem p) {
         const std::optional<Export> e = parse_export(t, p);
         if (e) r.exports.push_back(*e);
         return e.has_value();
       }},
      {.name = "--plot", .keyword = "plot", .type = path, .type_name = "FILE.svg",
       .help = "write the baseline-time plot to this SVG file (name ending in .svg)", .form = svg_name_problem,
       .apply = [](const Option&, Text t, Request& r, Problem) { return keep(r.plot, t); }},
      {.name = "--as-given", .keyword = "as_given", .type = flag,
       .help = "use state-vector secondaries where they stand (bperp's numbers for each pair), not moved to "
               "their closest approach",
       .apply = [](const Option&, Text, Request& r, Problem) { return set(r.stack.as_given); }},
      {.name = "--max-length", .keyword = "max_length", .type = decimal, .type_name = "METRES", .unit = "metres",
       .help = "longest baseline taken as a repeat pass, m (default 50000)",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.stack.max_length, km(decimal_of(o, t, Range::at_least_zero, p)));
       }},
      {.name = "--swath", .keyword = "swath", .type = text, .type_name = "NAME",
       .help = "the swath of a .SAFE folder (IW1, IW2, IW3, EW1.., S1..; default the middle one)",
       .apply = [](const Option&, Text t, Request& r, Problem) { return keep(r.stack.read.swath, t); }},
      {.name = "--polarisation", .aliases = {"--polarization"}, .keyword = "polarisation", .type = text,
       .type_name = "POL",
       .help = "the polarisation of a SAFE product's annotation (VV, HH, VH, HV; default the first "
               "co-polarisation, else its first with a warning)",
       .form = polarisation_problem,
       .apply = [](const Option&, Text t, Request& r, Problem) { return keep(r.stack.read.polarisation, upper(t)); }},
      {.name = "--burst", .keyword = "burst", .type = text, .type_name = "ID",
       .help = "the target at the middle of this burst (OPERA's burst ID, t042_088905_iw1), of a Sentinel-1 "
               "reference's swath of that name",
       .form = burst_problem,
       .apply = [](const Option&, Text t, Request& r, Problem) {
         r.stack.target.burst = lower(t);
         return true;
       }},
      {.name = "--hdf5-orbit", .keyword = "hdf5_orbit", .type = text, .type_name = "PATH",
       .help = "the orbit group of HDF5 products (default /metadata/orbit)",
       .apply = [](const Option&, Text t, Request& r, Problem) { return keep(r.stack.read.hdf5_orbit, t); }},
      {.name = "--at-time", .keyword = "at_time", .type = text, .type_name = "UTC",
       .help = "the reference's zero-Doppler time of the target, UTC (2025-04-06T02:20:12.5)",
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
       .help = "the target itself: geodetic degrees and m (WGS84)",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.stack.target.at_point, point_of(o, t, p));
       }},
      {.name = "--height", .keyword = "height", .type = decimal, .type_name = "METRES", .unit = "metres",
       .help = "the target's height above WGS84, m (default 0)",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.stack.target.height, km(decimal_of(o, t, Range::any, p)));
       }},
      {.name = "--grid", .keyword = "grid", .type = text, .type_name = "LINESxRANGES",
       .help = "baselines at LINES times from the reference's first to last line and RANGES slant ranges from "
               "near to far (a geocoded product: its grid, rows by columns); at most 500000 grid points x "
               "secondaries",
       .apply = [](const Option& o, Text t, Request& r, Problem p) { return put(r.stack.grid, grid_of(o, t, p)); }},
      {.name = "--look", .keyword = "look", .type = choice,
       .help = "the look side of an orbit-file reference (default right)", .choices = {"right", "left"},
       .apply = [](const Option&, Text t, Request& r, Problem) {
         r.stack.target.look = t == "left" ? LookSide::left : LookSide::right;
         return true;
       }},
      {.name = "--wavelength", .keyword = "wavelength", .type = decimal, .type_name = "METRES", .unit = "metres",
       .help = "the radar wavelength, m (default: the product's, which a product reference must give if this is "
               "not; for state vectors and dated orbits 0.236220, their Doppler scaled to it)",
       .apply = [](const Option& o, Text t, Request& r, Problem p) {
         return put(r.stack.target.wavelength, km(decimal_of(o, t, Range::positive, p)));
       }},
      {.name = "--orbit", .keyword = "orbit", .type = path, .repeatable = true, .type_name = "FILE",
       .help = "a Sentinel-1 orbit file (*_AUX_POEORB_*.EOF, *_AUX_RESORB_*.EOF, or a zip of them) to use instead "
               "of the products' orbit lists; one file per use, repeatable; one that can't be read ends the run",
       .apply = [](const Option&, Text t, Request& r, Problem) { return keep(r.orbit_files, t); }},
      {.name = "--orbit-dir", .keyword = "orbit_dir", .type = path, .repeatable = true, .type_name = "DIR",
       .help = "every *.EOF orbit file of this folder and of its sub-folders two levels down, and those in its "
               "zips, as --orbit; one that can't be read is skipped with a warning, and predicted (AUX_PREORB) "
               "files are never used",
       .apply = [](const Option&, Text t, Request& r, Problem) { return keep(r.orbit_dirs, t); }},
      {.name = "--require-orbit-files", .keyword = "require_orbit_files", .type = flag,
       .help = "refuse a Sentinel-1 product that the --orbit and --orbit-dir files do not cover (by default it "
               "keeps its own orbit, with a warning)",
       .apply = [](const Option&, Text, Request& r, Problem) { return set(r.stack.require_orbit_files); }},
      {.name = "--list", .type = path, .type_name = "FILE",
       .help = "read the secondaries' paths from this file, one per line (- for standard input)",
       .apply = [](const Option&, Text t, Request& r, Problem) { return keep(r.list, t); }},
  };
}

}  // namespace

const std::vector<OptionDeclaration>& option_table() {
  static const std::vector<OptionDeclaration> table = declarations();
  return table;
}

}  // namespace bperp::stack
