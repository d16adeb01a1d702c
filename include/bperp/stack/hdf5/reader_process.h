// Running the HDF5 reader process: bperp-hdf5-reader found beside the
// program or module that holds this library, started with posix_spawn
// (never a fork without exec: the Python module's interpreter has threads)
// with an empty environment and no descriptor but the file to read (its
// standard input) and a pipe (its standard output), and waited for no
// longer than a wall-time bound. Whatever becomes of it (it crashes, runs
// out of its bounds, hangs, writes too much or writes garbage) comes back
// as a refusal of the file, never as harm to the caller.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "bperp/stack/hdf5/hdf5_reply.h"
#include "bperp/stack/support/refusal.h"

namespace bperp::stack {

// The reader's file name, looked for beside the holder of this library.
inline constexpr const char* hdf5_reader_name = "bperp-hdf5-reader";

// The longest a reader process is waited for, s: far beyond the some
// 10 ms a product takes, and beyond its own bound of processor time, so
// that only a process blocked without using the processor meets it.
constexpr double hdf5_reader_wall_seconds = 30.0;

// How a child process ended, and what it wrote on its standard output.
struct ChildRun {
  std::string output;             // at most the bound asked for
  bool started = false;           // false: it could not be started (failure says why)
  bool exited = false;            // ended by exit (status) rather than by a signal
  int status = 0;                 // its exit status, or the signal that ended it
  bool timed_out = false;         // stopped by the wall-time bound
  bool output_too_long = false;   // stopped for writing more than the bound
  std::string failure;            // why it could not be started
  double wall_seconds = 0.0;      // the wall-time bound it ran under
};

// Runs executable with arguments (after its name), its standard input
// input_fd, its standard output a pipe read into the result up to
// max_output bytes, no other descriptor (standard error closed) and an
// empty environment but for environment. The process is killed (SIGKILL)
// when it writes more than max_output bytes or outlives wall_seconds.
ChildRun run_child(const std::string& executable, const std::vector<std::string>& arguments, int input_fd,
                   std::size_t max_output, double wall_seconds,
                   const std::vector<std::string>& environment = {});

// What happened to a reader process that gave no usable reply, as a clause
// of a refusal ("the HDF5 library crashed reading it (signal 11, ...)"), or
// "" when it exited with status 0 and its output is to be decoded.
std::string reader_failure(const ChildRun& run, const std::string& executable);

// The reader's path: bperp-hdf5-reader in the folders where the build and
// the installation put it, relative to the file (program or shared object)
// that holds this code. nullopt and *problem set when it is in none of them.
std::optional<std::string> hdf5_reader_path(std::string* problem);

// The items of request read from the open HDF5 file fd (a regular file)
// by the reader process, into reply. false and *refusal set (its text
// without the file's name) when the reader cannot be found or started
// (unreadable), or dies, exceeds a bound or answers with anything but a
// reply to request (malformed); a refusal by the reader itself is a
// reply (reply.refusal), true.
bool read_hdf5_items(int fd, const Hdf5Request& request, Hdf5Reply& reply, Refusal* refusal);

}  // namespace bperp::stack
