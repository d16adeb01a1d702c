// The number reader on its own: where it stops and how it names the number
// that stopped it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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

}  // namespace
}  // namespace bperp
