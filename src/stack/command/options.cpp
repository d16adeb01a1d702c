#include "bperp/stack/command/options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "bperp/io/decimal_number.h"
#include "bperp/io/file_descriptor.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/network/sensors.h"
#include "bperp/stack/support/escape.h"
#include "bperp/stack/support/number_text.h"
#include "bperp/version.h"

namespace bperp::stack {

const char* const program_name = "bperp-stack";

namespace {

const char* const description =
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
  Sentinel-1     a product annotation (annotation/s1?-*-slc-*.xml, IW, EW, SM)
                 or a .SAFE folder (its --swath, the first co-polarisation).
  parameter file an image parameter file (*_slc.par, *_mli.par: key: value lines).
  HDF5           a product with an orbit group (--hdf5-orbit, default
                 /metadata/orbit), e.g. OPERA CSLC-S1; a geocoded product's
                 grid centre is its default target.
  Any other content is refused. A state-vector or orbit header line that starts
  with an ISO date (YYYY-MM-DD, 1978 to 2100; a UTF-8 byte-order mark before it
  is skipped) gives the acquisition date; products carry theirs. Days =
  secondary - reference. A date outside those years is taken as none, with a
  warning. A file named twice (or the reference named as a secondary) is used
  once, and two files of one date are noted, each with a warning on standard
  error. --orbit and --orbit-dir give Sentinel-1 orbit files (*.EOF) used
  instead of the products' own orbit lists: per acquisition a precise file of
  its mission that covers it, else the restituted files that do.

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

// The texts of the options that take numbers, checked after the parse with
// the files' own number rule (decimal only: no 0x10, no nan).
struct NumberTexts {
  std::string max_perp, max_days, max_neighbours, max_length, sequential;
  std::string range_bandwidth, azimuth_bandwidth, sensor, min_coherence, tau, floor, snr;
  std::string at_time, at_range, at_point, height, wavelength, look, grid;
};

// A decimal number of a unit (any sign when negative_ok). *problem says why not.
std::optional<double> decimal_option(const std::string& option, const std::string& text,
                                     const char* unit, bool positive, std::string* problem) {
  const std::optional<double> v = decimal_number(text);
  if (!v || (positive && !(*v > 0.0))) {
    *problem = option + " must be a decimal number of " + unit + (positive ? " > 0" : "") + ", not " +
               escaped(text);
    return std::nullopt;
  }
  return v;
}

// LAT,LON[,HEIGHT]: geodetic degrees and metres, as a point (rad, km).
std::optional<Geodetic> point_option(const std::string& text, std::string* problem) {
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
    *problem = "--at-point must be LAT,LON[,HEIGHT] (geodetic degrees, latitude -90 to 90, and "
               "metres), not " + escaped(text);
    return std::nullopt;
  }
  Geodetic g;
  g.latitude = units::radians(v[0]);
  g.longitude = units::radians(v[1]);
  g.height = parts.size() == 3 ? v[2] / units::metres_per_km : 0.0;
  return g;
}

// A coherence: a decimal number from 0 to 1. *problem says why not.
std::optional<double> coherence_option(const std::string& option, const std::string& text,
                                       std::string* problem) {
  const std::optional<double> g = decimal_number(text);
  if (g && *g >= 0.0 && *g <= 1.0) return g;
  *problem = option + " must be a decimal number from 0 to 1, not " + escaped(text);
  return std::nullopt;
}

// A limit in metres: a finite decimal number >= 0. *problem says why not.
std::optional<double> metres_limit(const std::string& option, const std::string& text,
                                   std::string* problem) {
  const std::optional<double> v = decimal_number(text);
  if (!v || *v < 0.0) {
    *problem = option + " must be a decimal number of metres >= 0, not " + escaped(text);
    return std::nullopt;
  }
  return v;
}

// A whole number >= least, written as a decimal (2, 2.0, 2e1 are whole; 2.5
// is not).
std::optional<long> whole_number(const std::string& option, const std::string& text, long least,
                                 const char* unit, std::string* problem) {
  const std::optional<double> v = decimal_number(text);
  const std::string expected = option + " must be a whole number" + unit + " >= " +
                               std::to_string(least) + ", not " + escaped(text);
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

// Whether a plot file name ends in .svg (any case) after some name.
bool has_svg_suffix(const std::string& path) {
  constexpr std::size_t suffix = 4;
  if (path.size() <= suffix) return false;
  std::string tail = path.substr(path.size() - suffix);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".svg";
}

// The arguments that look like options but are none of the app's: a file
// named -x.txt, say. Empty when there are none.
std::string unknown_dashed(const CLI::App& app, int argc, const char* const* argv) {
  std::string names;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") break;
    if (arg.size() < 2 || arg[0] != '-') continue;
    const std::string name = arg.substr(0, arg.find('='));
    if (name == "-h" || name == "--help" || name == "--version") continue;
    if (app.get_option_no_throw(name) != nullptr) continue;
    names += (names.empty() ? "" : ", ") + escaped(arg);
  }
  return names;
}

// The list file at path for reading, or null with errno set. Opened
// without blocking, so that a named pipe with no writer gives an empty list
// at once instead of blocking the open for ever; then read blocking, so that
// a pipe being written (a process substitution, say) is read to its end.
std::FILE* open_list(const std::string& path) {
  return open_without_waiting(path.c_str(), Reads::blocking).into_stream("rb");
}

// The hint for names (escaped) that begin with - but are no option.
void dashed_name_hint(const std::string& names, std::FILE* err) {
  std::fprintf(err,
               "%s: %s is no option; use -- before names that begin with - "
               "(%s [OPTIONS] -- REFERENCE SECONDARY...)\n",
               program_name, names.c_str(), program_name);
}

// The first argument before "--" that starts with -h but is longer (-h.txt,
// -hx), which the parser takes for the help flag; empty when there is none.
std::string help_lookalike(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    if (arg.size() > 2 && arg.starts_with("-h")) return std::string(arg);
  }
  return {};
}

