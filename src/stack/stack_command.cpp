#include "stack/stack_command.h"

#include <map>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "stack/stack_output.h"
#include "stack/stack_run.h"

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
               t X Y Z VX VY VZ (s, km, km/s, earth-fixed), at least two rows,
               times strictly increasing. Any other count of numbers is refused.
  A header line that starts with an ISO date (YYYY-MM-DD) gives the acquisition
  date; with dates on the reference and a secondary, days = secondary - reference.

What is computed:
  The scene point is located once, from the reference, exactly as bperp does for
  its master pass (beam 7, 34.3 deg off nadir, WGS84). Each secondary's baseline
  B = reference position - secondary position is split on the reference's line
  of sight: for a state-vector secondary, parallel and perpendicular are exactly
  the numbers `bperp REFERENCE SECONDARY` prints, in metres.
  An orbit secondary is first aligned: the time of its closest approach to the
  reference position (the root of (S(t) - P) . S'(t) = 0, S cubic Hermite between
  the neighbouring rows) gives the state vector used. A closest approach outside
  the orbit's time span is an error for that secondary.

Per secondary (m unless stated):
  days                 temporal baseline, whole days
  aligned t (s)        time of closest approach on the orbit's time scale (orbits)
  parallel             B . U, U the unit look vector from the reference to the scene point
  perpendicular        B . V, V at right angles to U, away from the earth
  along-track          B . v/|v|, v the secondary's earth-fixed velocity; zero after
                       alignment, a large value on a state-vector secondary means the
                       two vectors do not stand at the same place along the track
  length               |B|
  height of ambiguity  lambda R sin(incidence) / (2 perpendicular); none when the
                       perpendicular baseline is zero
Once, for the reference: slant range R (km), the scene point's geodetic latitude,
longitude (deg) and height (m), incidence and off-nadir angles (deg), Doppler
centroid (Hz) and rate (Hz/s), wavelength lambda = c / f0 (m).

Output (--format):
  table   aligned columns for people; baselines to the mm, as bperp prints them
  csv     a header row and one row per secondary at full precision, empty fields
          where there is no value, for spreadsheets and pandas
  json    {"reference": {...}, "secondaries": [...]} at full precision,
          missing values null, "error" null or the reason
  No output depends on the locale.

Exit status:
  0  every secondary computed
  1  a bad option; a refused reference (message on standard error, nothing on
     standard output); or an unusable secondary (reason on standard error, its
     row marked, the others still computed)
)";

// The option values of one invocation.
struct Options {
  std::string format = "table";
  std::string reference;
  std::vector<std::string> secondaries;
};

// Parses the arguments; returns -1 to go on, or the exit status to end with.
int parse_options(int argc, const char* const* argv, Options& options, std::FILE* out,
                  std::FILE* err) {
  CLI::App app{description, program_name};
  app.footer(help_footer);
  app.add_option("--format", options.format, "output format: table (default), csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}));
  app.add_option("REFERENCE", options.reference, "the reference state-vector file")->required();
  app.add_option("SECONDARY", options.secondaries,
                 "secondary state-vector or orbit files (one or more)")
      ->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), out);
    return 0;
  } catch (const CLI::ParseError& e) {
    std::fprintf(err, "%s: %s\nRun '%s --help' for the options.\n", program_name, e.what(),
                 program_name);
    return 1;
  }
  return -1;
}

OutputFormat format_of(const std::string& name) {
  static const std::map<std::string, OutputFormat> formats = {
      {"table", OutputFormat::table}, {"csv", OutputFormat::csv}, {"json", OutputFormat::json}};
  return formats.at(name);
}

}  // namespace

int stack_command(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  Options options;
  const int parsed = parse_options(argc, argv, options, out, err);
  if (parsed >= 0) return parsed;

  const StackRun run = run_stack(options.reference, options.secondaries);
  if (!run.reference_error.empty()) {
    std::fprintf(err, "%s: %s\n", program_name, run.reference_error.c_str());
    return 1;
  }
  for (const SecondaryResult& s : run.secondaries)
    if (!s.ok()) std::fprintf(err, "%s: %s\n", program_name, s.error.c_str());

  switch (format_of(options.format)) {
    case OutputFormat::table:
      write_stack_table(out, run);
      break;
    case OutputFormat::csv:
      write_stack_csv(out, run);
      break;
    case OutputFormat::json:
      write_json(out, stack_json(run));
      break;
  }
  if (std::fflush(out) != 0 || std::ferror(out)) {
    std::fprintf(err, "%s: can't write the results to standard output\n", program_name);
    return 1;
  }
  return run.all_ok() ? 0 : 1;
}

}  // namespace bperp::stack
