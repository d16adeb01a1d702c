// Opening input files without ever waiting in the open, and the descriptor
// that closes itself.
//
// A named pipe with no writer would block a plain open for ever; opened
// with O_NONBLOCK it opens at once and reads as empty. Readers that then
// want a pipe being written read to its end (a process substitution, say)
// have the flag cleared after the open.
#pragma once

#include <cstdio>

namespace bperp {

// A file descriptor that closes itself (errno as it was), move-only; -1
// when it holds none.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { close(); }

  int get() const { return fd_; }
  bool is_open() const { return fd_ >= 0; }
  // The descriptor, no longer closed here.
  int release();

  // The descriptor handed over to a stdio stream opened with mode ("rb",
  // ...), which closes it from then on. nullptr with errno as it was when
  // there is no descriptor; nullptr and errno set when fdopen fails (the
  // descriptor then still closed here).
  std::FILE* into_stream(const char* mode);

 private:
  void close();
  int fd_ = -1;
};

// What reads of an opened file do when nothing is there yet: wait for it
// (blocking, the flag cleared after the open) or return at once.
enum class Reads { blocking, non_blocking };

// path opened read-only and close-on-exec without waiting in the open,
// reads then as asked. No descriptor and errno set when it cannot be
// opened (or the flag cannot be cleared).
FileDescriptor open_without_waiting(const char* path, Reads reads);

}  // namespace bperp