// The checks and conversions after the parse; false after a message on err.
bool convert_numbers(const NumberTexts& texts, Options& options, std::FILE* err) {
  std::string problem;
  const auto fail = [&]() {
    std::fprintf(err, "%s: %s\n", program_name, problem.c_str());
    return false;
  };
  if (!texts.max_perp.empty()) {
    options.limits.max_perpendicular = metres_limit("--max-perp", texts.max_perp, &problem);
    if (!options.limits.max_perpendicular) return fail();
  }
  if (!texts.max_days.empty()) {
    options.limits.max_days = whole_number("--max-days", texts.max_days, 0, " of days", &problem);
    if (!options.limits.max_days) return fail();
  }
  if (!texts.max_neighbours.empty()) {
    const std::optional<long> n = whole_number("--max-neighbours", texts.max_neighbours, 1, "", &problem);
    if (!n) return fail();
    options.limits.max_neighbours =
        static_cast<int>(std::fmin(static_cast<double>(*n), std::numeric_limits<int>::max()));
  }
  if (!texts.sequential.empty()) {
    const std::optional<long> n = whole_number("--sequential", texts.sequential, 1, "", &problem);
    if (!n) return fail();
    options.limits.sequential =
        static_cast<int>(std::fmin(static_cast<double>(*n), std::numeric_limits<int>::max()));
  }
  const auto positive = [&](const std::string& text, const char* option, const char* unit, double* out) {
    if (text.empty()) return true;
    const std::optional<double> v = decimal_option(option, text, unit, true, &problem);
    if (v) *out = *v;
    return v.has_value();
  };
  double value = 0.0;
  if (!texts.range_bandwidth.empty()) {
    if (!positive(texts.range_bandwidth, "--range-bandwidth", "Hz", &value)) return fail();
    options.bandwidth.range_hz = value;
  }
  if (!texts.azimuth_bandwidth.empty()) {
    if (!positive(texts.azimuth_bandwidth, "--azimuth-bandwidth", "Hz", &value)) return fail();
    options.bandwidth.azimuth_hz = value;
  }
  if (!texts.sensor.empty()) {
    options.bandwidth.sensor = sensor_preset(texts.sensor);
    if (!options.bandwidth.sensor) {
      problem = "--sensor must be one of " + sensor_names() + ", not " + escaped(texts.sensor);
      return fail();
    }
    options.stack.target.sensor_wavelength =
        units::speed_of_light_m_s / options.bandwidth.sensor->frequency_hz / units::metres_per_km;
  }
  if (!positive(texts.tau, "--coherence-tau", "days", &options.coherence.tau_days)) return fail();
  if (!texts.floor.empty()) {
    const std::optional<double> g = coherence_option("--coherence-floor", texts.floor, &problem);
    if (!g) return fail();
    options.coherence.gamma_inf = *g;
  }
  if (!texts.snr.empty()) {
    const std::optional<double> v = decimal_option("--snr", texts.snr, "dB", false, &problem);
    if (!v) return fail();
    options.coherence.snr_db = *v;
  }
  if (!texts.min_coherence.empty()) {
    const std::optional<double> g = coherence_option("--min-coherence", texts.min_coherence, &problem);
    if (!g) return fail();
    options.limits.min_coherence = *g;
  }
  if (!texts.max_length.empty()) {
    const std::optional<double> m = metres_limit("--max-length", texts.max_length, &problem);
    if (!m) return fail();
    options.stack.max_length = *m / units::metres_per_km;
  }
  TargetOptions& target = options.stack.target;
  if (!texts.at_time.empty()) {
    target.at_time = parse_utc(texts.at_time, &problem);
    if (!target.at_time) {
      problem = "--at-time: " + escaped(problem);
      return fail();
    }
  }
  if (!texts.at_range.empty()) {
    const std::optional<double> m = decimal_option("--at-range", texts.at_range, "metres", true, &problem);
    if (!m) return fail();
    target.at_range = *m / units::metres_per_km;
  }
  if (!texts.height.empty()) {
    const std::optional<double> m = decimal_option("--height", texts.height, "metres", false, &problem);
    if (!m) return fail();
    target.height = *m / units::metres_per_km;
  }
  if (!texts.wavelength.empty()) {
    const std::optional<double> m = decimal_option("--wavelength", texts.wavelength, "metres", true, &problem);
    if (!m) return fail();
    target.wavelength = *m / units::metres_per_km;
  }
  if (!texts.at_point.empty()) {
    target.at_point = point_option(texts.at_point, &problem);
    if (!target.at_point) return fail();
    if (!texts.at_time.empty() || !texts.at_range.empty() || !texts.height.empty()) {
      problem = "--at-point gives the target itself: it takes no --at-time, --at-range or --height";
      return fail();
    }
  }
  if (!texts.grid.empty()) {
    const std::size_t x = texts.grid.find_first_of("xX");
    const std::string first = x == std::string::npos ? std::string() : texts.grid.substr(0, x);
    const std::string second = x == std::string::npos ? std::string() : texts.grid.substr(x + 1);
    const double lines = decimal_number(first).value_or(0.0);
    const double ranges = decimal_number(second).value_or(0.0);
    constexpr double most = 1000.0;  // per side: a million targets
    const auto whole = [&](double v) { return v >= 1.0 && v <= most && v == std::floor(v); };
    if (!whole(lines) || !whole(ranges)) {
      problem = "--grid must be LINESxRANGES, two whole numbers from 1 to 1000 (5x5), not " + escaped(texts.grid);
      return fail();
    }
    options.stack.grid = GridSize{static_cast<int>(lines), static_cast<int>(ranges)};
  }
  if (!texts.look.empty()) target.look = texts.look == "left" ? LookSide::left : LookSide::right;
  return true;
}

}  // namespace

