// The two ways of invoking bperp, the argument errors, the files that can't
// be opened, and the result's formats, run on the real executable.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "process.h"
#include "test_files.h"

namespace bperp_test {
namespace {

// Half a unit in the sixth decimal: how far a "%f" result may lie from the
// value it renders, km.
constexpr double half_printed_digit = 0.5e-6;

TEST(CommandLine, TwoArgumentsPrintTwoFixedLinesAndNothingElse) {
  const ProcessResult r = run_bperp({example_master_path(), example_slave_path()});
  ASSERT_TRUE(r.exited && r.status == 0) << describe(r);
  double par = 0.0, perp = 0.0;
  EXPECT_TRUE(parse_fixed_pair(r.out, &par, &perp)) << describe(r);
  EXPECT_EQ(r.out, format("%f\n%f\n", par, perp));
  EXPECT_EQ(r.err, "");
  // A pair a few hundred metres apart: neither component is zero.
  EXPECT_GT(std::fabs(par), 0.01);
  EXPECT_GT(std::fabs(perp), 0.01);
}

// How the two names may be typed: any white space around and between them.
struct TypedNames {
  const char* name;
  const char* before;
  const char* between;
  const char* after;
};

class InteractiveNames : public testing::TestWithParam<TypedNames> {};

TEST_P(InteractiveNames, PromptThenTheLabelledLineOfTheSameResult) {
  const TypedNames& t = GetParam();
  const ProcessResult args = run_bperp({example_master_path(), example_slave_path()});
  double par_f = 0.0, perp_f = 0.0;
  ASSERT_TRUE(parse_fixed_pair(args.out, &par_f, &perp_f)) << describe(args);

  ProcessOptions o;
  o.input = std::string(t.before) + example_master_path() + t.between + example_slave_path() + t.after;
  const ProcessResult r = run_bperp({}, o);
  ASSERT_TRUE(r.exited && r.status == 0) << describe(r);
  EXPECT_EQ(r.err, "");
  double par = 0.0, perp = 0.0;
  ASSERT_TRUE(parse_labelled(r.out, &par, &perp)) << describe(r);
  EXPECT_EQ(r.out, prompt + format("para%e perp%e\n", par, perp));
  // The same run in both forms: the seven digits of %e and the six decimals
  // of %f render the same two numbers.
  EXPECT_NEAR(par, par_f, half_printed_digit + 0.5e-7);
  EXPECT_NEAR(perp, perp_f, half_printed_digit + 0.5e-7);
}

INSTANTIATE_TEST_SUITE_P(
    TypedNames, InteractiveNames,
    testing::Values(TypedNames{"OneLineOneBlank", "", " ", "\n"},
                    TypedNames{"TwoLines", "", "\n", "\n"},
                    TypedNames{"TabsAndBlanks", "  \t", " \t  ", "\t \n"},
                    TypedNames{"BlankLinesFirst", "\n\n", "\n\n\n", "\n"},
                    TypedNames{"NoFinalNewline", "", " ", ""},
                    TypedNames{"CrlfLines", "", "\r\n", "\r\n"},
                    TypedNames{"MoreTextAfterTheTwoNames", "", " ", " third-word ignored\n"}),
    [](const testing::TestParamInfo<TypedNames>& p) { return std::string(p.param.name); });

// Any argument count but 0 and 2 (argc 1 and 3): the two lines of the usage
// message with the invocation name, status 1, no run and nothing on stderr.
TEST(CommandLine, WrongArgumentCountsPrintTheUsageWithTheInvocationName) {
  const std::string m = example_master_path(), s = example_slave_path();
  const std::vector<std::vector<std::string>> counts = {
      {m}, {m, s, s}, {m, s, m, s}, {"a"}, {"a", "b", "c"}, {""}};
  for (const std::string& argv0 : {std::string(BPERP_EXE), std::string("bperp"),
                                  std::string("./some dir/other-name")}) {
    for (const std::vector<std::string>& args : counts) {
      ProcessOptions o;
      o.argv0 = argv0;
      o.input = m + " " + s + "\n";  // must not be read
      const ProcessResult r = run_bperp(args, o);
      SCOPED_TRACE(argv0 + " with " + std::to_string(args.size()) + " arguments");
      EXPECT_TRUE(r.exited && r.status == 1) << describe(r);
      EXPECT_EQ(r.out, "argument error\nUSAGE% " + argv0 + " [master-file slave-file] \n");
      EXPECT_EQ(r.err, "");
    }
  }
}

TEST(CommandLine, MissingMasterIsNamedAndTheSlaveNotTried) {
  TempDir dir;
  const std::string missing_m = dir.file("no-master.txt"), missing_s = dir.file("no-slave.txt");
  // Both missing: only the master is reported, so the slave was never opened.
  ProcessResult r = run_bperp({missing_m, missing_s});
  EXPECT_TRUE(r.exited && r.status == 1) << describe(r);
  EXPECT_EQ(r.out, "can't open " + missing_m + "\n");
  EXPECT_EQ(r.err, "");
  // The same through the prompt.
  ProcessOptions o;
  o.input = missing_m + " " + missing_s + "\n";
  r = run_bperp({}, o);
  EXPECT_TRUE(r.exited && r.status == 1) << describe(r);
  EXPECT_EQ(r.out, prompt + "can't open " + missing_m + "\n");
  // A master that is refused for its content also ends the run before the
  // slave is opened.
  const std::string bad = dir.write("bad.txt", "header\n1 2 3\n");
  r = run_bperp({bad, missing_s});
  EXPECT_TRUE(r.exited && r.status == 1) << describe(r);
  EXPECT_EQ(r.out.rfind("can't read state vector from " + bad + "\n", 0), 0u) << r.out;
  EXPECT_EQ(r.out.find(missing_s), std::string::npos) << r.out;
}

TEST(CommandLine, MissingSlaveIsNamed) {
  TempDir dir;
  const std::string missing = dir.file("no-slave.txt");
  ProcessResult r = run_bperp({example_master_path(), missing});
  EXPECT_TRUE(r.exited && r.status == 1) << describe(r);
  EXPECT_EQ(r.out, "can't open " + missing + "\n");
  EXPECT_EQ(r.err, "");
  ProcessOptions o;
  o.input = example_master_path() + "\n" + missing + "\n";
  r = run_bperp({}, o);
  EXPECT_TRUE(r.exited && r.status == 1) << describe(r);
  EXPECT_EQ(r.out, prompt + "can't open " + missing + "\n");
}

TEST(CommandLine, TheSameFileTwiceGivesAZeroBaseline) {
  for (const std::string& f : {example_master_path(), example_slave_path()}) {
    const ProcessResult r = run_bperp({f, f});
    ASSERT_TRUE(r.exited && r.status == 0) << describe(r);
    double par = 1.0, perp = 1.0;
    ASSERT_TRUE(parse_fixed_pair(r.out, &par, &perp)) << describe(r);
    EXPECT_EQ(par, 0.0);
    EXPECT_EQ(perp, 0.0);
    // The exponent form shows any residue the fixed form would hide: B is
    // exactly the zero vector, so both projections are exact zeros.
    ProcessOptions o;
    o.input = f + " " + f + "\n";
    const ProcessResult e = run_bperp({}, o);
    ASSERT_TRUE(e.exited && e.status == 0) << describe(e);
    ASSERT_TRUE(parse_labelled(e.out, &par, &perp)) << describe(e);
    EXPECT_EQ(par, 0.0) << e.out;
    EXPECT_EQ(perp, 0.0) << e.out;
  }
}

TEST(CommandLine, OnlyTheSlavePositionEntersTheResult) {
  // The slave's velocity is not part of the baseline: zero, reversed or
  // absurd, the printed bytes stay the same.
  TempDir dir;
  const ProcessResult ref = run_bperp({example_master_path(), example_slave_path()});
  ASSERT_TRUE(ref.exited && ref.status == 0) << describe(ref);
  Six s = example_slave();
  for (const Six& v : {Six{0, 0, 0}, Six{-s[3], -s[4], -s[5]}, Six{1e6, -1e6, 3}}) {
    const Six moved{s[0], s[1], s[2], v[0], v[1], v[2]};
    const std::string f = dir.write("slave.txt", state_vector_text(moved));
    const ProcessResult r = run_bperp({example_master_path(), f});
    EXPECT_TRUE(r.exited && r.status == 0) << describe(r);
    EXPECT_EQ(r.out, ref.out);
  }
}

TEST(CommandLine, AResultThatCannotBeWrittenIsAFailure) {
  // Standard output on a full device: the numbers never reach the caller,
  // so the status must not claim they did.
  ProcessOptions o;
  o.stdout_path = "/dev/full";
  const ProcessResult r = run_bperp({example_master_path(), example_slave_path()}, o);
  EXPECT_TRUE(r.exited) << describe(r);
  EXPECT_EQ(r.status, 1) << describe(r);
  EXPECT_NE(r.err, "");
}

}  // namespace
}  // namespace bperp_test
