// Hostile input, end to end: every case must end within a few seconds with
// status 1, a message on standard output that names the file and the
// problem, nothing on standard error, and no line that could be taken for a
// result.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "process.h"
#include "test_files.h"

namespace bperp_test {
namespace {

struct Invocation {
  std::vector<std::string> args;
  bool interactive = false;  // names typed on standard input after the prompt
  std::string input;
  std::string named;                           // the message names this; empty: no file
  std::vector<std::string> first_line_one_of;  // the message's first line is one of these
  bool reason_line = false;                    // a second line gives the reason
  std::vector<std::string> fragments;          // the message holds each of these
  bool one_line = false;                       // the message is one line: no run was tried
};

struct Hostile {
  const char* name;
  std::function<Invocation(const TempDir&)> prepare;
};

const std::string example_numbers = "4066.372472 4163.441233 4014.008003\n"
                                    "4.163992967 1.803068918 -6.088507505\n";

// A master file with these bytes, refused for its content.
Invocation refused_master(const TempDir& dir, const std::string& bytes,
                          std::vector<std::string> fragments = {}) {
  const std::string m = dir.write("master.txt", bytes);
  return {{m, example_slave_path()}, false, "", m, {"can't read state vector from " + m}, true,
          std::move(fragments)};
}

// A number in the example master replaced by token: the reason quotes it.
Invocation bad_number(const TempDir& dir, const std::string& token) {
  return refused_master(dir, "header\n4066.372472 " + token + " 4014.008003\n4.163992967 1.803068918 -6.088507505\n",
                        {token});
}

// A master with six good numbers whose geometry admits no baseline.
Invocation unusable_master(const TempDir& dir, const Six& six, std::vector<std::string> fragments) {
  const std::string m = dir.write("master.txt", state_vector_text(six));
  return {{m, example_slave_path()}, false, "", m, {}, false, std::move(fragments)};
}

// Names typed on standard input that do not make two names.
Invocation typed(const std::string& input) {
  return {{}, true, input, "", {}, false, {"standard input"}, true};
}

// A nonexistent name of n characters below the directory.
std::string long_missing_name(const TempDir& dir, std::size_t n) {
  std::string p = dir.path().string() + "/";
  while (p.size() < n) p += std::string(std::min<std::size_t>(200, n - p.size()), 'q') + "/";
  return p + "missing.txt";
}

std::string random_bytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xff);
  return s;
}

