// Support for the stack tests: a fresh temporary directory, files written
// into it, the executables run as child processes with both output streams
// captured, and small readers for the table and CSV outputs.
#pragma once

#include <string>
#include <vector>

namespace stack_test {

// A new empty directory under the system's temporary directory, removed
// with its files when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // Writes text to the file name in the directory and returns its path.
  std::string write(const std::string& name, const std::string& text) const;

 private:
  std::string path_;
};

struct RunResult {
  int status = -1;  // exit status, or -1 when the child did not exit normally
  std::string out;
  std::string err;
  double seconds = 0.0;
};

// Runs exe with args (no shell), standard input from /dev/null, and waits
// for it; its two streams are captured through files.
RunResult run(const std::string& exe, const std::vector<std::string>& args);

RunResult run_stack(const std::vector<std::string>& args);  // bperp-stack
RunResult run_bperp(const std::vector<std::string>& args);  // bperp

// The lines of text, without their newlines.
std::vector<std::string> lines_of(const std::string& text);

// The blank-separated words of a line.
std::vector<std::string> words_of(const std::string& line);

// The records of a CSV text (RFC 4180: quoted fields, doubled quotes).
std::vector<std::vector<std::string>> read_csv(const std::string& text);

// The text of a state-vector file: a header line and the six numbers,
// written with 17 significant digits.
std::string state_vector_text(const std::string& header, const double* position,
                              const double* velocity);

// The file's whole content.
std::string read_file(const std::string& path);

}  // namespace stack_test
