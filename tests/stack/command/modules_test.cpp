// bperp-stack finds its modules (libzip's, cairo's) beside itself, wherever
// it is copied, needs neither for a run that reads no zip archive and draws
// no plot, and names the missing module and its Debian package where a run
// needs one. Where it is a static program that hands such runs (and every
// line with options) to bperp-stack-full, it finds that program beside
// itself too, and names it where it is missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "stack_test_support.h"

namespace {

using namespace stack_test;

const std::string examples = std::string(BPERP_SOURCE_DIR) + "/examples";
const std::string zipped = std::string(BPERP_SOURCE_DIR) +
                           "/tests/data/s1-zipped-safe/"
                           "S1A_IW_SLC__1SDV_20230108T135249_20230108T135316_046693_0598D3_BA76.zip";

#ifdef BPERP_STACK_FULL_EXE
const bool split = true;
#else
const bool split = false;
#endif

// bperp-stack copied alone into dir (with the program it hands over to,
// unless without_full), with the module files named (copied from the
// build) beside it as the names given.
std::string lone_stack(const TempDir& dir, const std::vector<std::pair<std::string, std::string>>& beside,
                       bool without_full = false) {
  namespace fs = std::filesystem;
  const std::string exe = dir.file("bperp-stack");
  fs::copy_file(BPERP_STACK_EXE, exe);
#ifdef BPERP_STACK_FULL_EXE
  if (!without_full) fs::copy_file(BPERP_STACK_FULL_EXE, dir.file("bperp-stack-full"));
#else
  (void)without_full;
#endif
  for (const auto& [from, as] : beside) fs::copy_file(from, dir.file(as));
  return exe;
}

TEST(StackModules, RunsWithoutTheModulesItDoesNotNeed) {
  TempDir dir;
  const std::string exe = lone_stack(dir, {});
  const std::vector<std::string> pair{examples + "/master.txt", examples + "/slave.txt"};
  const RunResult alone = run(exe, pair);
  const RunResult built = run_stack(pair);
  EXPECT_EQ(alone.status, 0) << alone.err;
  EXPECT_EQ(alone.out, built.out);
}

// The static program alone runs a line of names alone; it names the
// program it hands the rest to, where that is missing: for a line with
// options (nothing read), and for a zipped product (that row refused, the
// run going on).
TEST(StackModules, TheProgramHandedOverToIsNamedWhereMissing) {
  if (!split) GTEST_SKIP() << "bperp-stack is one program in this build";
  TempDir dir;
  const std::string exe = lone_stack(dir, {}, true);
  const std::vector<std::string> pair{examples + "/master.txt", examples + "/slave.txt"};
  EXPECT_EQ(run(exe, pair).out, run_stack(pair).out);
  const RunResult options = run(exe, {"--format", "csv", examples + "/master.txt", examples + "/slave.txt"});
  EXPECT_EQ(options.status, 1);
  EXPECT_EQ(options.out, "");
  EXPECT_EQ(options.err.rfind("bperp-stack: bperp-stack-full, which reads the options, is not installed beside " +
                                  exe,
                              0),
            0u)
      << options.err;
  const RunResult zip = run(exe, {examples + "/master.txt", zipped});
  EXPECT_EQ(zip.status, 1);
  EXPECT_NE(zip.out.find("2007-03-14"), std::string::npos) << zip.out;
  EXPECT_NE(zip.err.find("bperp-stack-full, which loads bperp-zip.so (libzip, Debian package libzip4), is not "
                         "installed beside " + exe),
            std::string::npos)
      << zip.err;
}

// The static program copied under the name of the one it hands over to
// would hand over to itself for ever: it says so instead.
TEST(StackModules, AProgramThatWouldHandOverToItselfSaysSo) {
  if (!split) GTEST_SKIP() << "bperp-stack is one program in this build";
  TempDir dir;
  const std::string exe = lone_stack(dir, {{BPERP_STACK_EXE, "bperp-stack-full"}}, true);
  const RunResult r = run(dir.file("bperp-stack-full"), {"--pairs", examples + "/master.txt", examples + "/slave.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("is a copy of this program, not the program it hands over to"), std::string::npos) << r.err;
  EXPECT_EQ(run(exe, {"--pairs", examples + "/master.txt"}).status, 1);
}

TEST(StackModules, MissingOrWrongModuleIsNamedWithItsPackage) {
  TempDir dir;
  // cairo's place taken by libzip's module: a shared object without the
  // entry the plot looks for.
  const std::string exe = lone_stack(dir, {{BPERP_ZIP_MODULE, "bperp-cairo.so"}});
  const std::string plot = dir.file("plot.svg");
  const RunResult wrong = run(exe, {"--plot", plot, examples + "/master.txt", examples + "/slave.txt"});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find("--plot needs cairo"), std::string::npos) << wrong.err;
  EXPECT_NE(wrong.err.find("bperp-cairo.so is not the module"), std::string::npos) << wrong.err;
  EXPECT_FALSE(std::filesystem::exists(plot));

  // No libzip module: the zipped product is refused, its reason naming the
  // module and the package; the reference is read and the run goes on.
  const RunResult zip = run(exe, {"--format", "csv", examples + "/master.txt", zipped});
  const std::string holder = split ? dir.file("bperp-stack-full") : exe;
  EXPECT_NE(zip.out.find("bperp-zip.so (libzip, Debian package libzip4) is not installed beside " + holder),
            std::string::npos)
      << zip.out << zip.err;
}

TEST(StackModules, FoundBesideACopiedProgram) {
  TempDir dir;
  const std::string exe =
      lone_stack(dir, {{BPERP_ZIP_MODULE, "bperp-zip.so"}, {BPERP_CAIRO_MODULE, "bperp-cairo.so"}});
  const std::vector<std::string> zip_args{"--format", "json", zipped, zipped};
  EXPECT_EQ(run(exe, zip_args).out, run_stack(zip_args).out);
  // The same plot, byte for byte, as the build's bperp-stack draws.
  const std::string here = dir.file("here.pdf"), built = dir.file("built.pdf");
  const std::vector<std::string> pair{examples + "/stack/reference.txt", examples + "/stack/20070612.txt",
                                      examples + "/stack/20080128.txt"};
  std::vector<std::string> a{"--pairs", "--plot", here}, b{"--pairs", "--plot", built};
  a.insert(a.end(), pair.begin(), pair.end());
  b.insert(b.end(), pair.begin(), pair.end());
  ASSERT_EQ(run(exe, a).status, 0);
  ASSERT_EQ(run_stack(b).status, 0);
  EXPECT_EQ(read_file(here), read_file(built));
}

}  // namespace
