#include "bperp/stack/inputs/orbit_catalogue.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>

#include "bperp/io/ascii_text.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/inputs/zipped_product.h"
#include "bperp/stack/support/escape.h"
#include "bperp/stack/support/number_text.h"
#include "bperp/stack/support/problem_text.h"

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

std::vector<std::string> OrbitCatalogue::paths() const {
  std::vector<std::string> paths;
  for (const Entry& e : files_) paths.push_back(e.path);
  return paths;
}

bool OrbitCatalogue::add_file(const std::string& path, std::string* problem) {
  asked_ = true;
  return add(path, true, problem, nullptr);
}

// The file at path: a zip's orbit files, else the orbit file itself.
bool OrbitCatalogue::add(const std::string& path, bool named, std::string* problem,
                         std::vector<std::string>* warnings) {
  if (zip_file(path)) return add_zip(path, named, problem, warnings);
  std::optional<S1OrbitFile> header = read_s1_orbit_file_header(path, problem);
  if (!header) return false;
  std::string source = header->orbit.source;
  files_.push_back({path, "", std::move(source), named, std::move(*header)});
  return true;
}

// The orbit files of the zip at path. Named: each must be one, and the zip
// must hold one. From a folder: a member that is none is skipped with a
// warning, and a zip without orbit files is some other zip.
bool OrbitCatalogue::add_zip(const std::string& path, bool named, std::string* problem,
                             std::vector<std::string>* warnings) {
  Refusal refused;
  const std::unique_ptr<ZipArchive> archive = ZipArchive::open(path, &refused);
  if (!archive) return fail(problem, refused.text);
  const std::vector<std::size_t> members = zip_orbit_members(*archive);
  if (members.empty() && named) return fail(problem, path + ": a zip holding no orbit file (*.EOF)");
  const std::string zip_name = std::filesystem::path(path).filename().string();
  for (const std::size_t k : members) {
    const std::string& member = archive->members()[k];
    std::string head, why;
    std::optional<S1OrbitFile> header;
    if (archive->read_head(k, orbit_header_bytes, head, &refused))
      header = parse_s1_orbit_file_header(head, zip_member_name(path, member), &why);
    else
      why = refused.text;
    if (!header) {
      if (named) return fail(problem, why);
      ++skipped_;
      if (warnings != nullptr) warnings->push_back(skipped_text(why));
      continue;
    }
    files_.push_back({path, member, zip_member_name(zip_name, member), named, std::move(*header)});
  }
  return true;
}

namespace {

// How deep below an orbit folder its sub-folders are looked into.
constexpr int max_orbit_folder_depth = 2;

// The files (*.EOF) and zips (*.zip) of dir and of its sub-folders down to
// max_orbit_folder_depth (links to folders not followed), into found; the
// entries listed counted in listed. False and *problem when the top folder
// can't be listed or too many entries are; a sub-folder that can't be
// listed, and one below the deepest looked into, is a warning.
bool list_orbit_folder(const std::filesystem::path& dir, int depth, std::vector<std::string>& found,
                       std::size_t& listed, std::string* problem, std::vector<std::string>* warnings) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::directory_iterator it(dir, error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    if (++listed > max_zip_entries)
      return fail(problem, "the orbit folder " + dir.string() + " holds more than " + std::to_string(max_zip_entries) +
                               " entries (its sub-folders counted); give a folder of fewer");
    const fs::directory_entry& entry = *it;
    const std::string name = entry.path().filename().string();
    std::error_code status_error;
    if (entry.symlink_status(status_error).type() == fs::file_type::directory) {
      if (depth == max_orbit_folder_depth) {
        if (warnings != nullptr)
          warnings->push_back("skipped the folder " + escaped(entry.path().string()) + ": orbit folders are looked "
                              "into " + std::to_string(max_orbit_folder_depth) + " levels of sub-folders deep");
      } else if (!list_orbit_folder(entry.path(), depth + 1, found, listed, problem, warnings)) {
        return false;
      }
      continue;
    }
    if (name.ends_with(".EOF") || lower(name).ends_with(".zip")) found.push_back(entry.path().string());
  }
  if (!error) return true;
  const std::string why = "can't list the orbit folder " + dir.string() + ": " + error.message();
  if (depth == 0) return fail(problem, why);  // escaped by the caller
  if (warnings != nullptr) warnings->push_back(escaped(why) + "; skipped");
  return true;
}

}  // namespace

