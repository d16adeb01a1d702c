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
// Predicted orbits are read but never chosen: extrapolated ahead of the
// tracking data, their error grows with the time they reach ahead, from
// metres to far more along the track, so they are no better than the orbit
// list a product's annotation already carries (the best orbit at hand when
// it was processed). Choosing one would print a baseline good to metres as
// if it held to the centimetre; an acquisition only a predicted file covers
// is refused instead, the refusal marking such files as not used.
constexpr const char* predicted_type = "AUX_PREORB";
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

// The warning of a folder's orbit file refused for reason (which starts
// with its path).
std::string skipped_text(const std::string& reason) {
  return "skipped the orbit file " + escaped(reason);
}

}  // namespace

bool OrbitCatalogue::add_file(const std::string& path, std::string* problem) {
  return add(path, true, problem);
}

bool OrbitCatalogue::add(const std::string& path, bool named, std::string* problem) {
  std::optional<S1OrbitFile> header = read_s1_orbit_file_header(path, problem);
  if (!header) return false;
  files_.push_back({path, named, std::move(*header)});
  return true;
}

bool OrbitCatalogue::add_directory(const std::string& dir, std::string* problem,
                                   std::vector<std::string>* warnings) {
  std::error_code error;
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 4 && name.substr(name.size() - 4) == ".EOF") paths.push_back(entry.path().string());
  }
  if (error) {
    *problem = "can't list the orbit folder " + dir + ": " + error.message();  // escaped by the caller
    return false;
  }
  std::sort(paths.begin(), paths.end());
  for (const std::string& p : paths) {
    std::string why;
    if (add(p, false, &why)) continue;
    ++skipped_;
    if (warnings != nullptr) warnings->push_back(skipped_text(why));
  }
  return true;
}

std::optional<S1OrbitFile> OrbitCatalogue::read_whole(const Entry& e, const OrbitWindow* window,
                                                      Reading& reading) const {
  std::string why;
  std::optional<S1OrbitFile> file = read_s1_orbit_file(e.path, &why, window);
  if (file) return file;
  if (e.named) {
    reading.error = why;
  } else {
    reading.skipped.push_back(skipped_text(why));
    reading.unreadable.emplace_back(&e, escaped(why));
  }
  return std::nullopt;
}

