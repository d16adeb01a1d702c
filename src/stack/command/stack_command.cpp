#include "bperp/stack/command/stack_command.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "bperp/numeric/fatal_error.h"
#include "bperp/stack/command/request.h"
#include "bperp/stack/run/grid.h"
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

// Why the acquisitions lack the date that --plot, the dated exports,
// --max-days, --max-neighbours, --sequential, --annual and --min-coherence
// (the model's temporal term) need, naming those without one; "" when each
// has its date or none is needed.
std::string undated_problem(const StackRequest& request, const std::vector<NetworkPoint>& points) {
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
  if (needed_by == nullptr || all_dated(points)) return {};
  std::string undated;
  for (const NetworkPoint& p : points)
    if (!p.day) undated += (undated.empty() ? "" : ", ") + p.name;
  return std::string(needed_by) +
         " needs the date of every acquisition (a header line starting with YYYY-MM-DD); no date in " + undated;
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

// Every file the run read, which no output may replace: those the request
// names, the orbit files of --orbit-dir, and the annotation each .SAFE
// folder was read from.
std::vector<std::string> files_read(const StackRequest& request, const StackRun& run, const OrbitCatalogue& orbits) {
  std::vector<std::string> files = request.inputs();
  const std::vector<std::string> orbit_files = orbits.paths();
  files.insert(files.end(), orbit_files.begin(), orbit_files.end());
  if (!run.reference.read_from.empty()) files.push_back(run.reference.read_from);
  for (const SecondaryResult& s : run.secondaries)
    if (!s.acquisition().read_from.empty()) files.push_back(s.acquisition().read_from);
  return files;
}

// Why an output would replace a file the run read ("" when none would):
// the plot and the exports' files, each compared (device and inode) with
// every file read. (A stack folder's files are checked by export_run_problem.)
std::string clash_problem(const StackRequest& request, const std::vector<std::string>& read) {
  if (!request.plot.empty())
    if (std::string problem = input_clash_problem(request.plot, "the plot file " + escaped(request.plot), read);
        !problem.empty())
      return problem;
  for (const Export& e : request.exports)
    if (e.kind != ExportKind::stack_folder)
      if (std::string problem = input_clash_problem(e.path, "the export " + escaped(e.path), read); !problem.empty())
        return problem;
  return {};
}

// Why the run does not give what the request's network and exports need
// ("" when it does): dates where they are needed, what a stack folder
// needs, the range bandwidth for --min-coherence; and why an output would
// replace a file the run read (read).
std::string unfit_problem(const StackRequest& request, const StackRun& run, const std::vector<NetworkPoint>& points,
                          const CoherenceModel& model, const std::vector<std::string>& read) {
  if (std::string problem = clash_problem(request, read); !problem.empty()) return problem;
  if (std::string problem = undated_problem(request, points); !problem.empty()) return problem;
  for (const Export& e : request.exports)
    if (std::string problem = export_run_problem(e, run, read); !problem.empty()) return problem;
  if (request.limits.min_coherence && !std::isfinite(model.critical_baseline()))
    return "--min-coherence needs the range bandwidth, which the reference does not give: give "
           "--range-bandwidth or --sensor";
  return {};
}

// With --require-connected, why a split network ends the run; "" otherwise.
std::string split_problem(const StackRequest& request, const std::vector<NetworkPoint>& points,
                          const Connectivity& parts) {
  if (!request.require_connected || parts.connected()) return {};
  return "the pair network is split into " + std::to_string(parts.components.size()) +
         " parts (--require-connected); " + std::to_string(parts.bridges.size()) +
         " pairs would join them, the first " + points[parts.bridges.front().first].name + " - " +
         points[parts.bridges.front().second].name;
}

// Whether the results write the rows of run's grid, each as it is worked out
// and tallied as it is written (the secondaries' CSV, the JSON), with the
// run's messages after them: not when the table or a stack folder needs the
// grid's tally first.
bool grid_streamed(const StackRequest& request, const StackRun& run) {
  const bool rows = request.format == OutputFormat::json || (request.format == OutputFormat::csv && !request.pairs);
  const bool folder = std::any_of(request.exports.begin(), request.exports.end(),
                                  [](const Export& e) { return e.kind == ExportKind::stack_folder; });
  return run.grid() && !run.refusal && rows && !folder;
}

// The results on out in the request's format: the stack, and with --pairs
// the network; a streamed grid tallied into tally. false when out can't
// take them.
bool write_results(const StackRequest& request, const StackRun& run, const std::vector<NetworkPoint>& points,
                   const PairNetwork& network, const Connectivity& parts, std::FILE* out, std::FILE* err,
                   GridTally* tally) {
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
        write_stack_csv(out, run, tally);
      }
      break;
    case OutputFormat::json:
      if (request.pairs)
        write_json_with_pairs(out, run, points, network, parts, tally);
      else
        write_json(out, run, tally);
      break;
  }
  return std::fflush(out) == 0 && !std::ferror(out);
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
  StackRun run = run_stack(request.reference, request.secondaries, request.stack, &orbits);
  // A grid is gone over once: tallied first (for the table, a stack
  // folder), or as its rows are written, its messages then said after them.
  const bool streamed = grid_streamed(request, run);
  if (run.grid() && !run.refusal && !streamed) tally_grid(run);
  if (!streamed && !report_run(run, err)) return 1;

  const std::vector<NetworkPoint> points = network_points(run);
  const CoherenceModel model = coherence_model(run, request.bandwidth, request.coherence);
  std::string problem = unfit_problem(request, run, points, model, files_read(request, run, orbits));
  const PairNetwork network = request.pairs && problem.empty() ? PairNetwork(points, request.limits, model)
                                                               : PairNetwork::without_pairs(points, model);
  // The network's connectivity: reported with the pairs, and with
  // --require-connected a split network ends the run before anything is
  // printed.
  const Connectivity parts = request.pairs && problem.empty() ? connectivity(network) : Connectivity{};
  if (problem.empty()) problem = split_problem(request, points, parts);
  if (!problem.empty()) {
    if (streamed) {
      tally_grid(run);
      report_run(run, err);
    }
    print_problem(err, problem);
    return 1;
  }

  GridTally tally(run);
  const bool results = write_results(request, run, points, network, parts, out, err, streamed ? &tally : nullptr);
  if (streamed) {
    tally.finish(run);
    report_run(run, err);
  }
  if (!results) {
    print_problem(err, "can't write the results to standard output");
    return 1;
  }
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
