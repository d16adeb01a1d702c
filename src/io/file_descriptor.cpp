#include "bperp/io/file_descriptor.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace bperp {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.release();
  }
  return *this;
}

int FileDescriptor::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

std::FILE* FileDescriptor::into_stream(const char* mode) {
  if (fd_ < 0) return nullptr;
  std::FILE* stream = ::fdopen(fd_, mode);
  if (stream != nullptr) fd_ = -1;
  return stream;
}

void FileDescriptor::close() {
  if (fd_ < 0) return;
  const int saved = errno;
  ::close(fd_);
  fd_ = -1;
  errno = saved;
}

FileDescriptor open_without_waiting(const char* path, Reads reads) {
  FileDescriptor file(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!file.is_open() || reads == Reads::non_blocking) return file;
  const int flags = ::fcntl(file.get(), F_GETFL);
  if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) < 0) return FileDescriptor();
  return file;
}

}  // namespace bperp
