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

using test_support::TempDir;

bool is_closed(int fd) { return ::fcntl(fd, F_GETFD) == -1 && errno == EBADF; }

TEST(OpenWithoutWaiting, APipeWithoutAWriterOpensAtOnceAndReadsAsEmpty) {
  TempDir dir;
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
  // The reader through it: an empty file, refused for its missing numbers.
  NumberFile numbers;
  std::string problem;
  EXPECT_EQ(read_number_file(fifo.c_str(), 6, true, 1 << 20, numbers, &problem), FileRead::refused);
  EXPECT_EQ(problem, "the file ends after 0 of 6 numbers");
  ::alarm(0);
}

TEST(OpenWithoutWaiting, AMissingFileLeavesItsErrno) {
  const FileDescriptor file = open_without_waiting("/nonexistent/bperp/file", Reads::blocking);
  EXPECT_FALSE(file.is_open());
  EXPECT_EQ(errno, ENOENT);
  NumberFile numbers;
  EXPECT_EQ(read_number_file("/nonexistent/bperp/file", 6, true, 1 << 20, numbers, nullptr),
            FileRead::cannot_open);
  EXPECT_EQ(numbers.open_error, ENOENT);
}

// The descriptor is closed exactly once: by its last owner, or by the
// stream it was handed to.
TEST(FileDescriptor, ClosesOnceByItsLastOwner) {
  TempDir dir;
  const std::string path = dir.write("f.txt", "x");
  int fd = -1;
  {
    FileDescriptor first = open_without_waiting(path.c_str(), Reads::blocking);
    fd = first.get();
    FileDescriptor second(std::move(first));
    EXPECT_FALSE(first.is_open());
    EXPECT_EQ(second.get(), fd);
    FileDescriptor third;
    third = std::move(second);
    EXPECT_EQ(third.get(), fd);
    errno = EDOM;
  }
  EXPECT_EQ(errno, EDOM) << "closing keeps errno";
  EXPECT_TRUE(is_closed(fd));

  FileDescriptor file = open_without_waiting(path.c_str(), Reads::blocking);
  fd = file.get();
  std::FILE* stream = file.into_stream("rb");
  ASSERT_NE(stream, nullptr);
  EXPECT_FALSE(file.is_open());
  EXPECT_EQ(std::fgetc(stream), 'x');
  std::fclose(stream);
  EXPECT_TRUE(is_closed(fd));

  errno = EDOM;
  EXPECT_EQ(FileDescriptor().into_stream("rb"), nullptr);
  EXPECT_EQ(errno, EDOM) << "no descriptor: the errno of the failed open stays";
}

}  // namespace
}  // namespace bperp
