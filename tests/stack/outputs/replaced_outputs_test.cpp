// What bperp-stack does to the files it replaces and what an interrupted
// run leaves: permission bits kept; what the shell's redirection or the
// rename would refuse refused before anything is printed; no link followed
// inside a stack folder; after SIGINT, SIGTERM or SIGHUP no temporary file
// and the old outputs or the new ones, never a mix.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "stack_test_support.h"

namespace {

namespace fs = std::filesystem;
using stack_test::RunResult;
using stack_test::TempDir;

const std::string stack_dir = std::string(BPERP_SOURCE_DIR) + "/examples/stack";
const std::string reference = stack_dir + "/reference.txt";  // 2008-06-14
const std::string secondary = stack_dir + "/20080730.txt";

bool has(const std::string& text, const std::string& words) { return text.find(words) != std::string::npos; }

// Every file and folder below root, with the files' bytes.
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(entry.path(), root).string();
    files[name] = entry.is_regular_file() ? stack_test::read_file(entry.path().string()) : "(folder)";
  }
  return files;
}

// The names below root that start with '.': temporary files left behind.
std::vector<std::string> hidden_below(const fs::path& root) {
  std::vector<std::string> hidden;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.path().filename().string().front() == '.') hidden.push_back(entry.path().string());
  return hidden;
}

// A list of n dated state-vector secondaries (one a day from 1990 on, each
// a little elsewhere; shift moves them all), written into dir.
std::string secondaries_list(const TempDir& dir, const std::string& folder, int n, double shift) {
  fs::create_directory(dir.path() / folder);
  std::string list;
  for (int k = 0; k < n; ++k) {
    const std::chrono::year_month_day day{std::chrono::sys_days{std::chrono::year{1990} / 1 / 1} +
                                          std::chrono::days{k}};
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02u-%02u", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
    const double position[3] = {-3992.305773 + shift + 1e-6 * k, 4155.845420, 4095.365748};
    const double velocity[3] = {-1.721252251, 4.285834140, -6.027063515};
    list += dir.write(folder + "/" + std::to_string(k) + ".txt",
                      test_support::state_vector_text(std::string(date) + " pass", position, velocity)) +
            "\n";
  }
  return dir.write(folder + ".list", list);
}

// bperp-stack args as the user nobody when the test runs as root (whom no
// permission stops), else as itself.
RunResult run_as_user(const std::vector<std::string>& args) {
  if (::geteuid() != 0) return stack_test::run_stack(args);
  std::vector<std::string> all = {"--reuid=nobody", "--regid=nogroup", "--clear-groups", BPERP_STACK_EXE};
  all.insert(all.end(), args.begin(), args.end());
  return test_support::run_process("/usr/bin/setpriv", all);
}

// A replaced file keeps its permission bits: the plot, a file export and a
// stack folder's entry, each of its own mode.
TEST(ReplacedOutputs, KeepTheirPermissionBits) {
  const TempDir dir;
  const std::string plot = dir.write("p.svg", "old"), baselines = dir.write("b.txt", "old");
  ASSERT_EQ(stack_test::run_stack({"--export", "stack-folder:" + dir.file("stack"), reference, secondary}).status, 0);
  const std::string entry_file = dir.write("stack/20080614_20080730/20080614_20080730.txt", "old");
  const std::map<std::string, fs::perms> modes = {{plot, fs::perms::owner_read | fs::perms::owner_write},
                                                  {baselines, fs::perms::owner_all | fs::perms::group_read},
                                                  {entry_file, fs::perms::owner_write | fs::perms::others_read}};
  for (const auto& [path, mode] : modes) fs::permissions(path, mode);
  const RunResult r = stack_test::run_stack({"--plot", plot, "--export", "baselines:" + baselines, "--export",
                                             "stack-folder:" + dir.file("stack"), reference, secondary});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const auto& [path, mode] : modes) {
    EXPECT_EQ(fs::status(path).permissions(), mode) << path;
    EXPECT_NE(stack_test::read_file(path), "old") << path;
  }
}

