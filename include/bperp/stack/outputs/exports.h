// Files for the next tools of a time-series chain (--export KIND:PATH),
// each in the sign convention of the processor whose files it imitates,
// whatever --convention says (geometry/convention.h):
//   pairs:PATH         the pairs as CSV, every per-pair column, in this
//                      tool's convention (a pair's perpendicular baseline the
//                      first's position minus the second's, across the
//                      reference's line of sight);
//   dates:PATH         one YYYYMMDD_YYYYMMDD line per pair, the earlier date
//                      first: an interferogram list (no numbers);
//   baselines:PATH     one line per acquisition, the reference included:
//                      REFDATE DATE BPERP DT (B_perp m with 2 decimals, DT
//                      days, negative before the reference), B_perp in the
//                      GAMMA tables' sign, which LiCSAR writes and LiCSBAS
//                      reads;
//   stack-folder:DIR   DIR/REFDATE_SECDATE/REFDATE_SECDATE.txt per
//                      secondary, with "Bperp (average): VALUE" and
//                      "Bpar (average): VALUE" (m) in ISCE's convention, as
//                      topsStack writes them and MintPy reads them; the
//                      average over the --grid points when there is a grid
//                      (refused, nothing written, when a secondary has no
//                      baseline at some of them), else the value at the
//                      target; and DIR/bperp-stack.json, the manifest: the
//                      reference, the tool, the convention and the entries
//                      written. A folder whose manifest names another
//                      reference, or that holds entries and no manifest, is
//                      refused; entries of the same reference are replaced.
// dates, baselines and stack-folder name acquisitions by their dates: two
// passes of one date are refused there. Every file is checked before
// anything is printed and written through a temporary file beside it, all
// of a run's together (output_file.h's OutputBatch).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bperp/stack/network/pairs.h"
#include "bperp/stack/outputs/output_file.h"
#include "bperp/stack/run/stack_run.h"

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
// after the run and before anything is printed: for the exports that name
// acquisitions by date, two of points (different passes) of one date; for
// a stack folder, a grid average over part of the grid, a manifest that
// names another reference, entries without a manifest, or a folder or file
// of it already there that cannot be written as output_path_problem says.
// Entries of the same reference that this run does not write again are
// left, and named in a warning to warnings. The acquisitions need dates.
std::string export_run_problem(const Export& e, const StackRun& run, const std::vector<NetworkPoint>& points,
                               const std::vector<std::string>& inputs, std::vector<std::string>* warnings);

// Stages the export's files into batch, to be written from run and from
// its points and network in this tool's convention (which must outlive the
// batch's writing): one file, or a stack folder's entries, each in its
// folder, and its manifest last. false on failure (batch.problem()).
bool stage_export(OutputBatch& batch, const Export& e, const StackRun& run, const std::vector<NetworkPoint>& points,
                  const PairNetwork& network);

}  // namespace bperp::stack
