// Running a reader process under bounds, against stand-ins written in sh
// that do what a reader meeting a hostile file might: crash, run out of
// processor time, report its memory bound, hang, flood its output. Each
// ends as a reason, within the wall-time bound, and leaves the caller
// unharmed.
#include "bperp/stack/hdf5/reader_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include "support/files.h"

namespace bperp::stack {
namespace {

const std::string sh = "/bin/sh";

struct Stand {
  ChildRun run;
  double seconds;
};

// sh -c script with input on its standard input, bounded as asked.
Stand stand_in(const std::string& script, int input, std::size_t max_output = 1 << 16, double wall = 5.0) {
  const auto start = std::chrono::steady_clock::now();
  ChildRun run = run_child(sh, {"-c", script}, input, max_output, wall);
  return {std::move(run), std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

TEST(ReaderProcess, EveryEndingBecomesAReason) {
  const test_support::TempDir dir;
  const int input = ::open(dir.write("in", "input bytes").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(input, 0);
  struct Case {
    const char* what;
    std::string script;
    std::size_t max_output;
    double wall;
    const char* words;
  };
  const Case cases[] = {
      {"crash", "kill -SEGV $$", 1 << 16, 5.0, "the HDF5 library crashed reading it (signal 11, SIGSEGV)"},
      {"processor time", "ulimit -t 1; while :; do :; done", 1 << 16, 20.0,
       "took more than 10 s of processor time"},
      {"memory bound", "exit 3", 1 << 16, 5.0, "it asked for more than 1 GiB of memory"},
      {"other status", "exit 7", 1 << 16, 5.0, "ended with status 7"},
      {"hang", "exec sleep 30", 1 << 16, 0.3, "took more than 0.3 s"},
      {"hang after closing its output", "exec >&-; exec sleep 30", 1 << 16, 0.3, "took more than 0.3 s"},
      {"flood", "while :; do echo flood; done", 4096, 5.0, "wrote more than its reply may hold"},
  };
  for (const Case& c : cases) {
    const Stand s = stand_in(c.script, input, c.max_output, c.wall);
    EXPECT_TRUE(s.run.started) << c.what;
    EXPECT_NE(reader_failure(s.run, sh).find(c.words), std::string::npos)
        << c.what << ": " << reader_failure(s.run, sh);
    EXPECT_LT(s.seconds, c.wall + 2.0) << c.what;
  }
  ::close(input);
}

// The child reads the file given as its standard input and writes through
// the pipe; it holds no other descriptor (standard error closed), has
// an empty environment and default signal dispositions whatever the
// caller set.
TEST(ReaderProcess, TheChildHoldsOnlyItsInputAndThePipe) {
  const test_support::TempDir dir;
  const int input = ::open(dir.write("in", "input bytes").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(input, 0);
  const int leaked = ::open(dir.write("other", "x").c_str(), O_RDONLY);  // no close-on-exec
  ASSERT_GE(leaked, 0);
  const auto old_pipe = std::signal(SIGPIPE, SIG_IGN);
  // ls alone (a pipe of the shell's own would take the free descriptor 2).
  const Stand s = stand_in(
      "cat; echo; ls /proc/$$/fd; echo -; env | grep -c -v '^PWD='; grep SigIgn /proc/$$/status", input);
  std::signal(SIGPIPE, old_pipe);
  ::close(leaked);
  ::close(input);
  ASSERT_TRUE(s.run.exited && s.run.status == 0) << reader_failure(s.run, sh);
  const std::vector<std::string> lines = test_support::lines_of(s.run.output);
  ASSERT_EQ(lines.size(), 6u) << s.run.output;
  EXPECT_EQ(lines[0], "input bytes");
  EXPECT_EQ(lines[1] + " " + lines[2] + " " + lines[3], "0 1 -");
  EXPECT_EQ(lines[4], "0");  // no variable but the one sh sets itself
  const unsigned long ignored = std::stoul(lines[5].substr(lines[5].find('\t') + 1), nullptr, 16);
  EXPECT_EQ(ignored & (1ul << (SIGPIPE - 1)), 0u) << lines[5];
  EXPECT_EQ(reader_failure(s.run, sh), "");
}

TEST(ReaderProcess, AMissingExecutableIsAReasonToo) {
  const ChildRun run = run_child("/nonexistent/bperp-hdf5-reader", {}, 0, 100, 1.0);
  EXPECT_FALSE(run.started);
  EXPECT_NE(reader_failure(run, "/nonexistent/bperp-hdf5-reader").find("can't start the HDF5 reader"),
            std::string::npos);
  // The reader itself is found from where the tests are built.
  std::string problem;
  const std::optional<std::string> reader = hdf5_reader_path(&problem);
  ASSERT_TRUE(reader) << problem;
  EXPECT_TRUE(reader->ends_with("/bperp-hdf5-reader"));
}

}  // namespace
}  // namespace bperp::stack
