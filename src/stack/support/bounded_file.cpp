#include "bperp/stack/support/bounded_file.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace bperp::stack {

namespace {

void set(std::string* problem, std::string text) {
  if (problem != nullptr) *problem = std::move(text);
}

}  // namespace

FileDescriptor open_regular(const std::string& path, std::size_t* size, std::string* problem) {
  FileDescriptor file = open_without_waiting(path.c_str(), Reads::non_blocking);
  if (!file.is_open()) {
    set(problem, path + ": cannot open it (" + std::generic_category().message(errno) + ")");
    return file;
  }
  struct stat st {};
  if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    set(problem, path + ": is no regular file");
    return FileDescriptor();
  }
  *size = static_cast<std::size_t>(st.st_size);
  return file;
}

bool read_bytes(int fd, std::size_t size, const std::string& path, std::string& out, std::string* problem) {
  // Room for the bytes without filling it first: the read writes every
  // byte that is kept (a string would be cleared, 5 MB a precise orbit
  // file, for nothing).
  out.clear();
  out.reserve(size);
  char chunk[1 << 16];
  while (out.size() < size) {
    const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, size - out.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      set(problem, path + ": cannot read it (" + std::generic_category().message(errno) + ")");
      return false;
    }
    if (n == 0) break;
    out.append(chunk, static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace bperp::stack
