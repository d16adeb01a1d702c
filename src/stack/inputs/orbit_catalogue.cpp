#include "bperp/stack/inputs/orbit_catalogue.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include "bperp/numeric/units.h"
#include "bperp/stack/support/escape.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

constexpr const char* precise_type = "AUX_POEORB";
constexpr const char* restituted_type = "AUX_RESORB";
// Two vectors of one time differ when their positions are this far apart,
// km (a micrometre: the files print to it).
constexpr double same_position = 1e-9;

// The rows of orbit whose times (UTC) lie in [from, to], on an epoch of
// their own, the source kept.
TimedOrbit cut(const TimedOrbit& orbit, UtcTime from, UtcTime to) {
  TimedOrbit out;
  out.source = orbit.source;
  const double a = seconds_between(orbit.epoch, from), b = seconds_between(orbit.epoch, to);
  bool first = true;
  double shift = 0.0;
  for (const OrbitRow& row : orbit.rows) {
    if (row.t < a || row.t > b) continue;
    if (first) {
      out.epoch = add_seconds(orbit.epoch, row.t);
      shift = row.t;
      first = false;
    }
    OrbitRow r = row;
    r.t = row.t - shift;
    out.rows.push_back(r);
  }
  return out;
}

std::string span_text(UtcTime a, UtcTime b) { return utc_text(a) + " to " + utc_text(b); }

}  // namespace

bool OrbitCatalogue::add_file(const std::string& path, std::string* problem) {
  std::optional<S1OrbitFile> header = read_s1_orbit_file_header(path, problem);
  if (!header) return false;
  files_.push_back({path, std::move(*header)});
  return true;
}

bool OrbitCatalogue::add_directory(const std::string& dir, std::string* problem) {
  std::error_code error;
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 4 && name.substr(name.size() - 4) == ".EOF") paths.push_back(entry.path().string());
  }
  if (error) {
    *problem = "can't list the orbit folder " + escaped(dir) + ": " + error.message();
    return false;
  }
  std::sort(paths.begin(), paths.end());
  for (const std::string& p : paths)
    if (!add_file(p, problem)) return false;
  return true;
}

std::optional<ChosenOrbit> OrbitCatalogue::choose(const std::string& mission, UtcTime first, UtcTime last,
                                                  std::string* problem) const {
  const UtcTime from = add_seconds(first, -orbit_margin), to = add_seconds(last, orbit_margin);
  const auto covers = [&](const Entry& e) {
    return e.header.validity_start <= from && e.header.validity_stop >= to;
  };
  // A precise file first, the newest of those that cover.
  const Entry* best = nullptr;
  for (const Entry& e : files_)
    if (e.header.mission == mission && e.header.file_type == precise_type && covers(e) &&
        (best == nullptr || e.header.creation > best->header.creation))
      best = &e;
  if (best != nullptr) {
    const OrbitWindow window{from, to};
    std::optional<S1OrbitFile> file = read_s1_orbit_file(best->path, problem, &window);
    if (!file) return std::nullopt;
    ChosenOrbit chosen;
    chosen.orbit = cut(file->orbit, from, to);
    chosen.warnings = file->warnings;
    return chosen;
  }

  // Restituted files that overlap the span, merged by time: the newer
  // file's vector where two differ.
  std::vector<const Entry*> restituted;
  for (const Entry& e : files_)
    if (e.header.mission == mission && e.header.file_type == restituted_type &&
        e.header.validity_start <= to && e.header.validity_stop >= from)
      restituted.push_back(&e);
  std::sort(restituted.begin(), restituted.end(),
            [](const Entry* a, const Entry* b) { return a->header.creation < b->header.creation; });
  struct Vector {
    StateVector state;
    std::string file;
  };
  std::map<UtcTime, Vector> merged;
  ChosenOrbit chosen;
  UtcTime covered_from{}, covered_to{};
  for (const Entry* e : restituted) {
    std::optional<S1OrbitFile> file = read_s1_orbit_file(e->path, problem);
    if (!file) return std::nullopt;
    chosen.warnings.insert(chosen.warnings.end(), file->warnings.begin(), file->warnings.end());
    for (const OrbitRow& row : file->orbit.rows) {
      const UtcTime t = add_seconds(file->orbit.epoch, row.t);
      const auto [it, added] = merged.emplace(t, Vector{row.state, file->orbit.source});
      if (added) continue;
      const double* p = it->second.state.position;
      const double d = std::hypot(p[0] - row.state.position[0], p[1] - row.state.position[1],
                                  p[2] - row.state.position[2]);
      if (d > same_position)
        chosen.warnings.push_back(escaped(it->second.file) + " and " + escaped(file->orbit.source) +
                                  " differ at " + utc_text(t) + " by " +
                                  fixed_text(d * units::metres_per_km, 3) + " m: the newer, " +
                                  escaped(file->orbit.source) + ", is used");
      it->second = Vector{row.state, file->orbit.source};  // created later: wins
    }
  }
  if (!merged.empty()) {
    covered_from = merged.begin()->first;
    covered_to = merged.rbegin()->first;
  }
  // The merged vectors must reach over the whole span, without a gap wider
  // than three of their steps.
  bool covered = !merged.empty() && covered_from <= from && covered_to >= to;
  if (covered) {
    std::optional<UtcTime> previous;
    std::vector<double> steps;
    for (const auto& [t, v] : merged) {
      if (previous && t > from && *previous < to) steps.push_back(seconds_between(*previous, t));
      previous = t;
    }
    std::vector<double> sorted = steps;
    std::sort(sorted.begin(), sorted.end());
    const double typical = sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
    for (const double s : steps)
      if (s > 3.0 * typical) covered = false;
  }
  if (!covered) {
    std::string spans;
    for (const Entry& e : files_)
      if (e.header.mission == mission)
        spans += std::string(spans.empty() ? "" : "; ") + e.header.file_type + " " +
                 span_text(e.header.validity_start, e.header.validity_stop);
    *problem = "no orbit file of " + mission + " covers " + span_text(from, to) + " (its time with " +
               fixed_text(orbit_margin, 0) + " s on either side); the files of " + mission + " cover " +
               (spans.empty() ? std::string("nothing: none is given") : spans);
    return std::nullopt;
  }
  TimedOrbit all;
  all.epoch = merged.begin()->first;
  std::vector<std::string> sources;
  for (const auto& [t, v] : merged) {
    OrbitRow row;
    row.t = seconds_between(all.epoch, t);
    row.state = v.state;
    all.rows.push_back(row);
    if (std::find(sources.begin(), sources.end(), v.file) == sources.end()) sources.push_back(v.file);
  }
  for (const std::string& s : sources) all.source += (all.source.empty() ? "" : "+") + s;
  chosen.orbit = cut(all, from, to);
  return chosen;
}

}  // namespace bperp::stack