// What the shell's redirection or the rename would refuse is refused
// before anything is printed, the target and its folder left as they were.
TEST(ReplacedOutputs, ThoseThatCantBeReplacedAreRefusedBeforeAnythingIsPrinted) {
  if (::geteuid() == 0 && ::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "runs as root without setpriv";
  const TempDir dir;
  fs::permissions(dir.path(), fs::perms::all);  // the user may go in
  fs::create_directory(dir.path() / "mine");
  fs::create_directory(dir.path() / "sticky");
  fs::permissions(dir.path() / "sticky", fs::perms::all | fs::perms::sticky_bit);
  const std::string read_only = dir.write("mine/read-only.txt", "kept\n");
  fs::permissions(read_only, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string others = dir.write("sticky/others.txt", "kept\n");  // the test's: another user's
  fs::permissions(others, fs::perms::all);
  if (::geteuid() == 0) ::chown((dir.path() / "mine").c_str(), 65534, 65534);  // nobody's folder

  const std::string read_only_plot = dir.write("mine/read-only.svg", "kept\n");
  fs::permissions(read_only_plot, fs::perms::owner_read);
  struct Case {
    std::vector<std::string> args;
    std::string words;
    bool other_user;  // needs a user other than the file's owner
  };
  const std::vector<Case> cases = {
      {{"--export", "baselines:" + read_only}, "can't write the export " + read_only + ": Permission denied", false},
      {{"--plot", read_only_plot}, "Permission denied", false},
      {{"--export", "baselines:" + others}, "it is another user's file in a sticky folder", true},
      {{"--plot", dir.file("mine/" + std::string(252, 'n') + ".svg")}, "File name too long", false},
  };
  for (const Case& c : cases) {
    if (c.other_user && ::geteuid() != 0) continue;
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {reference, secondary});
    const auto before = snapshot(dir.path());
    const RunResult r = run_as_user(args);
    EXPECT_EQ(r.status, 1) << c.words << "\n" << test_support::describe(r);
    EXPECT_EQ(r.out, "") << c.words;
    EXPECT_TRUE(has(r.err, c.words)) << c.words << "\n" << r.err;
    EXPECT_EQ(snapshot(dir.path()), before) << c.words;
  }
}

// A link inside a stack folder, where an entry goes, is not followed: the
// run is refused and what it leads to stays empty.
TEST(StackFolder, FollowsNoLinkInsideIt) {
  const TempDir dir;
  const std::string stack = dir.file("stack");
  ASSERT_EQ(stack_test::run_stack({"--export", "stack-folder:" + stack, reference, secondary}).status, 0);
  fs::create_directory(dir.path() / "elsewhere");
  const fs::path entry = dir.path() / "stack" / "20080614_20080730";
  fs::remove_all(entry);
  fs::create_directory_symlink(dir.path() / "elsewhere", entry);
  const RunResult r = stack_test::run_stack({"--export", "stack-folder:" + stack, reference, secondary});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(has(r.err, "is a symbolic link, which is not followed inside the folder")) << r.err;
  EXPECT_TRUE(fs::is_empty(dir.path() / "elsewhere"));
}

// A run with a stack folder of 1000 entries and a plot, ended by a signal
// while it stages its files (SIGINT), while it writes them after the
// results (SIGTERM), or while it replaces an earlier run's (SIGHUP): it
// ends as the signal does, no temporary file is left, and the folder is
// the old one or the new one whole.
TEST(InterruptedRuns, LeaveTheOldOutputsOrTheNewOnesAndNoTemporaryFile) {
  const TempDir dir;
  constexpr int entries = 1000;
  const std::string first = secondaries_list(dir, "first", entries, 0.0);
  const std::string second = secondaries_list(dir, "second", entries, 0.001);
  const fs::path out = dir.path() / "out";
  fs::create_directory(out);
  const std::string stdout_path = dir.write("stdout.txt", "");
  const std::vector<std::string> outputs = {"--plot", (out / "p.svg").string(), "--export",
                                            "stack-folder:" + (out / "stack").string(), reference};
  const auto run_with = [&](const std::string& list, int sig, const std::function<bool()>& when) {
    std::vector<std::string> args = outputs;
    args.insert(args.begin(), {"--list", list});
    test_support::ProcessOptions options;
    options.timeout_seconds = 120.0;
    options.stdout_path = stdout_path;
    options.signal = sig;
    options.signal_when = when;
    test_support::write_bytes(stdout_path, "");
    return test_support::run_process(BPERP_STACK_EXE, args, options);
  };
  const auto plot_staged = [&]() {
    for (const auto& entry : fs::directory_iterator(out))
      if (entry.path().filename().string().starts_with(".p.svg.")) return true;
    return false;
  };
  const auto results_printed = [&]() { return fs::file_size(stdout_path) > 0; };

  // The new outputs of each list, whole.
  ASSERT_EQ(run_with(second, 0, {}).status, 0);
  const auto new_second = snapshot(out);
  fs::remove_all(out / "stack");
  fs::remove(out / "p.svg");
  ASSERT_EQ(run_with(first, 0, {}).status, 0);
  const auto new_first = snapshot(out);
  ASSERT_EQ(new_first.size(), 2u + 2 * entries + 1);  // the plot, the folder, its entries and files, the manifest
  fs::remove_all(out / "stack");
  fs::remove(out / "p.svg");

  struct Case {
    int sig;
    std::function<bool()> when;
    bool earlier;  // an earlier run's outputs are there
  };
  for (const Case& c : {Case{SIGINT, plot_staged, false}, Case{SIGTERM, results_printed, false},
                        Case{SIGHUP, plot_staged, true}}) {
    if (c.earlier) {
      ASSERT_EQ(run_with(first, 0, {}).status, 0);
    }
    const auto before = snapshot(out);
    const RunResult r = run_with(c.earlier ? second : first, c.sig, c.when);
    EXPECT_EQ(r.signal, c.sig) << test_support::describe(r);
    EXPECT_EQ(hidden_below(dir.path()), std::vector<std::string>()) << strsignal(c.sig);
    const auto after = snapshot(out);
    EXPECT_TRUE(after == before || after == (c.earlier ? new_second : new_first))
        << strsignal(c.sig) << ": " << after.size() << " files and folders";
  }
}

}  // namespace
