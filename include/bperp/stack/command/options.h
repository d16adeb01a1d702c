// The options of bperp-stack: what each means, how it is checked, and the
// help that explains them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "bperp/stack/run/stack_run.h"
#include "bperp/stack/network/pairs.h"

namespace bperp::stack {

extern const char* const program_name;

enum class OutputFormat { table, csv, json };

// The option values of one invocation.
struct Options {
  OutputFormat format = OutputFormat::table;
  std::string reference;
  std::vector<std::string> secondaries;  // the positional ones, then those of --list
  std::string list;                      // --list FILE ("-": standard input); empty: none
  bool pairs = false;
  bool require_connected = false;
  PairLimits limits;
  std::string plot;  // empty: no plot
  std::vector<std::string> orbit_files;   // --orbit, one per use
  std::vector<std::string> orbit_dirs;    // --orbit-dir
  BandwidthOptions bandwidth;             // --range-bandwidth, --azimuth-bandwidth, --sensor
  CoherenceParameters coherence;          // --coherence-tau, --coherence-floor, --snr
  std::vector<std::string> exports;       // --export KIND:PATH, as given
  StackOptions stack;
};

// Parses main's arguments into options, and reads the --list file. Returns
// -1 to go on, or the exit status to end with: 0 after --help or
// --version (printed on out), 1 after a message on err.
int parse_options(int argc, const char* const* argv, Options& options, std::FILE* in,
                  std::FILE* out, std::FILE* err);

// The paths of a list: one per line, a CRLF line end taken as LF, empty
// lines skipped, nothing else trimmed. false and *problem when it cannot be
// read or holds a NUL byte.
bool read_path_list(std::FILE* stream, std::vector<std::string>& paths, std::string* problem);

}  // namespace bperp::stack
