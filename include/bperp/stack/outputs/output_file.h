// Files the stack tool writes besides standard output (the plot, and the
// exports): checked before anything is printed, and written whole or not at
// all.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace bperp::stack {

// Why path cannot take a file written by this run, or "" when it can: it
// is an existing directory, or exists as anything but a regular file (a
// device, a pipe, a socket, also behind a link), or is one of the input
// files (which it would overwrite), or its directory cannot be written.
// name is how messages show the path.
std::string output_path_problem(const std::string& path, const std::string& name,
                                const std::vector<std::string>& inputs);

// Why writing path would replace one of the input files: "name is one of
// the input files" when path exists as the same file (device and inode, a
// link followed) as one of inputs; "" otherwise.
std::string input_clash_problem(const std::string& path, const std::string& name,
                                const std::vector<std::string>& inputs);

// One file or folder an output of this run goes to: path, and name, how
// messages show it.
struct OutputPath {
  std::string path;
  std::string name;
};

// Why two of outputs would go to one place ("" when none would): one name
// in one directory however the paths spell it (a file is renamed into
// place there, so a link is replaced, not followed), or one existing
// folder. A directory that does not exist compares by the path's text.
std::string shared_output_problem(const std::vector<OutputPath>& outputs);

// A file written to a temporary file beside its path and renamed into
// place by commit(), so that a failed run leaves neither a half-written
// file nor the temporary one behind.
class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();  // removes the temporary file unless committed

  // Creates the temporary file for path; nullptr and *problem on failure.
  std::FILE* open(const std::string& path, std::string* problem);
  // Closes the temporary file and renames it to the path; false and
  // *problem when a write, the close or the rename failed.
  bool commit(std::string* problem);

 private:
  std::string path_, temporary_;
  std::FILE* stream_ = nullptr;
  bool committed_ = false;
};

}  // namespace bperp::stack
