#include "bperp/stack/command/stack_command.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include "bperp/numeric/fatal_error.h"
#include "bperp/numeric/units.h"
#include "bperp/version.h"
#include "bperp/stack/outputs/baseline_plot.h"
#include "bperp/stack/network/pairs.h"
#include "bperp/stack/outputs/stack_output.h"
#include "bperp/stack/geometry/stack_run.h"

namespace bperp::stack {

namespace {

const char* const program_name = "bperp-stack";

const char* const description =
    "bperp-stack: parallel and perpendicular baselines of a whole stack of SAR passes against "
    "one reference pass, with the reference's viewing geometry.";

const char* const help_footer = R"(
Files:
  REFERENCE    a state-vector file as bperp reads it: a header line, then six
               numbers X Y Z VX VY VZ (earth-fixed, km and km/s).
  SECONDARY    either such a state-vector file (exactly six numbers), or an
               orbit file: a header line, then rows of seven numbers
               t X Y Z VX VY VZ (s, km, km/s, earth-fixed), at least four rows,
               times strictly increasing, at most 100000 rows (64 MiB), rows
               10 to 300 s apart as orbit products and parameter files give
               them. Any other count of numbers is refused.
  A header line that starts with an ISO date (YYYY-MM-DD, 1978 to 2100; a UTF-8
  byte-order mark before it is skipped) gives the acquisition date; with dates on
  the reference and a secondary, days = secondary - reference. A date outside
  those years is taken as none, with a warning.
  A file named twice (or the reference named as a secondary) is used once, and
  two files of one date are noted, each with a warning on standard error.

What is computed:
  The scene point is located once, from the reference, exactly as bperp does for
  its master pass (beam 7, 34.3 deg off nadir, GRS80 ellipsoid). Each
  secondary is first moved to its closest approach to the reference position P,
  the root of (S(t) - P) . S'(t) = 0:
  - an orbit by interpolating its rows (the Hermite polynomial through the
    positions and velocities of six neighbouring rows), with an estimate of the
    interpolation error (the difference to the polynomial through four rows);
    an estimate above 1 cm refuses the secondary (rows too far apart);
  - a state vector by moving it along its own orbit (the earth's gravity with
    J2, at most 60 s); --as-given uses it where it stands instead, so that
    parallel and perpendicular are exactly the numbers `bperp REFERENCE
    SECONDARY` prints, in metres.
  Its baseline B = reference position - secondary position is then split on the
  reference's line of sight.

Refused as no repeat pass of the reference (the row marked, status 1): a
position below 150 km or above 2000 km (positions in metres?), a speed outside
5.5 to 8.5 km/s (velocities in m/s?), orbit velocities that do not match the
change of position between rows (a time column in days or milliseconds?), a
closest approach outside the orbit's rows, and a baseline longer than
--max-length (default 50000 m, above the critical baseline of every sensor in
use).

Per secondary (m unless stated):
  days                 temporal baseline, whole days
  aligned t (s)        time of closest approach on the orbit's time scale (orbits)
  shift (s)            the time a state vector was moved along its orbit
  parallel             B . U, U the unit look vector from the reference to the scene point
  perpendicular        B . V, V at right angles to U, away from the earth
  along-track          B . v/|v|, v the secondary's earth-fixed velocity; zero after
                       alignment (with --as-given a large value on a state vector means
                       the two vectors do not stand at the same place along the track)
  length               |B|
  height of ambiguity  lambda R sin(incidence) / (2 perpendicular); none when the
                       perpendicular baseline is zero
  (CSV and JSON also: time_shift_s, and interpolation_error_m for orbits)
Once, for the reference: slant range R (km), the scene point's geodetic latitude,
longitude (deg) and height (m), the incidence angle at the scene point (against
the ellipsoid normal there) and the off-nadir angle at the satellite (deg),
Doppler centroid (Hz) and rate (Hz/s), wavelength lambda = c / f0 (m).

Output (--format):
  table   aligned columns for people; baselines to the mm, as bperp prints them
  csv     a header row and one row per secondary at full precision, empty fields
          where there is no value, for spreadsheets and pandas
  json    {"reference": {...}, "secondaries": [...]} at full precision,
          missing values null, "error" null or the reason
  No output depends on the locale.

Pair network (--pairs):
  Lists every pair of acquisitions, the reference included, with
  |perpendicular baseline| <= --max-perp metres and |days| <= --max-days days
  (either limit optional; equal to the limit is in, compared at the printed mm).
  The perpendicular baseline of a pair (i, j), i the earlier, is
  B_perp(j) - B_perp(i), the difference of their perpendicular baselines
  against the reference geometry: the approximation stack tools commonly make
  (the reference's line of sight stands for every pair's).
  --max-neighbours N keeps a pair only when each of its two acquisitions has the
  other among its N nearest in time (of the pairs within the other limits), so
  no acquisition is in more than N pairs.
  The pairs are sorted by date and printed after the stack table (table), as the
  CSV instead of the secondaries' rows (csv), or as a "pairs" list (json).
  --max-days, --max-neighbours and --plot need a date on every acquisition.

Plot (--plot FILE.svg):
  Writes the baseline-time plot as a standalone SVG: every usable acquisition
  a labelled point at (date, perpendicular baseline), the reference marked,
  the pairs selected by --pairs as lines, date ticks by months or years,
  a zero line. Without --pairs only the points are drawn.

Exit status:
  0  every secondary computed (and the plot written)
  1  a bad option; a refused reference (message on standard error, nothing on
     standard output); a missing date where one is needed (nothing on standard
     output); an unwritable plot; or an unusable secondary (reason on standard
     error, its row marked, the others still computed)
)";

// The option values of one invocation.
struct Options {
  std::string format = "table";
  std::string reference;
  std::vector<std::string> secondaries;
  bool pairs = false;
  PairLimits limits;
  std::string plot;  // empty: no plot
  StackOptions stack;
  double max_length_m = default_max_length * units::metres_per_km;
};

// A limit in metres: a finite number >= 0 (no nan, no inf).
const CLI::Validator finite_non_negative(
    [](const std::string& text) {
      double value = 0.0;
      if (!CLI::detail::lexical_cast(text, value) || !std::isfinite(value) || value < 0.0)
        return "must be a finite number >= 0, not " + text;
      return std::string();
    },
    "NONNEGATIVE");

// Whether a plot file name ends in .svg (any case) after some name.
bool has_svg_suffix(const std::string& path) {
  constexpr std::size_t suffix = 4;
  if (path.size() <= suffix) return false;
  std::string tail = path.substr(path.size() - suffix);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".svg";
}

// Parses the arguments; returns -1 to go on, or the exit status to end with.
int parse_options(int argc, const char* const* argv, Options& options, std::FILE* out,
                  std::FILE* err) {
  CLI::App app{description, program_name};
  app.footer(help_footer);
  app.set_version_flag("--version", std::string(program_name) + " " + BPERP_VERSION,
                       "print the version and exit");
  app.add_option("--format", options.format, "output format: table (default), csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}));
  CLI::Option* pairs = app.add_flag("--pairs", options.pairs,
                                    "select and list the pairs of the network (see below)");
  app.add_option("--max-perp", options.limits.max_perpendicular,
                 "largest |perpendicular baseline| of a pair, m")
      ->check(finite_non_negative)
      ->needs(pairs);
  app.add_option("--max-days", options.limits.max_days, "largest |temporal baseline| of a pair, days")
      ->check(CLI::NonNegativeNumber)
      ->needs(pairs);
  app.add_option("--max-neighbours", options.limits.max_neighbours,
                 "at most N pairs per acquisition, the nearest in time")
      ->check(CLI::Validator(
          [](const std::string& text) {
            int value = 0;
            if (!CLI::detail::lexical_cast(text, value) || value < 1)
              return "must be a whole number >= 1, not " + text;
            return std::string();
          },
          "N"))
      ->needs(pairs);
  app.add_option("--plot", options.plot, "write the baseline-time plot to this SVG file (name ending in .svg)")
      ->check(CLI::Validator(
          [](const std::string& path) {
            return has_svg_suffix(path) ? std::string()
                                        : "the plot file's name must end in .svg, not '" + path + "'";
          },
          "FILE.svg"));
  app.add_flag("--as-given", options.stack.as_given,
               "use state-vector secondaries where they stand (bperp's numbers for each pair), "
               "not moved to their closest approach");
  app.add_option("--max-length", options.max_length_m,
                 "longest baseline taken as a repeat pass, m (default 50000)")
      ->check(finite_non_negative);
  app.add_option("REFERENCE", options.reference, "the reference state-vector file")->required();
  app.add_option("SECONDARY", options.secondaries,
                 "secondary state-vector or orbit files (one or more)")
      ->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), out);
    return 0;
  } catch (const CLI::CallForVersion& e) {
    std::fprintf(out, "%s\n", e.what());
    return 0;
  } catch (const CLI::ParseError& e) {
    std::fprintf(err, "%s: %s\nRun '%s --help' for the options.\n", program_name, e.what(),
                 program_name);
    return 1;
  }
  options.stack.max_length = options.max_length_m / units::metres_per_km;
  return -1;
}

