#include "bperp/stack/command/stack_command.h"

#include <new>

#include <signal.h>
#include <string>
#include <vector>

#include "bperp/numeric/fatal_error.h"
#include "bperp/stack/command/request.h"
#include "bperp/stack/command/request_run.h"
#include "bperp/stack/geometry/convention.h"
#include "bperp/stack/network/connectivity.h"
#include "bperp/stack/network/pairs.h"
#include "bperp/stack/outputs/exports.h"
#include "bperp/stack/outputs/pair_output.h"
#include "bperp/stack/outputs/stack_output.h"
#include "bperp/stack/run/stack_run.h"

namespace bperp::stack {

namespace {

// The run's warnings: each printed on standard error (unless --quiet) and
// kept for the JSON document's list.
class Warnings {
 public:
  Warnings(std::FILE* err, bool quiet) : err_(err), quiet_(quiet) {}
  void add(const std::string& text) {
    if (!quiet_) print_warning(err_, text);
    all_.push_back(text);
  }
  const std::vector<std::string>& all() const { return all_; }

 private:
  std::FILE* err_;
  bool quiet_;
  std::vector<std::string> all_;
};

// The run's messages from the first not yet said: warnings to warnings,
// problems on err.
void say_messages(const RequestRun& r, std::size_t& said, Warnings& warnings, std::FILE* err) {
  for (; said < r.messages.size(); ++said) {
    const RunMessage& m = r.messages[said];
    if (m.warning) warnings.add(m.text);
    else print_problem(err, m.text);
  }
}

// The results on out in the request's format: the stack, and with --pairs
// the network, in the request's convention (which the points are in); a
// grid left to them gone over as stream says. false after a message on err
// when out can't take them.
bool write_results(const StackRequest& request, const RequestRun& r, Warnings& warnings, const GridStream* stream,
                   std::FILE* out, std::FILE* err) {
  const Convention convention = request.convention;
  const StackRun& run = r.run;
  switch (request.format) {
    case OutputFormat::table:
      write_stack_table(out, run, convention);
      if (request.pairs) {
        write_pairs_table(out, r.points, *r.network);
        write_network_summary(out, r.points, r.parts, r.network->scale());
      }
      break;
    case OutputFormat::csv: {
      // The CSV has no room for its convention or the connectivity report:
      // they are said on standard error (after the run's messages), so that
      // they do not pass unseen.
      const auto note_convention = [&]() {
        if (convention != Convention::bperp && !request.quiet)
          print_note(err, "the CSV's baselines are in " + convention_text(convention));
      };
      if (request.pairs) {
        note_convention();
        write_pairs_csv(out, r.points, *r.network);
        if (!r.parts.connected())
          warnings.add("the pair network is split into " + std::to_string(r.parts.components.size()) + " parts; " +
                       std::to_string(r.parts.bridges.size()) +
                       " pairs would join them (--format table or json lists them)");
      } else {
        write_stack_csv(out, run, convention, stream);
        note_convention();
      }
      break;
    }
    case OutputFormat::json:
      if (request.pairs)
        write_json_with_pairs(out, run, r.points, *r.network, r.parts, convention, warnings.all(), r.choices(),
                              stream);
      else
        write_json(out, run, convention, warnings.all(), r.choices(), stream);
      break;
  }
  if (std::fflush(out) != 0 || std::ferror(out)) {
    print_problem(err, "can't write the results to standard output");
    return false;
  }
  return true;
}

// Ends the process on sig once the temporary files and folders of its
// outputs are removed: as sig's default action (a shell's status 128 +
// sig).
void end_on_signal(int sig) {
  remove_uncommitted_outputs();
  // The action is the default again (SA_RESETHAND); sig, held back while
  // this handler runs, takes it once the handler returns.
  ::raise(sig);
}

// The whole command; the failures it reports are its return value.
int run_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err) {
  const RequestOutcome outcome = build_request(argc, argv, in, out, err);
  if (!outcome.request) return outcome.status;
  const StackRequest& request = *outcome.request;

  // A grid whose rows are the results is gone over once, as they are
  // written, and the run's messages said after them (its own among them).
  RequestRun r;
  run_request(request, file_inputs(request), r,
              grid_written_as_results(request) ? GridPass::by_caller : GridPass::tallied);
  Warnings warnings(err, request.quiet);
  if (!request.quiet)
    for (const std::string& note : r.notes) print_note(err, note);
  std::size_t said = 0;
  if (!r.grid_left || !r.finished()) say_messages(r, said, warnings, err);
  if (!r.finished()) return 1;
  GridTally tally(r.run);
  const GridStream stream{&tally, [&]() {
                            finish_grid(r, tally);
                            say_messages(r, said, warnings, err);
                          }};
  // Every output file staged (checked, its temporary file made) before the
  // first result is printed; all written after them, then committed
  // together.
  OutputBatch files;
  if (!stage_outputs(files, request, r)) {
    if (r.grid_left) {
      tally_left_grid(request, r);
      say_messages(r, said, warnings, err);
    }
    print_problem(err, files.problem());
    return 1;
  }
  if (!write_results(request, r, warnings, r.grid_left ? &stream : nullptr, out, err)) return 1;
  if (!files.write() || !files.commit()) {
    print_problem(err, files.problem());
    return 1;
  }
  return r.run.all_ok() ? 0 : 1;
}

}  // namespace

void end_cleanly_on_signals() {
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction now {};
    // A signal ignored when the program started (nohup, a background job)
    // stays ignored.
    if (::sigaction(sig, nullptr, &now) != 0 || now.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = end_on_signal;
    action.sa_flags = SA_RESETHAND;
    ::sigemptyset(&action.sa_mask);
    for (const int held : {SIGINT, SIGTERM, SIGHUP}) ::sigaddset(&action.sa_mask, held);
    ::sigaction(sig, &action, nullptr);
  }
}

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
