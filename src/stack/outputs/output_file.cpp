#include "bperp/stack/outputs/output_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

}  // namespace

std::string output_path_problem(const std::string& path, const std::string& name,
                                const std::vector<std::string>& inputs) {
  struct stat target;
  if (::stat(path.c_str(), &target) == 0) {
    if (S_ISDIR(target.st_mode)) return name + " is a directory";
    if (!S_ISREG(target.st_mode)) return name + " is not a regular file (a device, pipe or socket)";
    for (const std::string& input : inputs) {
      struct stat s;
      if (::stat(input.c_str(), &s) == 0 && s.st_dev == target.st_dev && s.st_ino == target.st_ino)
        return name + " is one of the input files";
    }
  }
  const std::string directory = directory_of(path);
  struct stat d;
  if (::stat(directory.c_str(), &d) != 0) return "can't write " + name + ": " + std::strerror(errno);
  if (!S_ISDIR(d.st_mode)) return "can't write " + name + ": " + std::strerror(ENOTDIR);
  if (::access(directory.c_str(), W_OK) != 0)
    return "can't write " + name + ": " + std::strerror(errno);
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
  std::string pattern = directory + "." + base + ".XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    *problem = std::strerror(errno);
    return nullptr;
  }
  temporary_ = pattern;
  // The permissions a newly created file gets (mkstemp makes it 0600).
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
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