// Whether every acquisition has the date that --max-days, --max-neighbours
// and --plot need; if not, says which lack one on err.
bool dates_where_needed(const Options& options, const std::vector<NetworkPoint>& points,
                        std::FILE* err) {
  const char* needed_by = !options.plot.empty()           ? "--plot"
                          : options.limits.max_days       ? "--max-days"
                          : options.limits.max_neighbours ? "--max-neighbours"
                                                          : nullptr;
  if (needed_by == nullptr || all_dated(points)) return true;
  std::string undated;
  for (const NetworkPoint& p : points)
    if (!p.day) undated += (undated.empty() ? "" : ", ") + p.name;
  std::fprintf(err,
               "%s: %s needs the date of every acquisition (a header line starting with "
               "YYYY-MM-DD); no date in %s\n",
               program_name, needed_by, undated.c_str());
  return false;
}

// Whether the plot can go to path: not one of the input files (which it
// would overwrite) and in a directory that can be written. Says why not on
// err. Checked before the run, so that a refused plot prints no results.
bool plot_path_usable(const Options& options, std::FILE* err) {
  struct stat plot_stat;
  if (::stat(options.plot.c_str(), &plot_stat) == 0) {
    std::vector<std::string> inputs = options.secondaries;
    inputs.push_back(options.reference);
    for (const std::string& input : inputs) {
      struct stat input_stat;
      if (::stat(input.c_str(), &input_stat) == 0 && input_stat.st_dev == plot_stat.st_dev &&
          input_stat.st_ino == plot_stat.st_ino) {
        std::fprintf(err, "%s: the plot file %s is one of the input files\n", program_name,
                     options.plot.c_str());
        return false;
      }
    }
  }
  const std::size_t slash = options.plot.rfind('/');
  const std::string directory =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : options.plot.substr(0, slash));
  if (::access(directory.c_str(), W_OK) != 0) {
    std::fprintf(err, "%s: can't write the plot to %s: %s\n", program_name, options.plot.c_str(),
                 std::strerror(errno));
    return false;
  }
  return true;
}

