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

// ---- The shared samples (../shared/data from the project's root, see its
// README): files whose licence keeps them out of the project. ----

// The path of a file or folder there ("tsx-annotation/x.xml"); "" when the
// shared folder is absent.
std::string shared_sample(const std::string& relative);

// Whether a missing shared folder fails a test (CI set) rather than skipping it.
bool shared_data_required();

// Ends the test when the shared folder is absent: skipped with a message,
// failed in CI.
#define SKIP_WITHOUT_SHARED_DATA(path)                                                     \
  do {                                                                                     \
    if (!(path).empty()) break;                                                            \
    if (stack_test::shared_data_required()) FAIL() << "../shared/data is missing (CI set)"; \
    GTEST_SKIP() << "../shared/data is absent: the samples there are not tried";           \
  } while (false)

// ---- Copies of products moved along the earth-fixed axes, for pairs of
// known baseline: every date (YYYY-MM-DDT...) days later, every position of
// the orbit plus an offset. ----

// text with every date written YYYY-MM-DD before a 'T' moved days later.
std::string shift_dates(const std::string& text, int days);

// The seconds of a UTC time written YYYY-MM-DDTHH:MM:SS[.f][Z] since
// 1970-01-01 (days whole, the fraction to the microsecond), read here rather
// than by the code under test.
double utc_seconds(const std::string& text);

// One earth-fixed orbit vector: time (s since 1970), position (m) and velocity (m/s).
struct OrbitVector {
  double t = 0.0;
  double position[3] = {0.0, 0.0, 0.0};
  double velocity[3] = {0.0, 0.0, 0.0};
};

// Position and velocity at t by cubic Hermite interpolation between the
// two vectors around t (positions and velocities both matched at either
// end; sub-mm for vectors 10 s apart).
OrbitVector hermite_at(const std::vector<OrbitVector>& orbit, double t);

}  // namespace stack_test