std::optional<ChosenOrbit> OrbitCatalogue::choose(const std::string& mission, UtcTime first, UtcTime last,
                                                  std::string* problem) const {
  const UtcTime from = add_seconds(first, -orbit_margin), to = add_seconds(last, orbit_margin);
  const auto covers = [&](const Entry& e) {
    return e.header.validity_start <= from && e.header.validity_stop >= to;
  };
  Reading reading;
  // A precise file first, the newest of those that cover; one that cannot
  // be read whole gives way to the next newest.
  std::vector<const Entry*> precise;
  for (const Entry& e : files_)
    if (e.header.mission == mission && e.header.file_type == precise_type && covers(e)) precise.push_back(&e);
  std::stable_sort(precise.begin(), precise.end(),
                   [](const Entry* a, const Entry* b) { return a->header.creation > b->header.creation; });
  const OrbitWindow window{from, to};
  for (const Entry* e : precise) {
    std::optional<S1OrbitFile> file = read_whole(*e, &window, reading);
    if (!reading.error.empty()) {
      *problem = reading.error;
      return std::nullopt;
    }
    if (!file) continue;
    ChosenOrbit chosen;
    chosen.orbit = cut(file->orbit, from, to);
    chosen.warnings = reading.skipped;
    chosen.warnings.insert(chosen.warnings.end(), file->warnings.begin(), file->warnings.end());
    return chosen;
  }

  // Restituted files that overlap the span, merged by time: the newer
  // file's vector where two differ.
  std::vector<const Entry*> restituted;
  for (const Entry& e : files_)
    if (e.header.mission == mission && e.header.file_type == restituted_type &&
        e.header.validity_start <= to && e.header.validity_stop >= from)
      restituted.push_back(&e);
  std::stable_sort(restituted.begin(), restituted.end(),
                   [](const Entry* a, const Entry* b) { return a->header.creation < b->header.creation; });
  struct Vector {
    StateVector state;
    std::string file;
  };
  // What two files say at the times both give a vector: one warning per
  // pair rather than one per time.
  struct Overlap {
    std::string older, newer;
    std::size_t shared = 0, differing = 0;
    UtcTime first{}, last{};  // of the differing vectors
    double largest = 0.0;     // km
  };
  std::map<UtcTime, Vector> merged;
  ChosenOrbit chosen;
  std::vector<std::string> merge_warnings;
  for (const Entry* e : restituted) {
    std::optional<S1OrbitFile> file = read_whole(*e, nullptr, reading);
    if (!reading.error.empty()) {
      *problem = reading.error;
      return std::nullopt;
    }
    if (!file) continue;
    merge_warnings.insert(merge_warnings.end(), file->warnings.begin(), file->warnings.end());
    std::vector<Overlap> overlaps;
    for (const OrbitRow& row : file->orbit.rows) {
      const UtcTime t = add_seconds(file->orbit.epoch, row.t);
      const auto emplaced = merged.emplace(t, Vector{row.state, file->orbit.source});
      if (emplaced.second) continue;
      const auto it = emplaced.first;  // a plain name: lambdas may not capture structured bindings in clang 14
      auto o = std::find_if(overlaps.begin(), overlaps.end(),
                            [&](const Overlap& x) { return x.older == it->second.file; });
      if (o == overlaps.end()) {
        overlaps.push_back(Overlap{it->second.file, file->orbit.source});
        o = overlaps.end() - 1;
      }
      ++o->shared;
      const double* p = it->second.state.position;
      const double d = std::hypot(p[0] - row.state.position[0], p[1] - row.state.position[1],
                                  p[2] - row.state.position[2]);
      if (d > same_position) {
        if (o->differing == 0) o->first = t;
        o->last = t;
        ++o->differing;
        o->largest = std::max(o->largest, d);
      }
      it->second = Vector{row.state, file->orbit.source};  // created later: wins
    }
    for (const Overlap& o : overlaps) {
      if (o.differing == 0) continue;
      const std::string metres = fixed_text(o.largest * units::metres_per_km, 3) + " m";
      merge_warnings.push_back(
          escaped(o.older) + " and " + escaped(o.newer) + " differ at " +
          (o.differing == 1 ? utc_text(o.first) + " by " + metres
                            : std::to_string(o.differing) + " of the " + std::to_string(o.shared) +
                                  " times both give, from " + span_text(o.first, o.last) +
                                  ", by up to " + metres) +
          ": the newer, " + escaped(o.newer) + ", is used");
    }
  }
  UtcTime covered_from{}, covered_to{};
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
    for (const Entry& e : files_) {
      if (e.header.mission != mission) continue;
      spans += std::string(spans.empty() ? "" : "; ") + e.header.file_type + " " +
               span_text(e.header.validity_start, e.header.validity_stop);
      const auto bad = std::find_if(reading.unreadable.begin(), reading.unreadable.end(),
                                    [&](const auto& u) { return u.first == &e; });
      if (bad != reading.unreadable.end()) spans += " (not used: " + bad->second + ")";
      else if (e.header.file_type == predicted_type) spans += " (not used: predicted)";
    }
    *problem = "no orbit file of " + mission + " covers " + span_text(from, to) + " (its time with " +
               fixed_text(orbit_margin, 0) + " s on either side); the files of " + mission + " cover " +
               (!spans.empty()  ? spans
                : skipped_ == 0 ? std::string("nothing: none is given")
                                : "nothing: none that can be read is given (" + std::to_string(skipped_) +
                                      (skipped_ == 1 ? " file" : " files") + " skipped)");
    return std::nullopt;
  }
  chosen.warnings = reading.skipped;
  chosen.warnings.insert(chosen.warnings.end(), merge_warnings.begin(), merge_warnings.end());
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
