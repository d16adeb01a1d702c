// Reading product files whole and bounded: opened without blocking (a FIFO
// never hangs the open), refused unless they are regular files, their size
// known before a byte is read so that a cap can be checked first.
#pragma once

#include <cstddef>
#include <string>

namespace bperp::stack {

// A read-only descriptor that closes itself.
struct FileDescriptor {
  int fd = -1;
  explicit FileDescriptor(int value) : fd(value) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();
};

// path opened for reading; -1 and *problem set (naming path; problem may
// be null) when it cannot be opened or is no regular file, otherwise the
// descriptor and *size its length in bytes.
int open_regular(const std::string& path, std::size_t* size, std::string* problem);

// Up to size bytes of fd into out (fewer when the file ends first), without
// clearing the room first; false and *problem set, naming path, on a read
// error.
bool read_bytes(int fd, std::size_t size, const std::string& path, std::string& out, std::string* problem);

}  // namespace bperp::stack
