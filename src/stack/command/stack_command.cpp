#include "bperp/stack/command/stack_command.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "bperp/numeric/fatal_error.h"
#include "bperp/stack/command/option_use.h"
#include "bperp/stack/command/request.h"
#include "bperp/stack/run/stack_run.h"
#include "bperp/stack/network/connectivity.h"
#include "bperp/stack/network/pairs.h"
#include "bperp/stack/outputs/baseline_plot.h"
#include "bperp/stack/outputs/exports.h"
#include "bperp/stack/outputs/output_file.h"
#include "bperp/stack/outputs/pair_output.h"
#include "bperp/stack/outputs/stack_output.h"
#include "bperp/stack/support/escape.h"

namespace bperp::stack {

namespace {

// The run's warnings: each printed on standard error as it comes (unless
// --quiet) and kept for the JSON document's list.
class Warnings {
 public:
  Warnings(std::FILE* err, bool quiet) : err_(err), quiet_(quiet) {}
  void add(const std::string& text) {
    if (!quiet_) print_warning(err_, text);
    all_.push_back(text);
  }
  const std::vector<std::string>& all() const { return all_; }

 private:
  std::FILE* err_;
  bool quiet_;
  std::vector<std::string> all_;
};

// Whether every acquisition has the date that --plot, the dated exports,
// --max-days, --max-neighbours, --sequential, --annual and --min-coherence
// (the model's temporal term) need; if not, says which lack one on err.
bool dates_where_needed(const StackRequest& request, const std::vector<NetworkPoint>& points, std::FILE* err) {
  const std::vector<Export>& exports = request.exports;
  const PairLimits& limits = request.limits;
  const bool dated_export =
      std::any_of(exports.begin(), exports.end(), [](const Export& e) { return e.kind != ExportKind::pairs; });
  const char* needed_by = !request.plot.empty()   ? "--plot"
                          : dated_export          ? "--export"
                          : limits.max_days       ? "--max-days"
                          : limits.max_neighbours ? "--max-neighbours"
                          : limits.sequential     ? "--sequential"
                          : limits.annual         ? "--annual"
                          : limits.min_coherence  ? "--min-coherence"
                                                  : nullptr;
  if (needed_by == nullptr || all_dated(points)) return true;
  std::string undated;
  for (const NetworkPoint& p : points)
    if (!p.day) undated += (undated.empty() ? "" : ", ") + p.name;
  print_problem(err, std::string(needed_by) +
                         " needs the date of every acquisition (a header line starting with YYYY-MM-DD); no date in " +
                         undated);
  return false;
}

// The orbit files of --orbit and --orbit-dir, into orbits; false after a
// message on err (an --orbit file that can't be used, a folder that can't
// be listed). Files of a folder that can't be read are warnings.
bool read_orbits(const StackRequest& request, OrbitCatalogue& orbits, Warnings& warnings, std::FILE* err) {
  for (const std::string& file : request.orbit_files) {
    std::string problem;
    if (!orbits.add_file(file, &problem)) {
      print_problem(err, "can't use the orbit file " + escaped(problem));
      return false;
    }
  }
  for (const std::string& dir : request.orbit_dirs) {
    std::string problem;
    std::vector<std::string> skipped;
    const bool listed = orbits.add_directory(dir, &problem, &skipped);
    for (const std::string& warning : skipped) warnings.add(warning);
    if (!listed) {
      print_problem(err, escaped(problem));
      return false;
    }
  }
  return true;
}

// Says what the run found on err: its warnings and those of options it did
// not use, then why the reference or each unusable secondary failed. false
// when the reference failed (nothing more to do).
bool report_run(const StackRequest& request, const StackRun& run, Warnings& warnings, std::FILE* err) {
  for (const std::string& warning : run.warnings) warnings.add(warning);
  for (const std::string& warning : unused_option_warnings(request, run)) warnings.add(warning);
  if (run.refusal) {
    print_problem(err, run.refusal->text);
    return false;
  }
  for (const SecondaryResult& s : run.secondaries)
    if (!s.ok()) print_problem(err, s.refusal->text);
  return true;
}

// Whether the run gives what the request's network and exports need: dates
// where they are needed, what the exports need (their warnings to
// warnings), the range bandwidth for --min-coherence. false after a message
// on err.
bool run_fits_request(const StackRequest& request, const StackRun& run, const std::vector<NetworkPoint>& points,
                      const CoherenceModel& model, Warnings& warnings, std::FILE* err) {
  if (!dates_where_needed(request, points, err)) return false;
  for (const Export& e : request.exports) {
    std::vector<std::string> notes;
    const std::string problem = export_run_problem(e, run, points, request.inputs(), &notes);
    for (const std::string& note : notes) warnings.add(note);
    if (!problem.empty()) {
      print_problem(err, problem);
      return false;
    }
  }
  if (request.limits.min_coherence && !std::isfinite(model.critical_baseline())) {
    print_problem(err, "--min-coherence needs the range bandwidth, which the reference does not give: give "
                       "--range-bandwidth or --sensor");
    return false;
  }
  return true;
}

// With --require-connected, false after a message on err when the network
// is split.
bool connected_where_required(const StackRequest& request, const std::vector<NetworkPoint>& points,
                              const Connectivity& parts, std::FILE* err) {
  if (!request.require_connected || parts.connected()) return true;
  print_problem(err, "the pair network is split into " + std::to_string(parts.components.size()) +
                         " parts (--require-connected); " + std::to_string(parts.bridges.size()) +
                         " pairs would join them, the first " + points[parts.bridges.front().first].name + " - " +
                         points[parts.bridges.front().second].name);
  return false;
}

// The results on out in the request's format: the stack, and with --pairs
// the network, in the request's convention (which the points are in). false
// after a message on err when out can't take them.
bool write_results(const StackRequest& request, const StackRun& run, const std::vector<NetworkPoint>& points,
                   const PairNetwork& network, const Connectivity& parts, Warnings& warnings, std::FILE* out,
                   std::FILE* err) {
  const Convention convention = request.convention;
  switch (request.format) {
    case OutputFormat::table:
      write_stack_table(out, run, convention);
      if (request.pairs) {
        write_pairs_table(out, points, network);
        write_network_summary(out, points, parts);
      }
      break;
    case OutputFormat::csv:
      // The CSV has no room for its convention or the connectivity report:
      // they are said on standard error, so that they do not pass unseen.
      if (convention != Convention::bperp && !request.quiet)
        print_note(err, "the CSV's baselines are in " + convention_text(convention));
      if (request.pairs) {
        write_pairs_csv(out, points, network);
        if (!parts.connected())
          warnings.add("the pair network is split into " + std::to_string(parts.components.size()) + " parts; " +
                       std::to_string(parts.bridges.size()) +
                       " pairs would join them (--format table or json lists them)");
      } else {
        write_stack_csv(out, run, convention);
      }
      break;
    case OutputFormat::json:
      if (request.pairs)
        write_json_with_pairs(out, run, points, network, parts, convention, warnings.all());
      else
        write_json(out, run, convention, warnings.all());
      break;
  }
  if (std::fflush(out) != 0 || std::ferror(out)) {
    print_problem(err, "can't write the results to standard output");
    return false;
  }
  return true;
}

// Writes the baseline-time plot through a temporary file; on failure says
// why on err and leaves no file.
bool write_plot(const std::string& path, const std::vector<NetworkPoint>& points, const PairNetwork& network,
                const Connectivity& parts, Convention convention, std::FILE* err) {
  AtomicFile file;
  std::string problem;
  std::FILE* stream = file.open(path, &problem);
  if (stream != nullptr) {
    // "ISCE's", "GAMMA's": the words before the convention's description.
    const std::string owner = convention_text(convention).substr(0, convention_text(convention).find(':'));
    const std::string sign = convention == Convention::bperp ? std::string() : "in " + owner + " sign convention";
    write_baseline_time_svg(stream, points, network, &parts, sign);
    if (file.commit(&problem)) return true;
  }
  print_problem(err, "can't write the plot to " + escaped(path) + ": " + problem);
  return false;
}

// The plot (from the points and network in the request's convention) and
// the exports (from those in this tool's own, which each turns into its
// readers'), each written whole or not at all; false when one could not be
// (each said on err, the others still written).
bool write_files(const StackRequest& request, const StackRun& run, const std::vector<NetworkPoint>& points,
                 const PairNetwork& network, const Connectivity& parts, const std::vector<NetworkPoint>& own_points,
                 const PairNetwork& own_network, std::FILE* err) {
  bool ok = true;
  if (!request.plot.empty() && !write_plot(request.plot, points, network, parts, request.convention, err)) ok = false;
  for (const Export& e : request.exports) {
    std::string problem;
    if (!write_export(e, run, own_points, own_network, &problem)) {
      print_problem(err, "can't write the export " + escaped(e.path) + ": " + problem);
      ok = false;
    }
  }
  return ok;
}

// The whole command; the failures it reports are its return value.
int run_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err) {
  const RequestOutcome outcome = build_request(argc, argv, in, out, err);
  if (!outcome.request) return outcome.status;
  const StackRequest& request = *outcome.request;

  Warnings warnings(err, request.quiet);
  OrbitCatalogue orbits;
  if (!read_orbits(request, orbits, warnings, err)) return 1;
  const StackRun run = run_stack(request.reference, request.secondaries, request.stack, &orbits);
  if (!report_run(request, run, warnings, err)) return 1;

  // The points in the convention shown, and in this tool's own for the
  // exports (the same points when the two are one).
  const ConventionSigns signs = convention_signs(request.convention, look_side(run.view));
  const std::vector<NetworkPoint> points = network_points(run, signs.perpendicular);
  std::optional<std::vector<NetworkPoint>> own;
  if (signs.perpendicular != 1.0) own = network_points(run);
  const std::vector<NetworkPoint>& own_points = own ? *own : points;
  const CoherenceModel model = coherence_model(run, request.bandwidth, request.coherence);
  if (!run_fits_request(request, run, own_points, model, warnings, err)) return 1;
  const auto network_of = [&](const std::vector<NetworkPoint>& of) {
    return request.pairs ? PairNetwork(of, request.limits, model) : PairNetwork::without_pairs(of, model);
  };
  const PairNetwork network = network_of(points);
  // The network's connectivity: reported with the pairs, and with
  // --require-connected a split network ends the run before anything is
  // printed.
  const Connectivity parts = request.pairs ? connectivity(network) : Connectivity{};
  if (!connected_where_required(request, points, parts, err)) return 1;

  if (!write_results(request, run, points, network, parts, warnings, out, err)) return 1;
  // The exports' network, when the points differ: the same pairs (every
  // limit and distance reads |B_perp| or its differences).
  std::optional<PairNetwork> own_network;
  if (own && !request.exports.empty()) own_network.emplace(network_of(*own));
  const bool written = write_files(request, run, points, network, parts, own_points,
                                   own_network ? *own_network : network, err);
  return run.all_ok() && written ? 0 : 1;
}

}  // namespace

int stack_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err) {
  // An exhausted heap is the one failure that can come from inside the
  // computation; it ends the run with its report and status 1.
  try {
    return run_command(argc, argv, in, out, err);
  } catch (const FatalError& e) {
    std::fputs(e.text(), err);
  } catch (const std::bad_alloc&) {
    print_problem(err, "out of memory");
  }
  return 1;
}

}  // namespace bperp::stack
