#include "bperp/stack/command/stack_command.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "bperp/numeric/fatal_error.h"
#include "bperp/numeric/units.h"
#include "bperp/version.h"
#include "bperp/stack/command/options.h"
#include "bperp/stack/geometry/stack_run.h"
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
bool dates_where_needed(const Options& options, const std::vector<Export>& exports,
                        const std::vector<NetworkPoint>& points, std::FILE* err) {
  const bool dated_export =
      std::any_of(exports.begin(), exports.end(), [](const Export& e) { return e.kind != ExportKind::pairs; });
  const char* needed_by = !options.plot.empty()           ? "--plot"
                          : dated_export                  ? "--export"
                          : options.limits.max_days       ? "--max-days"
                          : options.limits.max_neighbours ? "--max-neighbours"
                          : options.limits.sequential     ? "--sequential"
                          : options.limits.annual         ? "--annual"
                          : options.limits.min_coherence  ? "--min-coherence"
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

// The input files, which no output may overwrite.
std::vector<std::string> input_files(const Options& options) {
  std::vector<std::string> inputs = options.secondaries;
  inputs.push_back(options.reference);
  if (!options.list.empty() && options.list != "-") inputs.push_back(options.list);
  return inputs;
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
  std::fprintf(err, "%s: can't write the plot to %s: %s\n", program_name, escaped(path).c_str(),
               problem.c_str());
  return false;
}

// The whole command; the failures it reports are its return value.
int run_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err) {
  Options options;
  const int parsed = parse_options(argc, argv, options, in, out, err);
  if (parsed >= 0) return parsed;

  if (const std::string problem = coherence_parameters_problem(options.coherence); !problem.empty()) {
    std::fprintf(err, "%s: %s\n", program_name, problem.c_str());
    return 1;
  }

  if (!options.plot.empty()) {
    const std::string problem =
        output_path_problem(options.plot, "the plot file " + escaped(options.plot), input_files(options));
    if (!problem.empty()) {
      std::fprintf(err, "%s: %s\n", program_name, problem.c_str());
      return 1;
    }
  }

  // The exports, checked before anything is printed.
  std::vector<Export> exports;
  for (const std::string& text : options.exports) {
    std::string problem;
    const std::optional<Export> e = parse_export(text, &problem);
    if (e) problem = export_path_problem(*e, input_files(options));
    if (!problem.empty()) {
      std::fprintf(err, "%s: %s\n", program_name, problem.c_str());
      return 1;
    }
    if ((e->kind == ExportKind::pairs || e->kind == ExportKind::dates) && !options.pairs) {
      std::fprintf(err, "%s: --export %s needs --pairs\n", program_name,
                   e->kind == ExportKind::pairs ? "pairs" : "dates");
      return 1;
    }
    exports.push_back(*e);
  }
  // No two outputs in one place, where the later would replace the earlier.
  std::vector<OutputPath> outputs;
  if (!options.plot.empty()) outputs.push_back({options.plot, "the plot file " + escaped(options.plot)});
  for (const Export& e : exports) outputs.push_back({e.path, "the export " + escaped(e.path)});
  if (const std::string problem = shared_output_problem(outputs); !problem.empty()) {
    std::fprintf(err, "%s: %s\n", program_name, problem.c_str());
    return 1;
  }

  OrbitCatalogue orbits;
  for (const std::string& file : options.orbit_files) {
    std::string problem;
    if (!orbits.add_file(file, &problem)) {
      std::fprintf(err, "%s: can't use the orbit file %s\n", program_name, escaped(problem).c_str());
      return 1;
    }
  }
  for (const std::string& dir : options.orbit_dirs) {
    std::string problem;
    std::vector<std::string> skipped;
    const bool listed = orbits.add_directory(dir, &problem, &skipped);
    for (const std::string& warning : skipped)
      std::fprintf(err, "%s: warning: %s\n", program_name, warning.c_str());
    if (!listed) {
      std::fprintf(err, "%s: %s\n", program_name, escaped(problem).c_str());
      return 1;
    }
  }
  options.stack.orbits = &orbits;
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
  if (!dates_where_needed(options, exports, points, err)) return 1;
  for (const Export& e : exports)
    if (const std::string problem = export_run_problem(e, run, input_files(options)); !problem.empty()) {
      std::fprintf(err, "%s: %s\n", program_name, problem.c_str());
      return 1;
    }
  // Without --pairs the network is empty (a limit no pair passes).
  PairLimits limits = options.limits;
  if (!options.pairs) limits.max_perpendicular = -1.0;
  limits.model = coherence_model(run, options.bandwidth, options.coherence);
  if (limits.min_coherence && !std::isfinite(limits.model.critical_baseline())) {
    std::fprintf(err, "%s: --min-coherence needs the range bandwidth, which the reference does not "
                      "give: give --range-bandwidth or --sensor\n", program_name);
    return 1;
  }
  const PairNetwork network(points, limits);

  // The network's connectivity: reported with the pairs, and with
  // --require-connected a split network ends the run before anything is
  // printed.
  Connectivity parts;
  if (options.pairs) parts = connectivity(network);
  if (options.require_connected && !parts.connected()) {
    std::fprintf(err, "%s: the pair network is split into %zu parts (--require-connected); %zu pairs "
                      "would join them, the first %s - %s\n",
                 program_name, parts.components.size(), parts.bridges.size(),
                 points[parts.bridges.front().first].name.c_str(),
                 points[parts.bridges.front().second].name.c_str());
    return 1;
  }

  switch (options.format) {
    case OutputFormat::table:
      write_stack_table(out, run);
      if (options.pairs) {
        write_pairs_table(out, points, network);
        write_network_summary(out, points, parts);
      }
      break;
    case OutputFormat::csv:
      if (options.pairs) {
        write_pairs_csv(out, points, network);
        // The CSV has no room for the connectivity report: a split network
        // is said on standard error, so that it does not pass unseen.
        if (!parts.connected())
          std::fprintf(err, "%s: warning: the pair network is split into %zu parts; %zu pairs would join them "
                            "(--format table or json lists them)\n",
                       program_name, parts.components.size(), parts.bridges.size());
      } else {
        write_stack_csv(out, run);
      }
      break;
    case OutputFormat::json:
      if (options.pairs) write_json_with_pairs(out, run, points, network, parts);
      else write_json(out, run);
      break;
  }
  if (std::fflush(out) != 0 || std::ferror(out)) {
    std::fprintf(err, "%s: can't write the results to standard output\n", program_name);
    return 1;
  }
  bool ok = run.all_ok();
  if (!options.plot.empty() && !write_plot(options.plot, points, network, parts, err)) ok = false;
  for (const Export& e : exports) {
    std::string problem;
    if (!write_export(e, run, points, network, &problem)) {
      std::fprintf(err, "%s: can't write the export %s: %s\n", program_name, escaped(e.path).c_str(),
                   problem.c_str());
      ok = false;
    }
  }
  return ok ? 0 : 1;
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
    std::fprintf(err, "%s: out of memory\n", program_name);
  }
  return 1;
}

}  // namespace bperp::stack
