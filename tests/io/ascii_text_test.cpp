// The text helpers against the C library in the "C" locale (the tests never
// change it), byte by byte: the same white space and the same case, and so
// the same answers whatever locale the tool runs in.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "bperp/io/ascii_text.h"

namespace bperp {
namespace {

TEST(AsciiText, AgreesWithTheCLocaleOnEveryByte) {
  for (int c = 0; c < 256; ++c) {
    const std::string byte(1, static_cast<char>(c));
    EXPECT_EQ(is_white_space(c), std::isspace(c) != 0) << c;
    EXPECT_EQ(upper(byte), std::string(1, static_cast<char>(std::toupper(c)))) << c;
    EXPECT_EQ(lower(byte), std::string(1, static_cast<char>(std::tolower(c)))) << c;
  }
  EXPECT_FALSE(is_white_space(EOF));
}

TEST(AsciiText, TrimsTheSixWhiteSpacesAtBothEndsOnly) {
  struct Case {
    std::string text, trimmed;
  };
  for (const Case& c : {Case{" \t\n\v\f\r1.5 m\r\f\v\n\t ", "1.5 m"}, Case{"a", "a"}, Case{"", ""},
                        Case{" \v ", ""}, Case{"\xa0x\x85", "\xa0x\x85"},  // no-break space, next line: bytes
                        Case{std::string("\0x\0", 3), std::string("\0x\0", 3)}})
    EXPECT_EQ(std::string(trimmed(c.text)), c.trimmed) << c.text;
  EXPECT_EQ(upper("Descending s1a-iw2 \xe9"), "DESCENDING S1A-IW2 \xe9");
  EXPECT_EQ(lower("IW2 VV \xc9"), "iw2 vv \xc9");
}

}  // namespace
}  // namespace bperp
