// The number reader on its own: where it stops and how it names the number
// that stopped it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "bperp/io/state_vector_file.h"

namespace bperp {
namespace {

// Reads every number of text (a header, then the numbers) and returns the
// refusal's reason ("" when accepted).
std::string problem_of(const std::string& text) {
  std::FILE* stream = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
  NumberFile file;
  std::string problem;
  const FileRead result = read_numbers(stream, 1000, false, 1 << 20, file, &problem);
  std::fclose(stream);
  return result == FileRead::ok ? std::string() : problem;
}

// The bad number's place, worded as English ordinals (checked by hand).
TEST(NumberReader, NamesTheBadNumberByItsPlace) {
  struct Case {
    int good;  // good numbers before the bad one
    const char* words;
  };
  for (const Case& c : {Case{0, "the first number"}, Case{6, "the seventh number"},
                        Case{7, "the 8th number"}, Case{10, "the 11th number"},
                        Case{11, "the 12th number"}, Case{12, "the 13th number"},
                        Case{20, "the 21st number"}, Case{21, "the 22nd number"},
                        Case{22, "the 23rd number"}, Case{110, "the 111th number"},
                        Case{101, "the 102nd number"}}) {
    std::string text = "header\n";
    for (int i = 0; i < c.good; ++i) text += "1.5 ";
    text += "nan\n";
    const std::string problem = problem_of(text);
    EXPECT_NE(problem.find(std::string(c.words) + " is not a finite decimal number: \"nan\""),
              std::string::npos)
        << problem;
  }
  EXPECT_EQ(problem_of("header\n1 2 3\n4 5 6\n"), "");
}

// A stream that can't be read is told from content that is no number: a
// folder opened as a file fails its first read.
TEST(NumberReader, TellsAFailedReadFromBadContent) {
  NumberFile file;
  std::string problem;
  ASSERT_EQ(read_number_file("/", 6, true, 1 << 20, file, &problem), FileRead::refused);
  EXPECT_TRUE(file.read_failed);
  EXPECT_TRUE(problem.starts_with("read error: ")) << problem;
  std::string text = "header\nnan\n";
  std::FILE* stream = fmemopen(text.data(), text.size(), "rb");
  ASSERT_EQ(read_numbers(stream, 6, true, 1 << 20, file, &problem), FileRead::refused);
  std::fclose(stream);
  EXPECT_FALSE(file.read_failed);
}

// The same text read from memory (stdio) and from a file (its descriptor).
struct Read {
  FileRead result;
  std::vector<double> numbers;
  std::vector<std::uint32_t> lines;
  std::string problem;
};
std::vector<Read> read_both_ways(std::string text) {
  std::vector<Read> reads;
  char path[] = "/tmp/bperp-numbers-XXXXXX";
  const int fd = mkstemp(path);
  EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(fd);
  for (const bool from_file : {false, true}) {
    std::FILE* stream = from_file ? std::fopen(path, "rb") : fmemopen(text.data(), text.size(), "rb");
    NumberFile file;
    file.keep_lines = true;
    Read r;
    r.result = read_numbers(stream, 1000, false, 1 << 20, file, &r.problem);
    r.numbers = file.numbers;
    r.lines = file.lines;
    std::fclose(stream);
    reads.push_back(r);
  }
  std::remove(path);
  return reads;
}

// Numbers and words that straddle the end of a 64 KiB block (the header
// pushes them there) read as they do at the start of a file.
TEST(NumberReader, ReadsTheSameWhereverTheBlocksEnd) {
  const std::string numbers = "1.5 -2.25e3\n+.125\t7\r\n1e-400 9.75";
  const std::vector<double> expected = {1.5, -2250.0, 0.125, 7.0, 0.0, 9.75};
  const std::vector<std::uint32_t> lines = {2, 2, 3, 3, 4, 4};
  const std::string word = std::string(60, 'w');
  for (std::size_t header = 65536 - 40; header <= 65536; header += 3) {
    for (const Read& r : read_both_ways(std::string(header, 'h') + "\n" + numbers)) {
      ASSERT_EQ(r.result, FileRead::ok) << header << ": " << r.problem;
      EXPECT_EQ(r.numbers, expected) << header;
      EXPECT_EQ(r.lines, lines) << header;
    }
    for (const Read& r : read_both_ways(std::string(header, 'h') + "\n1 2 " + word + " 3"))
      EXPECT_EQ(r.problem, "the third number is not a finite decimal number: \"" + word.substr(0, 40) + "...\"")
          << header;
  }
}

// The bound on the bytes after the header: every number's bytes but the
// white space ending it must lie before its last byte, whether the number
// is short (no exponent) or not.
TEST(NumberReader, KeepsTheBoundOnTheBytesRead) {
  for (const std::string numbers : {"1.5 22\n333 4444 ", "1.5 22\n333 4e1 ", "-7\t+.5\n"}) {
    const std::size_t last_end = numbers.size() - 1;  // where the last number ends
    for (std::size_t bound = 0; bound <= numbers.size() + 2; ++bound) {
      std::string text = "header\n" + numbers;
      std::FILE* stream = fmemopen(text.data(), text.size(), "rb");
      NumberFile file;
      std::string problem;
      const FileRead result = read_numbers(stream, 1000, false, bound, file, &problem);
      std::fclose(stream);
      if (bound >= last_end + 1) {
        EXPECT_EQ(result, FileRead::ok) << numbers << bound << problem;
      } else {
        EXPECT_EQ(problem, "no end of the numbers within " + std::to_string(bound) + " bytes after the first line")
            << numbers << bound;
      }
    }
  }
}

// Every number reads to the double strtod rounds it to, whether it is
// short enough for one division (at most 15 digits, no exponent) or not.
TEST(NumberReader, ReadsEveryNumberCorrectlyRounded) {
  const char* const texts[] = {"0.1", "-0.0", "+.5", "7.", "123456789012345", "0.000000000000001",
                               "-3893.557949", "9007199254740993", "1234567890123456", "0.3e1",
                               "2.2250738585072014e-308", "4.9e-324", "1.7976931348623157e308",
                               "0.1000000000000000055511151231257827", "000000000000000000001.5"};
  std::string text = "header\n";
  for (const char* t : texts) text += std::string(t) + " ";
  for (const Read& r : read_both_ways(text)) {
    ASSERT_EQ(r.result, FileRead::ok) << r.problem;
    ASSERT_EQ(r.numbers.size(), std::size(texts));
    for (std::size_t k = 0; k < std::size(texts); ++k) {
      const double expected = std::strtod(texts[k], nullptr);
      EXPECT_EQ(std::memcmp(&r.numbers[k], &expected, sizeof expected), 0) << texts[k];
    }
  }
}

// A pipe is read as far as the numbers it must give, without waiting for
// a whole block: the writer keeps it open until the reader is done.
TEST(NumberReader, ReadsAPipeAsFarAsItNeeds) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  const std::string text = "header\n1 2 3 4 5 6\n";
  ASSERT_EQ(::write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  std::FILE* stream = fdopen(ends[0], "rb");
  NumberFile file;
  std::string problem;
  EXPECT_EQ(read_numbers(stream, 6, true, 1 << 20, file, &problem), FileRead::ok) << problem;
  EXPECT_EQ(file.numbers, (std::vector<double>{1, 2, 3, 4, 5, 6}));
  ::close(ends[1]);
  std::fclose(stream);
}

}  // namespace
}  // namespace bperp
