// Files the stack tool writes besides standard output (the plot, and the
// exports): checked before anything is printed, and written together, whole
// or not at all.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace bperp::stack {

// Why path cannot take a file written by this run, or "" when it can: it
// is an existing directory, or exists as anything but a regular file (a
// device, a pipe, a socket, also behind a link), or is one of the input
// files (which it would overwrite), or could not be replaced
// (replace_problem), or its directory cannot be written. name is how
// messages show the path.
std::string output_path_problem(const std::string& path, const std::string& name,
                                const std::vector<std::string>& inputs);

// The files a run read, known by device and inode (a link followed), so
// that any path can be asked whether it names one of them, whatever its
// spelling.
class InputFiles {
 public:
  explicit InputFiles(const std::vector<std::string>& paths);
  bool holds(const std::string& path) const;

 private:
  std::set<std::pair<dev_t, ino_t>> files_;
};

// Why writing path would replace one of the input files: "name is one of
// the input files" when path exists as one of inputs; "" otherwise.
std::string input_clash_problem(const std::string& path, const std::string& name, const InputFiles& inputs);

// Why the entry of the folder open as folder_fd can't be written by
// renaming a new file onto it, as the shell's redirection would refuse or
// the rename would fail ("" when it can): a name longer than the folder's
// file system takes; an existing folder; an existing file that is
// read-only for this user; one of another user in a sticky folder that is
// not this user's either. name is how messages show it; *error (when
// given) the errno that says why.
std::string replace_problem(int folder_fd, const std::string& entry, const std::string& name,
                            int* error = nullptr);

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

// The files one run writes besides standard output, written together so
// that a failed or interrupted run leaves what was there before and a
// finished one every file. Each file is staged first (replace_problem
// asked, its temporary file made beside it), before anything is printed;
// then every one is filled; then, once all are written, committed: renamed
// into place one after another in the order staged, with SIGINT, SIGTERM
// and SIGHUP held back meanwhile. A replaced file keeps its permission bits.
// Folders below a folder of the batch are opened relative to its
// descriptor and never through a symbolic link (O_NOFOLLOW). What is not
// committed, the temporary files and the folders the batch made, is
// removed when the batch ends, or at once by remove_uncommitted_outputs.
// Each step returns false after the first failure, problem() saying it.
class OutputBatch {
 public:
  // Writes a file's content into the stream; false and *why when it can't
  // (a failed write of the stream itself the batch finds).
  using Fill = std::function<bool(std::FILE*, std::string* why)>;
  using Stop = std::function<bool()>;

  // stop (when given) is asked before each file is staged and written:
  // true stops the batch, which then failed.
  explicit OutputBatch(Stop stop = {});
  ~OutputBatch();
  OutputBatch(const OutputBatch&) = delete;
  OutputBatch& operator=(const OutputBatch&) = delete;

  // The file at path (in the folder its path names, links there followed),
  // to be written by fill; name is how messages show it.
  bool add_file(const std::string& path, const std::string& name, Fill fill);
  // The folder at path (made when missing): the index of a folder for the
  // files and folders below; nullopt on failure.
  std::optional<std::size_t> add_folder(const std::string& path, const std::string& name);
  // The folder entry inside the batch's folder (made when missing; refused
  // when it is a link or no folder), for files below it; its index.
  std::optional<std::size_t> add_subfolder(std::size_t folder, const std::string& entry, const std::string& name);
  // The file entry inside the batch's folder, to be written by fill.
  bool add_file_in(std::size_t folder, const std::string& entry, const std::string& name, Fill fill);

  // Whether each file system has room for the first block of every file
  // staged on it and every folder made there.
  bool check_space();
  // Every staged file filled into its temporary file, in order.
  bool write();
  // Every written file renamed into place, in the order staged; the folders
  // made are kept.
  bool commit();

  // The batch failed for a reason of the caller's (path the file concerned);
  // false.
  bool refuse(const std::string& text, const std::string& path) { return fail(text, path, 0); }

  const std::string& problem() const { return problem_; }
  // Of the failure: the file's path and the errno (0 when none applies).
  const std::string& failed_path() const { return failed_path_; }
  int failed_error() const { return failed_error_; }

  // Removes the temporary files and made folders not committed; only
  // calls that a signal handler may make.
  void remove_uncommitted() const;

 private:
  struct Folder {
    int fd = -1;                          // a folder of the batch: open; one below: -1 (opened as needed)
    int parent_fd = -1;                   // a folder of the batch that it made: its parent, open
    std::optional<std::size_t> parent;    // one below: the batch's folder it is in
    std::string entry;                    // its name in its parent
    std::string path;
    bool made = false;
  };
  struct File {
    std::size_t folder = 0;
    std::string entry;      // its name in its folder
    std::string temporary;  // its temporary file there
    std::string path, name;
    Fill fill;
    bool committed = false;
  };

  // The descriptor of folder k, -1 and errno when it can't be opened: one
  // below is opened relative to its parent's, and kept open until another
  // is asked for.
  int folder_fd(std::size_t k);
  // Of one below, opened anew (the caller closes it); -1 and errno.
  int open_below(const Folder& f) const;
  bool fail(const std::string& text, const std::string& path, int error);
  bool fail_with_errno(const std::string& name, const std::string& path);  // "can't write NAME: " errno's text
  bool stopped(const std::string& path);
  bool stage_file(std::size_t folder, const std::string& entry, const std::string& path, const std::string& name,
                  Fill fill);

  Stop stop_;
  std::deque<Folder> folders_;
  std::deque<File> files_;
  std::size_t open_below_ = 0;  // the folder below whose descriptor is kept open, when there is one
  int open_below_fd_ = -1;
  std::string problem_, failed_path_;
  int failed_error_ = 0;
  bool committed_ = false;
};

// Removes what every live batch has not committed; safe in a signal
// handler.
void remove_uncommitted_outputs();

}  // namespace bperp::stack
