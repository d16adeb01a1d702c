#include "bperp/stack/command/request_run.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "bperp/stack/command/input_choice.h"
#include "bperp/stack/command/option_use.h"
#include "bperp/stack/geometry/convention.h"
#include "bperp/stack/inputs/orbit_catalogue.h"
#include "bperp/stack/outputs/baseline_plot.h"
#include "bperp/stack/outputs/exports.h"
#include "bperp/stack/outputs/network_page.h"
#include "bperp/stack/outputs/output_file.h"
#include "bperp/stack/support/escape.h"

namespace bperp::stack {

namespace {

void warn(RequestRun& out, WarningKind kind, std::string text) {
  out.messages.push_back({true, kind, std::move(text)});
}

// Ends the run with a problem of kind, path the file concerned (if any).
void fail(RequestRun& out, RefusalKind kind, std::string text, std::string path = {}) {
  out.messages.push_back({false, WarningKind::duplicate_file, text});
  out.failure = RunFailure{kind, std::move(text), std::move(path)};
}

bool stop_requested(const StackRequest& request) {
  return request.stack.stop_requested && request.stack.stop_requested();
}

// The orbit files of --orbit and --orbit-dir, into orbits; false after a
// failure (an --orbit file that can't be used, a folder that can't be
// listed). Files of a folder that can't be read are warnings.
bool read_orbits(const StackRequest& request, OrbitCatalogue& orbits, RequestRun& out) {
  for (const std::string& file : request.orbit_files) {
    if (stop_requested(request)) return false;
    std::string problem;
    if (!orbits.add_file(file, &problem)) {
      fail(out, RefusalKind::malformed, "can't use the orbit file " + escaped(problem), file);
      return false;
    }
  }
  for (const std::string& dir : request.orbit_dirs) {
    if (stop_requested(request)) return false;
    std::string problem;
    std::vector<std::string> skipped;
    const bool listed = orbits.add_directory(dir, &problem, &skipped);
    for (std::string& warning : skipped) warn(out, WarningKind::orbit_file, std::move(warning));
    if (!listed) {
      fail(out, RefusalKind::unreadable, escaped(problem), dir);
      return false;
    }
  }
  return true;
}

// The run's warnings (where those of a grid still to be gone over go noted)
// and those of options it did not use, then why the reference
// (reference_file, the file named with its failure) or each unusable
// secondary failed; false after the reference's failure (nothing more to
// do).
bool report_run(const StackRequest& request, const std::string& reference_file, RequestRun& out) {
  out.grid_messages_at = out.messages.size() + out.run.grid_warnings_at;
  for (const Warning& w : out.run.warnings) warn(out, w.kind, w.text);
  for (std::string& w : unused_option_warnings(request, out.run)) warn(out, WarningKind::unused_option, std::move(w));
  if (out.run.refusal) {
    fail(out, out.run.refusal->kind, out.run.refusal->text, reference_file);
    return false;
  }
  for (const SecondaryResult& s : out.run.secondaries)
    if (!s.ok()) out.messages.push_back({false, WarningKind::duplicate_file, s.refusal->text});
  return true;
}

// Why the dates that --plot, --html, the dated exports, --max-days,
// --max-neighbours, --sequential, --annual, --min-coherence (the model's
// temporal term), --delaunay and --pairs-from need are missing: which
// acquisitions lack one ("" when
// every acquisition has its date or none is needed).
std::string missing_dates_problem(const StackRequest& request, const std::vector<NetworkPoint>& points) {
  const std::vector<Export>& exports = request.exports;
  const PairLimits& limits = request.limits;
  const bool dated_export =
      std::any_of(exports.begin(), exports.end(), [](const Export& e) { return e.kind != ExportKind::pairs; });
  const char* needed_by = !request.plot.empty()   ? "--plot"
                          : !request.html.empty() ? "--html"
                          : dated_export          ? "--export"
                          : limits.max_days       ? "--max-days"
                          : limits.max_neighbours ? "--max-neighbours"
                          : limits.sequential     ? "--sequential"
                          : limits.annual         ? "--annual"
                          : limits.min_coherence  ? "--min-coherence"
                          : limits.delaunay       ? "--delaunay"
                          : limits.listed         ? "--pairs-from"
                                                  : nullptr;
  if (needed_by == nullptr || all_dated(points)) return {};
  std::string undated;
  for (const NetworkPoint& p : points)
    if (!p.day) undated += (undated.empty() ? "" : ", ") + p.name;
  return std::string(needed_by) +
         " needs the date of every acquisition (a header line starting with YYYY-MM-DD); no date in " + undated;
}

// With --require-connected, false after a failure when the network is
// split.
bool connected_where_required(const StackRequest& request, RequestRun& out) {
  const Connectivity& parts = out.parts;
  if (!request.require_connected || parts.connected()) return true;
  const std::vector<NetworkPoint>& points = out.points;
  fail(out, RefusalKind::option,
       "the pair network is split into " + std::to_string(parts.components.size()) +
           " parts (--require-connected); " + std::to_string(parts.bridges.size()) +
           " pairs would join them, the first " + points[parts.bridges.front().first].name + " - " +
           points[parts.bridges.front().second].name);
  out.failure->split_network = true;
  return false;
}

// Why the plot, the page or an export's file would replace a file the run
// read ("" when none would). (A stack folder's files are checked by
// export_run_problem.)
std::string replaced_input_problem(const StackRequest& request, const std::vector<std::string>& inputs) {
  const InputFiles read(inputs);
  if (!request.plot.empty())
    if (std::string problem = input_clash_problem(request.plot, "the plot file " + escaped(request.plot), read);
        !problem.empty())
      return problem;
  if (!request.html.empty())
    if (std::string problem = input_clash_problem(request.html, "the page " + escaped(request.html), read);
        !problem.empty())
      return problem;
  for (const Export& e : request.exports)
    if (e.kind != ExportKind::stack_folder)
      if (std::string problem = input_clash_problem(e.path, "the export " + escaped(e.path), read); !problem.empty())
        return problem;
  return {};
}

// run_request's steps (see there), a grid left to the caller noted in out.
void run_steps(const StackRequest& request, const RunInputs& inputs, RequestRun& out, GridPass pass);

// "bperp's", "ISCE's", "GAMMA's": the words before the convention's
// description.
std::string convention_words(Convention convention) {
  const std::string text = convention_text(convention);
  return text.substr(0, text.find(':'));
}

}  // namespace

bool grid_written_as_results(const StackRequest& request) {
  return request.format == OutputFormat::json || (request.format == OutputFormat::csv && !request.pairs);
}

std::vector<std::string> files_read(const StackRequest& request, const StackRun& run,
                                    const std::vector<std::string>& orbit_files) {
  std::vector<std::string> files = request.inputs();
  files.insert(files.end(), orbit_files.begin(), orbit_files.end());
  files.insert(files.end(), run.found_files.begin(), run.found_files.end());
  return files;
}

void tally_left_grid(const StackRequest& request, RequestRun& out) {
  if (!out.grid_left) return;
  GridTally tally(out.run);
  if (!for_each_grid_result(
          out.run, [&](const GridPoint&, std::size_t k, const SecondaryResult& r) { tally.add(k, r); },
          request.stack.stop_requested))
    return;
  finish_grid(out, tally);
}

void finish_grid(RequestRun& r, const GridTally& tally) {
  const std::size_t before = r.run.warnings.size();
  tally.finish(r.run);
  const std::size_t added = r.run.warnings.size() - before;
  std::vector<RunMessage> said;
  for (std::size_t i = 0; i < added; ++i) {
    const Warning& w = r.run.warnings[r.run.grid_warnings_at + i];
    said.push_back({true, w.kind, w.text});
  }
  const std::size_t at = std::min(r.grid_messages_at, r.messages.size());
  r.messages.insert(r.messages.begin() + static_cast<std::ptrdiff_t>(at), said.begin(), said.end());
  r.grid_left = false;
}

std::string run_outputs_problem(const StackRequest& request, const RequestRun& r, std::vector<std::string>* notes) {
  if (std::string problem = replaced_input_problem(request, r.inputs_read); !problem.empty()) return problem;
  if (std::string problem = missing_dates_problem(request, r.export_points()); !problem.empty()) return problem;
  for (const Export& e : request.exports)
    if (std::string problem = export_run_problem(e, r.run, r.export_points(), r.inputs_read, notes);
        !problem.empty())
      return problem;
  if (request.limits.min_coherence && !std::isfinite(r.model.critical_baseline()))
    return "--min-coherence needs the range bandwidth, which the reference does not give: give "
           "--range-bandwidth or --sensor";
  return {};
}

bool stage_outputs(OutputBatch& batch, const StackRequest& request, const RequestRun& r) {
  const auto plot = [&request, &r](std::FILE* f, std::string* why) {
    return write_baseline_time_plot(f, plot_format_of(request.plot).value_or(PlotFormat::svg), request.plot_size,
                                    r.points, *r.network, &r.parts, convention_words(request.convention), why);
  };
  if (!request.plot.empty() && !batch.add_file(request.plot, "the plot file " + escaped(request.plot), plot))
    return false;
  const auto page = [&request, &r](std::FILE* f, std::string* why) {
    // The candidates within the request's limits (unless there are too
    // many), and the points in this tool's convention for the CSV's
    // values.
    const PairNetwork candidates(r.points, candidate_limits(request.limits), r.model);
    const PairNetwork own = PairNetwork::without_pairs(r.export_points(), r.model);
    PageContent content;
    content.points = &r.points;
    content.network = &*r.network;
    content.candidates = candidates.count() <= page_candidate_limit ? &candidates : nullptr;
    content.export_network = &own;
    content.sign = r.signs.perpendicular;
    content.convention = convention_words(request.convention);
    content.limits = candidate_limits(request.limits);
    content.paths = request.html_paths;
    return write_network_page(f, content, why);
  };
  if (!request.html.empty() && !batch.add_file(request.html, "the page " + escaped(request.html), page))
    return false;
  for (const Export& e : request.exports)
    if (!stage_export(batch, e, r.run, r.export_points(), r.export_network())) return false;
  return batch.check_space();
}

RunInputs file_inputs(const StackRequest& request) {
  return {StackInput(request.reference),
          std::vector<StackInput>(request.secondaries.begin(), request.secondaries.end())};
}

void run_request(const StackRequest& request, const RunInputs& inputs, RequestRun& out, GridPass pass) {
  run_steps(request, inputs, out, pass);
  if (out.failure) tally_left_grid(request, out);
}

namespace {

void run_steps(const StackRequest& request, const RunInputs& inputs, RequestRun& out, GridPass pass) {
  OrbitCatalogue orbits;
  if (!read_orbits(request, orbits, out)) {
    out.run.cancelled = !out.failure;
    return;
  }
  InputChoice choice = choose_inputs(request, inputs, &orbits);
  out.notes = choice_notes(choice);
  out.filters = request.filters.any();
  out.filtered = std::move(choice.filtered);
  out.reference_choice = std::move(choice.reference);
  for (std::string& w : choice.warnings) warn(out, WarningKind::reference_choice, std::move(w));
  if (choice.cancelled) {
    out.run.cancelled = true;
    return;
  }
  if (!choice.problem.empty()) {
    fail(out, RefusalKind::option, choice.problem);
    return;
  }
  const RunInputs& chosen = choice.inputs ? *choice.inputs : inputs;
  out.run = run_stack(chosen.reference, chosen.secondaries, request.stack, &orbits);
  out.inputs_read = files_read(request, out.run, orbits.paths());
  // A stack folder refuses an average over part of the grid before
  // anything is written: its checks need the tally.
  const bool folder = std::any_of(request.exports.begin(), request.exports.end(),
                                  [](const Export& e) { return e.kind == ExportKind::stack_folder; });
  if (folder) pass = GridPass::tallied;
  const bool grid = out.run.grid() && !out.run.refusal && !out.run.cancelled;
  if (grid && pass == GridPass::tallied && !tally_grid(out.run, request.stack.stop_requested))
    out.run.cancelled = true;
  out.grid_left = grid && pass == GridPass::by_caller;
  // The reference's file: as given, or the file read for the choice.
  const std::string reference_file =
      chooses_inputs(request) && chosen.reference.made ? chosen.reference.made->path : chosen.reference.path;
  if (!report_run(request, reference_file, out) || out.run.cancelled) return;

  // The points in the convention shown, and in this tool's own for the
  // exports (the same points when the two are one).
  out.signs = convention_signs(request.convention, look_side(out.run.view));
  out.points = network_points(out.run, out.signs.perpendicular);
  if (out.signs.perpendicular != 1.0) out.own_points = network_points(out.run);
  out.model = coherence_model(out.run, request.bandwidth, request.coherence);
  std::vector<std::string> notes;
  const std::string problem = run_outputs_problem(request, out, &notes);
  for (std::string& note : notes) warn(out, WarningKind::stale_export, std::move(note));
  if (!problem.empty()) {
    fail(out, RefusalKind::option, problem);
    return;
  }
  if (stop_requested(request)) {
    out.run.cancelled = true;
    return;
  }
  // The pairs of --pairs-from, by index into the points (the same in
  // either convention).
  IndexPairs listed;
  std::string unmatched;
  if (request.limits.listed && !match_listed_pairs(request.listed_pairs, out.points, listed, &unmatched)) {
    fail(out, RefusalKind::option, "--pairs-from " + escaped(request.pairs_from) + " " + unmatched);
    return;
  }
  const auto network_of = [&](std::optional<PairNetwork>& network, const std::vector<NetworkPoint>& of) {
    if (request.pairs) network.emplace(of, request.limits, out.model, listed);
    else network.emplace(PairNetwork::without_pairs(of, out.model));
  };
  network_of(out.network, out.points);
  // The exports' network, when the points differ: the same pairs (every
  // limit and distance reads |B_perp| or its differences).
  if (out.own_points && !request.exports.empty()) network_of(out.own_network, *out.own_points);
  // The page's candidates: too many, and it holds the network alone.
  if (!request.html.empty()) {
    const std::size_t n = PairNetwork(out.points, candidate_limits(request.limits), out.model).count();
    if (n > page_candidate_limit)
      warn(out, WarningKind::page_network_only,
           "the page embeds at most " + std::to_string(page_candidate_limit) + " candidate pairs, not " +
               std::to_string(n) + ": it holds the network alone (a smaller --max-perp or --max-days embeds them)");
  }
  if (stop_requested(request)) {
    out.run.cancelled = true;
    return;
  }
  // The network's connectivity: reported with the pairs, and with
  // --require-connected a split network ends the run before anything is
  // printed.
  if (request.pairs) out.parts = connectivity(*out.network);
  connected_where_required(request, out);
}

}  // namespace

}  // namespace bperp::stack
