#include "bperp/stack/outputs/output_file.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
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

// Creates a new file named pattern with its last six characters (XXXXXX)
// replaced by random letters and digits, with mode 0666 less the process's
// umask, as any new file gets (mkstemp makes 0600, and reading the umask
// means setting it, which would give the files other threads create in
// that moment mode 0666). Returns the descriptor, or -1 with errno set.
int create_temporary(std::string& pattern) {
  static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  constexpr std::size_t suffix = 6;
  constexpr int attempts = 100;
  thread_local std::mt19937_64 random{std::random_device{}() ^
                                      static_cast<std::uint64_t>(::getpid()) << 32};
  for (int attempt = 0; attempt < attempts; ++attempt) {
    for (std::size_t k = pattern.size() - suffix; k < pattern.size(); ++k)
      pattern[k] = letters[random() % (sizeof letters - 1)];
    const int fd = ::open(pattern.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;  // errno EEXIST
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

std::string input_clash_problem(const std::string& path, const std::string& name,
                                const std::vector<std::string>& inputs) {
  struct stat target;
  if (::stat(path.c_str(), &target) != 0) return {};
  for (const std::string& input : inputs) {
    struct stat s;
    if (::stat(input.c_str(), &s) == 0 && s.st_dev == target.st_dev && s.st_ino == target.st_ino)
      return name + " is one of the input files";
  }
  return {};
}

std::string output_path_problem(const std::string& path, const std::string& name,
                                const std::vector<std::string>& inputs) {
  struct stat target;
  if (::stat(path.c_str(), &target) == 0) {
    if (S_ISDIR(target.st_mode)) return name + " is a directory";
    if (!S_ISREG(target.st_mode)) return name + " is not a regular file (a device, pipe or socket)";
    if (std::string clash = input_clash_problem(path, name, inputs); !clash.empty()) return clash;
  }
  const std::string directory = directory_of(path);
  struct stat d;
  if (::stat(directory.c_str(), &d) != 0) return "can't write " + name + ": " + std::strerror(errno);
  if (!S_ISDIR(d.st_mode)) return "can't write " + name + ": " + std::strerror(ENOTDIR);
  if (::access(directory.c_str(), W_OK) != 0)
    return "can't write " + name + ": " + std::strerror(errno);
  // What the checks above cannot see (a file system that takes no new
  // file, such as /proc; a name too long for it): the temporary file the
  // output will be written through is made once, and removed.
  std::string problem;
  AtomicFile probe;
  if (probe.open(path, &problem) == nullptr) return "can't write " + name + ": " + problem;
  return {};
}

AtomicFile::~AtomicFile() {
  if (stream_ != nullptr) std::fclose(stream_);
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

std::FILE* AtomicFile::open(const std::string& path, std::string* problem) {
  path_ = path;
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  // ".NAME.XXXXXX" beside the target, or ".bperp-XXXXXX" when that would
  // be longer than a file name may be (the target's own name may be).
  constexpr std::size_t name_max = 255;
  constexpr std::size_t added = 8;  // "." and ".XXXXXX"
  std::string pattern = directory + (base.size() + added <= name_max ? "." + base : std::string(".bperp")) +
                        (base.size() + added <= name_max ? ".XXXXXX" : "-XXXXXX");
  const int fd = create_temporary(pattern);
  if (fd < 0) {
    *problem = std::strerror(errno);
    return nullptr;
  }
  temporary_ = pattern;
  stream_ = ::fdopen(fd, "wb");
  if (stream_ == nullptr) {
    *problem = std::strerror(errno);
    ::close(fd);
  }
  return stream_;
}

bool AtomicFile::commit(std::string* problem) {
  if (stream_ == nullptr) return false;
  const bool written = std::fflush(stream_) == 0 && !std::ferror(stream_);
  const int write_errno = errno;
  const bool closed = std::fclose(stream_) == 0;
  stream_ = nullptr;
  if (!written || !closed) {
    *problem = std::strerror(written ? errno : write_errno);
    return false;
  }
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
    *problem = std::strerror(errno);
    return false;
  }
  committed_ = true;
  return true;
}

}  // namespace bperp::stack
