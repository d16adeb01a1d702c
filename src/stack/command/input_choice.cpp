#include "bperp/stack/command/input_choice.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include <sys/stat.h>

#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/network/pairs.h"
#include "bperp/stack/support/escape.h"
#include "bperp/stack/support/iso_date.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

using Read = std::shared_ptr<const Acquisition>;

// How many candidates the notes show.
constexpr std::size_t candidates_shown = 5;

std::string date_text(long day) { return iso_date_text(civil_from_days(day)); }

// The given inputs read, the reference first: a file by the reader of its
// part (the reference's, which refuses an undated orbit, where it stays
// the reference), one made in memory as it is.
std::vector<Read> read_all(const StackRequest& request, const RunInputs& given) {
  std::vector<Read> all;
  const auto read = [&](const StackInput& input, bool as_reference) {
    if (input.made) return input.made;
    const ReadOptions options = read_options(request.stack);
    return std::make_shared<const Acquisition>(as_reference ? read_reference(input.path, options)
                                                            : read_secondary(input.path, options));
  };
  all.push_back(read(given.reference, !request.choose_reference));
  for (const StackInput& s : given.secondaries) all.push_back(read(s, false));
  return all;
}

// The first filter option given, for messages.
const char* first_filter(const DateFilters& f) {
  return f.start ? "--start" : f.end ? "--end" : !f.excluded.empty() ? "--exclude" : "--months";
}

// Whether a is the file at path (by device and inode), or was given as it.
bool is_file(const Acquisition& a, const std::string& path) {
  struct stat s;
  if (a.path == path) return true;
  return a.identity && ::stat(path.c_str(), &s) == 0 && a.identity->first == s.st_dev &&
         a.identity->second == s.st_ino;
}

// Whether a is the reference --reference DATE|PATH names.
bool named_reference(const ReferenceRequest& r, const Acquisition& a) {
  if (r.by == ReferenceRequest::By::path) return is_file(a, r.path);
  return r.by == ReferenceRequest::By::date && a.day == r.day;
}

// Why a cannot serve as the reference of the request's run ("" when it
// can): unusable, an orbit without a date, or a geometry the options can't
// give (a dated orbit without --at-range, ...).
std::string reference_problem(const StackRequest& request, const Read& a, const OrbitCatalogue* orbits) {
  if (a->refusal) return a->refusal->text;
  if (a->kind == AcquisitionKind::orbit && !a->day)
    return a->name + " is an orbit without a date in its header; the reference needs one";
  StackOptions options = request.stack;
  options.grid.reset();
  const StackRun start = start_stack(StackInput(a), options, orbits);
  return start.refusal ? start.refusal->text : std::string();
}

// Leaves out of all what the filters leave out, into choice; false after a
// problem.
bool apply_filters(const StackRequest& request, std::vector<Read>& all, InputChoice& choice) {
  const DateFilters& filters = request.filters;
  if (!filters.any()) return true;
  std::vector<Read> kept;
  for (std::size_t k = 0; k < all.size(); ++k) {
    const Acquisition& a = *all[k];
    if (a.refusal) {
      kept.push_back(all[k]);  // shown as refused, as without filters
      continue;
    }
    if (!a.day) {
      choice.problem = std::string(first_filter(filters)) +
                       " needs the date of every acquisition (a header line starting with YYYY-MM-DD); no date in " +
                       a.name;
      return false;
    }
    const std::string filter = filter_leaving_out(filters, *a.day);
    if (filter.empty()) {
      kept.push_back(all[k]);
      continue;
    }
    const bool positional = k == 0 && !request.choose_reference;
    if (positional || (request.choose_reference && named_reference(*request.choose_reference, a))) {
      choice.problem = filter + " leaves out the reference " + a.name + " (" + date_text(*a.day) + ")" +
                       (positional ? "" : ", which --reference " + escaped(request.choose_reference->text) + " names");
      return false;
    }
    choice.filtered.push_back({a.name, *a.day, filter});
  }
  all = std::move(kept);
  return true;
}

// The index in all of the reference --reference DATE|PATH names; all.size()
// after a problem.
std::size_t named_index(const StackRequest& request, const std::vector<Read>& all, const OrbitCatalogue* orbits,
                        InputChoice& choice) {
  const ReferenceRequest& r = *request.choose_reference;
  const auto found = std::find_if(all.begin(), all.end(), [&](const Read& a) { return named_reference(r, *a); });
  if (found == all.end()) {
    choice.problem = "--reference " + escaped(r.text) + ": " +
                     (r.by == ReferenceRequest::By::date ? "no input is of " + date_text(r.day)
                                                         : std::string("that file is none of the inputs"));
    return all.size();
  }
  if (std::string problem = reference_problem(request, *found, orbits); !problem.empty()) {
    choice.problem = "--reference " + escaped(r.text) + " can't serve as the reference: " + problem;
    return all.size();
  }
  return static_cast<std::size_t>(found - all.begin());
}

