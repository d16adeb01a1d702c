#include "bperp/stack/outputs/output_file.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace bperp::stack {

namespace {

// The directory of path: "." for a bare name, "/" for one at the root.
std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Where path's output goes, as a key equal for two paths to one place: an
// existing directory by its device and inode; anything else by its
// directory's device and inode and its last name; by the text of its
// directory when that does not exist. Trailing slashes do not count.
std::string output_place(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  struct stat s;
  if (::stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode))
    return "folder " + std::to_string(s.st_dev) + " " + std::to_string(s.st_ino);
  const std::size_t slash = path.rfind('/');
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string directory = directory_of(path);
  if (::stat(directory.c_str(), &s) != 0) return "text " + path;
  return "in " + std::to_string(s.st_dev) + " " + std::to_string(s.st_ino) + " " + base;
}

// Creates a new file in the folder open as folder_fd named pattern with its
// last six characters (XXXXXX) replaced by random letters and digits, with
// mode 0666 less the process's umask, as any new file gets (mkstemp makes
// 0600, and reading the umask means setting it, which would give the files
// other threads create in that moment mode 0666), never through a link.
// Returns the descriptor, or -1 with errno set.
int create_temporary(int folder_fd, std::string& pattern) {
  static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  constexpr std::size_t suffix = 6;
  constexpr int attempts = 100;
  thread_local std::mt19937_64 random{std::random_device{}() ^
                                      static_cast<std::uint64_t>(::getpid()) << 32};
  for (int attempt = 0; attempt < attempts; ++attempt) {
    for (std::size_t k = pattern.size() - suffix; k < pattern.size(); ++k)
      pattern[k] = letters[random() % (sizeof letters - 1)];
    const int fd =
        ::openat(folder_fd, pattern.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;  // errno EEXIST
}

// The temporary name of a file named entry: ".ENTRY.XXXXXX" beside it, or
// ".bperp-XXXXXX" when that would be longer than a file name may be (the
// entry's own name may be).
std::string temporary_pattern(const std::string& entry) {
  constexpr std::size_t name_max = 255;
  constexpr std::size_t added = 8;  // "." and ".XXXXXX"
  return entry.size() + added <= name_max ? "." + entry + ".XXXXXX" : std::string(".bperp-XXXXXX");
}

// The signals an interrupted run ends on, held back in this thread while
// a HeldSignals lives: the batches' lists never change under a handler.
class HeldSignals {
 public:
  HeldSignals() {
    sigset_t held;
    ::sigemptyset(&held);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaddset(&held, signal);
    ::pthread_sigmask(SIG_BLOCK, &held, &before_);
  }
  ~HeldSignals() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

 private:
  sigset_t before_;
};

// The live batches, for remove_uncommitted_outputs (beyond this many at
// once, in a program's threads, a batch is not listed: it still removes
// its own files when it ends).
constexpr std::size_t max_live_batches = 64;
std::atomic<const OutputBatch*> live_batches[max_live_batches];

// "can't write NAME: " and errno's text.
std::string cant_write(const std::string& name, int error) {
  return "can't write " + name + ": " + std::strerror(error);
}

}  // namespace

std::string shared_output_problem(const std::vector<OutputPath>& outputs) {
  std::vector<std::string> places;
  for (const OutputPath& o : outputs) places.push_back(output_place(o.path));
  for (std::size_t a = 0; a < outputs.size(); ++a)
    for (std::size_t b = a + 1; b < outputs.size(); ++b)
      if (places[a] == places[b])
        return outputs[a].name + " and " + outputs[b].name + " are one path: each output needs its own";
  return {};
}

InputFiles::InputFiles(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    struct stat s;
    if (::stat(path.c_str(), &s) == 0) files_.emplace(s.st_dev, s.st_ino);
  }
}

bool InputFiles::holds(const std::string& path) const {
  struct stat s;
  return ::stat(path.c_str(), &s) == 0 && files_.contains({s.st_dev, s.st_ino});
}

std::string input_clash_problem(const std::string& path, const std::string& name, const InputFiles& inputs) {
  return inputs.holds(path) ? name + " is one of the input files" : std::string();
}