// Writes the baseline-time plot to path; on failure says why on err.
bool write_plot(const std::string& path, const std::vector<NetworkPoint>& points,
                const std::vector<Pair>& pairs, std::FILE* err) {
  const std::string svg = baseline_time_svg(points, pairs);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  bool written = f != nullptr && std::fwrite(svg.data(), 1, svg.size(), f) == svg.size();
  if (f != nullptr && std::fclose(f) != 0) written = false;
  if (!written)
    std::fprintf(err, "%s: can't write the plot to %s: %s\n", program_name, path.c_str(),
                 std::strerror(errno));
  return written;
}

OutputFormat format_of(const std::string& name) {
  static const std::map<std::string, OutputFormat> formats = {
      {"table", OutputFormat::table}, {"csv", OutputFormat::csv}, {"json", OutputFormat::json}};
  return formats.at(name);
}

// The whole command; the failures it reports are its return value.
int run_command(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  Options options;
  const int parsed = parse_options(argc, argv, options, out, err);
  if (parsed >= 0) return parsed;

  if (!options.plot.empty() && !plot_path_usable(options, err)) return 1;

  const StackRun run = run_stack(options.reference, options.secondaries, options.stack);
  for (const std::string& warning : run.warnings)
    std::fprintf(err, "%s: warning: %s\n", program_name, warning.c_str());
  if (!run.reference_error.empty()) {
    std::fprintf(err, "%s: %s\n", program_name, run.reference_error.c_str());
    return 1;
  }
  for (const SecondaryResult& s : run.secondaries)
    if (!s.ok()) std::fprintf(err, "%s: %s\n", program_name, s.error.c_str());

  const std::vector<NetworkPoint> points = network_points(run);
  if (!dates_where_needed(options, points, err)) return 1;
  const std::vector<Pair> pairs =
      options.pairs ? select_pairs(points, options.limits) : std::vector<Pair>();

  switch (format_of(options.format)) {
    case OutputFormat::table:
      write_stack_table(out, run);
      if (options.pairs) write_pairs_table(out, points, pairs);
      break;
    case OutputFormat::csv:
      if (options.pairs)
        write_pairs_csv(out, points, pairs);
      else
        write_stack_csv(out, run);
      break;
    case OutputFormat::json: {
      nlohmann::ordered_json document = stack_json(run);
      if (options.pairs) document["pairs"] = pairs_json(points, pairs);
      write_json(out, document);
      break;
    }
  }
  if (std::fflush(out) != 0 || std::ferror(out)) {
    std::fprintf(err, "%s: can't write the results to standard output\n", program_name);
    return 1;
  }
  bool ok = run.all_ok();
  if (!options.plot.empty() && !write_plot(options.plot, points, pairs, err)) ok = false;
  return ok ? 0 : 1;
}

}  // namespace

int stack_command(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  // An exhausted heap is the one failure that can come from inside the
  // computation; it ends the run with its report and status 1.
  try {
    return run_command(argc, argv, out, err);
  } catch (const FatalError& e) {
    std::fputs(e.text(), err);
  } catch (const std::bad_alloc&) {
    std::fprintf(err, "%s: out of memory\n", program_name);
  }
  return 1;
}

}  // namespace bperp::stack