bool OrbitCatalogue::add_directory(const std::string& dir, std::string* problem,
                                   std::vector<std::string>* warnings) {
  asked_ = true;
  std::vector<std::string> paths;
  std::size_t listed = 0;
  if (!list_orbit_folder(dir, 0, paths, listed, problem, warnings)) return false;
  std::sort(paths.begin(), paths.end());
  for (const std::string& p : paths) {
    std::string why;
    if (add(p, false, &why, warnings)) continue;
    ++skipped_;
    if (warnings != nullptr) warnings->push_back(skipped_text(why));
  }
  return true;
}

// The orbit file of e read whole (the vectors of window alone, when
// given), its orbit named e's source; for a zip's member, the zip opened
// again and the member read.
std::optional<S1OrbitFile> OrbitCatalogue::read_whole(const Entry& e, const OrbitWindow* window,
                                                      Reading& reading) const {
  std::string why;
  std::optional<S1OrbitFile> file;
  if (e.member.empty()) {
    file = read_s1_orbit_file(e.path, &why, window);
  } else {
    const std::string name = zip_member_name(e.path, e.member);
    Refusal refused;
    std::string bytes;
    const std::unique_ptr<ZipArchive> archive = ZipArchive::open(e.path, &refused);
    const std::vector<std::string> none;
    const std::vector<std::string>& members = archive ? archive->members() : none;
    const auto k = std::find(members.begin(), members.end(), e.member);
    if (archive && k == members.end())
      why = name + ": is no longer in the zip";
    else if (archive && archive->read(static_cast<std::size_t>(k - members.begin()), bytes, &refused))
      file = parse_s1_orbit_file(bytes, name, &why, window);
    else
      why = refused.text;
  }
  if (file) {
    file->orbit.source = e.source;
    return file;
  }
  if (e.named) {
    reading.error = why;
  } else {
    reading.skipped.push_back(skipped_text(why));
    reading.unreadable.emplace_back(&e, escaped(why));
  }
  return std::nullopt;
}

// The newest precise file of mission whose validity covers [from, to], cut
// to the window; one that cannot be read whole gives way to the next newest.
std::optional<ChosenOrbit> OrbitCatalogue::choose_precise(const std::string& mission, UtcTime from, UtcTime to,
                                                          Reading& reading) const {
  std::vector<const Entry*> precise;
  for (const Entry& e : files_)
    if (e.header.mission == mission && e.header.file_type == precise_type && e.header.validity_start <= from &&
        e.header.validity_stop >= to)
      precise.push_back(&e);
  std::stable_sort(precise.begin(), precise.end(),
                   [](const Entry* a, const Entry* b) { return a->header.creation > b->header.creation; });
  const OrbitWindow window{from, to};
  for (const Entry* e : precise) {
    std::optional<S1OrbitFile> file = read_whole(*e, &window, reading);
    if (!reading.error.empty()) return std::nullopt;
    if (!file) continue;
    ChosenOrbit chosen;
    chosen.orbit = cut(file->orbit, from, to);
    chosen.warnings = reading.skipped;
    chosen.warnings.insert(chosen.warnings.end(), file->warnings.begin(), file->warnings.end());
    return chosen;
  }
  return std::nullopt;
}

namespace {

// What two restituted files say at the times both give a vector: one
// warning per pair of files rather than one per time.
struct Overlap {
  std::string older, newer;
  std::size_t shared = 0, differing = 0;
  UtcTime first{}, last{};  // of the differing vectors
  double largest = 0.0;     // km
};

// The warning of an overlap whose files differ ("" when they agree).
std::string overlap_warning(const Overlap& o) {
  if (o.differing == 0) return {};
  const std::string metres = fixed_text(o.largest * units::metres_per_km, 3) + " m";
  return escaped(o.older) + " and " + escaped(o.newer) + " differ at " +
         (o.differing == 1 ? utc_text(o.first) + " by " + metres
                           : std::to_string(o.differing) + " of the " + std::to_string(o.shared) +
                                 " times both give, from " + span_text(o.first, o.last) + ", by up to " + metres) +
         ": the newer, " + escaped(o.newer) + ", is used";
}

// Whether the merged vectors reach over [from, to] without a gap wider
// than three of their usual steps.
template <typename Merged>
bool covers_without_gaps(const Merged& merged, UtcTime from, UtcTime to) {
  if (merged.empty() || merged.begin()->first > from || merged.rbegin()->first < to) return false;
  std::optional<UtcTime> previous;
  std::vector<double> steps;
  for (const auto& entry : merged) {
    const UtcTime t = entry.first;
    if (previous && t > from && *previous < to) steps.push_back(seconds_between(*previous, t));
    previous = t;
  }
  std::vector<double> sorted = steps;
  std::sort(sorted.begin(), sorted.end());
  const double typical = sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
  return std::none_of(steps.begin(), steps.end(), [&](double s) { return s > 3.0 * typical; });
}

}  // namespace

