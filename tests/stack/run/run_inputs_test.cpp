// What a program (the Python package) asks of a run beyond the command's:
// a check that stops it between secondaries, inputs made in memory, and
// warnings it can tell apart by their kind.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/run/stack_run.h"

namespace {

using bperp::stack::StackInput;
using bperp::stack::WarningKind;

const std::string stack_dir = std::string(BPERP_SOURCE_DIR) + "/examples/stack/";
const std::string reference = stack_dir + "reference.txt";
const std::vector<std::string> secondaries = {stack_dir + "20070612.txt", stack_dir + "20070728.orbit",
                                              stack_dir + "20071028.txt", stack_dir + "20071213.orbit",
                                              stack_dir + "20080128.txt"};

TEST(RunInputs, AStopCheckEndsTheRunBeforeTheNextSecondary) {
  for (const int allowed : {0, 1, 3}) {
    bperp::stack::StackOptions options;
    int asked = 0;
    options.stop_requested = [&]() { return ++asked > allowed; };
    const bperp::stack::StackRun run = bperp::stack::run_stack(reference, secondaries, options);
    EXPECT_TRUE(run.cancelled);
    EXPECT_FALSE(run.all_ok());
    EXPECT_EQ(run.secondaries.size(), static_cast<std::size_t>(allowed));
    EXPECT_EQ(asked, allowed + 1);
  }
  bperp::stack::StackOptions never;
  never.stop_requested = []() { return false; };
  EXPECT_TRUE(bperp::stack::run_stack(reference, secondaries, never).all_ok());
}

TEST(RunInputs, AnAcquisitionMadeInMemoryIsItsFileAndNeverTheSameFile) {
  // Each file read into memory, as a program makes one: no file behind it.
  std::vector<StackInput> inputs;
  for (const std::string& path : secondaries) {
    bperp::stack::Acquisition a = bperp::stack::read_secondary(path);
    a.identity.reset();
    inputs.emplace_back(std::make_shared<const bperp::stack::Acquisition>(std::move(a)));
  }
  inputs.emplace_back(secondaries[0]);  // its file too: not a duplicate of the one in memory
  const bperp::stack::StackRun made = bperp::stack::run_stack(StackInput(reference), inputs);
  const bperp::stack::StackRun files = bperp::stack::run_stack(reference, secondaries);
  ASSERT_EQ(made.secondaries.size(), secondaries.size() + 1);
  for (std::size_t k = 0; k < secondaries.size(); ++k) {
    EXPECT_EQ(made.secondaries[k].baseline.perpendicular, files.secondaries[k].baseline.perpendicular);
    EXPECT_EQ(made.secondaries[k].baseline.parallel, files.secondaries[k].baseline.parallel);
  }
  EXPECT_EQ(made.secondaries.back().baseline.perpendicular, files.secondaries[0].baseline.perpendicular);
  // Its file is another acquisition of its date, not the same file.
  ASSERT_EQ(made.warnings.size(), 1u);
  EXPECT_EQ(made.warnings[0].kind, WarningKind::same_date);
}

TEST(RunInputs, WarningsCarryTheirKind) {
  // The reference among the secondaries is left out without a warning.
  const bperp::stack::StackRun run =
      bperp::stack::run_stack(reference, {secondaries[0], secondaries[0], reference});
  ASSERT_EQ(run.warnings.size(), 1u);
  EXPECT_EQ(run.warnings[0].kind, WarningKind::duplicate_file) << run.warnings[0].text;
  EXPECT_NE(run.warnings[0].text.find("used once"), std::string::npos);
  EXPECT_EQ(bperp::stack::warning_kind_name(WarningKind::split_network), "split_network");
}

}  // namespace
