// Support for the stack tests: the executables run as child processes with
// both output streams captured, and small readers for the table and CSV
// outputs.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"

namespace stack_test {

// The temporary directory, whole-file and state-vector helpers and the
// process runner are the shared ones.
using test_support::lines_of;
using test_support::state_vector_text;
using test_support::TempDir;
// The file's whole content (throws when it can't be read).
inline std::string read_file(const std::string& path) { return test_support::read_bytes(path); }

// How a run ended (status -1 when the child did not exit normally) and
// what it printed.
using RunResult = test_support::ProcessResult;

// Runs exe with args (no shell), with an empty standard input, and waits
// for it however long it takes and however much it prints; its two
// streams are captured.
RunResult run(const std::string& exe, const std::vector<std::string>& args);

RunResult run_stack(const std::vector<std::string>& args);  // bperp-stack

// bperp-stack run with its address space bounded to kilobytes (ulimit -v).
RunResult run_stack_within(std::size_t kilobytes, const std::vector<std::string>& args);

// Whether this build runs under AddressSanitizer, whose shadow memory takes
// more address space than any bound run_stack_within sets.
bool address_sanitizer();
RunResult run_bperp(const std::vector<std::string>& args);  // bperp

// Every reference in the HDF5 file at path to the B-tree of each group
// below the root (of an old-style file: the root's comes first, after the
// superblock) overwritten with all ones, an address the HDF5 library
// follows and crashes on. Returns how many were overwritten.
std::size_t break_hdf5_group_addresses(const std::string& path);

// The blank-separated words of a line.
std::vector<std::string> words_of(const std::string& line);

// The records of a CSV text (RFC 4180: quoted fields, doubled quotes).
std::vector<std::vector<std::string>> read_csv(const std::string& text);

// The rows of the aligned table in out whose heading line starts with
// first_heading, up to the next empty line: one map per row, heading ->
// cell text without its blanks. Its rule of dashes marks each column's
// extent.
std::vector<std::map<std::string, std::string>> read_table(const std::string& out,
                                                           const std::string& first_heading);

}  // namespace stack_test
