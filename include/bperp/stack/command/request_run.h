// What bperp-stack runs for a request, shared by the command and the Python
// module: the orbit files read, the stack run, the points, the pair
// network and its connectivity, and every message in the order the command
// prints them; the outputs are left to the caller.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bperp/stack/command/request.h"
#include "bperp/stack/geometry/convention.h"
#include "bperp/stack/network/coherence.h"
#include "bperp/stack/network/connectivity.h"
#include "bperp/stack/network/date_filter.h"
#include "bperp/stack/network/pairs.h"
#include "bperp/stack/outputs/output_file.h"
#include "bperp/stack/run/grid.h"
#include "bperp/stack/network/reference_choice.h"
#include "bperp/stack/outputs/choice_output.h"
#include "bperp/stack/run/stack_run.h"
#include "bperp/stack/support/refusal.h"
#include "bperp/stack/support/warning.h"

namespace bperp::stack {

// One message of a run: a warning (of its kind) or a problem, one line
// naming the files.
struct RunMessage {
  bool warning = false;
  WarningKind kind = WarningKind::duplicate_file;  // a warning's
  std::string text;
};

// Why a run ended before its results: its kind and text (the last problem
// of the messages), the file concerned when a file could not be used (the
// reference, an orbit file or folder), and whether it is a network split
// under require_connected.
struct RunFailure {
  RefusalKind kind = RefusalKind::option;
  std::string text;
  std::string path;
  bool split_network = false;
};

// The inputs of a run: the reference and the secondaries, files or
// acquisitions made in memory.
struct RunInputs {
  StackInput reference;
  std::vector<StackInput> secondaries;
};

// The request's reference and secondaries, as files.
RunInputs file_inputs(const StackRequest& request);

// One request's run. Not copied or moved: the network refers to the points.
struct RequestRun {
  RequestRun() = default;
  RequestRun(const RequestRun&) = delete;
  RequestRun& operator=(const RequestRun&) = delete;

  StackRun run;
  // What the date filters left out, how --reference auto chose, and the
  // notes that say so on standard error (input_choice.h).
  std::vector<FilteredAcquisition> filtered;
  std::optional<ReferenceChoice> reference_choice;
  std::vector<std::string> notes;
  bool filters = false;  // date filters were given (filtered is then reported, even empty)
  // The choices for the JSON document.
  RunChoices choices() const {
    return {filters ? &filtered : nullptr, reference_choice ? &*reference_choice : nullptr};
  }
  // The signs that put the run's baselines into the request's convention.
  ConventionSigns signs{};
  // The reference, then every usable secondary, in the request's convention.
  std::vector<NetworkPoint> points;
  CoherenceModel model;
  std::optional<PairNetwork> network;  // the pairs asked for, or the points alone
  // The points and network in this tool's own convention, for the exports
  // (which turn them into their readers'), when the request's differs.
  std::optional<std::vector<NetworkPoint>> own_points;
  std::optional<PairNetwork> own_network;
  Connectivity parts;                  // with pairs: the network's parts
  std::vector<RunMessage> messages;    // in the order they arose
  std::optional<RunFailure> failure;   // set when the run ended before its results
  // Every file the run read, which no output may replace (files_read).
  std::vector<std::string> inputs_read;
  // The run's grid is the caller's to go over (GridPass::by_caller), and
  // where among the messages its warnings go (finish_grid).
  bool grid_left = false;
  std::size_t grid_messages_at = 0;
  bool cancelled() const { return run.cancelled; }
  // The run gave its results (no failure, not cancelled).
  bool finished() const { return !failure && !run.cancelled; }
  // The points and network the exports are made of.
  const std::vector<NetworkPoint>& export_points() const { return own_points ? *own_points : points; }
  const PairNetwork& export_network() const { return own_network ? *own_network : *network; }
};

// Who goes over a run's grid (grid.h): run_request, tallying it before it
// returns, or the caller, once, as it writes the grid's rows (a GridTally
// given to finish_grid after; RequestRun::grid_left). run_request tallies
// it itself all the same when a stack folder's checks need the tally, and
// when the run ends before its results (so that its messages are whole).
enum class GridPass { tallied, by_caller };

// Whether the request's results on standard output go over the run's grid
// as they are written (the secondaries' CSV, the JSON), so that the command
// may leave the grid to them: not the table (its spread needs the tally
// first) or the CSV of the pairs (no grid).
bool grid_written_as_results(const StackRequest& request);

// Every file a run of request read, which no output may replace: the
// files the request names (StackRequest::inputs), the orbit files of
// --orbit-dir, and those the run found to read (run.found_files).
std::vector<std::string> files_read(const StackRequest& request, const StackRun& run,
                                    const std::vector<std::string>& orbit_files);

// Runs request over inputs into out: the orbit files of --orbit and
// --orbit-dir, the inputs the date filters and --reference choose
// (input_choice.h), the stack, the options it did not use (warnings), and when
// the reference was usable, the checks
// that the run gives what the network and the outputs need (dates, a stack
// folder's, the range bandwidth of --min-coherence), the network (the
// pairs of --pairs-from matched to the acquisitions) and, with
// pairs, its connectivity (a split network a failure under
// --require-connected). The grid is gone over as pass says. Stops early,
// cancelled, when the request's stack.stop_requested says so (between
// orbit files, secondaries, grid points and the steps after).
void run_request(const StackRequest& request, const RunInputs& inputs, RequestRun& out,
                 GridPass pass = GridPass::tallied);

// After the caller went over a grid left to it with tally (every result
// added): the tallies into r.run and the grid's warnings among r's messages
// where they go.
void finish_grid(RequestRun& r, const GridTally& tally);

// Goes over a grid left to the caller that will not be written (the run
// failed after run_request), tallying it, so that r's messages are whole.
void tally_left_grid(const StackRequest& request, RequestRun& r);

// Why the request's plot, exports and network limits cannot be made of a
// run ("" when they can): an output that would replace a file the run read
// (r.inputs_read, compared by device and inode), a missing date where one
// is needed, what a stack folder needs, the range bandwidth of
// --min-coherence. What the exports note without refusing (a stack
// folder's entries left from earlier) goes to notes.
std::string run_outputs_problem(const StackRequest& request, const RequestRun& r, std::vector<std::string>* notes);

// The plot (of the request's size, in its convention, which its baseline
// axis names), the network page and the exports of a finished run, staged
// into batch (outputs/output_file.h: each file checked and its temporary
// file made, and room for them), to be written from request and r, which
// must outlive the batch's writing. false on failure (batch.problem()).
bool stage_outputs(OutputBatch& batch, const StackRequest& request, const RequestRun& r);

}  // namespace bperp::stack