// The vectors of the restituted files of mission that overlap [from, to],
// merged by time (the newer file's vector where two differ), with the
// files' warnings and one for each pair of files that differ.
OrbitCatalogue::Merged OrbitCatalogue::merge_restituted(const std::string& mission, UtcTime from, UtcTime to,
                                                        Reading& reading) const {
  std::vector<const Entry*> restituted;
  for (const Entry& e : files_)
    if (e.header.mission == mission && e.header.file_type == restituted_type && e.header.validity_start <= to &&
        e.header.validity_stop >= from)
      restituted.push_back(&e);
  std::stable_sort(restituted.begin(), restituted.end(),
                   [](const Entry* a, const Entry* b) { return a->header.creation < b->header.creation; });
  Merged merged;
  for (const Entry* e : restituted) {
    std::optional<S1OrbitFile> file = read_whole(*e, nullptr, reading);
    if (!reading.error.empty()) return merged;
    if (!file) continue;
    merged.warnings.insert(merged.warnings.end(), file->warnings.begin(), file->warnings.end());
    std::vector<Overlap> overlaps;
    for (const OrbitRow& row : file->orbit.rows) {
      const UtcTime t = add_seconds(file->orbit.epoch, row.t);
      const auto emplaced = merged.vectors.emplace(t, MergedVector{row.state, file->orbit.source});
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
      it->second = MergedVector{row.state, file->orbit.source};  // created later: wins
    }
    for (const Overlap& o : overlaps)
      if (std::string w = overlap_warning(o); !w.empty()) merged.warnings.push_back(std::move(w));
  }
  return merged;
}

// Why no file of mission covers [from, to]: that span and the spans the
// files of the mission cover, those not used marked so with why.
std::string OrbitCatalogue::uncovered_text(const std::string& mission, UtcTime from, UtcTime to,
                                           const Reading& reading) const {
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
  return "no orbit file of " + mission + " covers " + span_text(from, to) + " (its time with " +
         fixed_text(orbit_margin, 0) + " s on either side); the files of " + mission + " cover " +
         (!spans.empty()  ? spans
          : skipped_ == 0 ? std::string("nothing: none is given")
                          : "nothing: none that can be read is given (" + std::to_string(skipped_) +
                                (skipped_ == 1 ? " file" : " files") + " skipped)");
}

namespace {

// The merged vectors as one orbit on the epoch of the first, named by the
// files they came from ("a+b"), cut to [from, to].
template <typename Vectors>
TimedOrbit merged_orbit(const Vectors& vectors, UtcTime from, UtcTime to) {
  TimedOrbit all;
  all.epoch = vectors.begin()->first;
  std::vector<std::string> sources;
  for (const auto& [t, v] : vectors) {
    OrbitRow row;
    row.t = seconds_between(all.epoch, t);
    row.state = v.state;
    all.rows.push_back(row);
    if (std::find(sources.begin(), sources.end(), v.file) == sources.end()) sources.push_back(v.file);
  }
  for (const std::string& s : sources) all.source += (all.source.empty() ? "" : "+") + s;
  return cut(all, from, to);
}

}  // namespace

std::optional<ChosenOrbit> OrbitCatalogue::choose(const std::string& mission, UtcTime first, UtcTime last,
                                                  Refusal* problem) const {
  const UtcTime from = add_seconds(first, -orbit_margin), to = add_seconds(last, orbit_margin);
  Reading reading;
  const auto unreadable = [&]() {
    refuse(problem, RefusalKind::unreadable, reading.error);
    return std::nullopt;
  };
  if (std::optional<ChosenOrbit> precise = choose_precise(mission, from, to, reading)) return precise;
  if (!reading.error.empty()) return unreadable();
  Merged merged = merge_restituted(mission, from, to, reading);
  if (!reading.error.empty()) return unreadable();
  if (!covers_without_gaps(merged.vectors, from, to)) {
    refuse(problem, RefusalKind::outside_orbit, uncovered_text(mission, from, to, reading));
    return std::nullopt;
  }
  ChosenOrbit chosen;
  chosen.warnings = reading.skipped;
  chosen.warnings.insert(chosen.warnings.end(), merged.warnings.begin(), merged.warnings.end());
  chosen.orbit = merged_orbit(merged.vectors, from, to);
  return chosen;
}

}  // namespace bperp::stack