// The index in all of the best reference by the request's criterion, the
// scores into choice; all.size() after a problem or when cancelled.
std::size_t best_index(const StackRequest& request, const std::vector<Read>& all, const OrbitCatalogue* orbits,
                       InputChoice& choice) {
  const auto stopped = [&]() { return request.stack.stop_requested && request.stack.stop_requested(); };
  std::vector<bool> can_serve(all.size());
  std::string first_problem;
  for (std::size_t k = 0; k < all.size(); ++k) {
    if (stopped()) {
      choice.cancelled = true;
      return all.size();
    }
    const std::string problem = reference_problem(request, all[k], orbits);
    can_serve[k] = problem.empty();
    if (first_problem.empty()) first_problem = problem;
  }
  const auto geometry = static_cast<std::size_t>(std::find(can_serve.begin(), can_serve.end(), true) - can_serve.begin());
  if (geometry == all.size()) {
    choice.problem = "--reference auto: no input can serve as the reference; the first: " + first_problem;
    return all.size();
  }
  // One run in the geometry of the first that can serve, without a grid.
  StackOptions options = request.stack;
  options.grid.reset();
  std::vector<StackInput> others;
  for (std::size_t k = 0; k < all.size(); ++k)
    if (k != geometry) others.emplace_back(all[k]);
  const StackRun run = run_stack(StackInput(all[geometry]), others, options, orbits);
  if (run.cancelled) {
    choice.cancelled = true;
    return all.size();
  }
  const std::vector<NetworkPoint> points = network_points(run);
  if (!all_dated(points)) {
    std::string undated;
    for (const NetworkPoint& p : points)
      if (!p.day) undated += (undated.empty() ? "" : ", ") + p.name;
    choice.problem = "--reference auto needs the date of every acquisition (a header line starting with "
                     "YYYY-MM-DD); no date in " + undated;
    return all.size();
  }
  // Each point's input: the first of its name.
  std::vector<std::size_t> input_of(points.size(), geometry);
  for (std::size_t i = 1; i < points.size(); ++i)
    input_of[i] = static_cast<std::size_t>(
        std::find_if(all.begin(), all.end(), [&](const Read& a) { return a->name == points[i].name; }) - all.begin());
  std::vector<std::size_t> candidates;
  for (std::size_t i = 0; i < points.size(); ++i)
    if (input_of[i] < all.size() && can_serve[input_of[i]]) candidates.push_back(i);

  ReferenceChoice& report = choice.reference.emplace();
  report.asked = report.used = request.choose_reference->criterion;
  report.geometry = points.front().name;
  const CoherenceModel model = coherence_model(run, request.bandwidth, request.coherence);
  if (report.used == ReferenceCriterion::coherence && !std::isfinite(model.critical_baseline())) {
    report.used = ReferenceCriterion::distance;
    choice.warnings.push_back("--reference auto: the coherence needs the range bandwidth, which " + report.geometry +
                              " does not give (--range-bandwidth or --sensor): chosen by distance instead");
  }
  const std::vector<ReferenceScore> scores =
      reference_scores(points, candidates, report.used, request.limits.scale, model);
  for (const ReferenceScore& s : scores) report.scores.push_back({points[s.point].name, points[s.point].day, s.score});
  return input_of[scores.front().point];
}

}  // namespace

bool chooses_inputs(const StackRequest& request) { return request.choose_reference || request.filters.any(); }

InputChoice choose_inputs(const StackRequest& request, const RunInputs& given, const OrbitCatalogue* orbits) {
  InputChoice choice;
  if (!chooses_inputs(request)) {
    choice.inputs = given;
    return choice;
  }
  std::vector<Read> all = read_all(request, given);
  if (!apply_filters(request, all, choice)) return choice;
  std::size_t reference = 0;
  if (request.choose_reference) {
    reference = request.choose_reference->by == ReferenceRequest::By::criterion
                    ? best_index(request, all, orbits, choice)
                    : named_index(request, all, orbits, choice);
    if (reference == all.size()) return choice;
  }
  choice.inputs = RunInputs{StackInput(all[reference]), {}};
  for (std::size_t k = 0; k < all.size(); ++k)
    if (k != reference) choice.inputs->secondaries.emplace_back(all[k]);
  return choice;
}

std::vector<std::string> choice_notes(const InputChoice& choice) {
  std::vector<std::string> notes;
  if (!choice.filtered.empty()) {
    std::string text = count_text(choice.filtered.size(), "acquisition", "acquisitions") + " left out by date:";
    for (const FilteredAcquisition& f : choice.filtered)
      text += (&f == &choice.filtered.front() ? " " : ", ") + f.name + " (" + date_text(f.day) + ", " + f.filter + ")";
    notes.push_back(text);
  }
  if (const std::optional<ReferenceChoice>& r = choice.reference) {
    notes.push_back("reference " + r->scores.front().name + ", the best of " +
                    count_text(r->scores.size(), "candidate", "candidates") + " by " + criterion_name(r->used) + " (" +
                    criterion_meaning(r->used) + "; in the geometry of " + r->geometry + "):");
    for (std::size_t k = 0; k < std::min(candidates_shown, r->scores.size()); ++k) {
      const ReferenceChoice::Candidate& c = r->scores[k];
      notes.push_back("  " + std::to_string(k + 1) + ". " + c.name + "  " + (c.day ? date_text(*c.day) : "") + "  " +
                      fixed_text(c.score, 4));
    }
  }
  return notes;
}

}  // namespace bperp::stack