std::string output_path_problem(const std::string& path, const std::string& name,
                                const std::vector<std::string>& inputs) {
  struct stat target;
  if (::stat(path.c_str(), &target) == 0) {
    if (S_ISDIR(target.st_mode)) return name + " is a directory";
    if (!S_ISREG(target.st_mode)) return name + " is not a regular file (a device, pipe or socket)";
    if (std::string clash = input_clash_problem(path, name, InputFiles(inputs)); !clash.empty()) return clash;
  }
  const std::string directory = directory_of(path);
  struct stat d;
  if (::stat(directory.c_str(), &d) != 0) return cant_write(name, errno);
  if (!S_ISDIR(d.st_mode)) return cant_write(name, ENOTDIR);
  if (::access(directory.c_str(), W_OK) != 0) return cant_write(name, errno);
  // What the checks above cannot see (a file system that takes no new
  // file, such as /proc; a name too long for it; a file that can't be
  // replaced): the file is staged once, its temporary file then removed.
  OutputBatch probe;
  if (!probe.add_file(path, name, {})) return probe.problem();
  return {};
}

std::string replace_problem(int folder_fd, const std::string& entry, const std::string& name, int* error) {
  const auto refused = [&](int why, std::string text) {
    if (error != nullptr) *error = why;
    return text;
  };
  const long name_max = ::fpathconf(folder_fd, _PC_NAME_MAX);
  if (name_max > 0 && entry.size() > static_cast<std::size_t>(name_max))
    return refused(ENAMETOOLONG, cant_write(name, ENAMETOOLONG));
  struct stat target;
  if (::fstatat(folder_fd, entry.c_str(), &target, AT_SYMLINK_NOFOLLOW) != 0) return {};  // a new file
  if (S_ISDIR(target.st_mode)) return refused(EISDIR, name + " is a directory");
  // A link is replaced, not written through: what it leads to is not asked.
  if (S_ISREG(target.st_mode) && ::faccessat(folder_fd, entry.c_str(), W_OK, AT_EACCESS) != 0) {
    const int why = errno;
    return refused(why, cant_write(name, why));
  }
  // In a sticky folder only the owner of a file or of the folder may
  // replace it (and the superuser).
  struct stat folder;
  const uid_t me = ::geteuid();
  if (::fstat(folder_fd, &folder) == 0 && (folder.st_mode & S_ISVTX) != 0 && me != 0 && target.st_uid != me &&
      folder.st_uid != me)
    return refused(EPERM, "can't replace " + name +
                              ": it is another user's file in a sticky folder, where only its owner may");
  return {};
}

// ---- OutputBatch ----

OutputBatch::OutputBatch(Stop stop) : stop_(std::move(stop)) {
  for (std::atomic<const OutputBatch*>& slot : live_batches) {
    const OutputBatch* empty = nullptr;
    if (slot.compare_exchange_strong(empty, this)) break;
  }
}

OutputBatch::~OutputBatch() {
  const HeldSignals held;
  remove_uncommitted();
  for (std::atomic<const OutputBatch*>& slot : live_batches) {
    const OutputBatch* self = this;
    if (slot.compare_exchange_strong(self, nullptr)) break;
  }
  if (open_below_fd_ >= 0) ::close(open_below_fd_);
  for (const Folder& f : folders_) {
    if (f.fd >= 0) ::close(f.fd);
    if (f.parent_fd >= 0) ::close(f.parent_fd);
  }
}

bool OutputBatch::fail(const std::string& text, const std::string& path, int error) {
  if (problem_.empty()) {
    problem_ = text;
    failed_path_ = path;
    failed_error_ = error;
  }
  return false;
}

bool OutputBatch::fail_with_errno(const std::string& name, const std::string& path) {
  const int error = errno;
  return fail(cant_write(name, error), path, error);
}

bool OutputBatch::stopped(const std::string& path) {
  return stop_ && stop_() && !fail("stopped before every output was written", path, EINTR);
}

