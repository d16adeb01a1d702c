// The open that never waits and the descriptor that closes itself, on real
// files and a named pipe with no writer (which would hang a plain open).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bperp/io/file_descriptor.h"
#include "bperp/io/state_vector_file.h"
#include "support/files.h"

namespace bperp {
namespace {

bool is_closed(int fd) { return ::fcntl(fd, F_GETFD) == -1 && errno == EBADF; }

TEST(OpenWithoutWaiting, APipeWithoutAWriterOpensAtOnceAndReadsAsEmpty) {
  test_support::TempDir dir;
  const std::string fifo = dir.file("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ::alarm(10);  // a blocking open would end the test here
  for (const Reads reads : {Reads::blocking, Reads::non_blocking}) {
    const FileDescriptor file = open_without_waiting(fifo.c_str(), reads);
    ASSERT_TRUE(file.is_open());
    EXPECT_EQ((::fcntl(file.get(), F_GETFL) & O_NONBLOCK) != 0, reads == Reads::non_blocking);
    EXPECT_NE(::fcntl(file.get(), F_GETFD) & FD_CLOEXEC, 0);
    char byte = 0;
    EXPECT_EQ(::read(file.get(), &byte, 1), 0);
  }
  NumberFile numbers;
  std::string problem;
  EXPECT_EQ(read_number_file(fifo.c_str(), 6, true, 1 << 20, numbers, &problem), FileRead::refused);
  EXPECT_EQ(problem, "the file ends after 0 of 6 numbers");
  ::alarm(0);
  // A missing file: its errno kept through the stream that was not made.
  EXPECT_EQ(read_number_file("/nonexistent/bperp", 6, true, 1 << 20, numbers, nullptr), FileRead::cannot_open);
  EXPECT_EQ(numbers.open_error, ENOENT);
}

// Closed exactly once, by its last owner or by the stream it went to, and
// errno kept.
TEST(FileDescriptor, ClosesOnceByItsLastOwner) {
  test_support::TempDir dir;
  const std::string path = dir.write("f.txt", "x");
  int fd = -1;
  {
    FileDescriptor first = open_without_waiting(path.c_str(), Reads::blocking);
    fd = first.get();
    FileDescriptor second;
    second = std::move(first);
    EXPECT_EQ(second.get(), fd);
    errno = EDOM;
  }
  EXPECT_EQ(errno, EDOM);
  EXPECT_TRUE(is_closed(fd));

  FileDescriptor file = open_without_waiting(path.c_str(), Reads::blocking);
  fd = file.get();
  std::FILE* stream = file.into_stream("rb");
  ASSERT_NE(stream, nullptr);
  EXPECT_FALSE(file.is_open());
  EXPECT_EQ(std::fgetc(stream), 'x');
  std::fclose(stream);
  EXPECT_TRUE(is_closed(fd));
}

}  // namespace
}  // namespace bperp