const Hostile hostile_cases[] = {
    {"MissingMaster",
     [](const TempDir& d) {
       const std::string m = d.file("missing-master.txt");
       return Invocation{{m, example_slave_path()}, false, "", m, {"can't open " + m}, false, {}};
     }},
    {"MissingSlave",
     [](const TempDir& d) {
       const std::string s = d.file("missing-slave.txt");
       return Invocation{{example_master_path(), s}, false, "", s, {"can't open " + s}, false, {}};
     }},
    {"MasterIsADirectory",
     [](const TempDir& d) {
       const std::string m = d.path().string();
       return Invocation{{m, example_slave_path()}, false, "", m,
                         {"can't open " + m, "can't read state vector from " + m}, false, {}};
     }},
    {"SlaveIsADirectory",
     [](const TempDir& d) {
       const std::string s = d.path().string();
       return Invocation{{example_master_path(), s}, false, "", s,
                         {"can't open " + s, "can't read state vector from " + s}, false, {}};
     }},
    {"EmptyFile", [](const TempDir& d) { return refused_master(d, ""); }},
    {"HeaderOnly", [](const TempDir& d) { return refused_master(d, "header of a file with no numbers\n"); }},
    {"SixNumbersOnTheFirstLineOnly",
     // Without a newline the one line is the header: no numbers follow it.
     [](const TempDir& d) { return refused_master(d, "4066.372472 4163.441233 4014.008003 4.163992967 1.803068918 -6.088507505"); }},
    {"FiveNumbers",
     [](const TempDir& d) { return refused_master(d, "header\n4066.372472 4163.441233 4014.008003\n4.163992967 1.803068918\n", {"5"}); }},
    {"TextForANumber", [](const TempDir& d) { return bad_number(d, "zero"); }},
    {"Nan", [](const TempDir& d) { return bad_number(d, "nan"); }},
    {"NegativeNanInCapitals", [](const TempDir& d) { return bad_number(d, "-NaN"); }},
    {"Inf", [](const TempDir& d) { return bad_number(d, "inf"); }},
    {"MinusInfinity", [](const TempDir& d) { return bad_number(d, "-Infinity"); }},
    {"Overflow1e400", [](const TempDir& d) { return bad_number(d, "1e400"); }},
    {"NegativeOverflow", [](const TempDir& d) { return bad_number(d, "-4.2e+999"); }},
    {"UnitSuffix", [](const TempDir& d) { return bad_number(d, "7000km"); }},
    {"Hexadecimal", [](const TempDir& d) { return bad_number(d, "0x1.b58p12"); }},
    {"DecimalComma", [](const TempDir& d) { return bad_number(d, "4163,441233"); }},
    {"TwoDecimalPoints", [](const TempDir& d) { return bad_number(d, "4163.441.233"); }},
    {"ExponentWithoutDigits", [](const TempDir& d) { return bad_number(d, "4163e"); }},
    {"NulByteInANumber",
     [](const TempDir& d) {
       return refused_master(d, std::string("header\n4066.372472 4163\0.441233 4014.008003\n4.163992967 1.803068918 -6.088507505\n", 80),
                             {"4163"});
     }},
    {"OnlyNulBytes", [](const TempDir& d) { return refused_master(d, std::string(4096, '\0')); }},
    {"RandomBinary", [](const TempDir& d) { return refused_master(d, random_bytes(8192, 7)); }},
    {"MegabytesWithoutANewline",
     [](const TempDir& d) { return refused_master(d, std::string(std::size_t{4} << 20, 'x'), {"first line"}); }},
    {"DevZeroAsMaster",
     [](const TempDir&) {
       return Invocation{{"/dev/zero", example_slave_path()}, false, "", "/dev/zero",
                         {"can't read state vector from /dev/zero"}, true, {}};
     }},
    {"DevZeroAsSlave",
     [](const TempDir&) {
       return Invocation{{example_master_path(), "/dev/zero"}, false, "", "/dev/zero",
                         {"can't read state vector from /dev/zero"}, true, {}};
     }},
    {"DevNull",
     [](const TempDir&) {
       return Invocation{{"/dev/null", example_slave_path()}, false, "", "/dev/null",
                         {"can't read state vector from /dev/null"}, true, {}};
     }},
    {"SlaveHeaderOnly",
     [](const TempDir& d) {
       const std::string s = d.write("slave.txt", "header only\n");
       return Invocation{{example_master_path(), s}, false, "", s, {"can't read state vector from " + s}, true, {}};
     }},
    {"SlaveWithNan",
     [](const TempDir& d) {
       const std::string s = d.write("slave.txt", "header\n4066.2 nan 4014.0\n4.16 1.80 -6.09\n");
       return Invocation{{example_master_path(), s}, false, "", s, {"can't read state vector from " + s}, true, {"nan"}};
     }},
    {"PositionAtTheEarthsCentre",
     [](const TempDir& d) { return unusable_master(d, {0, 0, 0, 4.16, 1.80, -6.09}, {"position", "inside the earth"}); }},
    {"InsideTheEarth",
     [](const TempDir& d) { return unusable_master(d, {3000, 2000, 1000, 4.16, 1.80, -6.09}, {"inside the earth"}); }},
    {"OnTheEquatorAtSeaLevel",
     [](const TempDir& d) { return unusable_master(d, {6378.137, 0, 0, 0, 0, 7.5}, {"the earth"}); }},
    {"SoFarOutTheBeamMisses",
     [](const TempDir& d) { return unusable_master(d, {70000, 0, 0, 0, 0, 2.4}, {"misses the earth"}); }},
    {"BeyondAnyRange",
     [](const TempDir& d) { return unusable_master(d, {1e150, 1e150, 1e150, 0, 0, 1}, {"misses the earth"}); }},
    {"PositionTooLongForADouble",
     [](const TempDir& d) { return unusable_master(d, {1e300, 1e300, 1e300, 0, 0, 1}, {"misses the earth"}); }},
    {"VelocityZero",
     [](const TempDir& d) { return unusable_master(d, {4066.372472, 4163.441233, 4014.008003, 0, 0, 0}, {"velocity", "cross-track"}); }},
    {"VelocityParallelToPosition",
     [](const TempDir& d) { return unusable_master(d, {4000, 4000, 4000, 2, 2, 2}, {"velocity", "cross-track"}); }},
    {"VelocityAgainstPosition",
     [](const TempDir& d) { return unusable_master(d, {7000, 0, 0, -7.5, 0, 0}, {"velocity", "cross-track"}); }},
    {"SlaveSoFarOutTheBaselineOverflows",
     [](const TempDir& d) {
       const std::string s = d.write("slave.txt", state_vector_text({-1.7e308, -1.7e308, -1.7e308, 0, 0, 0}));
       return Invocation{{example_master_path(), s}, false, "", s, {}, false, {"not finite"}};
     }},
    {"EmptyStandardInput", [](const TempDir&) { return typed(""); }},
    {"StandardInputOfBlanks", [](const TempDir&) { return typed(" \t\n\n  \r\n"); }},
    {"StandardInputWithOneName", [](const TempDir&) { return typed(example_master_path() + "\n"); }},
    {"LongMissingMasterName",
     [](const TempDir& d) {
       const std::string m = long_missing_name(d, 5000);
       return Invocation{{m, example_slave_path()}, false, "", m, {"can't open " + m}, false, {}};
     }},
    {"LongMissingSlaveName",
     [](const TempDir& d) {
       const std::string s = long_missing_name(d, 20000);
       return Invocation{{example_master_path(), s}, false, "", s, {"can't open " + s}, false, {}};
     }},
    {"LongMissingNameTyped",
     [](const TempDir& d) {
       const std::string m = long_missing_name(d, 8000);
       return Invocation{{}, true, m + " " + example_slave_path() + "\n", m, {"can't open " + m}, false, {}};
     }},
};