int OutputBatch::open_below(const Folder& f) const {
  return ::openat(folders_[*f.parent].fd, f.entry.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

int OutputBatch::folder_fd(std::size_t k) {
  const Folder& f = folders_[k];
  if (!f.parent) return f.fd;
  if (open_below_fd_ >= 0 && open_below_ == k) return open_below_fd_;
  if (open_below_fd_ >= 0) ::close(open_below_fd_);
  open_below_fd_ = open_below(f);
  open_below_ = k;
  return open_below_fd_;
}

bool OutputBatch::add_file(const std::string& path, const std::string& name, Fill fill) {
  const int fd = ::open(directory_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return fail_with_errno(name, path);
  std::string entry = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  {
    const HeldSignals held;
    folders_.push_back(Folder{fd, -1, std::nullopt, {}, directory_of(path), false});
  }
  return stage_file(folders_.size() - 1, entry, path, name, std::move(fill));
}

std::optional<std::size_t> OutputBatch::add_folder(const std::string& given, const std::string& name) {
  std::string path = given;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  const std::string entry = slash == std::string::npos ? path : path.substr(slash + 1);
  const int parent = ::open(directory_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent < 0) {
    fail_with_errno(name, path);
    return std::nullopt;
  }
  const HeldSignals held;
  Folder& f = folders_.emplace_back(Folder{-1, parent, std::nullopt, entry, path, false});
  f.made = ::mkdirat(parent, entry.c_str(), 0777) == 0;
  const int error = errno;
  if (!f.made && error != EEXIST) {
    fail(cant_write(name, error), path, error);
    return std::nullopt;
  }
  // The folder named is opened as its path says (a link the user named is
  // followed); only what is below it is never.
  f.fd = ::openat(parent, entry.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (f.fd < 0) {
    fail_with_errno(name, path);
    return std::nullopt;
  }
  if (!f.made) {
    ::close(f.parent_fd);
    f.parent_fd = -1;
  }
  return folders_.size() - 1;
}

std::optional<std::size_t> OutputBatch::add_subfolder(std::size_t folder, const std::string& entry,
                                                      const std::string& name) {
  const std::string path = folders_[folder].path + "/" + entry;
  const HeldSignals held;
  Folder& f = folders_.emplace_back(Folder{-1, -1, folder, entry, path, false});
  f.made = ::mkdirat(folders_[folder].fd, entry.c_str(), 0777) == 0;
  const int error = errno;
  if (!f.made && error != EEXIST) {
    fail(cant_write(name, error), path, error);
    return std::nullopt;
  }
  if (folder_fd(folders_.size() - 1) < 0) {
    const int why = errno;
    struct stat s;
    if (::fstatat(folders_[folder].fd, entry.c_str(), &s, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(s.st_mode))
      fail(name + " is a symbolic link, which is not followed inside the folder", path, ELOOP);
    else
      fail(why == ENOTDIR ? name + " is not a folder" : cant_write(name, why), path, why);
    return std::nullopt;
  }
  return folders_.size() - 1;
}

bool OutputBatch::add_file_in(std::size_t folder, const std::string& entry, const std::string& name, Fill fill) {
  return stage_file(folder, entry, folders_[folder].path + "/" + entry, name, std::move(fill));
}

bool OutputBatch::stage_file(std::size_t folder, const std::string& entry, const std::string& path,
                             const std::string& name, Fill fill) {
  if (stopped(path)) return false;
  const int dir = folder_fd(folder);
  if (dir < 0) return fail_with_errno(name, path);
  int error = 0;
  if (std::string problem = replace_problem(dir, entry, name, &error); !problem.empty())
    return fail(problem, path, error);
  std::optional<mode_t> mode;
  struct stat target;
  if (::fstatat(dir, entry.c_str(), &target, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(target.st_mode))
    mode = target.st_mode & 07777;
  const HeldSignals held;
  File& f = files_.emplace_back(File{folder, entry, {}, path, name, std::move(fill), false});
  std::string temporary = temporary_pattern(entry);
  const int fd = create_temporary(dir, temporary);
  if (fd < 0) {
    error = errno;
    files_.pop_back();
    return fail(cant_write(name, error), path, error);
  }
  f.temporary = std::move(temporary);
  // The replaced file's permission bits from the start: what it held was
  // no more readable than that, nor is what replaces it.
  const bool moded = !mode || ::fchmod(fd, *mode) == 0;
  error = errno;
  ::close(fd);
  return moded || fail(cant_write(name, error), path, error);
}

bool OutputBatch::check_space() {
  // Per file system: the blocks of the files staged on it and of the
  // folders made there, and a folder of the batch on it to ask.
  // (Named in a message by its first file.)
  struct Room {
    std::size_t blocks = 0;
    std::size_t folder = 0;
    const File* first = nullptr;
  };
  std::map<dev_t, Room> rooms;
  const auto count = [&](std::size_t k, const File* file) {
    const std::size_t top = folders_[k].parent.value_or(k);
    struct stat s;
    if (::fstat(folders_[top].fd, &s) != 0) return;
    Room& room = rooms[s.st_dev];
    room.folder = top;
    if (room.first == nullptr) room.first = file;
    ++room.blocks;
  };
  for (const File& f : files_) count(f.folder, &f);
  for (std::size_t k = 0; k < folders_.size(); ++k)
    if (folders_[k].made) count(k, nullptr);
  for (const auto& [device, room] : rooms) {
    struct statvfs fs;
    if (::fstatvfs(folders_[room.folder].fd, &fs) != 0 || fs.f_bsize == 0) continue;
    const unsigned long long free = static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize;
    const unsigned long long needed = static_cast<unsigned long long>(room.blocks) * fs.f_bsize;
    if (free < needed && room.first != nullptr)
      return fail(cant_write(room.first->name, ENOSPC) + " (" + std::to_string(free) +
                      " bytes free, less than the first blocks of the " + std::to_string(room.blocks) +
                      " files and folders it takes: " + std::to_string(needed) + ")",
                  room.first->path, ENOSPC);
  }
  return true;
}

bool OutputBatch::write() {
  for (const File& f : files_) {
    if (stopped(f.path)) return false;
    if (!f.fill) continue;
    const int dir = folder_fd(f.folder);
    if (dir < 0) return fail_with_errno(f.name, f.path);
    const int fd = ::openat(dir, f.temporary.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return fail_with_errno(f.name, f.path);
    std::FILE* stream = ::fdopen(fd, "wb");
    if (stream == nullptr) {
      const int error = errno;
      ::close(fd);
      return fail(cant_write(f.name, error), f.path, error);
    }
    std::string why;
    const bool filled = f.fill(stream, &why);
    const bool written = std::fflush(stream) == 0 && !std::ferror(stream);
    const int write_error = errno;
    const bool closed = std::fclose(stream) == 0;
    const int error = !written ? write_error : errno;
    if (!filled) return fail("can't write " + f.name + ": " + why, f.path, 0);
    if (!written || !closed) return fail(cant_write(f.name, error), f.path, error);
  }
  return true;
}

bool OutputBatch::commit() {
  const HeldSignals held;
  for (File& f : files_) {
    const int dir = folder_fd(f.folder);
    if (dir < 0) return fail_with_errno(f.name, f.path);
    if (::renameat(dir, f.temporary.c_str(), dir, f.entry.c_str()) != 0)
      return fail_with_errno(f.name, f.path);
    f.committed = true;
  }
  committed_ = true;
  return true;
}

void OutputBatch::remove_uncommitted() const {
  if (committed_) return;
  for (const File& f : files_) {
    if (f.committed || f.temporary.empty()) continue;
    const Folder& folder = folders_[f.folder];
    const int dir = folder.parent ? open_below(folder) : folder.fd;
    if (dir < 0) continue;
    ::unlinkat(dir, f.temporary.c_str(), 0);
    if (folder.parent) ::close(dir);
  }
  for (auto f = folders_.rbegin(); f != folders_.rend(); ++f) {
    if (!f->made) continue;
    const int parent = f->parent ? folders_[*f->parent].fd : f->parent_fd;
    ::unlinkat(parent, f->entry.c_str(), AT_REMOVEDIR);  // kept when not empty
  }
}

void remove_uncommitted_outputs() {
  for (const std::atomic<const OutputBatch*>& slot : live_batches)
    if (const OutputBatch* batch = slot.load()) batch->remove_uncommitted();
}

}  // namespace bperp::stack
