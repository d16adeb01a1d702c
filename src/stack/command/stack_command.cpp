#include "bperp/stack/command/stack_command.h"

#include <new>
#include <string>
#include <vector>

#include "bperp/numeric/fatal_error.h"
#include "bperp/stack/command/request.h"
#include "bperp/stack/command/request_run.h"
#include "bperp/stack/run/stack_run.h"
#include "bperp/stack/network/connectivity.h"
#include "bperp/stack/network/pairs.h"
#include "bperp/stack/outputs/exports.h"
#include "bperp/stack/outputs/pair_output.h"
#include "bperp/stack/outputs/stack_output.h"

namespace bperp::stack {

namespace {

// The results on out in the request's format: the stack, and with --pairs
// the network. false after a message on err when out can't take them.
bool write_results(const StackRequest& request, const StackRun& run, const std::vector<NetworkPoint>& points,
                   const PairNetwork& network, const Connectivity& parts, std::FILE* out, std::FILE* err) {
  switch (request.format) {
    case OutputFormat::table:
      write_stack_table(out, run);
      if (request.pairs) {
        write_pairs_table(out, points, network);
        write_network_summary(out, points, parts);
      }
      break;
    case OutputFormat::csv:
      if (request.pairs) {
        write_pairs_csv(out, points, network);
        // The CSV has no room for the connectivity report: a split network
        // is said on standard error, so that it does not pass unseen.
        if (!parts.connected())
          print_warning(err, "the pair network is split into " + std::to_string(parts.components.size()) +
                                 " parts; " + std::to_string(parts.bridges.size()) +
                                 " pairs would join them (--format table or json lists them)");
      } else {
        write_stack_csv(out, run);
      }
      break;
    case OutputFormat::json:
      if (request.pairs)
        write_json_with_pairs(out, run, points, network, parts);
      else
        write_json(out, run);
      break;
  }
  if (std::fflush(out) != 0 || std::ferror(out)) {
    print_problem(err, "can't write the results to standard output");
    return false;
  }
  return true;
}

// The plot and the exports, each written whole or not at all; false when
// one could not be (each said on err, the others still written).
bool write_files(const StackRequest& request, const RequestRun& r, std::FILE* err) {
  bool ok = true;
  std::string problem;
  if (!request.plot.empty() && !write_plot_file(request.plot, r, &problem)) {
    print_problem(err, problem);
    ok = false;
  }
  for (const Export& e : request.exports)
    if (!write_export_file(e, r, &problem)) {
      print_problem(err, problem);
      ok = false;
    }
  return ok;
}

// The whole command; the failures it reports are its return value.
int run_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err) {
  const RequestOutcome outcome = build_request(argc, argv, in, out, err);
  if (!outcome.request) return outcome.status;
  const StackRequest& request = *outcome.request;

  RequestRun r;
  run_request(request, file_inputs(request), r);
  for (const RunMessage& m : r.messages) {
    if (m.warning) print_warning(err, m.text);
    else print_problem(err, m.text);
  }
  if (!r.finished()) return 1;
  if (!write_results(request, r.run, r.points, *r.network, r.parts, out, err)) return 1;
  const bool written = write_files(request, r, err);
  return r.run.all_ok() && written ? 0 : 1;
}

}  // namespace

int stack_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err) {
  // An exhausted heap is the one failure that can come from inside the
  // computation; it ends the run with its report and status 1.
  try {
    return run_command(argc, argv, in, out, err);
  } catch (const FatalError& e) {
    std::fputs(e.text(), err);
  } catch (const std::bad_alloc&) {
    print_problem(err, "out of memory");
  }
  return 1;
}

}  // namespace bperp::stack
