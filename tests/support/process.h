// Running an executable as a child process (no shell): arguments, bytes on
// its standard input, both output streams captured through pipes, and a
// wall-clock deadline after which the child is killed.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace test_support {

struct ProcessOptions {
  std::string input;              // written to standard input, which is then closed
  double timeout_seconds = 10.0;  // the child is killed (SIGKILL) after this
  std::string argv0;              // the invocation name; empty: the executable's path
  std::string stdout_path;        // non-empty: standard output goes to this file
  std::size_t max_output = std::size_t{16} << 20;  // more than this on a stream kills it
  // A signal sent to the child once, when signal_when() first returns true
  // (asked every millisecond while it runs).
  int signal = 0;
  std::function<bool()> signal_when;
};

struct ProcessResult {
  bool started = false;     // the executable could be started
  bool exited = false;      // it ended by exit (not by a signal)
  int status = -1;          // its exit status when exited, otherwise -1
  int signal = 0;           // the signal that ended it, otherwise
  bool timed_out = false;   // killed at the deadline
  bool too_much = false;    // killed because a stream exceeded max_output
  std::string out;          // what it wrote on standard output
  std::string err;          // what it wrote on standard error
  double seconds = 0.0;     // wall-clock time from the start to the end
};

ProcessResult run_process(const std::string& exe, const std::vector<std::string>& args,
                          const ProcessOptions& options = {});

// One line for failure messages: how it ended and what it printed.
std::string describe(const ProcessResult& r);

}  // namespace test_support