class HostileInput : public testing::TestWithParam<Hostile> {};

TEST_P(HostileInput, IsRefusedWithAMessageAndNoResult) {
  TempDir dir;
  const Invocation inv = GetParam().prepare(dir);
  ProcessOptions o;
  o.input = inv.input;
  const ProcessResult r = run_bperp(inv.args, o);
  ASSERT_TRUE(r.started);
  EXPECT_FALSE(r.timed_out) << describe(r);
  ASSERT_TRUE(r.exited) << describe(r);
  EXPECT_EQ(r.status, 1) << describe(r);
  EXPECT_LT(r.seconds, 5.0);
  EXPECT_EQ(r.err, "") << describe(r);

  std::string message = r.out;
  if (inv.interactive) {
    ASSERT_EQ(message.rfind(prompt, 0), 0u) << describe(r);
    message.erase(0, prompt.size());
  }
  ASSERT_FALSE(message.empty()) << describe(r);
  EXPECT_EQ(message.back(), '\n') << describe(r);
  const std::vector<std::string> lines = lines_of(message);
  for (const std::string& line : lines) EXPECT_FALSE(looks_like_result(line)) << line;
  if (!inv.named.empty()) {
    EXPECT_NE(message.find(inv.named), std::string::npos) << describe(r);
  }
  if (!inv.first_line_one_of.empty()) {
    bool found = false;
    for (const std::string& l : inv.first_line_one_of) found = found || lines[0] == l;
    EXPECT_TRUE(found) << describe(r);
  }
  if (inv.reason_line) {
    ASSERT_EQ(lines.size(), 2u) << describe(r);
    EXPECT_NE(lines[1].find_first_not_of(" \t"), std::string::npos) << describe(r);
  }
  if (inv.one_line) {
    EXPECT_EQ(lines.size(), 1u) << describe(r);
  }
  for (const std::string& f : inv.fragments)
    EXPECT_NE(message.find(f), std::string::npos) << "no \"" << f << "\" in\n" << describe(r);
}

INSTANTIATE_TEST_SUITE_P(Table, HostileInput, testing::ValuesIn(hostile_cases),
                         [](const testing::TestParamInfo<Hostile>& p) {
                           return std::string(p.param.name);
                         });

}  // namespace
}  // namespace bperp_test
