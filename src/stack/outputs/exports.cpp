#include "bperp/stack/outputs/exports.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

#include "bperp/numeric/units.h"
#include "bperp/stack/outputs/output_file.h"
#include "bperp/stack/outputs/pair_output.h"
#include "bperp/stack/support/escape.h"
#include "bperp/stack/support/iso_date.h"

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

// The file at path written by fill(stream) through a temporary file.
template <typename Fill>
bool write_file(const std::string& path, Fill fill, std::string* problem) {
  AtomicFile file;
  std::FILE* stream = file.open(path, problem);
  if (stream == nullptr) return false;
  fill(stream);
  return file.commit(problem);
}

bool write_dates(std::FILE* out, const std::vector<NetworkPoint>& points, const PairNetwork& network) {
  network.for_each([&](const Pair& p) {
    const std::string line =
        compact_date(*points[p.first].day) + "_" + compact_date(*points[p.second].day) + "\n";
    std::fputs(line.c_str(), out);
  });
  return true;
}

void write_baselines(std::FILE* out, const std::vector<NetworkPoint>& points, const PairNetwork& network) {
  long reference_day = 0;
  for (const NetworkPoint& p : points)
    if (p.reference) reference_day = *p.day;
  const std::string reference = compact_date(reference_day);
  for (const std::size_t i : network.order()) {
    const NetworkPoint& p = points[i];
    const std::string line = reference + " " + compact_date(*p.day) + " " + format("%.2f", p.perpendicular) +
                             " " + std::to_string(*p.day - reference_day) + "\n";
    std::fputs(line.c_str(), out);
  }
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

bool write_stack_folder(const std::string& dir, const StackRun& run, std::string* problem) {
  std::vector<FolderEntry> entries;
  if (!folder_entries(run, &entries, problem)) return false;
  if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    *problem = std::strerror(errno);
    return false;
  }
  for (const FolderEntry& entry : entries) {
    const std::string folder = dir + "/" + entry.pair;
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
      *problem = folder + ": " + std::strerror(errno);
      return false;
    }
    double perpendicular = 0.0, parallel = 0.0;
    average_components(run, entry.secondary, &perpendicular, &parallel);
    // Bpar of those tools is (S - R) . U: minus ours.
    const std::string text = "Bperp (average): " + format("%.6f", perpendicular) + "\nBpar (average): " +
                             format("%.6f", -parallel) + "\n";
    if (!write_file(folder + "/" + entry.pair + ".txt", [&](std::FILE* f) { std::fputs(text.c_str(), f); },
                    problem))
      return false;
  }
  return true;
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

std::string export_run_problem(const Export& e, const StackRun& run, const std::vector<std::string>& inputs) {
  if (e.kind != ExportKind::stack_folder) return {};
  std::vector<FolderEntry> entries;
  std::string problem;
  if (!folder_entries(run, &entries, &problem)) return "can't write the export " + escaped(e.path) + ": " + problem;
  for (const FolderEntry& entry : entries) {
    const std::string folder = e.path + "/" + entry.pair;
    struct stat s;
    if (::stat(folder.c_str(), &s) != 0) continue;  // made by the run
    if (!S_ISDIR(s.st_mode)) return "the export " + escaped(folder) + " is not a folder";
    const std::string file = folder + "/" + entry.pair + ".txt";
    problem = output_path_problem(file, "the export " + escaped(file), inputs);
    if (!problem.empty()) return problem;
  }
  return {};
}

bool write_export(const Export& e, const StackRun& run, const std::vector<NetworkPoint>& points,
                  const PairNetwork& network, std::string* problem) {
  switch (e.kind) {
    case ExportKind::pairs:
      return write_file(e.path, [&](std::FILE* f) { write_pairs_csv(f, points, network); }, problem);
    case ExportKind::dates:
      return write_file(e.path, [&](std::FILE* f) { write_dates(f, points, network); }, problem);
    case ExportKind::baselines:
      return write_file(e.path, [&](std::FILE* f) { write_baselines(f, points, network); }, problem);
    case ExportKind::stack_folder:
      return write_stack_folder(e.path, run, problem);
  }
  return false;
}

}  // namespace bperp::stack
