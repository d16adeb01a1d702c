#include "bperp/stack/outputs/exports.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

#include "bperp/numeric/units.h"
#include "bperp/stack/geometry/convention.h"
#include "bperp/stack/outputs/json_writer.h"
#include "bperp/stack/outputs/output_file.h"
#include "bperp/stack/outputs/pair_output.h"
#include "bperp/stack/support/bounded_file.h"
#include "bperp/stack/support/escape.h"
#include "bperp/stack/support/iso_date.h"
#include "bperp/version.h"

namespace bperp::stack {

namespace {

// "YYYYMMDD" of a day number.
std::string compact_date(long day) {
  const CivilDate d = civil_from_days(day);
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", d.year, d.month, d.day);
  return text;
}

std::string format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

bool write_dates(std::FILE* out, const std::vector<NetworkPoint>& points, const PairNetwork& network) {
  network.for_each([&](const Pair& p) {
    const std::string line =
        compact_date(*points[p.first].day) + "_" + compact_date(*points[p.second].day) + "\n";
    std::fputs(line.c_str(), out);
  });
  return true;
}

// The lines of the baselines file, its perpendicular baselines (points'
// in this tool's convention) times sign.
void write_baselines(std::FILE* out, const std::vector<NetworkPoint>& points, const PairNetwork& network,
                     double sign) {
  long reference_day = 0;
  for (const NetworkPoint& p : points)
    if (p.reference) reference_day = *p.day;
  const std::string reference = compact_date(reference_day);
  for (const std::size_t i : network.order()) {
    const NetworkPoint& p = points[i];
    // + 0.0: the reference's zero times -1 is written 0.00, not -0.00.
    const std::string line = reference + " " + compact_date(*p.day) + " " +
                             format("%.2f", sign * p.perpendicular + 0.0) + " " +
                             std::to_string(*p.day - reference_day) + "\n";
    std::fputs(line.c_str(), out);
  }
}

// Why a file that names acquisitions by their dates alone can't take the
// points: two of them (different passes) share a date. "" when none do.
std::string shared_date_problem(const std::vector<NetworkPoint>& points) {
  std::map<long, const NetworkPoint*> first_of_day;
  for (const NetworkPoint& p : points) {
    if (!p.day) continue;
    const auto [it, added] = first_of_day.emplace(*p.day, &p);
    if (!added)
      return it->second->name + " and " + p.name + " are different passes of one date (" + day_text(p.day) +
             "), which a file naming acquisitions by date can't tell apart";
  }
  return {};
}

// The mean of a secondary's components (m) over the grid (tallied), or its
// values (NaN when no grid point has a baseline; write_stack_folder refuses
// a grid that is not complete before it comes here).
void average_components(const StackRun& run, std::size_t k, double* perpendicular, double* parallel) {
  if (!run.grid()) {
    *perpendicular = run.secondaries[k].baseline.perpendicular * units::metres_per_km;
    *parallel = run.secondaries[k].baseline.parallel * units::metres_per_km;
    return;
  }
  const GridSpread& g = run.grid_spreads[k];
  const double n = static_cast<double>(g.count);
  *perpendicular = g.count > 0 ? g.perpendicular_sum / n * units::metres_per_km : NAN;
  *parallel = g.count > 0 ? g.parallel_sum / n * units::metres_per_km : NAN;
}

// One folder of a stack folder: REFDATE_SECDATE, and the secondary's index.
struct FolderEntry {
  std::string pair;
  std::size_t secondary = 0;
};

// The folders of the usable secondaries of run (every acquisition dated),
// in the order given; false and *problem when two secondaries are of one
// date, which would share a folder, or when, with a grid, a secondary has
// no baseline at some of its points (its average would be over part of the
// grid).
bool folder_entries(const StackRun& run, std::vector<FolderEntry>* entries, std::string* problem) {
  for (std::size_t k = 0; k < run.grid_failures.size(); ++k)
    if (const SecondaryResult& s = run.secondaries[k]; s.ok() && run.grid_failures[k].count > 0) {
      *problem = s.acquisition().name + " has no baseline at " + std::to_string(run.grid_failures[k].count) +
                 " of the " +
                 std::to_string(run.grid()->targets()) + " grid points: no average over part of the grid is written";
      return false;
    }
  const std::string reference = compact_date(*run.reference.day);
  std::map<std::string, std::string> taken;  // folder -> secondary
  for (std::size_t k = 0; k < run.secondaries.size(); ++k) {
    const SecondaryResult& s = run.secondaries[k];
    if (!s.ok()) continue;
    const std::string pair = reference + "_" + compact_date(*s.acquisition().day);
    const auto [it, added] = taken.emplace(pair, s.acquisition().name);
    if (!added) {
      *problem = it->second + " and " + s.acquisition().name + " are of one date: both would be " + pair;
      return false;
    }
    entries->push_back({pair, k});
  }
  return true;
}

// The stack folder's manifest: which reference its entries are of, the
// tool that wrote them, their convention and the entries of the last run.
constexpr const char* manifest_name = "bperp-stack.json";
// Larger than any manifest this tool writes for a stack of 100,000 entries.
constexpr std::size_t max_manifest_bytes = std::size_t{16} << 20;

// What tells a reference from another in a manifest: its file's name
// without the folders (the same file named from elsewhere is the same
// reference) and its date.
struct ReferenceIdentity {
  std::string file;
  std::string date;
};
ReferenceIdentity reference_identity(const StackRun& run) {
  std::string path = run.reference.path;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.find_last_of('/');
  return {slash == std::string::npos ? path : path.substr(slash + 1), day_text(run.reference.day)};
}

// `"key": "value"` as the manifest writes it.
std::string json_member_text(std::string_view key, std::string_view value) {
  std::string text;
  append_json_string(text, key);
  text += ": ";
  append_json_string(text, value);
  return text;
}

void write_manifest(std::FILE* out, const StackRun& run, const std::vector<FolderEntry>& entries) {
  const ReferenceIdentity identity = reference_identity(run);
  JsonWriter json(out);
  json.begin_object();
  json.key("written_by");
  json.string(std::string("bperp-stack ") + BPERP_VERSION);
  json.key("reference");
  json.string(run.reference.name);
  json.key("reference_file");
  json.string(identity.file);
  json.key("reference_date");
  json.string(identity.date);
  json.key("convention");
  json.string(convention_name(Convention::isce));
  json.key("entries");
  json.begin_array();
  for (const FolderEntry& e : entries) json.string(e.pair);
  json.end_array();
  json.end_object();
  json.finish();
}

// The reference a manifest's text names, as its JSON string holds it
// (escaped for a message); "(none)" when it names none.
std::string named_reference(const std::string& manifest) {
  const std::string key = "\"reference\": \"";
  const std::size_t start = manifest.find(key);
  if (start == std::string::npos) return "(none)";
  const std::size_t first = start + key.size();
  std::size_t end = first;
  while (end < manifest.size() && manifest[end] != '"') end += manifest[end] == '\\' ? 2 : 1;
  return escaped(manifest.substr(first, std::min(end, manifest.size()) - first));
}

// Why the folder dir can't take run's entries: its manifest names another
// reference, or can't be read; or it holds entries and no manifest (of a
// reference unknown). "" when it can.
std::string folder_owner_problem(const std::string& dir, const StackRun& run,
                                 const std::vector<std::string>& on_disk) {
  const std::string path = dir + "/" + manifest_name;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    if (on_disk.empty()) return {};
    return "it holds " + on_disk.front() + " and no manifest (" + manifest_name +
           "), so their reference is not known; export into another folder";
  }
  std::size_t size = 0;
  std::string problem, text;
  const FileDescriptor file = open_regular(path, &size, &problem);
  if (!file.is_open() || size > max_manifest_bytes || !read_bytes(file.get(), size, path, text, &problem))
    return "its manifest " + escaped(path) + " can't be read" + (problem.empty() ? "" : ": " + escaped(problem));
  const ReferenceIdentity identity = reference_identity(run);
  if (text.find(json_member_text("reference_file", identity.file)) != std::string::npos &&
      text.find(json_member_text("reference_date", identity.date)) != std::string::npos)
    return {};
  return "its manifest names another reference, " + named_reference(text) +
         ", whose entries would mix with these; export into another folder";
}

// The entries (REFDATE_SECDATE folders) in dir, sorted; none when it does
// not exist.
std::vector<std::string> entries_on_disk(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(dir, error)) {
    const std::string name = item.path().filename().string();
    const bool entry = name.size() == 17 && name[8] == '_' &&
                       std::all_of(name.begin(), name.end(), [](char c) { return c == '_' || (c >= '0' && c <= '9'); });
    std::error_code kind;
    if (entry && item.is_directory(kind)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Stages the stack folder dir into batch: an entry folder and its file per
// usable secondary, then the manifest (committed last: a folder whose
// manifest is there holds every entry it names).
bool stage_stack_folder(OutputBatch& batch, const std::string& dir, const StackRun& run) {
  std::vector<FolderEntry> entries;
  std::string problem;
  if (!folder_entries(run, &entries, &problem))
    return batch.refuse("can't write the export " + escaped(dir) + ": " + problem, dir);
  const std::string name = "the export " + escaped(dir);
  const std::optional<std::size_t> top = batch.add_folder(dir, name);
  if (!top) return false;
  const ConventionSigns isce = convention_signs(Convention::isce, look_side(run.view));
  for (const FolderEntry& entry : entries) {
    const std::string folder = dir + "/" + entry.pair;
    const std::optional<std::size_t> below = batch.add_subfolder(*top, entry.pair, "the export " + escaped(folder));
    if (!below) return false;
    double perpendicular = 0.0, parallel = 0.0;
    average_components(run, entry.secondary, &perpendicular, &parallel);
    std::string text = "Bperp (average): " + format("%.6f", isce.perpendicular * perpendicular) +
                       "\nBpar (average): " + format("%.6f", isce.parallel * parallel) + "\n";
    const std::string file = entry.pair + ".txt";
    if (!batch.add_file_in(*below, file, "the export " + escaped(folder + "/" + file),
                           [text = std::move(text)](std::FILE* f, std::string*) {
                             return std::fputs(text.c_str(), f) >= 0;
                           }))
      return false;
  }
  return batch.add_file_in(*top, manifest_name, "the export " + escaped(dir + "/" + manifest_name),
                           [&run, entries](std::FILE* f, std::string*) {
                             write_manifest(f, run, entries);
                             return true;
                           });
}

}  // namespace

std::optional<Export> parse_export(const std::string& text, std::string* problem) {
  const std::size_t colon = text.find(':');
  const std::string kind = text.substr(0, colon);
  Export e;
  if (kind == "pairs") e.kind = ExportKind::pairs;
  else if (kind == "dates") e.kind = ExportKind::dates;
  else if (kind == "baselines") e.kind = ExportKind::baselines;
  else if (kind == "stack-folder") e.kind = ExportKind::stack_folder;
  else {
    *problem = "--export must be KIND:PATH with KIND pairs, dates, baselines or stack-folder, not " +
               escaped(text);
    return std::nullopt;
  }
  if (colon == std::string::npos || colon + 1 == text.size()) {
    *problem = "--export " + escaped(kind) + " needs a path: " + escaped(kind) + ":PATH";
    return std::nullopt;
  }
  e.path = text.substr(colon + 1);
  return e;
}

std::string export_path_problem(const Export& e, const std::vector<std::string>& inputs) {
  const std::string name = "the export " + escaped(e.path);
  if (e.kind != ExportKind::stack_folder) return output_path_problem(e.path, name, inputs);
  struct stat s;
  if (::stat(e.path.c_str(), &s) == 0) {
    if (!S_ISDIR(s.st_mode)) return name + " is not a folder";
    if (::access(e.path.c_str(), W_OK) != 0) return "can't write " + name + ": " + std::strerror(errno);
    return {};
  }
  // A folder to be made: its parent must take it.
  return output_path_problem(e.path, name, inputs);
}

std::string export_run_problem(const Export& e, const StackRun& run, const std::vector<NetworkPoint>& points,
                               const std::vector<std::string>& inputs, std::vector<std::string>* warnings) {
  const std::string cant = "can't write the export " + escaped(e.path) + ": ";
  if (e.kind == ExportKind::pairs) return {};
  if (std::string problem = shared_date_problem(points); !problem.empty()) return cant + problem;
  if (e.kind != ExportKind::stack_folder) return {};
  std::vector<FolderEntry> entries;
  std::string problem;
  if (!folder_entries(run, &entries, &problem)) return cant + problem;
  const std::vector<std::string> on_disk = entries_on_disk(e.path);
  if (problem = folder_owner_problem(e.path, run, on_disk); !problem.empty()) return cant + problem;
  std::set<std::string> written;
  for (const FolderEntry& entry : entries) written.insert(entry.pair);
  std::string left;
  for (const std::string& name : on_disk)
    if (!written.contains(name)) left += (left.empty() ? "" : ", ") + name;
  if (!left.empty() && warnings != nullptr)
    warnings->push_back("the export " + escaped(e.path) + " keeps " + left +
                        " of an earlier run with this reference: no secondary of this stack has that date");
  // What the folder already holds: no file read replaced, no link
  // followed. (Each file is checked again as it is staged.)
  struct stat made;
  if (::stat(e.path.c_str(), &made) != 0) return {};  // made by the run, with all in it
  const std::string manifest = e.path + "/" + manifest_name;
  const InputFiles read(inputs);
  if (problem = input_clash_problem(manifest, "the export " + escaped(manifest), read); !problem.empty())
    return problem;
  for (const FolderEntry& entry : entries) {
    const std::string folder = e.path + "/" + entry.pair;
    struct stat s;
    if (::lstat(folder.c_str(), &s) != 0) continue;  // made by the run
    if (S_ISLNK(s.st_mode))
      return "the export " + escaped(folder) + " is a symbolic link, which is not followed inside the folder";
    if (!S_ISDIR(s.st_mode)) return "the export " + escaped(folder) + " is not a folder";
    const std::string file = folder + "/" + entry.pair + ".txt";
    if (problem = input_clash_problem(file, "the export " + escaped(file), read); !problem.empty())
      return problem;
  }
  return {};
}

bool stage_export(OutputBatch& batch, const Export& e, const StackRun& run, const std::vector<NetworkPoint>& points,
                  const PairNetwork& network) {
  const std::string name = "the export " + escaped(e.path);
  switch (e.kind) {
    case ExportKind::pairs:
      return batch.add_file(e.path, name, [&](std::FILE* f, std::string*) {
        write_pairs_csv(f, points, network);
        return true;
      });
    case ExportKind::dates:
      return batch.add_file(e.path, name, [&](std::FILE* f, std::string*) { return write_dates(f, points, network); });
    case ExportKind::baselines: {
      const double gamma = convention_signs(Convention::gamma, look_side(run.view)).perpendicular;
      return batch.add_file(e.path, name, [&, gamma](std::FILE* f, std::string*) {
        write_baselines(f, points, network, gamma);
        return true;
      });
    }
    case ExportKind::stack_folder:
      return stage_stack_folder(batch, e.path, run);
  }
  return false;
}

}  // namespace bperp::stack
