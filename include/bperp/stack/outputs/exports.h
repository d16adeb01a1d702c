// Files for the next tools of a time-series chain (--export KIND:PATH):
//   pairs:PATH         the pairs as CSV, every per-pair column;
//   dates:PATH         one YYYYMMDD_YYYYMMDD line per pair, the earlier date
//                      first: an interferogram list;
//   baselines:PATH     one line per acquisition, the reference included:
//                      REFDATE DATE BPERP DT (B_perp m with 2 decimals, DT
//                      days, negative before the reference);
//   stack-folder:DIR   DIR/REFDATE_SECDATE/REFDATE_SECDATE.txt per
//                      secondary, with "Bperp (average): VALUE" and
//                      "Bpar (average): VALUE" (m) as stack processors write
//                      them: Bperp our perpendicular, Bpar minus our parallel;
//                      the average over the --grid points when there is a
//                      grid (refused, nothing written, when a secondary has
//                      no baseline at some of them), else the value at the
//                      target.
// Every file is checked before anything is printed and written through a
// temporary file beside it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bperp/stack/run/stack_run.h"
#include "bperp/stack/network/pairs.h"

namespace bperp::stack {

enum class ExportKind { pairs, dates, baselines, stack_folder };

struct Export {
  ExportKind kind = ExportKind::pairs;
  std::string path;
};

// KIND:PATH; nullopt and *problem for another kind or an empty path.
std::optional<Export> parse_export(const std::string& text, std::string* problem);

// Why the export cannot be written there ("" when it can), checked before
// the run: as output_path_problem for a file; for a folder, an existing
// non-folder, or a parent that cannot be written.
std::string export_path_problem(const Export& e, const std::vector<std::string>& inputs);

// Why the export cannot take what run gives ("" when it can), checked
// after the run and before anything is printed: for a stack folder, two
// secondaries of one date (one folder for both), or a folder or file of it
// already there that cannot be written as output_path_problem says. The
// acquisitions need dates.
std::string export_run_problem(const Export& e, const StackRun& run, const std::vector<std::string>& inputs);

// Writes the export; false and *problem on failure (nothing left behind but
// the folder's complete files).
bool write_export(const Export& e, const StackRun& run, const std::vector<NetworkPoint>& points,
                  const PairNetwork& network, std::string* problem);

}  // namespace bperp::stack