bool read_path_list(std::FILE* stream, std::vector<std::string>& paths, std::string* problem) {
  std::string line;
  int c;
  const auto finish_line = [&]() {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) paths.push_back(line);
    line.clear();
  };
  while ((c = std::getc(stream)) != EOF) {
    if (c == '\0') {
      *problem = "it holds a NUL byte (line " + std::to_string(paths.size() + 1) + ")";
      return false;
    }
    if (c == '\n') finish_line();
    else line += static_cast<char>(c);
  }
  if (std::ferror(stream)) {
    *problem = std::string("read error: ") + std::strerror(errno);
    return false;
  }
  finish_line();
  return true;
}

int parse_options(int argc, const char* const* argv, Options& options, std::FILE* in,
                  std::FILE* out, std::FILE* err) {
  CLI::App app{description, program_name};
  app.footer(help_footer);
  app.set_version_flag("--version", std::string(program_name) + " " + BPERP_VERSION,
                       "print the version and exit");
  std::string format = "table";
  NumberTexts numbers;
  app.add_option("--format", format, "output format: table (default), csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}));
  CLI::Option* pairs = app.add_flag("--pairs", options.pairs,
                                    "select and list the pairs of the network (see below)");
  app.add_option("--max-perp", numbers.max_perp, "largest |perpendicular baseline| of a pair, m")
      ->type_name("METRES")
      ->needs(pairs);
  app.add_option("--max-days", numbers.max_days, "largest |temporal baseline| of a pair, whole days")
      ->type_name("DAYS")
      ->needs(pairs);
  app.add_option("--max-neighbours", numbers.max_neighbours,
                 "at most N pairs per acquisition, the nearest in time")
      ->type_name("N")
      ->needs(pairs);
  app.add_option("--sequential", numbers.sequential, "each acquisition paired with its next N in time")
      ->type_name("N")
      ->needs(pairs);
  app.add_flag("--annual", options.limits.annual,
               "add the pairs a whole number of years apart (within 30 days), within --max-perp")
      ->needs(pairs);
  app.add_flag("--mst", options.limits.mst,
               "add a minimum spanning tree over all acquisitions (no limits): always connected")
      ->needs(pairs);
  app.add_flag("--require-connected", options.require_connected,
               "a network split into parts is an error (status 1, nothing printed)")
      ->needs(pairs);
  app.add_option("--min-coherence", numbers.min_coherence,
                 "candidates only the pairs whose modelled coherence is at least C (0 to 1)")
      ->type_name("C")
      ->needs(pairs);
  app.add_option("--range-bandwidth", numbers.range_bandwidth,
                 "the range bandwidth, Hz, where the products give none")
      ->type_name("HZ");
  app.add_option("--azimuth-bandwidth", numbers.azimuth_bandwidth,
                 "the azimuth bandwidth, Hz, where the products give none")
      ->type_name("HZ");
  app.add_option("--sensor", numbers.sensor,
                 "radar frequency and bandwidths of a sensor where the products give none: " + sensor_names())
      ->type_name("NAME");
  app.add_option("--coherence-tau", numbers.tau, "the model's temporal decorrelation time, days (200)")
      ->type_name("DAYS");
  app.add_option("--coherence-floor", numbers.floor, "the model's long-term coherence (0.2), at most its coherence at zero time (--snr)")
      ->type_name("GAMMA");
  app.add_option("--snr", numbers.snr, "the model's signal to noise ratio, dB (22)")->type_name("DB");
  app.add_option("--export", options.exports,
                 "write KIND to PATH: pairs (CSV), dates (YYYYMMDD_YYYYMMDD lines), baselines "
                 "(REFDATE DATE BPERP DT lines) or stack-folder (DIR/REF_SEC/REF_SEC.txt); repeatable")
      ->type_name("KIND:PATH")
      ->allow_extra_args(false)
      ->expected(1)
      ->take_all();
  app.add_option("--plot", options.plot, "write the baseline-time plot to this SVG file (name ending in .svg)")
      ->type_name("FILE.svg")
      ->check(CLI::Validator(
          [](const std::string& path) {
            return has_svg_suffix(path) ? std::string()
                                        : "the plot file's name must end in .svg, not '" + path + "'";  // escaped with the message
          },
          ""));
  app.add_flag("--as-given", options.stack.as_given,
               "use state-vector secondaries where they stand (bperp's numbers for each pair), "
               "not moved to their closest approach");
  app.add_option("--max-length", numbers.max_length,
                 "longest baseline taken as a repeat pass, m (default 50000)")
      ->type_name("METRES");
  app.add_option("--swath", options.stack.read.swath,
                 "the swath of a .SAFE folder (IW1, IW2, IW3, EW1.., S1..; default the middle one)")
      ->type_name("NAME");
  app.add_option("--hdf5-orbit", options.stack.read.hdf5_orbit,
                 "the orbit group of HDF5 products (default /metadata/orbit)")
      ->type_name("PATH");
  app.add_option("--at-time", numbers.at_time,
                 "the reference's zero-Doppler time of the target, UTC (2025-04-06T02:20:12.5)")
      ->type_name("UTC");
  app.add_option("--at-range", numbers.at_range, "the target's slant range from the reference, m")
      ->type_name("METRES");
  app.add_option("--at-point", numbers.at_point, "the target itself: geodetic degrees and m (WGS84)")
      ->type_name("LAT,LON[,HEIGHT]");
  app.add_option("--height", numbers.height, "the target's height above WGS84, m (default 0)")
      ->type_name("METRES");
  app.add_option("--grid", numbers.grid,
                 "baselines at LINES times from the reference's first to last line and RANGES slant "
                 "ranges from near to far (a geocoded product: its grid, rows by columns); at most 500000 "
                 "grid points x secondaries")
      ->type_name("LINESxRANGES");
  app.add_option("--look", numbers.look, "the look side of an orbit-file reference (default right)")
      ->check(CLI::IsMember({"right", "left"}));
  app.add_option("--wavelength", numbers.wavelength,
                 "the radar wavelength, m (default: the product's, which a product reference must give if "
                 "this is not; for state vectors and dated orbits 0.236220, their Doppler scaled to it)")
      ->type_name("METRES");
  app.add_option("--orbit", options.orbit_files,
                 "a Sentinel-1 orbit file (*_AUX_POEORB_*.EOF, *_AUX_RESORB_*.EOF) to use instead of "
                 "the products' orbit lists; one file per use, repeatable; one that can't be read ends the run")
      ->type_name("FILE")
      ->allow_extra_args(false)
      ->expected(1)
      ->take_all();
  app.add_option("--orbit-dir", options.orbit_dirs, "every *.EOF orbit file of this folder, as --orbit; one that can't be read is skipped with a "
                 "warning, and predicted (AUX_PREORB) files are never used")
      ->type_name("DIR")
      ->allow_extra_args(false)
      ->expected(1)
      ->take_all();
  app.add_option("--list", options.list,
                 "read the secondaries' paths from this file, one per line (- for standard input)")
      ->type_name("FILE");
  app.add_option("REFERENCE", options.reference,
                 "the reference: a state-vector, dated orbit, Sentinel-1, parameter or HDF5 file")
      ->required();
  app.add_option("SECONDARY", options.secondaries,
                 "the secondaries: files of those kinds or orbit files (one or more, or --list)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    // A name such as -h.txt reads as -h followed by more short flags: a
    // file meant, not the help.
    if (const std::string name = help_lookalike(argc, argv); !name.empty()) {
      dashed_name_hint(escaped(name), err);
      return 1;
    }
    std::fputs(app.help().c_str(), out);
    return 0;
  } catch (const CLI::CallForVersion& e) {
    std::fprintf(out, "%s\n", e.what());
    return 0;
  } catch (const CLI::ParseError& e) {
    const std::string dashed = unknown_dashed(app, argc, argv);
    std::fprintf(err, "%s: %s\n", program_name, escaped(e.what()).c_str());
    if (!dashed.empty()) dashed_name_hint(dashed, err);
    std::fprintf(err, "Run '%s --help' for the options.\n", program_name);
    return 1;
  }
  // An option given an empty text (--max-length '') would otherwise read as
  // not given at all, and its default be used without a word.
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_positional() || option->get_expected_max() == 0) continue;  // names, flags
    for (const std::string& value : option->results())
      if (value.empty()) {
        std::fprintf(err, "%s: %s needs a value, not an empty text\nRun '%s --help' for the options.\n",
                     program_name, option->get_name().c_str(), program_name);
        return 1;
      }
  }
  options.format = format == "csv" ? OutputFormat::csv : format == "json" ? OutputFormat::json : OutputFormat::table;
  if (!convert_numbers(numbers, options, err)) return 1;

  if (!options.list.empty()) {
    std::FILE* stream = options.list == "-" ? in : open_list(options.list);
    std::string problem;
    if (stream == nullptr) {
      std::fprintf(err, "%s: can't open the list %s: %s\n", program_name,
                   escaped(options.list).c_str(), std::strerror(errno));
      return 1;
    }
    const bool read = read_path_list(stream, options.secondaries, &problem);
    if (stream != in) std::fclose(stream);
    if (!read) {
      std::fprintf(err, "%s: can't read the list %s: %s\n", program_name,
                   escaped(options.list).c_str(), problem.c_str());
      return 1;
    }
  }
  if (options.secondaries.empty()) {
    std::fprintf(err, "%s: no secondaries: name at least one after the reference, or give --list\n"
                      "Run '%s --help' for the options.\n",
                 program_name, program_name);
    return 1;
  }
  return -1;
}

}  // namespace bperp::stack
