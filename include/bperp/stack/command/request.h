// What one bperp-stack command line asks for, as one value: every option
// converted to its unit and checked, alone and against the others, before
// any input file is read.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bperp/stack/geometry/convention.h"
#include "bperp/stack/run/stack_run.h"
#include "bperp/stack/network/coherence.h"
#include "bperp/stack/network/date_filter.h"
#include "bperp/stack/network/pair_list.h"
#include "bperp/stack/network/pairs.h"
#include "bperp/stack/network/reference_choice.h"
#include "bperp/stack/outputs/exports.h"
#include "bperp/stack/outputs/plot_layout.h"

namespace bperp::stack {

extern const char* const program_name;

enum class OutputFormat { table, csv, json };

// How --reference chooses the reference among the acquisitions: the one of
// a date, the one that is a file, or the best by a criterion.
struct ReferenceRequest {
  enum class By { date, path, criterion };
  By by = By::criterion;
  long day = 0;                  // by date: its day number
  std::string path;              // by path
  ReferenceCriterion criterion = ReferenceCriterion::coherence;
  std::string text;              // as given, for messages
};

// One run of the command as its command line asks for it.
struct StackRequest {
  OutputFormat format = OutputFormat::table;
  Convention convention = Convention::bperp;  // of the baselines shown (not of the exports)
  bool quiet = false;                         // no warnings on standard error
  std::string reference;
  std::vector<std::string> secondaries;  // the positional ones, then those of --list
  std::string list;                      // --list FILE ("-": standard input); empty: none
  bool pairs = false;                    // a pair network asked for (--pairs)
  PairLimits limits;                     // which pairs it takes
  bool require_connected = false;        // a split network is an error
  BandwidthOptions bandwidth;            // --range-bandwidth, --azimuth-bandwidth, --sensor
  CoherenceParameters coherence;         // --coherence-tau, --coherence-floor, --snr
  std::vector<Export> exports;           // --export KIND:PATH, in the order given
  std::string plot;                      // --plot FILE.svg|.pdf|.png; empty: no plot
  PlotSize plot_size;                    // --plot-size
  std::string html;                      // --html FILE.html; empty: no page
  bool html_paths = false;               // the page shows names with their folders
  std::vector<std::string> orbit_files;  // --orbit, one per use
  std::vector<std::string> orbit_dirs;   // --orbit-dir
  StackOptions stack;                    // how the run treats the stack
  // --reference: every positional (reference and secondaries) is then an
  // acquisition to choose from.
  std::optional<ReferenceRequest> choose_reference;
  DateFilters filters;                   // --start, --end, --exclude, --months
  std::string exclude_file;              // --exclude @FILE: the file; empty: none
  std::string pairs_from;                // --pairs-from FILE; empty: none
  std::vector<ListedPair> listed_pairs;  // the pairs it lists

  // The acquisitions' inputs in the order given: the reference, then the
  // secondaries.
  std::vector<std::string> acquisitions() const;
  // The files named to be read, which no output may overwrite: the
  // secondaries, the reference, the list file, the --orbit files, the
  // --exclude file and the pair list. (What the run finds to read besides,
  // the files of --orbit-dir and the annotations of .SAFE folders, is
  // checked once it is known.)
  std::vector<std::string> inputs() const;
};

// A command line read: the request, or none and the exit status to end
// with at once (0 after --help or --version, 1 after a message).
struct RequestOutcome {
  std::optional<StackRequest> request;
  int status = 1;
};

// Reads main's arguments into a request: the options parsed and converted
// as option_table() declares them, their clashes checked, then the --list
// file read (from in for "-"), then the output paths checked against every
// input. --help and --version print on out; every refusal is one message
// on err (an unknown option with the nearest known one, when one is near).
RequestOutcome build_request(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                             std::FILE* err);

// The longest line of a --list file, bytes: as long as a path can be
// (PATH_MAX), so that a list of any size is read in memory of its paths.
constexpr std::size_t max_list_line_bytes = 4096;

// Why options that each are well formed cannot go together ("" when they
// can): --at-point with another target option, a coherence floor above
// the model's coherence at zero time, an export of the pairs without them.
std::string clash_problem(const StackRequest& request);

// Why the plot or an export cannot be written where asked: over an input,
// where another output goes, or where no file can be made ("" when all
// can).
std::string output_problem(const StackRequest& request);

// The paths of a list: one per line, a CRLF line end taken as LF, empty
// lines skipped, nothing else trimmed. false and *problem when it cannot be
// read, holds a NUL byte or a line longer than max_list_line_bytes (read no
// further than that).
bool read_path_list(std::FILE* stream, std::vector<std::string>& paths, std::string* problem);

// "bperp-stack: TEXT" on err, "bperp-stack: warning: TEXT" and
// "bperp-stack: note: TEXT".
void print_problem(std::FILE* err, const std::string& text);
void print_warning(std::FILE* err, const std::string& text);
void print_note(std::FILE* err, const std::string& text);
// A misuse of the command line: "bperp-stack: TEXT" on err, then where to
// look for the options.
void print_usage_problem(std::FILE* err, const std::string& text);

// The option nearest to word among the names (and other spellings, which
// stand for their names) of the table, --help and --version, by edit
// distance: within a third of the word's length (and at least 2 edits),
// else "".
std::string nearest_option(const std::string& word);

}  // namespace bperp::stack
