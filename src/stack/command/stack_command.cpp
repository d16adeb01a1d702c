#include "bperp/stack/command/stack_command.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "bperp/numeric/fatal_error.h"
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
bool read_orbits(const StackRequest& request, OrbitCatalogue& orbits, std::FILE* err) {
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
    for (const std::string& warning : skipped) print_warning(err, warning);
    if (!listed) {
      print_problem(err, escaped(problem));
      return false;
    }
  }
  return true;
}

// Says what the run found on err: its warnings, then why the reference or
// each unusable secondary failed. false when the reference failed (nothing
// more to do).
bool report_run(const StackRun& run, std::FILE* err) {
  for (const std::string& warning : run.warnings) print_warning(err, warning);
  if (run.refusal) {
    print_problem(err, run.refusal->text);
    return false;
  }
  for (const SecondaryResult& s : run.secondaries)
    if (!s.ok()) print_problem(err, s.refusal->text);
  return true;
}

// Whether the run gives what the request's network and exports need: dates
// where they are needed, what a stack folder needs, the range bandwidth for
// --min-coherence. false after a message on err.
bool run_fits_request(const StackRequest& request, const StackRun& run, const std::vector<NetworkPoint>& points,
                      const CoherenceModel& model, std::FILE* err) {
  if (!dates_where_needed(request, points, err)) return false;
  for (const Export& e : request.exports)
    if (const std::string problem = export_run_problem(e, run, request.inputs()); !problem.empty()) {
      print_problem(err, problem);
      return false;
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
// the network. false after a message on err when out can't take them.
bool write_results(const StackRequest& request, const StackRun& run, const std::vector<NetworkPoint>& points,
                   const PairNetwork& network, const Connectivity& parts, std::FILE* out, std::FILE* err) {
  switch (request.format) {
    case OutputFormat::table:
      write_stack_table(out, run);
      if (request.pairs) {
        write_pairs_table(out, points, network);
        write_network_summary(out, points, parts);
      }
      break;
    case OutputFormat::csv:
      if (request.pairs) {
        write_pairs_csv(out, points, network);
        // The CSV has no room for the connectivity report: a split network
        // is said on standard error, so that it does not pass unseen.
        if (!parts.connected())
          print_warning(err, "the pair network is split into " + std::to_string(parts.components.size()) +
                                 " parts; " + std::to_string(parts.bridges.size()) +
                                 " pairs would join them (--format table or json lists them)");
      } else {
        write_stack_csv(out, run);
      }
      break;
    case OutputFormat::json:
      if (request.pairs)
        write_json_with_pairs(out, run, points, network, parts);
      else
        write_json(out, run);
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
bool write_plot(const std::string& path, const std::vector<NetworkPoint>& points,
                const PairNetwork& network, const Connectivity& parts, std::FILE* err) {
  AtomicFile file;
  std::string problem;
  std::FILE* stream = file.open(path, &problem);
  if (stream != nullptr) {
    write_baseline_time_svg(stream, points, network, &parts);
    if (file.commit(&problem)) return true;
  }
  print_problem(err, "can't write the plot to " + escaped(path) + ": " + problem);
  return false;
}

// The plot and the exports, each written whole or not at all; false when
// one could not be (each said on err, the others still written).
bool write_files(const StackRequest& request, const StackRun& run, const std::vector<NetworkPoint>& points,
                 const PairNetwork& network, const Connectivity& parts, std::FILE* err) {
  bool ok = true;
  if (!request.plot.empty() && !write_plot(request.plot, points, network, parts, err)) ok = false;
  for (const Export& e : request.exports) {
    std::string problem;
    if (!write_export(e, run, points, network, &problem)) {
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

  OrbitCatalogue orbits;
  if (!read_orbits(request, orbits, err)) return 1;
  const StackRun run = run_stack(request.reference, request.secondaries, request.stack, &orbits);
  if (!report_run(run, err)) return 1;

  const std::vector<NetworkPoint> points = network_points(run);
  const CoherenceModel model = coherence_model(run, request.bandwidth, request.coherence);
  if (!run_fits_request(request, run, points, model, err)) return 1;
  const PairNetwork network = request.pairs ? PairNetwork(points, request.limits, model)
                                            : PairNetwork::without_pairs(points, model);
  // The network's connectivity: reported with the pairs, and with
  // --require-connected a split network ends the run before anything is
  // printed.
  const Connectivity parts = request.pairs ? connectivity(network) : Connectivity{};
  if (!connected_where_required(request, points, parts, err)) return 1;

  if (!write_results(request, run, points, network, parts, out, err)) return 1;
  const bool written = write_files(request, run, points, network, parts, err);
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
